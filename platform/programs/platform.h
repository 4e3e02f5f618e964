// What the programs need from the platform: lumivane-host, the tests and the
// benchmark (through host/driver_module.h) load a module and find its exports
// and the folder of the running executable; lumivane-view looks at the page
// file and reads it, and sets up its listening socket. One source file per
// platform: platform_posix.cpp, platform_win32.cpp. The driver's own platform
// layer (platform/) stays apart: it runs inside the host's process, without
// the heap or std::filesystem.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// File name of the driver module as the build names it ("lumivane.so"),
// and the extension of a module file on this platform (".so").
extern const char kModuleFileName[];
extern const char kModuleExtension[];

// Loads the module at `path`; nullptr on failure, with the reason in *error.
void* LoadModule(const std::string& path, std::string* error);

// The address of the export `name`, or nullptr when the module lacks it.
void* FindExport(void* module, const char* name);

void UnloadModule(void* module);

// The folder of the running executable, ending in its separator; "" when it
// can't be told.
std::string ExecutableFolder();

// kModuleFileName in the folder of the running executable.
std::string DefaultModulePath();

// What a look at a file tells without reading it. Any write or replacement
// of the file changes at least one field, given a clock that has ticked.
struct FileStamp {
    std::uint64_t size = 0;
    std::uint64_t identity = 0;  // inode, or the creation time where files have none
    std::uint64_t modified = 0;  // last write, in the platform's finest unit
    std::uint64_t changed = 0;   // last status change, where the platform keeps one

    bool operator==(const FileStamp& other) const {
        return size == other.size && identity == other.identity && modified == other.modified &&
               changed == other.changed;
    }
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

// A page is under 1 KiB: a file larger than this is not one.
constexpr std::uint64_t kPageFileLimit = 65536;

// The stamp of the regular file at `path`, not followed if it is a link;
// false when there is none.
bool ReadFileStamp(const std::filesystem::path& path, FileStamp* stamp);

// The whole file, as bytes; false when it can't be opened or read, or when
// it is anything but a regular file of at most kPageFileLimit bytes: a link
// (never followed, whatever it points at), a FIFO, a device, a directory. It
// never waits on the file, and never keeps the driver from putting a new page
// in place while it reads.
bool ReadWholeFile(const std::filesystem::path& path, std::string* bytes);

// True when `path` itself is a link (a symbolic link, or a reparse point on
// Windows), whatever it points at.
bool IsLink(const std::filesystem::path& path);

// Why no new file may take the place of `target`: it is a directory, a FIFO,
// a device or anything else but a regular file, or this process may not
// write it. "" when one may: nothing is there, or a regular file it may write.
// It looks without opening anything.
std::string WhyNotReplaceable(const std::filesystem::path& target);

// Writes `bytes` into a new file beside `target` and renames it over the
// target, keeping an old target's permissions, so that a reader sees the old
// file or the new one, whole. On failure it removes that new file and nothing
// else, and puts the reason in *why.
bool ReplaceWithNewFile(const std::filesystem::path& target, std::string_view bytes,
                        std::string* why);

// Writes `bytes` to standard output unchanged (no line-end translation).
bool WriteStandardOutput(std::string_view bytes);

// A write to a pipe whose reader has gone fails with an error instead of
// ending the process (SIGPIPE on POSIX; Windows has no such signal).
void IgnoreBrokenPipe();

// From now on a large heap block (a picture being drawn takes tens of
// megabytes) is the system's own mapping, given back as soon as it is freed,
// whatever the blocks before it were.
void ReturnLargeBlocksWhenFreed();

// Whether the listening socket sets SO_REUSEADDR: on POSIX it lets a
// restarted view take its port back from connections still closing; on
// Windows it would let a second server take a port that is in use.
extern const bool kReuseListenAddress;

// Raises the process's limit on open descriptors as far as it may go and
// returns it; 0 where sockets have no such limit.
std::size_t RaiseDescriptorLimit();

// Fills `bytes` from the system's cryptographic random generator; false when
// it can't.
bool RandomBytes(unsigned char* bytes, std::size_t size);

// The machine's own IP addresses as text, loopback included; empty when they
// can't be listed.
std::vector<std::string> LocalAddresses();

}  // namespace host
