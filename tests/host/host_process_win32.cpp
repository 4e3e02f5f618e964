// Windows side of RunProcess: CreateProcessA with the standard handles on
// the files, in the given directory.
#include <windows.h>

#include "tests/host/host_process.h"

namespace testhost {

namespace {

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
