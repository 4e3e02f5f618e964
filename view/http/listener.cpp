#include "view/http/listener.h"

#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <utility>

#include "platform/programs/platform.h"
#include "view/http/http_session.h"

namespace view {

namespace net = boost::asio;
using tcp = net::ip::tcp;
using boost::system::error_code;

Listener::Listener(std::shared_ptr<SharedState> state)
    : state_(std::move(state)), acceptor_(state_->io) {}

bool Listener::Listen(const tcp::endpoint& endpoint, std::string* error) {
    error_code failed;
    acceptor_.open(endpoint.protocol(), failed);
    if (!failed && host::kReuseListenAddress)
        acceptor_.set_option(net::socket_base::reuse_address(true), failed);
    if (!failed) acceptor_.bind(endpoint, failed);
    if (!failed) acceptor_.listen(net::socket_base::max_listen_connections, failed);
    if (failed) {
        *error = failed.message();
        error_code ignored;
        acceptor_.close(ignored);
        return false;
    }
    return true;
}

tcp::endpoint Listener::LocalEndpoint() const {
    error_code ignored;
    return acceptor_.local_endpoint(ignored);
}

void Listener::Accept() {
    acceptor_.async_accept([self = shared_from_this()](error_code error, tcp::socket socket) {
        if (self->state_->stopped) return;
        if (!error) {
            // At the cap, an idle connection goes; when none is idle, this one.
            if (self->state_->MakeRoom())
                std::make_shared<HttpSession>(self->state_, std::move(socket))->Run();
            return self->Accept();
        }
        // Out of descriptors, say: try again shortly rather than spin.
        auto retry =
            std::make_shared<net::steady_timer>(self->state_->io, std::chrono::milliseconds(100));
        retry->async_wait([self, retry](error_code) {
            if (!self->state_->stopped) self->Accept();
        });
    });
}

void Listener::Close() {
    error_code ignored;
    acceptor_.close(ignored);
}

}  // namespace view
