// The driver in a host that re-initialises its display: the module loaded,
// called and unloaded over and over. What a process holds and how a log is
// seen to be free are each OS's own (os_cases_posix.cpp, os_cases_win32.cpp).
#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/programs/platform.h"
#include "tests/os_cases.h"
#include "tests/support/driver_session.h"
#include "tests/support/files.h"
#include "tests/support/loops.h"

namespace fs = std::filesystem;

namespace {

// One load as such a host makes it: load, Init, three Writes, unload.
// Returns the number of calls that failed.
int LoadDriveUnload(const fs::path& module, int cycle) {
    testhost::LoadedModule driver(module);
    if (!driver.loaded()) return 1;
    int failures = 0;
    unsigned char flag = 0;
    if (std::string(driver.Init(80, 4, 0, &flag)) != "Lumivane v0.1" || flag != 1) ++failures;
    const std::string text = "cycle " + std::to_string(cycle);
    for (int row = 2; row <= 4; ++row) {
        driver.SetPosition(1, row);
        if (driver.Write(text.c_str()) != 1) ++failures;
    }
    return failures;
}

// After every unload no call has failed, the process holds no more than
// before, and the log is free: nothing holds it open, it can be deleted, and
// the next Init makes it again. Nor does the heap grow across the cycles.
TEST(Unload, EveryCycleLeavesTheLogFreeAndNothingHeld) {
    const oscases::UnloadChecks checks = oscases::ThisOsUnloadChecks();
    testhost::DriverSession session;  // the scenario's directory; its own module is never called
    const fs::path cycled =
        session.module_path().parent_path() / ("cycled" + std::string(host::kModuleExtension));
    fs::copy_file(session.module_path(), cycled);
    const fs::path log = session.work_dir() / "logs" / "cycled.log";

    // The first cycle makes the loader's own first-use allocations.
    ASSERT_EQ(LoadDriveUnload(cycled, 0), 0);
    ASSERT_TRUE(checks.log_is_free(log)) << "the first load's log is still held";
    std::error_code error;
    ASSERT_TRUE(fs::remove(log, error)) << "the first load's log: " << error.message();
    const std::size_t held = checks.held();
    const std::size_t heap = checks.heap_in_use();
    int failures = 0;
    int cycles_holding_more = 0;
    int held_logs = 0;
    int undeletable_logs = 0;
    const int cycles = testhost::Loops(checks.cycles);
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        failures += LoadDriveUnload(cycled, cycle);
        if (checks.held() != held) ++cycles_holding_more;
        if (!checks.log_is_free(log)) ++held_logs;
        if (!fs::remove(log, error)) ++undeletable_logs;
    }
    const std::size_t heap_after = checks.heap_in_use();

    EXPECT_EQ(failures, 0);
    EXPECT_EQ(cycles_holding_more, 0);
    EXPECT_EQ(held_logs, 0);
    EXPECT_EQ(undeletable_logs, 0);
    // An open log used to keep its stdio stream and buffer, about 4.7 kB a load.
    EXPECT_LT(heap_after, heap + 64 * 1024) << "the heap grew by " << heap_after - heap << " bytes";
    EXPECT_EQ(testhost::Listing(session.work_dir() / "logs"),
              std::vector<std::string>{"index.htm"});
}

}  // namespace
