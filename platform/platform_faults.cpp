// The fault-injection build of the POSIX platform layer: the system calls
// under the driver's file work, each kind counted, and the Nth call of a
// chosen kind failed on purpose. Linked only into lumivane_faults.so, which
// the fault tests load in place of the module; the module itself never holds
// this file.
//
// A test arms one fault at a time through the two functions below, which are
// the only names this build adds to the module's exports.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/system_calls_posix.h"

namespace {

// What can be failed: a kind of call, or a way a write goes wrong.
enum Fault {
    kNone,
    kOpen,      // open fails (EACCES)
    kWrite,     // write or writev fails (EIO), nothing written
    kShort,     // write or writev takes half, and the next one all it is given
    kFull,      // write or writev takes half, and the next one fails (ENOSPC)
    kClose,     // close fails (EIO) after closing, as NFS reports a lost write
    kRename,    // rename fails (EACCES)
    kSize,      // lseek fails (EIO)
    kRemove,    // unlink fails (EACCES)
    kMkdir,     // mkdir fails (EACCES)
    kTruncate,  // ftruncate fails (EIO)
};

struct FaultName {
    const char* name;
    Fault fault;
};
constexpr FaultName kFaultNames[] = {
    {"open", kOpen},   {"write", kWrite},       {"short", kShort}, {"full", kFull},
    {"close", kClose}, {"rename", kRename},     {"size", kSize},   {"remove", kRemove},
    {"mkdir", kMkdir}, {"truncate", kTruncate},
};

// The faults armed: up to kMostFaults at once, each failing the call of its
// kind with the number `at` (1 = the next one), and with `always` every later
// one too.
struct ArmedFault {
    Fault fault;
    int at;
    bool always;
};
constexpr int kMostFaults = 4;
ArmedFault Armed[kMostFaults];
int ArmedCount = 0;
bool FailNextWrite = false;  // kFull: the write after the short one fails
// Calls of each kind since the faults were cleared (kShort and kFull count writes).
int Counted[kTruncate + 1];

Fault KindOf(Fault fault) { return fault == kShort || fault == kFull ? kWrite : fault; }

// Counts a call of `kind`; the fault to act out on it, or kNone.
Fault Hit(Fault kind) {
    const int number = ++Counted[kind];
    for (int i = 0; i < ArmedCount; ++i) {
        const ArmedFault& armed = Armed[i];
        if (KindOf(armed.fault) == kind &&
            (number == armed.at || (armed.always && number > armed.at)))
            return armed.fault;
    }
    return kNone;
}

int Fail(int error) {
    errno = error;
    return -1;
}

int FaultyOpen(const char* path, int flags, mode_t mode) {
    if (Hit(kOpen) != kNone) return Fail(EACCES);
    return open(path, flags, mode);
}

// Half of `size`, at least one byte.
size_t Half(size_t size) { return size > 1 ? size / 2 : size; }

ssize_t FaultyWrite(int file, const void* bytes, size_t size) {
    if (FailNextWrite) {
        FailNextWrite = false;
        ++Counted[kWrite];
        return Fail(ENOSPC);
    }
    const Fault fault = Hit(kWrite);
    if (fault == kNone) return write(file, bytes, size);
    if (fault == kWrite) return Fail(EIO);
    FailNextWrite = fault == kFull;
    return write(file, bytes, Half(size));
}

ssize_t FaultyWritev(int file, const iovec* vector, int count) {
    if (FailNextWrite) {
        FailNextWrite = false;
        ++Counted[kWrite];
        return Fail(ENOSPC);
    }
    const Fault fault = Hit(kWrite);
    if (fault == kNone) return writev(file, vector, count);
    if (fault == kWrite) return Fail(EIO);
    FailNextWrite = fault == kFull;
    size_t total = 0;
    for (int i = 0; i < count; ++i) total += vector[i].iov_len;
    // The first half of the pieces' bytes, across as many pieces as it takes.
    iovec part[64];
    size_t left = Half(total);
    int used = 0;
    for (int i = 0; i < count && left > 0 && used < 64; ++i) {
        part[used] = vector[i];
        if (part[used].iov_len > left) part[used].iov_len = left;
        left -= part[used].iov_len;
        ++used;
    }
    return writev(file, part, used);
}

ssize_t FaultyPwrite(int file, const void* bytes, size_t size, off_t offset) {
    if (FailNextWrite) {
        FailNextWrite = false;
        ++Counted[kWrite];
        return Fail(ENOSPC);
    }
    const Fault fault = Hit(kWrite);
    if (fault == kNone) return pwrite(file, bytes, size, offset);
    if (fault == kWrite) return Fail(EIO);
    FailNextWrite = fault == kFull;
    return pwrite(file, bytes, Half(size), offset);
}

int FaultyClose(int file) {
    const bool fail = Hit(kClose) != kNone;
    const int result = close(file);
    return fail ? Fail(EIO) : result;
}

int FaultyRename(const char* from, const char* to) {
    if (Hit(kRename) != kNone) return Fail(EACCES);
    return std::rename(from, to);
}

off_t FaultySeek(int file, off_t offset, int whence) {
    if (Hit(kSize) != kNone) return Fail(EIO);
    return lseek(file, offset, whence);
}

int FaultyUnlink(const char* path) {
    if (Hit(kRemove) != kNone) return Fail(EACCES);
    return unlink(path);
}

int FaultyMkdir(const char* path, mode_t mode) {
    if (Hit(kMkdir) != kNone) return Fail(EACCES);
    return mkdir(path, mode);
}

int FaultyTruncate(int file, off_t size) {
    if (Hit(kTruncate) != kNone) return Fail(EIO);
    return ftruncate(file, size);
}

__attribute__((constructor)) void InstallFaults() {
    platform::Calls = {FaultyOpen,   FaultyWrite, FaultyWritev, FaultyPwrite, FaultyClose,
                       FaultyRename, FaultySeek,  FaultyUnlink, FaultyMkdir,  FaultyTruncate};
}

Fault Named(const char* name) {
    for (const FaultName& entry : kFaultNames)
        if (std::strcmp(entry.name, name) == 0) return entry.fault;
    return kNone;
}

}  // namespace

extern "C" {

// Arms a fault: the `nth` call (1: the next) of the kind `fault` names
// ("open", "write", "short", "full", "close", "rename", "size", "remove",
// "mkdir", "truncate") fails, and with `always` every later one too. "none"
// disarms every fault and starts every count again at 0. Returns 1 when the
// name is known and there was room for it.
__attribute__((visibility("default"))) int lumivane_faults_arm(const char* fault, int nth,
                                                               int always) {
    if (std::strcmp(fault, "none") == 0) {
        ArmedCount = 0;
        FailNextWrite = false;
        std::memset(Counted, 0, sizeof Counted);
        return 1;
    }
    const Fault named = Named(fault);
    if (named == kNone || ArmedCount == kMostFaults) return 0;
    Armed[ArmedCount++] = {named, nth, always != 0};
    return 1;
}

// Calls of the kind `fault` names since the faults were last cleared
// ("short" and "full" count writes).
__attribute__((visibility("default"))) int lumivane_faults_calls(const char* fault) {
    return Counted[KindOf(Named(fault))];
}
}
