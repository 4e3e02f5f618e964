// POSIX's own rows and checks for the tests every build shares: the log
// linked to /dev/full, and what a process holds (its descriptors, its heap)
// across load cycles.
#include <gtest/gtest.h>
#include <malloc.h>

#include <filesystem>
#include <system_error>

#include "tests/os_cases.h"

namespace fs = std::filesystem;

namespace oscases {

namespace {

// The log linked to /dev/full: a link at the log is refused like any link, so
// no line ever goes to the full device, and the driver works on without a log.
class LogLinkedToDevFull : public Block {
public:
    explicit LogLinkedToDevFull(const testhost::DriverSession& driver)
        : link_(driver.work_dir() / driver.LogPath()) {
        fs::create_directories(link_.parent_path());
        fs::create_symlink("/dev/full", link_);
    }
    void Release() override {
        std::error_code error;
        EXPECT_EQ(fs::read_symlink(link_, error), "/dev/full") << "the link was replaced";
        fs::remove(link_);
    }

private:
    const fs::path link_;
};

const Blocker kLogLinkedToDevFull = {"LogLinkedToDevFull", Place<LogLinkedToDevFull>,
                                     Cost::kLogRefused};

std::size_t OpenDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
    return count;  // one of them is the directory iterator's own
}

// No descriptor of this process names the log.
bool LogIsFree(const fs::path& log) {
    const fs::path file = fs::weakly_canonical(log);
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (fs::read_symlink(entry.path(), error) == file) return false;
    }
    return true;
}

// Heap in use, as glibc's allocator counts it; 0 where another allocator
// (a sanitizer's) has taken its place.
std::size_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return 0;
#else
    return mallinfo2().uordblks;
#endif
}

}  // namespace

std::vector<BlockedCall> ThisOsBlockedCalls() { return {{Call::kFirstInit, &kLogLinkedToDevFull}}; }

std::vector<RenameBlocker> ThisOsRenameBlockers() { return {}; }

UnloadChecks ThisOsUnloadChecks() { return {1000, OpenDescriptors, LogIsFree, HeapInUse}; }

}  // namespace oscases
