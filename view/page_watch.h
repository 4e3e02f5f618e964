// Follows the page file: looks at it on every Poll, reads it when it changed,
// and keeps the screen state the view serves.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "view/page_rows.h"
#include "view/platform.h"

namespace view {

struct ScreenState {
    Rows rows;                  // the last good page's rows; empty before the first
    Rows bytes;                 // the same rows as the bytes the host sent
    std::uint64_t version = 0;  // 1 for the first page seen, +1 for each change of bytes
    bool found = false;         // a page of the driver's format is there and readable
};

class PageWatch {
public:
    PageWatch(std::filesystem::path page, Encoding encoding);

    // Looks at the page once. True when the state changed (rows or found).
    bool Poll();

    const ScreenState& state() const { return state_; }
    const std::filesystem::path& page() const { return page_; }
    Encoding encoding() const { return encoding_; }

private:
    std::filesystem::path page_;
    Encoding encoding_;
    ScreenState state_;
    bool looked_ = false;                       // Poll has run at least once
    std::optional<platform::FileStamp> stamp_;  // the file at the last look; none: no file
    bool recheck_ = false;  // it changed at the last look: read once more, as a change
                            // within one clock tick leaves the stamp alone
    int misses_ = 0;        // reads in a row that gave no page
};

}  // namespace view
