// The view's HTTP server: the live view page, the event stream, the screen
// as JSON and the page file itself, from one I/O thread. A listener hands
// each connection to an HTTP session (http_session.h), which answers through
// Route (route.h) and gives /events to an event stream (event_stream.h); all
// of them share one SharedState (shared_state.h).
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <cstddef>
#include <memory>
#include <string>

#include "view/http/shared_state.h"
#include "view/watch/page_watch.h"

namespace view {

class Listener;

class Server {
public:
    // `display`: the view's own size, theme and scale, which the page and
    // /screen.png use where they choose nothing else.
    Server(boost::asio::io_context& io, PageWatch& watch, ServerLimits limits = {},
           DisplayOptions display = {});
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and listens; false with the reason in *error.
    bool Listen(const boost::asio::ip::tcp::endpoint& endpoint, std::string* error);
    boost::asio::ip::tcp::endpoint LocalEndpoint() const;

    // From now on every request must carry `token` (none when empty).
    void SetToken(std::string token);

    // Looks at the page and starts accepting connections.
    void Start();

    // Closes the listener, every connection and the timers, so that the I/O
    // thread's run() returns. Call it on the I/O thread.
    void Stop();

    // Event streams open now (for tests and the benchmark).
    std::size_t StreamCount() const;

private:
    std::shared_ptr<SharedState> state_;
    std::shared_ptr<Listener> listener_;
};

}  // namespace view
