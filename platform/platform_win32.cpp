// Windows side of the platform layer: paths with '\', the module's path from
// its own load address, the extension cut as its last four characters,
// directories made with CreateDirectoryA, files written through Win32
// handles with CR LF line ends and never through a reparse point, the page
// replaced with POSIX rename semantics where the system has them, and the
// release at unload from DllMain.
#include "platform/page_format.h"
#include "platform/platform.h"
#include "platform/system_calls_win32.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

const char kPathSeparator = '\\';
const char PagePath[] = LUMIVANE_PAGE_FOLDER "\\" LUMIVANE_PAGE_FILE;
const char kLineEnd[] = "\r\n";

namespace {
constexpr std::size_t kExtensionLength = 4;  // ".dll"

char self_marker;  // any static of this module: its region's allocation base is the module

void (*UnloadRelease)() = nullptr;  // what AtUnload asked for

// Readers and writers may share the files, as with the C run-time's fopen;
// deleting or renaming them while the driver holds them is not shared.
constexpr DWORD kShareMode = FILE_SHARE_READ | FILE_SHARE_WRITE;

// The C library's error number closest to a failed Win32 file call.
int ErrnoFor(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return EACCES;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            return ENOENT;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_INVALID_NAME:
        case ERROR_INVALID_PARAMETER:
            return EINVAL;
        default:
            return EIO;
    }
}
}  // namespace

int ModuleFilePath(char* path, std::size_t size) {
    path[0] = '\0';
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(&self_marker, &region, sizeof region) == 0) return 0;
    const HMODULE module = static_cast<HMODULE>(region.AllocationBase);

    const DWORD length = GetModuleFileNameA(module, path, static_cast<DWORD>(size));
    // Older systems leave a path that fills the buffer without its NUL.
    path[size - 1] = '\0';
    if (length == 0) {
        path[0] = '\0';
        return 0;
    }
    return 1;
}

// "mirror.dll" -> "mirror": the last four characters go, whatever they are;
// a name shorter than that leaves nothing.
std::size_t BaseNameLength(const char* /*file_name*/, std::size_t name_length) {
    return name_length >= kExtensionLength ? name_length - kExtensionLength : 0;
}

int LocalTime(std::time_t when, std::tm* local) {
    const std::tm* shared = std::localtime(&when);  // the run-time keeps one per thread
    if (shared == nullptr) return 0;
    *local = *shared;
    return 1;
}

void MakeDirectory(const char* directory) {
    CreateDirectoryA(directory, nullptr);  // ERROR_ALREADY_EXISTS is the usual case and is fine
}

namespace {
// A handle that names a reparse point (a symbolic link, a junction) is
// refused: opened with FILE_FLAG_OPEN_REPARSE_POINT, it is the link itself.
bool IsReparsePoint(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileInformationByHandle(file, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

HANDLE OpenNoLink(const char* path, DWORD access, DWORD share, DWORD disposition) {
    const HANDLE file =
        CreateFileA(path, access | FILE_READ_ATTRIBUTES, share, nullptr, disposition,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        errno = ErrnoFor(GetLastError());
        return INVALID_HANDLE_VALUE;
    }
    if (IsReparsePoint(file)) {
        CloseHandle(file);
        errno = ELOOP;
        return INVALID_HANDLE_VALUE;
    }
    return file;
}
}  // namespace

FileHandle OpenForWriting(const char* path, unsigned mode) {
    const DWORD share = kShareMode | ((mode & kShareAll) ? FILE_SHARE_DELETE : 0);
    const DWORD disposition = (mode & kCreateNew) ? CREATE_NEW : OPEN_ALWAYS;
    // Emptied only once it is known not to be a link.
    if (mode & kTruncate) {
        const HANDLE emptied = OpenNoLink(path, GENERIC_WRITE, share, disposition);
        if (emptied == INVALID_HANDLE_VALUE) return kNoFile;
        if (!(mode & kAppend)) {
            if (!SetEndOfFile(emptied)) {
                errno = ErrnoFor(GetLastError());
                CloseHandle(emptied);
                return kNoFile;
            }
            return reinterpret_cast<FileHandle>(emptied);
        }
        // A handle with append access but no write access writes at the
        // file's end only. It cannot empty the file, so this one does.
        const BOOL emptied_ok = SetEndOfFile(emptied);
        CloseHandle(emptied);
        if (!emptied_ok) {
            errno = ErrnoFor(GetLastError());
            return kNoFile;
        }
    }
    const DWORD access =
        (mode & kAppend) ? FILE_APPEND_DATA | SYNCHRONIZE : static_cast<DWORD>(GENERIC_WRITE);
    const HANDLE file =
        OpenNoLink(path, access, share, (mode & kTruncate) ? OPEN_EXISTING : disposition);
    return file == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(file);
}

int WriteAll(FileHandle file, const char* bytes, std::size_t size, std::size_t* done) {
    if (done != nullptr) *done = 0;
    while (size > 0) {
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(file), bytes, chunk, &written, nullptr)) {
            errno = ErrnoFor(GetLastError());
            if (done != nullptr) *done += written;
            return 0;
        }
        if (written == 0) {
            errno = ENOSPC;
            return 0;
        }
        if (done != nullptr) *done += written;
        bytes += written;
        size -= written;
    }
    return 1;
}

int WritePieces(FileHandle file, const Piece* pieces, int count, std::size_t* done) {
    if (done != nullptr) *done = 0;
    for (int i = 0; i < count; ++i) {
        std::size_t piece_done = 0;
        const int ok = WriteAll(file, pieces[i].bytes, pieces[i].size, &piece_done);
        if (done != nullptr) *done += piece_done;
        if (!ok) return 0;
    }
    return 1;
}

int OverwriteWhole(FileHandle file, const char* bytes, std::size_t size) {
    const HANDLE handle = reinterpret_cast<HANDLE>(file);
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(handle, start, nullptr, FILE_BEGIN)) {
        errno = ErrnoFor(GetLastError());
        return 0;
    }
    if (!WriteAll(file, bytes, size)) return 0;
    if (!SetEndOfFile(handle)) {
        errno = ErrnoFor(GetLastError());
        return 0;
    }
    return 1;
}

int CloseFile(FileHandle file) {
    if (CloseHandle(reinterpret_cast<HANDLE>(file))) return 1;
    errno = ErrnoFor(GetLastError());
    return 0;
}

long long FileSize(FileHandle file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(reinterpret_cast<HANDLE>(file), &size)) return -1;
    return size.QuadPart;
}

int IsFileAt(FileHandle file, const char* path) {
    BY_HANDLE_FILE_INFORMATION open_file{};
    BY_HANDLE_FILE_INFORMATION named{};
    if (!GetFileInformationByHandle(reinterpret_cast<HANDLE>(file), &open_file)) return 0;
    // Attributes only: no sharing mode stands in the way.
    const HANDLE probe = CreateFileA(path, FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return 0;
    const BOOL known = GetFileInformationByHandle(probe, &named);
    CloseHandle(probe);
    return known && open_file.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
                   open_file.nFileIndexHigh == named.nFileIndexHigh &&
                   open_file.nFileIndexLow == named.nFileIndexLow
               ? 1
               : 0;
}

int TemporaryPathFor(const char* path, char* temp, std::size_t size) {
    const int length = std::snprintf(temp, size, "%s.%lu.tmp", path,
                                     static_cast<unsigned long>(GetCurrentProcessId()));
    return length > 0 && static_cast<std::size_t>(length) < size ? 1 : 0;
}

RenameCalls Renaming = {CreateFileA, SetFileInformationByHandle, MoveFileExA};
RenameWay BestRenameWay = RenameWay::kPosix;

namespace {
constexpr DWORD kRenameWaitMicroseconds = 5000;  // a reader holds the page for microseconds
constexpr std::size_t kWidePathSize = 600;
// FILE_RENAME_INFO with its flags, as FileRenameInfoEx takes it (the
// compiler's headers may predate it). FileRenameInfo takes the same layout,
// its ReplaceIfExists being the flags' low byte.
constexpr int kFileRenameInfoEx = 22;
constexpr DWORD kRenameReplaceIfExists = 0x1;
constexpr DWORD kRenamePosixSemantics = 0x2;
struct RenameInfo {
    DWORD flags;
    HANDLE root_directory;
    DWORD name_length;  // bytes
    WCHAR name[kWidePathSize];
};
RenameInfo Rename;  // static: the driver allocates nothing

// A handle with delete access to a file refuses, until it is closed, every
// open that does not share deletion, as the C run-time's fopen does not. A
// rename needs one on Windows, and from the rename to its close the file is
// the page. Wine lets a handle without it rename, and so leaves no moment in
// which a reader's fopen of the page is refused.
constexpr DWORD kWithDelete = DELETE | SYNCHRONIZE;
constexpr DWORD kWithoutDelete = SYNCHRONIZE;

// Renames `from` to `to` through a handle of `from` with `access`, by
// `info_class` with `flags`. Returns 1, or 0 with the Win32 error in *error.
int RenameByHandle(const char* from, const char* to, DWORD access, int info_class, DWORD flags,
                   DWORD* error) {
    WCHAR wide[kWidePathSize];
    const int wide_length = MultiByteToWideChar(CP_ACP, 0, to, -1, wide, kWidePathSize);
    if (wide_length == 0) {
        *error = GetLastError();
        return 0;
    }
    std::memcpy(Rename.name, L"\\??\\", 4 * sizeof(WCHAR));
    const DWORD full = GetFullPathNameW(wide, kWidePathSize - 5, Rename.name + 4, nullptr);
    if (full == 0 || full >= kWidePathSize - 5) {
        *error = full == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
        return 0;
    }
    Rename.flags = flags;
    Rename.root_directory = nullptr;
    Rename.name_length = static_cast<DWORD>((full + 4) * sizeof(WCHAR));
    if (access == kWithoutDelete) {
        // Windows refuses to rename a file someone holds without sharing
        // deletion; opening it with delete access asks the same here.
        const HANDLE asked =
            Renaming.Open(from, kWithDelete, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (asked == INVALID_HANDLE_VALUE) {
            *error = GetLastError();
            return 0;
        }
        CloseHandle(asked);
    }
    const HANDLE file =
        Renaming.Open(from, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return 0;
    }
    const BOOL renamed = Renaming.SetInformation(
        file, static_cast<FILE_INFO_BY_HANDLE_CLASS>(info_class), &Rename, sizeof Rename);
    *error = renamed ? ERROR_SUCCESS : GetLastError();
    CloseHandle(file);
    return renamed ? 1 : 0;
}

bool IsHeldByAReader(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
           error == ERROR_LOCK_VIOLATION;
}

bool IsNotSupported(DWORD error) {
    return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED ||
           error == ERROR_INVALID_FUNCTION || error == ERROR_CALL_NOT_IMPLEMENTED;
}

// The way after FileRenameInfoEx: a handle without delete access where the
// system lets it rename, which `from` renamed to its own name tells (Windows
// refuses it before it looks at any name). 0 with the error in *error when
// `from` is held or gone, and the next rename asks again.
int ChooseHandleRename(const char* from, DWORD* error) {
    if (RenameByHandle(from, from, kWithoutDelete, FileRenameInfo, 0, error))
        BestRenameWay = RenameWay::kHandleWithoutDelete;
    else if (*error == ERROR_ACCESS_DENIED || IsNotSupported(*error))
        BestRenameWay = RenameWay::kByHandle;
    else
        return 0;
    return 1;
}

// One try of the best way this system has; 1, or 0 with the error in *error.
int RenameOnce(const char* from, const char* to, DWORD* error) {
    if (BestRenameWay == RenameWay::kPosix) {
        if (RenameByHandle(from, to, kWithDelete, kFileRenameInfoEx,
                           kRenameReplaceIfExists | kRenamePosixSemantics, error))
            return 1;
        if (!IsNotSupported(*error)) return 0;
        if (!ChooseHandleRename(from, error)) return 0;  // older systems, Wine, other file systems
    }
    if (BestRenameWay == RenameWay::kHandleWithoutDelete || BestRenameWay == RenameWay::kByHandle) {
        const DWORD access =
            BestRenameWay == RenameWay::kHandleWithoutDelete ? kWithoutDelete : kWithDelete;
        if (RenameByHandle(from, to, access, FileRenameInfo, kRenameReplaceIfExists, error))
            return 1;
        if (!IsNotSupported(*error)) return 0;
        BestRenameWay = RenameWay::kMoveFile;
    }
    if (Renaming.Move(from, to, MOVEFILE_REPLACE_EXISTING)) return 1;
    *error = GetLastError();
    return 0;
}
}  // namespace

int RenameOver(const char* from, const char* to) {
    LARGE_INTEGER frequency{}, start{}, now{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    DWORD error = ERROR_SUCCESS;
    for (;;) {
        if (RenameOnce(from, to, &error)) return 1;
        QueryPerformanceCounter(&now);
        const long long waited = (now.QuadPart - start.QuadPart) * 1000000 /
                                 (frequency.QuadPart ? frequency.QuadPart : 1);
        if (!IsHeldByAReader(error) || waited >= kRenameWaitMicroseconds) break;
        Sleep(0);  // the reader's turn
    }
    errno = ErrnoFor(error);
    return 0;
}

int RemoveFile(const char* path) {
    if (DeleteFileA(path)) return 1;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return 1;
    errno = ErrnoFor(error);
    return 0;
}

namespace {
constexpr std::size_t kScanPathSize = 512;

// A process with this id still runs (or cannot be asked: then it is taken
// to run).
bool ProcessLives(DWORD pid) {
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;
    DWORD code = 0;
    const BOOL known = GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return !known || code == STILL_ACTIVE;
}
}  // namespace

void RemoveDeadTemporaries(const char* path) {
    char pattern[kScanPathSize];
    const int length = std::snprintf(pattern, sizeof pattern, "%s.*.tmp", path);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof pattern) return;
    const char* separator = std::strrchr(path, '\\');
    const std::size_t directory_length =
        separator == nullptr ? 0 : static_cast<std::size_t>(separator - path) + 1;
    const char* page = path + directory_length;
    const std::size_t page_length = std::strlen(page);
    const DWORD own = GetCurrentProcessId();

    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const char* name = found.cFileName;
        if (_strnicmp(name, page, page_length) != 0 || name[page_length] != '.') continue;
        const char* digits = name + page_length + 1;
        char* end = nullptr;
        const unsigned long pid = std::strtoul(digits, &end, 10);
        if (end == digits || *digits < '0' || *digits > '9' || _stricmp(end, ".tmp") != 0) continue;
        if (pid == 0 || pid == own || ProcessLives(static_cast<DWORD>(pid))) continue;
        char stale[kScanPathSize];
        const int stale_length = std::snprintf(stale, sizeof stale, "%.*s%s",
                                               static_cast<int>(directory_length), path, name);
        if (stale_length > 0 && static_cast<std::size_t>(stale_length) < sizeof stale)
            DeleteFileA(stale);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

void AtUnload(void (*release)()) { UnloadRelease = release; }

}  // namespace platform

// FreeLibrary: the driver lets go of what it holds. At the process's end
// (reserved is then non-null) nothing is done: the system closes every
// handle itself, and other threads may have been stopped in the middle of
// a call into the driver.
extern "C" BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr && platform::UnloadRelease != nullptr)
        platform::UnloadRelease();
    return TRUE;
}
