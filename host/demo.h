// The demo the host runs when it is given neither a script nor --lines.
#pragma once

#include <ctime>
#include <string>

namespace host {

// The demo as a script (see script.h): a title, a clock updated a few
// times, a long text wrapping across rows and a closing screen. The clock
// shows the times at which its writes are due when the run starts at `start`.
// Its sleeps add up to 7.5 s.
std::string DemoScript(std::time_t start);

}  // namespace host
