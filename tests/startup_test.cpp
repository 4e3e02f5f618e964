// Init: the start-up page, the flag, the title, and the log lines it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "tests/support/driver_session.h"

namespace fs = std::filesystem;
using testhost::Banner;
using testhost::Concat;
using testhost::DriverSession;
using testhost::ExpectedPage;
using testhost::LogBodies;
using testhost::Now;
using testhost::PageWriteLog;

TEST(Startup, FirstInitWritesStartupPageAndLog) {
    DriverSession driver;
    testhost::TimeWindow window{Now(), 0};
    unsigned char flag = 7;
    const std::string title = driver.CallInit(&flag);
    window.after = Now();

    EXPECT_EQ(title, "Lumivane v0.1");
    EXPECT_EQ(flag, 1);
    EXPECT_TRUE(fs::is_directory(driver.work_dir() / "logs"));

    const std::string page = driver.Page();
    const std::string clock = testhost::PageRow(page, 2);
    EXPECT_TRUE(testhost::IsStartupClock(clock, window)) << clock;
    EXPECT_EQ(page, ExpectedPage({"Quendalore Initialising", clock, " ", " "}));

    EXPECT_EQ(LogBodies(driver.Log(), window),
              Concat({Banner("lumivane"),
                      {"Init Web Page  " + driver.RelativePagePath()},
                      PageWriteLog({"Quendalore Initialising", clock, " ", " "})}));
}

// The screen size in the first three arguments is not read, and a host may
// pass no flag to fill: Init answers as usual, on success and on failure.
TEST(Startup, InitIgnoresItsFirstThreeArgumentsAndTakesANullFlag) {
    DriverSession driver;
    const char* title = driver.Init(-1, 12345, 0x7fffffff, nullptr);
    ASSERT_NE(title, nullptr);
    EXPECT_STREQ(title, "Lumivane v0.1");
    const std::string clock = testhost::PageRow(driver.Page(), 2);
    EXPECT_EQ(driver.Page(), ExpectedPage({"Quendalore Initialising", clock, " ", " "}));

    fs::remove(driver.work_dir() / driver.RelativePagePath());
    fs::create_directory(driver.work_dir() / driver.RelativePagePath());
    const char* failure = driver.Init(-1, 12345, 0x7fffffff, nullptr);
    ASSERT_NE(failure, nullptr);
    EXPECT_STREQ(failure, "Failed to create web page");
}

TEST(Startup, SecondInitRedrawsStartupPictureWithoutSecondBanner) {
    DriverSession driver;
    testhost::TimeWindow window{Now(), 0};
    unsigned char flag = 0;
    driver.CallInit(&flag);
    driver.SetPosition(1, 3);
    driver.Write("row three text");
    driver.SetPosition(1, 1);
    driver.Write("a row one text that is longer than the start-up banner");

    flag = 0;
    EXPECT_EQ(driver.CallInit(&flag), "Lumivane v0.1");
    window.after = Now();
    EXPECT_EQ(flag, 1);

    const std::string clock = testhost::PageRow(driver.Page(), 2);
    EXPECT_EQ(driver.Page(), ExpectedPage({"Quendalore Initialising", clock, " ", " "}));

    const std::vector<std::string> log = LogBodies(driver.Log(), window);
    EXPECT_EQ(std::count(log.begin(), log.end(), Banner("lumivane")[1]), 1);
    ASSERT_GE(log.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(log.end() - 7, log.end()),
              Concat({{"Init Web Page  " + driver.RelativePagePath()},
                      PageWriteLog({"Quendalore Initialising", clock, " ", " "})}));
}

TEST(Startup, BlockedPageFailsThenRetrySucceedsOnceUnblocked) {
    DriverSession driver;
    fs::create_directories(driver.work_dir() / "logs" / "index.htm");
    // The error number the run-time library gives for opening a directory.
    std::FILE* probe = std::fopen(driver.RelativePagePath().c_str(), "w");
    const int open_error = errno;
    ASSERT_EQ(probe, nullptr);

    testhost::TimeWindow window{Now(), 0};
    unsigned char flag = 1;
    EXPECT_EQ(driver.CallInit(&flag), "Failed to create web page");
    EXPECT_EQ(flag, 0);

    fs::remove(driver.work_dir() / "logs" / "index.htm");
    // Nothing on the screen changed, but the page is still behind: the
    // shadow rows kept the old picture, so an empty Write writes it now.
    EXPECT_EQ(driver.Write(""), 1);
    window.after = Now();

    const std::string clock = testhost::PageRow(driver.Page(), 2);
    EXPECT_EQ(driver.Page(), ExpectedPage({"Quendalore Initialising", clock, " ", " "}));
    EXPECT_EQ(LogBodies(driver.Log(), window),
              Concat({Banner("lumivane"),
                      {"Init Web Page  " + driver.RelativePagePath()},
                      testhost::PageWriteFailureLog("Failed to open web page file",
                                                    driver.RelativePagePath(), open_error),
                      {"Write x=1, y=1", "Write "},
                      PageWriteLog({"Quendalore Initialising", clock, " ", " "})}));
}

// A second Init whose page cannot be written still owes the host its page,
// even when the picture it drew is the one the page already shows (Init
// again within the same minute): the next Write, changing nothing, writes it.
TEST(Startup, SecondInitBlockedStillHasItsPageWrittenByTheNextWrite) {
    DriverSession driver;
    const std::time_t first_init = Now();
    unsigned char flag = 0;
    ASSERT_EQ(driver.CallInit(&flag), "Lumivane v0.1");
    const std::string clock = testhost::PageRow(driver.Page(), 2);

    const fs::path page = driver.work_dir() / "logs" / "index.htm";
    fs::remove(page);
    fs::create_directories(page);
    flag = 1;
    EXPECT_EQ(driver.CallInit(&flag), "Failed to create web page");
    EXPECT_EQ(flag, 0);
    if (Now() / 60 != first_init / 60) GTEST_SKIP() << "the minute turned between the two Inits";
    fs::remove(page);

    testhost::TimeWindow window{Now(), 0};
    const std::size_t log_before = driver.Log().size();
    EXPECT_EQ(driver.Write(""), 1);
    window.after = Now();

    EXPECT_EQ(driver.Page(), ExpectedPage({"Quendalore Initialising", clock, " ", " "}));
    EXPECT_EQ(LogBodies(driver.Log().substr(log_before), window),
              Concat({{"Write x=1, y=1", "Write "},
                      PageWriteLog({"Quendalore Initialising", clock, " ", " "})}));
}
