// The log's bound: a line that would take logs/<base>.log past 16 MiB goes
// to a fresh log instead, and the full one becomes logs/<base>.log.1. The
// driver itself grows the log to just under the bound, mostly in one long
// Write line.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tests/os_cases.h"
#include "tests/support/driver_fixture.h"
#include "tests/support/driver_session.h"
#include "tests/support/files.h"
#include "tests/support/module_host.h"

namespace fs = std::filesystem;
using testhost::kLogBound;
using testhost::kPageWriteEnd;
using testhost::kPageWriteStart;
using testhost::kStampSize;
using testhost::LogBodies;
using testhost::LogLineSize;
using testhost::Now;

namespace {

class LogBound : public testhost::DriverAfterInit {
protected:
    fs::path LogFile() const { return driver_.work_dir() / driver_.LogPath(); }
    fs::path OldLogFile() const { return driver_.work_dir() / (driver_.LogPath() + ".1"); }

    // The lines of a log the driver started itself; a log still holding the
    // grown file fails without printing its megabytes.
    std::vector<std::string> LogLines() {
        const std::string log = driver_.Log();
        if (log.size() > 64 * 1024) {
            ADD_FAILURE() << "the log still holds " << log.size() << " bytes";
            return {"<" + std::to_string(log.size()) + " bytes>"};
        }
        return LogBodies(log, {window_.before, Now()});
    }
};

TEST_F(LogBound, LineThatReachesTheBoundExactlyStaysInTheLog) {
    const std::uintmax_t size = kLogBound - LogLineSize("SetPosition x=1, y=1");
    driver_.GrowLogTo(size);
    driver_.SetPosition(1, 1);

    EXPECT_EQ(fs::file_size(LogFile()), kLogBound);
    EXPECT_FALSE(fs::exists(OldLogFile()));
    const std::string log = driver_.Log();
    const std::string line_end = testhost::Lines("\n");
    EXPECT_EQ(log.substr(size - 3 - line_end.size(), 3 + line_end.size()), "xxx" + line_end);
    EXPECT_EQ(log.substr(size + kStampSize), testhost::Lines(" SetPosition x=1, y=1\n"));
}

TEST_F(LogBound, LineThatWouldPassTheBoundStartsAFreshLogWithoutBanner) {
    testhost::WriteFile(OldLogFile(), "an older full log");
    const std::uintmax_t size = kLogBound - LogLineSize("SetPosition x=1, y=1") + 1;
    driver_.GrowLogTo(size);
    const std::string full_log = driver_.Log();

    driver_.SetPosition(1, 1);
    EXPECT_EQ(fs::file_size(OldLogFile()), size);
    EXPECT_TRUE(testhost::ReadFile(OldLogFile()) == full_log);  // the older one replaced
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"SetPosition x=1, y=1"}));

    // The fresh log goes on as any log does.
    driver_.SetPosition(2, 2);
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{"SetPosition x=1, y=1", "SetPosition x=2, y=2"}));
    EXPECT_EQ(testhost::Listing(driver_.work_dir() / "logs"),
              (std::vector<std::string>{"index.htm", "lumivane.log", "lumivane.log.1"}));
}

// A page write's lines cross the bound one by one: its first rule still fits
// the full log, and its row lines go on in the fresh one.
TEST_F(LogBound, LinesOfOneCallAreSplitOnlyBetweenLines) {
    const std::uintmax_t size = kLogBound - LogLineSize("SetPosition x=1, y=3") -
                                LogLineSize("Write x=1, y=3") - LogLineSize("Write row") -
                                LogLineSize(kPageWriteStart) - 1;
    driver_.GrowLogTo(size);
    driver_.SetPosition(1, 3);
    ASSERT_EQ(driver_.Write("row"), 1);

    const std::string full_log = testhost::ReadFile(OldLogFile());
    ASSERT_EQ(full_log.size(), kLogBound - 1);
    EXPECT_EQ(full_log.substr(full_log.size() - LogLineSize(kPageWriteStart) + kStampSize),
              testhost::Lines(std::string(" ") + kPageWriteStart + "\n"));
    const std::vector<std::string> fresh = LogLines();
    ASSERT_EQ(fresh.size(), 5u);
    const std::string xs(80, 'x');
    EXPECT_EQ(fresh[0], "display " + xs);
    EXPECT_EQ(fresh[2], "display row" + xs.substr(3));
    EXPECT_EQ(fresh[4], kPageWriteEnd);
}

// A directory in the way of logs/<base>.log.1: the full log cannot be
// renamed on any OS.
class DirectoryAtTheFullLog : public oscases::Block {
public:
    explicit DirectoryAtTheFullLog(const testhost::DriverSession& driver)
        : in_the_way_(driver.work_dir() / (driver.LogPath() + ".1") / "in the way") {
        fs::create_directories(in_the_way_);
    }
    void Release() override {
        EXPECT_TRUE(fs::is_directory(in_the_way_));
        fs::remove_all(in_the_way_.parent_path());
    }

private:
    const fs::path in_the_way_;
};

std::vector<oscases::RenameBlocker> RenameBlockers() {
    std::vector<oscases::RenameBlocker> blockers = {
        {"DirectoryAtTheFullLog", oscases::Place<DirectoryAtTheFullLog>}};
    for (const oscases::RenameBlocker& blocker : oscases::ThisOsRenameBlockers())
        blockers.push_back(blocker);
    return blockers;
}

}  // namespace

namespace oscases {
void PrintTo(const RenameBlocker& blocker, std::ostream* out) { *out << blocker.name; }
}  // namespace oscases

namespace {

class LogThatCannotBeRenamed : public LogBound,
                               public ::testing::WithParamInterface<oscases::RenameBlocker> {};

// When the full log cannot be renamed (a directory in the way, on Windows
// also a reader that does not share deletion), the log starts afresh in
// place: the bound holds all the same, and no full log is made.
TEST_P(LogThatCannotBeRenamed, StartsAfreshInPlace) {
    driver_.GrowLogTo(kLogBound - 10);
    const std::unique_ptr<oscases::Block> block = GetParam().place(driver_);

    driver_.SetPosition(3, 3);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"SetPosition x=3, y=3"}));
    driver_.SetPosition(4, 4);
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{"SetPosition x=3, y=3", "SetPosition x=4, y=4"}));
    block->Release();
    EXPECT_EQ(testhost::Listing(driver_.work_dir() / "logs"),
              (std::vector<std::string>{"index.htm", "lumivane.log"}));
}

INSTANTIATE_TEST_SUITE_P(LogBound, LogThatCannotBeRenamed, ::testing::ValuesIn(RenameBlockers()),
                         [](const auto& info) { return std::string(info.param.name); });

// A single line longer than the bound (a Write of a 17 MiB text) is cut to
// the bound and stands alone in its file, so neither file ever passes it.
TEST_F(LogBound, LineLongerThanTheBoundIsCutToIt) {
    const std::string text(kLogBound + kLogBound / 16, 'x');
    driver_.SetPosition(1, 1);
    ASSERT_EQ(driver_.Write(text.c_str()), 1);

    // The cut line filled one fresh log; the page write's lines the next.
    const std::string cut = testhost::ReadFile(OldLogFile());
    const std::string line_end = testhost::Lines("\n");
    ASSERT_EQ(cut.size(), kLogBound);
    const std::string body =
        "Write " + text.substr(0, kLogBound - kStampSize - 7 - line_end.size());
    EXPECT_TRUE(cut.compare(kStampSize, std::string::npos, " " + body + line_end) == 0)
        << "the line is not the cut Write line";
    EXPECT_EQ(
        LogBodies(cut.substr(0, kStampSize + 1) + "Write" + line_end, {window_.before, Now()}),
        (std::vector<std::string>{"Write"}));  // its stamp
    const std::vector<std::string> fresh = LogLines();
    ASSERT_EQ(fresh.size(), 6u);
    EXPECT_EQ(fresh[0], kPageWriteStart);
}

}  // namespace
