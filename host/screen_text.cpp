#include "host/screen_text.h"

namespace host {

namespace {
constexpr std::size_t kTabStop = 8;
}

std::string FitRow(const std::string& line) {
    std::string row;
    for (char c : line) {
        if (row.size() >= kColumns) break;
        if (c == '\t') {
            row.append(kTabStop - row.size() % kTabStop, ' ');
        } else {
            row.push_back(c == '\0' ? ' ' : c);
        }
    }
    row.resize(kColumns, ' ');
    return row;
}

void PushLine(std::deque<std::string>* window, const std::string& line) {
    window->push_back(FitRow(line));
    while (window->size() > kRows) window->pop_front();
}

std::string ScreenText(const std::deque<std::string>& window) {
    std::string text;
    for (const std::string& row : window) text += row;
    text.resize(kColumns * kRows, ' ');
    return text;
}

}  // namespace host
