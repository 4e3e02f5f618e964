// The module's base name, found once per load from the module's own file path.
#include "driver/module_name.h"

#include <cstring>

#include "driver/driver_state.h"
#include "platform/platform.h"

namespace driver {

const char* ModuleBaseName() {
    IdentityPart& identity = State.Identity;
    if (identity.BaseNameKnown) return identity.BaseName;
    identity.BaseNameKnown = true;

    char* const path = identity.ModulePath;
    platform::ModuleFilePath(path, sizeof identity.ModulePath);
    const std::size_t path_length = std::strlen(path);
    const char* name = std::strrchr(path, platform::kPathSeparator);
    name = name ? name + 1 : path;
    const std::size_t name_length = path_length - static_cast<std::size_t>(name - path);

    std::size_t length = platform::BaseNameLength(name, name_length);
    if (length > kBaseNameSize - 1) length = kBaseNameSize - 1;
    std::memcpy(identity.BaseName, name, length);
    identity.BaseName[length] = '\0';
    return identity.BaseName;
}

}  // namespace driver
