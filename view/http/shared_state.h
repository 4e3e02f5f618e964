// What every connection of the view shares: the screen as it is served now,
// the open connections, and the limits they keep to. One I/O thread owns it.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "view/history/screen_history.h"
#include "view/http/route.h"
#include "view/lcd/lcd_picture.h"
#include "view/lcd/picture_maker.h"
#include "view/watch/page_watch.h"

namespace view {

struct ServerLimits {
    FollowSettings follow;                                 // when the page is looked at
    std::chrono::milliseconds keep_alive_interval{15000};  // comment on idle event streams
    std::chrono::milliseconds request_timeout{30000};  // a connection's wait for a whole request
    std::chrono::milliseconds send_timeout{30000};     // one write to a client
    std::size_t max_streams = 100;                     // event streams at once; more get 503
    std::size_t stream_queue_limit = 64;               // events waiting per stream
    int stream_send_buffer = 65536;     // the socket's own buffer for a stream, so that a client
                                        // that stops reading fills it and then the queue soon
    std::size_t header_limit = 8192;    // request line and fields; more get 431
    std::size_t max_connections = 960;  // open at once, below the descriptor limit
    HistoryLimits history;              // the screens kept for looking back
};

// The most connections to keep open under a limit of `descriptors` open
// files (0: none), leaving room for the view's own files and sockets.
std::size_t ConnectionCap(std::size_t descriptors);

// The screen state as served by /screen.json and in each event: the rows
// decoded with `encoding`, their bytes as "codes", and the view's options.
std::string ScreenJson(const ScreenState& state, const std::string& page,
                       Encoding encoding = Encoding::kWindows1252,
                       const DisplayOptions& display = {});

// The wall clock in ms since 1970, as the kept screens are stamped.
std::int64_t NowMs();

// One event-stream message: "event: NAME", the data (one "data:" line per
// line of it) and the blank line that ends it.
std::string EventMessage(const std::string& name, const std::string& data);

class HttpSession;
class EventStream;

class SharedState {
public:
    SharedState(boost::asio::io_context& io, PageWatch& watch, ServerLimits limits,
                DisplayOptions display = {});

    // Serves the watch's state from now on: /screen.json and the next events.
    void Refresh();

    // What a request that comes now is answered from.
    Snapshot SnapshotNow() const;

    // Queues `message` on every open event stream.
    void Broadcast(const std::shared_ptr<const std::string>& message);

    // Makes room for one more connection at the cap by closing the oldest
    // that has not sent a whole request; false when none can go.
    bool MakeRoom();

    // Closes every open connection and stops the timers.
    void CloseAll();

    boost::asio::io_context& io;
    PageWatch& watch;
    const ServerLimits limits;
    const DisplayOptions display;        // the view's own size, theme and scale
    ScreenHistory history;               // every change seen, within its bounds
    PictureMaker pictures;               // /screen.png, drawn off the I/O thread
    std::shared_ptr<PageFollow> follow;  // looks at the page; set by Server::Start
    boost::asio::steady_timer keep_alive_timer;
    const std::string page_name;                      // the page's absolute path, UTF-8
    std::string screen_json;                          // the state as /screen.json serves it
    std::shared_ptr<const std::string> screen_event;  // the same as an event
    // Every connection still reading requests, and every open event stream.
    std::unordered_map<HttpSession*, std::weak_ptr<HttpSession>> sessions;
    std::unordered_map<EventStream*, std::weak_ptr<EventStream>> streams;
    std::uint64_t accepted = 0;  // connections so far; each session's number in that order
    std::string token;           // what every request must carry; empty: none needed
    unsigned short port = 0;     // where the listener listens
    bool stopped = false;
};

}  // namespace view
