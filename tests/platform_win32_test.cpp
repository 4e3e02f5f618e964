// The Windows platform layer on its own, linked straight into this program:
// the cases a loaded DLL cannot reach (a small buffer, a failed replace and
// its error number). Its cut of short module names is in base_name_test.cpp.
#include "platform/platform.h"
#include "tests/support/files.h"

#define WIN32_LEAN_AND_MEAN
#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using testhost::ReadFile;
using testhost::WriteFile;

namespace {

// A fresh, empty directory of its own for each case.
class Win32PlatformFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("lumivane-platform-" + std::to_string(GetCurrentProcessId()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    std::string At(const char* name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

}  // namespace

TEST(Win32Platform, ModuleFilePathNamesTheFileHoldingTheCode) {
    char expected[1024] = "";
    GetModuleFileNameA(nullptr, expected, sizeof expected);  // this program: the layer is linked in
    char path[1024];
    EXPECT_EQ(platform::ModuleFilePath(path, sizeof path), 1);
    EXPECT_STREQ(path, expected);
}

TEST(Win32Platform, ModuleFilePathStaysInsideASmallBuffer) {
    char expected[1024] = "";
    GetModuleFileNameA(nullptr, expected, sizeof expected);
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    platform::ModuleFilePath(buffer, 8);
    EXPECT_EQ(std::string(buffer, 7), std::string(expected, 7));
    EXPECT_EQ(buffer[7], '\0');
    EXPECT_EQ(std::string(buffer + 8, 8), std::string(8, 'x'));
}

TEST_F(Win32PlatformFiles, MakeDirectoryCreatesAndAcceptsAnExistingOne) {
    platform::MakeDirectory(At("logs").c_str());
    EXPECT_TRUE(fs::is_directory(dir_ / "logs"));
    WriteFile(dir_ / "logs" / "kept.txt", "kept");
    platform::MakeDirectory(At("logs").c_str());
    EXPECT_EQ(ReadFile(dir_ / "logs" / "kept.txt"), "kept");
}

TEST_F(Win32PlatformFiles, RenameOverReplacesAnExistingFile) {
    WriteFile(dir_ / "new", "new page");
    WriteFile(dir_ / "page", "old page");
    EXPECT_EQ(platform::RenameOver(At("new").c_str(), At("page").c_str()), 1);
    EXPECT_EQ(ReadFile(dir_ / "page"), "new page");
    EXPECT_FALSE(fs::exists(dir_ / "new"));
}

TEST_F(Win32PlatformFiles, RenameOverMakesTheTargetWhenItIsMissing) {
    WriteFile(dir_ / "new", "new page");
    EXPECT_EQ(platform::RenameOver(At("new").c_str(), At("page").c_str()), 1);
    EXPECT_EQ(ReadFile(dir_ / "page"), "new page");
}

TEST_F(Win32PlatformFiles, RenameOverATargetHeldWithoutShareDeleteFailsWithEacces) {
    WriteFile(dir_ / "new", "new page");
    WriteFile(dir_ / "page", "old page");
    const HANDLE reader =
        CreateFileA(At("page").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    errno = 0;
    const int result = platform::RenameOver(At("new").c_str(), At("page").c_str());
    const int error = errno;
    CloseHandle(reader);

    EXPECT_EQ(result, 0);
    EXPECT_EQ(error, EACCES);
    EXPECT_EQ(ReadFile(dir_ / "page"), "old page");
    EXPECT_EQ(ReadFile(dir_ / "new"), "new page");  // left where it was
}

TEST_F(Win32PlatformFiles, RenameOverAMissingSourceFailsWithEnoent) {
    WriteFile(dir_ / "page", "old page");
    errno = 0;
    EXPECT_EQ(platform::RenameOver(At("missing").c_str(), At("page").c_str()), 0);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(ReadFile(dir_ / "page"), "old page");
}
