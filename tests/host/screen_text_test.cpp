// The follow mode's picture: how an input line becomes a row, and which
// four lines are on the screen.
#include "host/screen_text.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>

using host::FitRow;
using host::PushLine;
using host::ScreenText;

namespace {

std::string Spaces(std::size_t count) { return std::string(count, ' '); }

struct RowCase {
    const char* name;
    std::string line;
    std::string row;
};

TEST(FollowRows, EachLineBecomesExactlyEightyCells) {
    const std::string eighty = std::string(40, 'a') + std::string(40, 'b');
    const RowCase cases[] = {
        {"empty line: a blank row", "", Spaces(80)},
        {"short line: padded with spaces", "abc", "abc" + Spaces(77)},
        {"exactly 80: kept whole", eighty, eighty},
        {"81: the last one cut", eighty + "c", eighty},
        {"far too long: cut at 80", std::string(500, 'x'), std::string(80, 'x')},
        {"tab: to the next multiple of 8", "a\tb", "a" + Spaces(7) + "b" + Spaces(71)},
        {"tab on a stop: a full 8", "12345678\tx", "12345678" + Spaces(8) + "x" + Spaces(63)},
        {"tab near the end: stops at 80", std::string(78, 'y') + "\tz",
         std::string(78, 'y') + Spaces(2)},
        {"NUL: a space, the rest kept", std::string("a\0b", 3), "a b" + Spaces(77)},
        {"markup and 8-bit bytes: as they are", "<b>\xe9</b>", "<b>\xe9</b>" + Spaces(72)},
    };
    for (const RowCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FitRow(c.line), c.row);
    }
}

TEST(FollowRows, WindowHoldsTheLastFourLinesOldestOnTop) {
    std::deque<std::string> window;
    const std::string expected_after[] = {
        "one" + Spaces(77) + Spaces(240),
        "one" + Spaces(77) + "two" + Spaces(77) + Spaces(160),
        "one" + Spaces(77) + "two" + Spaces(77) + "three" + Spaces(75) + Spaces(80),
        "one" + Spaces(77) + "two" + Spaces(77) + "three" + Spaces(75) + "four" + Spaces(76),
        "two" + Spaces(77) + "three" + Spaces(75) + "four" + Spaces(76) + "five" + Spaces(76),
        "three" + Spaces(75) + "four" + Spaces(76) + "five" + Spaces(76) + Spaces(80),
    };
    const char* lines[] = {"one", "two", "three", "four", "five", ""};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(lines[i]);
        PushLine(&window, lines[i]);
        EXPECT_LE(window.size(), 4u);
        const std::string screen = ScreenText(window);
        EXPECT_EQ(screen.size(), 320u);
        EXPECT_EQ(screen, expected_after[i]);
    }
}

TEST(FollowRows, NoLinesYetIsABlankScreen) { EXPECT_EQ(ScreenText({}), Spaces(320)); }

}  // namespace
