// The server on 127.0.0.1:0, watching the working directory of a freshly
// loaded driver module that the tests draw on, as the host would.
#include "view/http/server.h"

#include <gtest/gtest.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/driver_session.h"
#include "tests/view/http_client.h"
#include "tests/view/server_fixture.h"

namespace fs = std::filesystem;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using nlohmann::json;
using viewtest::EventClient;
using viewtest::Reply;
using viewtest::Request;

namespace {

using namespace std::chrono_literals;

// Short waits so the tests run quickly; the limits themselves stay as shipped
// unless a test says otherwise.
view::ServerLimits TestLimits() {
    view::ServerLimits limits;
    limits.follow.poll_interval = 10ms;
    return limits;
}

class ViewServer : public viewtest::ServerFixture {
protected:
    void SetUp() override {
        unsigned char flag = 0;
        ASSERT_EQ(driver_.CallInit(&flag), "Lumivane v0.1");
    }

    void Start(view::ServerLimits limits = TestLimits()) {
        StartServer(fs::absolute(PageFile()), limits);
    }

    // Writes `text` at column 1 of `row`, as the host does.
    void Draw(int row, const std::string& text) {
        driver_.SetPosition(1, row);
        ASSERT_EQ(driver_.Write(text.c_str()), 1);
    }

    json Screen() {
        const Reply reply = Request(port_, "/screen.json");
        EXPECT_EQ(reply.status, 200);
        return json::parse(reply.body, nullptr, false);
    }

    // The rows of the page the driver wrote last, decoded.
    std::vector<std::string> PageRows() {
        std::vector<std::string> rows = testhost::PageRows(driver_.Page());
        for (std::string& row : rows) row = view::DecodeToUtf8(row, view::Encoding::kWindows1252);
        return rows;
    }

    // /screen.json once it shows these rows (by default the page's) and
    // `found` (null when it never does).
    json ScreenShowingPage(bool found = true, std::vector<std::string> rows = {}) {
        if (rows.empty()) rows = PageRows();
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (std::chrono::steady_clock::now() < deadline) {
            json screen = Screen();
            if (screen.is_object() && screen["rows"] == rows && screen["found"] == found)
                return screen;
            std::this_thread::sleep_for(5ms);
        }
        return nullptr;
    }

    std::size_t StreamCount() {
        std::promise<std::size_t> count;
        net::post(io_, [&] { count.set_value(server_->StreamCount()); });
        return count.get_future().get();
    }

    fs::path PageFile() const { return driver_.work_dir() / "logs" / "index.htm"; }

    testhost::DriverSession driver_;
};

TEST_F(ViewServer, ScreenJsonFollowsWrites) {
    Start();
    const json first = Screen();
    EXPECT_EQ(first["rows"], PageRows());
    EXPECT_EQ(PageRows()[0], "Quendalore Initialising");
    EXPECT_EQ(first["version"], 1);
    EXPECT_EQ(first["found"], true);
    EXPECT_EQ(first["page"], fs::absolute(PageFile()).u8string());

    int version = 1;
    for (const char* text : {"Hello, <b>world</b>!", "caf\xe9 \x80 \"quoted\" \\ back",
                             "Hello again, with a longer text than before"}) {
        SCOPED_TRACE(text);
        Draw(1, text);
        const json screen = ScreenShowingPage();
        ASSERT_TRUE(screen.is_object());
        EXPECT_EQ(screen["version"], ++version);
        const std::string shown = screen["rows"][0];
        EXPECT_EQ(shown.rfind(view::DecodeToUtf8(text, view::Encoding::kWindows1252), 0), 0u);
    }

    // The page goes away: found turns false, the rows stay.
    const std::vector<std::string> last = PageRows();
    fs::remove(PageFile());
    const json gone = ScreenShowingPage(false, last);
    ASSERT_TRUE(gone.is_object());
    EXPECT_EQ(gone["version"], version);

    // The driver writes it again with the next change.
    Draw(2, "back");
    const json back = ScreenShowingPage();
    ASSERT_TRUE(back.is_object());
    EXPECT_EQ(back["version"], version + 1);
}

TEST_F(ViewServer, EventStreamsGetEachChangeOnceInOrder) {
    Start();
    EventClient first(port_);
    EventClient second(port_);
    ASSERT_EQ(first.status(), 200);
    ASSERT_EQ(second.status(), 200);
    for (EventClient* client : {&first, &second}) {
        const auto event = client->Next();
        ASSERT_TRUE(event);
        EXPECT_EQ(event->name, "screen");
        EXPECT_EQ(json::parse(event->data)["version"], 1);
    }

    for (int change = 1; change <= 10; ++change) {
        const std::string text = "change " + std::to_string(change);
        Draw(3, text);
        // The same text once more, and a text inside what row 3 shows: no change.
        Draw(3, text);
        Draw(3, "chan");
        for (EventClient* client : {&first, &second}) {
            const auto event = client->Next();
            ASSERT_TRUE(event) << text;
            const json screen = json::parse(event->data);
            EXPECT_EQ(screen["rows"][2], text);
            EXPECT_EQ(screen["version"], 1 + change);
            EXPECT_EQ(screen["found"], true);
        }
    }

    // The page goes and comes back with the same rows: two events, one version.
    const std::string page = driver_.Page();
    fs::remove(PageFile());
    auto gone = first.Next();
    ASSERT_TRUE(gone);
    EXPECT_EQ(json::parse(gone->data)["found"], false);
    EXPECT_EQ(json::parse(gone->data)["version"], 11);
    std::ofstream(PageFile(), std::ios::binary) << page;
    auto back = first.Next();
    ASSERT_TRUE(back);
    EXPECT_EQ(json::parse(back->data)["found"], true);
    EXPECT_EQ(json::parse(back->data)["version"], 11);
}

TEST_F(ViewServer, AnIdleStreamGetsKeepAliveComments) {
    view::ServerLimits limits = TestLimits();
    limits.keep_alive_interval = 50ms;
    Start(limits);
    EventClient client(port_);
    ASSERT_TRUE(client.Next());
    EXPECT_FALSE(client.Next(300ms));  // comments only, no event
    const std::string& received = client.Received();
    const std::string comments = received.substr(received.find("\n\n") + 2);
    EXPECT_GE(comments.size(), 2 * std::string(": keep-alive\n\n").size());
    EXPECT_EQ(comments.substr(0, 14), ": keep-alive\n\n");
}

TEST_F(ViewServer, IndexHtmIsThePageFileByteForByte) {
    Draw(1, "<script>alert(1)</script> \x80\xff");
    Start();
    for (const char* method : {"GET", "HEAD"}) {
        SCOPED_TRACE(method);
        const Reply reply = Request(port_, "/index.htm", method);
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(reply.Field("Content-Security-Policy"),
                  "sandbox; default-src 'none'; style-src 'unsafe-inline'; frame-ancestors 'none'");
        EXPECT_EQ(reply.Field("Cache-Control"), "no-store");
        EXPECT_EQ(reply.Field("Content-Type"), "text/html; charset=windows-1252");
        EXPECT_EQ(reply.Field("Content-Length"), std::to_string(driver_.Page().size()));
        EXPECT_EQ(reply.body, std::string(method) == "GET" ? driver_.Page() : "");
    }
    fs::remove(PageFile());
    EXPECT_EQ(Request(port_, "/index.htm").status, 404);
}

TEST_F(ViewServer, EveryPathGetsItsHeadersAndHeadTheSameWithoutBody) {
    Start();
    struct {
        const char* target;
        const char* content_type;
    } cases[] = {
        {"/", "text/html; charset=utf-8"},
        {"/screen.json", "application/json"},
        {"/screen.json?t=1", "application/json"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const Reply get = Request(port_, c.target);
        const Reply head = Request(port_, c.target, "HEAD");
        EXPECT_EQ(get.status, 200);
        EXPECT_EQ(get.Field("Content-Type"), c.content_type);
        EXPECT_EQ(head.status, 200);
        EXPECT_EQ(head.fields, get.fields);
        EXPECT_EQ(head.body, "");
    }
    const Reply view = Request(port_, "/");
    EXPECT_NE(view.body.find("new EventSource(serverUrl('/events'))"), std::string::npos);
    EXPECT_NE(view.body.find("textContent"), std::string::npos);
    EXPECT_EQ(view.body.find("innerHTML"), std::string::npos);

    const Reply events = Request(port_, "/events", "HEAD");
    EXPECT_EQ(events.status, 200);
    EXPECT_EQ(events.Field("Content-Type"), "text/event-stream");
    EXPECT_EQ(events.Field("Cache-Control"), "no-store");
}

TEST_F(ViewServer, OtherPathsMethodsAndMalformedRequestsAreRefused) {
    Start();
    const std::string big(9000, 'a');
    struct {
        const char* what;
        std::string request;
        int status;
        const char* allow;
    } cases[] = {
        {"the log by its name", "GET /logs/lumivane.log HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 404,
         ""},
        {"dot-dot", "GET /../logs/lumivane.log HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 404, ""},
        {"escaped dot-dot", "GET /%2e%2e/ HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 404, ""},
        {"escaped dot-dot to the log",
         "GET /%2e%2e/logs/lumivane.log HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 404, ""},
        {"the page below logs", "GET /logs/index.htm HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 404, ""},
        {"the page escaped", "GET /index%2ehtm HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 404, ""},
        {"the page with a slash", "GET /index.htm/ HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 404, ""},
        {"two slashes", "GET //index.htm HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 404, ""},
        {"absolute form, another name",
         "GET http://x/index.htm HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 421, ""},
        {"absolute form, the log",
         "GET http://127.0.0.1/logs/lumivane.log HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 404, ""},
        {"backslashes", "GET /..\\logs\\lumivane.log HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 404, ""},
        {"POST", "POST /screen.json HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 2\r\n\r\n{}",
         405, "GET, HEAD"},
        {"DELETE", "DELETE /index.htm HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 405, "GET, HEAD"},
        {"OPTIONS", "OPTIONS / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 405, "GET, HEAD"},
        {"POST elsewhere", "POST /upload HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 404, ""},
        {"a long header", "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Big: " + big + "\r\n\r\n", 431,
         ""},
        {"a long request line", "GET /" + big + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 431, ""},
        {"not HTTP", "HELLO THERE\r\n\r\n", 400, ""},
        {"no version", "GET /\r\n\r\n", 400, ""},
        {"a space in a field name", "GET / HTTP/1.1\r\nBad Field: 1\r\n\r\n", 400, ""},
        {"two lengths", "GET / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n", 400,
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Reply reply = viewtest::RawRequest(port_, c.request);
        EXPECT_EQ(reply.status, c.status);
        EXPECT_EQ(reply.Field("Allow"), *c.allow ? c.allow : "<none>");
        EXPECT_EQ(reply.body.find("Quendalore"), std::string::npos);
    }
    // The server is none the worse for it.
    EXPECT_EQ(Request(port_, "/screen.json").status, 200);
}

TEST_F(ViewServer, AConnectionThatSendsNothingIsClosed) {
    view::ServerLimits limits = TestLimits();
    limits.request_timeout = 200ms;
    Start(limits);
    net::io_context io;
    tcp::socket idle(io);
    idle.connect({net::ip::make_address("127.0.0.1"), port_});
    const auto start = std::chrono::steady_clock::now();
    char byte;
    boost::system::error_code error;
    idle.read_some(net::buffer(&byte, 1), error);  // blocks until the server closes it
    EXPECT_EQ(error, net::error::eof);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(Request(port_, "/screen.json").status, 200);
}

TEST_F(ViewServer, TheHundredAndFirstStreamGets503UntilOneCloses) {
    Start();
    std::vector<std::unique_ptr<EventClient>> clients;
    for (int i = 0; i < 100; ++i) {
        clients.push_back(std::make_unique<EventClient>(port_));
        ASSERT_EQ(clients.back()->status(), 200) << "stream " << i + 1;
        ASSERT_TRUE(clients.back()->Next());
    }
    EventClient refused(port_);
    EXPECT_EQ(refused.status(), 503);
    EXPECT_EQ(Request(port_, "/screen.json").status, 200);

    clients.pop_back();  // one client goes away
    for (int i = 0; i < 500 && StreamCount() != 99; ++i) std::this_thread::sleep_for(5ms);
    EXPECT_EQ(StreamCount(), 99u);
    EventClient welcome(port_);
    EXPECT_EQ(welcome.status(), 200);
    EXPECT_TRUE(welcome.Next());

    // Every stream still gets the next change.
    Draw(4, "all of you");
    for (auto& client : clients) {
        const auto event = client->Next();
        ASSERT_TRUE(event);
        EXPECT_EQ(json::parse(event->data)["rows"][3], "all of you");
    }
}

TEST_F(ViewServer, AClientThatStopsReadingIsDroppedWhileOthersKeepReceiving) {
    // A small socket buffer and queue, so it takes tens of changes, not
    // thousands, to fill them.
    view::ServerLimits limits = TestLimits();
    limits.stream_send_buffer = 8192;
    limits.stream_queue_limit = 16;
    Start(limits);
    EventClient reader(port_);
    ASSERT_TRUE(reader.Next());

    // A client with a small receive window that asks for the stream and
    // never reads it.
    net::io_context io;
    tcp::socket stalled(io);
    stalled.open(tcp::v4());
    stalled.set_option(net::socket_base::receive_buffer_size(1024));
    stalled.connect({net::ip::make_address("127.0.0.1"), port_});
    net::write(stalled,
               net::buffer(std::string("GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")));
    for (int i = 0; i < 500 && StreamCount() != 2; ++i) std::this_thread::sleep_for(5ms);
    ASSERT_EQ(StreamCount(), 2u);

    // Full rows make long events. Each change reaches the reader before the
    // next is drawn; the stalled client's share piles up until it is cut off.
    int change = 0;
    for (; change < 1000 && StreamCount() == 2; ++change) {
        const std::string text = "change " + std::to_string(change) + std::string(70, '#');
        Draw(1 + change % 4, text.substr(0, 80));
        const auto event = reader.Next();
        ASSERT_TRUE(event) << "change " << change;
        ASSERT_EQ(json::parse(event->data)["version"], 2 + change);
    }
    EXPECT_EQ(StreamCount(), 1u) << "after " << change << " changes";
    std::printf("the stalled client was dropped after %d changes\n", change);

    // The reader goes on as before.
    Draw(1, "still here");
    const auto event = reader.Next();
    ASSERT_TRUE(event);
    EXPECT_EQ(json::parse(event->data)["rows"], PageRows());
    EXPECT_EQ(PageRows()[0].substr(0, 10), "still here");
}

TEST_F(ViewServer, ClientsThatVanishMidResponseDisturbNoOne) {
    Start();
    EventClient reader(port_);
    ASSERT_TRUE(reader.Next());

    // Clients that ask and reset the connection at once, before or while the
    // answer goes out: for the view, the page, and a stream.
    for (int round = 0; round < 10; ++round) {
        for (const char* target : {"/", "/index.htm", "/events", "/screen.json"}) {
            net::io_context io;
            tcp::socket gone(io);
            gone.connect({net::ip::make_address("127.0.0.1"), port_});
            const std::string request =
                std::string("GET ") + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
            net::write(gone, net::buffer(request));
            gone.set_option(net::socket_base::linger(true, 0));  // close with a reset
            gone.close();
        }
    }
    Draw(2, "after the resets");
    const auto event = reader.Next();
    ASSERT_TRUE(event);
    EXPECT_EQ(json::parse(event->data)["rows"], PageRows());
    EXPECT_EQ(Request(port_, "/screen.json").status, 200);
    for (int i = 0; i < 500 && StreamCount() != 1; ++i) std::this_thread::sleep_for(5ms);
    EXPECT_EQ(StreamCount(), 1u);
}

TEST(ScreenJson, EscapesEveryRowAsJson) {
    view::ScreenState state;
    state.rows = {"\"quoted\" \\ back", "<b>&amp;</b>", "tab\there \x01", "caf\u00e9 \u20ac"};
    state.bytes = {"\"quoted\" \\ back", "<b>&amp;</b>", "tab\there \x01", "caf\xe9 \x80"};
    state.version = 7;
    state.found = true;
    EXPECT_EQ(view::ScreenJson(state, "/w/logs/index.htm"),
              "{\"rows\":[\"\\\"quoted\\\" \\\\ back\",\"<b>&amp;</b>\",\"tab\\there \\u0001\","
              "\"caf\u00e9 \u20ac\"],\"version\":7,\"found\":true,\"page\":\"/w/logs/index.htm\","
              "\"codes\":[\"\\\"quoted\\\" \\\\ back\",\"<b>&amp;</b>\",\"tab\\there \\u0001\","
              "\"caf\u00e9 \u0080\"],"
              "\"display\":{\"size\":\"80x4\",\"encoding\":\"windows-1252\",\"theme\":\"green\"}}");
}

// The bytes the host sent travel as "codes", one character per byte, so that
// the page can draw them from any ROM; the display names the view's options.
TEST(ScreenJson, CodesCarryEveryByteAndTheDisplayItsOptions) {
    view::ScreenState state;
    state.rows = {"25\u00b0C \u2588", "", "", ""};
    state.bytes = {
        "25\xdf"
        "C \xff",
        std::string("\x00\x10", 2), "", ""};
    state.version = 1;
    state.found = true;
    const json screen = json::parse(view::ScreenJson(state, "/p", view::Encoding::kHd44780A00,
                                                     {{20, 4}, view::Theme::kOled, 5}));
    EXPECT_EQ(screen["rows"][0], "25\u00b0C \u2588");
    EXPECT_EQ(screen["codes"], json({"25\u00df"
                                     "C \u00ff",
                                     std::string("\u0000\u0010", 2), "", ""}));
    EXPECT_EQ(screen["display"],
              json({{"size", "20x4"}, {"encoding", "hd44780-a00"}, {"theme", "oled"}}));
}

// /screen.png: the picture with the server's options, or a query's; a bad
// value gets 400 with its reason.
TEST_F(ViewServer, ScreenPngIsThePicture) {
    Start();
    Draw(1,
         "Temp 21\xdf"
         "C");
    ASSERT_FALSE(ScreenShowingPage().is_null());
    const Reply reply = Request(port_, "/screen.png?size=16x2&theme=amber&scale=2");
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.fields.at("content-type"), "image/png");
    EXPECT_EQ(reply.fields.at("cache-control"), "no-store");
    view::PictureOptions options;
    options.size = {16, 2};
    options.theme = view::Theme::kAmber;
    options.scale = 2;
    const std::vector<std::string> page = testhost::PageRows(driver_.Page());
    EXPECT_EQ(reply.body, view::RenderPng({page[0], page[1], page[2], page[3]}, options));
    EXPECT_EQ(Request(port_, "/screen.png?size=16x2&theme=amber&scale=2").body, reply.body);

    const Reply refused = Request(port_, "/screen.png?size=16x5");
    EXPECT_EQ(refused.status, 400);
    EXPECT_EQ(refused.body, "size '16x5': want COLSxROWS, columns 1-80 and rows 1-4\n");
}

TEST(EventMessage, OneDataLineForEachLine) {
    EXPECT_EQ(view::EventMessage("screen", "{\"a\":1}"), "event: screen\ndata: {\"a\":1}\n\n");
    EXPECT_EQ(view::EventMessage("screen", "one\ntwo"), "event: screen\ndata: one\ndata: two\n\n");
}

}  // namespace
