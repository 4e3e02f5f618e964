// Code of the trace layer reading its own headers and the platform's: it
// builds.
#include "platform/platform.h"
#include "trace/trace_state.h"

int TraceReadsBelow() { return static_cast<int>(trace::kLineSize) + platform::kMostPieces; }
