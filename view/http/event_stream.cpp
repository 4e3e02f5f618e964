#include "view/http/event_stream.h"

#include <boost/asio/write.hpp>
#include <boost/beast/http/chunk_encode.hpp>
#include <boost/beast/http/write.hpp>
#include <utility>

namespace view {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

EventStream::EventStream(std::shared_ptr<SharedState> state, tcp::socket socket, Response head)
    : state_(std::move(state)), stream_(std::move(socket)), head_(std::move(head)) {}

EventStream::~EventStream() { state_->streams.erase(this); }

void EventStream::Run() {
    state_->streams[this] = weak_from_this();
    beast::error_code ignored;
    stream_.socket().set_option(
        net::socket_base::send_buffer_size(state_->limits.stream_send_buffer), ignored);

    // A read stays pending for as long as the stream lasts, without a time
    // limit, so a client that goes away is noticed at once; only writes are
    // timed from here on.
    stream_.expires_never();
    WatchForClose();

    queue_.push_back(state_->screen_event);  // the state now, before any later change
    writing_ = true;
    serializer_.emplace(head_);
    stream_.expires_after(state_->limits.send_timeout);
    http::async_write_header(stream_, *serializer_,
                             [self = shared_from_this()](beast::error_code error, std::size_t) {
                                 if (self->closed_) return;
                                 if (error) return self->Close();
                                 self->WriteNext();
                             });
}

void EventStream::Push(const std::shared_ptr<const std::string>& message) {
    if (closed_) return;
    if (queue_.size() >= state_->limits.stream_queue_limit) {
        Close();
        return;
    }
    queue_.push_back(message);
    if (!writing_) WriteNext();
}

void EventStream::Close() {
    if (closed_) return;
    closed_ = true;
    state_->streams.erase(this);
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
    queue_.clear();
}

void EventStream::WatchForClose() {
    stream_.async_read_some(net::buffer(scratch_),
                            [self = shared_from_this()](beast::error_code error, std::size_t) {
                                if (self->closed_) return;
                                if (error) return self->Close();
                                self->WatchForClose();  // anything it sends is ignored
                            });
}

void EventStream::WriteNext() {
    if (queue_.empty()) {
        writing_ = false;
        return;
    }
    writing_ = true;
    stream_.expires_after(state_->limits.send_timeout);
    auto done = [self = shared_from_this()](beast::error_code error, std::size_t) {
        if (self->closed_) return;
        if (error) return self->Close();
        self->queue_.pop_front();
        self->WriteNext();
    };
    // HTTP/1.0 has no chunks: there the stream's end is the connection's.
    const net::const_buffer message = net::buffer(*queue_.front());
    if (head_.chunked())
        net::async_write(stream_, http::make_chunk(message), std::move(done));
    else
        net::async_write(stream_, message, std::move(done));
}

}  // namespace view
