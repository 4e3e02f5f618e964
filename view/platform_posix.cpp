// POSIX side of the view's platform layer: lstat(2), and reads that follow no
// link and never wait.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "view/platform.h"

namespace view::platform {

namespace {
std::uint64_t Nanoseconds(const timespec& time) {
    return static_cast<std::uint64_t>(time.tv_sec) * 1000000000u +
           static_cast<std::uint64_t>(time.tv_nsec);
}
}  // namespace

bool ReadFileStamp(const std::filesystem::path& path, FileStamp* stamp) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    stamp->size = static_cast<std::uint64_t>(info.st_size);
    stamp->identity = static_cast<std::uint64_t>(info.st_ino);
    stamp->modified = Nanoseconds(info.st_mtim);
    stamp->changed = Nanoseconds(info.st_ctim);
    return true;
}

bool ReadWholeFile(const std::filesystem::path& path, std::string* bytes) {
    // Only a regular file is opened at all: opening a device may do
    // something, and a FIFO would wait for a writer (O_NONBLOCK, should one
    // be put in place between the two looks).
    struct stat named {};
    if (lstat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode) ||
        static_cast<std::uint64_t>(named.st_size) > kPageFileLimit)
        return false;
    const int file = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (file < 0) return false;
    struct stat opened {};
    if (fstat(file, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        close(file);
        return false;
    }
    // Read one byte past the bound: a file that grew past it since is no page either.
    bytes->resize(kPageFileLimit + 1);
    std::size_t have = 0;
    bool ok = true;
    while (have < bytes->size()) {
        const ssize_t got = read(file, &(*bytes)[have], bytes->size() - have);
        if (got > 0) {
            have += static_cast<std::size_t>(got);
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            ok = false;
            break;
        }
    }
    close(file);
    bytes->resize(have);
    return ok && have <= kPageFileLimit;
}

const bool kReuseListenAddress = true;

}  // namespace view::platform
