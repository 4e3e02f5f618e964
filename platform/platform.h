// The few things the driver does differently on each platform. One source
// file per platform implements them: platform_posix.cpp, platform_win32.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

namespace platform {

// Separator between a directory and a file name in the paths the driver builds.
extern const char kPathSeparator;

// The page file's path, relative to the current directory: page_format's
// folder and file, joined by kPathSeparator. The page Init starts and every
// later page replaces.
extern const char PagePath[];

// The line end of the platform's text files ("\r\n" on Windows): every "\n"
// of a log line or of the page is stored as this.
extern const char kLineEnd[];

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

// --- files: the page and the log are written with these alone -----------------

// An open file (a descriptor, a handle), or kNoFile.
using FileHandle = std::intptr_t;
constexpr FileHandle kNoFile = -1;

// How OpenForWriting opens a file. A link at `path` (a symbolic link, a
// reparse point) is never followed: the open fails instead, so that whoever
// can write logs/ cannot make the driver write over another file.
enum OpenMode : unsigned {
    kTruncate = 1,   // emptied first
    kAppend = 2,     // every write goes to the file's current end, wherever others left it
    kCreateNew = 4,  // made new: the open fails when anything stands at `path`
    kShareAll = 8,   // (Windows) others may even delete or rename it while it is open
};

// Opens `path` for writing, in a mode made of OpenMode bits; it is created
// when missing. Others may read and write the file meanwhile. Returns
// kNoFile with errno set on failure.
FileHandle OpenForWriting(const char* path, unsigned mode);

// Writes all `size` bytes. Returns 1, or 0 with errno set; `done`, when
// given, learns how many bytes reached the file either way.
int WriteAll(FileHandle file, const char* bytes, std::size_t size, std::size_t* done = nullptr);

// Bytes to write, one of several handed over together.
struct Piece {
    const char* bytes;
    std::size_t size;
};

// Writes the pieces (`count` at most kMostPieces) one after another, in a single
// write where the platform has one (POSIX), so that another process
// appending to the file never comes between them; elsewhere piece by piece.
// Returns 1, or 0 with errno set; `done` as for WriteAll.
constexpr int kMostPieces = 8;
int WritePieces(FileHandle file, const Piece* pieces, int count, std::size_t* done = nullptr);

// Writes `size` bytes at the file's start and cuts it to them, without
// emptying it first: a reader meanwhile sees the old bytes or the new ones,
// and the bytes both begin with stay in place throughout. Returns 1, or 0
// with errno set.
int OverwriteWhole(FileHandle file, const char* bytes, std::size_t size);

// Closes the file. Returns 1, or 0 with errno set: some file systems report
// a full disk only here.
int CloseFile(FileHandle file);

// The file's current size in bytes, as others may have changed it; -1 when
// it cannot be told.
long long FileSize(FileHandle file);

// 1 when `path` names the open `file` (and not another file, nor none), 0
// otherwise.
int IsFileAt(FileHandle file, const char* path);

// `path` followed by ".<process id>.tmp" into `temp` (of `size` bytes): a
// name beside `path` that no other process writing `path` uses. Returns 0
// when it does not fit.
int TemporaryPathFor(const char* path, char* temp, std::size_t size);

// Puts the file `from` in the place of `to` (in the same directory) in one
// step, so a reader of `to` sees the old file or the new one, never a part of
// either. A reader holding `to` for a moment is waited for, a few
// milliseconds at most. Returns 1 on success, 0 with errno set on failure
// (`from` is then left where it was).
int RenameOver(const char* from, const char* to);

// Removes the file (or the link itself) at `path`. Returns 1 when nothing is
// there any more, 0 with errno set otherwise.
int RemoveFile(const char* path);

// Removes the temporary files TemporaryPathFor made for `path` in processes
// that no longer exist; another live process's file is never touched.
void RemoveDeadTemporaries(const char* path);

// Has `release` called when the module is unloaded (one function; a later
// call replaces it). Where the platform tells an unload from the process's
// end (Windows), it is left out at the end: the system closes what is open
// then, and the host's other threads may have been stopped mid-call.
void AtUnload(void (*release)());

}  // namespace platform
