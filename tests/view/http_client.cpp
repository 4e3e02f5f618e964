#include "tests/view/http_client.h"

#include <boost/asio/write.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>
#include <cctype>
#include <limits>

namespace viewtest {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

net::io_context& SharedContext() {
    static net::io_context io;
    return io;
}

namespace {
constexpr std::chrono::seconds kReplyLimit{10};

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

tcp::endpoint Loopback(std::uint16_t port) { return {net::ip::make_address("127.0.0.1"), port}; }

// Runs the asynchronous operation that `start` begins for at most `limit`.
// Out of time, the stream is closed and the result is beast::error::timeout.
template <typename Start>
beast::error_code RunWithLimit(beast::tcp_stream& stream, std::chrono::steady_clock::duration limit,
                               Start start) {
    net::io_context& io = SharedContext();
    bool done = false;
    beast::error_code result;
    stream.expires_after(limit);
    start([&](beast::error_code error, std::size_t) {
        result = error;
        done = true;
    });
    io.restart();
    while (!done && io.run_one() != 0) {
    }
    return result;
}

bool Connect(beast::tcp_stream& stream, std::uint16_t port) {
    net::io_context& io = SharedContext();
    bool done = false;
    beast::error_code result;
    stream.expires_after(kReplyLimit);
    stream.async_connect(Loopback(port), [&](beast::error_code error) {
        result = error;
        done = true;
    });
    io.restart();
    while (!done && io.run_one() != 0) {
    }
    return !result;
}

Reply ReadReply(beast::tcp_stream& stream, bool head) {
    beast::flat_buffer buffer;
    http::response_parser<http::string_body> parser;
    parser.body_limit(1 << 20);
    parser.skip(head);
    const beast::error_code error = RunWithLimit(
        stream, kReplyLimit, [&](auto done) { http::async_read(stream, buffer, parser, done); });
    Reply reply;
    if (error) return reply;
    const auto& response = parser.get();
    reply.status = response.result_int();
    for (const auto& field : response)
        reply.fields[Lower(std::string(field.name_string()))] = std::string(field.value());
    reply.body = response.body();
    return reply;
}

Reply Exchange(std::uint16_t port, const std::string& bytes, bool head) {
    beast::tcp_stream stream(SharedContext());
    if (!Connect(stream, port)) return {};
    const beast::error_code error = RunWithLimit(stream, kReplyLimit, [&](auto done) {
        net::async_write(stream, net::buffer(bytes), done);
    });
    if (error) return {};
    return ReadReply(stream, head);
}
}  // namespace

std::string Reply::Field(const std::string& name) const {
    const auto found = fields.find(Lower(name));
    return found == fields.end() ? "<none>" : found->second;
}

Reply Request(std::uint16_t port, const std::string& target, const std::string& method) {
    return Exchange(
        port, method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
        method == "HEAD");
}

Reply RawRequest(std::uint16_t port, const std::string& bytes) {
    return Exchange(port, bytes, false);
}

EventClient::EventClient(std::uint16_t port) : stream_(SharedContext()) {
    parser_.body_limit(std::numeric_limits<std::uint64_t>::max());
    if (!Connect(stream_, port)) return;
    const std::string request =
        "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n\r\n";
    beast::error_code error = RunWithLimit(stream_, kReplyLimit, [&](auto done) {
        net::async_write(stream_, net::buffer(request), done);
    });
    if (!error)
        error = RunWithLimit(stream_, kReplyLimit, [&](auto done) {
            http::async_read_header(stream_, buffer_, parser_, done);
        });
    if (!error) status_ = parser_.get().result_int();
}

std::optional<Event> EventClient::Next(std::chrono::milliseconds limit) {
    if (status_ != 200) return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        // Events end at an empty line; comment lines (": ...") carry none.
        const std::string& body = parser_.get().body();
        const std::size_t end = body.find("\n\n", consumed_);
        if (end != std::string::npos) {
            const std::string block = body.substr(consumed_, end + 1 - consumed_);
            consumed_ = end + 2;
            Event event;
            std::size_t start = 0;
            while (start < block.size()) {
                const std::size_t line_end = block.find('\n', start);
                const std::string line = block.substr(start, line_end - start);
                start = line_end + 1;
                if (line.rfind("event: ", 0) == 0) event.name = line.substr(7);
                if (line.rfind("data: ", 0) == 0)
                    event.data += (event.data.empty() ? "" : "\n") + line.substr(6);
            }
            if (!event.name.empty() || !event.data.empty()) return event;
            continue;
        }
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::milliseconds(0)) return std::nullopt;
        const beast::error_code error = RunWithLimit(stream_, left, [&](auto done) {
            http::async_read_some(stream_, buffer_, parser_, done);
        });
        if (error) {
            status_ = -1;
            return std::nullopt;
        }
    }
}

bool EventClient::ClosedWithin(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::milliseconds(0)) return false;
        const beast::error_code error = RunWithLimit(stream_, left, [&](auto done) {
            http::async_read_some(stream_, buffer_, parser_, done);
        });
        if (error == beast::error::timeout) return false;
        if (error) return true;
    }
}

}  // namespace viewtest
