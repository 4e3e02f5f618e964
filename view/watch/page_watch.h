// Follows the page file: looks at it when told to, reads it when it changed,
// and keeps the screen state the view serves. PageFollow decides when to
// look: at once when the OS reports a change, and every 2 s in case one went
// unreported; or, where there are no notifications, every poll interval.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/programs/platform.h"
#include "view/watch/dir_watch.h"
#include "view/watch/page_rows.h"

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

    // Looks at the page once, reading it only when its stamp changed. True
    // when the state changed (rows or found).
    bool Poll();

    // Reads the page now, whatever its stamp says: the OS said it changed.
    bool Read();

    // The last look found no page where one was: one more miss says it is gone.
    bool Unsure() const { return state_.found && misses_ > 0; }

    const ScreenState& state() const { return state_; }
    const std::filesystem::path& page() const { return page_; }
    Encoding encoding() const { return encoding_; }
    // Reads of the file so far (for tests and the benchmark).
    std::uint64_t reads() const { return reads_; }

private:
    // The page's stamp; none when there is no page, or its directory is a link.
    std::optional<host::FileStamp> Stamp();
    bool Look(const std::optional<host::FileStamp>& stamp);

    std::filesystem::path page_;
    std::filesystem::path directory_;  // the page's
    bool said_link_ = false;           // standard error was told the directory is a link
    Encoding encoding_;
    ScreenState state_;
    bool looked_ = false;                   // Poll has run at least once
    std::optional<host::FileStamp> stamp_;  // the file at the last look; none: no file
    bool recheck_ = false;  // it changed at the last look: read once more, as a change
                            // within one clock tick leaves the stamp alone
    int misses_ = 0;        // reads in a row that gave no page
    // The page's bytes and rows as last read, their room kept, so that
    // following the page allocates nothing once its rows have been seen.
    std::string bytes_;
    Rows read_rows_;
    std::uint64_t reads_ = 0;
};

struct FollowSettings {
    bool notify = true;                               // false: poll, as for a network share
    std::chrono::milliseconds poll_interval{50};      // without notifications
    std::chrono::milliseconds safety_interval{2000};  // a look the OS may not have prompted
    // How long a file just made under the page's name is given to be
    // written before it is looked at, unless its close is seen first.
    std::chrono::milliseconds settle_time{20};
    // After a look that found no page where one was, when to look again:
    // a page caught half-written has been closed by then and told of.
    std::chrono::milliseconds confirm_time{50};
};

// Drives a PageWatch on the I/O thread and calls `changed` after each look
// that changed the state.
class PageFollow : public std::enable_shared_from_this<PageFollow> {
public:
    PageFollow(boost::asio::io_context& io, PageWatch& watch, FollowSettings settings,
               std::function<void()> changed);

    // The first look, then the watch. When notifications can't be had it
    // says so once on standard error and polls.
    void Start();
    void Stop();

    bool notifying() const { return notifying_; }

private:
    void OnChange(DirWatch::Change change);
    void LookNow(bool read);
    void ArmSettle(std::chrono::milliseconds after);
    void ArmTick(std::chrono::milliseconds after);

    PageWatch& watch_;
    const FollowSettings settings_;
    const std::function<void()> changed_;
    DirWatch dir_watch_;
    boost::asio::steady_timer tick_;    // the safety look, or the poll
    boost::asio::steady_timer settle_;  // a look after a file is made, or after a miss
    bool settle_armed_ = false;
    std::uint64_t settle_round_ = 0;
    bool notifying_ = false;
    bool stopped_ = false;
};

}  // namespace view
