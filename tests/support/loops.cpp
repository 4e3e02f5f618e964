#include "tests/support/loops.h"

#include <cstdlib>

namespace testhost {
namespace {

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

std::chrono::milliseconds MachineTime(std::chrono::milliseconds bound) {
    const long stretch = PercentFrom("LUMIVANE_TEST_TIME_PERCENT");
    if (stretch <= 100) return bound;
    return bound * stretch / 100;
}

}  // namespace testhost
