// POSIX side of the host's platform layer: dlopen/dlsym, and the module
// beside the executable found through /proc/self/exe.
#include <dlfcn.h>
#include <time.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "host/platform.h"

namespace host {

const char kModuleFileName[] = "lumivane.so";

void* LoadModule(const std::string& path, std::string* error) {
    // dlopen searches the library path for a name without a slash; the host
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

std::string DefaultModulePath() {
    std::error_code failed;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", failed);
    if (failed) return kModuleFileName;
    return (self.parent_path() / kModuleFileName).string();
}

void SleepMilliseconds(long milliseconds) {
    timespec left{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

}  // namespace host
