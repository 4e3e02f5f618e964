// The page writer: turns the four rows into logs/index.htm, and only when a
// row differs from what the page last showed.
//
// The page is written whole into a temporary file beside it and then put in
// its place in one step, so a browser reloading meanwhile reads either the
// old page or the new one, never an empty or half-written file (an empty page
// has no refresh element, and its viewer would never reload again).
#include "driver/screen.h"

#include "diag/platform.h"
#include "diag/trace.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace driver {

namespace {
constexpr char kPageHead[] =
    "<html>\n<head></head>\n<meta http-equiv=refresh content=5 >\n<body><pre>";
constexpr char kPageTail[] = "</pre></body>\n</html>\n";
constexpr char kStartRule[] = "-------------------------------------------";
constexpr char kEndRule[] = "...........................................";
constexpr char kTempSuffix[] = ".tmp";
constexpr std::size_t kPageBufferSize = 1024;  // a whole page is at most about 440 bytes

char TempPagePath[kPagePathSize + sizeof kTempSuffix];  // the page's path plus ".tmp"
char PageBuffer[kPageBufferSize];  // stdio's buffer for the open page: one write, no heap

enum class PageResult { kWritten, kOpenFailed, kWriteFailed };

struct PageOutcome {
    PageResult result;
    int error;  // the run-time library's error number of the failed step
};

// A row has changed when its text differs from the start of its shadow. An
// empty row never counts, and a longer shadow that begins with the row's text
// counts as unchanged.
bool RowChanged(int row) {
    const std::size_t length = std::strlen(ScreenRows[row]);
    return std::strncmp(ScreenRows[row], ShadowRows[row], length) != 0;
}

bool AnyRowChanged() {
    bool changed = false;
    for (int row = 0; row < kRows; ++row) changed |= RowChanged(row);
    return changed;
}

void CopyToShadow(int row) {
    const std::size_t length = std::strlen(ScreenRows[row]);
    std::memcpy(ShadowRows[row], ScreenRows[row], length + 1);
}

// Writes the whole page into `path`. A full disk shows up at the latest when
// the file is closed, so the close is checked like every write.
PageOutcome WritePageFile(const char* path) {
    std::FILE* page = std::fopen(path, "w");
    if (page == nullptr) return {PageResult::kOpenFailed, errno};
    std::setvbuf(page, PageBuffer, _IOFBF, sizeof PageBuffer);

    int error = 0;
    auto check = [&error](int written) {
        if (written < 0 && error == 0) error = errno != 0 ? errno : EIO;
    };
    check(std::fprintf(page, "%s\n", kPageHead));
    for (const Row& row : ScreenRows) check(std::fprintf(page, "%s<br>%s", row, "\n"));
    check(std::fprintf(page, "%s\n", kPageTail));
    if (std::fclose(page) != 0) check(-1);

    if (error != 0) return {PageResult::kWriteFailed, error};
    return {PageResult::kWritten, 0};
}

// Puts the new page in place: whole through the temporary file when it can,
// in place otherwise.
PageOutcome ReplacePage() {
    if (PagePath[0] != '\0') {
        std::snprintf(TempPagePath, sizeof TempPagePath, "%s%s", PagePath, kTempSuffix);
        const PageOutcome temp = WritePageFile(TempPagePath);
        if (temp.result == PageResult::kWritten &&
            platform::RenameOver(TempPagePath, PagePath))
            return temp;
        if (temp.result != PageResult::kOpenFailed) std::remove(TempPagePath);
        // A disk that cannot take the page now: the old page stays whole until
        // a later call succeeds, rather than being truncated in place.
        if (temp.result == PageResult::kWriteFailed) return temp;
    }
    // The page cannot be replaced whole (a reader holds it open without
    // sharing delete, a directory stands in its place, no file can be made
    // beside it): write it in place, as a plain rewrite would.
    return WritePageFile(PagePath);
}

void LogPageFailure(const PageOutcome& failure) {
    char error_text[32];
    std::snprintf(error_text, sizeof error_text, "error %i", failure.error);
    diag::LogLine("Display_screen", failure.result == PageResult::kOpenFailed
                                        ? "Failed to open web page file"
                                        : "Failed to write web page file");
    diag::LogLine("display_screen", PagePath);
    diag::LogLine("display_screen", error_text);
}
}  // namespace

int WritePage() {
    if (!AnyRowChanged()) return 1;

    diag::LogLine("Display", kStartRule);
    const PageOutcome outcome = ReplacePage();
    if (outcome.result != PageResult::kWritten) {
        // The shadow rows keep the old picture, so the next call tries again.
        LogPageFailure(outcome);
        return 0;
    }
    for (int row = 0; row < kRows; ++row) {
        CopyToShadow(row);
        diag::LogLine("display", ScreenRows[row]);
    }
    diag::LogLine("Display", kEndRule);
    return 1;
}

}  // namespace driver
