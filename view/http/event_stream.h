// An event stream: the connection after a GET /events, from the response's
// header on. It sends the screen now and every later change, with keep-alive
// comments between, until the client goes or falls too far behind.
#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/serializer.hpp>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "view/http/route.h"
#include "view/http/shared_state.h"

namespace view {

class EventStream : public std::enable_shared_from_this<EventStream> {
public:
    // Takes the connection over; `head` is the response whose header starts
    // the stream.
    EventStream(std::shared_ptr<SharedState> state, boost::asio::ip::tcp::socket socket,
                Response head);
    ~EventStream();

    void Run();

    // Queues a message; a client too far behind is dropped.
    void Push(const std::shared_ptr<const std::string>& message);

    void Close();

private:
    void WatchForClose();
    void WriteNext();

    std::shared_ptr<SharedState> state_;
    boost::beast::tcp_stream stream_;
    Response head_;
    std::optional<boost::beast::http::response_serializer<boost::beast::http::string_body>>
        serializer_;
    std::deque<std::shared_ptr<const std::string>> queue_;  // messages not yet written
    char scratch_[512];  // what the client still sends, discarded
    bool writing_ = false;
    bool closed_ = false;
};

}  // namespace view
