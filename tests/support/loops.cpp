#include "tests/support/loops.h"

#include <cstdlib>

namespace testhost {

namespace {
// The percentage a variable names, 100 when it is unset.
long PercentFrom(const char* variable) {
    const char* percent = std::getenv(variable);
    return percent != nullptr ? std::strtol(percent, nullptr, 10) : 100;
}
}  // namespace

int Loops(int count) {
    const long share = PercentFrom("LUMIVANE_TEST_LOOPS_PERCENT");
    if (share <= 0 || share >= 100) return count;
    const long scaled = count * share / 100;
    return scaled > 0 ? static_cast<int>(scaled) : 1;
}

std::chrono::milliseconds Slack(std::chrono::milliseconds slack) {
    const long share = PercentFrom("LUMIVANE_TEST_TIME_PERCENT");
    return share > 100 ? slack * share / 100 : slack;
}

}  // namespace testhost
