// A call that meets something in its files' way: what it answers, prints and
// logs while the block stands, and how the calls after it catch up once the
// block is gone. A directory in the page's place stands in every OS's way;
// each OS adds its own blocks (os_cases_posix.cpp, os_cases_win32.cpp).
#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "tests/os_cases.h"
#include "tests/support/driver_session.h"
#include "tests/support/files.h"
#include "tests/support/module_host.h"

namespace fs = std::filesystem;
using oscases::Block;
using oscases::BlockedCall;
using oscases::Call;
using oscases::Cost;
using testhost::Concat;
using testhost::DriverSession;
using testhost::ExpectedPage;
using testhost::Now;
using testhost::PageWriteLog;

namespace {

using Texts = std::vector<std::string>;

// A directory where the page goes: the page cannot be opened.
class DirectoryAtThePage : public Block {
public:
    explicit DirectoryAtThePage(const DriverSession& driver) : page_(driver.PageFile()) {
        fs::remove(page_);
        fs::create_directories(page_);
    }
    void Release() override {
        EXPECT_TRUE(fs::is_directory(page_) && fs::is_empty(page_))
            << "the directory was written into";
        fs::remove_all(page_);
    }

private:
    const fs::path page_;
};

const oscases::Blocker kDirectoryAtThePage = {"DirectoryAtThePage",
                                              oscases::Place<DirectoryAtThePage>, Cost::kPageFails};

std::vector<BlockedCall> BlockedCallRows() {
    std::vector<BlockedCall> rows = {
        {Call::kFirstInit, &kDirectoryAtThePage},
        {Call::kInitAgain, &kDirectoryAtThePage},
        {Call::kWrite, &kDirectoryAtThePage},
    };
    for (const BlockedCall& row : oscases::ThisOsBlockedCalls()) rows.push_back(row);
    return rows;
}

std::string RowName(const BlockedCall& row) {
    const char* call = row.call == Call::kFirstInit   ? "FirstInit"
                       : row.call == Call::kInitAgain ? "InitAgain"
                                                      : "Write";
    return std::string(call) + "Meets" + row.blocker->name;
}

}  // namespace

namespace oscases {
void PrintTo(const BlockedCall& row, std::ostream* out) { *out << RowName(row); }
}  // namespace oscases

namespace {

class BlockedCalls : public ::testing::TestWithParam<BlockedCall> {};

// The call answers as far as the block lets it, says what it cost in the log
// or on standard output, and leaves nothing beside the page and the log. Once
// the block is gone, an empty Write writes the page the call still owes: the
// shadow rows kept the last page written, so it is owed even when the screen
// shows what the page showed before (an Init again within the same minute).
// Then the calls go on as usual.
TEST_P(BlockedCalls, CostsWhatTheBlockCostsAndTheNextCallsCatchUp) {
    const Call call = GetParam().call;
    const oscases::Blocker& blocker = *GetParam().blocker;
    const bool page_fails = blocker.cost == Cost::kPageFails;
    const bool log_refused = blocker.cost == Cost::kLogRefused;
    DriverSession driver;
    testhost::TimeWindow window{Now(), 0};
    Texts rows = {"Quendalore Initialising", "<clock>", " ", " "};
    if (call != Call::kFirstInit) {
        unsigned char flag = 0;
        ASSERT_EQ(driver.CallInit(&flag), "Lumivane v0.1");
        rows[1] = testhost::PageRow(driver.Page(), 2);
    }
    // Measured before the block: a log linked elsewhere is never read.
    const std::size_t log_mark = driver.Log().size();
    const std::unique_ptr<Block> block = blocker.place(driver);
    const int open_error = page_fails ? testhost::FopenError(driver.PageFile()) : 0;
    if (page_fails) {
        ASSERT_NE(open_error, 0) << "the page opens all the same";
    }

    testhost::StartStdoutCapture((driver.work_dir().parent_path() / "stdout.txt").string());
    Texts call_lines;
    int x = 1, y = 1;  // the cursor after the call
    if (call == Call::kWrite) {
        driver.SetPosition(1, 3);
        EXPECT_EQ(driver.Write("blocked"), page_fails ? 0 : 1);
        call_lines = {"SetPosition x=1, y=3", "Write x=1, y=3", "Write blocked"};
        rows[2] = "blocked";
        x = 8;
        y = 3;
    } else {
        unsigned char flag = page_fails ? 1 : 0;
        EXPECT_EQ(driver.CallInit(&flag),
                  page_fails ? "Failed to create web page" : "Lumivane v0.1");
        EXPECT_EQ(flag, page_fails ? 0 : 1);
        call_lines = Concat({call == Call::kFirstInit ? testhost::Banner("lumivane") : Texts{},
                             {"Init Web Page  " + driver.RelativePagePath()}});
    }
    EXPECT_EQ(testhost::StopStdoutCapture(), log_refused ? "Failed to open ini file" : "");
    EXPECT_EQ(testhost::Listing(driver.work_dir() / "logs"), (Texts{"index.htm", "lumivane.log"}));
    if (call == Call::kInitAgain && Now() / 60 != window.before / 60)
        GTEST_SKIP() << "the minute turned between the two Inits";

    block->Release();
    const std::string page_after_call = driver.Page();
    EXPECT_EQ(driver.Write(""), 1);
    window.after = Now();
    if (call == Call::kFirstInit) rows[1] = testhost::PageRow(driver.Page(), 2);
    EXPECT_TRUE(testhost::IsStartupClock(rows[1], window)) << rows[1];
    EXPECT_EQ(page_after_call, page_fails ? block->PageLeft() : ExpectedPage(rows));
    EXPECT_EQ(driver.Page(), ExpectedPage(rows));

    Texts next_rows = rows;
    next_rows[3] = "still here";
    driver.SetPosition(1, 4);
    EXPECT_EQ(driver.Write("still here"), 1);
    EXPECT_EQ(driver.Page(), ExpectedPage(next_rows));
    EXPECT_STREQ(driver.DriverName(), testhost::DriverNameOf("lumivane").c_str());
    EXPECT_STREQ(driver.Usage(), "my_plugin usage");
    EXPECT_STREQ(driver.DefaultParameters(), "default");
    window.after = Now();

    const Texts log = log_refused
                          ? Texts{}
                          : Concat({call_lines,
                                    page_fails ? testhost::PageWriteFailureLog(
                                                     "Failed to open web page file",
                                                     driver.RelativePagePath(), open_error)
                                               : PageWriteLog(rows),
                                    {testhost::CursorLine("Write", x, y), "Write "},
                                    page_fails ? PageWriteLog(rows) : Texts{},
                                    {"SetPosition x=1, y=4", "Write x=1, y=4", "Write still here"},
                                    PageWriteLog(next_rows),
                                    {"Entered DriverName", "Exit DriverName"}});
    EXPECT_TRUE(testhost::LogIs(driver.Log().substr(log_mark), log, window));
    std::set<std::string> files = {"logs", "logs/index.htm", "logs/lumivane.log"};
    if (log_refused) files.erase("logs/lumivane.log");
    EXPECT_EQ(testhost::FilesBelow(driver.work_dir()), files);
}

INSTANTIATE_TEST_SUITE_P(Files, BlockedCalls, ::testing::ValuesIn(BlockedCallRows()),
                         [](const auto& info) { return RowName(info.param); });

}  // namespace
