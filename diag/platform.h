// The few things the driver does differently on each platform. One source
// file per platform implements them: platform_posix.cpp, platform_win32.cpp.
#pragma once

#include <cstddef>
#include <ctime>

namespace platform {

// Separator between a directory and a file name in the paths the driver builds.
extern const char kPathSeparator;

// The page file, relative to the current directory.
extern const char kPagePath[];

// Fills `path` (of `size` bytes, always NUL-terminated) with the full path of
// the file this module was loaded from. Returns 0 and an empty text when the
// platform cannot tell.
int ModuleFilePath(char* path, std::size_t size);

// Length of the base name at the start of `file_name` (the part of a module
// path after its last separator), once the extension is cut off.
std::size_t BaseNameLength(const char* file_name, std::size_t path_length);

// Breaks `when` down into local time. Returns 1, or 0 when it cannot. Unlike
// plain localtime, it neither allocates nor looks the time zone up again on
// every call.
int LocalTime(std::time_t when, std::tm* local);

// Creates `directory` below the current directory; an existing one is fine.
void MakeDirectory(const char* directory);

// Puts the file `from` in the place of `to` in one step, so a reader of `to`
// sees the old file or the new one, never a part of either. Returns 1 on
// success, 0 with errno set on failure (`from` is then left where it was).
int RenameOver(const char* from, const char* to);

}  // namespace platform
