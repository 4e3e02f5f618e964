// The same code reaching up into the driver: it must not build.
#include "driver/driver_state.h"
#include "platform/platform.h"
#include "trace/trace_state.h"

int TraceReadsAbove() { return static_cast<int>(trace::kLineSize) + driver::kRows; }
