// The mirrored screen as the six calls see it: the cursor, the text placed
// at it, and the page that mirrors the rows. Rows and columns are 1-based in
// the cursor. The state behind it is in driver/driver_state.h.
#pragma once

#include "platform/page_format.h"

namespace driver {

using page_format::kColumns;
using page_format::kRows;

// Init's part: the start-up picture on the screen, the cursor at 1, 1, and
// the page, which may be written from now on, due to be rewritten.
void StartScreen();

// Moves the cursor; x and y are the low 8 bits of what the host passed.
void MoveCursor(int x, int y);

// Where the next character goes: 1-based column and row, or 0 where the
// cursor stands outside the screen (before Init, after SetPosition got 0).
struct CursorPosition {
    int x;
    int y;
};
CursorPosition Cursor();

// Stores text at the cursor, cell by cell, advancing and wrapping the cursor.
void PlaceText(const char* text);

// Rewrites the page when Init has asked for it or any row differs from its
// shadow. Returns 1 when the page is up to date, 0 when it could not be
// written.
int WritePage();

}  // namespace driver
