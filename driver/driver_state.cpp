// The driver's state, and the way back to it as it is at load.
#include "driver/driver_state.h"

#include "trace/trace_log.h"

namespace driver {

DriverState State;

void ReturnToLoadState() {
    trace::CloseLog();
    State = DriverState{};
}

}  // namespace driver
