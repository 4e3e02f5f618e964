#include "view/server.h"

#include <utility>

#include "view/listener.h"

namespace view {

namespace {
constexpr char kKeepAliveComment[] = ": keep-alive\n\n";

// Looks at the page now and every poll interval; a change goes to every stream.
void Poll(const std::shared_ptr<SharedState>& state) {
    if (state->watch.Poll()) {
        state->Refresh();
        state->Broadcast(state->screen_event);
    }
    state->poll_timer.expires_after(state->limits.poll_interval);
    state->poll_timer.async_wait([state](boost::system::error_code error) {
        if (!error && !state->stopped) Poll(state);
    });
}

// A comment on every stream each keep-alive interval, so that proxies and
// browsers keep an idle stream open.
void KeepAlive(const std::shared_ptr<SharedState>& state) {
    state->keep_alive_timer.expires_after(state->limits.keep_alive_interval);
    state->keep_alive_timer.async_wait([state](boost::system::error_code error) {
        if (error || state->stopped) return;
        static const auto comment = std::make_shared<const std::string>(kKeepAliveComment);
        state->Broadcast(comment);
        KeepAlive(state);
    });
}
}  // namespace

Server::Server(boost::asio::io_context& io, PageWatch& watch, ServerLimits limits)
    : state_(std::make_shared<SharedState>(io, watch, limits)),
      listener_(std::make_shared<Listener>(state_)) {}

Server::~Server() = default;

bool Server::Listen(const boost::asio::ip::tcp::endpoint& endpoint, std::string* error) {
    return listener_->Listen(endpoint, error);
}

boost::asio::ip::tcp::endpoint Server::LocalEndpoint() const { return listener_->LocalEndpoint(); }

void Server::SetToken(std::string token) { state_->token = std::move(token); }

void Server::Start() {
    Poll(state_);
    KeepAlive(state_);
    listener_->Accept();
}

void Server::Stop() {
    listener_->Close();
    state_->CloseAll();
}

std::size_t Server::StreamCount() const { return state_->streams.size(); }

}  // namespace view
