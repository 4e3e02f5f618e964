// The built-in demo as a script: it parses, lays every row out within the
// screen, and runs its clock second by second.
#include "host/demo.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "host/screen_text.h"
#include "host/script.h"

using host::Command;
using host::CommandKind;

namespace {

std::vector<Command> DemoCommands(std::time_t start) {
    std::vector<Command> commands;
    std::string error;
    EXPECT_TRUE(host::ParseScript(host::DemoScript(start), "demo", &commands, &error)) << error;
    return commands;
}

// Every write but one stays on its row; the one long write covers the whole
// screen from column 1 of row 1, so nothing of the previous screen is left.
TEST(Demo, WritesStayOnTheirRowsExceptTheOneThatWraps) {
    int x = 0;
    int y = 0;
    int wrapping = 0;
    for (const Command& command : DemoCommands(std::time(nullptr))) {
        if (command.kind == CommandKind::kPos) {
            x = command.x;
            y = command.y;
            EXPECT_GE(x, 1);
            EXPECT_GE(y, 1);
            EXPECT_LE(y, 4);
        } else if (command.kind == CommandKind::kWrite) {
            SCOPED_TRACE(command.text);
            if (command.text.size() == host::kColumns * host::kRows) {
                ++wrapping;
                EXPECT_EQ(x, 1);
                EXPECT_EQ(y, 1);
                EXPECT_NE(command.text.find("column 80"), std::string::npos);
            } else {
                EXPECT_LE(x - 1 + static_cast<int>(command.text.size()), 80);
            }
        }
    }
    EXPECT_EQ(wrapping, 1);
}

// The clock is written four times at column 37 of row 3, once a second, the
// first one 1.5 s into the demo; each shows the time at which the sleeps
// before it have brought the run.
TEST(Demo, ClockShowsTheMomentOfEachWriteOnceASecond) {
    std::tm noon{};
    noon.tm_year = 126;
    noon.tm_mon = 11;
    noon.tm_mday = 8;
    noon.tm_hour = 12;
    noon.tm_min = 59;
    noon.tm_sec = 58;
    noon.tm_isdst = -1;
    const std::time_t start = std::mktime(&noon);

    std::vector<std::string> clocks;
    std::vector<long> due;  // milliseconds into the run
    long elapsed = 0;
    int x = 0;
    int y = 0;
    for (const Command& command : DemoCommands(start)) {
        if (command.kind == CommandKind::kSleep) {
            elapsed += command.milliseconds;
        } else if (command.kind == CommandKind::kPos) {
            x = command.x;
            y = command.y;
        } else if (command.kind == CommandKind::kWrite && x == 37 && y == 3) {
            clocks.push_back(command.text);
            due.push_back(elapsed);
        }
    }
    EXPECT_EQ(clocks, (std::vector<std::string>{"12:59:59", "13:00:00", "13:00:01", "13:00:02"}));
    EXPECT_EQ(due, (std::vector<long>{1500, 2500, 3500, 4500}));
}

}  // namespace
