// The screen store: the rows the host draws into and the cursor that walks
// them, wrapping from the end of a row to the next and from row 4 to row 1.
#include <cstring>
#include <ctime>

#include "driver/screen.h"
#include "driver/screen_state.h"
#include "platform/platform.h"

namespace driver {

namespace {
constexpr char kStartupBanner[] = "Quendalore Initialising";
constexpr char kStartupClockFormat[] = "%H:%M %d/%m/%y";
}  // namespace

ScreenState State;

void StartScreen() {
    for (Row& row : State.ScreenRows) {
        row[0] = ' ';
        row[1] = '\0';  // cells beyond keep what they held
    }
    std::memcpy(State.ScreenRows[0], kStartupBanner, sizeof kStartupBanner);

    std::tm local{};
    if (platform::LocalTime(std::time(nullptr), &local))
        std::strftime(State.ScreenRows[1], kColumns, kStartupClockFormat, &local);

    State.CursorX = 1;
    State.CursorY = 1;
    State.Started = true;
    // Init always rewrites the page, even when the page already shows this
    // very picture (a second Init within the same minute).
    State.PageCurrent = false;
}

void MoveCursor(int x, int y) {
    State.CursorX = x > kColumns ? kColumns : x;
    State.CursorY = y > kRows ? kRows : y;
}

CursorPosition Cursor() { return {State.CursorX, State.CursorY}; }

void PlaceText(const char* text) {
    for (const char* next = text; *next != '\0'; ++next) {
        // Column 0 and row 0 lie outside the screen (the cursor stands there
        // before Init, or after SetPosition got a 0): a character written
        // there goes to column 1 or row 1 and the cursor runs on from it.
        if (State.CursorX < 1) State.CursorX = 1;
        if (State.CursorY < 1) State.CursorY = 1;

        State.ScreenRows[State.CursorY - 1][State.CursorX - 1] = *next;
        if (State.CursorX < kColumns) {
            ++State.CursorX;
        } else {
            State.CursorX = 1;
            State.CursorY = State.CursorY % kRows + 1;  // row 4 runs on to row 1
        }
    }
}

}  // namespace driver
