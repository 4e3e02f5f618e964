// Windows side of the programs' platform layer: LoadLibraryA and
// GetProcAddress, and the executable found through GetModuleFileNameA.
#include <windows.h>

#include "host/platform.h"

namespace host {

const char kModuleFileName[] = "lumivane.dll";
const char kModuleExtension[] = ".dll";

void* LoadModule(const std::string& path, std::string* error) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) {
        char reason[256] = "";
        const DWORD code = GetLastError();
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       reason, sizeof reason, nullptr);
        std::string text = reason;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
            text.pop_back();
        *error = "error " + std::to_string(code) + (text.empty() ? "" : ": " + text);
    }
    return reinterpret_cast<void*>(module);
}

void* FindExport(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void UnloadModule(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }

std::string ExecutableFolder() {
    char self[MAX_PATH] = "";
    const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    if (length == 0 || length >= sizeof self) return "";
    const std::string path(self, length);
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string DefaultModulePath() { return ExecutableFolder() + kModuleFileName; }

}  // namespace host
