// Module file names and what each OS makes of them: the driver is named after
// its module file's base name, the file name with its extension cut off, and
// logs to logs/<base>.log. POSIX cuts at the last dot, Windows cuts the last
// four characters whatever they are.
#pragma once

#include <string>
#include <vector>

namespace testhost {

// What one OS makes of a module file name.
struct BaseName {
    std::string base;  // what is left once the extension is cut off
    bool loads;        // whether a module file of that name can be loaded there
};

struct ModuleFileName {
    const char* name;  // the case's name
    std::string file;  // the module copy's file name
    BaseName posix;
    BaseName windows;
};

// Every case, whatever OS can load it.
const std::vector<ModuleFileName>& ModuleFileNames();

// The cases this OS can load.
std::vector<ModuleFileName> LoadableModuleFileNames();

// This OS's column of a case (module_host_posix.cpp, module_host_win32.cpp).
const BaseName& OnThisOs(const ModuleFileName& name);

// The driver's name keeps the first 84 characters of the base name, so that
// " v" and the version still fit its 96 bytes.
std::string DriverNameFor(const std::string& base);

// The log's file name is cut so that logs/<name>.log fits 255 characters.
std::string LogNameFor(const std::string& base);

}  // namespace testhost
