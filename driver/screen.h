// The mirrored screen: its rows, the rows the page last showed, the cursor,
// and the page writer. Rows and columns are 1-based in the cursor and 0-based
// in the arrays.
#pragma once

#include <cstddef>

namespace driver {

constexpr int kRows = 4;
constexpr int kColumns = 80;
constexpr std::size_t kPagePathSize = 256;

// One cell past column 80 always holds NUL, so a row of 80 characters is
// still a C string; Write never stores there.
using Row = char[kColumns + 1];

extern Row ScreenRows[kRows];      // the picture the host believes it shows
extern Row ShadowRows[kRows];      // the rows as the page last showed them
extern int CursorX;                // 1..80 once Init has run, 0 before
extern int CursorY;                // 1..4 once Init has run, 0 before
extern char PagePath[kPagePathSize];  // empty until Init sets it

// Puts the start-up picture on the screen, the title into the shadow of row 1
// (so the next WritePage always rewrites the page) and the cursor at 1, 1.
void ShowStartupPicture(const char* title);

// Moves the cursor; x and y are the low 8 bits of what the host passed.
void MoveCursor(int x, int y);

// Stores text at the cursor, cell by cell, advancing and wrapping the cursor.
void PlaceText(const char* text);

// Rewrites the page when any row differs from its shadow. Returns 1 when the
// page is up to date, 0 when it could not be written.
int WritePage();

}  // namespace driver
