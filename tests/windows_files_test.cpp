// Windows only: the DLL's files as a Windows host meets them. CR LF in every
// file, a copy that names itself after its own file, a page replaced while
// another program holds it, and a log that stays free across load cycles.
#include "host/driver_module.h"
#include "tests/support/driver_fixture.h"
#include "tests/support/driver_session.h"
#include "tests/support/files.h"
#include "tests/support/module_host.h"

#define WIN32_LEAN_AND_MEAN
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
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

// --- the module's name comes from its own file --------------------------------

TEST(Win32ModuleName, CopyLoadedAsMirrorDllFromElsewhereIsMirror) {
    DriverSession driver("mirror");
    ASSERT_TRUE(driver.module_path().is_absolute());
    EXPECT_EQ(driver.module_path().filename(), "mirror.dll");
    EXPECT_NE(driver.module_path().parent_path(), driver.work_dir());
    char loaded_from[MAX_PATH] = "";
    GetModuleFileNameA(static_cast<HMODULE>(driver.module()), loaded_from, sizeof loaded_from);
    EXPECT_TRUE(fs::equivalent(loaded_from, driver.module_path())) << loaded_from;

    TimeWindow window{Now(), 0};
    unsigned char flag = 0;
    ASSERT_EQ(driver.CallInit(&flag), "Lumivane v0.1");
    EXPECT_STREQ(driver.DriverName(), testhost::DriverNameOf("mirror").c_str());
    window.after = Now();

    EXPECT_EQ(Entries(driver.work_dir() / "logs"),
              (std::set<std::string>{"index.htm", "mirror.log"}));
    const std::vector<std::string> log = LogBodies(driver.Read("logs\\mirror.log"), window);
    ASSERT_GE(log.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 4),
              Concat({Banner("mirror"), {"Init Web Page  logs\\index.htm"}}));
    EXPECT_EQ(std::vector<std::string>(log.end() - 2, log.end()),
              (std::vector<std::string>{"Entered DriverName", "Exit DriverName"}));
}

// The extension is cut as the file name's last four characters, whatever
// they are: a copy named odd.plugin is "odd.pl".
TEST(Win32ModuleName, LastFourCharactersAreCutWhateverTheyAre) {
    DriverSession driver;
    const fs::path odd = driver.module_path().parent_path() / "odd.plugin";
    fs::copy_file(driver.module_path(), odd);
    std::string error;
    void* module = host::LoadModule(odd.string(), &error);
    ASSERT_NE(module, nullptr) << error;
    const auto driver_name =
        reinterpret_cast<DisplayTextFn>(host::FindExport(module, "DISPLAYDLL_DriverName"));
    ASSERT_NE(driver_name, nullptr);
    EXPECT_STREQ(driver_name(), testhost::DriverNameOf("odd.pl").c_str());
    EXPECT_TRUE(driver.Exists("logs\\odd.pl.log"));
    host::UnloadModule(module);
}

// --- the page is replaced whole, also while another program reads it -------

// After Init, with the cursor at column 1 of row 4.
class Win32PageReplace : public testhost::DriverAfterInit {
protected:
    void SetUp() override {
        DriverAfterInit::SetUp();
        driver_.SetPosition(1, 4);
    }

    std::string PageFullPath() const {
        return (driver_.work_dir() / "logs" / "index.htm").string();
    }

    HANDLE Hold(DWORD share) const {
        return CreateFileA(PageFullPath().c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    // The file system's identity of the file now named by the page's path.
    std::uint64_t PageFileId() const {
        const HANDLE file = Hold(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        BY_HANDLE_FILE_INFORMATION info{};
        const BOOL ok = GetFileInformationByHandle(file, &info);
        CloseHandle(file);
        EXPECT_TRUE(ok);
        return (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    }

    std::vector<std::string> PageWriteLines(const std::string& row4) const {
        return PageWriteLog({"Quendalore Initialising", clock_, " ", row4});
    }
};

TEST_F(Win32PageReplace, NewFileTakesThePagesPlace) {
    const std::uint64_t old_id = PageFileId();
    ASSERT_EQ(driver_.Write("four"), 1);

    EXPECT_EQ(driver_.Read("logs\\index.htm"),
              ExpectedPage({"Quendalore Initialising", clock_, " ", "four"}));
    EXPECT_NE(PageFileId(), old_id);
    EXPECT_EQ(Entries(driver_.work_dir() / "logs"),
              (std::set<std::string>{"index.htm", "lumivane.log"}));
}

// A reader that did not allow deletion keeps the page from being replaced:
// the driver writes it in place instead, as a plain rewrite would.
TEST_F(Win32PageReplace, PageHeldWithoutShareDeleteIsRewrittenInPlace) {
    const std::uint64_t old_id = PageFileId();
    const HANDLE reader = Hold(FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    const int written = driver_.Write("four");
    CloseHandle(reader);

    EXPECT_EQ(written, 1);
    EXPECT_EQ(driver_.Read("logs\\index.htm"),
              ExpectedPage({"Quendalore Initialising", clock_, " ", "four"}));
    EXPECT_EQ(PageFileId(), old_id);
    EXPECT_EQ(Entries(driver_.work_dir() / "logs"),
              (std::set<std::string>{"index.htm", "lumivane.log"}));
    std::vector<std::string> expected = {"SetPosition x=1, y=4", "Write x=1, y=4", "Write four"};
    for (const std::string& line : PageWriteLines("four")) expected.push_back(line);
    EXPECT_EQ(NewLogBodies(), expected);
}

// A reader that shares nothing keeps the page from being written at all: a
// clean failure, the old page untouched, and the next call succeeds once the
// reader has let go.
TEST_F(Win32PageReplace, PageHeldWithoutAnySharingFailsCleanlyThenRetrySucceeds) {
    const std::string old_page = driver_.Read("logs\\index.htm");
    const HANDLE reader = Hold(0);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    std::FILE* probe = std::fopen(PageFullPath().c_str(), "w");
    const int open_error = errno;
    EXPECT_EQ(probe, nullptr);
    EXPECT_EQ(open_error, EACCES);
    if (probe != nullptr) std::fclose(probe);

    const int held_result = driver_.Write("four");
    const std::set<std::string> held_entries = Entries(driver_.work_dir() / "logs");
    CloseHandle(reader);

    EXPECT_EQ(held_result, 0);
    EXPECT_EQ(held_entries, (std::set<std::string>{"index.htm", "lumivane.log"}));
    EXPECT_EQ(driver_.Read("logs\\index.htm"), old_page);

    EXPECT_EQ(driver_.Write(""), 1);
    EXPECT_EQ(driver_.Read("logs\\index.htm"),
              ExpectedPage({"Quendalore Initialising", clock_, " ", "four"}));
    EXPECT_EQ(Entries(driver_.work_dir() / "logs"),
              (std::set<std::string>{"index.htm", "lumivane.log"}));

    EXPECT_EQ(NewLogBodies(), Concat({{"SetPosition x=1, y=4", "Write x=1, y=4", "Write four"},
                                      testhost::PageWriteFailureLog("Failed to open web page file",
                                                                    "logs\\index.htm", open_error),
                                      {"Write x=5, y=4", "Write "},
                                      PageWriteLines("four")}));
}

// --- months in the host: unloads, and a log held by a reader -------------------

// A host that re-initialises its display loads and frees the DLL over and
// over: after each FreeLibrary the log is free again (it can be opened
// exclusively and deleted), no call fails, and no handle stays behind.
TEST(Win32Unload, SixHundredCyclesLeaveTheLogFreeEachTime) {
    DriverSession session;  // the scenario's directory; its own DLL is never called
    const fs::path cycled = session.module_path().parent_path() / "cycled.dll";
    fs::copy_file(session.module_path(), cycled);
    const std::string log = (session.work_dir() / "logs" / "cycled.log").string();

    DWORD handles_before = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles_before);
    int failed_calls = 0;
    int held_logs = 0;
    int undeletable_logs = 0;
    for (int cycle = 0; cycle < 600; ++cycle) {
        std::string error;
        void* module = host::LoadModule(cycled.string(), &error);
        ASSERT_NE(module, nullptr) << "cycle " << cycle << ": " << error;
        host::DriverCalls driver;
        ASSERT_EQ(host::BindDriver(module, &driver), std::vector<std::string>{});
        unsigned char flag = 0;
        if (std::string(driver.Init(80, 4, 0, &flag)) != "Lumivane v0.1" || flag != 1)
            ++failed_calls;
        const std::string text = "cycle " + std::to_string(cycle);
        for (int row = 2; row <= 4; ++row) {
            driver.SetPosition(1, row);
            if (driver.Write(text.c_str()) != 1) ++failed_calls;
        }
        host::UnloadModule(module);

        const HANDLE exclusive = CreateFileA(log.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (exclusive == INVALID_HANDLE_VALUE)
            ++held_logs;
        else
            CloseHandle(exclusive);
        if (!DeleteFileA(log.c_str())) ++undeletable_logs;
    }
    DWORD handles_after = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles_after);

    EXPECT_EQ(failed_calls, 0);
    EXPECT_EQ(held_logs, 0);
    EXPECT_EQ(undeletable_logs, 0);
    EXPECT_EQ(handles_after, handles_before);
    EXPECT_EQ(Entries(session.work_dir() / "logs"), (std::set<std::string>{"index.htm"}));
}

// A reader that does not share deletion keeps the full log from being
// renamed: the log starts afresh in place, and the reader reads on from the
// new start.
TEST(Win32LogBound, LogHeldWithoutShareDeleteStartsAfreshInPlace) {
    DriverSession driver;
    TimeWindow window{Now(), 0};
    unsigned char flag = 0;
    ASSERT_EQ(driver.CallInit(&flag), "Lumivane v0.1");
    const fs::path log = driver.work_dir() / "logs" / "lumivane.log";
    driver.GrowLogTo(16 * 1024 * 1024 - 10);

    const HANDLE reader =
        CreateFileA(log.string().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    driver.SetPosition(3, 3);
    driver.SetPosition(4, 4);
    char read[256] = "";
    DWORD got = 0;
    ReadFile(reader, read, sizeof read, &got, nullptr);
    CloseHandle(reader);
    window.after = Now();

    EXPECT_EQ(Entries(driver.work_dir() / "logs"),
              (std::set<std::string>{"index.htm", "lumivane.log"}));
    const std::vector<std::string> expected = {"SetPosition x=3, y=3", "SetPosition x=4, y=4"};
    EXPECT_EQ(LogBodies(driver.Read("logs\\lumivane.log"), window), expected);
    EXPECT_EQ(LogBodies(std::string(read, got), window), expected);
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
