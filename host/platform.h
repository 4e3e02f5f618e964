// What the host needs from the platform: load a driver module, find its
// exports, know where the module built beside it lives, and wait. One source
// file per platform implements it: platform_posix.cpp, platform_win32.cpp.
#pragma once

#include <string>

namespace host {

// File name of the driver module as the build names it ("lumivane.so").
extern const char kModuleFileName[];

// Loads the module at `path`; nullptr on failure, with the reason in *error.
void* LoadModule(const std::string& path, std::string* error);

// The address of the export `name`, or nullptr when the module lacks it.
void* FindExport(void* module, const char* name);

// kModuleFileName in the directory of the running executable.
std::string DefaultModulePath();

void SleepMilliseconds(long milliseconds);

}  // namespace host
