// Windows' own rows and checks for the tests every build shares: a reader
// holding the page or the log with less than full sharing, and the handles
// the process holds across load cycles.
#include "tests/os_cases.h"

#define WIN32_LEAN_AND_MEAN
#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/module_host.h"

namespace fs = std::filesystem;

namespace oscases {

namespace {

HANDLE OpenToRead(const fs::path& file, DWORD share) {
    return CreateFileA(file.string().c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// A reader holding the page, sharing no more than `share`; where there is no
// page yet, it holds one an earlier run left. Whether the driver writes the
// page or not, no other file takes its place under the reader.
class PageHeld : public Block {
public:
    PageHeld(const testhost::DriverSession& driver, DWORD share) : page_(driver.PageFile()) {
        if (!fs::exists(page_)) {
            fs::create_directories(page_.parent_path());
            testhost::WriteFile(page_, "a page an earlier run left\r\n");
        }
        held_ = testhost::ReadFile(page_);
        identity_ = testhost::FileIdentity(page_);
        reader_ = OpenToRead(page_, share);
        EXPECT_NE(reader_, INVALID_HANDLE_VALUE);
    }
    ~PageHeld() override {
        if (reader_ != INVALID_HANDLE_VALUE) CloseHandle(reader_);
    }
    void Release() override {
        CloseHandle(reader_);
        reader_ = INVALID_HANDLE_VALUE;
        EXPECT_EQ(testhost::FileIdentity(page_), identity_) << "another file took the page's place";
    }
    std::string PageLeft() const override { return held_; }

protected:
    const fs::path page_;

private:
    std::string held_;
    std::uint64_t identity_ = 0;
    HANDLE reader_ = INVALID_HANDLE_VALUE;
};

// Sharing nothing: no one can open the page, fopen included.
class PageHeldSharingNothing : public PageHeld {
public:
    explicit PageHeldSharingNothing(const testhost::DriverSession& driver) : PageHeld(driver, 0) {
        EXPECT_EQ(testhost::FopenError(page_), EACCES);
    }
};

// Sharing reading and writing but not deletion: the page can be written but
// not replaced.
class PageHeldWithoutShareDelete : public PageHeld {
public:
    explicit PageHeldWithoutShareDelete(const testhost::DriverSession& driver)
        : PageHeld(driver, FILE_SHARE_READ | FILE_SHARE_WRITE) {}
};

const Blocker kPageHeldSharingNothing = {"PageHeldSharingNothing", Place<PageHeldSharingNothing>,
                                         Cost::kPageFails};
const Blocker kPageHeldWithoutShareDelete = {
    "PageHeldWithoutShareDelete", Place<PageHeldWithoutShareDelete>, Cost::kPageWrittenInPlace};

// A reader holding the log without sharing deletion: the full log cannot be
// renamed. The reader reads on from the start of the log begun in its place.
class LogHeldWithoutShareDelete : public Block {
public:
    explicit LogHeldWithoutShareDelete(const testhost::DriverSession& driver)
        : log_(driver.work_dir() / driver.LogPath()),
          reader_(OpenToRead(log_, FILE_SHARE_READ | FILE_SHARE_WRITE)) {
        EXPECT_NE(reader_, INVALID_HANDLE_VALUE);
    }
    ~LogHeldWithoutShareDelete() override {
        if (reader_ != INVALID_HANDLE_VALUE) CloseHandle(reader_);
    }
    void Release() override {
        char bytes[256] = "";
        DWORD got = 0;
        ReadFile(reader_, bytes, sizeof bytes, &got, nullptr);
        CloseHandle(reader_);
        reader_ = INVALID_HANDLE_VALUE;
        EXPECT_EQ(std::string(bytes, got), testhost::ReadFile(log_));
    }

private:
    const fs::path log_;
    HANDLE reader_;
};

// The handles this process holds, counted in the system's table of every
// handle: Wine answers GetProcessHandleCount with 0 whatever is open.
std::size_t HandlesHeld() {
    struct Entry {
        void* object;
        ULONG_PTR process;
        ULONG_PTR handle;
        ULONG access;
        USHORT creator;
        USHORT type;
        ULONG attributes;
        ULONG reserved;
    };
    struct Table {
        ULONG_PTR count;
        ULONG_PTR reserved;
        Entry entries[1];
    };
    using Query = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    constexpr ULONG kExtendedHandleInformation = 64;
    constexpr LONG kTableTooSmall = static_cast<LONG>(0xC0000004);
    static const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    static std::vector<ULONG_PTR> table(1 << 14);
    LONG status = kTableTooSmall;
    while ((status = query(kExtendedHandleInformation, table.data(),
                           static_cast<ULONG>(table.size() * sizeof table[0]), nullptr)) ==
           kTableTooSmall)
        table.resize(table.size() * 2);
    if (status != 0) {
        static bool reported = false;  // once, not once a cycle
        if (!reported) ADD_FAILURE() << "no handle table: status " << status;
        reported = true;
        return 0;
    }
    const auto* handles = reinterpret_cast<const Table*>(table.data());
    std::size_t held = 0;
    for (ULONG_PTR i = 0; i < handles->count; ++i)
        if (handles->entries[i].process == GetCurrentProcessId()) ++held;
    return held;
}

// The log can be opened with no sharing at all: no handle holds it.
bool LogIsFree(const fs::path& log) {
    const HANDLE exclusive = CreateFileA(log.string().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (exclusive == INVALID_HANDLE_VALUE) return false;
    CloseHandle(exclusive);
    return true;
}

std::size_t HeapNotCounted() { return 0; }

}  // namespace

std::vector<BlockedCall> ThisOsBlockedCalls() {
    return {
        {Call::kFirstInit, &kPageHeldSharingNothing},
        {Call::kInitAgain, &kPageHeldSharingNothing},
        {Call::kWrite, &kPageHeldSharingNothing},
        {Call::kFirstInit, &kPageHeldWithoutShareDelete},
        {Call::kInitAgain, &kPageHeldWithoutShareDelete},
        {Call::kWrite, &kPageHeldWithoutShareDelete},
    };
}

std::vector<RenameBlocker> ThisOsRenameBlockers() {
    return {{"LogHeldWithoutShareDelete", Place<LogHeldWithoutShareDelete>}};
}

// Fewer cycles than natively: each load costs far more under Wine.
UnloadChecks ThisOsUnloadChecks() { return {600, HandlesHeld, LogIsFree, HeapNotCounted}; }

}  // namespace oscases
