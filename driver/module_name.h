// The module's own base name, after which the log and the driver are named.
#pragma once

namespace driver {

// The name of the module file this code was loaded from, without directory
// and extension ("mirror" for .../mirror.so or ...\mirror.dll). Computed on
// the first call; the returned text lives in static storage.
const char* ModuleBaseName();

}  // namespace driver
