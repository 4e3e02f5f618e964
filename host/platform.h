// What the host needs from the platform besides loading the module
// (driver_module.h): know where the module built beside it lives, and wait.
// One source file per platform implements it: platform_posix.cpp,
// platform_win32.cpp.
#pragma once

#include <string>

namespace host {

// kModuleFileName in the directory of the running executable.
std::string DefaultModulePath();

void SleepMilliseconds(long milliseconds);

}  // namespace host
