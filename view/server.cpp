#include "view/server.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <deque>
#include <nlohmann/json.hpp>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "view/platform.h"
#include "view/view_page.h"

namespace view {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {
constexpr char kServerName[] = "lumivane-view";
constexpr char kKeepAliveComment[] = ": keep-alive\n\n";
// How long a connection refused with an error may still send before it is cut.
constexpr std::chrono::seconds kLingerTime{1};

enum class Resource { kView, kEvents, kScreen, kPage, kNone };

// Only these four names are ever served: nothing in a path is looked up on disk.
Resource ResourceFor(beast::string_view target) {
    const beast::string_view path = target.substr(0, target.find('?'));
    if (path == "/") return Resource::kView;
    if (path == "/events") return Resource::kEvents;
    if (path == "/screen.json") return Resource::kScreen;
    if (path == "/index.htm") return Resource::kPage;
    return Resource::kNone;
}

// The charset a browser should read the page file's bytes with.
const char* HttpCharset(Encoding encoding) {
    return encoding == Encoding::kLatin1 ? "iso-8859-1" : EncodingName(encoding);
}

bool IsParseError(const beast::error_code& error) {
    return error.category() == http::make_error_code(http::error::bad_target).category() &&
           error != http::error::end_of_stream && error != http::error::partial_message;
}
}  // namespace

std::string ScreenJson(const ScreenState& state, const std::string& page) {
    nlohmann::ordered_json json;
    json["rows"] = state.rows;
    json["version"] = state.version;
    json["found"] = state.found;
    json["page"] = page;
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string EventMessage(const std::string& name, const std::string& data) {
    std::string message = "event: " + name + "\n";
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = data.find('\n', start);
        message += "data: " + data.substr(start, end - start) + "\n";
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return message + "\n";
}

class Session;

class Server::Core : public std::enable_shared_from_this<Core> {
public:
    Core(net::io_context& io, PageWatch& watch, ServerLimits limits)
        : io(io),
          watch(watch),
          limits(limits),
          acceptor(io),
          keep_alive_timer(io),
          page_name(watch.page().u8string()) {
        Refresh();
    }

    void Accept();
    void KeepAlive();
    void Refresh();
    void Broadcast(const std::shared_ptr<const std::string>& message);
    void Stop();

    net::io_context& io;
    PageWatch& watch;
    const ServerLimits limits;
    tcp::acceptor acceptor;
    std::shared_ptr<PageFollow> follow;
    net::steady_timer keep_alive_timer;
    const std::string page_name;                      // the page's absolute path, UTF-8
    std::string screen_json;                          // the state as /screen.json serves it
    std::shared_ptr<const std::string> screen_event;  // the same as an event
    std::unordered_map<Session*, std::weak_ptr<Session>> sessions;  // every open connection
    std::size_t streams = 0;                                        // of them, event streams
    bool stopped = false;
};

// One connection: requests and responses until it turns into an event stream,
// which it stays until either side closes it.
class Session : public std::enable_shared_from_this<Session> {
public:
    Session(std::shared_ptr<Server::Core> core, tcp::socket socket)
        : core_(std::move(core)), stream_(std::move(socket)) {}

    ~Session() { core_->sessions.erase(this); }

    void Run() {
        core_->sessions[this] = weak_from_this();
        ReadRequest();
    }

    bool streaming() const { return streaming_; }

    // Queues an event-stream message; a client too far behind is dropped.
    void Push(const std::shared_ptr<const std::string>& message) {
        if (closed_ || !streaming_) return;
        if (queue_.size() >= core_->limits.stream_queue_limit) {
            Close();
            return;
        }
        queue_.push_back(message);
        if (!writing_) WriteNext();
    }

    void Close() {
        if (closed_) return;
        closed_ = true;
        if (streaming_) --core_->streams;
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.close();
        queue_.clear();
    }

private:
    void ReadRequest() {
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(core_->limits.header_limit));
        parser_->body_limit(core_->limits.header_limit);
        stream_.expires_after(core_->limits.request_timeout);
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code error, std::size_t) {
                             self->OnRequest(error);
                         });
    }

    void OnRequest(const beast::error_code& error) {
        if (closed_) return;
        if (error == http::error::header_limit)
            return Refuse(http::status::request_header_fields_too_large);
        if (error == http::error::body_limit) return Refuse(http::status::payload_too_large);
        if (IsParseError(error)) return Refuse(http::status::bad_request);
        if (error) return Close();  // gone, timed out, or cut off mid-request
        Handle(parser_->release());
    }

    void Handle(const http::request<http::string_body>& request) {
        version_ = request.version();
        keep_alive_ = request.keep_alive();
        head_ = request.method() == http::verb::head;
        const Resource resource = ResourceFor(request.target());
        if (resource == Resource::kNone) return Respond(http::status::not_found, "not found\n");
        if (request.method() != http::verb::get && !head_) {
            response_ = {};
            response_.set(http::field::allow, "GET, HEAD");
            return Send(http::status::method_not_allowed, "method not allowed\n",
                        "text/plain; charset=utf-8");
        }
        switch (resource) {
            case Resource::kView:
                response_ = {};
                response_.set("Content-Security-Policy",
                              "default-src 'none'; script-src 'unsafe-inline'; style-src "
                              "'unsafe-inline'; connect-src 'self'; img-src data:");
                response_.set(http::field::cache_control, "no-cache");
                return Send(http::status::ok, kViewPage, "text/html; charset=utf-8");
            case Resource::kScreen:
                response_ = {};
                response_.set(http::field::cache_control, "no-store");
                return Send(http::status::ok, core_->screen_json, "application/json");
            case Resource::kPage:
                return SendPage();
            case Resource::kEvents:
                return StartStream();
            case Resource::kNone:
                break;
        }
    }

    void SendPage() {
        std::string bytes;
        response_ = {};
        response_.set(http::field::cache_control, "no-store");
        if (!platform::ReadWholeFile(core_->watch.page(), &bytes))
            return Send(http::status::not_found, "no page yet\n", "text/plain; charset=utf-8");
        // A row holds whatever the host sent: no script in it may ever run.
        response_.set("Content-Security-Policy", "sandbox");
        Send(http::status::ok, std::move(bytes),
             std::string("text/html; charset=") + HttpCharset(core_->watch.encoding()));
    }

    void Respond(http::status status, std::string body) {
        response_ = {};
        Send(status, std::move(body), "text/plain; charset=utf-8");
    }

    // Answers a request that can't be served and closes the connection.
    void Refuse(http::status status) {
        version_ = 11;
        keep_alive_ = false;
        head_ = false;
        Respond(status, std::string(http::obsolete_reason(status)) + "\n");
    }

    // Sends response_ (its extra fields already set) with this status and body.
    void Send(http::status status, std::string body, const std::string& content_type) {
        response_.result(status);
        response_.version(version_);
        response_.set(http::field::server, kServerName);
        response_.set(http::field::content_type, content_type);
        response_.set("X-Content-Type-Options", "nosniff");
        response_.keep_alive(keep_alive_ && static_cast<int>(status) < 400);
        response_.body() = std::move(body);
        response_.prepare_payload();
        serializer_.emplace(response_);
        stream_.expires_after(core_->limits.send_timeout);
        auto done = [self = shared_from_this()](beast::error_code error, std::size_t) {
            self->OnSent(error);
        };
        if (head_)
            http::async_write_header(stream_, *serializer_, std::move(done));
        else
            http::async_write(stream_, *serializer_, std::move(done));
    }

    void OnSent(const beast::error_code& error) {
        serializer_.reset();
        if (closed_) return;
        if (error) return Close();
        if (response_.keep_alive()) return ReadRequest();
        Linger();
    }

    // Ends a connection whose client may still be sending: shut our side,
    // then read what is left for a moment before closing, so the response is
    // not lost to a reset.
    void Linger() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream_.expires_after(kLingerTime);
        stream_.async_read_some(net::buffer(scratch_),
                                [self = shared_from_this()](beast::error_code error, std::size_t) {
                                    if (error || self->closed_) return self->Close();
                                    self->Linger();
                                });
    }

    void StartStream() {
        if (core_->streams >= core_->limits.max_streams) {
            response_ = {};
            response_.set(http::field::retry_after, "5");
            keep_alive_ = false;
            return Send(http::status::service_unavailable, "too many event streams\n",
                        "text/plain; charset=utf-8");
        }
        stream_response_ = {};
        stream_response_.result(http::status::ok);
        stream_response_.version(version_);
        stream_response_.set(http::field::server, kServerName);
        stream_response_.set(http::field::content_type, "text/event-stream");
        stream_response_.set(http::field::cache_control, "no-store");
        stream_response_.set("X-Content-Type-Options", "nosniff");
        if (head_) {
            // The headers a stream starts with, and nothing more.
            stream_response_.chunked(true);
            stream_serializer_.emplace(stream_response_);
            stream_.expires_after(core_->limits.send_timeout);
            return http::async_write_header(
                stream_, *stream_serializer_,
                [self = shared_from_this()](beast::error_code error, std::size_t) {
                    self->stream_serializer_.reset();
                    if (self->closed_) return;
                    if (error) return self->Close();
                    self->ReadRequest();
                });
        }
        stream_response_.keep_alive(true);
        stream_response_.chunked(true);
        streaming_ = true;
        beast::error_code ignored;
        stream_.socket().set_option(
            net::socket_base::send_buffer_size(core_->limits.stream_send_buffer), ignored);
        ++core_->streams;

        // A read stays pending for as long as the stream lasts, without a time
        // limit, so a client that goes away is noticed at once; only writes
        // are timed from here on.
        stream_.expires_never();
        WatchForClose();

        queue_.push_back(core_->screen_event);  // the state now, before any later change
        writing_ = true;
        stream_serializer_.emplace(stream_response_);
        stream_.expires_after(core_->limits.send_timeout);
        http::async_write_header(stream_, *stream_serializer_,
                                 [self = shared_from_this()](beast::error_code error, std::size_t) {
                                     if (self->closed_) return;
                                     if (error) return self->Close();
                                     self->WriteNext();
                                 });
    }

    void WatchForClose() {
        stream_.async_read_some(net::buffer(scratch_),
                                [self = shared_from_this()](beast::error_code error, std::size_t) {
                                    if (self->closed_) return;
                                    if (error) return self->Close();
                                    self->WatchForClose();  // anything it sends is ignored
                                });
    }

    void WriteNext() {
        if (queue_.empty()) {
            writing_ = false;
            return;
        }
        writing_ = true;
        stream_.expires_after(core_->limits.send_timeout);
        net::async_write(stream_, http::make_chunk(net::buffer(*queue_.front())),
                         [self = shared_from_this()](beast::error_code error, std::size_t) {
                             if (self->closed_) return;
                             if (error) return self->Close();
                             self->queue_.pop_front();
                             self->WriteNext();
                         });
    }

    std::shared_ptr<Server::Core> core_;
    beast::tcp_stream stream_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    http::response<http::string_body> response_;
    std::optional<http::response_serializer<http::string_body>> serializer_;
    http::response<http::empty_body> stream_response_;
    std::optional<http::response_serializer<http::empty_body>> stream_serializer_;
    std::deque<std::shared_ptr<const std::string>> queue_;  // messages not yet written
    char scratch_[512];  // what a streaming or closing client still sends, discarded
    unsigned version_ = 11;
    bool keep_alive_ = true;
    bool head_ = false;
    bool streaming_ = false;
    bool writing_ = false;
    bool closed_ = false;
};

void Server::Core::Accept() {
    acceptor.async_accept([self = shared_from_this()](beast::error_code error, tcp::socket socket) {
        if (self->stopped) return;
        if (!error) {
            std::make_shared<Session>(self, std::move(socket))->Run();
            return self->Accept();
        }
        // Out of descriptors, say: try again shortly rather than spin.
        auto retry = std::make_shared<net::steady_timer>(self->io, std::chrono::milliseconds(100));
        retry->async_wait([self, retry](beast::error_code) {
            if (!self->stopped) self->Accept();
        });
    });
}

void Server::Core::KeepAlive() {
    keep_alive_timer.expires_after(limits.keep_alive_interval);
    keep_alive_timer.async_wait([self = shared_from_this()](beast::error_code error) {
        if (error || self->stopped) return;
        static const auto comment = std::make_shared<const std::string>(kKeepAliveComment);
        self->Broadcast(comment);
        self->KeepAlive();
    });
}

void Server::Core::Refresh() {
    screen_json = ScreenJson(watch.state(), page_name);
    screen_event = std::make_shared<const std::string>(EventMessage("screen", screen_json));
}

void Server::Core::Broadcast(const std::shared_ptr<const std::string>& message) {
    std::vector<std::shared_ptr<Session>> targets;
    for (const auto& entry : sessions)
        if (auto session = entry.second.lock(); session && session->streaming())
            targets.push_back(std::move(session));
    for (const auto& session : targets) session->Push(message);
}

void Server::Core::Stop() {
    stopped = true;
    beast::error_code ignored;
    acceptor.close(ignored);
    if (follow) follow->Stop();
    keep_alive_timer.cancel();
    std::vector<std::shared_ptr<Session>> open;
    for (const auto& entry : sessions)
        if (auto session = entry.second.lock()) open.push_back(std::move(session));
    for (const auto& session : open) session->Close();
}

Server::Server(net::io_context& io, PageWatch& watch, ServerLimits limits)
    : core_(std::make_shared<Core>(io, watch, limits)) {}

Server::~Server() = default;

bool Server::Listen(const tcp::endpoint& endpoint, std::string* error) {
    beast::error_code failed;
    tcp::acceptor& acceptor = core_->acceptor;
    acceptor.open(endpoint.protocol(), failed);
    if (!failed && platform::kReuseListenAddress)
        acceptor.set_option(net::socket_base::reuse_address(true), failed);
    if (!failed) acceptor.bind(endpoint, failed);
    if (!failed) acceptor.listen(net::socket_base::max_listen_connections, failed);
    if (failed) {
        *error = failed.message();
        beast::error_code ignored;
        acceptor.close(ignored);
        return false;
    }
    return true;
}

tcp::endpoint Server::LocalEndpoint() const {
    beast::error_code ignored;
    return core_->acceptor.local_endpoint(ignored);
}

void Server::Start() {
    core_->follow = std::make_shared<PageFollow>(core_->io, core_->watch, core_->limits.follow,
                                                 [weak = std::weak_ptr<Core>(core_)] {
                                                     if (const auto core = weak.lock()) {
                                                         core->Refresh();
                                                         core->Broadcast(core->screen_event);
                                                     }
                                                 });
    core_->follow->Start();
    core_->KeepAlive();
    core_->Accept();
}

void Server::Stop() { core_->Stop(); }

std::size_t Server::StreamCount() const { return core_->streams; }

}  // namespace view
