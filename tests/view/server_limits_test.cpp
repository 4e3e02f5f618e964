// The view's limits against rude clients: absolute deadlines for a request
// and for the linger after a refusal, which connections an answer closes, the
// connection cap, HTTP/1.0 event streams, and the exact send-queue cap.
#include <gtest/gtest.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/loops.h"
#include "tests/view/server_fixture.h"
#include "view/http/event_stream.h"
#include "view/http/server.h"
#include "view/http/shared_state.h"

namespace net = boost::asio;
using tcp = net::ip::tcp;
using namespace std::chrono_literals;

namespace {

constexpr char kScreen[] = "GET /screen.json HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

// A server on 127.0.0.1:0 watching a page that is not there.
class LimitsTest : public viewtest::ServerFixture {
protected:
    void Start(view::ServerLimits limits) { StartServer(MissingPage(), limits); }

    std::unique_ptr<tcp::socket> Connect() {
        auto socket = std::make_unique<tcp::socket>(client_io_);
        socket->connect({net::ip::make_address("127.0.0.1"), port_});
        return socket;
    }

    static std::filesystem::path MissingPage() {
        return std::filesystem::absolute("no-such-dir/logs/index.htm");
    }

    net::io_context client_io_;
};

// Reads one response's header and its Content-Length body, or all there is
// until the connection ends; "" when nothing comes within the time limit.
std::string ReadResponse(tcp::socket& socket) {
    std::string bytes;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    socket.non_blocking(true);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::size_t end = bytes.find("\r\n\r\n");
        if (end != std::string::npos) {
            // A header without a length (HEAD of the stream) has no body here.
            const std::size_t field = bytes.find("Content-Length: ");
            if (field == std::string::npos ||
                bytes.size() >= end + 4 + std::stoul(bytes.substr(field + 16)))
                break;
        }
        char chunk[4096];
        boost::system::error_code error;
        const std::size_t got = socket.read_some(net::buffer(chunk), error);
        if (error == net::error::would_block) {
            std::this_thread::sleep_for(2ms);
            continue;
        }
        if (error) break;
        bytes.append(chunk, got);
    }
    socket.non_blocking(false);
    return bytes;
}

// Reads until `text` has come; false when it does not within 5 s.
bool ReadUntil(tcp::socket& socket, const std::string& text) {
    std::string bytes;
    while (bytes.find(text) == std::string::npos) {
        char chunk[4096];
        socket.non_blocking(true);
        boost::system::error_code error;
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        std::size_t got = 0;
        while ((got = socket.read_some(net::buffer(chunk), error)),
               error == net::error::would_block) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(2ms);
        }
        if (error) return false;
        bytes.append(chunk, got);
    }
    return true;
}

// True when the server ends the connection within `limit`: the client sees
// the end, or its writes start failing.
bool ClosedWithin(tcp::socket& socket, std::chrono::milliseconds limit) {
    socket.non_blocking(true);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        char chunk[4096];
        boost::system::error_code error;
        socket.read_some(net::buffer(chunk), error);
        if (error && error != net::error::would_block) return true;
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

TEST_F(LimitsTest, ErrorsAndCloseRequestsEndTheConnectionOthersKeepIt) {
    Start({});
    const std::string big(9000, 'a');
    const struct {
        const char* what;
        std::string request;
        const char* status_line;
        bool kept;
    } cases[] = {
        {"200", kScreen, "HTTP/1.1 200 OK", true},
        {"HEAD of the stream", "HEAD /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
         "HTTP/1.1 200 OK", true},
        {"Connection: close", "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
         "HTTP/1.1 200 OK", false},
        {"HEAD of the stream with Connection: close",
         "HEAD /events HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n", "HTTP/1.1 200 OK",
         false},
        {"HEAD of the stream over HTTP/1.0", "HEAD /events HTTP/1.0\r\n\r\n", "HTTP/1.0 200 OK",
         false},
        {"HTTP/1.0", "GET /screen.json HTTP/1.0\r\n\r\n", "HTTP/1.0 200 OK", false},
        {"404", "GET /nope HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", "HTTP/1.1 404 Not Found", false},
        {"404 without a page", "GET /index.htm HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
         "HTTP/1.1 404 Not Found", false},
        {"405", "DELETE / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed",
         false},
        {"400", "GET / HTTP/1.1\r\nBad Field: 1\r\n\r\n", "HTTP/1.1 400 Bad Request", false},
        {"413", "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 9000\r\n\r\n" + big,
         "HTTP/1.1 413 Payload Too Large", false},
        {"413 in chunks",
         "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n2328\r\n" + big +
             "\r\n0\r\n\r\n",
         "HTTP/1.1 413 Payload Too Large", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto socket = Connect();
        net::write(*socket, net::buffer(c.request));
        const std::string first = ReadResponse(*socket);
        EXPECT_EQ(first.substr(0, first.find("\r\n")), c.status_line);
        // The same connection asked once more: answered, or ended.
        boost::system::error_code ignored;
        net::write(*socket, net::buffer(std::string(kScreen)), ignored);
        const std::string second = ReadResponse(*socket);
        EXPECT_EQ(second.rfind("HTTP/1.1 200 OK\r\n", 0) == 0, c.kept) << second;
        if (!c.kept) {
            EXPECT_TRUE(ClosedWithin(*socket, 3s));
        }
    }
}

// Clients that send a byte now and then, forever: each is cut at its
// deadline, counted once from the start of the request or of the linger.
TEST_F(LimitsTest, ADrippingClientIsCutAtItsDeadline) {
    view::ServerLimits limits;
    limits.request_timeout = 300ms;
    Start(limits);
    const struct {
        const char* what;
        const char* start;
    } cases[] = {
        {"in the header", "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: "},
        {"in the body", "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 8000\r\n\r\n"},
        {"after a 400", "HELLO THERE\r\n\r\n"},
    };
    constexpr int kClients = 10;
    // The server's own deadline (the request's 300 ms, then the linger's
    // second) and the slack the client's loop needs to see the cuts, which
    // a slow (emulated) machine stretches.
    const auto bound = 1300ms + testhost::Slack(1700ms);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::unique_ptr<tcp::socket>> clients;
        for (int i = 0; i < kClients; ++i) {
            clients.push_back(Connect());
            net::write(*clients.back(), net::buffer(std::string(c.start)));
            clients.back()->non_blocking(true);
        }
        // A byte from each every 50 ms until 2 s past the bound; a client is
        // cut when a write fails (the server has closed and reset it).
        int cut = 0;
        std::vector<bool> open(kClients, true);
        const auto start = std::chrono::steady_clock::now();
        while (cut < kClients && std::chrono::steady_clock::now() - start < bound + 2s) {
            for (int i = 0; i < kClients; ++i) {
                if (!open[i]) continue;
                char discard[4096];
                boost::system::error_code error;
                clients[i]->read_some(net::buffer(discard), error);  // the 400, if any
                clients[i]->write_some(net::buffer("a", 1), error);
                if (error && error != net::error::would_block) {
                    open[i] = false;
                    ++cut;
                }
            }
            std::this_thread::sleep_for(50ms);
        }
        EXPECT_EQ(cut, kClients);
        EXPECT_LT(std::chrono::steady_clock::now() - start, bound);
    }
    auto healthy = Connect();
    net::write(*healthy, net::buffer(std::string(kScreen)));
    EXPECT_EQ(ReadResponse(*healthy).rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
}

TEST_F(LimitsTest, AtTheCapTheOldestIdleConnectionsGo) {
    view::ServerLimits limits;
    limits.max_connections = 20;
    Start(limits);
    // A stream and a client in the middle of its request count, but are kept.
    auto stream = Connect();
    net::write(*stream,
               net::buffer(std::string("GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")));
    ASSERT_TRUE(ReadUntil(*stream, "data: "));
    std::vector<std::unique_ptr<tcp::socket>> idle;
    for (int i = 0; i < 30; ++i) idle.push_back(Connect());
    // Health checks, each kept open after its answer: it waits for its next
    // request then, newer than every idle one.
    std::vector<std::unique_ptr<tcp::socket>> checks;
    for (int check = 0; check < 10; ++check) {
        checks.push_back(Connect());
        net::write(*checks.back(), net::buffer(std::string(kScreen)));
        EXPECT_EQ(ReadResponse(*checks.back()).rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << check;
    }
    // 1 stream + 30 idle + 10 checks under a cap of 20: the oldest 21 idle
    // ones went, first come first gone; the newest stay.
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(ClosedWithin(*idle[i], i < 21 ? 2000ms : 100ms), i < 21) << "idle " << i;
    EXPECT_FALSE(ClosedWithin(*stream, 100ms));
}

TEST_F(LimitsTest, AnHttp10StreamIsRawEventsUntilTheConnectionEnds) {
    Start({});
    auto client = Connect();
    net::write(*client, net::buffer(std::string("GET /events HTTP/1.0\r\n\r\n")));
    std::string received;
    const std::string expected =
        "HTTP/1.0 200 OK\r\nServer: lumivane-view\r\nContent-Type: text/event-stream\r\n"
        "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n\r\n" +
        view::EventMessage("screen", view::ScreenJson({}, watch_->page().u8string()));
    received.resize(expected.size());
    net::read(*client, net::buffer(received));
    EXPECT_EQ(received, expected);
}

// The queue of a stream whose client stops reading holds exactly
// stream_queue_limit messages, the one being written among them.
TEST(EventStreamQueue, HoldsExactlyItsLimit) {
    net::io_context io;
    view::PageWatch watch(std::filesystem::absolute("no-such-dir/index.htm"),
                          view::Encoding::kUtf8);
    view::ServerLimits limits;
    limits.stream_queue_limit = 4;
    limits.stream_send_buffer = 4096;
    auto state = std::make_shared<view::SharedState>(io, watch, limits);
    // A first message far larger than both sockets' buffers: its write stays
    // pending, as a client that stops reading makes it.
    state->screen_event = std::make_shared<const std::string>(std::string(8 << 20, 'x'));

    tcp::acceptor acceptor(io, {net::ip::make_address("127.0.0.1"), 0});
    tcp::socket client(io);
    client.open(tcp::v4());
    client.set_option(net::socket_base::receive_buffer_size(1024));
    client.connect(acceptor.local_endpoint());
    view::Response head;
    head.chunked(true);
    std::make_shared<view::EventStream>(state, acceptor.accept(), head)->Run();
    io.poll();
    ASSERT_EQ(state->streams.size(), 1u);

    const auto message = std::make_shared<const std::string>("event: screen\ndata: 1\n\n");
    for (int queued = 2; queued <= 4; ++queued) {
        state->Broadcast(message);
        io.poll();
        ASSERT_EQ(state->streams.size(), 1u) << queued << " queued";
    }
    state->Broadcast(message);  // the fifth
    io.poll();
    EXPECT_EQ(state->streams.size(), 0u);
    state->CloseAll();
    io.poll();
}

}  // namespace
