// POSIX side of the host's platform layer: the module beside the executable
// found through /proc/self/exe.
#include <time.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "host/driver_module.h"
#include "host/platform.h"

namespace host {

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
