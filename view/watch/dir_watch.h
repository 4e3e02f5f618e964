// Tells when the OS reports a change under the page's name: inotify on Linux,
// ReadDirectoryChangesW on Windows, delivered on the view's I/O thread. It
// watches the page's directory, and its parent for that directory coming and
// going. One source file per platform: dir_watch_linux.cpp, dir_watch_win32.cpp.
#pragma once

#include <boost/asio/io_context.hpp>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace view {

class DirWatch {
public:
    enum class Change {
        kSettled,       // the page was replaced, closed after writing, deleted, or its
                        // directory came or went; or events were lost: look now
        kWriting,       // a file was just made under the page's name, or written without a
                        // close that can be seen: its writer may still be at it
        kWatchedAgain,  // a watch lost with its directory is back on the directory made
                        // again: look now
    };
    // Called once per batch of notifications, with the most urgent change in it.
    using Handler = std::function<void(Change)>;

    DirWatch(boost::asio::io_context& io, std::filesystem::path page, Handler handler);
    ~DirWatch();
    DirWatch(const DirWatch&) = delete;
    DirWatch& operator=(const DirWatch&) = delete;

    // Sets the watch up; false, with the reason in *why, when the system or
    // the file system gives no notifications here.
    bool Start(std::string* why);

    // Puts back a watch lost when its directory was removed, once a
    // directory is at its path again; the handler then gets kWatchedAgain.
    // Called now and then: no notification tells of the directory's parent
    // coming back.
    void Rewatch();

    // Stops the notifications; no handler is called after it returns.
    void Stop();

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;
};

}  // namespace view
