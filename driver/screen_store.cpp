// The screen store: the rows the host draws into and the cursor that walks them.
#include "driver/screen.h"

#include "diag/platform.h"

#include <cstring>
#include <ctime>

namespace driver {

namespace {
constexpr char kStartupBanner[] = "Quendalore Initialising";
constexpr char kStartupClockFormat[] = "%H:%M %d/%m/%y";
}  // namespace

Row ScreenRows[kRows] = {" ", " ", " ", " "};
Row ShadowRows[kRows] = {" ", " ", " ", " "};
int CursorX = 0;
int CursorY = 0;
char PagePath[kPagePathSize] = "";

void ShowStartupPicture(const char* title) {
    for (Row& row : ScreenRows) {
        row[0] = ' ';
        row[1] = '\0';  // cells beyond keep what they held
    }
    std::memcpy(ScreenRows[0], kStartupBanner, sizeof kStartupBanner);

    std::tm local{};
    if (platform::LocalTime(std::time(nullptr), &local))
        std::strftime(ScreenRows[1], kColumns, kStartupClockFormat, &local);

    // The shadow of row 1 holds the title, which row 1 never shows: the page
    // is therefore always rewritten by Init.
    const std::size_t title_length = strnlen(title, kColumns);
    std::memcpy(ShadowRows[0], title, title_length);
    ShadowRows[0][title_length] = '\0';

    CursorX = 1;
    CursorY = 1;
}

void MoveCursor(int x, int y) {
    CursorX = x > kColumns ? kColumns : x;
    CursorY = y > kRows ? kRows : y;
}

void PlaceText(const char* text) {
    for (const char* next = text; *next != '\0'; ++next) {
        // Column 0 and row 0 lie outside the screen (the cursor stands there
        // before Init, or after SetPosition got a 0): a character written
        // there goes to column 1 or row 1 and the cursor runs on from it.
        if (CursorX < 1) CursorX = 1;
        if (CursorY < 1) CursorY = 1;

        ScreenRows[CursorY - 1][CursorX - 1] = *next;
        if (CursorX < kColumns) {
            ++CursorX;
        } else {
            CursorX = 1;
            CursorY = CursorY % kRows + 1;  // row 4 runs on to row 1
        }
    }
}

}  // namespace driver
