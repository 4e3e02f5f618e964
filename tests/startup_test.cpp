// Init: the start-up page, the flag, the title, and the log lines it leaves.
// An Init that cannot write its page is in blocked_call_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
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
