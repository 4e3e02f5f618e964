#include "view/http/server.h"

#include <utility>

#include "view/http/listener.h"

namespace view {

namespace {
constexpr char kKeepAliveComment[] = ": keep-alive\n\n";

// A comment on every stream each keep-alive interval, so that proxies and
// browsers keep an idle stream open; the kept screens past their age go then.
void KeepAlive(const std::shared_ptr<SharedState>& state) {
    state->keep_alive_timer.expires_after(state->limits.keep_alive_interval);
    state->keep_alive_timer.async_wait([state](boost::system::error_code error) {
        if (error || state->stopped) return;
        static const auto comment = std::make_shared<const std::string>(kKeepAliveComment);
        state->Broadcast(comment);
        state->history.DropOlderThanAge(NowMs());
        KeepAlive(state);
    });
}
}  // namespace

Server::Server(boost::asio::io_context& io, PageWatch& watch, ServerLimits limits,
               DisplayOptions display)
    : state_(std::make_shared<SharedState>(io, watch, limits, display)),
      listener_(std::make_shared<Listener>(state_)) {}

Server::~Server() = default;

bool Server::Listen(const boost::asio::ip::tcp::endpoint& endpoint, std::string* error) {
    if (!listener_->Listen(endpoint, error)) return false;
    state_->port = listener_->LocalEndpoint().port();
    return true;
}

boost::asio::ip::tcp::endpoint Server::LocalEndpoint() const { return listener_->LocalEndpoint(); }

void Server::SetToken(std::string token) { state_->token = std::move(token); }

void Server::Start() {
    // A change goes to every stream.
    state_->follow = std::make_shared<PageFollow>(state_->io, state_->watch, state_->limits.follow,
                                                  [weak = std::weak_ptr<SharedState>(state_)] {
                                                      if (const auto state = weak.lock()) {
                                                          state->Refresh();
                                                          state->Broadcast(state->screen_event);
                                                      }
                                                  });
    state_->follow->Start();
    KeepAlive(state_);
    listener_->Accept();
}

void Server::Stop() {
    listener_->Close();
    state_->CloseAll();
}

std::size_t Server::StreamCount() const { return state_->streams.size(); }

}  // namespace view
