// DriverName, Usage and DefaultParameters: their texts, the names the
// module's file gives the driver and its log, and what they log.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "tests/support/driver_session.h"
#include "tests/support/files.h"
#include "tests/support/module_host.h"
#include "tests/support/module_names.h"

using testhost::Banner;
using testhost::Concat;
using testhost::DriverSession;
using testhost::LogBodies;
using testhost::Now;

namespace testhost {
void PrintTo(const ModuleFileName& name, std::ostream* out) { *out << name.name; }
}  // namespace testhost

namespace {

using testhost::ModuleFileName;

// A copy of the module under each file name this OS can load, from a
// directory other than the working one: named after its base name before
// Init as after it, and logging to logs/<base>.log, which the banner names.
class ModuleNames : public ::testing::TestWithParam<ModuleFileName> {};

TEST_P(ModuleNames, NameTheDriverAndItsLog) {
    const std::string& base = testhost::OnThisOs(GetParam()).base;
    const std::string driver_name = testhost::DriverNameFor(base);
    const std::string log_name = testhost::LogNameFor(base);
    ASSERT_LE(driver_name.size(), 95u);
    DriverSession session("host");  // the scenario's directories; its own copy is never called
    const std::filesystem::path file = session.module_path().parent_path() / GetParam().file;
    std::filesystem::copy_file(session.module_path(), file);
    ASSERT_NE(file.parent_path(), session.work_dir());
    {
        testhost::LoadedModule driver(file);
        ASSERT_TRUE(driver.loaded()) << driver.error();
        EXPECT_EQ(std::string(driver.DriverName()), driver_name);
    }

    testhost::TimeWindow window{Now(), 0};
    {
        testhost::LoadedModule driver(file);
        ASSERT_TRUE(driver.loaded()) << driver.error();
        unsigned char flag = 0;
        EXPECT_EQ(std::string(driver.Init(80, 4, 0, &flag)), "Lumivane v0.1");
        EXPECT_EQ(std::string(driver.DriverName()), driver_name);
    }
    window.after = Now();

    EXPECT_EQ(testhost::FilesBelow(session.work_dir()),
              (std::set<std::string>{"logs", "logs/index.htm", "logs/" + log_name}));
    const std::string clock = testhost::PageRow(session.Page(), 2);
    EXPECT_TRUE(testhost::LogIs(
        session.Read(std::string("logs") + testhost::kDriverPathSeparator + log_name),
        Concat({Banner(base),
                {"Init Web Page  " + session.RelativePagePath()},
                testhost::PageWriteLog({"Quendalore Initialising", clock, " ", " "}),
                {"Entered DriverName", "Exit DriverName"}}),
        window));
}

INSTANTIATE_TEST_SUITE_P(Identity, ModuleNames,
                         ::testing::ValuesIn(testhost::LoadableModuleFileNames()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Identity, DriverNameFirstCreatesAnEmptyLogThenInitFollowsWithoutBanner) {
    DriverSession driver;
    testhost::TimeWindow window{Now(), 0};
    EXPECT_STREQ(driver.DriverName(), testhost::DriverNameOf("lumivane").c_str());
    EXPECT_TRUE(std::filesystem::is_directory(driver.work_dir() / "logs"));
    EXPECT_TRUE(driver.Exists(driver.LogPath()));
    EXPECT_EQ(driver.Log(), "");

    unsigned char flag = 0;
    driver.CallInit(&flag);
    driver.DriverName();
    window.after = Now();
    const std::vector<std::string> log = LogBodies(driver.Log(), window);
    ASSERT_EQ(log.size(), 9u);
    EXPECT_EQ(log.front(), "Init Web Page  " + driver.RelativePagePath());
    EXPECT_EQ(std::vector<std::string>(log.end() - 2, log.end()),
              (std::vector<std::string>{"Entered DriverName", "Exit DriverName"}));
}

TEST(Identity, DriverNameAfterInitLogsEnteredAndExit) {
    DriverSession driver;
    testhost::TimeWindow window{Now(), 0};
    unsigned char flag = 0;
    driver.CallInit(&flag);
    const std::size_t log_start = driver.Log().size();
    const char* first = driver.DriverName();
    const char* second = driver.DriverName();
    window.after = Now();

    EXPECT_EQ(first, second);  // the same static text, rebuilt in place
    EXPECT_EQ(LogBodies(driver.Log().substr(log_start), window),
              (std::vector<std::string>{"Entered DriverName", "Exit DriverName",
                                        "Entered DriverName", "Exit DriverName"}));
}

// Unlike DriverName they write no log line, and before Init they do not
// even create the logs directory.
TEST(Identity, UsageAndDefaultParametersAnswerWithoutLoggingOrCreatingTheLog) {
    DriverSession driver;
    EXPECT_STREQ(driver.Usage(), "my_plugin usage");
    EXPECT_STREQ(driver.DefaultParameters(), "default");
    EXPECT_FALSE(driver.Exists("logs"));

    unsigned char flag = 0;
    driver.CallInit(&flag);
    const std::string log = driver.Log();
    EXPECT_STREQ(driver.Usage(), "my_plugin usage");
    EXPECT_STREQ(driver.DefaultParameters(), "default");
    EXPECT_EQ(driver.Log(), log);
}

}  // namespace
