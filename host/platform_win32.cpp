// Windows side of the host's platform layer: the module beside the
// executable found through GetModuleFileNameA.
#include <windows.h>

#include "host/driver_module.h"
#include "host/platform.h"

namespace host {

std::string DefaultModulePath() {
    char self[MAX_PATH] = "";
    const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    if (length == 0 || length >= sizeof self) return kModuleFileName;
    std::string path(self, length);
    const std::size_t slash = path.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
           kModuleFileName;
}

void SleepMilliseconds(long milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

}  // namespace host
