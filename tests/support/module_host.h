// What a test needs from the platform to act as a host, besides loading the
// module (host/driver_module.h): the module's line ends and path separator,
// and what it prints on standard output.
#pragma once

#include <string>

namespace testhost {

// Line end the module's text-mode files store for each "\n".
extern const char kLineEnd[];
// Separator in the paths the driver itself builds ("logs/index.htm").
extern const char kDriverPathSeparator;

// Sends the process's standard output into a file until StopCapture, which
// returns what was printed meanwhile.
void StartStdoutCapture(const std::string& file);
std::string StopStdoutCapture();

}  // namespace testhost
