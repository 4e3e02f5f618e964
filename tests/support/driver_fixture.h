// Fixtures for scenarios that start from a driver after Init.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "tests/support/driver_session.h"

namespace testhost {

// A driver after Init, and what it logs from a chosen point on.
class DriverAfterInit : public ::testing::Test {
protected:
    void SetUp() override;

    std::string PageRow(int row) const { return testhost::PageRow(driver_.Page(), row); }

    // What the log gains from here on is what NewLog and NewLogIs look at.
    void MarkLog() { log_mark_ = driver_.Log().size(); }
    std::string NewLog() const { return driver_.Log().substr(log_mark_); }
    // The bodies of the lines since the mark, stamped since SetUp.
    std::vector<std::string> NewLogBodies();
    // The lines since the mark are exactly these, stamped since SetUp.
    ::testing::AssertionResult NewLogIs(const std::vector<std::string>& bodies);

    // The returned texts, the page's place and the log's place are as they
    // were: no call stored beyond the cells into the module's other buffers.
    void ExpectRestIntact();

    DriverSession driver_;
    TimeWindow window_{};
    std::string clock_;  // row 2 of the start-up picture
    std::size_t log_mark_ = 0;
};

// Init, then all 320 cells filled with '.', so every cell a case writes shows
// on the page; the cursor stands at 1, 1 again and the log is marked.
class FilledScreen : public DriverAfterInit {
protected:
    void SetUp() override;
    static std::vector<std::string> Filled();  // the four rows of dots
};

}  // namespace testhost
