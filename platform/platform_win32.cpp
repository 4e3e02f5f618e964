// Windows side of the platform layer: paths with '\', the module's path from
// its own load address, the extension cut as its last four characters,
// directories made with CreateDirectoryA, files written through Win32
// handles with CR LF line ends, and the release at unload from DllMain.
#include "platform/platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cerrno>
#include <cstdio>

namespace platform {

const char kPathSeparator = '\\';
const char PagePath[] = "logs\\index.htm";
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

FileHandle OpenForWriting(const char* path, unsigned mode) {
    DWORD access = GENERIC_WRITE;
    DWORD disposition = (mode & kTruncate) ? CREATE_ALWAYS : OPEN_ALWAYS;
    if (mode & kAppend) {
        // A handle with append access but no write access writes at the
        // file's end only. It cannot empty the file, so a separate open does.
        if (mode & kTruncate) {
            const HANDLE emptied = CreateFileA(path, GENERIC_WRITE, kShareMode, nullptr,
                                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (emptied == INVALID_HANDLE_VALUE) {
                errno = ErrnoFor(GetLastError());
                return kNoFile;
            }
            CloseHandle(emptied);
        }
        access = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
        disposition = OPEN_ALWAYS;
    }
    const HANDLE file =
        CreateFileA(path, access, kShareMode, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        errno = ErrnoFor(GetLastError());
        return kNoFile;
    }
    return reinterpret_cast<FileHandle>(file);
}

int WriteAll(FileHandle file, const char* bytes, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(file), bytes, chunk, &written, nullptr)) {
            errno = ErrnoFor(GetLastError());
            return 0;
        }
        bytes += written;
        size -= written;
    }
    return 1;
}

int WritePieces(FileHandle file, const Piece* pieces, int count) {
    for (int i = 0; i < count; ++i)
        if (!WriteAll(file, pieces[i].bytes, pieces[i].size)) return 0;
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
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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

int RenameOver(const char* from, const char* to) {
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING)) return 1;
    errno = ErrnoFor(GetLastError());
    return 0;
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
