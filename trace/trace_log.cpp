// The trace log: one time-stamped line for each step the driver takes, each
// on disk when its call returns.
//
// Every line goes to the log's current end (the file is open in append mode)
// in one write, so a log emptied from outside goes on at its new end, and
// another process sharing the log never splices into a line. The log is
// bounded: a line that would take it past kLogBound goes to a fresh log, and
// the full one becomes <log>.1. A line the disk took only in part is ended
// before the next one begins, so no two lines ever share one.
#include "trace/trace_log.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>

#include "platform/platform.h"

namespace trace {

namespace {
constexpr char kLogDirectory[] = "logs";
constexpr char kLogExtension[] = ".log";
constexpr char kFullLogSuffix[] = ".1";
constexpr char kBannerRule[] = "===================================";
constexpr char kBannerLabel[] = "Log File opened for ";
// Says "ini file" though it is the log that failed to open: hosts and their
// users know the message as it is.
constexpr char kOpenFailedMessage[] = "Failed to open ini file";
constexpr std::size_t kLogPathSize = 256;
constexpr std::size_t kStampSize = 20;
constexpr std::size_t kLineSize = 4096;
constexpr long long kLogBound = 16 * 1024 * 1024;    // bytes, each of the log and the full log
constexpr long long kSizeCheckInterval = 64 * 1024;  // bytes written between asking the log's size

int DebugLevel = 0;                                // lines are written only while this is non-zero
platform::FileHandle LogFile = platform::kNoFile;  // the open log, or none
bool LogOpenTried = false;                         // OpenLog has run its first call
char LogPath[kLogPathSize];                        // logs/<base>.log, built on the first OpenLog
char FullLogPath[kLogPathSize + sizeof kFullLogSuffix];  // logs/<base>.log.1
std::time_t StampSecond = 0;                             // the second Stamp shows
bool StampKnown = false;                                 // Stamp has been formatted at least once
char Stamp[kStampSize];        // "HH:MM:SS dd/mm/yy" of StampSecond, or ""
char Line[kLineSize];          // the line being put together
long long LogSize = 0;         // the log's size when last asked, plus the lines written since
long long UncheckedBytes = 0;  // bytes written since the log's size was last asked
bool ReopenWanted = false;     // the log could not be opened again at its bound: tried per line
bool LineOpen = false;         // a line reached the log only in part: the next ends it first
bool LineFailed = false;       // a write of the current line failed: its rest is dropped
std::size_t LineBytesOut = 0;  // bytes of the current line that reached the log
const std::size_t LineEndLength = std::strlen(platform::kLineEnd);  // 1, or 2 for CR LF

// logs/<base>.log; a base name too long for the buffer is cut so that the
// extension always survives.
void BuildLogPaths() {
    const int room = static_cast<int>(kLogPathSize - 1 - (sizeof kLogDirectory - 1) - 1 -
                                      (sizeof kLogExtension - 1));
    std::snprintf(LogPath, sizeof LogPath, "%s%c%.*s%s", kLogDirectory, platform::kPathSeparator,
                  room, ModuleBaseName(), kLogExtension);
    std::snprintf(FullLogPath, sizeof FullLogPath, "%s%s", LogPath, kFullLogSuffix);
}

// The unload lets go of the log; the next load starts it afresh.
void CloseLog() {
    if (LogFile == platform::kNoFile) return;
    platform::CloseFile(LogFile);
    LogFile = platform::kNoFile;
}

// Hands bytes of the current line to the log. After a failed write the rest
// of the line is dropped: going on would leave a gap inside it.
void PutOut(const char* bytes, std::size_t size) {
    if (LineFailed) return;
    std::size_t done = 0;
    if (!platform::WriteAll(LogFile, bytes, size, &done)) LineFailed = true;
    LineBytesOut += done;
}

void PutOutPieces(const platform::Piece* pieces, int count) {
    if (LineFailed) return;
    std::size_t done = 0;
    if (!platform::WritePieces(LogFile, pieces, count, &done)) LineFailed = true;
    LineBytesOut += done;
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

// Bytes `text` takes in the file, each "\n" stored as the platform's line end.
long long StoredSize(const char* text, std::size_t length) {
    long long size = static_cast<long long>(length);
    const std::size_t line_end_length = LineEndLength;
    if (line_end_length == 1) return size;
    for (const char* at = text;
         (at = static_cast<const char*>(
              std::memchr(at, '\n', length - static_cast<std::size_t>(at - text)))) != nullptr;
         ++at)
        size += static_cast<long long>(line_end_length) - 1;
    return size;
}

// Puts a line together in Line and hands it to the log: in one write when
// it fits Line, which every line but one of a very long Write text does, and
// in Line-sized writes otherwise. At most `room` bytes of it are stored; the
// line end always is.
class LineWriter {
public:
    explicit LineWriter(long long room)
        : line_end_length_(LineEndLength), room_(room - static_cast<long long>(line_end_length_)) {}

    void Put(const char* text, std::size_t length) {
        while (length > 0 && room_ > 0) {
            std::size_t run = length;
            if (line_end_length_ != 1) {  // each "\n" is stored as the platform's line end
                const void* line_feed = std::memchr(text, '\n', length);
                if (line_feed != nullptr)
                    run = static_cast<std::size_t>(static_cast<const char*>(line_feed) - text);
            }
            PutBytes(text, run);
            text += run;
            length -= run;
            if (length > 0 && run == 0) {
                PutLineEnd();
                ++text;
                --length;
            }
        }
    }

    void Finish() {
        room_ = static_cast<long long>(line_end_length_);
        PutLineEnd();
        if (used_ > 0) PutOut(Line, used_);
        used_ = 0;
    }

private:
    void PutBytes(const char* bytes, std::size_t length) {
        if (static_cast<long long>(length) > room_) length = static_cast<std::size_t>(room_);
        room_ -= static_cast<long long>(length);
        while (length > 0) {
            if (used_ == kLineSize) {
                PutOut(Line, used_);
                used_ = 0;
            }
            const std::size_t piece = length < kLineSize - used_ ? length : kLineSize - used_;
            std::memcpy(Line + used_, bytes, piece);
            used_ += piece;
            bytes += piece;
            length -= piece;
        }
    }

    // A line end goes in whole or not at all.
    void PutLineEnd() {
        if (static_cast<long long>(line_end_length_) > room_) {
            room_ = 0;
            return;
        }
        PutBytes(platform::kLineEnd, line_end_length_);
    }

    const std::size_t line_end_length_;
    long long room_;        // bytes the line may still take, its line end aside
    std::size_t used_ = 0;  // bytes of Line in use
};

// Ends the line the disk took only in part, so the next one begins a line
// of its own. Returns 0 when even that fails.
int EndOpenLine() {
    if (!LineOpen) return 1;
    std::size_t done = 0;
    if (!platform::WriteAll(LogFile, platform::kLineEnd, LineEndLength, &done)) return 0;
    LineOpen = false;
    LogSize += static_cast<long long>(done);
    UncheckedBytes += static_cast<long long>(done);
    return 1;
}

// Opens the log at its path in `mode` and learns its size.
void ReopenLog(unsigned mode) {
    LogFile = platform::OpenForWriting(LogPath, mode);
    const long long size = LogFile == platform::kNoFile ? -1 : platform::FileSize(LogFile);
    LogSize = size < 0 ? 0 : size;
    UncheckedBytes = 0;
}

// Makes room for a line of `size` bytes: when it would take the log past its
// bound, the log becomes the full log (replacing an older one) and a fresh
// log is begun. When the log cannot be renamed (on Windows a reader may hold
// it without sharing deletion), it is emptied in place instead.
//
// The file is asked for its size only every kSizeCheckInterval bytes and when
// the line might pass the bound; asking before every line would cost about
// as much again as the line's write. Until then the driver's own count
// stands, which is exact while no one else writes the log.
void MakeRoomFor(long long size) {
    if (LogSize + size <= kLogBound && UncheckedBytes + size <= kSizeCheckInterval) return;
    const long long current = platform::FileSize(LogFile);
    if (current >= 0) LogSize = current;
    UncheckedBytes = 0;
    if (LogSize + size <= kLogBound) return;

    // Another process sharing the log may have begun a fresh one already:
    // then that one goes on, unless it is full too.
    const bool still_named = platform::IsFileAt(LogFile, LogPath) == 1;
    // The full log ends with a whole line; the fresh one starts clean.
    EndOpenLine();
    LineOpen = false;
    platform::CloseFile(LogFile);
    if (!still_named) {
        ReopenLog(platform::kAppend);
        ReopenWanted = LogFile == platform::kNoFile;
        if (LogFile == platform::kNoFile || LogSize + size <= kLogBound) return;
        platform::CloseFile(LogFile);
    }
    const bool moved = platform::RenameOver(LogPath, FullLogPath) == 1;
    ReopenLog(moved ? platform::kAppend : platform::kTruncate | platform::kAppend);
    // This line is lost; the next one tries again.
    ReopenWanted = LogFile == platform::kNoFile;
}

// The log the last bound could not open again, at the next line: in append
// mode, and a log still full goes past its bound by this line's own check.
void RetryReopen() {
    ReopenLog(platform::kAppend);
    if (LogFile != platform::kNoFile) ReopenWanted = false;
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
    BuildLogPaths();
    ReopenLog(platform::kTruncate | platform::kAppend);
    if (LogFile == platform::kNoFile) {
        std::fputs(kOpenFailedMessage, stdout);
        std::fflush(stdout);
    }
    platform::AtUnload(CloseLog);
    LogLine(kBannerRule, kBannerRule);
    LogLine(kBannerLabel, ModuleBaseName());
    LogLine(kBannerRule, kBannerRule);
}

void LogLine(const char* label, const char* text) {
    OpenLog();
    if (DebugLevel == 0) return;
    if (LogFile == platform::kNoFile && ReopenWanted) RetryReopen();
    if (LogFile == platform::kNoFile) return;

    // Put together by hand: parsing a format would cost about as much as the
    // line's write itself.
    const char* stamp = StampNow();
    if (label == nullptr) label = "";
    if (text == nullptr) text = "";
    const std::size_t stamp_length = std::strlen(stamp);
    const std::size_t label_length = std::strlen(label);
    const std::size_t text_length = std::strlen(text);
    long long size = static_cast<long long>(stamp_length) + StoredSize(label, label_length) +
                     StoredSize(text, text_length) + 2 + static_cast<long long>(LineEndLength);
    // A line longer than the bound alone is cut to it.
    if (size > kLogBound) size = kLogBound;
    MakeRoomFor(size);
    if (LogFile == platform::kNoFile) return;

    if (!EndOpenLine()) return;
    LineFailed = false;
    LineBytesOut = 0;

    const std::size_t fixed_length = stamp_length + label_length + 3;  // all but the text
    if (LineEndLength == 1 && size <= static_cast<long long>(kLineSize)) {
        // The usual line: put together in Line and handed over in one write.
        char* at = Line;
        std::memcpy(at, stamp, stamp_length);
        at += stamp_length;
        *at++ = ' ';
        std::memcpy(at, label, label_length);
        at += label_length;
        *at++ = ' ';
        std::memcpy(at, text, text_length);
        at += text_length;
        *at++ = platform::kLineEnd[0];
        PutOut(Line, static_cast<std::size_t>(at - Line));
    } else if (LineEndLength == 1 && size >= static_cast<long long>(fixed_length)) {
        // Too long for Line: its pieces in one write where the platform has one.
        const std::size_t text_room = static_cast<std::size_t>(size) - fixed_length;
        const platform::Piece pieces[] = {{stamp, stamp_length},
                                          {" ", 1},
                                          {label, label_length},
                                          {" ", 1},
                                          {text, text_length < text_room ? text_length : text_room},
                                          {platform::kLineEnd, 1}};
        PutOutPieces(pieces, static_cast<int>(std::size(pieces)));
    } else {
        // Each "\n" stored as the platform's line end.
        LineWriter line(size);
        line.Put(stamp, stamp_length);
        line.Put(" ", 1);
        line.Put(label, label_length);
        line.Put(" ", 1);
        line.Put(text, text_length);
        line.Finish();
    }
    if (LineFailed && LineBytesOut > 0) LineOpen = true;
    LogSize += static_cast<long long>(LineBytesOut);
    UncheckedBytes += static_cast<long long>(LineBytesOut);
}

}  // namespace trace
