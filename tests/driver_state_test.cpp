// The driver's state, linked straight in: the way back to the state at load,
// and the trace lines put together from numbers. The calls run in a scratch
// directory of their own, as in a host.
#include "driver/driver_state.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/display_driver.h"
#include "platform/module_name.h"
#include "tests/support/files.h"
#include "trace/trace_log.h"
#include "trace/trace_state.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kStampLength = 18;  // "HH:MM:SS dd/mm/yy "

int OpenDescriptors() {
    int count = 0;
    DIR* fds = opendir("/proc/self/fd");
    while (readdir(fds) != nullptr) ++count;
    closedir(fds);
    return count;
}

class LoadState : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = fs::current_path();
        work_ = fs::temp_directory_path() /
                ("lumivane-state-" + std::to_string(getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(work_);
        fs::create_directories(work_);
        fs::current_path(work_);
        driver::ReturnToLoadState();
    }
    void TearDown() override {
        driver::ReturnToLoadState();
        fs::current_path(home_);
        fs::remove_all(work_);
    }

    std::string LogPath() const {
        return (work_ / "logs" / (std::string(platform::ModuleBaseName()) + ".log")).string();
    }
    // The log's lines without their stamps, which the second may change.
    std::vector<std::string> LogTexts() const {
        std::vector<std::string> texts;
        const std::string log = testhost::ReadFile(LogPath());
        std::size_t start = 0;
        for (std::size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1)
            texts.push_back(log.substr(start + kStampLength, end - start - kStampLength));
        return texts;
    }

    fs::path home_;
    fs::path work_;
};

// What a host does in its first moments: a Write before Init, Init, the
// cursor moved and text written, the name asked.
struct Session {
    int early_write;
    std::vector<std::string> log;
    std::string page;
    std::string name;
};

TEST_F(LoadState, AfterTheWayBackTheCallsDoWhatTheyDidAfterTheLoad) {
    const int descriptors_at_load = OpenDescriptors();
    auto run = [this] {
        Session session;
        session.early_write = DISPLAYDLL_Write("early");
        unsigned char flag = 0;
        DISPLAYDLL_Init(80, 4, 0, &flag);
        DISPLAYDLL_SetPosition(3, 2);
        DISPLAYDLL_Write("abc");
        session.name = DISPLAYDLL_DriverName();
        session.log = LogTexts();
        session.page = testhost::ReadFile(work_ / "logs" / "index.htm");
        return session;
    };
    const Session first = run();
    ASSERT_EQ(first.early_write, 0);  // before Init no page is written
    ASSERT_EQ(first.log.size(), 18u);
    EXPECT_EQ(first.log[0], "Init Web Page  logs/index.htm");
    EXPECT_EQ(first.log[7], "SetPosition x=3, y=2");
    EXPECT_NE(OpenDescriptors(), descriptors_at_load);  // the log is open

    // As an unload does: the log is closed, and the next load starts afresh.
    driver::ReturnToLoadState();
    EXPECT_EQ(OpenDescriptors(), descriptors_at_load);

    // The same calls again: the early Write fails again, the log is emptied
    // and written as the first time, not appended to.
    const Session second = run();
    EXPECT_EQ(second.early_write, first.early_write);
    EXPECT_EQ(second.log, first.log);
    EXPECT_EQ(second.page, first.page);
    EXPECT_EQ(second.name, first.name);
}

// Every int in full, sign and all: the host's arguments reach the log
// masked to 8 bits, but the lines are put together for any int.
TEST_F(LoadState, PositionAndErrorLinesHoldTheNumbersInDecimal) {
    struct Case {
        int x, y;
        const char* text;
    };
    const Case positions[] = {
        {0, 0, "x=0, y=0"},
        {255, 4, "x=255, y=4"},
        {-1, 10, "x=-1, y=10"},
        {INT_MIN, INT_MAX, "x=-2147483648, y=2147483647"},
        {INT_MAX, INT_MIN, "x=2147483647, y=-2147483648"},
    };
    const struct {
        int error;
        const char* text;
    } errors[] = {{0, "error 0"},
                  {21, "error 21"},
                  {INT_MAX, "error 2147483647"},
                  {INT_MIN, "error -2147483648"}};

    trace::SetDebug(1);
    trace::OpenLog();
    std::vector<std::string> expected = LogTexts();  // the banner
    for (const Case& position : positions) {
        trace::LogPosition("SetPosition", position.x, position.y);
        expected.push_back(std::string("SetPosition ") + position.text);
    }
    for (const auto& error : errors) {
        trace::LogError("display_screen", error.error);
        expected.push_back(std::string("display_screen ") + error.text);
    }
    EXPECT_EQ(LogTexts(), expected);
}

// The debug level is 0 at load: a line then opens the log but writes nothing
// to it, the banner included. SetDebug stores any level and answers it, and
// a line is written while the level is non-zero, whatever its sign.
TEST_F(LoadState, SetDebugStoresTheLevelAndLinesAreWrittenWhileItIsNonZero) {
    trace::LogLine("Load", "not written");
    EXPECT_EQ(testhost::ReadFile(LogPath()), "");

    const struct {
        std::int32_t level;
        bool written;
    } levels[] = {{1, true},  {7, true},         {-3, true},        {0, false},
                  {0, false}, {INT32_MAX, true}, {INT32_MIN, true}, {0, false}};
    std::vector<std::string> expected;
    for (const auto& step : levels) {
        EXPECT_EQ(trace::SetDebug(step.level), step.level);
        EXPECT_EQ(trace::State.DebugLevel, step.level);
        const std::string text = "at level " + std::to_string(step.level);
        trace::LogLine("Debug", text.c_str());
        if (step.written) expected.push_back("Debug " + text);
    }
    EXPECT_EQ(LogTexts(), expected);
}

}  // namespace
