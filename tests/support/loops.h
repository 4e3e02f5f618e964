// Loop counts of the long tests, scaled for a slow run: an emulated machine
// runs each call many times slower, so LUMIVANE_TEST_LOOPS_PERCENT (100 when
// unset) takes that share of each count, never fewer than one.
#pragma once

namespace testhost {

int Loops(int count);

}  // namespace testhost
