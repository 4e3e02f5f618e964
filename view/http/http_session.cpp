#include "view/http/http_session.h"

#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>
#include <utility>

#include "view/http/event_stream.h"

namespace view {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {
// How long a connection refused with an error may still send before it is cut.
constexpr std::chrono::seconds kLingerTime{1};

bool IsParseError(const beast::error_code& error) {
    return error.category() == http::make_error_code(http::error::bad_target).category() &&
           error != http::error::end_of_stream && error != http::error::partial_message;
}
}  // namespace

HttpSession::HttpSession(std::shared_ptr<SharedState> state, tcp::socket socket)
    : state_(std::move(state)), stream_(std::move(socket)) {}

HttpSession::~HttpSession() { state_->sessions.erase(this); }

void HttpSession::Run() {
    number_ = ++state_->accepted;
    state_->sessions[this] = weak_from_this();
    ReadRequest();
}

void HttpSession::Close() {
    if (closed_) return;
    closed_ = true;
    state_->sessions.erase(this);
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
}

void HttpSession::ReadRequest() {
    waiting_ = true;
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(state_->limits.header_limit));
    parser_->body_limit(state_->limits.header_limit);
    stream_.expires_after(state_->limits.request_timeout);
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code error, std::size_t) {
                         self->OnRequest(error);
                     });
}

void HttpSession::OnRequest(const beast::error_code& error) {
    if (closed_) return;
    waiting_ = false;
    if (error == http::error::header_limit)
        return Send(Refusal(http::status::request_header_fields_too_large));
    if (error == http::error::body_limit) return Send(Refusal(http::status::payload_too_large));
    if (IsParseError(error)) return Send(Refusal(http::status::bad_request));
    if (error) return Close();  // gone, timed out, or cut off mid-request
    Answer answer = Route(parser_->get(), state_->SnapshotNow());
    if (answer.picture) return SendPicture(std::move(answer));
    Send(std::move(answer));
}

void HttpSession::SendPicture(Answer answer) {
    // A kept version's picture, or the screen's now; a version's bytes never change.
    const ScreenState& now = state_->watch.state();
    const Rows bytes = answer.picture_of ? answer.picture_of->bytes : now.bytes;
    const std::uint64_t version = answer.picture_of ? answer.picture_of->version : now.version;
    const PictureOptions options = *answer.picture;
    auto waiting = std::make_shared<Answer>(std::move(answer));
    const bool taken = state_->pictures.Make(
        bytes, version, options,
        [self = shared_from_this(), waiting](std::shared_ptr<const std::string> png) {
            if (self->closed_) return;
            waiting->response.body() = *png;
            waiting->response.prepare_payload();
            self->Send(std::move(*waiting));
        });
    if (!taken) Send(PicturesBusy(parser_->get()));
}

void HttpSession::Send(Answer answer) {
    if (answer.stream) {
        // The stream takes the connection over; this session ends here.
        closed_ = true;
        std::make_shared<EventStream>(state_, stream_.release_socket(), std::move(answer.response))
            ->Run();
        return;
    }
    answer_ = std::move(answer);
    serializer_.emplace(answer_.response);
    stream_.expires_after(state_->limits.send_timeout);
    auto done = [self = shared_from_this()](beast::error_code error, std::size_t) {
        self->OnSent(error);
    };
    if (answer_.head)
        http::async_write_header(stream_, *serializer_, std::move(done));
    else
        http::async_write(stream_, *serializer_, std::move(done));
}

void HttpSession::OnSent(const beast::error_code& error) {
    serializer_.reset();
    if (closed_) return;
    if (error) return Close();
    if (answer_.keep_alive) return ReadRequest();
    Linger();
}

// Ends a connection whose client may still be sending: shut our side, then
// read what is left for a moment before closing, so the response is not lost
// to a reset. The moment is counted once, however much the client sends.
void HttpSession::Linger() {
    waiting_ = true;
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.expires_after(kLingerTime);
    Drain();
}

void HttpSession::Drain() {
    stream_.async_read_some(net::buffer(scratch_),
                            [self = shared_from_this()](beast::error_code error, std::size_t) {
                                if (error || self->closed_) return self->Close();
                                self->Drain();
                            });
}

}  // namespace view
