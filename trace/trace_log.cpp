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

#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>

#include "platform/module_name.h"
#include "platform/page_format.h"
#include "platform/platform.h"
#include "trace/trace_state.h"

namespace trace {

namespace {
constexpr char kBannerRule[] = "===================================";
constexpr char kBannerLabel[] = "Log File opened for ";
// Says "ini file" though it is the log that failed to open: hosts and their
// users know the message as it is.
constexpr char kOpenFailedMessage[] = "Failed to open ini file";
constexpr long long kLogBound = 16 * 1024 * 1024;    // bytes, each of the log and the full log
constexpr long long kSizeCheckInterval = 64 * 1024;  // bytes written between asking the log's size
constexpr std::size_t kIntDigits = 11;               // an int in decimal, its sign included

// The log's own state.
TraceState& Log = State;
const std::size_t LineEndLength = std::strlen(platform::kLineEnd);  // 1, or 2 for CR LF

// logs/<base>.log, the base name cut to kLogBaseNameRoom.
void BuildLogPaths() {
    std::snprintf(Log.LogPath, sizeof Log.LogPath, "%s%c%.*s%s", page_format::kFolder,
                  platform::kPathSeparator, static_cast<int>(kLogBaseNameRoom),
                  platform::ModuleBaseName(), kLogExtension);
    std::snprintf(Log.FullLogPath, sizeof Log.FullLogPath, "%s%s", Log.LogPath, kFullLogSuffix);
}

// Hands bytes of the current line to the log. After a failed write the rest
// of the line is dropped: going on would leave a gap inside it.
void PutOut(const char* bytes, std::size_t size) {
    if (Log.LineFailed) return;
    std::size_t done = 0;
    if (!platform::WriteAll(Log.LogFile, bytes, size, &done)) Log.LineFailed = true;
    Log.LineBytesOut += done;
}

// Hands a whole line, in pieces, to the log: its first and only write.
void PutOutPieces(const platform::Piece* pieces, int count) {
    std::size_t done = 0;
    if (!platform::WritePieces(Log.LogFile, pieces, count, &done)) Log.LineFailed = true;
    Log.LineBytesOut += done;
}

// The stamp of the current second. Lines come many to a second, so the text
// is formatted once per second.
const char* StampNow() {
    const std::time_t now = std::time(nullptr);
    if (Log.StampKnown && now == Log.StampSecond) return Log.Stamp;
    Log.StampKnown = true;
    Log.StampSecond = now;

    std::tm local{};
    if (!platform::LocalTime(now, &local) ||
        std::strftime(Log.Stamp, sizeof Log.Stamp, "%H:%M:%S %d/%m/%y", &local) == 0)
        Log.Stamp[0] = '\0';
    return Log.Stamp;
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

// Puts a line together in the line buffer and hands it to the log: in one
// write when it fits the buffer, which every line but one of a very long
// Write text does, and in buffer-sized writes otherwise. At most `room` bytes of it are stored; the
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
        if (used_ > 0) PutOut(Log.Line, used_);
        used_ = 0;
    }

private:
    void PutBytes(const char* bytes, std::size_t length) {
        if (static_cast<long long>(length) > room_) length = static_cast<std::size_t>(room_);
        room_ -= static_cast<long long>(length);
        while (length > 0) {
            if (used_ == kLineSize) {
                PutOut(Log.Line, used_);
                used_ = 0;
            }
            const std::size_t piece = length < kLineSize - used_ ? length : kLineSize - used_;
            std::memcpy(Log.Line + used_, bytes, piece);
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
    std::size_t used_ = 0;  // bytes of the line buffer in use
};

// Ends the line the disk took only in part, so the next one begins a line
// of its own. Returns 0 when even that fails.
int EndOpenLine() {
    if (!Log.LineOpen) return 1;
    std::size_t done = 0;
    if (!platform::WriteAll(Log.LogFile, platform::kLineEnd, LineEndLength, &done)) return 0;
    Log.LineOpen = false;
    Log.LogSize += static_cast<long long>(done);
    Log.UncheckedBytes += static_cast<long long>(done);
    return 1;
}

// Opens the log at its path in `mode` and learns its size.
void ReopenLog(unsigned mode) {
    Log.LogFile = platform::OpenForWriting(Log.LogPath, mode);
    const long long size = Log.LogFile == platform::kNoFile ? -1 : platform::FileSize(Log.LogFile);
    Log.LogSize = size < 0 ? 0 : size;
    Log.UncheckedBytes = 0;
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
    if (Log.LogSize + size <= kLogBound && Log.UncheckedBytes + size <= kSizeCheckInterval) return;
    const long long current = platform::FileSize(Log.LogFile);
    if (current >= 0) Log.LogSize = current;
    Log.UncheckedBytes = 0;
    if (Log.LogSize + size <= kLogBound) return;

    // Another process sharing the log may have begun a fresh one already:
    // then that one goes on, unless it is full too.
    const bool still_named = platform::IsFileAt(Log.LogFile, Log.LogPath) == 1;
    // The full log ends with a whole line; the fresh one starts clean.
    EndOpenLine();
    Log.LineOpen = false;
    platform::CloseFile(Log.LogFile);
    if (!still_named) {
        ReopenLog(platform::kAppend);
        Log.ReopenWanted = Log.LogFile == platform::kNoFile;
        if (Log.LogFile == platform::kNoFile || Log.LogSize + size <= kLogBound) return;
        platform::CloseFile(Log.LogFile);
    }
    const bool moved = platform::RenameOver(Log.LogPath, Log.FullLogPath) == 1;
    ReopenLog(moved ? platform::kAppend : platform::kTruncate | platform::kAppend);
    // This line is lost; the next one tries again.
    Log.ReopenWanted = Log.LogFile == platform::kNoFile;
}

// The log the last bound could not open again, at the next line: in append
// mode, and a log still full goes past its bound by this line's own check.
void RetryReopen() {
    ReopenLog(platform::kAppend);
    if (Log.LogFile != platform::kNoFile) Log.ReopenWanted = false;
}
}  // namespace

std::int32_t SetDebug(std::int32_t level) {
    Log.DebugLevel = level;
    return Log.DebugLevel;
}

void CloseLog() {
    if (Log.LogFile == platform::kNoFile) return;
    platform::CloseFile(Log.LogFile);
    Log.LogFile = platform::kNoFile;
}

void OpenLog() {
    if (Log.LogOpenTried) return;
    // Set before the banner is written, so the banner's own lines don't reopen.
    Log.LogOpenTried = true;

    platform::MakeDirectory(page_format::kFolder);
    BuildLogPaths();
    ReopenLog(platform::kTruncate | platform::kAppend);
    if (Log.LogFile == platform::kNoFile) {
        std::fputs(kOpenFailedMessage, stdout);
        std::fflush(stdout);
    }
    platform::AtUnload(CloseLog);
    LogLine(kBannerRule, kBannerRule);
    LogLine(kBannerLabel, platform::ModuleBaseName());
    LogLine(kBannerRule, kBannerRule);
}

namespace {
// A line's parts: the stamp, the label and the text, each with its length,
// and the bytes the whole line may take in the log.
struct LineParts {
    const char* stamp;
    std::size_t stamp_length;
    const char* label;
    std::size_t label_length;
    const char* text;
    std::size_t text_length;
    long long size;
    std::size_t fixed_length() const {
        return stamp_length + label_length + 3;
    }  // all but the text
};

// The usual line: put together in the line buffer and handed over in one write.
void WriteFromLineBuffer(const LineParts& line) {
    char* at = Log.Line;
    std::memcpy(at, line.stamp, line.stamp_length);
    at += line.stamp_length;
    *at++ = ' ';
    std::memcpy(at, line.label, line.label_length);
    at += line.label_length;
    *at++ = ' ';
    std::memcpy(at, line.text, line.text_length);
    at += line.text_length;
    *at++ = platform::kLineEnd[0];
    PutOut(Log.Line, static_cast<std::size_t>(at - Log.Line));
}

// Too long for the line buffer: its pieces in one write where the platform
// has one, the text cut to the room the line has.
void WriteInPieces(const LineParts& line) {
    const std::size_t text_room = static_cast<std::size_t>(line.size) - line.fixed_length();
    const platform::Piece pieces[] = {
        {line.stamp, line.stamp_length},
        {" ", 1},
        {line.label, line.label_length},
        {" ", 1},
        {line.text, line.text_length < text_room ? line.text_length : text_room},
        {platform::kLineEnd, 1}};
    static_assert(std::size(pieces) <= platform::kMostPieces);
    PutOutPieces(pieces, static_cast<int>(std::size(pieces)));
}

// Each "\n" stored as the platform's line end, of two bytes.
void WriteWithLineEnds(const LineParts& line) {
    LineWriter writer(line.size);
    writer.Put(line.stamp, line.stamp_length);
    writer.Put(" ", 1);
    writer.Put(line.label, line.label_length);
    writer.Put(" ", 1);
    writer.Put(line.text, line.text_length);
    writer.Finish();
}
}  // namespace

void LogLine(const char* label, const char* text) {
    OpenLog();
    if (Log.DebugLevel == 0) return;
    if (Log.LogFile == platform::kNoFile && Log.ReopenWanted) RetryReopen();
    if (Log.LogFile == platform::kNoFile) return;

    // Put together by hand: parsing a format would cost about as much as the
    // line's write itself.
    LineParts line;
    line.stamp = StampNow();
    line.label = label == nullptr ? "" : label;
    line.text = text == nullptr ? "" : text;
    line.stamp_length = std::strlen(line.stamp);
    line.label_length = std::strlen(line.label);
    line.text_length = std::strlen(line.text);
    line.size = static_cast<long long>(line.stamp_length) +
                StoredSize(line.label, line.label_length) +
                StoredSize(line.text, line.text_length) + 2 + static_cast<long long>(LineEndLength);
    // A line longer than the bound alone is cut to it.
    if (line.size > kLogBound) line.size = kLogBound;
    MakeRoomFor(line.size);
    if (Log.LogFile == platform::kNoFile) return;

    if (!EndOpenLine()) return;
    Log.LineFailed = false;
    Log.LineBytesOut = 0;
    if (LineEndLength == 1 && line.size <= static_cast<long long>(kLineSize))
        WriteFromLineBuffer(line);
    else if (LineEndLength == 1 && line.size >= static_cast<long long>(line.fixed_length()))
        WriteInPieces(line);
    else
        WriteWithLineEnds(line);
    if (Log.LineFailed && Log.LineBytesOut > 0) Log.LineOpen = true;
    Log.LogSize += static_cast<long long>(Log.LineBytesOut);
    Log.UncheckedBytes += static_cast<long long>(Log.LineBytesOut);
}

void LogPosition(const char* label, int x, int y) {
    char position[sizeof "x=" + kIntDigits + sizeof ", y=" + kIntDigits];
    char* at = position;
    std::memcpy(at, "x=", 2);
    at = std::to_chars(at + 2, at + 2 + kIntDigits, x).ptr;
    std::memcpy(at, ", y=", 4);
    at = std::to_chars(at + 4, at + 4 + kIntDigits, y).ptr;
    *at = '\0';
    LogLine(label, position);
}

void LogError(const char* label, int error) {
    char error_text[sizeof "error " + kIntDigits];
    std::memcpy(error_text, "error ", 6);
    *std::to_chars(error_text + 6, error_text + 6 + kIntDigits, error).ptr = '\0';
    LogLine(label, error_text);
}

}  // namespace trace
