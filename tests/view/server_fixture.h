// A view server on 127.0.0.1 at a free port, run on an I/O thread of its own
// and stopped there when the test ends.
#pragma once

#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/post.hpp>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "view/http/server.h"
#include "view/watch/page_watch.h"

namespace viewtest {

class ServerFixture : public ::testing::Test {
protected:
    void TearDown() override {
        if (!server_) return;
        boost::asio::post(io_, [this] { server_->Stop(); });
        thread_.join();
    }

    // Follows the page at `page`, read as windows-1252.
    void StartServer(const std::filesystem::path& page, view::ServerLimits limits) {
        watch_ = std::make_unique<view::PageWatch>(page, view::Encoding::kWindows1252);
        server_ = std::make_unique<view::Server>(io_, *watch_, limits);
        std::string error;
        ASSERT_TRUE(server_->Listen({boost::asio::ip::make_address("127.0.0.1"), 0}, &error))
            << error;
        port_ = server_->LocalEndpoint().port();
        server_->Start();
        thread_ = std::thread([this] { io_.run(); });
    }

    std::unique_ptr<view::PageWatch> watch_;  // outlives the server and its handlers
    boost::asio::io_context io_{1};
    std::unique_ptr<view::Server> server_;
    std::thread thread_;
    std::uint16_t port_ = 0;
};

}  // namespace viewtest
