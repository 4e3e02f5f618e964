// Accepts connections and gives each to an HTTP session.
#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <memory>
#include <string>

#include "view/http/shared_state.h"

namespace view {

class Listener : public std::enable_shared_from_this<Listener> {
public:
    explicit Listener(std::shared_ptr<SharedState> state);

    // Binds and listens; false with the reason in *error.
    bool Listen(const boost::asio::ip::tcp::endpoint& endpoint, std::string* error);
    boost::asio::ip::tcp::endpoint LocalEndpoint() const;

    void Accept();
    void Close();

private:
    std::shared_ptr<SharedState> state_;
    boost::asio::ip::tcp::acceptor acceptor_;
};

}  // namespace view
