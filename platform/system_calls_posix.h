// The system calls under the POSIX platform layer's file work, made through
// this table, as SQLite's os_unix.c makes its own: the module leaves them the
// system's, and the fault-injection build (platform_faults.cpp) fails any of
// them on purpose, so every failure path can be tested.
#pragma once

#include <sys/types.h>
#include <sys/uio.h>

namespace platform {

struct SystemCalls {
    int (*Open)(const char* path, int flags, mode_t mode);
    ssize_t (*Write)(int file, const void* bytes, size_t size);
    ssize_t (*Writev)(int file, const iovec* vector, int count);
    ssize_t (*Pwrite)(int file, const void* bytes, size_t size, off_t offset);
    int (*Close)(int file);
    int (*Rename)(const char* from, const char* to);
    off_t (*Seek)(int file, off_t offset, int whence);
    int (*Unlink)(const char* path);
    int (*Mkdir)(const char* path, mode_t mode);
    int (*Truncate)(int file, off_t size);
};

extern SystemCalls Calls;

}  // namespace platform
