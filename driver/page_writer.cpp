// The page writer: turns the four rows into logs/index.htm, and only when
// Init has asked for it or a row differs from what the page last showed.
//
// The page is put together in a static buffer, written whole into a
// temporary file beside it in one write, and then put in its place in one
// step, so a browser reloading meanwhile reads either the old page or the new
// one, never an empty or half-written file (an empty page has no refresh
// element, and its viewer would never reload again). The temporary file is
// the process's own, so two processes writing the page never meet there, and
// it is always made new: a link planted at its name is removed, not followed.
#include <cerrno>
#include <cstring>

#include "driver/driver_state.h"
#include "driver/screen.h"
#include "platform/page_format.h"
#include "platform/platform.h"
#include "trace/trace_log.h"

namespace driver {

namespace {
using page_format::kHead;
using page_format::kRowEnd;
using page_format::kTail;
constexpr char kStartRule[] = "-------------------------------------------";
constexpr char kEndRule[] = "...........................................";

// The page writer's parts of the driver's state: the screen it mirrors, and
// its own buffers.
ScreenPart& Screen = State.Screen;
PagePart& Page = State.Page;

enum class PageResult { kWritten, kOpenFailed, kWriteFailed };

struct PageOutcome {
    PageResult result;
    int error;  // the run-time library's error number of the failed step
};

bool AnyRowChanged() {
    for (int row = 0; row < kRows; ++row)
        if (std::strcmp(Screen.ScreenRows[row], Screen.ShadowRows[row]) != 0) return true;
    return false;
}

void CopyToShadow(int row) {
    const std::size_t length = std::strlen(Screen.ScreenRows[row]);
    std::memcpy(Screen.ShadowRows[row], Screen.ScreenRows[row], length + 1);
}

// Appends `text` to the page, each "\n" as the platform's line end.
void PutText(const char* text) {
    for (; *text != '\0'; ++text) {
        if (*text == '\n') {
            for (const char* end = platform::kLineEnd; *end != '\0'; ++end)
                Page.PageBuffer[Page.PageLength++] = *end;
        } else {
            Page.PageBuffer[Page.PageLength++] = *text;
        }
    }
}

// The head, each row followed by the row end, and the tail.
void PutPageTogether(const Row (&rows)[kRows]) {
    Page.PageLength = 0;
    PutText(kHead);
    for (const Row& row : rows) {
        PutText(row);
        PutText(kRowEnd);
    }
    PutText(kTail);
}

PageOutcome Failed(PageResult result) { return {result, errno != 0 ? errno : EIO}; }

// Writes the page into a new temporary file of this process's own. A full
// disk shows up at the latest when the file is closed, so the close is
// checked like the write.
PageOutcome WriteTemporaryPage() {
    constexpr unsigned kNew = platform::kCreateNew | platform::kTruncate;
    platform::FileHandle page = platform::OpenForWriting(Page.TempPagePath, kNew);
    if (page == platform::kNoFile && errno == EEXIST) {
        // Left by an earlier load of this process, or planted there: removed
        // (a link itself, not what it points at), and the file made new.
        platform::RemoveFile(Page.TempPagePath);
        page = platform::OpenForWriting(Page.TempPagePath, kNew);
    }
    if (page == platform::kNoFile) return Failed(PageResult::kOpenFailed);
    PageOutcome outcome = {PageResult::kWritten, 0};
    if (!platform::WriteAll(page, Page.PageBuffer, Page.PageLength))
        outcome = Failed(PageResult::kWriteFailed);
    if (!platform::CloseFile(page) && outcome.result == PageResult::kWritten)
        outcome = Failed(PageResult::kWriteFailed);
    if (outcome.result != PageResult::kWritten) platform::RemoveFile(Page.TempPagePath);
    return outcome;
}

// Writes the page over the old one where it stands, never emptying it: every
// page begins with the same head, refresh element and all, so a reader
// meanwhile never sees a page without it. The file is shared fully, so a
// reader's open never fails because of it.
PageOutcome WritePageInPlace() {
    const platform::FileHandle page =
        platform::OpenForWriting(platform::PagePath, platform::kShareAll);
    if (page == platform::kNoFile) return Failed(PageResult::kOpenFailed);
    PageOutcome outcome = {PageResult::kWritten, 0};
    if (!platform::OverwriteWhole(page, Page.PageBuffer, Page.PageLength)) {
        outcome = Failed(PageResult::kWriteFailed);
        // Part of the new page may stand in the old one: the page the shadow
        // rows hold goes back, whole.
        PutPageTogether(Screen.ShadowRows);
        platform::OverwriteWhole(page, Page.PageBuffer, Page.PageLength);
    }
    if (!platform::CloseFile(page) && outcome.result == PageResult::kWritten)
        outcome = Failed(PageResult::kWriteFailed);
    return outcome;
}

// Puts the new page in place: whole through the temporary file when it can,
// over the old page where it stands otherwise.
PageOutcome ReplacePage() {
    // Before Init no page is written: the host has not started the display.
    // Hosts know the failure as an open failing with ENOENT.
    if (!Screen.InitHasRun) return {PageResult::kOpenFailed, ENOENT};
    // Once per Init: what killed processes left behind goes.
    if (!Screen.PageCurrent) platform::RemoveDeadTemporaries(platform::PagePath);
    PutPageTogether(Screen.ScreenRows);
    if (platform::TemporaryPathFor(platform::PagePath, Page.TempPagePath,
                                   sizeof Page.TempPagePath)) {
        PageOutcome temp = WriteTemporaryPage();
        if (temp.result == PageResult::kOpenFailed && temp.error == ENOENT) {
            // logs/ was removed, or could not be made at Init: made again.
            platform::MakeDirectory(page_format::kFolder);
            temp = WriteTemporaryPage();
        }
        if (temp.result == PageResult::kWritten) {
            if (platform::RenameOver(Page.TempPagePath, platform::PagePath)) return temp;
            platform::RemoveFile(Page.TempPagePath);
        }
        // A disk that cannot take the page now: the old page stays whole until
        // a later call succeeds.
        if (temp.result == PageResult::kWriteFailed) return temp;
    }
    // The page cannot be replaced whole (a reader holds it open without
    // sharing delete, a directory stands in its place, no file can be made
    // beside it).
    return WritePageInPlace();
}

// "Display_screen", then "display_screen" twice: log readers match these
// labels as they are, the underscore and the two cases included.
void LogPageFailure(const PageOutcome& failure) {
    trace::LogLine("Display_screen", failure.result == PageResult::kOpenFailed
                                         ? "Failed to open web page file"
                                         : "Failed to write web page file");
    trace::LogLine("display_screen", platform::PagePath);
    trace::LogError("display_screen", failure.error);
}
}  // namespace

int WritePage() {
    if (Screen.PageCurrent && !AnyRowChanged()) return 1;

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
        trace::LogLine("display", Screen.ScreenRows[row]);
    }
    Screen.PageCurrent = true;
    trace::LogLine("Display", kEndRule);
    return 1;
}

}  // namespace driver
