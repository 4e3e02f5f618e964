// What the view does differently on each platform: how it looks at the page
// file and reads it, and how its listening socket is set up. One source file
// per platform implements it: platform_posix.cpp, platform_win32.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace view::platform {

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

}  // namespace view::platform
