// Windows side of the view's platform layer: file attributes and a read that
// shares everything, so the driver's rename over the page never fails
// because the view has it open.
#include <windows.h>

#include "view/platform.h"

namespace view::platform {

namespace {
std::uint64_t Ticks(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}
}  // namespace

bool ReadFileStamp(const std::filesystem::path& path, FileStamp* stamp) {
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    stamp->size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    // Each new page is a new file renamed into place: its creation time tells it apart.
    stamp->identity = Ticks(info.ftCreationTime);
    stamp->modified = Ticks(info.ftLastWriteTime);
    stamp->changed = 0;
    return true;
}

bool ReadWholeFile(const std::filesystem::path& path, std::string* bytes) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bytes->clear();
    char chunk[4096];
    bool ok = true;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, chunk, sizeof chunk, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) break;
        bytes->append(chunk, got);
    }
    CloseHandle(file);
    return ok;
}

const bool kReuseListenAddress = false;

// Winsock's sockets are not C run-time descriptors: no limit to raise.
std::size_t RaiseDescriptorLimit() { return 0; }

}  // namespace view::platform
