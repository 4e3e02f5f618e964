// POSIX side of the platform layer: paths with '/', the module's path from
// dladdr, the extension cut at the last dot, directories made with mkdir.
#include "diag/platform.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

namespace platform {

const char kPathSeparator = '/';
const char kPagePath[] = "logs/index.htm";

namespace {
char self_marker;  // any static of this module: dladdr finds the file holding it
}

int ModuleFilePath(char* path, std::size_t size) {
    Dl_info info{};
    path[0] = '\0';
    if (dladdr(&self_marker, &info) == 0 || info.dli_fname == nullptr) return 0;
    std::strncat(path, info.dli_fname, size - 1);
    return 1;
}

// "mirror.so" -> "mirror"; a name without a dot is kept whole.
std::size_t BaseNameLength(const char* file_name, std::size_t name_length) {
    for (std::size_t i = name_length; i > 0; --i) {
        if (file_name[i - 1] == '.') return i - 1;
    }
    return name_length;
}

int LocalTime(std::time_t when, std::tm* local) { return localtime_r(&when, local) ? 1 : 0; }

void MakeDirectory(const char* directory) {
    mkdir(directory, 0777);  // EEXIST is the usual case and is fine
}

int RenameOver(const char* from, const char* to) { return std::rename(from, to) == 0 ? 1 : 0; }

}  // namespace platform
