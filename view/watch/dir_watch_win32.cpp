// Windows side of the page's directory watch: ReadDirectoryChangesW,
// overlapped, on the page's directory and on its parent, waited for by one
// small thread that posts what it sees to the I/O thread. At most one post is
// on its way at a time, in memory of the watch's own: what is seen meanwhile
// rides along with it, and the watch allocates nothing per change.
#include <windows.h>

#include <atomic>
#include <boost/asio/post.hpp>
#include <cstddef>
#include <cwchar>
#include <new>
#include <thread>
#include <utility>

#include "view/watch/dir_watch.h"

namespace view {

namespace net = boost::asio;

namespace {
constexpr DWORD kDirFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                             FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE |
                             FILE_NOTIFY_CHANGE_ATTRIBUTES;
constexpr DWORD kParentFilter = FILE_NOTIFY_CHANGE_DIR_NAME;

std::string Reason(const char* what, DWORD error) {
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                   text, sizeof text, nullptr);
    std::string reason = std::string(what) + ": " + text;
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == ' ' || reason.back() == '.'))
        reason.pop_back();
    return reason;
}

// True when `handle` is the directory at `path` now, not one removed since
// (Wine tells nothing on a removed directory's handle).
bool IsDirectoryAt(HANDLE handle, const std::filesystem::path& path) {
    const HANDLE now =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (now == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION watched{};
    BY_HANDLE_FILE_INFORMATION there{};
    const bool same = GetFileInformationByHandle(handle, &watched) &&
                      GetFileInformationByHandle(now, &there) &&
                      watched.dwVolumeSerialNumber == there.dwVolumeSerialNumber &&
                      watched.nFileIndexHigh == there.nFileIndexHigh &&
                      watched.nFileIndexLow == there.nFileIndexLow;
    CloseHandle(now);
    return same;
}

// One directory handle with its pending read of changes.
struct Watched {
    HANDLE handle = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped{};
    alignas(DWORD) char buffer[16384];

    bool Open(const std::filesystem::path& path) {
        Close();
        handle =
            CreateFileW(path.c_str(), FILE_LIST_DIRECTORY,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
        return handle != INVALID_HANDLE_VALUE;
    }

    bool Ask(DWORD filter) {
        ResetEvent(overlapped.hEvent);
        return ReadDirectoryChangesW(handle, buffer, sizeof buffer, FALSE, filter, nullptr,
                                     &overlapped, nullptr) != 0;
    }

    void Close() {
        if (handle == INVALID_HANDLE_VALUE) return;
        CancelIoEx(handle, &overlapped);
        DWORD ignored = 0;
        GetOverlappedResult(handle, &overlapped, &ignored, TRUE);
        CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }

    bool open() const { return handle != INVALID_HANDLE_VALUE; }
};

// Room for the one post on its way to the I/O thread. It is taken on the
// watch's thread and given back on the I/O thread before the post runs.
class PostMemory {
public:
    void* Take(std::size_t size) {
        if (size <= sizeof storage_ && !in_use_.exchange(true)) return storage_;
        return ::operator new(size);
    }
    void Give(void* block) {
        if (block == storage_)
            in_use_.store(false);
        else
            ::operator delete(block);
    }

private:
    alignas(std::max_align_t) unsigned char storage_[256];
    std::atomic<bool> in_use_{false};
};

template <typename T>
struct PostAllocator {
    using value_type = T;
    explicit PostAllocator(PostMemory* memory) : memory(memory) {}
    template <typename U>
    PostAllocator(const PostAllocator<U>& other) : memory(other.memory) {}
    T* allocate(std::size_t count) { return static_cast<T*>(memory->Take(sizeof(T) * count)); }
    void deallocate(T* block, std::size_t) { memory->Give(block); }
    template <typename U>
    bool operator==(const PostAllocator<U>& other) const {
        return memory == other.memory;
    }
    template <typename U>
    bool operator!=(const PostAllocator<U>& other) const {
        return memory != other.memory;
    }
    PostMemory* memory;
};

bool SameName(const FILE_NOTIFY_INFORMATION& entry, const std::wstring& name) {
    const int length = static_cast<int>(entry.FileNameLength / sizeof(WCHAR));
    return CompareStringOrdinal(entry.FileName, length, name.c_str(), static_cast<int>(name.size()),
                                TRUE) == CSTR_EQUAL;
}
}  // namespace

struct DirWatch::Impl : std::enable_shared_from_this<Impl> {
    Impl(net::io_context& io, const std::filesystem::path& page, Handler handler)
        : io(io),
          dir(page.parent_path()),
          parent(dir.parent_path()),
          page_name(page.filename().wstring()),
          dir_name(dir.filename().wstring()),
          handler(std::move(handler)) {}

    ~Impl() {
        if (stop_event) CloseHandle(stop_event);
        if (rewatch_event) CloseHandle(rewatch_event);
        if (dir_watch.overlapped.hEvent) CloseHandle(dir_watch.overlapped.hEvent);
        if (parent_watch.overlapped.hEvent) CloseHandle(parent_watch.overlapped.hEvent);
    }

    // Watches whatever directory is at the page's directory's path now.
    void WatchDir() {
        if (!dir_watch.Open(dir) || !dir_watch.Ask(kDirFilter)) dir_watch.Close();
    }

    // A watch back outweighs a settled change, which outweighs a file still
    // being written.
    static constexpr unsigned kWritingSeen = 1;
    static constexpr unsigned kSettledSeen = 2;
    static constexpr unsigned kWatchedAgainSeen = 4;

    // What the I/O thread runs: the changes seen since the last post.
    struct Delivery {
        std::shared_ptr<Impl> self;
        using allocator_type = PostAllocator<Delivery>;
        allocator_type get_allocator() const noexcept { return allocator_type(&self->post_memory); }
        void operator()() const {
            const unsigned seen = self->seen.exchange(0);
            if (self->stopped) return;
            self->handler(seen & kWatchedAgainSeen ? Change::kWatchedAgain
                          : seen & kSettledSeen    ? Change::kSettled
                                                   : Change::kWriting);
        }
    };

    void Tell(Change change) {
        const unsigned bit = change == Change::kWatchedAgain ? kWatchedAgainSeen
                             : change == Change::kSettled    ? kSettledSeen
                                                             : kWritingSeen;
        if (seen.fetch_or(bit) != 0) return;  // the post on its way takes it along
        net::post(io, Delivery{shared_from_this()});
    }

    void Run() {
        for (;;) {
            HANDLE waits[4] = {stop_event, rewatch_event, parent_watch.overlapped.hEvent,
                               dir_watch.overlapped.hEvent};
            const DWORD count = dir_watch.open() ? 4 : 3;
            const DWORD which = WaitForMultipleObjects(count, waits, FALSE, INFINITE);
            if (which == WAIT_OBJECT_0 || which == WAIT_FAILED) break;
            if (which == WAIT_OBJECT_0 + 1) {
                OnRewatch();
            } else if (which == WAIT_OBJECT_0 + 2) {
                OnParent();
            } else if (which == WAIT_OBJECT_0 + 3) {
                OnDir();
            }
        }
        dir_watch.Close();
        parent_watch.Close();
    }

    // The parent's watch, put back once a directory is at its path where it
    // was lost or watches one removed since; the directory's follows.
    void OnRewatch() {
        if (parent_watch.open() && IsDirectoryAt(parent_watch.handle, parent)) return;
        if (!parent_watch.Open(parent) || !parent_watch.Ask(kParentFilter)) {
            parent_watch.Close();
            ResetEvent(parent_watch.overlapped.hEvent);
            return;
        }
        WatchDir();
        Tell(Change::kWatchedAgain);
    }

    void OnParent() {
        DWORD size = 0;
        const bool ok =
            GetOverlappedResult(parent_watch.handle, &parent_watch.overlapped, &size, FALSE);
        // Zero bytes: the buffer overflowed and the names are lost.
        bool moved = !ok || size == 0;
        for (DWORD at = 0; ok && size > 0;) {
            const auto* entry =
                reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(parent_watch.buffer + at);
            if (SameName(*entry, dir_name)) moved = true;
            if (entry->NextEntryOffset == 0) break;
            at += entry->NextEntryOffset;
        }
        if (moved) {
            WatchDir();
            Tell(Change::kSettled);
        }
        if (!parent_watch.Ask(kParentFilter)) parent_watch.Close();
        if (!parent_watch.open()) ResetEvent(parent_watch.overlapped.hEvent);
    }

    void OnDir() {
        DWORD size = 0;
        const bool ok = GetOverlappedResult(dir_watch.handle, &dir_watch.overlapped, &size, FALSE);
        if (!ok) {
            // The directory went away under the handle: the parent's watch
            // tells when another comes.
            dir_watch.Close();
            WatchDir();
            Tell(Change::kSettled);
            return;
        }
        bool settled = size == 0;  // the buffer overflowed: only a look tells
        bool writing = false;
        for (DWORD at = 0; size > 0;) {
            const auto* entry =
                reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(dir_watch.buffer + at);
            if (SameName(*entry, page_name)) {
                // No close is told: a file made or written may be half-written.
                if (entry->Action == FILE_ACTION_ADDED || entry->Action == FILE_ACTION_MODIFIED)
                    writing = true;
                else
                    settled = true;
            }
            if (entry->NextEntryOffset == 0) break;
            at += entry->NextEntryOffset;
        }
        if (settled)
            Tell(Change::kSettled);
        else if (writing)
            Tell(Change::kWriting);
        if (!dir_watch.Ask(kDirFilter)) {
            dir_watch.Close();
            WatchDir();
        }
    }

    net::io_context& io;
    const std::filesystem::path dir;
    const std::filesystem::path parent;
    const std::wstring page_name;
    const std::wstring dir_name;
    const Handler handler;
    HANDLE stop_event = nullptr;
    HANDLE rewatch_event = nullptr;  // auto-reset: Rewatch asks the thread to look
    Watched dir_watch;
    Watched parent_watch;
    std::thread thread;
    std::atomic<bool> stopped{false};
    std::atomic<unsigned> seen{0};  // changes not yet delivered
    PostMemory post_memory;
};

DirWatch::DirWatch(net::io_context& io, std::filesystem::path page, Handler handler)
    : impl_(std::make_shared<Impl>(io, page, std::move(handler))) {}

DirWatch::~DirWatch() { Stop(); }

bool DirWatch::Start(std::string* why) {
    Impl& impl = *impl_;
    impl.stop_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    impl.rewatch_event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    impl.dir_watch.overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    impl.parent_watch.overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!impl.stop_event || !impl.rewatch_event || !impl.dir_watch.overlapped.hEvent ||
        !impl.parent_watch.overlapped.hEvent) {
        *why = Reason("CreateEvent", GetLastError());
        return false;
    }
    // A share that gives no notifications refuses the first request.
    if (!impl.parent_watch.Open(impl.parent) || !impl.parent_watch.Ask(kParentFilter)) {
        *why = Reason("ReadDirectoryChangesW", GetLastError());
        impl.parent_watch.Close();
        return false;
    }
    impl.WatchDir();
    impl.thread = std::thread([self = impl_] { self->Run(); });
    return true;
}

void DirWatch::Rewatch() {
    if (!impl_->stopped && impl_->rewatch_event) SetEvent(impl_->rewatch_event);
}

void DirWatch::Stop() {
    if (impl_->stopped.exchange(true)) return;
    if (impl_->thread.joinable()) {
        SetEvent(impl_->stop_event);
        impl_->thread.join();
    }
}

}  // namespace view
