// The trace log's state, and the way back to it as it is at load.
#include "trace/trace_state.h"

#include "trace/trace_log.h"

namespace trace {

TraceState State;

void ReturnToLoadState() {
    CloseLog();
    State = TraceState{};
}

}  // namespace trace
