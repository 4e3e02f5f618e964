// SetPosition and Write: where characters land, how the cursor moves on, and
// what each call logs.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "tests/support/driver_fixture.h"
#include "tests/support/driver_session.h"

using testhost::Concat;
using testhost::CursorLine;
using testhost::DriverAfterInit;
using testhost::ExpectedPage;
using testhost::FilledScreen;

namespace {

const std::string kAlphabet80 =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqr";

struct Overlay {
    int row, column;
    std::string text;
};

// SetPosition with any 32-bit argument, then Write. Only the low byte is
// read; above 80/4 it is held at the last column/row, and 0 is stored as it
// is: a character written on column 0 or row 0 goes to column 1 or row 1 and
// the cursor runs on from there. Text runs on past a row's end into the next
// row, and past the last cell into the first.
struct Placement {
    const char* name;
    int x, y;                       // SetPosition's arguments, as the host passes them
    std::string text;               // what Write is given
    int read_x, read_y;             // the low bytes, as SetPosition logs them
    int at_x, at_y;                 // the cursor Write starts from, as it logs it
    std::vector<Overlay> expected;  // where the characters land
    int next_x, next_y;             // the cursor the next Write logs
};

// clang-format off
const Placement kPlacements[] = {
    {"FirstCell", 1, 1, "Hello", 1, 1, 1, 1, {{1, 1, "Hello"}}, 6, 1},
    {"InsideScreen", 12, 3, "XY", 12, 3, 12, 3, {{3, 12, "XY"}}, 14, 3},
    {"EightyOneCharactersRunOntoNextRow", 1, 1, kAlphabet80 + "!", 1, 1, 1, 1,
     {{1, 1, kAlphabet80}, {2, 1, "!"}}, 2, 2},
    {"RowEndRunsOntoNextRow", 79, 2, "wxyz", 79, 2, 79, 2, {{2, 79, "wx"}, {3, 1, "yz"}}, 3, 3},
    {"LastCellRunsOnToFirst", 80, 4, "XY", 80, 4, 80, 4, {{4, 80, "X"}, {1, 1, "Y"}}, 2, 1},
    {"AboveRangeIsHeldAtLastCell", 81, 5, "XY", 81, 5, 80, 4, {{4, 80, "X"}, {1, 1, "Y"}}, 2, 1},
    {"Column255IsHeldAtLastColumn", 255, 3, "XY", 255, 3, 80, 3, {{3, 80, "X"}, {4, 1, "Y"}}, 2, 4},
    {"Row255IsHeldAtLastRow", 5, 255, "XY", 5, 255, 5, 4, {{4, 5, "XY"}}, 7, 4},
    {"ZeroZeroWritesFromFirstCell", 0, 0, "XY", 0, 0, 0, 0, {{1, 1, "XY"}}, 3, 1},
    {"ZeroColumnWritesFromColumnOne", 0, 3, "XY", 0, 3, 0, 3, {{3, 1, "XY"}}, 3, 3},
    {"ZeroRowWritesIntoRowOne", 7, 0, "XY", 7, 0, 7, 0, {{1, 7, "XY"}}, 9, 1},
    {"ZeroRowAtLastColumnRunsOnToRowTwo", 80, 0, "XY", 80, 0, 80, 0,
     {{1, 80, "X"}, {2, 1, "Y"}}, 2, 2},
    {"MinusOneReadsAs255", -1, -1, "XY", 255, 255, 80, 4, {{4, 80, "X"}, {1, 1, "Y"}}, 2, 1},
    {"NegativeReadsItsLowByte", -200, -254, "XY", 56, 2, 56, 2, {{2, 56, "XY"}}, 58, 2},
    {"NegativeWithLowByteZeroIsZero", -256, -1024, "XY", 0, 0, 0, 0, {{1, 1, "XY"}}, 3, 1},
    {"IntMinIsZero", INT_MIN, 3, "XY", 0, 3, 0, 3, {{3, 1, "XY"}}, 3, 3},
    {"256ReadsAsZero", 256, 258, "XY", 0, 2, 0, 2, {{2, 1, "XY"}}, 3, 2},
    {"300ReadsAs44", 300, 1, "XY", 44, 1, 44, 1, {{1, 44, "XY"}}, 46, 1},
    {"IntMaxReadsAs255", INT_MAX, INT_MAX, "XY", 255, 255, 80, 4,
     {{4, 80, "X"}, {1, 1, "Y"}}, 2, 1},
};
// clang-format on

void PrintTo(const Placement& placement, std::ostream* out) { *out << placement.name; }

// Every case checks the page and the log byte for byte, and that the returned
// texts and the files beside the page are as before, so a stray store outside
// the 4 x 80 cells shows up; the sanitizer build runs the same cases and
// catches any overrun of the module's buffers as it happens.
class Placements : public FilledScreen, public ::testing::WithParamInterface<Placement> {};

TEST_P(Placements, StoreTextAtCursorAndMoveItOn) {
    const Placement& c = GetParam();
    std::vector<std::string> rows = Filled();
    for (const Overlay& o : c.expected)
        rows[o.row - 1].replace(o.column - 1, o.text.size(), o.text);

    driver_.SetPosition(c.x, c.y);
    EXPECT_EQ(driver_.Write(c.text.c_str()), 1);
    EXPECT_EQ(driver_.Write(""), 1);  // logs where the cursor went

    EXPECT_EQ(driver_.Page(), ExpectedPage(rows));
    EXPECT_TRUE(NewLogIs(Concat({{CursorLine("SetPosition", c.read_x, c.read_y),
                                  CursorLine("Write", c.at_x, c.at_y), "Write " + c.text},
                                 testhost::PageWriteLog(rows),
                                 {CursorLine("Write", c.next_x, c.next_y), "Write "}})));
    ExpectRestIntact();
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

TEST_F(DriverAfterInit, RepeatedWriteOfSameTextRewritesThePageOnce) {
    for (int round = 0; round < 2; ++round) {
        driver_.SetPosition(1, 3);
        EXPECT_EQ(driver_.Write("same"), 1);
    }
    const std::vector<std::string> rows = {"Quendalore Initialising", clock_, "same", " "};
    EXPECT_TRUE(NewLogIs(Concat({{"SetPosition x=1, y=3", "Write x=1, y=3", "Write same"},
                                 testhost::PageWriteLog(rows),
                                 {"SetPosition x=1, y=3", "Write x=1, y=3", "Write same"}})));
    EXPECT_EQ(driver_.Page(), ExpectedPage(rows));
}

TEST_F(DriverAfterInit, CursorCarriesOverBetweenWrites) {
    driver_.SetPosition(1, 4);
    driver_.Write("one ");
    driver_.Write("two");
    EXPECT_EQ(driver_.Page(), ExpectedPage({"Quendalore Initialising", clock_, " ", "one two"}));
}

}  // namespace
