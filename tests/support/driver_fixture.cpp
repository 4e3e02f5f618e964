#include "tests/support/driver_fixture.h"

#include <set>

#include "tests/support/files.h"

namespace testhost {

void DriverAfterInit::SetUp() {
    window_.before = Now();
    unsigned char flag = 0;
    ASSERT_EQ(driver_.CallInit(&flag), "Lumivane v0.1");
    ASSERT_EQ(flag, 1);
    clock_ = PageRow(2);
    MarkLog();
}

std::vector<std::string> DriverAfterInit::NewLogBodies() {
    window_.after = Now();
    return LogBodies(NewLog(), window_);
}

::testing::AssertionResult DriverAfterInit::NewLogIs(const std::vector<std::string>& bodies) {
    window_.after = Now();
    return LogIs(NewLog(), bodies, window_);
}

void DriverAfterInit::ExpectRestIntact() {
    EXPECT_STREQ(driver_.DriverName(), testhost::DriverNameOf("lumivane").c_str());
    EXPECT_STREQ(driver_.Usage(), "my_plugin usage");
    EXPECT_STREQ(driver_.DefaultParameters(), "default");
    EXPECT_EQ(FilesBelow(driver_.work_dir()),
              (std::set<std::string>{"logs", "logs/index.htm", "logs/lumivane.log"}));
}

void FilledScreen::SetUp() {
    DriverAfterInit::SetUp();
    if (HasFatalFailure()) return;
    driver_.SetPosition(1, 1);
    ASSERT_EQ(driver_.Write(std::string(4 * 80, '.').c_str()), 1);
    ASSERT_EQ(driver_.Page(), ExpectedPage(Filled()));
    MarkLog();
}

std::vector<std::string> FilledScreen::Filled() {
    return std::vector<std::string>(4, std::string(80, '.'));
}

}  // namespace testhost
