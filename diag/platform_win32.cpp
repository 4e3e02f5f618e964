// Windows side of the platform layer: paths with '\', the module's path from
// its own load address, the extension cut as its last four characters,
// directories made with CreateDirectoryA.
#include "diag/platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cerrno>

namespace platform {

const char kPathSeparator = '\\';
const char kPagePath[] = "logs\\index.htm";

namespace {
constexpr std::size_t kExtensionLength = 4;  // ".dll"

char self_marker;  // any static of this module: its region's allocation base is the module

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

int RenameOver(const char* from, const char* to) {
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING)) return 1;
    errno = ErrnoFor(GetLastError());
    return 0;
}

}  // namespace platform
