// Windows side of the tests' platform layer: the module's line ends and
// path separator, its names' Windows column, file indexes, standard output
// caught in a file, and a child process run with CreateProcessA.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdio>

#include "tests/support/files.h"
#include "tests/support/module_host.h"
#include "tests/support/module_names.h"

namespace testhost {

const char kLineEnd[] = "\r\n";
const char kDriverPathSeparator = '\\';

const BaseName& OnThisOs(const ModuleFileName& name) { return name.windows; }

std::uint64_t FileIdentity(const std::filesystem::path& path) {
    const HANDLE file = CreateFileA(path.string().c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION info{};
    const BOOL known = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    return known ? (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow : 0;
}

namespace {
int saved_stdout = -1;
std::string capture_file;

// One argument quoted as the C run-time's command-line parser reads it back:
// backslashes are literal except before a quote.
std::string Quoted(const std::string& argument) {
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

HANDLE Inheritable(const std::filesystem::path& file, bool write) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileA(file.string().c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

// The driver and this program share one C run-time (msvcrt.dll), so moving
// its stdout descriptor catches what the driver prints too.
void StartStdoutCapture(const std::string& file) {
    std::fflush(stdout);
    capture_file = file;
    saved_stdout = _dup(_fileno(stdout));
    const int fd =
        _open(file.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
    _dup2(fd, _fileno(stdout));
    _close(fd);
}

std::string StopStdoutCapture() {
    std::fflush(stdout);
    _dup2(saved_stdout, _fileno(stdout));
    _close(saved_stdout);
    return ReadFile(capture_file);
}

// The standard handles on the files, in the given directory.
int RunProcess(const std::string& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& directory, const std::filesystem::path& input,
               const std::filesystem::path& output, const std::filesystem::path& errors) {
    std::string command_line = Quoted(program);
    for (const std::string& argument : arguments) command_line += " " + Quoted(argument);

    HANDLE in = Inheritable(input, false);
    HANDLE out = Inheritable(output, true);
    HANDLE err = Inheritable(errors, true);
    int status = -1;
    if (in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in;
        startup.hStdOutput = out;
        startup.hStdError = err;
        PROCESS_INFORMATION process{};
        if (CreateProcessA(program.c_str(), &command_line[0], nullptr, nullptr, TRUE, 0, nullptr,
                           directory.string().c_str(), &startup, &process)) {
            WaitForSingleObject(process.hProcess, INFINITE);
            DWORD code = 0;
            if (GetExitCodeProcess(process.hProcess, &code)) status = static_cast<int>(code);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }
    for (HANDLE handle : {in, out, err})
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    return status;
}

}  // namespace testhost
