// The screens the view has shown, kept for looking back: each change's time
// to the millisecond and the bytes of its rows, so that any encoding, size or
// theme can draw it later. The oldest go first past a count or an age.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

#include "view/lcd/rows.h"

namespace view {

struct HistoryLimits {
    std::size_t count = 100000;                              // versions kept at most; 0 keeps none
    std::chrono::milliseconds age = std::chrono::hours(24);  // the oldest kept
};

struct KeptScreen {
    std::uint64_t version = 0;
    std::uint64_t position = 0;  // its place among every screen kept since the start, from 0
    std::int64_t time_ms = 0;    // when the view saw it, ms since 1970 (UTC)
    Rows bytes;                  // the rows as the host sent them
};

class ScreenHistory {
public:
    explicit ScreenHistory(HistoryLimits limits = {});

    // Keeps the screen `bytes` of `version`, seen at `time_ms`, then drops
    // what falls outside the bounds. A screen whose bytes are those of the
    // last kept one is not kept again. A clock set back never makes a time
    // earlier than the last one kept, so the times stay in order.
    void Add(std::uint64_t version, std::int64_t time_ms, const Rows& bytes);

    // Drops the versions older than the age bound at `now_ms`.
    void DropOlderThanAge(std::int64_t now_ms);

    // The kept screen of `version`; nullopt when it is not (or no longer) kept.
    std::optional<KeptScreen> Find(std::uint64_t version) const;

    // Calls `visit` for each kept screen seen from `since_ms` to `until_ms`
    // (both included) at `from_position` or after, oldest first, at most
    // `limit` of them. True when more of the span were left out by the limit.
    bool Visit(std::int64_t since_ms, std::int64_t until_ms, std::uint64_t from_position,
               std::size_t limit, const std::function<void(const KeptScreen&)>& visit) const;

    std::size_t size() const { return entries_.size(); }
    // The oldest kept screen's position: the kept ones are this and the
    // size() - 1 after it; the next one kept takes first_position() + size().
    std::uint64_t first_position() const { return dropped_screens_; }
    const HistoryLimits& limits() const { return limits_; }

private:
    // The rows' bytes sit one after another in bytes_, each entry knowing
    // where its own start: a version costs its text and 32 bytes, not four
    // strings of its own.
    struct Entry {
        std::uint64_t version;
        std::int64_t time_ms;
        std::uint64_t start;  // offset of its first byte, counted from the first byte ever kept
        std::array<std::uint16_t, kRowCount> lengths;
    };
    void Unpack(const Entry& entry, KeptScreen* screen) const;
    bool SameAsLast(const Rows& bytes) const;
    void DropOldest();

    const HistoryLimits limits_;
    std::deque<Entry> entries_;          // oldest first
    std::deque<char> bytes_;             // the kept rows' bytes, oldest first
    std::uint64_t dropped_ = 0;          // bytes dropped from bytes_'s front so far
    std::uint64_t dropped_screens_ = 0;  // entries dropped from entries_'s front so far
};

}  // namespace view
