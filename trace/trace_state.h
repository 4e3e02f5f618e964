// The trace log's state: all that one line leaves behind for the next, in one
// static structure that only the trace log touches. The driver's way back to
// its state at load takes this one back too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

#include "platform/platform.h"

namespace trace {

constexpr std::size_t kLogPathSize = 256;
constexpr char kFullLogSuffix[] = ".1";
constexpr std::size_t kStampSize = 20;
constexpr std::size_t kLineSize = 4096;

struct TraceState {
    std::int32_t DebugLevel = 0;                       // lines are written only while non-zero
    platform::FileHandle LogFile = platform::kNoFile;  // the open log, or none
    bool LogOpenTried = false;                         // OpenLog has run its first call
    char LogPath[kLogPathSize] = {};  // logs/<base>.log, built on the first OpenLog
    char FullLogPath[kLogPathSize + sizeof kFullLogSuffix] = {};  // logs/<base>.log.1
    std::time_t StampSecond = 0;                                  // the second Stamp shows
    bool StampKnown = false;       // Stamp has been formatted at least once
    char Stamp[kStampSize] = {};   // "HH:MM:SS dd/mm/yy" of StampSecond, or ""
    char Line[kLineSize] = {};     // the line being put together
    long long LogSize = 0;         // the log's size when last asked, plus the lines written since
    long long UncheckedBytes = 0;  // bytes written since the log's size was last asked
    bool ReopenWanted = false;     // the log could not be opened again at its bound: tried per line
    bool LineOpen = false;         // a line reached the log only in part: the next ends it first
    bool LineFailed = false;       // a write of the current line failed: its rest is dropped
    std::size_t LineBytesOut = 0;  // bytes of the current line that reached the log
};

extern TraceState State;

// Returns the trace log to its state at load, as an unload and a fresh load
// would: the log, when open, is closed, and every field takes its initial
// value.
void ReturnToLoadState();

}  // namespace trace
