// The page writer: the change test, the page's bytes, and what happens when
// the page cannot be written.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/driver_session.h"
#include "tests/support/files.h"

namespace fs = std::filesystem;
using testhost::DriverSession;
using testhost::Listing;
using testhost::ExpectedPage;
using testhost::LogBodies;
using testhost::Now;

namespace {

class PageWriter : public ::testing::Test {
protected:
    void SetUp() override {
        unsigned char flag = 0;
        ASSERT_EQ(driver_.CallInit(&flag), "Lumivane v0.1");
        clock_ = testhost::PageRow(driver_.Page(), 2);
    }

    fs::path PageFile() const { return driver_.work_dir() / "logs" / "index.htm"; }

    DriverSession driver_;
    std::string clock_;
};

TEST_F(PageWriter, UnchangedScreenLeavesFileAndLogAlone) {
    // Whole seconds: some file systems and run-times keep no finer time stamp.
    const auto old_time = std::chrono::floor<std::chrono::seconds>(
        fs::file_time_type::clock::now() - std::chrono::hours(1));
    fs::last_write_time(PageFile(), old_time);
    const std::string log = driver_.Log();

    // The same text over the start of row 1, and a text inside row 2's clock:
    // nothing differs from what the page shows.
    driver_.SetPosition(1, 1);
    EXPECT_EQ(driver_.Write("Quendalore"), 1);
    driver_.SetPosition(1, 2);
    EXPECT_EQ(driver_.Write(clock_.substr(0, 2).c_str()), 1);

    EXPECT_EQ(fs::last_write_time(PageFile()), old_time);
    testhost::TimeWindow window{Now() - 5, Now()};
    const std::vector<std::string> added = LogBodies(driver_.Log().substr(log.size()), window);
    EXPECT_EQ(added, (std::vector<std::string>{"SetPosition x=1, y=1", "Write x=1, y=1",
                                               "Write Quendalore", "SetPosition x=1, y=2",
                                               "Write x=1, y=2", "Write " + clock_.substr(0, 2)}));
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

TEST_F(PageWriter, DirectoryInThePlaceOfThePageFailsCleanlyAndRetries) {
    fs::remove(PageFile());
    fs::create_directory(PageFile());
    const std::size_t log_start = driver_.Log().size();
    testhost::TimeWindow window{Now(), 0};

    driver_.SetPosition(1, 3);
    EXPECT_EQ(driver_.Write("blocked"), 0);
    EXPECT_EQ(Listing(driver_.work_dir() / "logs"),
              (std::vector<std::string>{"index.htm", "lumivane.log"}));

    // The shadow rows still hold the last page: an empty Write retries.
    fs::remove(PageFile());
    EXPECT_EQ(driver_.Write(""), 1);
    window.after = Now();
    EXPECT_EQ(driver_.Page(), ExpectedPage({"Quendalore Initialising", clock_, "blocked", " "}));

    const std::vector<std::string> log = LogBodies(driver_.Log().substr(log_start), window);
    ASSERT_GE(log.size(), 10u);
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 6),
              (std::vector<std::string>{"SetPosition x=1, y=3", "Write x=1, y=3", "Write blocked",
                                        "Display -------------------------------------------",
                                        "Display_screen Failed to open web page file",
                                        "display_screen " + driver_.PagePath()}));
    EXPECT_EQ(log[6].rfind("display_screen error ", 0), 0u) << log[6];
    EXPECT_EQ(std::vector<std::string>(log.begin() + 7, log.begin() + 10),
              (std::vector<std::string>{"Write x=8, y=3", "Write ",
                                        "Display -------------------------------------------"}));
}

}  // namespace
