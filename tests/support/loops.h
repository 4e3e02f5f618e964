// Loop counts of the long tests, scaled for a slow run: an emulated machine
// runs each call many times slower, so LUMIVANE_TEST_LOOPS_PERCENT (100 when
// unset) takes that share of each count, never fewer than one.
#pragma once

#include <chrono>

namespace testhost {

int Loops(int count);

// The slack a bound leaves the machine beyond the product's own deadline,
// stretched to LUMIVANE_TEST_TIME_PERCENT (100 when unset, never less).
std::chrono::milliseconds Slack(std::chrono::milliseconds slack);

}  // namespace testhost
