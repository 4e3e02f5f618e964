// The module's base name, found once per load from the module's own file path.
#include "platform/module_name.h"

#include <cstring>

#include "platform/platform.h"

namespace platform {

namespace {
constexpr std::size_t kModulePathSize = 1024;
constexpr std::size_t kBaseNameSize = 256;

// The module name's own state: found once per load.
struct ModuleNameState {
    char ModulePath[kModulePathSize] = {};  // scratch for the base name's first call only
    char BaseName[kBaseNameSize] = {};      // the base name, once known
    bool BaseNameKnown = false;             // the base name has been found
};

ModuleNameState Name;
}  // namespace

std::size_t BaseNameIn(const char* path, std::size_t length, std::size_t* base_length) {
    std::size_t start = length;
    while (start > 0 && path[start - 1] != kPathSeparator) --start;
    *base_length = BaseNameLength(path + start, length - start);
    return start;
}

const char* ModuleBaseName() {
    if (Name.BaseNameKnown) return Name.BaseName;
    Name.BaseNameKnown = true;

    ModuleFilePath(Name.ModulePath, sizeof Name.ModulePath);
    std::size_t length = 0;
    const std::size_t start = BaseNameIn(Name.ModulePath, std::strlen(Name.ModulePath), &length);
    if (length > kBaseNameSize - 1) length = kBaseNameSize - 1;
    std::memcpy(Name.BaseName, Name.ModulePath + start, length);
    Name.BaseName[length] = '\0';
    return Name.BaseName;
}

void ForgetModuleBaseName() { Name = ModuleNameState{}; }

}  // namespace platform
