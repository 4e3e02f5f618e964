// The page writer against a full disk and a concurrent reader. POSIX only:
// /dev/full stands in for the full disk, and the reader is a second process.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/driver_session.h"

namespace fs = std::filesystem;
using testhost::DriverSession;
using testhost::ExpectedPage;
using testhost::LogBodies;
using testhost::Now;

namespace {

const std::string kStartRule = "Display -------------------------------------------";

// The file the page is written into before it replaces the page: this
// process's own.
fs::path TempPage(const DriverSession& driver) {
    return driver.work_dir() / "logs" / ("index.htm." + std::to_string(getpid()) + ".tmp");
}

std::vector<std::string> FullDiskLines() {
    return {kStartRule, "Display_screen Failed to write web page file",
            "display_screen logs/index.htm", "display_screen error " + std::to_string(ENOSPC)};
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
    EXPECT_STREQ(driver.DriverName(), "lumivane v1.0.14.79");
    const std::string clock = testhost::PageRow(driver.Page(), 2);
    EXPECT_EQ(driver.Page(), ExpectedPage({"Quendalore Initialising", clock, " ", "still here"}));
}

// One process rewrites the page as fast as it can while this one reads it:
// every read must see a whole page, the old one or the new one.
TEST(PageReplacement, ConcurrentReaderNeverSeesAPartialPage) {
    DriverSession driver;
    unsigned char flag = 0;
    ASSERT_EQ(driver.CallInit(&flag), "Lumivane v0.1");
    const std::string page_file = (driver.work_dir() / "logs" / "index.htm").string();
    const std::string page_end = "</pre></body>\n</html>\n\n";
    constexpr auto kDuration = std::chrono::milliseconds(1500);

    const pid_t writer = fork();
    ASSERT_NE(writer, -1);
    if (writer == 0) {
        const auto stop = std::chrono::steady_clock::now() + kDuration;
        char text[] = "frame 0000000";
        for (unsigned frame = 0; std::chrono::steady_clock::now() < stop; ++frame) {
            std::snprintf(text, sizeof text, "frame %07u", frame);
            driver.SetPosition(1, 3);
            if (driver.Write(text) != 1) _exit(3);
        }
        _exit(0);
    }

    long reads = 0;
    long partial = 0;
    std::string example;
    int status = 0;
    while (waitpid(writer, &status, WNOHANG) == 0) {
        std::ifstream in(page_file, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        const std::string page = bytes.str();
        ++reads;
        if (page.size() < page_end.size() ||
            page.compare(page.size() - page_end.size(), page_end.size(), page_end) != 0 ||
            page.rfind("<html>\n", 0) != 0) {
            if (++partial == 1) example = page;
        }
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_GT(reads, 100);
    EXPECT_EQ(partial, 0) << "of " << reads << " reads, e.g.:\n" << example;
}

}  // namespace
