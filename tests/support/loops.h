// Loop counts and time bounds of the long tests, scaled for a slow run: an
// emulated machine runs each call many times slower, so
// LUMIVANE_TEST_LOOPS_PERCENT (100 when unset) takes that share of each count,
// never fewer than one, and LUMIVANE_TEST_TIME_PERCENT (100 when unset, never
// less) stretches a bound that measures the machine's speed rather than the
// product's own deadlines.
#pragma once

#include <chrono>

namespace testhost {

int Loops(int count);
std::chrono::milliseconds MachineTime(std::chrono::milliseconds bound);

}  // namespace testhost
