// The screen store: the rows the host draws into and the cursor that walks
// them, wrapping from the end of a row to the next and from row 4 to row 1.
#include <cstring>
#include <ctime>

#include "driver/driver_state.h"
#include "driver/screen.h"
#include "platform/platform.h"

namespace driver {

namespace {
constexpr char kStartupBanner[] = "Quendalore Initialising";
constexpr char kStartupClockFormat[] = "%H:%M %d/%m/%y";

// The screen store's part of the driver's state, shared with the page writer.
ScreenPart& Screen = State.Screen;
}  // namespace

void StartScreen() {
    for (Row& row : Screen.ScreenRows) {
        row[0] = ' ';
        row[1] = '\0';  // cells beyond keep what they held
    }
    std::memcpy(Screen.ScreenRows[0], kStartupBanner, sizeof kStartupBanner);

    std::tm local{};
    if (platform::LocalTime(std::time(nullptr), &local))
        std::strftime(Screen.ScreenRows[1], kColumns, kStartupClockFormat, &local);

    Screen.CursorX = 1;
    Screen.CursorY = 1;
    Screen.InitHasRun = true;
    // Init always rewrites the page, even when the page already shows this
    // very picture (a second Init within the same minute).
    Screen.PageCurrent = false;
}

void MoveCursor(int x, int y) {
    Screen.CursorX = x > kColumns ? kColumns : x;
    Screen.CursorY = y > kRows ? kRows : y;
}

CursorPosition Cursor() { return {Screen.CursorX, Screen.CursorY}; }

void PlaceText(const char* text) {
    for (const char* next = text; *next != '\0'; ++next) {
        // Column 0 and row 0 lie outside the screen (the cursor stands there
        // before Init, or after SetPosition got a 0): a character written
        // there goes to column 1 or row 1 and the cursor runs on from it.
        if (Screen.CursorX < 1) Screen.CursorX = 1;
        if (Screen.CursorY < 1) Screen.CursorY = 1;

        Screen.ScreenRows[Screen.CursorY - 1][Screen.CursorX - 1] = *next;
        if (Screen.CursorX < kColumns) {
            ++Screen.CursorX;
        } else {
            Screen.CursorX = 1;
            Screen.CursorY = Screen.CursorY % kRows + 1;  // row 4 runs on to row 1
        }
    }
}

}  // namespace driver
