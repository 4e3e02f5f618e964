// The driver's state: all that one call leaves behind for the next, in one
// static structure. Each part is touched only by the code that owns it: the
// screen store and the page writer, the module's identity. The trace log
// keeps its own (trace/trace_state.h), and the module's base name its own
// (platform/module_name.h).
// The fuzzer reads it after every call and returns it to its state at load
// before every input.
#pragma once

#include <cstddef>

#include "platform/page_format.h"

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
// DriverName's "<base name> v<version>".
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

// The texts built from the module's base name (platform/module_name.h).
struct IdentityPart {
    char DriverNameText[kDriverNameSize] = {};  // rebuilt by every DriverName call
};

struct DriverState {
    ScreenPart Screen;
    PagePart Page;
    IdentityPart Identity;
};

extern DriverState State;

// Returns the driver to its state at load, as an unload and a fresh load
// would: the trace log's state and the module's base name too. The log, when
// open, is closed, and every field takes its initial value.
void ReturnToLoadState();

}  // namespace driver
