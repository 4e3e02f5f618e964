// One connection from its first byte: requests read and answered one at a
// time until either side ends it, or an event stream takes it over.
#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/serializer.hpp>
#include <cstdint>
#include <memory>
#include <optional>

#include "view/http/route.h"
#include "view/http/shared_state.h"

namespace view {

class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    HttpSession(std::shared_ptr<SharedState> state, boost::asio::ip::tcp::socket socket);
    ~HttpSession();

    void Run();
    void Close();

    // Its place in the order of connections: lower is older.
    std::uint64_t number() const { return number_; }
    // It has no whole request in hand: waiting for one, or lingering.
    bool waiting() const { return waiting_; }

private:
    void ReadRequest();
    void OnRequest(const boost::beast::error_code& error);
    void Send(Answer answer);
    void SendPicture(Answer answer);
    void OnSent(const boost::beast::error_code& error);
    void Linger();
    void Drain();

    std::shared_ptr<SharedState> state_;
    boost::beast::tcp_stream stream_;
    boost::beast::flat_buffer buffer_;
    std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> parser_;
    Answer answer_;  // the one being sent
    std::optional<boost::beast::http::response_serializer<boost::beast::http::string_body>>
        serializer_;
    char scratch_[512];  // what a closing client still sends, discarded
    std::uint64_t number_ = 0;
    bool waiting_ = true;
    bool closed_ = false;
};

}  // namespace view
