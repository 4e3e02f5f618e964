// POSIX side of the programs' platform layer: dlopen and dlsym, and the
// executable found through /proc/self/exe.
#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "host/platform.h"

namespace host {

const char kModuleFileName[] = "lumivane.so";
const char kModuleExtension[] = ".so";

void* LoadModule(const std::string& path, std::string* error) {
    // dlopen searches the library path for a name without a slash; a host
    // means a file, so name it as one.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* reason = dlerror();
        *error = reason ? reason : "unknown error";
    }
    return module;
}

void* FindExport(void* module, const char* name) { return dlsym(module, name); }

void UnloadModule(void* module) { dlclose(module); }

std::string ExecutableFolder() {
    std::error_code failed;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", failed);
    if (failed) return "";
    return (self.parent_path() / "").string();
}

std::string DefaultModulePath() { return ExecutableFolder() + kModuleFileName; }

}  // namespace host
