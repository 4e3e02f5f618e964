// POSIX side of the platform layer: paths with '/', the module's path from
// dladdr, the extension cut at the last dot, directories made with mkdir,
// files written through plain descriptors.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace platform {

const char kPathSeparator = '/';
const char PagePath[] = "logs/index.htm";
const char kLineEnd[] = "\n";

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
    mkdir(directory, 0777);  // EEXIST is the usual case and is fine
}

// Close-on-exec, so a program the host starts inherits neither file.
FileHandle OpenForWriting(const char* path, unsigned mode) {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
    if (mode & kTruncate) flags |= O_TRUNC;
    if (mode & kAppend) flags |= O_APPEND;
    const int fd = open(path, flags, 0666);
    return fd < 0 ? kNoFile : fd;
}

int WriteAll(FileHandle file, const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(static_cast<int>(file), bytes, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return 0;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return 1;
}

int WritePieces(FileHandle file, const Piece* pieces, int count) {
    iovec vector[kMostPieces];
    if (count > kMostPieces) count = kMostPieces;
    for (int i = 0; i < count; ++i)
        vector[i] = {const_cast<char*>(pieces[i].bytes), pieces[i].size};
    iovec* next = vector;
    while (count > 0) {
        const ssize_t written = writev(static_cast<int>(file), next, count);
        if (written < 0) {
            if (errno == EINTR) continue;
            return 0;
        }
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

int CloseFile(FileHandle file) { return close(static_cast<int>(file)) == 0 ? 1 : 0; }

long long FileSize(FileHandle file) {
    // In append mode the offset has no say in where a write goes, so asking
    // for the end is free to move it.
    return lseek(static_cast<int>(file), 0, SEEK_END);
}

int IsFileAt(FileHandle file, const char* path) {
    struct stat open_file {};
    struct stat named {};
    if (fstat(static_cast<int>(file), &open_file) != 0 || stat(path, &named) != 0) return 0;
    return open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino ? 1 : 0;
}

int TemporaryPathFor(const char* path, char* temp, std::size_t size) {
    const int length = std::snprintf(temp, size, "%s.%ld.tmp", path, static_cast<long>(getpid()));
    return length > 0 && static_cast<std::size_t>(length) < size ? 1 : 0;
}

int RenameOver(const char* from, const char* to) { return std::rename(from, to) == 0 ? 1 : 0; }

void AtUnload(void (*release)()) { UnloadRelease = release; }

}  // namespace platform
