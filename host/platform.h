// What the programs (lumivane-host, and the tests and the benchmark through
// host/driver_module.h) need from the platform: loading a module and finding
// its exports, and the folder of the running executable. One source file per
// platform: platform_posix.cpp, platform_win32.cpp. The driver's own platform
// layer (platform/) stays apart: it runs inside the host's process, without
// the heap or std::filesystem.
#pragma once

#include <string>

namespace host {

// File name of the driver module as the build names it ("lumivane.so"),
// and the extension of a module file on this platform (".so").
extern const char kModuleFileName[];
extern const char kModuleExtension[];

// Loads the module at `path`; nullptr on failure, with the reason in *error.
void* LoadModule(const std::string& path, std::string* error);

// The address of the export `name`, or nullptr when the module lacks it.
void* FindExport(void* module, const char* name);

void UnloadModule(void* module);

// The folder of the running executable, ending in its separator; "" when it
// can't be told.
std::string ExecutableFolder();

// kModuleFileName in the folder of the running executable.
std::string DefaultModulePath();

}  // namespace host
