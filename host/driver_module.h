// A display driver module as a host uses it: the file loaded, and the six
// exports bound by their plain names. lumivane-host, the tests and the
// benchmark all load the driver through this; the loading itself is the
// platform layer's (platform/programs/platform.h).
#pragma once

#include <string>
#include <vector>

#include "driver/display_driver.h"
#include "platform/programs/platform.h"

namespace host {

// The six exports, each under the name it has without its DISPLAYDLL_ (the
// names of driver/export_list.h, which BindDriver binds by).
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
