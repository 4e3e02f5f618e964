// What a test needs from the platform to act as a host, besides loading the
// module (host/driver_module.h): the module's line ends and path separator,
// the names it takes from its file (module_names.h), files' identities, what
// it prints on standard output, and programs run as child processes. The
// tests' platform layer: module_host_posix.cpp, module_host_win32.cpp. Each
// OS's own rows for shared tests are in tests/os_cases_*.cpp.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testhost {

// Line end the module's text-mode files store for each "\n".
extern const char kLineEnd[];
// Separator in the paths the driver itself builds ("logs/index.htm").
extern const char kDriverPathSeparator;

// The file system's identity of the file named `path` (its inode, its file
// index): it changes when another file takes the name, not when the file is
// written. 0 when there is no such file.
std::uint64_t FileIdentity(const std::filesystem::path& path);

// Sends the process's standard output into a file until StopCapture, which
// returns what was printed meanwhile.
void StartStdoutCapture(const std::string& file);
std::string StopStdoutCapture();

// Starts `program` with `arguments` in `directory`, standard input read from
// the file `input` and standard output and error written to the files `output`
// and `errors`; waits for it and returns its exit status (-1 when it could not
// be started or did not exit normally).
int RunProcess(const std::string& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& directory, const std::filesystem::path& input,
               const std::filesystem::path& output, const std::filesystem::path& errors);

}  // namespace testhost
