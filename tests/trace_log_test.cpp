// The trace log: its name, its banner, and its start at each load.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/driver_session.h"
#include "tests/support/module_host.h"

using testhost::Banner;
using testhost::DriverSession;
using testhost::LogBodies;
using testhost::Now;

namespace {

TEST(TraceLog, IsNamedAfterTheModuleAndOpensWithBanner) {
    DriverSession driver("mirror");
    testhost::TimeWindow window{Now(), 0};
    unsigned char flag = 0;
    driver.CallInit(&flag);
    window.after = Now();

    EXPECT_TRUE(driver.Exists(std::string("logs") + testhost::kDriverPathSeparator + "mirror.log"));
    const std::vector<std::string> log = LogBodies(driver.Log(), window);
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(
        std::vector<std::string>(log.begin(), log.begin() + 4),
        testhost::Concat({Banner("mirror"), {"Init Web Page  " + driver.RelativePagePath()}}));
}

TEST(TraceLog, EachLoadStartsTheLogAfresh) {
    DriverSession driver;
    std::filesystem::create_directory(driver.work_dir() / "logs");
    {
        std::ofstream earlier(driver.work_dir() / driver.LogPath(), std::ios::binary);
        earlier << "a log an earlier load left\n";
    }
    testhost::TimeWindow window{Now(), 0};
    unsigned char flag = 0;
    driver.CallInit(&flag);
    window.after = Now();

    const std::vector<std::string> log = LogBodies(driver.Log(), window);
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 3), Banner("lumivane"));
}

TEST(TraceLog, EveryLineIsOnDiskWhenTheCallReturns) {
    DriverSession driver;
    unsigned char flag = 0;
    driver.CallInit(&flag);
    driver.SetPosition(9, 2);
    // Read from the file while the module still holds it open.
    const std::string log = driver.Log();
    const std::string last = testhost::Lines("SetPosition x=9, y=2\n");
    ASSERT_GE(log.size(), last.size());
    EXPECT_EQ(log.substr(log.size() - last.size()), last);
}

// A line goes out in one write when it fits the log's 4096-byte line buffer
// and in pieces when it does not; the bytes are the same either way.
// "HH:MM:SS dd/mm/yy Write " takes 24 bytes and the line end one or two more,
// so texts around 4070 characters make lines on either side of the buffer's
// size (and those around 487 on either side of the buffer it once had).
TEST(TraceLog, LinesShorterAndLongerThanTheLineBufferAreWrittenWhole) {
    DriverSession driver;
    unsigned char flag = 0;
    driver.CallInit(&flag);
    const std::size_t init_log_size = driver.Log().size();

    std::vector<std::string> expected;
    testhost::TimeWindow window{Now(), 0};
    for (const std::size_t length :
         {0u, 486u, 487u, 488u, 4069u, 4070u, 4071u, 4072u, 5000u, 100000u}) {
        std::string text(length, ' ');
        for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + i % 26);
        driver.Write(text.c_str());
        expected.push_back("Write " + text);
    }
    window.after = Now();

    std::vector<std::string> written;
    for (const std::string& body : LogBodies(driver.Log().substr(init_log_size), window))
        if (body.rfind("Write ", 0) == 0 && body.rfind("Write x=", 0) != 0) written.push_back(body);
    EXPECT_EQ(written, expected);
}

// Each line carries the second it was written in: a line written after the
// clock has moved on to the next second carries that second.
TEST(TraceLog, StampFollowsTheClockAcrossASecond) {
    DriverSession driver;
    unsigned char flag = 0;
    driver.CallInit(&flag);
    const std::size_t log_start = driver.Log().size();

    testhost::TimeWindow first{Now(), 0};
    driver.SetPosition(1, 1);
    first.after = Now();
    while (Now() == first.after) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    testhost::TimeWindow second{Now(), 0};
    driver.SetPosition(2, 2);
    second.after = Now();

    const std::string added = driver.Log().substr(log_start);
    const std::size_t first_line_size = added.find('\n') + 1;
    ASSERT_LT(first_line_size, added.size());
    EXPECT_EQ(LogBodies(added.substr(0, first_line_size), first),
              (std::vector<std::string>{"SetPosition x=1, y=1"}));
    EXPECT_EQ(LogBodies(added.substr(first_line_size), second),
              (std::vector<std::string>{"SetPosition x=2, y=2"}));
}

// Someone empties the log while the driver runs (a person, or a rotation tool
// that copies and then truncates): the next line goes to the new end of the
// file, with no gap of NUL bytes before it.
TEST(TraceLog, LogEmptiedFromOutsideGoesOnAtItsNewEnd) {
    DriverSession driver;
    testhost::TimeWindow window{Now(), 0};
    unsigned char flag = 0;
    driver.CallInit(&flag);
    driver.SetPosition(1, 2);
    ASSERT_GT(driver.Log().size(), 500u);

    std::filesystem::resize_file(driver.work_dir() / driver.LogPath(), 0);
    driver.SetPosition(3, 4);
    window.after = Now();
    const std::string log = driver.Log();
    EXPECT_EQ(log.find('\0'), std::string::npos);
    EXPECT_EQ(LogBodies(log, window), (std::vector<std::string>{"SetPosition x=3, y=4"}));
}

}  // namespace
