// What a test needs from the platform to act as a host, besides loading the
// module (host/driver_module.h): the module's line ends and path separator,
// what it prints on standard output, and programs run as child processes.
// The tests' one platform pair: module_host_posix.cpp, module_host_win32.cpp.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testhost {

// Line end the module's text-mode files store for each "\n".
extern const char kLineEnd[];
// Separator in the paths the driver itself builds ("logs/index.htm").
extern const char kDriverPathSeparator;

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
