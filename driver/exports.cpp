// The six calls the host makes. Each traces what it must and hands the work
// to the screen store, the page writer or the trace log.
#include <cstring>

#include "driver/display_driver.h"
#include "driver/driver_state.h"
#include "driver/screen.h"
#include "platform/module_name.h"
#include "platform/platform.h"
#include "trace/trace_log.h"

namespace {
// The title Init hands the host. Its "v0.1" is not the driver's version
// (kVersion): hosts show and match the title as it is.
constexpr char kTitle[] = "Lumivane v0.1";
constexpr char kInitFailed[] = "Failed to create web page";
// Log readers match this label as it is: its trailing space puts two spaces
// before the page's path.
constexpr char kInitLabel[] = "Init Web Page ";
constexpr char kVersion[] = LUMIVANE_VERSION_TEXT;  // project(Lumivane VERSION ...)
// Hosts show this as it is, "my_plugin" and all.
constexpr char kUsage[] = "my_plugin usage";
constexpr char kDefaultParameters[] = "default";
constexpr int kLow8Bits = 0xFF;

// Room for the base name beside " v" and the version, so a long module name
// is cut rather than the version lost.
constexpr std::size_t kDriverNameBaseRoom = driver::kDriverNameSize - 1 - 2 - (sizeof kVersion - 1);
}  // namespace

extern "C" {

const char* LUMIVANE_CALL DISPLAYDLL_Init(int /*columns*/, int /*rows*/, int /*reserved*/,
                                          unsigned char* ok_flag) {
    trace::SetDebug(1);
    trace::OpenLog();
    trace::LogLine(kInitLabel, platform::PagePath);

    driver::StartScreen();
    const int status = driver::WritePage();

    if (ok_flag != nullptr) *ok_flag = static_cast<unsigned char>(status);
    return status == 1 ? kTitle : kInitFailed;
}

void LUMIVANE_CALL DISPLAYDLL_SetPosition(int x, int y) {
    const int column = x & kLow8Bits;
    const int row = y & kLow8Bits;
    driver::MoveCursor(column, row);
    trace::LogPosition("SetPosition", column, row);
}

int LUMIVANE_CALL DISPLAYDLL_Write(const char* text) {
    if (text == nullptr) text = "";
    const driver::CursorPosition cursor = driver::Cursor();
    trace::LogPosition("Write", cursor.x, cursor.y);
    driver::PlaceText(text);
    trace::LogLine("Write", text);
    return driver::WritePage();
}

const char* LUMIVANE_CALL DISPLAYDLL_DriverName() {
    trace::LogLine("Entered", "DriverName");
    // "<base name> v<version>", the base name cut to leave the version room.
    char* const name = driver::State.Identity.DriverNameText;
    const char* base = platform::ModuleBaseName();
    const std::size_t base_length = strnlen(base, kDriverNameBaseRoom);
    std::memcpy(name, base, base_length);
    std::memcpy(name + base_length, " v", 2);
    std::memcpy(name + base_length + 2, kVersion, sizeof kVersion);
    trace::LogLine("Exit", "DriverName");
    return name;
}

const char* LUMIVANE_CALL DISPLAYDLL_Usage() { return kUsage; }

const char* LUMIVANE_CALL DISPLAYDLL_DefaultParameters() { return kDefaultParameters; }

}  // extern "C"
