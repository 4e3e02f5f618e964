// What a test needs from the platform to act as a host: load a module file,
// look its exports up, and read what the module prints on standard output.
#pragma once

#include <string>

namespace testhost {

// Line end the module's text-mode files store for each "\n".
extern const char kLineEnd[];
// File name extension of a driver module on this platform.
extern const char kModuleExtension[];
// Separator in the paths the driver itself builds ("logs/index.htm").
extern const char kDriverPathSeparator;

void* LoadModule(const std::string& path);  // nullptr on failure
void* FindExport(void* module, const char* name);
void UnloadModule(void* module);
std::string LastLoadError();

// Sends the process's standard output into a file until StopCapture, which
// returns what was printed meanwhile.
void StartStdoutCapture(const std::string& file);
std::string StopStdoutCapture();

}  // namespace testhost
