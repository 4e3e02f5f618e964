// The module's own base name, after which the log and the driver are named.
// It sits with the platform, below the trace log, which names its file after
// it.
#pragma once

#include <cstddef>

namespace platform {

// The name of the module file this code was loaded from, without directory
// and extension ("mirror" for .../mirror.so or ...\mirror.dll). Computed on
// the first call; the returned text lives in static storage.
const char* ModuleBaseName();

// Forgets the base name, as an unload does: the next call finds it again.
void ForgetModuleBaseName();

// Where the base name begins in the module file path `path` (of `length`
// bytes), as ModuleBaseName cuts its own; *base_length learns its length.
// A program that loads the module by its path names its files this way.
std::size_t BaseNameIn(const char* path, std::size_t length, std::size_t* base_length);

}  // namespace platform
