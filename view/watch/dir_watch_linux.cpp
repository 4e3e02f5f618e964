// Linux side of the page's directory watch: one inotify instance read through
// Asio, with a watch on the page's directory and one on its parent.
#include <sys/inotify.h>
#include <unistd.h>

#include <boost/asio/posix/stream_descriptor.hpp>
#include <cerrno>
#include <cstring>
#include <utility>

#include "view/watch/dir_watch.h"

namespace view {

namespace net = boost::asio;

namespace {
// Every way the page can be put in place, rewritten, touched or taken away.
constexpr std::uint32_t kDirMask = IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_DELETE |
                                   IN_MOVED_FROM | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF |
                                   IN_ONLYDIR | IN_EXCL_UNLINK;
// The page's directory made, removed or renamed; the parent itself moved away.
constexpr std::uint32_t kParentMask =
    IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_MOVE_SELF | IN_ONLYDIR;
}  // namespace

struct DirWatch::Impl : std::enable_shared_from_this<Impl> {
    Impl(net::io_context& io, const std::filesystem::path& page, Handler handler)
        : descriptor(io),
          dir(page.parent_path()),
          parent(dir.parent_path()),
          page_name(page.filename().string()),
          dir_name(dir.filename().string()),
          handler(std::move(handler)) {}

    // Puts the directory's watch on whatever directory is at its path now.
    // False with errno when there is none.
    bool WatchDir() {
        const int wd = inotify_add_watch(fd, dir.c_str(), kDirMask);
        const int failure = errno;
        if (dir_wd >= 0 && wd != dir_wd) inotify_rm_watch(fd, dir_wd);
        dir_wd = wd;
        errno = failure;
        return wd >= 0;
    }

    // The parent's watch, put back once a directory is at its path. It comes
    // before the directory's, so that the directory's coming is told.
    void Rewatch() {
        if (stopped || fd < 0 || parent_wd >= 0) return;
        parent_wd = inotify_add_watch(fd, parent.c_str(), kParentMask);
        if (parent_wd < 0) return;
        WatchDir();
        handler(Change::kWatchedAgain);
    }

    void Read() {
        descriptor.async_read_some(
            net::buffer(buffer),
            [self = shared_from_this()](const boost::system::error_code& error, std::size_t size) {
                self->OnRead(error, size);
            });
    }

    void OnRead(const boost::system::error_code& error, std::size_t size) {
        if (stopped || error) return;
        bool settled = false;
        bool writing = false;
        bool rewatch = false;
        for (std::size_t at = 0; at + sizeof(inotify_event) <= size;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += sizeof(inotify_event) + event->len;
            const bool named = event->len > 0;
            if (event->mask & IN_Q_OVERFLOW) {
                settled = true;  // events were lost: only a look tells
                rewatch = true;
            } else if (event->wd == dir_wd) {
                if (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
                    settled = true;
                    rewatch = true;
                } else if (named && std::strcmp(event->name, page_name.c_str()) == 0) {
                    if ((event->mask & IN_CREATE) && !(event->mask & IN_ISDIR))
                        writing = true;
                    else
                        settled = true;
                }
            } else if (event->wd == parent_wd && (event->mask & (IN_IGNORED | IN_MOVE_SELF))) {
                // The parent went: Rewatch puts the watch on whatever comes at its path.
                if (event->mask & IN_MOVE_SELF) inotify_rm_watch(fd, parent_wd);
                parent_wd = -1;
                settled = true;
                rewatch = true;
            } else if (event->wd == parent_wd && named &&
                       std::strcmp(event->name, dir_name.c_str()) == 0) {
                settled = true;
                rewatch = true;
            }
        }
        // Watch the new directory before looking, so that nothing written
        // into it after the look is missed.
        if (rewatch) WatchDir();
        if (settled)
            handler(Change::kSettled);
        else if (writing)
            handler(Change::kWriting);
        if (!stopped) Read();
    }

    net::posix::stream_descriptor descriptor;
    const std::filesystem::path dir;
    const std::filesystem::path parent;
    const std::string page_name;
    const std::string dir_name;
    const Handler handler;
    int fd = -1;
    int dir_wd = -1;
    int parent_wd = -1;
    bool stopped = false;
    alignas(inotify_event) char buffer[16384];  // room for hundreds of events per read
};

DirWatch::DirWatch(net::io_context& io, std::filesystem::path page, Handler handler)
    : impl_(std::make_shared<Impl>(io, page, std::move(handler))) {}

DirWatch::~DirWatch() { Stop(); }

bool DirWatch::Start(std::string* why) {
    Impl& impl = *impl_;
    impl.fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (impl.fd < 0) {
        *why = std::string("inotify: ") + std::strerror(errno);
        return false;
    }
    impl.parent_wd = inotify_add_watch(impl.fd, impl.parent.c_str(), kParentMask);
    if (impl.parent_wd < 0 || (!impl.WatchDir() && errno != ENOENT && errno != ENOTDIR)) {
        *why = "inotify on " + (impl.parent_wd < 0 ? impl.parent : impl.dir).string() + ": " +
               std::strerror(errno);
        close(impl.fd);
        impl.fd = -1;
        return false;
    }
    impl.descriptor.assign(impl.fd);
    impl.Read();
    return true;
}

void DirWatch::Rewatch() { impl_->Rewatch(); }

void DirWatch::Stop() {
    if (impl_->stopped) return;
    impl_->stopped = true;
    boost::system::error_code ignored;
    if (impl_->descriptor.is_open()) impl_->descriptor.close(ignored);
}

}  // namespace view
