// The page writer: turns the four rows into logs/index.htm, and only when
// Init has asked for it or a row differs from what the page last showed.
//
// The page is put together in a static buffer, written whole into a
// temporary file beside it in one write, and then put in its place in one
// step, so a browser reloading meanwhile reads either the old page or the new
// one, never an empty or half-written file (an empty page has no refresh
// element, and its viewer would never reload again). The temporary file is
// the process's own, so two processes writing the page never meet there.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "driver/page_format.h"
#include "driver/screen.h"
#include "driver/screen_state.h"
#include "platform/platform.h"
#include "trace/trace_log.h"

namespace driver {

namespace {
using page_format::kHead;
using page_format::kRowEnd;
using page_format::kTail;
constexpr char kStartRule[] = "-------------------------------------------";
constexpr char kEndRule[] = "...........................................";
constexpr std::size_t kTempPathSize = 64;  // the page's path and ".<process id>.tmp"
// A whole page, every "\n" stored as a two-byte line end: a row of 80 line
// feeds stores 160 bytes.
constexpr std::size_t kPageBufferSize =
    2 * (sizeof kHead + sizeof kTail) + kRows * (2 * kColumns + 2 * sizeof kRowEnd);

char TempPagePath[kTempPathSize];  // the page's path, ".<process id>.tmp"
char PageBuffer[kPageBufferSize];  // the page being put together
std::size_t PageLength = 0;        // bytes of PageBuffer in use

enum class PageResult { kWritten, kOpenFailed, kWriteFailed };

struct PageOutcome {
    PageResult result;
    int error;  // the run-time library's error number of the failed step
};

bool AnyRowChanged() {
    for (int row = 0; row < kRows; ++row)
        if (std::strcmp(State.ScreenRows[row], State.ShadowRows[row]) != 0) return true;
    return false;
}

void CopyToShadow(int row) {
    const std::size_t length = std::strlen(State.ScreenRows[row]);
    std::memcpy(State.ShadowRows[row], State.ScreenRows[row], length + 1);
}

// Appends `text` to the page, each "\n" as the platform's line end.
void PutText(const char* text) {
    for (; *text != '\0'; ++text) {
        if (*text == '\n') {
            for (const char* end = platform::kLineEnd; *end != '\0'; ++end)
                PageBuffer[PageLength++] = *end;
        } else {
            PageBuffer[PageLength++] = *text;
        }
    }
}

// The head, each row followed by the row end, and the tail.
void PutPageTogether() {
    PageLength = 0;
    PutText(kHead);
    for (const Row& row : State.ScreenRows) {
        PutText(row);
        PutText(kRowEnd);
    }
    PutText(kTail);
}

// Writes the page into `path`. A full disk shows up at the latest when the
// file is closed, so the close is checked like the write.
PageOutcome WritePageFile(const char* path) {
    const platform::FileHandle page = platform::OpenForWriting(path, platform::kTruncate);
    if (page == platform::kNoFile) return {PageResult::kOpenFailed, errno};
    int error = 0;
    if (!platform::WriteAll(page, PageBuffer, PageLength)) error = errno != 0 ? errno : EIO;
    if (!platform::CloseFile(page) && error == 0) error = errno != 0 ? errno : EIO;
    if (error != 0) return {PageResult::kWriteFailed, error};
    return {PageResult::kWritten, 0};
}

// Puts the new page in place: whole through the temporary file when it can,
// in place otherwise.
PageOutcome ReplacePage() {
    // Before Init the page has no path: there is no file to open.
    if (!State.Started) return {PageResult::kOpenFailed, ENOENT};
    PutPageTogether();
    if (platform::TemporaryPathFor(platform::PagePath, TempPagePath, sizeof TempPagePath)) {
        const PageOutcome temp = WritePageFile(TempPagePath);
        if (temp.result == PageResult::kWritten &&
            platform::RenameOver(TempPagePath, platform::PagePath))
            return temp;
        if (temp.result != PageResult::kOpenFailed) std::remove(TempPagePath);
        // A disk that cannot take the page now: the old page stays whole until
        // a later call succeeds, rather than being truncated in place.
        if (temp.result == PageResult::kWriteFailed) return temp;
    }
    // The page cannot be replaced whole (a reader holds it open without
    // sharing delete, a directory stands in its place, no file can be made
    // beside it): write it in place, as a plain rewrite would.
    return WritePageFile(platform::PagePath);
}

// "Display_screen", then "display_screen" twice: log readers match these
// labels as they are, the underscore and the two cases included.
void LogPageFailure(const PageOutcome& failure) {
    char error_text[32];
    std::snprintf(error_text, sizeof error_text, "error %i", failure.error);
    trace::LogLine("Display_screen", failure.result == PageResult::kOpenFailed
                                         ? "Failed to open web page file"
                                         : "Failed to write web page file");
    trace::LogLine("display_screen", platform::PagePath);
    trace::LogLine("display_screen", error_text);
}
}  // namespace

int WritePage() {
    if (State.PageCurrent && !AnyRowChanged()) return 1;

    trace::LogLine("Display", kStartRule);
    const PageOutcome outcome = ReplacePage();
    if (outcome.result != PageResult::kWritten) {
        // The shadow rows and the flag stay as they were, so the next call
        // finds the same difference and tries again.
        LogPageFailure(outcome);
        return 0;
    }
    for (int row = 0; row < kRows; ++row) {
        CopyToShadow(row);
        trace::LogLine("display", State.ScreenRows[row]);
    }
    State.PageCurrent = true;
    trace::LogLine("Display", kEndRule);
    return 1;
}

}  // namespace driver
