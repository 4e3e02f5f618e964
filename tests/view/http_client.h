// A test's side of the view's HTTP: whole requests, raw bytes, and an event
// stream read event by event. Every wait has a time limit.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace viewtest {

// The I/O context every client of a test program shares; its operations run
// only while a client waits for one.
boost::asio::io_context& SharedContext();

struct Reply {
    int status = 0;                             // 0: no response
    std::map<std::string, std::string> fields;  // names in lower case
    std::string body;
    std::string Field(const std::string& name) const;
};

// One request with `method` for `target` on a fresh connection.
Reply Request(std::uint16_t port, const std::string& target, const std::string& method = "GET");

// Sends `bytes` as they are, then reads the response that comes back.
Reply RawRequest(std::uint16_t port, const std::string& bytes);

struct Event {
    std::string name;
    std::string data;
};

class EventClient {
public:
    // Connects and asks for /events; status() tells the answer.
    explicit EventClient(std::uint16_t port);

    int status() const { return status_; }

    // The next event (keep-alive comments skipped); nullopt when none comes
    // within `limit` or the stream ends.
    std::optional<Event> Next(std::chrono::milliseconds limit = std::chrono::seconds(5));

    // Everything the stream brought so far, comments included.
    const std::string& Received() const { return parser_.get().body(); }

    // True when the server closes the stream within `limit`.
    bool ClosedWithin(std::chrono::milliseconds limit);

private:
    boost::beast::tcp_stream stream_;
    boost::beast::flat_buffer buffer_;
    boost::beast::http::response_parser<boost::beast::http::string_body> parser_;
    std::size_t consumed_ = 0;  // of the body, the part already handed out
    int status_ = 0;
};

}  // namespace viewtest
