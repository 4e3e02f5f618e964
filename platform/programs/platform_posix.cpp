// POSIX side of the programs' platform layer: dlopen and dlsym, the
// executable found through /proc/self/exe, lstat(2), reads that follow no link
// and never wait, and the socket and descriptor calls.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/programs/platform.h"

namespace host {

const char kModuleFileName[] = "lumivane.so";
const char kModuleExtension[] = ".so";

void* LoadModule(const std::string& path, std::string* error) {
    // dlopen searches the library path for a name without a slash; a host
    // means a file, so name it as one.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* reason = dlerror();
        *error = reason ? reason : "unknown error";
    }
    return module;
}

void* FindExport(void* module, const char* name) { return dlsym(module, name); }

void UnloadModule(void* module) { dlclose(module); }

std::string ExecutableFolder() {
    std::error_code failed;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", failed);
    if (failed) return "";
    return (self.parent_path() / "").string();
}

std::string DefaultModulePath() { return ExecutableFolder() + kModuleFileName; }

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

bool IsLink(const std::filesystem::path& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

std::string WhyNotReplaceable(const std::filesystem::path& target) {
    struct stat info {};
    if (stat(target.c_str(), &info) != 0) return errno == ENOENT ? "" : std::strerror(errno);
    if (S_ISDIR(info.st_mode)) return "it is a directory";
    if (S_ISFIFO(info.st_mode)) return "it is a FIFO";
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return "it is a device";
    if (!S_ISREG(info.st_mode)) return "it is not a regular file";
    if (access(target.c_str(), W_OK) != 0) return std::strerror(errno);
    return "";
}

namespace {
bool WriteAll(int file, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t wrote = write(file, bytes.data(), bytes.size());
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(wrote));
    }
    return true;
}
}  // namespace

bool ReplaceWithNewFile(const std::filesystem::path& target, std::string_view bytes,
                        std::string* why) {
    std::string name = (target.parent_path() / ("." + target.filename().string())).string();
    name += ".XXXXXX";
    const int file = mkostemp(name.data(), O_CLOEXEC);
    if (file < 0) {
        *why = std::strerror(errno);
        return false;
    }
    // The new file gets the old one's permissions, or what a new file gets.
    struct stat old {};
    mode_t mode = 0;
    if (stat(target.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    bool ok = fchmod(file, mode) == 0 && WriteAll(file, bytes) && fsync(file) == 0;
    int failure = errno;
    if (close(file) != 0 && ok) {
        ok = false;
        failure = errno;
    }
    if (ok && rename(name.c_str(), target.c_str()) != 0) {
        ok = false;
        failure = errno;
    }
    if (!ok) {
        unlink(name.c_str());
        *why = std::strerror(failure);
    }
    return ok;
}

bool WriteStandardOutput(std::string_view bytes) { return WriteAll(STDOUT_FILENO, bytes); }

void IgnoreBrokenPipe() { std::signal(SIGPIPE, SIG_IGN); }

// glibc raises the size it maps on its own to that of any mapped block freed,
// up to 32 MiB, and keeps smaller blocks in its heaps, where a thread's heap
// keeps them for good: a fixed threshold stops that.
void ReturnLargeBlocksWhenFreed() { mallopt(M_MMAP_THRESHOLD, 256 * 1024); }

const bool kReuseListenAddress = true;

std::size_t RaiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? 0 : static_cast<std::size_t>(limit.rlim_cur);
}

bool RandomBytes(unsigned char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t got = getrandom(bytes, size, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

std::vector<std::string> LocalAddresses() {
    std::vector<std::string> addresses;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return addresses;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr) continue;
        char text[INET6_ADDRSTRLEN] = {};
        const int family = entry->ifa_addr->sa_family;
        const void* address = nullptr;
        if (family == AF_INET)
            address = &reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr;
        else if (family == AF_INET6)
            address = &reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr)->sin6_addr;
        if (address && inet_ntop(family, address, text, sizeof text)) addresses.push_back(text);
    }
    freeifaddrs(list);
    return addresses;
}

}  // namespace host
