#include "tests/support/loops.h"

#include <cstdlib>

namespace testhost {

int Loops(int count) {
    const char* percent = std::getenv("LUMIVANE_TEST_LOOPS_PERCENT");
    const long share = percent != nullptr ? std::strtol(percent, nullptr, 10) : 100;
    if (share <= 0 || share >= 100) return count;
    const long scaled = count * share / 100;
    return scaled > 0 ? static_cast<int>(scaled) : 1;
}

std::chrono::milliseconds Slack(std::chrono::milliseconds slack) {
    const char* percent = std::getenv("LUMIVANE_TEST_TIME_PERCENT");
    const long share = percent != nullptr ? std::strtol(percent, nullptr, 10) : 100;
    return share > 100 ? slack * share / 100 : slack;
}

}  // namespace testhost
