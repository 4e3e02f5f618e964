// The driver in a host that stays up for months, sharing its working
// directory with other processes that drive copies of it, and what killed
// ones leave behind. POSIX only: the other processes are forked. Load cycles
// are in unload_test.cpp.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/driver_session.h"
#include "tests/support/files.h"

namespace fs = std::filesystem;
using testhost::DriverSession;
using testhost::kLogBound;
using testhost::Listing;
using testhost::Now;

namespace {

// --- two processes driving copies of the module in one directory ---------------

// Forks a process that runs `body` and ends with its result as exit status.
template <typename Body>
pid_t Spawn(Body body) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) _exit(body());
    return child;
}

// Waits for a child; its exit status, or -1 when it did not exit normally.
int ExitStatus(pid_t child) {
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// Forks two writers, tagged 'A' and 'B', each with its own load of the module
// (the session's, copied by fork). Each starts its log with Init, and neither
// runs `body(tag)` until both have, so their lines meet in one log. A writer
// ends with body's status, or 4 when its Init failed.
template <typename Body>
std::vector<pid_t> SpawnStartedTogether(DriverSession& session, Body body) {
    int ready[2], go[2];
    if (pipe(ready) != 0 || pipe(go) != 0) {
        ADD_FAILURE() << "no pipe";
        return {};
    }
    std::vector<pid_t> writers;
    for (const char tag : {'A', 'B'}) {
        writers.push_back(Spawn([&session, &ready, &go, &body, tag] {
            close(go[1]);
            unsigned char flag = 0;
            session.CallInit(&flag);
            char byte = tag;
            if (write(ready[1], &byte, 1) != 1) return 2;
            if (read(go[0], &byte, 1) != 0) return 2;  // both have started their log
            const int status = body(tag);
            return status != 0 ? status : flag == 1 ? 0 : 4;
        }));
    }
    close(go[0]);
    char byte = 0;
    for (std::size_t i = 0; i < writers.size(); ++i) EXPECT_EQ(read(ready[0], &byte, 1), 1);
    close(go[1]);  // go
    return writers;
}

// The 160 characters a writer puts on rows 3 and 4 in one Write: its tag and
// frame number, the same on both rows, so a page that shows row 3 of one
// frame and row 4 of another is a mixed page.
std::string FrameText(char tag, unsigned frame) {
    char head[32];
    std::snprintf(head, sizeof head, "writer %c frame %09u ", tag, frame);
    std::string row = head;
    row.resize(80, tag);
    return row + row;
}

// The start-up picture (rows 3 and 4 blank), or one writer's frame whole.
bool IsStartupOrFrame(const std::vector<std::string>& rows) {
    if (rows[2] == " " && rows[3] == " ") return true;
    if (rows[2].size() != 80 || rows[2].compare(0, 7, "writer ") != 0) return false;
    const std::string number = rows[2].substr(15, 9);
    if (number.find_first_not_of("0123456789") != std::string::npos) return false;
    return rows[2] + rows[3] == FrameText(rows[2][7], static_cast<unsigned>(std::stoul(number)));
}

// Two processes rewrite the page as fast as they can while this one reads
// it: every read is a whole page, with both rows of one frame of one writer,
// and no temporary file is left once the writers are done.
TEST(ManyWriters, TwoWritersAndAReaderSeeOnlyWholePages) {
    DriverSession session;
    const auto stop = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    std::vector<pid_t> writers;
    for (const char tag : {'A', 'B'}) {
        writers.push_back(Spawn([&session, stop, tag] {
            unsigned char flag = 0;
            session.CallInit(&flag);
            if (flag != 1) return 2;
            for (unsigned frame = 0; std::chrono::steady_clock::now() < stop; ++frame) {
                session.SetPosition(1, 3);
                if (session.Write(FrameText(tag, frame).c_str()) != 1) return 3;
            }
            return 0;
        }));
    }

    const fs::path page = session.work_dir() / session.RelativePagePath();
    while (!fs::exists(page) && std::chrono::steady_clock::now() < stop) {
    }
    long reads = 0, empty = 0, torn = 0, mixed = 0;
    std::string example;
    while (std::chrono::steady_clock::now() < stop) {
        const std::string bytes = testhost::ReadFile(page);
        ++reads;
        const std::vector<std::string> rows = testhost::PageRows(bytes);
        bool whole = true;
        if (bytes.empty()) {
            ++empty;
            whole = false;
        } else if (rows.size() != 4) {
            ++torn;
            whole = false;
        } else if (!IsStartupOrFrame(rows)) {
            ++mixed;
            whole = false;
        }
        if (!whole && example.empty()) example = bytes.empty() ? "<empty>" : bytes;
    }
    for (const pid_t writer : writers) EXPECT_EQ(ExitStatus(writer), 0);

    EXPECT_GT(reads, 100);
    EXPECT_EQ(empty + torn + mixed, 0) << "of " << reads << " reads " << empty << " empty, " << torn
                                       << " torn, " << mixed << " mixed, e.g.:\n"
                                       << example;
    // No temporary page is left. Three seconds of frames may take the log
    // past its bound, so the full log beside it is no fault.
    std::vector<std::string> left = Listing(session.work_dir() / "logs");
    left.erase(std::remove(left.begin(), left.end(), "lumivane.log.1"), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"index.htm", "lumivane.log"}));
}

// Two processes each load the module and share one log: once both have
// started it, every line of each lands whole, in its order, and nothing
// else (no NUL bytes, no pieces) is in the file.
TEST(ManyWriters, TwoProcessesSharingTheLogNeverSpliceALine) {
    DriverSession session;
    constexpr int kWrites = 1500;
    const testhost::TimeWindow window{Now(), 0};
    const std::vector<pid_t> writers = SpawnStartedTogether(session, [&session](char tag) {
        char text[32];
        for (int i = 0; i < kWrites; ++i) {
            std::snprintf(text, sizeof text, "%c %06d", tag, i);
            session.SetPosition(1, 3);
            if (session.Write(text) != 1) return 3;
        }
        return 0;
    });
    for (const pid_t writer : writers) EXPECT_EQ(ExitStatus(writer), 0);

    const std::string log = session.Log();
    EXPECT_EQ(log.find('\0'), std::string::npos);
    const std::vector<std::string> bodies = testhost::LogBodies(log, {window.before, Now()});
    std::vector<int> next = {0, 0};
    int out_of_order = 0;
    for (const std::string& body : bodies) {
        if (body.size() != 14 || body.compare(0, 6, "Write ") != 0 || body[7] != ' ') continue;
        const int writer = body[6] - 'A';
        if (writer < 0 || writer > 1 ||
            body.find_first_not_of("0123456789", 8) != std::string::npos ||
            std::stoi(body.substr(8)) != next[writer]++)
            ++out_of_order;
    }
    EXPECT_EQ(out_of_order, 0);
    EXPECT_EQ(next, (std::vector<int>{kWrites, kWrites}));
}

// Two processes share the log while it passes its bound again and again:
// whichever of them finds it full first begins the fresh log, the other goes
// on in that one, and neither file grows much past the bound (each process
// asks the file's size at least every 64 KiB it writes). Every line in
// either file is whole.
TEST(ManyWriters, TwoProcessesSharingTheLogKeepItBoundedAndWhole) {
    DriverSession session;
    constexpr std::uintmax_t kSlack = 2 * 64 * 1024;
    constexpr int kWrites = 200;
    constexpr std::size_t kTextLength = 200 * 320;  // whole screens: the page stays as it is
    const testhost::TimeWindow window{Now(), 0};
    const std::vector<pid_t> writers = SpawnStartedTogether(session, [&session](char tag) {
        const std::string text(kTextLength, tag);
        for (int i = 0; i < kWrites; ++i)
            if (session.Write(text.c_str()) != 1) return 3;
        return 0;
    });
    for (const pid_t writer : writers) EXPECT_EQ(ExitStatus(writer), 0);

    EXPECT_EQ(Listing(session.work_dir() / "logs"),
              (std::vector<std::string>{"index.htm", "lumivane.log", "lumivane.log.1"}));
    for (const std::string name : {"lumivane.log", "lumivane.log.1"}) {
        SCOPED_TRACE(name);
        const std::string log = testhost::ReadFile(session.work_dir() / "logs" / name);
        EXPECT_LE(log.size(), kLogBound + kSlack);
        EXPECT_EQ(log.find('\0'), std::string::npos);
        int broken = 0;
        for (const std::string& body : testhost::LogBodies(log, {window.before, Now()})) {
            if (body.compare(0, 6, "Write ") != 0 || body.compare(0, 8, "Write x=") == 0) continue;
            if (body != "Write " + std::string(kTextLength, body[6])) ++broken;
        }
        EXPECT_EQ(broken, 0);
    }
}

// One process finds the log at its bound and rolls it over while another
// still holds the old, full one open: when the other reaches its own check,
// it goes on in the fresh log and leaves the full log as it is, rather than
// renaming the fresh one over it.
TEST(ManyWriters, SecondProcessAtTheBoundLeavesTheFullLogAlone) {
    DriverSession session;
    unsigned char flag = 0;
    ASSERT_EQ(session.CallInit(&flag), "Lumivane v0.1");
    const fs::path log = session.work_dir() / session.LogPath();
    const fs::path full_log = session.work_dir() / (session.LogPath() + ".1");

    // The other process: the same load of the module, forked, fills the log
    // and passes its bound.
    const pid_t other = Spawn([&session] {
        session.GrowLogTo(kLogBound - 10);
        session.SetPosition(7, 3);
        return ::testing::Test::HasFailure() ? 1 : 0;
    });
    ASSERT_EQ(ExitStatus(other), 0);
    const std::string full = testhost::ReadFile(full_log);
    ASSERT_EQ(full.size(), kLogBound - 10);

    // This one still writes into the full log until its check: a line of
    // 70 KiB makes it ask.
    session.SetPosition(1, 1);
    const std::string text(70 * 1024, 'z');
    EXPECT_EQ(session.Write(text.c_str()), 1);

    const std::string kept = testhost::ReadFile(full_log);
    EXPECT_TRUE(kept.size() >= full.size() && kept.compare(0, full.size(), full) == 0)
        << "the full log was replaced: it holds " << kept.size() << " bytes";
    const std::vector<std::string> fresh = testhost::LogBodies(testhost::ReadFile(log), {0, Now()});
    ASSERT_GE(fresh.size(), 2u);
    EXPECT_EQ(fresh[0], "SetPosition x=7, y=3");  // the other's line
    EXPECT_TRUE(fresh[1] == "Write " + text) << fresh[1].substr(0, 40);
}

// --- what killed processes leave behind ----------------------------------------

// The temporary page of a process that no longer exists is removed at Init;
// a live process's, and every other name, are left alone. A link at such a
// name goes, the file it points at stays.
TEST(DeadProcesses, TheirTemporaryPagesGoAtInit) {
    DriverSession session;
    const pid_t dead = Spawn([] { return 0; });
    ASSERT_EQ(ExitStatus(dead), 0);
    int hold[2];
    ASSERT_EQ(pipe(hold), 0);
    const pid_t live = Spawn([&hold] {
        char byte = 0;
        close(hold[1]);
        return static_cast<int>(read(hold[0], &byte, 1));  // until the test ends
    });
    close(hold[0]);

    const fs::path logs = session.work_dir() / "logs";
    fs::create_directory(logs);
    const fs::path precious = session.work_dir() / "precious.txt";
    testhost::WriteFile(precious, "the user's own file");
    const std::string dead_id = std::to_string(dead);
    const std::string live_id = std::to_string(live);
    struct Case {
        std::string name;
        bool link;  // a link to precious.txt rather than a file
        bool removed;
    };
    const std::vector<Case> cases = {
        {"index.htm." + dead_id + ".tmp", false, true},
        {"index.htm." + live_id + ".tmp", false, false},
        {"index.htm.1" + dead_id + ".tmp", true, true},  // no such process either
        {"index.htm.abc.tmp", false, false},
        {"index.htm." + dead_id + ".tmp.old", false, false},
        {"other.htm." + dead_id + ".tmp", false, false},
        {"index.htm.." + dead_id + ".tmp", false, false},
    };
    ASSERT_NE(kill(static_cast<pid_t>(std::stol("1" + dead_id)), 0), 0);
    for (const Case& c : cases) {
        if (c.link)
            fs::create_symlink(precious, logs / c.name);
        else
            testhost::WriteFile(logs / c.name, "a page that never made it");
    }

    unsigned char flag = 0;
    EXPECT_EQ(session.CallInit(&flag), "Lumivane v0.1");
    for (const Case& c : cases) {
        EXPECT_EQ(fs::exists(fs::symlink_status(logs / c.name)), !c.removed) << c.name;
    }
    EXPECT_EQ(testhost::ReadFile(precious), "the user's own file");
    close(hold[1]);
    EXPECT_EQ(ExitStatus(live), 0);
}

// Writers killed at random moments may leave their temporary page behind;
// the page itself is whole every time, and the next Init clears what they
// left.
TEST(DeadProcesses, KilledWritersLeaveNothingBehindAfterTheNextInit) {
    DriverSession session;
    unsigned char flag = 0;
    ASSERT_EQ(session.CallInit(&flag), "Lumivane v0.1");
    const fs::path logs = session.work_dir() / "logs";
    constexpr int kKills = 100;
    int torn_pages = 0;
    unsigned seed = 12345;
    for (int kill_number = 0; kill_number < kKills; ++kill_number) {
        const pid_t writer = Spawn([&session] {
            for (unsigned frame = 0;; ++frame) {
                session.SetPosition(1, 3);
                session.Write(FrameText('K', frame).c_str());
            }
            return 0;
        });
        seed = seed * 1103515245u + 12345u;
        std::this_thread::sleep_for(std::chrono::microseconds(500 + (seed >> 16) % 4000));
        kill(writer, SIGKILL);
        waitpid(writer, nullptr, 0);
        if (testhost::PageRows(session.Page()).size() != 4) ++torn_pages;
    }
    int left = 0;
    for (const std::string& name : Listing(logs))
        if (name.find(".tmp") != std::string::npos) ++left;
    std::printf("%d kills left %d temporary pages behind\n", kKills, left);

    EXPECT_EQ(torn_pages, 0);
    EXPECT_EQ(session.CallInit(&flag), "Lumivane v0.1");
    EXPECT_EQ(Listing(logs), (std::vector<std::string>{"index.htm", "lumivane.log"}));
}

}  // namespace
