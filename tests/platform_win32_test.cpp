// The Windows platform layer on its own, linked straight into this program:
// the cases a loaded DLL cannot reach (a small buffer, a failed replace and
// its error number). Its cut of short module names is in base_name_test.cpp.
#include "platform/platform.h"
#include "platform/system_calls_win32.h"
#include "tests/support/files.h"

#define WIN32_LEAN_AND_MEAN
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>

namespace fs = std::filesystem;
using testhost::ReadFile;
using testhost::WriteFile;

namespace {

// A fresh, empty directory of its own for each case.
class Win32PlatformFiles : public ::testing::Test {
protected:
    void SetUp() override {
        // A parameterised case's name holds a '/': one folder, not two, so
        // that TearDown leaves nothing behind.
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-');
        dir_ = fs::temp_directory_path() /
               ("lumivane-platform-" + std::to_string(GetCurrentProcessId()) + "-" + name);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    std::string At(const char* name) const { return (dir_ / name).string(); }

    // Renames "new" over "page" while `held` is open for reading without
    // sharing deletion, as a C run-time reader holds it, and checks that both
    // files stay as they were with EACCES.
    void ExpectRefusedWhileHeld(const char* held) {
        WriteFile(dir_ / "new", "new page");
        WriteFile(dir_ / "page", "old page");
        const HANDLE reader =
            CreateFileA(At(held).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
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
    ExpectRefusedWhileHeld("page");
}

TEST_F(Win32PlatformFiles, RenameOverAMissingSourceFailsWithEnoent) {
    WriteFile(dir_ / "page", "old page");
    errno = 0;
    EXPECT_EQ(platform::RenameOver(At("missing").c_str(), At("page").c_str()), 0);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(ReadFile(dir_ / "page"), "old page");
}

// --- the ways of renaming, on systems that lack some -------------------------------

namespace {

// A system as the rename sees it: which ways it has.
struct RenameSystem {
    const char* name;
    bool has_rename_info_ex;         // FileRenameInfoEx (Windows 10 1709 on, on NTFS)
    bool has_rename_info;            // FileRenameInfo
    bool renames_without_delete;     // a handle without delete access may rename (Wine)
    const char* first_rename_calls;  // the calls the first rename of a load makes, in order
    const char* later_rename_calls;  // and every later one
};

void PrintTo(const RenameSystem& system, std::ostream* out) { *out << system.name; }

constexpr int kFileRenameInfoEx = 22;

// What the stand-in calls saw, and the access each open handle was given.
std::string Seen;
struct OpenedHandle {
    HANDLE handle;
    DWORD access;
};
OpenedHandle Opened[8];
const RenameSystem* System = nullptr;

HANDLE WINAPI OpenAndNote(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE model) {
    const HANDLE file = CreateFileA(path, access, share, security, disposition, flags, model);
    for (OpenedHandle& slot : Opened)
        if (slot.handle == nullptr || slot.handle == file) {
            slot = {file, access};
            break;
        }
    return file;
}

DWORD AccessOf(HANDLE file) {
    for (const OpenedHandle& slot : Opened)
        if (slot.handle == file) return slot.access;
    return 0;
}

BOOL Refuse(DWORD error) {
    SetLastError(error);
    return FALSE;
}

BOOL WINAPI SetInformationAsTheSystem(HANDLE file, FILE_INFO_BY_HANDLE_CLASS info_class,
                                      LPVOID info, DWORD size) {
    const auto* rename = static_cast<const FILE_RENAME_INFO*>(info);
    const bool ex = info_class == static_cast<FILE_INFO_BY_HANDLE_CLASS>(kFileRenameInfoEx);
    const bool with_delete = (AccessOf(file) & DELETE) != 0;
    Seen += std::string(Seen.empty() ? "" : " ") + (ex ? "ex" : "info") +
            (rename->Flags == 0 ? "(to itself)" : "") + (with_delete ? "" : "(no delete)");
    if (ex ? !System->has_rename_info_ex : !System->has_rename_info)
        return Refuse(ERROR_INVALID_PARAMETER);
    if (!with_delete && !System->renames_without_delete) return Refuse(ERROR_ACCESS_DENIED);
    // The layouts agree, and FileRenameInfo reads the flags' low byte as
    // ReplaceIfExists; Wine itself has no FileRenameInfoEx.
    return SetFileInformationByHandle(file, FileRenameInfo, info, size);
}

BOOL WINAPI MoveAndNote(LPCSTR from, LPCSTR to, DWORD flags) {
    Seen += std::string(Seen.empty() ? "" : " ") + "move";
    return MoveFileExA(from, to, flags);
}

constexpr RenameSystem kRenameSystems[] = {
    {"Windows10", true, true, false, "ex", "ex"},
    {"OlderWindows", false, true, false, "ex info(to itself)(no delete) info", "info"},
    {"Wine", false, true, true, "ex info(to itself)(no delete) info(no delete)", "info(no delete)"},
    {"NoRenameByHandle", false, false, false, "ex info(to itself)(no delete) info move", "move"},
};

class RenameWays : public Win32PlatformFiles, public ::testing::WithParamInterface<RenameSystem> {
protected:
    void SetUp() override {
        Win32PlatformFiles::SetUp();
        saved_calls_ = platform::Renaming;
        saved_way_ = platform::BestRenameWay;
        platform::Renaming = {OpenAndNote, SetInformationAsTheSystem, MoveAndNote};
        platform::BestRenameWay = platform::RenameWay::kPosix;  // as loaded
        System = &GetParam();
        Seen.clear();
        for (OpenedHandle& slot : Opened) slot = {};
    }
    void TearDown() override {
        platform::Renaming = saved_calls_;
        platform::BestRenameWay = saved_way_;
        Win32PlatformFiles::TearDown();
    }

private:
    platform::RenameCalls saved_calls_{};
    platform::RenameWay saved_way_{};
};

}  // namespace

// The first rename finds the best way the system has, and the second goes
// straight to it; both replace the page whole.
TEST_P(RenameWays, TheFirstRenameFindsTheBestWayAndTheNextUsesIt) {
    WriteFile(dir_ / "page", "old page");
    for (const char* text : {"first page", "second page"}) {
        WriteFile(dir_ / "new", text);
        ASSERT_EQ(platform::RenameOver(At("new").c_str(), At("page").c_str()), 1) << Seen;
        EXPECT_EQ(ReadFile(dir_ / "page"), text);
        EXPECT_FALSE(fs::exists(dir_ / "new"));
    }
    EXPECT_EQ(Seen,
              std::string(GetParam().first_rename_calls) + " " + GetParam().later_rename_calls);
}

// A new file held without sharing deletion (as another process may hold the
// log) is not renamed, on any system, and the first rename after its release
// still finds the system's way.
TEST_P(RenameWays, AHeldFileStaysAndTheWayIsFoundOnceItIsFree) {
    ExpectRefusedWhileHeld("new");
    if (HasFatalFailure()) return;

    Seen.clear();
    ASSERT_EQ(platform::RenameOver(At("new").c_str(), At("page").c_str()), 1);
    EXPECT_EQ(ReadFile(dir_ / "page"), "new page");
    EXPECT_EQ(Seen, GetParam().first_rename_calls);
}

INSTANTIATE_TEST_SUITE_P(Systems, RenameWays, ::testing::ValuesIn(kRenameSystems),
                         [](const ::testing::TestParamInfo<RenameSystem>& info) {
                             return std::string(info.param.name);
                         });
