// SetPosition and Write: where characters land, how the cursor moves on, and
// what each call logs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/driver_session.h"

using testhost::DriverSession;
using testhost::ExpectedPage;
using testhost::LogBodies;
using testhost::Now;

namespace {

const std::string kDots(80, '.');
const std::string kAlphabet80 =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqr";

// A driver after Init, and the log lines it writes from a chosen point on.
class DriverAfterInit : public ::testing::Test {
protected:
    void SetUp() override {
        window_.before = Now();
        unsigned char flag = 0;
        ASSERT_EQ(driver_.CallInit(&flag), "Lumivane v0.1");
        clock_ = PageRow(2);
        MarkLog();
    }

    std::string PageRow(int row) const { return testhost::PageRow(driver_.Page(), row); }

    void MarkLog() { log_start_ = driver_.Log().size(); }

    std::vector<std::string> LogSinceMark() {
        window_.after = Now();
        return LogBodies(driver_.Log().substr(log_start_), window_);
    }

    DriverSession driver_;
    testhost::TimeWindow window_{};
    std::string clock_;
    std::size_t log_start_ = 0;
};

// Every cell of the screen holds a dot, so wherever a character lands it
// shows on the page.
class DottedScreen : public DriverAfterInit {
protected:
    void SetUp() override {
        DriverAfterInit::SetUp();
        driver_.SetPosition(1, 1);
        ASSERT_EQ(driver_.Write(std::string(320, '.').c_str()), 1);
        MarkLog();
    }
};

struct Overlay {
    int row, column;
    std::string text;
};

struct Placement {
    const char* name;
    int x, y;                       // SetPosition's arguments
    std::string text;               // what Write is given
    std::string position;           // x and y as SetPosition read them
    std::string cursor;             // the cursor Write starts from
    std::vector<Overlay> expected;  // where the characters land
    std::string next_position;      // the cursor the next Write logs
};

const Placement kPlacements[] = {
    {"FirstCell", 1, 1, "Hello", "x=1, y=1", "x=1, y=1", {{1, 1, "Hello"}}, "x=6, y=1"},
    {"LargeValuesClampToLastCell",
     200,
     9,
     "Z",
     "x=200, y=9",
     "x=80, y=4",
     {{4, 80, "Z"}},
     "x=1, y=1"},
    {"OnlyLowEightBitsRead", 300, 1, "#", "x=44, y=1", "x=44, y=1", {{1, 44, "#"}}, "x=45, y=1"},
    {"EightyOneCharactersRunOntoNextRow",
     1,
     1,
     kAlphabet80 + "!",
     "x=1, y=1",
     "x=1, y=1",
     {{1, 1, kAlphabet80}, {2, 1, "!"}},
     "x=2, y=2"},
    {"RowEndRunsOntoNextRow",
     79,
     2,
     "wxyz",
     "x=79, y=2",
     "x=79, y=2",
     {{2, 79, "wx"}, {3, 1, "yz"}},
     "x=3, y=3"},
    {"LastCellWrapsToFirstRow",
     80,
     4,
     "YX",
     "x=80, y=4",
     "x=80, y=4",
     {{4, 80, "Y"}, {1, 1, "X"}},
     "x=2, y=1"},
    // Column 0 and row 0 lie outside the screen: a character written there
    // goes to column 1 or row 1 and the cursor runs on from it.
    {"ZeroColumnAndRowTreatedAsOne",
     0,
     0,
     "ab",
     "x=0, y=0",
     "x=0, y=0",
     {{1, 1, "ab"}},
     "x=3, y=1"},
    {"ZeroRowTreatedAsOne", 5, 0, "xy", "x=5, y=0", "x=5, y=0", {{1, 5, "xy"}}, "x=7, y=1"},
    {"ZeroColumnTreatedAsOne", 0, 3, "q", "x=0, y=3", "x=0, y=3", {{3, 1, "q"}}, "x=2, y=3"},
};

void PrintTo(const Placement& placement, std::ostream* out) { *out << placement.name; }

class Placements : public DottedScreen, public ::testing::WithParamInterface<Placement> {};

TEST_P(Placements, StoreTextAtCursorAndMoveItOn) {
    const Placement& c = GetParam();
    std::vector<std::string> rows(4, kDots);
    for (const Overlay& o : c.expected)
        rows[o.row - 1].replace(o.column - 1, o.text.size(), o.text);

    driver_.SetPosition(c.x, c.y);
    EXPECT_EQ(driver_.Write(c.text.c_str()), 1);
    EXPECT_EQ(driver_.Write(""), 1);  // logs where the cursor went

    EXPECT_EQ(driver_.Page(), ExpectedPage(rows));
    std::vector<std::string> expected_log = {"SetPosition " + c.position, "Write " + c.cursor,
                                             "Write " + c.text};
    for (const std::string& line : testhost::PageWriteLog(rows)) expected_log.push_back(line);
    expected_log.push_back("Write " + c.next_position);
    expected_log.push_back("Write ");
    EXPECT_EQ(LogSinceMark(), expected_log);
}

INSTANTIATE_TEST_SUITE_P(Cursor, Placements, ::testing::ValuesIn(kPlacements),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DriverAfterInit, HiOverwritesTheStartOfTheStartupBanner) {
    driver_.SetPosition(1, 1);
    EXPECT_EQ(driver_.Write("Hi"), 1);
    EXPECT_EQ(driver_.Page(), ExpectedPage({"Hiendalore Initialising", clock_, " ", " "}));
}

TEST_F(DriverAfterInit, WritingOverRowEndRevealsTheCellsBeyondIt) {
    driver_.SetPosition(1, 3);
    driver_.Write("ABCDEFGHIJ");
    unsigned char flag = 0;
    driver_.CallInit(&flag);  // row 3 reads " " again; cells 3 to 10 keep CDEFGHIJ
    const std::string clock = PageRow(2);
    EXPECT_EQ(driver_.Page(), ExpectedPage({"Quendalore Initialising", clock, " ", " "}));

    driver_.SetPosition(1, 3);
    EXPECT_EQ(driver_.Write("xy"), 1);
    EXPECT_EQ(driver_.Page(), ExpectedPage({"Quendalore Initialising", clock, "xyCDEFGHIJ", " "}));
}

TEST_F(DriverAfterInit, EmptyTextChangesNothingAndLogsTwoLines) {
    const std::string page = driver_.Page();
    driver_.SetPosition(7, 2);
    MarkLog();
    EXPECT_EQ(driver_.Write(""), 1);
    EXPECT_EQ(driver_.Write(nullptr), 1);  // a NULL text is an empty text
    EXPECT_EQ(driver_.Page(), page);
    EXPECT_EQ(LogSinceMark(),
              (std::vector<std::string>{"Write x=7, y=2", "Write ", "Write x=7, y=2", "Write "}));
}

TEST_F(DriverAfterInit, RepeatedWriteOfSameTextRewritesThePageOnce) {
    for (int round = 0; round < 2; ++round) {
        driver_.SetPosition(1, 3);
        EXPECT_EQ(driver_.Write("same"), 1);
    }
    const std::vector<std::string> rows = {"Quendalore Initialising", clock_, "same", " "};
    std::vector<std::string> expected = {"SetPosition x=1, y=3", "Write x=1, y=3", "Write same"};
    for (const std::string& line : testhost::PageWriteLog(rows)) expected.push_back(line);
    for (const char* line : {"SetPosition x=1, y=3", "Write x=1, y=3", "Write same"})
        expected.push_back(line);
    EXPECT_EQ(LogSinceMark(), expected);
    EXPECT_EQ(driver_.Page(), ExpectedPage(rows));
}

TEST_F(DriverAfterInit, CursorCarriesOverBetweenWrites) {
    driver_.SetPosition(1, 4);
    driver_.Write("one ");
    driver_.Write("two");
    EXPECT_EQ(driver_.Page(), ExpectedPage({"Quendalore Initialising", clock_, " ", "one two"}));
}

TEST(CursorBeforeInit, WriteStoresAtTopLeftAndReportsThePageUnwritten) {
    DriverSession driver;
    // No page path before Init: the page cannot be written, and nothing is
    // logged while tracing is off.
    EXPECT_EQ(driver.Write("abc"), 0);
    EXPECT_TRUE(driver.Exists(driver.LogPath()));
    EXPECT_EQ(driver.Log(), "");
    EXPECT_FALSE(driver.Exists(driver.PagePath()));

    unsigned char flag = 0;
    EXPECT_EQ(driver.CallInit(&flag), "Lumivane v0.1");
    EXPECT_EQ(flag, 1);
}

}  // namespace
