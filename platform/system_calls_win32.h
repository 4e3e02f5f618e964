// The Windows calls that put the page in its place, made through this table
// as the POSIX layer makes its own: the module leaves them the system's, and
// a test stands in a system that lacks a way of renaming, to see the next
// way taken.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace platform {

struct RenameCalls {
    HANDLE(WINAPI* Open)
    (LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
     DWORD flags, HANDLE model);
    BOOL(WINAPI* SetInformation)
    (HANDLE file, FILE_INFO_BY_HANDLE_CLASS info_class, LPVOID info, DWORD size);
    BOOL(WINAPI* Move)(LPCSTR from, LPCSTR to, DWORD flags);
};

extern RenameCalls Renaming;

// The ways to put a file in another's place, best first. A system that lacks
// one says so once, and the next it has is used from then on.
enum class RenameWay {
    kPosix,  // FileRenameInfoEx with POSIX semantics: a reader holding the old file keeps it
    kHandleWithoutDelete,  // FileRenameInfo on a handle without delete access, where that is let
                           // through
    kByHandle,             // FileRenameInfo on a handle with delete access
    kMoveFile,  // MoveFileEx by name: under Wine, readers' opens fail more often around it
};

extern RenameWay BestRenameWay;

}  // namespace platform
