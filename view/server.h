// The view's HTTP server: the live view page, the event stream, the screen
// as JSON and the page file itself, from one I/O thread.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "view/page_watch.h"

namespace view {

struct ServerLimits {
    FollowSettings follow;                                 // when the page is looked at
    std::chrono::milliseconds keep_alive_interval{15000};  // comment on idle event streams
    std::chrono::milliseconds request_timeout{30000};  // a connection's wait for a whole request
    std::chrono::milliseconds send_timeout{30000};     // one write to a client
    std::size_t max_streams = 100;                     // event streams at once; more get 503
    std::size_t stream_queue_limit = 64;               // events waiting per stream
    int stream_send_buffer = 65536;   // the socket's own buffer for a stream, so that a client
                                      // that stops reading fills it and then the queue soon
    std::size_t header_limit = 8192;  // request line and fields; more get 431
};

class Server {
public:
    Server(boost::asio::io_context& io, PageWatch& watch, ServerLimits limits = {});
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and listens; false with the reason in *error.
    bool Listen(const boost::asio::ip::tcp::endpoint& endpoint, std::string* error);
    boost::asio::ip::tcp::endpoint LocalEndpoint() const;

    // Looks at the page and starts accepting connections.
    void Start();

    // Closes the listener, every connection and the timers, so that the I/O
    // thread's run() returns. Call it on the I/O thread.
    void Stop();

    // Event streams open now (for tests and the benchmark).
    std::size_t StreamCount() const;

    class Core;

private:
    std::shared_ptr<Core> core_;
};

// The screen state as served by /screen.json and in each event.
std::string ScreenJson(const ScreenState& state, const std::string& page);

// One event-stream message: "event: NAME", the data (one "data:" line per
// line of it) and the blank line that ends it.
std::string EventMessage(const std::string& name, const std::string& data);

}  // namespace view
