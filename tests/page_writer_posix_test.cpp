// The page writer against a full disk. POSIX only: /dev/full stands in for
// the full disk. Readers beside writers are in lifetime_posix_test.cpp.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/driver_session.h"

namespace fs = std::filesystem;
using testhost::DriverSession;
using testhost::ExpectedPage;
using testhost::LogBodies;
using testhost::Now;

namespace {

// The file the page is written into before it replaces the page: this
// process's own.
fs::path TempPage(const DriverSession& driver) {
    return driver.work_dir() / "logs" / ("index.htm." + std::to_string(getpid()) + ".tmp");
}

std::vector<std::string> FullDiskLines() {
    return testhost::PageWriteFailureLog("Failed to write web page file", "logs/index.htm", ENOSPC);
}

TEST(FullDisk, WriteFailsKeepsOldPageAndRetriesOnceSpaceIsBack) {
    DriverSession driver;
    unsigned char flag = 0;
    ASSERT_EQ(driver.CallInit(&flag), "Lumivane v0.1");
    const std::string clock = testhost::PageRow(driver.Page(), 2);
    const std::string old_page = driver.Page();
    const std::size_t log_start = driver.Log().size();
    testhost::TimeWindow window{Now(), 0};

    fs::create_symlink("/dev/full", TempPage(driver));
    driver.SetPosition(1, 3);
    EXPECT_EQ(driver.Write("lost?"), 0);
    EXPECT_EQ(driver.Page(), old_page);              // the old page stays whole
    EXPECT_FALSE(fs::is_symlink(TempPage(driver)));  // nothing left behind

    // The shadow rows still hold the old picture: the next call retries.
    EXPECT_EQ(driver.Write(""), 1);
    window.after = Now();
    EXPECT_EQ(driver.Page(), ExpectedPage({"Quendalore Initialising", clock, "lost?", " "}));

    std::vector<std::string> expected = {"SetPosition x=1, y=3", "Write x=1, y=3", "Write lost?"};
    for (const std::string& line : FullDiskLines()) expected.push_back(line);
    expected.push_back("Write x=6, y=3");
    expected.push_back("Write ");
    for (const std::string& line :
         testhost::PageWriteLog({"Quendalore Initialising", clock, "lost?", " "}))
        expected.push_back(line);
    EXPECT_EQ(LogBodies(driver.Log().substr(log_start), window), expected);
}

TEST(FullDisk, InitReportsFailureWhenThePageCannotBeStored) {
    DriverSession driver;
    fs::create_directory(driver.work_dir() / "logs");
    fs::create_symlink("/dev/full", TempPage(driver));
    testhost::TimeWindow window{Now(), 0};

    unsigned char flag = 1;
    EXPECT_EQ(driver.CallInit(&flag), "Failed to create web page");
    EXPECT_EQ(flag, 0);
    EXPECT_FALSE(driver.Exists(driver.PagePath()));
    window.after = Now();

    const std::vector<std::string> log = LogBodies(driver.Log(), window);
    ASSERT_EQ(log.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(log.begin() + 4, log.end()), FullDiskLines());
}

TEST(FullDisk, FailingLogWritesBreakNothing) {
    DriverSession driver;
    fs::create_directory(driver.work_dir() / "logs");
    fs::create_symlink("/dev/full", driver.work_dir() / driver.LogPath());

    unsigned char flag = 0;
    EXPECT_EQ(driver.CallInit(&flag), "Lumivane v0.1");
    EXPECT_EQ(flag, 1);
    driver.SetPosition(1, 4);
    EXPECT_EQ(driver.Write("still here"), 1);
    EXPECT_STREQ(driver.DriverName(), testhost::DriverNameOf("lumivane").c_str());
    const std::string clock = testhost::PageRow(driver.Page(), 2);
    EXPECT_EQ(driver.Page(), ExpectedPage({"Quendalore Initialising", clock, " ", "still here"}));
}

}  // namespace
