// The driver's state: all that one call leaves behind for the next, in one
// place. The screen store and the page writer are the only code that touches
// it; the fuzzer looks at it after every call and resets it between inputs.
#pragma once

#include "driver/screen.h"

namespace driver {

// One cell past column 80 always holds NUL, so a row of 80 characters is
// still a C string; Write never stores there.
using Row = char[kColumns + 1];

struct ScreenState {
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
    // Init has run: from then on the page has its path. Before, it has none,
    // and a page cannot be written.
    bool Started = false;
};

extern ScreenState State;

}  // namespace driver
