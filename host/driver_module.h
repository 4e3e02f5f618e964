// A display driver module as a host uses it: the file loaded, and the six
// exports bound by their plain names. lumivane-host, the tests and the
// benchmark all load the driver through this. One source file per platform
// holds the loader: driver_module_posix.cpp, driver_module_win32.cpp.
#pragma once

#include <string>
#include <vector>

#include "driver/display_driver.h"

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

// The six exports, each under the name it has without its DISPLAYDLL_.
struct DriverCalls {
    DisplayInitFn Init = nullptr;
    DisplaySetPositionFn SetPosition = nullptr;
    DisplayWriteFn Write = nullptr;
    DisplayTextFn DriverName = nullptr;
    DisplayTextFn Usage = nullptr;
    DisplayTextFn DefaultParameters = nullptr;
};

// Looks the six exports of a loaded module up by their plain names; returns
// the names missing.
std::vector<std::string> BindDriver(void* module, DriverCalls* calls);

}  // namespace host
