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
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/programs/platform.h"

namespace host {

const char kModuleFileName[] = "lumivane.dll";
const char kModuleExtension[] = ".dll";

namespace {
// The system's words for an error code, without the line end.
std::string SystemMessage(DWORD code) {
    char reason[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   reason, sizeof reason, nullptr);
    std::string text = reason;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}
}  // namespace

void* LoadModule(const std::string& path, std::string* error) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) {
        const DWORD code = GetLastError();
        const std::string text = SystemMessage(code);
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

bool IsLink(const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::string WhyNotReplaceable(const std::filesystem::path& target) {
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? ""
                                                                            : SystemMessage(code);
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "it is a directory";
    if (attributes & FILE_ATTRIBUTE_DEVICE) return "it is a device";
    if (attributes & FILE_ATTRIBUTE_READONLY) return "it is read-only";
    return "";
}

bool ReplaceWithNewFile(const std::filesystem::path& target, std::string_view bytes,
                        std::string* why) {
    unsigned char random[8];
    if (!RandomBytes(random, sizeof random)) {
        *why = "no random name from the system";
        return false;
    }
    std::wstring suffix = L".";
    for (const unsigned char byte : random) suffix += static_cast<wchar_t>(L'a' + byte % 26);
    const std::filesystem::path name =
        target.parent_path() / (L"." + target.filename().wstring() + suffix);
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *why = SystemMessage(GetLastError());
        return false;
    }
    bool ok = true;
    while (ok && !bytes.empty()) {
        DWORD wrote = 0;
        ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
             wrote > 0;
        bytes.remove_prefix(wrote);
    }
    DWORD failure = ok ? 0 : GetLastError();
    if (!CloseHandle(file) && ok) {
        ok = false;
        failure = GetLastError();
    }
    if (ok && !MoveFileExW(name.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
        failure = GetLastError();
    }
    if (!ok) {
        DeleteFileW(name.c_str());
        *why = SystemMessage(failure);
    }
    return ok;
}

bool WriteStandardOutput(std::string_view bytes) {
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
    return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
           std::fflush(stdout) == 0;
}

void IgnoreBrokenPipe() {}

// The system's heap gives large blocks back as they are freed.
void ReturnLargeBlocksWhenFreed() {}

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
