// The driver's state: all that one call leaves behind for the next, in one
// static structure. Each part is touched only by the code that owns it: the
// screen store and the page writer, the trace log, the module's identity.
// The fuzzer reads it after every call and returns it to its state at load
// before every input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

#include "driver/page_format.h"
#include "platform/platform.h"

namespace driver {

using page_format::kColumns;
using page_format::kRows;

// One cell past column 80 always holds NUL, so a row of 80 characters is
// still a C string; Write never stores there.
using Row = char[kColumns + 1];

constexpr std::size_t kTempPathSize = 64;  // the page's path and ".<process id>.tmp"
// A whole page, every "\n" stored as a two-byte line end: a row of 80 line
// feeds stores 160 bytes.
constexpr std::size_t kPageBufferSize =
    2 * (sizeof page_format::kHead + sizeof page_format::kTail) +
    kRows * (2 * kColumns + 2 * sizeof page_format::kRowEnd);
// The trace log's: its paths, the stamp and the line it puts together.
constexpr std::size_t kLogPathSize = 256;
constexpr char kFullLogSuffix[] = ".1";
constexpr std::size_t kStampSize = 20;
constexpr std::size_t kLineSize = 4096;
// The module's identity: its file's path, its base name and DriverName's
// "<base name> v<version>".
constexpr std::size_t kModulePathSize = 1024;
constexpr std::size_t kBaseNameSize = 256;
constexpr std::size_t kDriverNameSize = 96;

// The screen store's and the page writer's: the picture and the page's view
// of it.
struct ScreenPart {
    // The picture the host believes it shows. A row's text runs to its first
    // NUL and is never empty: Write stores no NUL, and only Init shortens a
    // row. The cells after the NUL keep what they last held.
    Row ScreenRows[kRows] = {" ", " ", " ", " "};
    // The rows as the page last showed them (" " each until a page is written).
    Row ShadowRows[kRows] = {" ", " ", " ", " "};
    // Where the next character goes: column 1..80 and row 1..4, or 0 where
    // the cursor stands outside the screen (before Init, after SetPosition
    // got a 0).
    int CursorX = 0;
    int CursorY = 0;
    // Cleared by Init, set by every page written: while it is clear, the page
    // is rewritten whatever the rows hold. While it is set, the page is behind
    // the screen just where a row differs from its shadow.
    bool PageCurrent = true;
    // Init has run. Until then no page is written: the host has not started
    // the display, and a Write that changes a row answers 0.
    bool InitHasRun = false;
};

// The page writer's buffers, rebuilt for every page.
struct PagePart {
    char TempPagePath[kTempPathSize] = {};  // the page's path, ".<process id>.tmp"
    char PageBuffer[kPageBufferSize] = {};  // the page being put together
    std::size_t PageLength = 0;             // bytes of PageBuffer in use
};

// The trace log's.
struct TracePart {
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

// The module's identity: its base name, found once per load, and the texts
// built from it.
struct IdentityPart {
    char ModulePath[kModulePathSize] = {};      // scratch for the base name's first call only
    char BaseName[kBaseNameSize] = {};          // the base name, once known
    bool BaseNameKnown = false;                 // the base name has been found
    char DriverNameText[kDriverNameSize] = {};  // rebuilt by every DriverName call
};

struct DriverState {
    ScreenPart Screen;
    PagePart Page;
    TracePart Trace;
    IdentityPart Identity;
};

extern DriverState State;

// Returns the driver to its state at load, as an unload and a fresh load
// would: the log, when open, is closed, and every field takes its initial
// value.
void ReturnToLoadState();

}  // namespace driver
