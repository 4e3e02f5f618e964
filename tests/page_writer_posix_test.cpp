// The page writer and the log among planted links. POSIX only. The log
// linked to /dev/full is a row of blocked_call_test.cpp, full disks under
// the page are in fault_test.cpp, readers beside writers in
// lifetime_posix_test.cpp.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/driver_session.h"
#include "tests/support/files.h"
#include "tests/support/module_host.h"

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

// A link planted in logs/ is never followed: not at this process's
// temporary page (removed, and the page made new), not at the page (the link
// itself is replaced), not at the log (refused, as a log that cannot be
// opened). The file it points at keeps its bytes.
TEST(PlantedLinks, AreNeverFollowed) {
    struct Case {
        const char* name;
        fs::path (*link)(const DriverSession& driver);
        bool log_refused;
    };
    const Case cases[] = {
        {"temporary page", [](const DriverSession& d) { return TempPage(d); }, false},
        {"page", [](const DriverSession& d) { return d.work_dir() / d.RelativePagePath(); }, false},
        {"log", [](const DriverSession& d) { return d.work_dir() / d.LogPath(); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DriverSession driver;
        const fs::path target = driver.work_dir() / "precious.txt";
        testhost::WriteFile(target, "the user's own file\n");
        fs::create_directory(driver.work_dir() / "logs");
        fs::create_symlink(target, c.link(driver));

        testhost::StartStdoutCapture((driver.work_dir() / "stdout.txt").string());
        unsigned char flag = 0;
        const std::string title = driver.CallInit(&flag);
        driver.SetPosition(1, 3);
        const int written = driver.Write("changed");
        EXPECT_EQ(testhost::StopStdoutCapture(), c.log_refused ? "Failed to open ini file" : "");
        EXPECT_EQ(title, "Lumivane v0.1");
        EXPECT_EQ(written, 1);

        EXPECT_EQ(testhost::ReadFile(target), "the user's own file\n");
        const std::string page = driver.Page();
        EXPECT_EQ(page, ExpectedPage({"Quendalore Initialising", testhost::PageRow(page, 2),
                                      "changed", " "}));
        EXPECT_FALSE(fs::is_symlink(driver.work_dir() / driver.RelativePagePath()));
        EXPECT_FALSE(fs::exists(fs::symlink_status(TempPage(driver))));
        if (c.log_refused) {
            EXPECT_TRUE(fs::is_symlink(driver.work_dir() / driver.LogPath()));
        } else {
            EXPECT_FALSE(driver.Log().empty());
        }
    }
}

}  // namespace
