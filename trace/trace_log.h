// The trace log, a time-stamped line for each step the driver takes, named
// after the module's base name.
//
// The log lives in logs/<module base name>.log below the current directory.
// It is opened once per load of the module, by the first call of OpenLog or
// LogLine, and closed when the module is unloaded. Lines are written only
// while the debug level is non-zero (SetDebug), each at the log's current
// end in one write. A line that would take the log past 16 MiB begins a
// fresh log, and the full one becomes logs/<base>.log.1.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/page_format.h"
#include "trace/trace_state.h"

namespace trace {

// The log's file name: the module's base name and this extension.
constexpr char kLogExtension[] = ".log";
// The most of the base name the log's path keeps: a longer one is cut so that
// the extension always survives.
constexpr std::size_t kLogBaseNameRoom =
    kLogPathSize - 1 - (sizeof page_format::kFolder - 1) - 1 - (sizeof kLogExtension - 1);

// Stores the debug level and returns it. It is 0 at load, and Init sets it
// to 1; lines are written only while it is non-zero, whatever its value.
std::int32_t SetDebug(std::int32_t level);

// Opens the log on its first call: creates the logs directory, empties
// logs/<base>.log and writes the three banner lines. Later calls do nothing.
void OpenLog();

// Closes the log when it is open; the unload calls it.
void CloseLog();

// Writes "HH:MM:SS dd/mm/yy <label> <text>" and a line end, when the debug
// level is non-zero and the log is open. NULL texts are written as empty
// texts.
void LogLine(const char* label, const char* text);

// LogLine of "x=<x>, y=<y>": a cursor position, as SetPosition and Write
// trace it.
void LogPosition(const char* label, int x, int y);

// LogLine of "error <error>": the run-time library's error number of a
// failed step.
void LogError(const char* label, int error);

}  // namespace trace
