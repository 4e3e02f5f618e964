// Windows only: the DLL's files as a Windows host meets them: CR LF in every
// file, the page replaced by a new file, and links planted in logs. What a
// reader holding the page or the log does, and load cycles, are rows and
// checks of os_cases_win32.cpp in tests every build shares.
#include "tests/support/driver_session.h"
#include "tests/support/files.h"
#include "tests/support/module_host.h"

#define WIN32_LEAN_AND_MEAN
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testhost::Banner;
using testhost::Concat;
using testhost::DriverSession;
using testhost::ExpectedPage;
using testhost::LogBodies;
using testhost::Now;
using testhost::PageWriteLog;
using testhost::TimeWindow;

namespace {

// Every line feed in `bytes` comes after a carriage return; the number of lines.
testing::AssertionResult EveryLineEndIsCrLf(const std::string& bytes) {
    std::size_t lines = 0;
    for (std::size_t at = bytes.find('\n'); at != std::string::npos;
         at = bytes.find('\n', at + 1)) {
        if (at == 0 || bytes[at - 1] != '\r')
            return testing::AssertionFailure()
                   << "a line feed without its carriage return at byte " << at;
        ++lines;
    }
    return testing::AssertionSuccess() << lines << " lines";
}

std::set<std::string> Entries(const fs::path& directory) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.insert(entry.path().filename().string());
    return names;
}

}  // namespace

// --- files: CR LF, and where they go -----------------------------------------

TEST(Win32Files, PageAndLogStoreEveryLineEndAsCrLf) {
    DriverSession driver;
    TimeWindow window{Now(), 0};
    unsigned char flag = 0;
    ASSERT_EQ(driver.CallInit(&flag), "Lumivane v0.1");
    driver.SetPosition(1, 3);
    ASSERT_EQ(driver.Write("row <b>three</b>"), 1);
    window.after = Now();

    // The support's page and log lines are those of CR LF files here.
    EXPECT_STREQ(testhost::kLineEnd, "\r\n");

    const std::string page = driver.Read("logs\\index.htm");
    const std::string clock = testhost::PageRow(page, 2);
    EXPECT_TRUE(testhost::IsStartupClock(clock, window)) << clock;
    EXPECT_EQ(page, ExpectedPage({"Quendalore Initialising", clock, "row <b>three</b>", " "}));
    EXPECT_TRUE(EveryLineEndIsCrLf(page));

    const std::string log = driver.Read("logs\\lumivane.log");
    EXPECT_TRUE(EveryLineEndIsCrLf(log));
    EXPECT_EQ(LogBodies(log, window),
              Concat({Banner("lumivane"),
                      {"Init Web Page  logs\\index.htm"},
                      PageWriteLog({"Quendalore Initialising", clock, " ", " "}),
                      {"SetPosition x=1, y=3", "Write x=1, y=3", "Write row <b>three</b>"},
                      PageWriteLog({"Quendalore Initialising", clock, "row <b>three</b>", " "})}));
}

TEST(Win32Files, PageAndLogLiveInsideLogsBelowTheWorkingDirectory) {
    DriverSession driver;
    unsigned char flag = 0;
    ASSERT_EQ(driver.CallInit(&flag), "Lumivane v0.1");
    driver.SetPosition(1, 4);
    ASSERT_EQ(driver.Write("four"), 1);

    EXPECT_EQ(Entries(driver.work_dir()), (std::set<std::string>{"logs"}));
    EXPECT_TRUE(fs::is_directory(driver.work_dir() / "logs"));
    EXPECT_EQ(Entries(driver.work_dir() / "logs"),
              (std::set<std::string>{"index.htm", "lumivane.log"}));
}

// --- the page is replaced whole ---------------------------------------------

// A Write that changes the page puts a new file in its place rather than
// rewriting the old one. A reader holding the page without sharing deletion,
// or sharing nothing, is a row of blocked_call_test.cpp.
TEST(Win32PageReplace, NewFileTakesThePagesPlace) {
    DriverSession driver;
    unsigned char flag = 0;
    ASSERT_EQ(driver.CallInit(&flag), "Lumivane v0.1");
    const std::string clock = testhost::PageRow(driver.Page(), 2);
    const std::uint64_t old_id = testhost::FileIdentity(driver.PageFile());
    driver.SetPosition(1, 4);
    ASSERT_EQ(driver.Write("four"), 1);

    EXPECT_EQ(driver.Read("logs\\index.htm"),
              ExpectedPage({"Quendalore Initialising", clock, " ", "four"}));
    EXPECT_NE(testhost::FileIdentity(driver.PageFile()), old_id);
    EXPECT_EQ(Entries(driver.work_dir() / "logs"),
              (std::set<std::string>{"index.htm", "lumivane.log"}));
}

// --- links planted in logs ---------------------------------------------------

// A symbolic link (a reparse point) at the log or at this process's temporary
// page is never written through: the log's is refused, as a log that cannot be
// opened, and the temporary page's removed and the file made new. The file
// they point at keeps its bytes. Making a link needs a right a user may lack.
namespace {
bool RunningUnderWine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}
}  // namespace

TEST(Win32Links, PlantedLinksAreNeverFollowed) {
    for (const bool at_log : {true, false}) {
        SCOPED_TRACE(at_log ? "log" : "temporary page");
        DriverSession driver;
        const fs::path target = driver.work_dir() / "precious.txt";
        testhost::WriteFile(target, "the user's own file");
        fs::create_directory(driver.work_dir() / "logs");
        const fs::path link =
            driver.work_dir() / "logs" /
            (at_log ? std::string("lumivane.log")
                    : "index.htm." + std::to_string(GetCurrentProcessId()) + ".tmp");
        if (!CreateSymbolicLinkA(link.string().c_str(), target.string().c_str(), 0))
            GTEST_SKIP() << "no symbolic link can be made here (error " << GetLastError() << ")";

        testhost::StartStdoutCapture((driver.work_dir() / "stdout.txt").string());
        unsigned char flag = 0;
        const std::string title = driver.CallInit(&flag);
        // Wine keeps its links as the host system's, not as reparse points: the
        // log's open there neither fails nor reaches the file behind the link.
        const bool refused = at_log && !RunningUnderWine();
        EXPECT_EQ(testhost::StopStdoutCapture(), refused ? "Failed to open ini file" : "");
        EXPECT_EQ(title, "Lumivane v0.1");
        EXPECT_EQ(testhost::ReadFile(target), "the user's own file");
        EXPECT_EQ(testhost::PageRows(driver.Page()).size(), 4u);
        EXPECT_EQ(fs::exists(fs::symlink_status(link)), at_log);
    }
}
