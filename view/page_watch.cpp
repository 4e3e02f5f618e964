#include "view/page_watch.h"

#include <string>
#include <utility>

namespace view {

PageWatch::PageWatch(std::filesystem::path page, Encoding encoding)
    : page_(std::move(page)), encoding_(encoding) {}

bool PageWatch::Poll() {
    platform::FileStamp now;
    std::optional<platform::FileStamp> stamp;
    if (platform::ReadFileStamp(page_, &now)) stamp = now;
    const bool file_changed = !looked_ || stamp != stamp_;
    looked_ = true;
    stamp_ = stamp;
    if (!file_changed && !recheck_) return false;
    recheck_ = file_changed;

    std::string bytes;
    std::optional<Rows> rows;
    if (stamp && platform::ReadWholeFile(page_, &bytes)) rows = PageToRowBytes(bytes);
    if (!rows) {
        // A page rewritten in place can be caught half-written: only a second
        // miss in a row says the page is gone. The rows stay as they were.
        if (++misses_ >= 2 && state_.found) {
            state_.found = false;
            return true;
        }
        return false;
    }
    misses_ = 0;

    bool changed = false;
    if (!state_.found) {
        state_.found = true;
        changed = true;
    }
    if (state_.version == 0 || *rows != state_.bytes) {
        for (int row = 0; row < kRowCount; ++row)
            state_.rows[row] = DecodeToUtf8((*rows)[row], encoding_);
        state_.bytes = std::move(*rows);
        ++state_.version;
        changed = true;
    }
    return changed;
}

}  // namespace view
