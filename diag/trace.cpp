// The trace log: one time-stamped, flushed line for each step the driver takes.
#include "diag/trace.h"

#include "diag/platform.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace diag {

namespace {
constexpr char kLogDirectory[] = "logs";
constexpr char kLogExtension[] = ".log";
constexpr char kBannerRule[] = "===================================";
constexpr char kBannerLabel[] = "Log File opened for ";
constexpr char kOpenFailedMessage[] = "Failed to open ini file";
constexpr std::size_t kLogPathSize = 256;
constexpr std::size_t kStampSize = 20;
constexpr std::size_t kLineSize = 512;

int DebugLevel = 0;            // lines are written only while this is non-zero
std::FILE* LogFile = nullptr;  // the open log, or none
bool LogOpenTried = false;     // OpenLog has run its first call
char LogPath[kLogPathSize];    // logs/<base>.log, built on the first OpenLog
std::time_t StampSecond = 0;   // the second Stamp shows
bool StampKnown = false;       // Stamp has been formatted at least once
char Stamp[kStampSize];        // "HH:MM:SS dd/mm/yy" of StampSecond, or ""
char Line[kLineSize];          // the line being put together, when it fits

// logs/<base>.log; a base name too long for the buffer is cut so that the
// extension always survives.
void BuildLogPath() {
    const int room = static_cast<int>(kLogPathSize - 1 - (sizeof kLogDirectory - 1) - 1 -
                                      (sizeof kLogExtension - 1));
    std::snprintf(LogPath, sizeof LogPath, "%s%c%.*s%s", kLogDirectory,
                  platform::kPathSeparator, room, ModuleBaseName(), kLogExtension);
}

// The stamp of the current second. Lines come many to a second, so the text
// is formatted once per second.
const char* StampNow() {
    const std::time_t now = std::time(nullptr);
    if (StampKnown && now == StampSecond) return Stamp;
    StampKnown = true;
    StampSecond = now;

    std::tm local{};
    if (!platform::LocalTime(now, &local) ||
        std::strftime(Stamp, sizeof Stamp, "%H:%M:%S %d/%m/%y", &local) == 0)
        Stamp[0] = '\0';
    return Stamp;
}

// "<stamp> <label> <text>\n" put together in Line. Returns its length, or 0
// when it is too long for Line.
std::size_t PutLineTogether(const char* stamp, const char* label, const char* text) {
    const std::size_t stamp_length = std::strlen(stamp);
    const std::size_t label_length = std::strlen(label);
    const std::size_t text_length = std::strlen(text);
    if (stamp_length + label_length + text_length + 3 > kLineSize) return 0;

    char* at = Line;
    std::memcpy(at, stamp, stamp_length);
    at += stamp_length;
    *at++ = ' ';
    std::memcpy(at, label, label_length);
    at += label_length;
    *at++ = ' ';
    std::memcpy(at, text, text_length);
    at += text_length;
    *at++ = '\n';
    return static_cast<std::size_t>(at - Line);
}
}  // namespace

int SetDebug(int level) {
    DebugLevel = level;
    return DebugLevel;
}

void OpenLog() {
    if (LogOpenTried) return;
    // Set before the banner is written, so the banner's own lines don't reopen.
    LogOpenTried = true;

    platform::MakeDirectory(kLogDirectory);
    BuildLogPath();
    LogFile = std::fopen(LogPath, "w");
    if (LogFile == nullptr) {
        std::fputs(kOpenFailedMessage, stdout);
        std::fflush(stdout);
    }
    LogLine(kBannerRule, kBannerRule);
    LogLine(kBannerLabel, ModuleBaseName());
    LogLine(kBannerRule, kBannerRule);
}

void LogLine(const char* label, const char* text) {
    OpenLog();
    if (DebugLevel == 0 || LogFile == nullptr) return;

    // Put together by hand and handed over in one piece: parsing a format,
    // or one stdio call per field, would cost about as much as the line's
    // write itself. A line too long for Line goes out field by field.
    const char* stamp = StampNow();
    if (label == nullptr) label = "";
    if (text == nullptr) text = "";
    const std::size_t length = PutLineTogether(stamp, label, text);
    if (length != 0) {
        std::fwrite(Line, 1, length, LogFile);
    } else {
        std::fputs(stamp, LogFile);
        std::fputc(' ', LogFile);
        std::fputs(label, LogFile);
        std::fputc(' ', LogFile);
        std::fputs(text, LogFile);
        std::fputc('\n', LogFile);
    }
    std::fflush(LogFile);
}

}  // namespace diag
