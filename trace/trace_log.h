// The trace log, a time-stamped line for each step the driver takes, and
// the module's own base name, after which the log and the driver are named.
//
// The log lives in logs/<module base name>.log below the current directory.
// It is opened once per load of the module, by the first call of OpenLog or
// LogLine, and closed when the module is unloaded. Lines are written only
// while tracing is on (SetDebug with a non-zero level), each at the log's
// current end in one write. A line that would take the log past 16 MiB
// begins a fresh log, and the full one becomes logs/<base>.log.1.
#pragma once

namespace trace {

// Tracing level: 0 at load, 1 once Init has run. Returns the level stored.
int SetDebug(int level);

// The name of the module file this code was loaded from, without directory
// and extension ("mirror" for .../mirror.so or ...\mirror.dll). Computed on
// the first call; the returned text lives in static storage.
const char* ModuleBaseName();

// Opens the log on its first call: creates the logs directory, empties
// logs/<base>.log and writes the three banner lines. Later calls do nothing.
void OpenLog();

// Writes "HH:MM:SS dd/mm/yy <label> <text>" and a line end, when tracing is
// on and the log is open. NULL texts are written as empty texts.
void LogLine(const char* label, const char* text);

}  // namespace trace
