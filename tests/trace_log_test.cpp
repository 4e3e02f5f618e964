// The trace log: its name, its banner, and its start at each load.
#include "tests/support/driver_session.h"
#include "tests/support/module_host.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 4),
              (std::vector<std::string>{Banner("mirror")[0], "Log File opened for  mirror",
                                        Banner("mirror")[2],
                                        "Init Web Page  " + driver.PagePath()}));
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

// A line goes out in one piece when it fits the log's 512-byte line buffer
// and field by field when it does not; the bytes are the same either way.
// "HH:MM:SS dd/mm/yy Write " takes 24 bytes and the line end one more, so
// texts of 486, 487 and 488 characters make lines of 511, 512 and 513 bytes.
TEST(TraceLog, LinesShorterAndLongerThanTheLineBufferAreWrittenWhole) {
    DriverSession driver;
    unsigned char flag = 0;
    driver.CallInit(&flag);
    const std::size_t init_log_size = driver.Log().size();

    std::vector<std::string> expected;
    testhost::TimeWindow window{Now(), 0};
    for (const std::size_t length : {0u, 486u, 487u, 488u, 5000u}) {
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

}  // namespace
