// The page writer: the change test and the page's bytes. A page that cannot
// be written is in blocked_call_test.cpp.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/driver_fixture.h"
#include "tests/support/driver_session.h"
#include "tests/support/files.h"

namespace fs = std::filesystem;
using testhost::ExpectedPage;
using testhost::Listing;

namespace {

class PageWriter : public testhost::DriverAfterInit {
protected:
    fs::path PageFile() const { return driver_.work_dir() / "logs" / "index.htm"; }
};

TEST_F(PageWriter, UnchangedScreenLeavesThePageFileAloneAndLogsNoPageWrite) {
    // Whole seconds: some file systems and run-times keep no finer time stamp.
    const auto old_time = std::chrono::floor<std::chrono::seconds>(
        fs::file_time_type::clock::now() - std::chrono::hours(1));
    fs::last_write_time(PageFile(), old_time);

    // The same text over the start of row 1, and a text inside row 2's clock:
    // nothing differs from what the page shows.
    driver_.SetPosition(1, 1);
    EXPECT_EQ(driver_.Write("Quendalore"), 1);
    driver_.SetPosition(1, 2);
    EXPECT_EQ(driver_.Write(clock_.substr(0, 2).c_str()), 1);

    EXPECT_EQ(fs::last_write_time(PageFile()), old_time);
    EXPECT_TRUE(
        NewLogIs({"SetPosition x=1, y=1", "Write x=1, y=1", "Write Quendalore",
                  "SetPosition x=1, y=2", "Write x=1, y=2", "Write " + clock_.substr(0, 2)}));
}

TEST_F(PageWriter, ChangeInOneRowRewritesAllFourRows) {
    driver_.SetPosition(1, 4);
    ASSERT_EQ(driver_.Write("four"), 1);
    EXPECT_EQ(driver_.Page(), ExpectedPage({"Quendalore Initialising", clock_, " ", "four"}));
}

// What the page shows for a row, byte for byte.
struct RowText {
    const char* name;
    std::string written;  // written at column 1 of row 3
    std::string shown;    // the page's row 3
};

const RowText kRowTexts[] = {
    {"EightyCharactersNoTerminator", std::string(80, 'x'), std::string(80, 'x')},
    {"MarkupPassesThrough", "<b>bold</b> & <i>more</i>", "<b>bold</b> & <i>more</i>"},
    {"EightBitCharactersUnchanged", "caf\xe9 \xa9 \xff", "caf\xe9 \xa9 \xff"},
    {"PercentSignsAreNotFormats", "100% %s %n %d", "100% %s %n %d"},
};

void PrintTo(const RowText& row, std::ostream* out) { *out << row.name; }

class RowTexts : public PageWriter, public ::testing::WithParamInterface<RowText> {};

TEST_P(RowTexts, GoIntoThePageAsTheyAre) {
    driver_.SetPosition(1, 3);
    ASSERT_EQ(driver_.Write(GetParam().written.c_str()), 1);
    EXPECT_EQ(driver_.Page(),
              ExpectedPage({"Quendalore Initialising", clock_, GetParam().shown, " "}));
}

INSTANTIATE_TEST_SUITE_P(Page, RowTexts, ::testing::ValuesIn(kRowTexts),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PageWriter, LeavesNoTemporaryFileBehind) {
    driver_.SetPosition(1, 3);
    driver_.Write("one");
    driver_.Write("two");
    EXPECT_EQ(Listing(driver_.work_dir() / "logs"),
              (std::vector<std::string>{"index.htm", "lumivane.log"}));
}

}  // namespace
