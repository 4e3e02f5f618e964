// The driver's state, and the way back to it as it is at load.
#include "driver/driver_state.h"

#include "platform/module_name.h"
#include "trace/trace_state.h"

namespace driver {

DriverState State;

void ReturnToLoadState() {
    trace::ReturnToLoadState();
    platform::ForgetModuleBaseName();
    State = DriverState{};
}

}  // namespace driver
