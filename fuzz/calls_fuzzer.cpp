// Coverage-guided fuzzing of the six driver calls. Each input is read as a
// sequence of calls, made in a scratch directory against the driver's own
// sources compiled into this program, so that the screen and the cursor can
// be checked after every call:
//   - the cursor is on the screen (1..80, 1..4), or at 0 where that is
//     documented: before Init, or after SetPosition got a low byte of 0;
//   - SetPosition stores the low bytes, held at 80/4;
//   - Write stores each character in the cell the cursor stood on and
//     nowhere else, and the cell past column 80 stays NUL;
//   - Init and Write rewrite the page exactly when it is due: after Init, or
//     when a row's text differs from what the page last showed; before Init
//     no page is written, and a Write that found the page due answers 0;
//   - a page, whenever a call wrote one, is exactly the page of the four row
//     texts, and after a successful call the page is current;
//   - the identity queries return their fixed texts.
// Any broken check aborts, and libFuzzer keeps the input that did it.
//
// Input format, one call after another until the input runs out:
//   op % 8 == 0  Init; the next byte's low bit chooses a NULL flag
//            1  SetPosition; two 32-bit little-endian arguments follow
//            2  Write; a length byte n and n bytes of text follow
//            3  Write(NULL)
//            4  DriverName      5  Usage      6  DefaultParameters
//            7  long Write; a 16-bit length n and a length byte m follow,
//               then m bytes repeated to make n bytes of text
// Missing bytes at the end of the input read as 0.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "driver/display_driver.h"
#include "driver/driver_state.h"
#include "driver/screen.h"
#include "platform/module_name.h"
#include "tests/support/page_oracle.h"

namespace {

constexpr int kCells = driver::kRows * driver::kColumns;
// Init's start-up picture: the clock on row 2 ("HH:MM dd/mm/yy"), and how many
// bytes of each row it writes (each row's text and its NUL).
constexpr std::size_t kClockLength = 14;
constexpr std::size_t kInitWritten[driver::kRows] = {24, kClockLength + 1, 2, 2};
// DriverName's text fills at most this many bytes, its NUL included: the base
// name is cut so that " v<version>" always fits.
constexpr std::size_t kDriverNameSize = 96;
constexpr std::size_t kNameBaseLimit = kDriverNameSize - sizeof(" v" LUMIVANE_VERSION_TEXT);
// A long Write's length is 16 bits.
constexpr std::size_t kLongestText = 65535;
constexpr char kTitle[] = "Lumivane v0.1";
constexpr char kPagePath[] = "logs/index.htm";

int HomeDirectory = -1;     // where the fuzzer was started: corpus and artifacts
int ScratchDirectory = -1;  // where the driver runs
std::string ScratchPath;
std::string LogPath;       // the trace log, relative to the scratch directory
std::string TempPagePath;  // the page writer's temporary file: this process's own

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "calls_fuzzer: %s\n", what);
    std::abort();
}

void Check(bool holds, const char* what) {
    if (!holds) Fail(what);
}

// The bytes of the input, read front to back; 0 once it runs out.
struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;

    bool More() const { return at < size; }
    std::uint8_t Byte() { return at < size ? data[at++] : 0; }
    std::uint32_t Word() {
        std::uint32_t value = 0;
        for (int shift = 0; shift < 32; shift += 8) value |= std::uint32_t{Byte()} << shift;
        return value;
    }
};

// What the harness expects of the screen, kept beside the driver's own.
struct Model {
    char cells[driver::kRows][driver::kColumns];
    bool initialised;                      // Init has run during this input
    std::string page_rows[driver::kRows];  // the row texts the page last showed
    bool page_due;                         // Init has run since the page was last written
    bool x_may_be_zero;                    // the cursor's column may stand at 0
    bool y_may_be_zero;
};

Model Expected;

// The driver's screen, which the checks only read.
const driver::ScreenPart& Screen = driver::State.Screen;

// The module as it is at load, every input as if in a fresh load: every row
// " ", the cursor at 0, 0, Init not yet run, tracing off and the log closed.
void ResetDriver() {
    driver::ReturnToLoadState();
    for (int row = 0; row < driver::kRows; ++row)
        std::memcpy(Expected.cells[row], Screen.ScreenRows[row], driver::kColumns);
    Expected.initialised = false;
    for (std::string& row : Expected.page_rows) row = " ";
    Expected.page_due = false;
    Expected.x_may_be_zero = true;
    Expected.y_may_be_zero = true;
}

std::string ReadFile(const char* path, bool* exists) {
    std::string bytes;
    std::FILE* file = std::fopen(path, "rb");
    *exists = file != nullptr;
    if (file == nullptr) return bytes;
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
    std::fclose(file);
    return bytes;
}

// The page the tests expect for the rows on the screen (this runs natively:
// LF line ends).
std::string PageOfRows() {
    return testhost::OraclePage(
        std::vector<std::string>(std::begin(Screen.ScreenRows), std::end(Screen.ScreenRows)), "\n");
}

enum class PageUse { kNone, kMayWrite };

// The page as the driver just left it. The page is removed after every call,
// so a page found here was written by the call just made.
void CheckPage(PageUse use, bool call_succeeded) {
    bool written = false;
    const std::string page = ReadFile(kPagePath, &written);
    Check(!written || use == PageUse::kMayWrite, "a call that never writes the page wrote it");
    if (use == PageUse::kMayWrite) {
        bool due = Expected.page_due;
        for (int row = 0; row < driver::kRows; ++row)
            due = due || Expected.page_rows[row] != Screen.ScreenRows[row];
        // Once Init has run, the scratch directory takes the page.
        Check(written == (due && Expected.initialised),
              written ? "the page was rewritten though it was not due"
                      : "the page was due but not rewritten");
        Check(call_succeeded == (written || !due), "the call's answer is not the page's state");
    }
    if (written) {
        Check(page == PageOfRows(), "the page differs from the four row texts");
        for (int row = 0; row < driver::kRows; ++row) {
            Check(std::strcmp(Screen.ScreenRows[row], Screen.ShadowRows[row]) == 0,
                  "the shadow rows differ from the rows just written");
            Expected.page_rows[row] = Screen.ScreenRows[row];
        }
        Expected.page_due = false;
    }
    Check(access(TempPagePath.c_str(), F_OK) != 0, "a temporary page file was left behind");
    if (call_succeeded) {
        Check(Screen.PageCurrent, "the call succeeded but the page is still due");
        for (int row = 0; row < driver::kRows; ++row)
            Check(std::strcmp(Screen.ScreenRows[row], Screen.ShadowRows[row]) == 0,
                  "the call succeeded but the page is behind the screen");
    }
    std::remove(kPagePath);
}

void CheckScreen() {
    for (int row = 0; row < driver::kRows; ++row) {
        Check(Screen.ScreenRows[row][driver::kColumns] == '\0',
              "the cell past column 80 is not NUL");
        Check(Screen.ShadowRows[row][driver::kColumns] == '\0',
              "the shadow cell past column 80 is not NUL");
        Check(std::memcmp(Screen.ScreenRows[row], Expected.cells[row], driver::kColumns) == 0,
              "a cell holds something the calls did not put there");
    }
    const int x = Screen.CursorX;
    const int y = Screen.CursorY;
    Check((x >= 1 && x <= driver::kColumns) || (x == 0 && Expected.x_may_be_zero),
          "the cursor's column is off the screen");
    Check((y >= 1 && y <= driver::kRows) || (y == 0 && Expected.y_may_be_zero),
          "the cursor's row is off the screen");
}

void CallInit(Input& input) {
    const bool null_flag = input.Byte() & 1;
    unsigned char flag = 7;
    const char* result =
        DISPLAYDLL_Init(driver::kColumns, driver::kRows, 0, null_flag ? nullptr : &flag);
    // The scratch directory always takes the page.
    Check(result != nullptr && std::strcmp(result, kTitle) == 0, "Init did not return its title");
    Check(null_flag || flag == 1, "Init did not set its flag to 1");
    Check(Screen.InitHasRun, "Init did not let the page be written");
    Check(std::strcmp(Screen.ScreenRows[0], "Quendalore Initialising") == 0,
          "row 1 does not show the start-up banner");
    Check(std::strlen(Screen.ScreenRows[1]) == kClockLength,
          "row 2 does not show the start-up clock");
    Check(
        std::strcmp(Screen.ScreenRows[2], " ") == 0 && std::strcmp(Screen.ScreenRows[3], " ") == 0,
        "rows 3 and 4 are not blank");
    Check(Screen.CursorX == 1 && Screen.CursorY == 1, "Init did not put the cursor at 1, 1");
    // Only the start of each row is Init's to write; the cells beyond keep
    // what they held.
    const std::size_t(&written)[driver::kRows] = kInitWritten;
    for (int row = 0; row < driver::kRows; ++row) {
        Check(std::memcmp(Screen.ScreenRows[row] + written[row], Expected.cells[row] + written[row],
                          driver::kColumns - written[row]) == 0,
              "Init changed cells beyond its start-up picture");
        std::memcpy(Expected.cells[row], Screen.ScreenRows[row], written[row]);
    }
    Expected.initialised = true;
    Expected.page_due = true;
    Expected.x_may_be_zero = false;
    Expected.y_may_be_zero = false;
    CheckPage(PageUse::kMayWrite, true);
}

void CallSetPosition(Input& input) {
    const auto x = static_cast<std::int32_t>(input.Word());
    const auto y = static_cast<std::int32_t>(input.Word());
    DISPLAYDLL_SetPosition(x, y);
    const int low_x = x & 0xFF;
    const int low_y = y & 0xFF;
    Check(Screen.CursorX == (low_x > driver::kColumns ? driver::kColumns : low_x),
          "SetPosition stored another column");
    Check(Screen.CursorY == (low_y > driver::kRows ? driver::kRows : low_y),
          "SetPosition stored another row");
    Expected.x_may_be_zero = low_x == 0;
    Expected.y_may_be_zero = low_y == 0;
    CheckPage(PageUse::kNone, false);
}

void CallWrite(const char* text) {
    const std::size_t length = text ? std::strlen(text) : 0;
    const int start_x = Screen.CursorX < 1 ? 1 : Screen.CursorX;
    const int start_y = Screen.CursorY < 1 ? 1 : Screen.CursorY;
    const int start_cell = (start_y - 1) * driver::kColumns + (start_x - 1);

    const int status = DISPLAYDLL_Write(text);

    // Counted in cells from the top left, character i lands on cell
    // start + i, modulo the screen; the last character on a cell stays.
    const std::size_t from = length > kCells ? length - kCells : 0;
    for (std::size_t i = from; i < length; ++i) {
        const std::size_t cell = (start_cell + i) % kCells;
        Expected.cells[cell / driver::kColumns][cell % driver::kColumns] = text[i];
    }
    if (length > 0) {
        const std::size_t next = (start_cell + length) % kCells;
        Check(Screen.CursorX == static_cast<int>(next % driver::kColumns) + 1 &&
                  Screen.CursorY == static_cast<int>(next / driver::kColumns) + 1,
              "Write left the cursor elsewhere than after its text");
        Expected.x_may_be_zero = false;
        Expected.y_may_be_zero = false;
    }
    Check(status == 0 || status == 1, "Write returned neither 1 nor 0");
    // Once Init has run, the scratch directory takes the page.
    if (Expected.initialised) Check(status == 1, "Write failed after Init");
    CheckPage(PageUse::kMayWrite, status == 1);
}

void CallText(const char* (*query)(), const std::string& expected) {
    const char* result = query();
    Check(result != nullptr && expected == result, "an identity query returned another text");
    CheckPage(PageUse::kNone, false);
}

void RunCall(Input& input) {
    static char text[kLongestText + 1];  // the longest text an input can ask for
    switch (input.Byte() % 8) {
        case 0:
            CallInit(input);
            break;
        case 1:
            CallSetPosition(input);
            break;
        case 2: {
            const std::size_t length = input.Byte();
            for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>(input.Byte());
            text[length] = '\0';
            CallWrite(text);
            break;
        }
        case 3:
            CallWrite(nullptr);
            break;
        case 4: {
            std::string name = std::string(platform::ModuleBaseName()).substr(0, kNameBaseLimit) +
                               " v" LUMIVANE_VERSION_TEXT;
            CallText(DISPLAYDLL_DriverName, name);
            break;
        }
        case 5:
            CallText(DISPLAYDLL_Usage, "my_plugin usage");
            break;
        case 6:
            CallText(DISPLAYDLL_DefaultParameters, "default");
            break;
        case 7: {
            std::size_t length = input.Byte();
            length |= std::size_t{input.Byte()} << 8;
            const std::size_t chunk = input.Byte();
            std::size_t filled = 0;
            for (; filled < chunk && filled < length; ++filled)
                text[filled] = static_cast<char>(input.Byte());
            for (std::size_t i = filled; filled > 0 && i < length; ++i) text[i] = text[i % filled];
            text[filled > 0 ? length : 0] = '\0';
            CallWrite(text);
            break;
        }
    }
    CheckScreen();
}

void RemoveScratch() {
    if (ScratchPath.empty()) return;
    const std::string logs = ScratchPath + "/logs";
    std::remove((logs + "/index.htm").c_str());
    std::remove(TempPagePath.c_str());
    std::remove((ScratchPath + "/" + LogPath).c_str());
    std::remove((ScratchPath + "/" + LogPath + ".1").c_str());
    rmdir(logs.c_str());
    rmdir(ScratchPath.c_str());
}

void Enter(int directory) {
    if (fchdir(directory) != 0) Fail("cannot change directory");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    HomeDirectory = open(".", O_RDONLY | O_DIRECTORY);
    const char* temp = std::getenv("TMPDIR");
    std::string pattern = std::string(temp && *temp ? temp : "/tmp") + "/lumivane-fuzz-XXXXXX";
    if (HomeDirectory < 0 || mkdtemp(pattern.data()) == nullptr)
        Fail("cannot make a scratch directory");
    ScratchPath = pattern;
    TempPagePath = ScratchPath + "/logs/index.htm." + std::to_string(getpid()) + ".tmp";
    ScratchDirectory = open(ScratchPath.c_str(), O_RDONLY | O_DIRECTORY);
    if (ScratchDirectory < 0) Fail("cannot open the scratch directory");
    std::atexit(RemoveScratch);

    // The log is emptied when each input opens it afresh, so it never holds
    // more than one input's lines.
    LogPath = std::string("logs/") + platform::ModuleBaseName() + ".log";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Enter(ScratchDirectory);
    ResetDriver();
    std::remove(kPagePath);  // a run stopped inside a call may have left one
    Input input{data, size};
    while (input.More()) RunCall(input);
    Enter(HomeDirectory);
    return 0;
}
