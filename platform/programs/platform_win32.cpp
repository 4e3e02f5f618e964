// Windows side of the programs' platform layer: LoadLibraryA and
// GetProcAddress, the executable found through GetModuleFileNameA, file
// attributes and a read that shares everything, so the driver's rename over
// the page never fails because the view has it open, and that refuses a
// reparse point (a link).
#include <winsock2.h>
#include <ws2tcpip.h>
// the socket headers before windows.h
#include <windows.h>
// windows.h first
#include <bcrypt.h>

#include "platform/programs/platform.h"

namespace host {

const char kModuleFileName[] = "lumivane.dll";
const char kModuleExtension[] = ".dll";

void* LoadModule(const std::string& path, std::string* error) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) {
        char reason[256] = "";
        const DWORD code = GetLastError();
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       reason, sizeof reason, nullptr);
        std::string text = reason;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
            text.pop_back();
        *error = "error " + std::to_string(code) + (text.empty() ? "" : ": " + text);
    }
    return reinterpret_cast<void*>(module);
}

void* FindExport(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void UnloadModule(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }

std::string ExecutableFolder() {
    char self[MAX_PATH] = "";
    const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    if (length == 0 || length >= sizeof self) return "";
    const std::string path(self, length);
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string DefaultModulePath() { return ExecutableFolder() + kModuleFileName; }

namespace {
std::uint64_t Ticks(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}
}  // namespace

bool ReadFileStamp(const std::filesystem::path& path, FileStamp* stamp) {
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return false;
    stamp->size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    // Each new page is a new file renamed into place: its creation time tells it apart.
    stamp->identity = Ticks(info.ftCreationTime);
    stamp->modified = Ticks(info.ftLastWriteTime);
    stamp->changed = 0;
    return true;
}

bool ReadWholeFile(const std::filesystem::path& path, std::string* bytes) {
    // The reparse point itself is opened, not what it points at, and refused.
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool regular =
        GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
        !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
        info.nFileSizeHigh == 0 && info.nFileSizeLow <= kPageFileLimit;
    if (!regular) {
        CloseHandle(file);
        return false;
    }
    // Read one byte past the bound: a file that grew past it since is no page either.
    bytes->resize(kPageFileLimit + 1);
    std::size_t have = 0;
    bool ok = true;
    while (have < bytes->size()) {
        DWORD got = 0;
        if (!ReadFile(file, &(*bytes)[have], static_cast<DWORD>(bytes->size() - have), &got,
                      nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) break;
        have += got;
    }
    CloseHandle(file);
    bytes->resize(have);
    return ok && have <= kPageFileLimit;
}

const bool kReuseListenAddress = false;

// Winsock's sockets are not C run-time descriptors: no limit to raise.
std::size_t RaiseDescriptorLimit() { return 0; }

bool RandomBytes(unsigned char* bytes, std::size_t size) {
    return BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(size),
                           BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

// Windows resolves its own host name to the addresses of every adapter.
std::vector<std::string> LocalAddresses() {
    std::vector<std::string> addresses;
    char host[256] = {};
    addrinfo* list = nullptr;
    if (gethostname(host, sizeof host) != 0 || getaddrinfo(host, nullptr, nullptr, &list) != 0)
        return addresses;
    for (const addrinfo* entry = list; entry; entry = entry->ai_next) {
        char text[INET6_ADDRSTRLEN] = {};
        if (getnameinfo(entry->ai_addr, static_cast<int>(entry->ai_addrlen), text, sizeof text,
                        nullptr, 0, NI_NUMERICHOST) == 0)
            addresses.push_back(text);
    }
    freeaddrinfo(list);
    return addresses;
}

}  // namespace host
