// The driver with its system calls failed on purpose: lumivane_faults.so is
// the module built over a platform layer whose open, write, close, rename,
// lseek, unlink, mkdir and ftruncate can each fail at the Nth call
// (platform/platform_faults.cpp). A sweep fails every call of every kind, one
// at a time, in Init, in a changing Write and in a log rollover; the cases
// after it pin down single failures byte for byte.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/driver_session.h"
#include "tests/support/files.h"
#include "tests/support/page_oracle.h"

namespace fs = std::filesystem;
using testhost::DriverSession;
using testhost::ExpectedPage;
using testhost::kLogBound;
using testhost::LogLineSize;
using testhost::Now;
using testhost::PageRows;

namespace {

const char kClock[] = "<the start-up clock>";  // a row that must hold the start-up clock

class FaultyDriver : public DriverSession {
public:
    FaultyDriver() : DriverSession("lumivane", LUMIVANE_FAULTS_MODULE_PATH) {
        arm_ = reinterpret_cast<ArmFn>(dlsym(module(), "lumivane_faults_arm"));
        calls_ = reinterpret_cast<CallsFn>(dlsym(module(), "lumivane_faults_calls"));
        EXPECT_NE(arm_, nullptr);
        EXPECT_NE(calls_, nullptr);
    }

    // Fails the `nth` call of the kind `fault` names from now on (with
    // `always` every later one too); "none" clears every fault and count.
    void Arm(const char* fault, int nth = 1, bool always = false) {
        ASSERT_EQ(arm_(fault, nth, always ? 1 : 0), 1) << fault;
    }
    int Calls(const char* fault) const { return calls_(fault); }

    bool Init() {
        unsigned char flag = 0;
        CallInit(&flag);
        return flag == 1;
    }

    fs::path LogFile() const { return work_dir() / LogPath(); }
    fs::path FullLogFile() const { return work_dir() / (LogPath() + ".1"); }

    // Makes the log, as the driver knows it, hold almost kLogBound bytes: one
    // line whose body is mostly a hole (the file stays sparse). The driver
    // learns its size at its next check.
    void PadLog() {
        const fs::path log = LogFile();
        testhost::AppendFile(log, "00:00:00 01/01/26 padding ");
        fs::resize_file(log, kLogBound - 1000);
        testhost::AppendFile(log, "\n");
    }

private:
    using ArmFn = int (*)(const char*, int, int);
    using CallsFn = int (*)(const char*);
    ArmFn arm_ = nullptr;
    CallsFn calls_ = nullptr;
};

// The page shows these rows, kClock matching the start-up clock.
bool PageShows(const std::string& page, const std::vector<std::string>& rows,
               testhost::TimeWindow window) {
    const std::vector<std::string> shown = PageRows(page);
    if (shown.size() != rows.size() || page != ExpectedPage(shown)) return false;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i] == kClock ? !testhost::IsStartupClock(shown[i], window) : shown[i] != rows[i])
            return false;
    }
    return true;
}

// A line whose start has the stamp's shape, as far as it goes.
bool StartsLikeALine(const std::string& line) {
    const char shape[] = "99:99:99 99/99/99 ";
    for (std::size_t i = 0; i < line.size() && i + 1 < sizeof shape; ++i) {
        const bool digit = line[i] >= '0' && line[i] <= '9';
        if ((shape[i] == '9') != digit || (!digit && line[i] != shape[i])) return false;
    }
    return true;
}

// Where a stamp stands inside `line` after its start: two lines spliced.
bool HoldsSecondStamp(const std::string& line) {
    for (std::size_t at = 1; at + 18 <= line.size(); ++at)
        if (line[at] >= '0' && line[at] <= '9' && StartsLikeALine(line.substr(at, 18)) &&
            line.size() >= at + 18 && line.compare(at + 8, 1, " ") == 0)
            return true;
    return false;
}

// The lines of a log (its last `tail` bytes at most, from a line's start) that
// are spliced, or cut and then not ended.
std::vector<std::string> BrokenLines(const std::string& log, std::size_t tail = 1 << 20) {
    std::vector<std::string> broken;
    std::size_t start = log.size() > tail ? log.find('\n', log.size() - tail) + 1 : 0;
    while (start < log.size()) {
        std::size_t end = log.find('\n', start);
        if (end == std::string::npos) {
            broken.push_back("<no line end> " + log.substr(start, 80));
            break;
        }
        const std::string line = log.substr(start, end - start);
        if (!StartsLikeALine(line) || HoldsSecondStamp(line)) broken.push_back(line.substr(0, 120));
        start = end + 1;
    }
    return broken;
}

std::vector<std::string> TemporaryFiles(const fs::path& logs) {
    std::vector<std::string> found;
    for (const std::string& name : testhost::Listing(logs))
        if (name.find(".tmp") != std::string::npos) found.push_back(name);
    return found;
}

// --- the sweep -----------------------------------------------------------------

struct Scenario {
    const char* name;
    void (*prepare)(FaultyDriver& driver);  // unfaulted
    bool (*act)(FaultyDriver& driver);      // under the fault: the call's answer
    std::vector<std::string> screen;        // what the page shows once it succeeds
};

const std::string kYs(80, 'y');
const char kPlanted[] = "left by an earlier load";

const Scenario kScenarios[] = {
    {"Init",
     [](FaultyDriver&) {},
     [](FaultyDriver& driver) { return driver.Init(); },
     {"Quendalore Initialising", kClock, " ", " "}},
    {"ChangingWrite",
     [](FaultyDriver& driver) {
         driver.Init();
         driver.SetPosition(1, 3);
     },
     [](FaultyDriver& driver) { return driver.Write("changed") == 1; },
     {"Quendalore Initialising", kClock, "changed", " "}},
    // A file left at this process's temporary page: removed, and made new.
    {"StaleTemporaryPage",
     [](FaultyDriver& driver) {
         driver.Init();
         testhost::WriteFile(
             driver.work_dir() / "logs" / ("index.htm." + std::to_string(getpid()) + ".tmp"),
             kPlanted);
         driver.SetPosition(1, 3);
     },
     [](FaultyDriver& driver) { return driver.Write("changed") == 1; },
     {"Quendalore Initialising", kClock, "changed", " "}},
    // A Write line over 64 KiB makes the driver ask the log's size, and the
    // padded log is past its bound: the log rolls over, then the page changes.
    {"LogRollover",
     [](FaultyDriver& driver) {
         driver.Init();
         driver.PadLog();
         driver.SetPosition(1, 1);
     },
     [](FaultyDriver& driver) { return driver.Write(std::string(70 * 1024, 'y').c_str()) == 1; },
     {kYs, kYs, kYs, kYs}},
};

const char* const kFaults[] = {"open",   "write", "short",  "full",  "close",
                               "rename", "size",  "remove", "mkdir", "truncate"};

class FaultSweep : public ::testing::TestWithParam<std::tuple<int, const char*>> {};

// For every N up to the number of such calls the scenario makes: the answer
// tells the truth about the page, the page is always whole, nothing is left
// behind, no log line is broken, and the next call recovers.
TEST_P(FaultSweep, EveryCallFailedInTurn) {
    const Scenario& scenario = kScenarios[std::get<0>(GetParam())];
    const char* fault = std::get<1>(GetParam());

    int calls = 0;
    {
        FaultyDriver driver;
        scenario.prepare(driver);
        driver.Arm("none");
        ASSERT_TRUE(scenario.act(driver));
        calls = driver.Calls(fault);
    }
    std::printf("%s, %s: %d runs\n", scenario.name, fault, calls);
    for (int nth = 1; nth <= calls; ++nth) {
        SCOPED_TRACE(std::string(scenario.name) + ", " + fault + " #" + std::to_string(nth));
        FaultyDriver driver;
        const testhost::TimeWindow window{Now(), Now() + 5};
        scenario.prepare(driver);
        const std::string old_page = driver.Page();
        driver.Arm("none");
        driver.Arm(fault, nth);
        const bool answer = scenario.act(driver);
        const int calls_under_fault = driver.Calls(fault);
        driver.Arm("none");

        // A cut write is followed by one more, which writes the rest: the
        // fault did cut, as a whole line alone can't show.
        if (fault == std::string("short")) {
            EXPECT_EQ(calls_under_fault, calls + 1);
        }

        const std::string page = driver.Page();
        if (answer) {
            EXPECT_TRUE(PageShows(page, scenario.screen, window)) << page;
        } else {
            EXPECT_EQ(page, old_page);  // the old page stays whole (or absent)
        }
        if (!page.empty()) {
            EXPECT_EQ(page, ExpectedPage(PageRows(page)));
        }
        // None of the driver's own: a file planted there may stay until the
        // next call can remove it.
        for (const std::string& name : TemporaryFiles(driver.work_dir() / "logs"))
            EXPECT_EQ(testhost::ReadFile(driver.work_dir() / "logs" / name), kPlanted) << name;

        // The next call recovers, and ends a line the fault cut.
        const std::string rs(80, 'r');
        driver.SetPosition(1, 4);
        EXPECT_EQ(driver.Write(rs.c_str()), 1);
        std::vector<std::string> recovered = scenario.screen;
        recovered[3] = rs;
        EXPECT_TRUE(PageShows(driver.Page(), recovered, window)) << driver.Page();
        EXPECT_EQ(TemporaryFiles(driver.work_dir() / "logs"), std::vector<std::string>{});
        EXPECT_EQ(BrokenLines(driver.Log()), std::vector<std::string>{});
        EXPECT_EQ(BrokenLines(testhost::ReadFile(driver.FullLogFile()), 256 * 1024),
                  std::vector<std::string>{});
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllCalls, FaultSweep,
    ::testing::Combine(::testing::Range(0, static_cast<int>(std::size(kScenarios))),
                       ::testing::ValuesIn(kFaults)),
    [](const ::testing::TestParamInfo<FaultSweep::ParamType>& info) {
        return std::string(kScenarios[std::get<0>(info.param)].name) + "_" +
               std::get<1>(info.param);
    });

// --- single failures, byte for byte --------------------------------------------

class FaultAfterInit : public ::testing::Test {
protected:
    // A log line with this body, its stamp's shape aside.
    static std::string LogLine(const std::string& body) {
        return std::string(testhost::kStampSize, '0') + " " + body + "\n";
    }

    void SetUp() override {
        window_.before = Now();
        ASSERT_TRUE(driver_.Init());
        clock_ = testhost::PageRow(driver_.Page(), 2);
        window_.after = Now() + 5;
    }

    std::vector<std::string> Screen(const std::string& row3) const {
        return {"Quendalore Initialising", clock_, row3, " "};
    }

    FaultyDriver driver_;
    testhost::TimeWindow window_{};
    std::string clock_;
};

// A full disk that only shows when the temporary page is closed (as NFS
// reports it), or in its write: the old page stays, byte for byte, and the
// next call writes the page.
TEST_F(FaultAfterInit, FailedTemporaryPageNeverReplacesThePage) {
    struct Case {
        const char* fault;
        int error;  // logged
    };
    for (const Case& c : {Case{"close", EIO}, Case{"full", ENOSPC}, Case{"write", EIO}}) {
        SCOPED_TRACE(c.fault);
        driver_.SetPosition(1, 3);
        driver_.Write("keep");  // the page shows "keep"
        const std::string old_page = driver_.Page();
        ASSERT_EQ(old_page, ExpectedPage(Screen("keep")));
        const std::size_t log_mark = driver_.Log().size();

        driver_.SetPosition(1, 3);
        // The Write's writes: its two lines, the page write's rule, then the
        // page; its one close is the page's.
        driver_.Arm("none");
        driver_.Arm(c.fault, c.fault == std::string("close") ? 1 : 4);
        EXPECT_EQ(driver_.Write("lost"), 0);
        driver_.Arm("none");
        EXPECT_EQ(driver_.Page(), old_page);
        EXPECT_EQ(TemporaryFiles(driver_.work_dir() / "logs"), std::vector<std::string>{});
        EXPECT_TRUE(testhost::LogIs(
            driver_.Log().substr(log_mark),
            testhost::Concat({{"SetPosition x=1, y=3", "Write x=1, y=3", "Write lost"},
                              testhost::PageWriteFailureLog("Failed to write web page file",
                                                            "logs/index.htm", c.error)}),
            window_));

        EXPECT_EQ(driver_.Write(""), 1);  // the shadow rows still differ: a retry
        EXPECT_EQ(driver_.Page(), ExpectedPage(Screen("lost")));
    }
}

// A log line the disk took only in part (a short write, then a full disk) is
// ended before the next line, which starts a line of its own.
TEST_F(FaultAfterInit, CutLogLineIsEndedBeforeTheNext) {
    const std::size_t mark = driver_.Log().size();
    driver_.Arm("none");
    driver_.Arm("full", 1);
    driver_.SetPosition(2, 2);  // its line: half of it, then ENOSPC
    driver_.Arm("none");
    driver_.SetPosition(3, 3);

    const std::string log = driver_.Log().substr(mark);
    const std::string whole = LogLine("SetPosition x=2, y=2");
    const std::string half = whole.substr(0, whole.size() / 2);
    ASSERT_GE(log.size(), half.size() + 1);
    EXPECT_EQ(log.substr(testhost::kStampSize, half.size() + 1 - testhost::kStampSize),
              half.substr(testhost::kStampSize) + "\n");
    EXPECT_TRUE(testhost::LogIs(log.substr(half.size() + 1), {"SetPosition x=3, y=3"}, window_));
}

// A line longer than the line buffer goes out in one writev of its pieces;
// when the disk takes only part of it, the rest follows from where it stopped.
TEST_F(FaultAfterInit, ShortWriteOfALongLineGoesOnWhereItStopped) {
    for (const std::size_t length : {std::size_t{5000}, std::size_t{70 * 1024}}) {
        SCOPED_TRACE(length);
        std::string text;
        for (std::size_t i = 0; i < length; ++i) text += static_cast<char>('a' + i % 26);
        driver_.SetPosition(1, 1);
        const std::size_t mark = driver_.Log().size();
        driver_.Arm("none");
        driver_.Arm("short", 2);  // the Write's text line
        driver_.Write(text.c_str());
        driver_.Arm("none");
        const std::string log = driver_.Log().substr(mark);
        const std::vector<std::string> bodies = testhost::LogBodies(log, window_);
        ASSERT_GE(bodies.size(), 2u);
        EXPECT_EQ(bodies[0], "Write x=1, y=1");
        EXPECT_TRUE(bodies[1] == "Write " + text) << "the line is not the Write's whole text";
    }
}

// A cut write is followed by one more, with the rest of the line, which the
// disk takes (short) or refuses (full). The count of the platform's write
// calls shows that the fault layer cut the write: the log alone can't, since
// a whole line is also what an uncut write leaves.
TEST_F(FaultAfterInit, CutWriteIsFollowedByOneMore) {
    const std::string text(5000, 'w');
    // The platform's write calls of one call whose last line is the one under
    // `fault` (none: nullptr): SetPosition's line in one write, or a long
    // Write's text line, over the line buffer, in one writev. That Write
    // leaves the screen as the one before it did, so no page follows.
    const auto write_calls = [&](bool long_line, const char* fault) {
        driver_.SetPosition(1, 1);
        if (long_line) driver_.Write(text.c_str());
        driver_.SetPosition(1, 1);
        driver_.Arm("none");
        if (fault != nullptr) driver_.Arm(fault, long_line ? 2 : 1);
        if (long_line)
            driver_.Write(text.c_str());
        else
            driver_.SetPosition(2, 2);
        const int calls = driver_.Calls("write");
        driver_.Arm("none");
        return calls;
    };
    for (const bool long_line : {false, true}) {
        const int uncut = write_calls(long_line, nullptr);
        EXPECT_EQ(uncut, long_line ? 2 : 1);
        for (const char* fault : {"short", "full"}) {
            SCOPED_TRACE(std::string(fault) + (long_line ? " writev" : " write"));
            EXPECT_EQ(write_calls(long_line, fault), uncut + 1);
        }
    }
}

// A log that cannot be opened again after its rollover is tried again at the
// next line: logging goes on.
TEST_F(FaultAfterInit, FailedOpenAtRolloverIsRetriedAtTheNextLine) {
    driver_.PadLog();
    driver_.SetPosition(1, 1);
    driver_.Arm("none");
    driver_.Arm("open", 1);  // the fresh log's open
    ASSERT_EQ(driver_.Write(std::string(70 * 1024, 'y').c_str()), 1);
    driver_.Arm("none");

    EXPECT_EQ(fs::file_size(driver_.FullLogFile()), kLogBound - 1000 + 1 +
                                                        LogLine("SetPosition x=1, y=1").size() +
                                                        LogLine("Write x=1, y=1").size());
    const std::string ys(80, 'y');
    // The Write's line was lost with the open; the page write's lines are not.
    EXPECT_TRUE(testhost::LogIs(driver_.Log(), testhost::PageWriteLog({ys, ys, ys, ys}), window_));
}

// When the page cannot be replaced by renaming, it is written over in place:
// a reader polling it all along never sees it empty or without its refresh
// element, and no Write answers 0.
TEST_F(FaultAfterInit, PageWrittenInPlaceIsNeverEmptyForAReader) {
    driver_.Arm("none");
    driver_.Arm("rename", 1, true);
    const fs::path page = driver_.work_dir() / driver_.RelativePagePath();
    const std::string refresh = testhost::OracleRefreshLine();
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t reader = fork();
    ASSERT_GE(reader, 0);
    if (reader == 0) {
        // Counts reads until the parent closes its end: empty, and without the
        // refresh element.
        close(ready[1]);
        long reads = 0;
        long empty = 0;
        long no_refresh = 0;
        for (;;) {
            const std::string bytes = testhost::ReadFile(page);
            ++reads;
            if (bytes.empty())
                ++empty;
            else if (bytes.find(refresh) == std::string::npos)
                ++no_refresh;
            pollfd done = {ready[0], POLLIN, 0};
            if (poll(&done, 1, 0) == 1) break;
        }
        std::printf("reader: %ld reads, %ld empty, %ld without the refresh element\n", reads, empty,
                    no_refresh);
        std::fflush(stdout);
        _exit(empty == 0 && no_refresh == 0 ? 0 : 1);
    }
    close(ready[0]);
    int answered_0 = 0;
    for (int i = 0; i < 3000; ++i) {
        driver_.SetPosition(1, 3);
        const std::string text = "write " + std::to_string(i) + (i % 2 ? " and a longer tail" : "");
        if (driver_.Write(text.c_str()) != 1) ++answered_0;
    }
    close(ready[1]);
    int status = 0;
    waitpid(reader, &status, 0);
    driver_.Arm("none");
    EXPECT_EQ(answered_0, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the reader saw a broken page";
    EXPECT_EQ(driver_.Page(), ExpectedPage(Screen("write 2999 and a longer tail")));
    EXPECT_EQ(TemporaryFiles(driver_.work_dir() / "logs"), std::vector<std::string>{});
}

// When writing in place fails too, the old page is put back whole, the Write
// answers 0, and the next call tries again.
TEST_F(FaultAfterInit, FailedWriteInPlaceKeepsTheOldPage) {
    for (const char* fault : {"write", "full", "truncate", "open"}) {
        SCOPED_TRACE(fault);
        driver_.SetPosition(1, 3);
        ASSERT_EQ(driver_.Write("a long row that the next page cuts short"), 1);
        const std::string old_page = driver_.Page();
        driver_.SetPosition(1, 3);
        driver_.Arm("none");
        driver_.Arm("rename", 1, true);
        // The Write's writes: its two lines, the rule, the temporary page,
        // then the page in place. Its opens: the temporary page, the page.
        driver_.Arm(fault, fault == std::string("open")       ? 2
                           : fault == std::string("truncate") ? 1
                                                              : 5);
        EXPECT_EQ(driver_.Write("short"), 0);
        driver_.Arm("none");
        EXPECT_EQ(driver_.Page(), old_page);
        EXPECT_EQ(TemporaryFiles(driver_.work_dir() / "logs"), std::vector<std::string>{});
        EXPECT_EQ(driver_.Write(""), 1);
        EXPECT_EQ(driver_.Page(), ExpectedPage(Screen("shortg row that the next page cuts short")));
    }
}

}  // namespace
