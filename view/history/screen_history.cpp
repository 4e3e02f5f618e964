#include "view/history/screen_history.h"

#include <algorithm>
#include <limits>

namespace view {

ScreenHistory::ScreenHistory(HistoryLimits limits) : limits_(limits) {}

void ScreenHistory::Add(std::uint64_t version, std::int64_t time_ms, const Rows& bytes) {
    if (limits_.count == 0 || SameAsLast(bytes)) return;
    if (!entries_.empty()) time_ms = std::max(time_ms, entries_.back().time_ms);
    Entry entry{version, time_ms, dropped_ + bytes_.size(), {}};
    for (int row = 0; row < kRowCount; ++row) {
        // A page is at most 64 KiB, so a row always fits its length's type.
        const std::size_t length =
            std::min<std::size_t>(bytes[row].size(), std::numeric_limits<std::uint16_t>::max());
        entry.lengths[row] = static_cast<std::uint16_t>(length);
        bytes_.insert(bytes_.end(), bytes[row].begin(), bytes[row].begin() + length);
    }
    entries_.push_back(entry);
    while (entries_.size() > limits_.count) DropOldest();
    DropOlderThanAge(time_ms);
}

void ScreenHistory::DropOlderThanAge(std::int64_t now_ms) {
    while (!entries_.empty() && entries_.front().time_ms < now_ms - limits_.age.count())
        DropOldest();
}

void ScreenHistory::DropOldest() {
    const Entry& oldest = entries_.front();
    std::size_t size = 0;
    for (const std::uint16_t length : oldest.lengths) size += length;
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(size));
    dropped_ += size;
    ++dropped_screens_;
    entries_.pop_front();
    if (entries_.empty()) bytes_.shrink_to_fit();
}

void ScreenHistory::Unpack(const Entry& entry, KeptScreen* screen) const {
    screen->version = entry.version;
    screen->time_ms = entry.time_ms;
    auto next = bytes_.begin() + static_cast<std::ptrdiff_t>(entry.start - dropped_);
    for (int row = 0; row < kRowCount; ++row) {
        // Copied a block of the deque at a time, into the row's kept room.
        screen->bytes[row].resize(entry.lengths[row]);
        std::copy(next, next + entry.lengths[row], screen->bytes[row].begin());
        next += entry.lengths[row];
    }
}

bool ScreenHistory::SameAsLast(const Rows& bytes) const {
    if (entries_.empty()) return false;
    const Entry& last = entries_.back();
    auto next = bytes_.begin() + static_cast<std::ptrdiff_t>(last.start - dropped_);
    for (int row = 0; row < kRowCount; ++row) {
        if (bytes[row].size() != last.lengths[row] ||
            !std::equal(bytes[row].begin(), bytes[row].end(), next))
            return false;
        next += last.lengths[row];
    }
    return true;
}

std::optional<KeptScreen> ScreenHistory::Find(std::uint64_t version) const {
    const auto found = std::lower_bound(
        entries_.begin(), entries_.end(), version,
        [](const Entry& entry, std::uint64_t wanted) { return entry.version < wanted; });
    if (found == entries_.end() || found->version != version) return std::nullopt;
    KeptScreen screen;
    Unpack(*found, &screen);
    screen.position = dropped_screens_ + static_cast<std::uint64_t>(found - entries_.begin());
    return screen;
}

bool ScreenHistory::Visit(std::int64_t since_ms, std::int64_t until_ms, std::uint64_t from_position,
                          std::size_t limit,
                          const std::function<void(const KeptScreen&)>& visit) const {
    auto entry = std::lower_bound(
        entries_.begin(), entries_.end(), since_ms,
        [](const Entry& kept, std::int64_t since) { return kept.time_ms < since; });
    if (from_position > dropped_screens_) {
        const std::uint64_t skipped =
            std::min<std::uint64_t>(from_position - dropped_screens_, size());
        entry = std::max(entry, entries_.begin() + static_cast<std::ptrdiff_t>(skipped));
    }
    KeptScreen screen;  // one for all, its rows' room kept
    for (std::size_t visited = 0; entry != entries_.end() && entry->time_ms <= until_ms;
         ++entry, ++visited) {
        if (visited == limit) return true;
        Unpack(*entry, &screen);
        screen.position = dropped_screens_ + static_cast<std::uint64_t>(entry - entries_.begin());
        visit(screen);
    }
    return false;
}

}  // namespace view
