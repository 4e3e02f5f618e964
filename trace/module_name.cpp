// The module's base name, found once per load from the module's own file path.
#include <cstring>

#include "platform/platform.h"
#include "trace/trace_log.h"

namespace trace {

namespace {
constexpr std::size_t kModulePathSize = 1024;
constexpr std::size_t kBaseNameSize = 256;

char ModulePath[kModulePathSize];   // scratch for the first call only
char BaseNameStore[kBaseNameSize];  // the base name, once known
bool BaseNameKnown = false;         // set by the first call
}  // namespace

const char* ModuleBaseName() {
    if (BaseNameKnown) return BaseNameStore;
    BaseNameKnown = true;

    platform::ModuleFilePath(ModulePath, sizeof ModulePath);
    const std::size_t path_length = std::strlen(ModulePath);
    const char* name = std::strrchr(ModulePath, platform::kPathSeparator);
    name = name ? name + 1 : ModulePath;
    const std::size_t name_length = path_length - static_cast<std::size_t>(name - ModulePath);

    std::size_t length = platform::BaseNameLength(name, name_length);
    if (length > kBaseNameSize - 1) length = kBaseNameSize - 1;
    std::memcpy(BaseNameStore, name, length);
    BaseNameStore[length] = '\0';
    return BaseNameStore;
}

}  // namespace trace
