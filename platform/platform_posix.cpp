// POSIX side of the platform layer: paths with '/', the module's path from
// dladdr, the extension cut at the last dot, directories made with mkdir,
// files written through plain descriptors, never through a link.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "platform/page_format.h"
#include "platform/platform.h"
#include "platform/system_calls_posix.h"

namespace platform {

const char kPathSeparator = '/';
const char PagePath[] = LUMIVANE_PAGE_FOLDER "/" LUMIVANE_PAGE_FILE;
const char kLineEnd[] = "\n";

namespace {
int OpenFile(const char* path, int flags, mode_t mode) { return open(path, flags, mode); }
}  // namespace

SystemCalls Calls = {OpenFile,    write, writev, pwrite, close,
                     std::rename, lseek, unlink, mkdir,  ftruncate};

namespace {
char self_marker;  // any static of this module: dladdr finds the file holding it

void (*UnloadRelease)() = nullptr;  // what AtUnload asked for

// Runs when the module is unloaded (dlclose of its last reference) and when
// the process exits.
__attribute__((destructor)) void ReleaseAtUnload() {
    if (UnloadRelease != nullptr) UnloadRelease();
}
}  // namespace

int ModuleFilePath(char* path, std::size_t size) {
    Dl_info info{};
    path[0] = '\0';
    if (dladdr(&self_marker, &info) == 0 || info.dli_fname == nullptr) return 0;
    std::strncat(path, info.dli_fname, size - 1);
    return 1;
}

// "mirror.so" -> "mirror"; a name without a dot is kept whole.
std::size_t BaseNameLength(const char* file_name, std::size_t name_length) {
    for (std::size_t i = name_length; i > 0; --i) {
        if (file_name[i - 1] == '.') return i - 1;
    }
    return name_length;
}

int LocalTime(std::time_t when, std::tm* local) { return localtime_r(&when, local) ? 1 : 0; }

void MakeDirectory(const char* directory) {
    Calls.Mkdir(directory, 0777);  // EEXIST is the usual case and is fine
}

// Close-on-exec, so a program the host starts inherits neither file.
FileHandle OpenForWriting(const char* path, unsigned mode) {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW;
    if (mode & kTruncate) flags |= O_TRUNC;
    if (mode & kAppend) flags |= O_APPEND;
    if (mode & kCreateNew) flags |= O_EXCL;
    const int fd = Calls.Open(path, flags, 0666);
    return fd < 0 ? kNoFile : fd;
}

int WriteAll(FileHandle file, const char* bytes, std::size_t size, std::size_t* done) {
    const Piece piece = {bytes, size};
    return WritePieces(file, &piece, 1, done);
}

int WritePieces(FileHandle file, const Piece* pieces, int count, std::size_t* done) {
    iovec vector[kMostPieces];
    for (int i = 0; i < count; ++i)
        vector[i] = {const_cast<char*>(pieces[i].bytes), pieces[i].size};
    iovec* next = vector;
    if (done != nullptr) *done = 0;
    while (count > 0 && next->iov_len == 0) {
        ++next;
        --count;
    }
    while (count > 0) {
        const ssize_t written =
            count == 1 ? Calls.Write(static_cast<int>(file), next->iov_base, next->iov_len)
                       : Calls.Writev(static_cast<int>(file), next, count);
        if (written < 0) {
            if (errno == EINTR) continue;
            return 0;
        }
        if (written == 0) {  // no room, and no error said so
            errno = ENOSPC;
            return 0;
        }
        if (done != nullptr) *done += static_cast<std::size_t>(written);
        // A short write (a full disk, a signal): go on after what was written.
        auto left = static_cast<std::size_t>(written);
        while (count > 0 && left >= next->iov_len) {
            left -= next->iov_len;
            ++next;
            --count;
        }
        if (count > 0) {
            next->iov_base = static_cast<char*>(next->iov_base) + left;
            next->iov_len -= left;
        }
    }
    return 1;
}

int OverwriteWhole(FileHandle file, const char* bytes, std::size_t size) {
    const int fd = static_cast<int>(file);
    std::size_t at = 0;
    while (at < size) {
        const ssize_t written = Calls.Pwrite(fd, bytes + at, size - at, static_cast<off_t>(at));
        if (written < 0) {
            if (errno == EINTR) continue;
            return 0;
        }
        if (written == 0) {
            errno = ENOSPC;
            return 0;
        }
        at += static_cast<std::size_t>(written);
    }
    return Calls.Truncate(fd, static_cast<off_t>(size)) == 0 ? 1 : 0;
}

int CloseFile(FileHandle file) { return Calls.Close(static_cast<int>(file)) == 0 ? 1 : 0; }

long long FileSize(FileHandle file) {
    // In append mode the offset has no say in where a write goes, so asking
    // for the end is free to move it.
    return Calls.Seek(static_cast<int>(file), 0, SEEK_END);
}

int IsFileAt(FileHandle file, const char* path) {
    struct stat open_file {};
    struct stat named {};
    if (fstat(static_cast<int>(file), &open_file) != 0 || lstat(path, &named) != 0) return 0;
    return open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino ? 1 : 0;
}

int TemporaryPathFor(const char* path, char* temp, std::size_t size) {
    const int length = std::snprintf(temp, size, "%s.%ld.tmp", path, static_cast<long>(getpid()));
    return length > 0 && static_cast<std::size_t>(length) < size ? 1 : 0;
}

int RenameOver(const char* from, const char* to) { return Calls.Rename(from, to) == 0 ? 1 : 0; }

int RemoveFile(const char* path) { return Calls.Unlink(path) == 0 || errno == ENOENT ? 1 : 0; }

namespace {
constexpr std::size_t kScanBufferSize = 4096;  // directory entries read at a time
constexpr std::size_t kScanPathSize = 512;

// The number in `name` when it is "<page>.<number>.tmp", else 0. Only a
// positive one can be the id of the process that wrote it.
pid_t TemporaryOwner(const char* name, const char* page, std::size_t page_length) {
    if (std::strncmp(name, page, page_length) != 0 || name[page_length] != '.') return 0;
    const char* digits = name + page_length + 1;
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(digits, digits + std::strlen(digits), pid);
    return error == std::errc() && std::strcmp(end, ".tmp") == 0 ? pid : 0;
}
}  // namespace

// Read with getdents64 rather than readdir, which allocates its stream.
void RemoveDeadTemporaries(const char* path) {
    const char* slash = std::strrchr(path, '/');
    char directory[kScanPathSize];
    const char* page = path;
    if (slash == nullptr) {
        std::strcpy(directory, ".");
    } else {
        const auto length = static_cast<std::size_t>(slash - path);
        if (length >= sizeof directory) return;
        std::memcpy(directory, path, length);
        directory[length] = '\0';
        page = slash + 1;
    }
    const std::size_t page_length = std::strlen(page);
    const int listing = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0) return;
    alignas(8) char entries[kScanBufferSize];
    const pid_t own = getpid();
    for (;;) {
        const ssize_t got = getdents64(listing, entries, sizeof entries);
        if (got <= 0) break;
        for (ssize_t at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
            at += entry->d_reclen;
            const pid_t pid = TemporaryOwner(entry->d_name, page, page_length);
            // A process of another user answers EPERM: it lives.
            if (pid <= 0 || pid == own || kill(pid, 0) == 0 || errno != ESRCH) continue;
            char stale[kScanPathSize];
            const int length =
                std::snprintf(stale, sizeof stale, "%s/%s", directory, entry->d_name);
            if (length > 0 && static_cast<std::size_t>(length) < sizeof stale) Calls.Unlink(stale);
        }
    }
    close(listing);
}

void AtUnload(void (*release)()) { UnloadRelease = release; }

}  // namespace platform
