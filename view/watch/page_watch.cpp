#include "view/watch/page_watch.h"

#include <cstdio>
#include <string>
#include <utility>

namespace view {

PageWatch::PageWatch(std::filesystem::path page, Encoding encoding)
    : page_(std::move(page)), directory_(page_.parent_path()), encoding_(encoding) {}

std::optional<host::FileStamp> PageWatch::Stamp() {
    // Nothing is read through a link, the page's directory included.
    const bool through_link = host::IsLink(directory_);
    if (through_link && !said_link_)
        std::fprintf(stderr, "lumivane-view: %s is a link; no page is read through it\n",
                     directory_.u8string().c_str());
    said_link_ = through_link;
    host::FileStamp now;
    if (through_link || !host::ReadFileStamp(page_, &now)) return std::nullopt;
    return now;
}

bool PageWatch::Poll() {
    const std::optional<host::FileStamp> stamp = Stamp();
    const bool file_changed = !looked_ || stamp != stamp_;
    if (!file_changed && !recheck_) return false;
    recheck_ = file_changed;
    return Look(stamp);
}

bool PageWatch::Read() {
    const std::optional<host::FileStamp> stamp = Stamp();
    // Told of the change, this look sees it; a later one is told again.
    recheck_ = false;
    return Look(stamp);
}

bool PageWatch::Look(const std::optional<host::FileStamp>& stamp) {
    looked_ = true;
    stamp_ = stamp;
    bool whole = false;
    if (stamp) {
        ++reads_;
        whole = host::ReadWholeFile(page_, &bytes_) && ReadRowBytes(bytes_, &read_rows_);
    }
    if (!whole) {
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
    if (state_.version == 0 || read_rows_ != state_.bytes) {
        for (int row = 0; row < kRowCount; ++row)
            DecodeInto(read_rows_[row], encoding_, &state_.rows[row]);
        // The old rows' strings take the next read, room and all.
        std::swap(state_.bytes, read_rows_);
        ++state_.version;
        changed = true;
    }
    return changed;
}

PageFollow::PageFollow(boost::asio::io_context& io, PageWatch& watch, FollowSettings settings,
                       std::function<void()> changed)
    : watch_(watch),
      settings_(settings),
      changed_(std::move(changed)),
      dir_watch_(io, watch.page(), [this](DirWatch::Change change) { OnChange(change); }),
      tick_(io),
      settle_(io) {}

void PageFollow::Start() {
    // The watch goes first, so that a change during the first look is told.
    std::string why;
    notifying_ = settings_.notify && dir_watch_.Start(&why);
    if (settings_.notify && !notifying_)
        std::fprintf(stderr,
                     "lumivane-view: no change notifications for %s (%s); looking at the page "
                     "every %lld ms instead\n",
                     watch_.page().parent_path().u8string().c_str(), why.c_str(),
                     static_cast<long long>(settings_.poll_interval.count()));
    LookNow(true);
    ArmTick(notifying_ ? settings_.safety_interval : settings_.poll_interval);
}

void PageFollow::Stop() {
    stopped_ = true;
    dir_watch_.Stop();
    tick_.cancel();
    settle_.cancel();
}

void PageFollow::OnChange(DirWatch::Change change) {
    if (stopped_) return;
    if (change == DirWatch::Change::kWriting) return ArmSettle(settings_.settle_time);
    if (change == DirWatch::Change::kWatchedAgain)
        std::fprintf(stderr, "lumivane-view: %s is back; watching it for changes again\n",
                     watch_.page().parent_path().parent_path().u8string().c_str());
    LookNow(true);
}

void PageFollow::LookNow(bool read) {
    if (settle_armed_) {
        ++settle_round_;  // a wait already ended, its handler queued, is dropped too
        settle_.cancel();
        settle_armed_ = false;
    }
    if (read ? watch_.Read() : watch_.Poll()) changed_();
    if (watch_.Unsure()) ArmSettle(settings_.confirm_time);
}

void PageFollow::ArmSettle(std::chrono::milliseconds after) {
    if (settle_armed_) return;  // a stream of writes must not put the look off for ever
    settle_armed_ = true;
    settle_.expires_after(after);
    settle_.async_wait(
        [self = shared_from_this(), round = settle_round_](const boost::system::error_code& error) {
            if (error || self->stopped_ || round != self->settle_round_) return;
            self->settle_armed_ = false;
            self->LookNow(true);
        });
}

void PageFollow::ArmTick(std::chrono::milliseconds after) {
    tick_.expires_after(after);
    tick_.async_wait([self = shared_from_this(), after](const boost::system::error_code& error) {
        if (error || self->stopped_) return;
        if (self->notifying_) self->dir_watch_.Rewatch();
        self->LookNow(false);
        self->ArmTick(after);
    });
}

}  // namespace view
