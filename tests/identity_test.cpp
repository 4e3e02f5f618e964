// DriverName, Usage and DefaultParameters: their texts, and what they log.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/driver_module.h"
#include "tests/support/driver_session.h"

using testhost::Banner;
using testhost::DriverSession;
using testhost::LogBodies;
using testhost::Now;

namespace {

struct ModuleName {
    const char* name;
    std::string file_stem;    // the module copy's name, before the platform's extension
    std::string driver_name;  // what DriverName answers
};

// The base name is the file name without its directory and extension.
const ModuleName kModuleNames[] = {
    {"Lumivane", "lumivane", testhost::DriverNameOf("lumivane")},
    {"Mirror", "mirror", testhost::DriverNameOf("mirror")},
    {"HyphenAndDigit", "lcd-2", testhost::DriverNameOf("lcd-2")},
    // The longest base name that fits beside the version: 95 characters in all.
    {"LongestThatFits", std::string(84, 'n'), testhost::DriverNameOf(std::string(84, 'n'))},
    // Longer ones are cut to those 84, and the version stays whole.
    {"OneTooLongIsCut", std::string(85, 'o'), testhost::DriverNameOf(std::string(84, 'o'))},
    {"FarTooLongIsCutToItsFirst84", std::string(40, 'p') + std::string(80, 'q'),
     testhost::DriverNameOf(std::string(40, 'p') + std::string(44, 'q'))},
};

void PrintTo(const ModuleName& module_name, std::ostream* out) { *out << module_name.name; }

class DriverNames : public ::testing::TestWithParam<ModuleName> {};

TEST_P(DriverNames, AreTheModuleBaseNameAndVersion) {
    DriverSession driver(GetParam().file_stem);
    EXPECT_EQ(std::string(driver.DriverName()), GetParam().driver_name);
    unsigned char flag = 0;
    driver.CallInit(&flag);
    EXPECT_EQ(std::string(driver.DriverName()), GetParam().driver_name);
}

INSTANTIATE_TEST_SUITE_P(Identity, DriverNames, ::testing::ValuesIn(kModuleNames),
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

// A module file may have no extension at all (on Linux a module may be
// called just "lumivane"): then its whole file name is its base name.
TEST(Identity, ModuleFileWithoutADotIsNamedByItsWholeName) {
    if (std::string(host::kModuleExtension) == ".dll")
        GTEST_SKIP() << "Windows loads a file named without a dot as that name plus .dll";
    DriverSession driver;
    const std::filesystem::path plain = driver.module_path().parent_path() / "plainmirror";
    std::filesystem::copy_file(driver.module_path(), plain);
    std::string error;
    void* module = host::LoadModule(plain.string(), &error);
    ASSERT_NE(module, nullptr) << error;
    host::DriverCalls plain_driver;
    ASSERT_EQ(host::BindDriver(module, &plain_driver), std::vector<std::string>{});
    testhost::TimeWindow window{Now(), 0};
    unsigned char flag = 0;
    plain_driver.Init(80, 4, 0, &flag);
    EXPECT_STREQ(plain_driver.DriverName(), testhost::DriverNameOf("plainmirror").c_str());
    window.after = Now();
    host::UnloadModule(module);

    const std::vector<std::string> log = LogBodies(driver.Read("logs/plainmirror.log"), window);
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 3), Banner("plainmirror"));
}

}  // namespace
