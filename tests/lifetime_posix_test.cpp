// The driver in a host that stays up for months: loaded and unloaded over and
// over, and sharing its working directory with another process that drives a
// copy of it. POSIX only: descriptors are counted in /proc/self/fd, and the
// other processes are forked.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "host/driver_module.h"
#include "tests/support/driver_session.h"
#include "tests/support/files.h"

namespace fs = std::filesystem;
using testhost::DriverSession;
using testhost::Listing;
using testhost::Now;

namespace {

std::size_t OpenDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
    return count;  // one of them is the directory iterator's own
}

// Heap in use, as glibc's allocator counts it; 0 where another allocator
// (a sanitizer's) has taken its place.
std::size_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return 0;
#else
    return mallinfo2().uordblks;
#endif
}

// One load of the module as a host that re-initialises its display makes
// it: load, Init, three Writes, unload. Returns the number of calls that
// failed.
int LoadDriveUnload(const std::string& module_path, int cycle) {
    std::string error;
    void* module = host::LoadModule(module_path, &error);
    if (module == nullptr) return 1;
    host::DriverCalls driver;
    if (!host::BindDriver(module, &driver).empty()) return 1;
    int failures = 0;
    unsigned char flag = 0;
    if (std::string(driver.Init(80, 4, 0, &flag)) != "Lumivane v0.1" || flag != 1) ++failures;
    const std::string text = "cycle " + std::to_string(cycle);
    for (int row = 2; row <= 4; ++row) {
        driver.SetPosition(1, row);
        if (driver.Write(text.c_str()) != 1) ++failures;
    }
    host::UnloadModule(module);
    return failures;
}

// A module that was really loaded and unloaded a thousand times leaves no
// descriptor behind, and its log can be removed and made again each time.
TEST(Unload, ThousandCyclesLeaveNoDescriptorOrMemoryBehind) {
    DriverSession session;  // the scenario's directory; its own module is never called
    const fs::path cycled =
        session.module_path().parent_path() / ("cycled" + std::string(host::kModuleExtension));
    fs::copy_file(session.module_path(), cycled);

    ASSERT_EQ(LoadDriveUnload(cycled.string(), 0), 0);  // the loader's own first-use allocations
    const std::size_t descriptors = OpenDescriptors();
    const std::size_t heap = HeapInUse();
    int failures = 0;
    int cycles_with_more_descriptors = 0;
    for (int cycle = 1; cycle <= 1000; ++cycle) {
        failures += LoadDriveUnload(cycled.string(), cycle);
        if (OpenDescriptors() != descriptors) ++cycles_with_more_descriptors;
    }
    const std::size_t heap_after = HeapInUse();

    EXPECT_EQ(failures, 0);
    EXPECT_EQ(cycles_with_more_descriptors, 0);
    EXPECT_EQ(OpenDescriptors(), descriptors);
    // An open log used to keep its stdio stream and buffer, about 4.7 kB a load.
    EXPECT_LT(heap_after, heap + 64 * 1024) << "the heap grew by " << heap_after - heap << " bytes";
    EXPECT_EQ(Listing(session.work_dir() / "logs"),
              (std::vector<std::string>{"cycled.log", "index.htm"}));
}

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

    const fs::path page = session.work_dir() / session.PagePath();
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
    EXPECT_EQ(Listing(session.work_dir() / "logs"),
              (std::vector<std::string>{"index.htm", "lumivane.log"}));
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
    constexpr std::uintmax_t kBound = 16 * 1024 * 1024;
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
        EXPECT_LE(log.size(), kBound + kSlack);
        EXPECT_EQ(log.find('\0'), std::string::npos);
        int broken = 0;
        for (const std::string& body : testhost::LogBodies(log, {window.before, Now()})) {
            if (body.compare(0, 6, "Write ") != 0 || body.compare(0, 8, "Write x=") == 0) continue;
            if (body != "Write " + std::string(kTextLength, body[6])) ++broken;
        }
        EXPECT_EQ(broken, 0);
    }
}

}  // namespace
