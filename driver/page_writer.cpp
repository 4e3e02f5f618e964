// The page writer: turns the four rows into logs/index.htm, and only when a
// row differs from what the page last showed.
#include "driver/screen.h"

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

void LogOpenFailure(int error) {
    char error_text[32];
    std::snprintf(error_text, sizeof error_text, "error %i", error);
    diag::LogLine("Display_screen", "Failed to open web page file");
    diag::LogLine("display_screen", PagePath);
    diag::LogLine("display_screen", error_text);
}
}  // namespace

int WritePage() {
    if (!AnyRowChanged()) return 1;

    diag::LogLine("Display", kStartRule);
    std::FILE* page = std::fopen(PagePath, "w");
    if (page == nullptr) {
        LogOpenFailure(errno);
        return 0;
    }

    std::fprintf(page, "%s\n", kPageHead);
    for (int row = 0; row < kRows; ++row) {
        std::fprintf(page, "%s<br>%s", ScreenRows[row], "\n");
        CopyToShadow(row);
        diag::LogLine("display", ScreenRows[row]);
    }
    std::fprintf(page, "%s\n", kPageTail);
    std::fclose(page);

    diag::LogLine("Display", kEndRule);
    return 1;
}

}  // namespace driver
