// Windows side of the module loader: LoadLibraryA and GetProcAddress.
#include <windows.h>

#include "host/driver_module.h"

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

}  // namespace host
