// Route and Refusal without a socket: the exact bytes of every status the
// view answers, and what the connection does after each.
#include "view/http/route.h"

#include <gtest/gtest.h>

#include <boost/beast/core/buffers_range.hpp>
#include <boost/beast/http/serializer.hpp>
#include <cstring>
#include <initializer_list>
#include <string>

#include "view/http/token.h"
#include "view/page/view_page.h"

namespace view {
namespace {

namespace http = boost::beast::http;

constexpr char kScreenJson[] = R"({"rows":["a","b","c","d"],"version":3})";
constexpr char kPageBytes[] = "<html>caf\xe9</html>\n";

// Header lines, each ended with CR LF, and the blank line after them.
std::string Header(std::initializer_list<const char*> lines) {
    std::string header;
    for (const char* line : lines) header += std::string(line) + "\r\n";
    return header + "\r\n";
}

// The bytes a session puts on the wire for `answer`, through Beast's own
// serializer as the session uses it.
std::string Wire(Answer& answer) {
    http::response_serializer<http::string_body> serializer(answer.response);
    serializer.split(answer.head);
    std::string bytes;
    boost::beast::error_code error;
    while (!error && !(answer.head ? serializer.is_header_done() : serializer.is_done())) {
        serializer.next(error, [&](boost::beast::error_code&, const auto& buffers) {
            for (const auto buffer : boost::beast::buffers_range_ref(buffers))
                bytes.append(static_cast<const char*>(buffer.data()), buffer.size());
            serializer.consume(boost::beast::buffer_bytes(buffers));
        });
    }
    EXPECT_FALSE(error) << error.message();
    return bytes;
}

Snapshot TestSnapshot() {
    Snapshot snapshot;
    snapshot.port = 8080;
    snapshot.screen_json = kScreenJson;
    snapshot.read_page = [](std::string* bytes) {
        *bytes = kPageBytes;
        return true;
    };
    return snapshot;
}

Request MakeRequest(http::verb method, const char* target, unsigned version = 11,
                    const char* connection = nullptr) {
    Request request(method, target, version);
    request.set(http::field::host, "127.0.0.1:8080");
    if (connection) request.set(http::field::connection, connection);
    return request;
}

struct RouteCase {
    const char* what;
    Request request;
    void (*adjust)(Snapshot*);  // the snapshot's difference from TestSnapshot, if any
    std::string wire;           // exactly what goes out
    bool keep_alive;
    bool stream;
};

void NoPage(Snapshot* snapshot) {
    snapshot->read_page = [](std::string*) { return false; };
}
void Latin1(Snapshot* snapshot) { snapshot->encoding = Encoding::kLatin1; }
void Utf8(Snapshot* snapshot) { snapshot->encoding = Encoding::kUtf8; }
void RomA00(Snapshot* snapshot) { snapshot->encoding = Encoding::kHd44780A00; }
void StreamsFull(Snapshot* snapshot) { snapshot->streams_full = true; }

// `request` with `host` as its Host field; none for nullptr.
Request WithHost(Request request, const char* host) {
    if (host)
        request.set(http::field::host, host);
    else
        request.erase(http::field::host);
    return request;
}

constexpr char kPagePolicy[] =
    "Content-Security-Policy: sandbox; default-src 'none'; style-src 'unsafe-inline'; "
    "frame-ancestors 'none'";

const char* const kPlain[] = {"Server: lumivane-view", "Content-Type: text/plain; charset=utf-8",
                              "X-Content-Type-Options: nosniff"};

TEST(Route, EveryStatusWithItsExactBytes) {
    const std::string json_length = "Content-Length: " + std::to_string(strlen(kScreenJson));
    const std::string page_length = "Content-Length: " + std::to_string(strlen(kPageBytes));
    const std::string screen_answer =
        Header({"HTTP/1.1 200 OK", "Cache-Control: no-store", "Server: lumivane-view",
                "Content-Type: application/json", "X-Content-Type-Options: nosniff",
                json_length.c_str()}) +
        kScreenJson;
    const std::string screen_answer_10 =
        Header({"HTTP/1.0 200 OK", "Cache-Control: no-store", "Server: lumivane-view",
                "Content-Type: application/json", "X-Content-Type-Options: nosniff",
                json_length.c_str()}) +
        kScreenJson;
    // The page file's header, whatever the encoding the view reads it with.
    const std::string page_header =
        Header({"HTTP/1.1 200 OK", "Cache-Control: no-store", "Server: lumivane-view",
                "Content-Type: text/html; charset=windows-1252", "X-Content-Type-Options: nosniff",
                page_length.c_str(), kPagePolicy});
    const std::string misdirected =
        Header({"HTTP/1.1 421 Misdirected Request", kPlain[0], kPlain[1], kPlain[2],
                "Connection: close", "Content-Length: 86"}) +
        "lumivane-view answers only to this computer's addresses and localhost without a token\n";
    const RouteCase cases[] = {
        {"the screen as JSON", MakeRequest(http::verb::get, "/screen.json"), nullptr, screen_answer,
         true, false},
        {"HEAD with a query: the same header, no body",
         MakeRequest(http::verb::head, "/screen.json?t=1"), nullptr,
         Header({"HTTP/1.1 200 OK", "Cache-Control: no-store", "Server: lumivane-view",
                 "Content-Type: application/json", "X-Content-Type-Options: nosniff",
                 json_length.c_str()}),
         true, false},
        {"HTTP/1.0 closes after the answer", MakeRequest(http::verb::get, "/screen.json", 10),
         nullptr, screen_answer_10, false, false},
        {"HTTP/1.0 asking to keep the connection",
         MakeRequest(http::verb::get, "/screen.json", 10, "keep-alive"), nullptr,
         Header({"HTTP/1.0 200 OK", "Cache-Control: no-store", "Server: lumivane-view",
                 "Content-Type: application/json", "X-Content-Type-Options: nosniff",
                 "Connection: keep-alive", json_length.c_str()}) +
             kScreenJson,
         true, false},
        {"Connection: close", MakeRequest(http::verb::get, "/screen.json", 11, "close"), nullptr,
         Header({"HTTP/1.1 200 OK", "Cache-Control: no-store", "Server: lumivane-view",
                 "Content-Type: application/json", "X-Content-Type-Options: nosniff",
                 "Connection: close", json_length.c_str()}) +
             kScreenJson,
         false, false},
        {"the page file, windows-1252", MakeRequest(http::verb::get, "/index.htm"), nullptr,
         page_header + kPageBytes, true, false},
        // The bytes are as the host wrote them, whatever the view reads them as.
        {"the page file, read as latin1", MakeRequest(http::verb::head, "/index.htm"), Latin1,
         page_header, true, false},
        {"the page file, read as utf-8", MakeRequest(http::verb::head, "/index.htm"), Utf8,
         page_header, true, false},
        {"the page file, read with a ROM", MakeRequest(http::verb::head, "/index.htm"), RomA00,
         page_header, true, false},
        // Without a token only this computer's names are answered.
        {"a name of another's, the page",
         WithHost(MakeRequest(http::verb::get, "/index.htm"), "attacker.example"), nullptr,
         misdirected, false, false},
        {"a name of another's with the port, the stream",
         WithHost(MakeRequest(http::verb::get, "/events"), "attacker.example:8080"), nullptr,
         misdirected, false, false},
        {"an absolute target of another's name",
         MakeRequest(http::verb::get, "http://attacker.example/screen.json"), nullptr, misdirected,
         false, false},
        {"an absolute target of the view's own address",
         WithHost(MakeRequest(http::verb::get, "http://[::1]:8080/screen.json"),
                  "attacker.example"),
         nullptr, screen_answer, true, false},
        {"localhost", WithHost(MakeRequest(http::verb::get, "/screen.json"), "localhost:8080"),
         nullptr, screen_answer, true, false},
        {"no Host on HTTP/1.1", WithHost(MakeRequest(http::verb::get, "/screen.json"), nullptr),
         nullptr,
         Header({"HTTP/1.1 400 Bad Request", kPlain[0], kPlain[1], kPlain[2], "Connection: close",
                 "Content-Length: 14"}) +
             "no Host field\n",
         false, false},
        {"no Host on HTTP/1.0", WithHost(MakeRequest(http::verb::get, "/screen.json", 10), nullptr),
         nullptr, screen_answer_10, false, false},
        {"no page yet", MakeRequest(http::verb::get, "/index.htm"), NoPage,
         Header({"HTTP/1.1 404 Not Found", "Cache-Control: no-store", kPlain[0], kPlain[1],
                 kPlain[2], "Connection: close", "Content-Length: 12"}) +
             "no page yet\n",
         false, false},
        {"an event stream starts", MakeRequest(http::verb::get, "/events"), nullptr,
         Header({"HTTP/1.1 200 OK", "Server: lumivane-view", "Content-Type: text/event-stream",
                 "Cache-Control: no-store", "X-Content-Type-Options: nosniff",
                 "Transfer-Encoding: chunked"}),
         false, true},
        {"an event stream asked to close", MakeRequest(http::verb::get, "/events", 11, "close"),
         nullptr,
         Header({"HTTP/1.1 200 OK", "Server: lumivane-view", "Content-Type: text/event-stream",
                 "Cache-Control: no-store", "X-Content-Type-Options: nosniff", "Connection: close",
                 "Transfer-Encoding: chunked"}),
         false, true},
        {"an event stream over HTTP/1.0: no chunks, it ends with the connection",
         MakeRequest(http::verb::get, "/events", 10, "keep-alive"), nullptr,
         Header({"HTTP/1.0 200 OK", "Server: lumivane-view", "Content-Type: text/event-stream",
                 "Cache-Control: no-store", "X-Content-Type-Options: nosniff"}),
         false, true},
        {"HEAD of the stream: its header only", MakeRequest(http::verb::head, "/events"), nullptr,
         Header({"HTTP/1.1 200 OK", "Server: lumivane-view", "Content-Type: text/event-stream",
                 "Cache-Control: no-store", "X-Content-Type-Options: nosniff",
                 "Transfer-Encoding: chunked"}),
         true, false},
        {"HEAD of the stream asked to close", MakeRequest(http::verb::head, "/events", 11, "close"),
         nullptr,
         Header({"HTTP/1.1 200 OK", "Server: lumivane-view", "Content-Type: text/event-stream",
                 "Cache-Control: no-store", "X-Content-Type-Options: nosniff", "Connection: close",
                 "Transfer-Encoding: chunked"}),
         false, false},
        {"HEAD of the stream over HTTP/1.0", MakeRequest(http::verb::head, "/events", 10), nullptr,
         Header({"HTTP/1.0 200 OK", "Server: lumivane-view", "Content-Type: text/event-stream",
                 "Cache-Control: no-store", "X-Content-Type-Options: nosniff"}),
         false, false},
        {"one stream too many", MakeRequest(http::verb::get, "/events"), StreamsFull,
         Header({"HTTP/1.1 503 Service Unavailable", "Retry-After: 5", kPlain[0], kPlain[1],
                 kPlain[2], "Connection: close", "Content-Length: 23"}) +
             "too many event streams\n",
         false, false},
        {"a picture's value out of range", MakeRequest(http::verb::get, "/screen.png?scale=65"),
         nullptr,
         Header({"HTTP/1.1 400 Bad Request", kPlain[0], kPlain[1], kPlain[2], "Connection: close",
                 "Content-Length: 45"}) +
             "scale '65': want a whole number from 1 to 64\n",
         false, false},
        {"a picture over the pixel budget",
         MakeRequest(http::verb::get, "/screen.png?size=76x1&scale=25"), nullptr,
         Header({"HTTP/1.1 400 Bad Request", kPlain[0], kPlain[1], kPlain[2], "Connection: close",
                 "Content-Length: 87"}) +
             "size 76x1 at scale 25: 14378x599 pixels, over the budget of 8611472 (80x4 at scale "
             "16)\n",
         false, false},
        {"a picture in a text encoding",
         MakeRequest(http::verb::get, "/screen.png?encoding=latin1"), nullptr,
         Header({"HTTP/1.1 400 Bad Request", kPlain[0], kPlain[1], kPlain[2], "Connection: close",
                 "Content-Length: 51"}) +
             "encoding 'latin1': want hd44780-a00 or hd44780-a02\n",
         false, false},
        {"another method", MakeRequest(http::verb::post, "/screen.json"), nullptr,
         Header({"HTTP/1.1 405 Method Not Allowed", "Allow: GET, HEAD", kPlain[0], kPlain[1],
                 kPlain[2], "Connection: close", "Content-Length: 19"}) +
             "method not allowed\n",
         false, false},
        {"another method on the stream", MakeRequest(http::verb::options, "/events"), nullptr,
         Header({"HTTP/1.1 405 Method Not Allowed", "Allow: GET, HEAD", kPlain[0], kPlain[1],
                 kPlain[2], "Connection: close", "Content-Length: 19"}) +
             "method not allowed\n",
         false, false},
        {"another path", MakeRequest(http::verb::get, "/logs/lumivane.log"), nullptr,
         Header({"HTTP/1.1 404 Not Found", kPlain[0], kPlain[1], kPlain[2], "Connection: close",
                 "Content-Length: 10"}) +
             "not found\n",
         false, false},
        {"another path, another method", MakeRequest(http::verb::post, "/upload"), nullptr,
         Header({"HTTP/1.1 404 Not Found", kPlain[0], kPlain[1], kPlain[2], "Connection: close",
                 "Content-Length: 10"}) +
             "not found\n",
         false, false},
        {"HEAD of another path, HTTP/1.0", MakeRequest(http::verb::head, "/index.htm/", 10),
         nullptr,
         Header({"HTTP/1.0 404 Not Found", kPlain[0], kPlain[1], kPlain[2], "Content-Length: 10"}),
         false, false},
    };
    for (const RouteCase& c : cases) {
        SCOPED_TRACE(c.what);
        Snapshot snapshot = TestSnapshot();
        if (c.adjust) c.adjust(&snapshot);
        Answer answer = Route(c.request, snapshot);
        EXPECT_EQ(Wire(answer), c.wire);
        EXPECT_EQ(answer.keep_alive, c.keep_alive);
        EXPECT_EQ(answer.stream, c.stream);
    }
}

// /screen.png: the answer's header, and the picture to draw into its body:
// the query's options, the view's own where it has none, and A00 unless the
// view reads the page with a ROM.
TEST(Route, APictureWithTheQuerysOptionsOrTheViews) {
    struct {
        const char* target;
        Encoding encoding;
        PictureOptions picture;
    } cases[] = {
        {"/screen.png", Encoding::kWindows1252, {{16, 2}, CharacterRom::kA00, Theme::kBlue, 5}},
        {"/screen.png", Encoding::kHd44780A02, {{16, 2}, CharacterRom::kA02, Theme::kBlue, 5}},
        {"/screen.png?size=40x4&encoding=hd44780-a00&theme=oled&scale=1",
         Encoding::kHd44780A02,
         {{40, 4}, CharacterRom::kA00, Theme::kOled, 1}},
        {"/screen.png?theme=white",
         Encoding::kUtf8,
         {{16, 2}, CharacterRom::kA00, Theme::kWhite, 5}},
        // The whole screen spending the pixel budget exactly, and a phone's
        // display at twice that scale within it.
        {"/screen.png?size=80x4&scale=16",
         Encoding::kWindows1252,
         {{80, 4}, CharacterRom::kA00, Theme::kBlue, 16}},
        {"/screen.png?scale=32",
         Encoding::kWindows1252,
         {{16, 2}, CharacterRom::kA00, Theme::kBlue, 32}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        Snapshot snapshot = TestSnapshot();
        snapshot.encoding = c.encoding;
        snapshot.display = {{16, 2}, Theme::kBlue, 5};
        Answer answer = Route(MakeRequest(http::verb::get, c.target), snapshot);
        ASSERT_TRUE(answer.picture);
        EXPECT_EQ(answer.picture->size, c.picture.size);
        EXPECT_EQ(answer.picture->rom, c.picture.rom);
        EXPECT_EQ(answer.picture->theme, c.picture.theme);
        EXPECT_EQ(answer.picture->scale, c.picture.scale);
        EXPECT_EQ(answer.response.result(), http::status::ok);
        EXPECT_EQ(answer.response[http::field::content_type], "image/png");
        EXPECT_EQ(answer.response[http::field::cache_control], "no-store");
        EXPECT_TRUE(answer.keep_alive);
    }
    Answer busy = PicturesBusy(MakeRequest(http::verb::get, "/screen.png"));
    EXPECT_EQ(Wire(busy),
              Header({"HTTP/1.1 503 Service Unavailable", "Retry-After: 1", kPlain[0], kPlain[1],
                      kPlain[2], "Connection: close", "Content-Length: 26"}) +
                  "too many pictures at once\n");
}

TEST(Route, TheViewPageWithItsPolicy) {
    for (const http::verb method : {http::verb::get, http::verb::head}) {
        Answer answer = Route(MakeRequest(method, "/"), TestSnapshot());
        const std::string header = Header(
            {"HTTP/1.1 200 OK", "Cache-Control: no-cache", "Server: lumivane-view",
             "Content-Type: text/html; charset=utf-8", "X-Content-Type-Options: nosniff",
             ("Content-Length: " + std::to_string(strlen(kViewPage))).c_str(),
             "Content-Security-Policy: default-src 'none'; script-src 'unsafe-inline'; style-src "
             "'unsafe-inline'; connect-src 'self'; img-src 'self' data:; manifest-src 'self'; "
             "media-src data:; frame-ancestors 'none'"});
        EXPECT_EQ(Wire(answer), method == http::verb::get ? header + kViewPage : header);
        EXPECT_TRUE(answer.keep_alive);
    }
}

TEST(Refusal, ClosesWithTheStatusAndItsReason) {
    const struct {
        http::status status;
        const char* wire;
    } cases[] = {
        {http::status::bad_request,
         "HTTP/1.1 400 Bad Request\r\nServer: lumivane-view\r\nContent-Type: text/plain; "
         "charset=utf-8\r\nX-Content-Type-Options: nosniff\r\nConnection: close\r\n"
         "Content-Length: 12\r\n\r\nBad Request\n"},
        {http::status::payload_too_large,
         "HTTP/1.1 413 Payload Too Large\r\nServer: lumivane-view\r\nContent-Type: text/plain; "
         "charset=utf-8\r\nX-Content-Type-Options: nosniff\r\nConnection: close\r\n"
         "Content-Length: 18\r\n\r\nPayload Too Large\n"},
        {http::status::request_header_fields_too_large,
         "HTTP/1.1 431 Request Header Fields Too Large\r\nServer: lumivane-view\r\n"
         "Content-Type: text/plain; charset=utf-8\r\nX-Content-Type-Options: nosniff\r\n"
         "Connection: close\r\nContent-Length: 32\r\n\r\nRequest Header Fields Too Large\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.status));
        Answer answer = Refusal(c.status);
        EXPECT_EQ(Wire(answer), c.wire);
        EXPECT_FALSE(answer.keep_alive);
        EXPECT_FALSE(answer.stream);
    }
}

}  // namespace
}  // namespace view

namespace view {
namespace {

constexpr char kToken[] = "Tk9uZS1vZi15b3VyLWJpeg";

TEST(RouteWithToken, OnlyARequestWithTheTokenIsServed) {
    const std::string wrong = "Tk9uZS1vZi15b3VyLWJpez";  // its length, one character off
    const struct {
        const char* what;
        Request request;
        int status;
        const char* location;  // "" for none
    } cases[] = {
        {"no token", MakeRequest(http::verb::get, "/"), 403, ""},
        {"no token, the stream", MakeRequest(http::verb::get, "/events"), 403, ""},
        {"no token, the screen", MakeRequest(http::verb::head, "/screen.json"), 403, ""},
        {"no token, the page", MakeRequest(http::verb::get, "/index.htm"), 403, ""},
        {"no token, another path", MakeRequest(http::verb::get, "/nope"), 403, ""},
        {"a wrong token", MakeRequest(http::verb::get, ("/?token=" + wrong).c_str()), 403, ""},
        {"a token cut short", MakeRequest(http::verb::get, "/?token=Tk9uZS1vZi15b3VyLWJp"), 403,
         ""},
        {"the token", MakeRequest(http::verb::get, "/?token=Tk9uZS1vZi15b3VyLWJpeg"), 303, "/"},
        {"the token among others",
         MakeRequest(http::verb::get, "/screen.json?a=1&token=Tk9uZS1vZi15b3VyLWJpeg&b=2"), 303,
         "/screen.json?a=1&b=2"},
        // The redirect leads only to the view's own paths.
        {"a path that names another host",
         MakeRequest(http::verb::get, "//evil.example/?token=Tk9uZS1vZi15b3VyLWJpeg"), 303, "/"},
        {"a path that names another host with a backslash",
         MakeRequest(http::verb::get, "/\\evil.example/?token=Tk9uZS1vZi15b3VyLWJpeg&a=1"), 303,
         "/?a=1"},
        {"an absolute target",
         MakeRequest(http::verb::get, "http://evil.example/?token=Tk9uZS1vZi15b3VyLWJpeg"), 303,
         "/"},
        {"an absolute target of the computer's name",
         MakeRequest(http::verb::get,
                     "http://my-computer.local:8080/screen.json?token=Tk9uZS1vZi15b3VyLWJpeg"),
         303, "/screen.json"},
        {"the cookie of a view on another port",
         [] {
             Request request = MakeRequest(http::verb::get, "/");
             request.set(http::field::cookie, "lumivane_token_8081=Tk9uZS1vZi15b3VyLWJpeg");
             return request;
         }(),
         403, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Snapshot snapshot = TestSnapshot();
        snapshot.token = kToken;
        Answer answer = Route(c.request, snapshot);
        const Response& response = answer.response;
        EXPECT_EQ(response.result_int(), c.status);
        EXPECT_FALSE(answer.stream);
        EXPECT_EQ(response["Referrer-Policy"], "no-referrer");
        EXPECT_EQ(response[http::field::location], c.location);
        if (c.status == 303) {
            EXPECT_EQ(response[http::field::set_cookie],
                      "lumivane_token_8080=Tk9uZS1vZi15b3VyLWJpeg; Max-Age=34560000; HttpOnly; "
                      "SameSite=Strict; Path=/");
        } else {
            EXPECT_EQ(response[http::field::set_cookie], "");
            EXPECT_FALSE(answer.keep_alive);
            EXPECT_NE(response.body().find("Open the address that lumivane-view printed"),
                      std::string::npos);
            EXPECT_EQ(response.body().find("\"rows\""), std::string::npos);
        }
    }

    // The cookie lets every request through, the stream too.
    for (const char* cookie : {"lumivane_token_8080=Tk9uZS1vZi15b3VyLWJpeg",
                               "a=b; lumivane_token_8080=Tk9uZS1vZi15b3VyLWJpeg; c=d"}) {
        SCOPED_TRACE(cookie);
        Snapshot snapshot = TestSnapshot();
        snapshot.token = kToken;
        // Any name, as a phone uses the computer's.
        for (const char* host : {"127.0.0.1:8080", "my-computer.local:8080"}) {
            for (const char* target : {"/", "/screen.json", "/index.htm", "/events"}) {
                Request request = WithHost(MakeRequest(http::verb::get, target), host);
                request.set(http::field::cookie, cookie);
                const Answer answer = Route(request, snapshot);
                EXPECT_EQ(answer.response.result_int(), 200) << host << target;
            }
        }
        Request wrong_cookie = MakeRequest(http::verb::get, "/");
        wrong_cookie.set(http::field::cookie, "lumivane_token_8080=" + wrong);
        EXPECT_EQ(Route(wrong_cookie, snapshot).response.result_int(), 403);
    }
}

// The address with the token goes only to a request that carries the token;
// without a token there is nothing to share and no such resource.
TEST(RouteWithToken, OnlyATokenHolderIsGivenTheAddressToShare) {
    const std::string cookie = std::string("lumivane_token_8080=") + kToken;
    const struct {
        const char* what;
        const char* token;   // the view's; "" on loopback
        const char* cookie;  // nullptr: none sent
        const char* host;    // nullptr: none sent
        std::string wire;
    } cases[] = {
        {"the token holder", kToken, cookie.c_str(), "192.168.1.5:8080",
         Header({"HTTP/1.1 200 OK", "Cache-Control: no-store", "Server: lumivane-view",
                 "Content-Type: application/json", "X-Content-Type-Options: nosniff",
                 "Content-Length: 63", "Referrer-Policy: no-referrer"}) +
             R"({"url":"http://192.168.1.5:8080/?token=Tk9uZS1vZi15b3VyLWJpeg"})"},
        {"an IPv6 address", kToken, cookie.c_str(), "[fd00::5]:80",
         Header({"HTTP/1.1 200 OK", "Cache-Control: no-store", "Server: lumivane-view",
                 "Content-Type: application/json", "X-Content-Type-Options: nosniff",
                 "Content-Length: 59", "Referrer-Policy: no-referrer"}) +
             R"({"url":"http://[fd00::5]:80/?token=Tk9uZS1vZi15b3VyLWJpeg"})"},
        {"a host that is no address", kToken, cookie.c_str(), "evil\"}, \"x\":\"",
         Header({"HTTP/1.1 404 Not Found", "Server: lumivane-view",
                 "Content-Type: text/plain; charset=utf-8", "X-Content-Type-Options: nosniff",
                 "Connection: close", "Content-Length: 10", "Referrer-Policy: no-referrer"}) +
             "not found\n"},
        {"no host", kToken, cookie.c_str(), nullptr,
         Header({"HTTP/1.1 400 Bad Request", "Server: lumivane-view",
                 "Content-Type: text/plain; charset=utf-8", "X-Content-Type-Options: nosniff",
                 "Connection: close", "Content-Length: 14", "Referrer-Policy: no-referrer"}) +
             "no Host field\n"},
        {"loopback, no token", "", nullptr, "127.0.0.1:8080",
         Header({"HTTP/1.1 404 Not Found", "Server: lumivane-view",
                 "Content-Type: text/plain; charset=utf-8", "X-Content-Type-Options: nosniff",
                 "Connection: close", "Content-Length: 10"}) +
             "not found\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Snapshot snapshot = TestSnapshot();
        snapshot.token = c.token;
        Request request(http::verb::get, "/share.json", 11);
        if (c.host) request.set(http::field::host, c.host);
        if (c.cookie) request.set(http::field::cookie, c.cookie);
        Answer answer = Route(request, snapshot);
        EXPECT_EQ(Wire(answer), c.wire);
    }

    // Without the token, or with a wrong one, the 403 never holds it.
    for (const char* sent :
         {static_cast<const char*>(nullptr), "lumivane_token_8080=nope",
          "lumivane_token_8080=Tk9uZS1vZi15b3VyLWJpez", "lumivane_token=Tk9uZS1vZi15b3VyLWJpeg"}) {
        SCOPED_TRACE(sent ? sent : "no cookie");
        Snapshot snapshot = TestSnapshot();
        snapshot.token = kToken;
        Request request = MakeRequest(http::verb::get, "/share.json");
        if (sent) request.set(http::field::cookie, sent);
        Answer answer = Route(request, snapshot);
        EXPECT_EQ(answer.response.result_int(), 403);
        EXPECT_EQ(Wire(answer).find(kToken), std::string::npos);
    }
}

// Another site may frame only the bare view, and only when it was asked with
// the token: it then gets no cookie and is served as asked; every other
// document refuses frames.
TEST(RouteWithToken, OnlyTheBareViewGivenItsTokenMayBeFramed) {
    const std::string cookie = std::string("lumivane_token_8080=") + kToken;
    const struct {
        const char* what;
        const char* token;  // the view's; "" on loopback
        std::string target;
        const char* cookie;  // nullptr: none sent
        int status;
        const char* frames;  // the frame policy, "" for none
    } cases[] = {
        {"bare with the token", kToken, std::string("/?bare=1&token=") + kToken, nullptr, 200,
         "frame-ancestors *"},
        {"bare with the token, bezel and size", kToken,
         std::string("/?size=20x4&bare=1&bezel=0&token=") + kToken, nullptr, 200,
         "frame-ancestors *"},
        {"its stream", kToken, std::string("/events?bare=1&token=") + kToken, nullptr, 200, ""},
        {"bare with the cookie", kToken, "/?bare=1", cookie.c_str(), 200, "frame-ancestors 'none'"},
        {"bare with a wrong token", kToken, "/?bare=1&token=Tk9uZS1vZi15b3VyLWJpez", nullptr, 403,
         "frame-ancestors 'none'"},
        {"the token, not bare", kToken, std::string("/?bare=0&token=") + kToken, nullptr, 303, ""},
        {"the page file, bare with the token", kToken,
         std::string("/index.htm?bare=1&token=") + kToken, nullptr, 200, "frame-ancestors 'none'"},
        {"not bare", kToken, "/", cookie.c_str(), 200, "frame-ancestors 'none'"},
        {"bare on loopback, no token to give", "", "/?bare=1&token=x", nullptr, 200,
         "frame-ancestors 'none'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Snapshot snapshot = TestSnapshot();
        snapshot.token = c.token;
        Request request = MakeRequest(http::verb::get, c.target.c_str());
        if (c.cookie) request.set(http::field::cookie, c.cookie);
        const Answer answer = Route(request, snapshot);
        const Response& response = answer.response;
        EXPECT_EQ(response.result_int(), c.status);
        const std::string policy(response["Content-Security-Policy"]);
        const std::size_t frames = policy.find("frame-ancestors");
        EXPECT_EQ(frames == std::string::npos ? "" : policy.substr(frames), c.frames);
        if (c.status == 200) {
            EXPECT_EQ(response[http::field::set_cookie], "");
            EXPECT_EQ(response[http::field::location], "");
        }
    }
}

// The home screen's app: its manifest goes to a token holder only, and starts
// the app in kiosk mode through the token, as the printed address does.
TEST(RouteWithToken, TheManifestStartsTheKioskThroughTheToken) {
    const std::string cookie = std::string("lumivane_token_8080=") + kToken;
    const struct {
        const char* what;
        const char* token;
        const char* cookie;
        Theme theme;
        int status;
        std::string manifest;  // the exact body of a 200
    } cases[] = {
        {"loopback, green", "", nullptr, Theme::kGreen, 200,
         R"({"background_color":"#2a2c2e","display":"fullscreen","icons":[)"
         R"({"sizes":"192x192","src":"/icon-192.png","type":"image/png"},)"
         R"({"sizes":"512x512","src":"/icon-512.png","type":"image/png"}],"id":"/",)"
         R"("name":"Lumivane view","orientation":"landscape","scope":"/",)"
         R"("short_name":"Lumivane","start_url":"/?kiosk=1","theme_color":"#9cc83a"})"},
        {"a token holder, blue", kToken, cookie.c_str(), Theme::kBlue, 200,
         R"({"background_color":"#2a2c2e","display":"fullscreen","icons":[)"
         R"({"sizes":"192x192","src":"/icon-192.png","type":"image/png"},)"
         R"({"sizes":"512x512","src":"/icon-512.png","type":"image/png"}],"id":"/",)"
         R"("name":"Lumivane view","orientation":"landscape","scope":"/",)"
         R"("short_name":"Lumivane","start_url":"/?kiosk=1&token=Tk9uZS1vZi15b3VyLWJpeg",)"
         R"("theme_color":"#1f3fd0"})"},
        {"no token", kToken, nullptr, Theme::kGreen, 403, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Snapshot snapshot = TestSnapshot();
        snapshot.token = c.token;
        snapshot.display.theme = c.theme;
        Request request = MakeRequest(http::verb::get, "/manifest.webmanifest");
        if (c.cookie) request.set(http::field::cookie, c.cookie);
        const Answer answer = Route(request, snapshot);
        EXPECT_EQ(answer.response.result_int(), c.status);
        if (c.status != 200) {
            EXPECT_EQ(answer.response.body().find(kToken), std::string::npos);
            continue;
        }
        EXPECT_EQ(answer.response[http::field::content_type], "application/manifest+json");
        EXPECT_EQ(answer.response[http::field::cache_control], "no-store");
        EXPECT_EQ(answer.response.body(), c.manifest);
    }
}

// The icons are PNGs of their size, the same bytes at each ask; the picture
// itself is RenderIconPng's test.
TEST(Route, TheIconsAtTheirSizes) {
    for (const char* side : {"192", "512"}) {
        SCOPED_TRACE(side);
        const std::string target = std::string("/icon-") + side + ".png";
        const Answer first = Route(MakeRequest(http::verb::get, target.c_str()), TestSnapshot());
        const Answer again = Route(MakeRequest(http::verb::get, target.c_str()), TestSnapshot());
        EXPECT_EQ(first.response.result_int(), 200);
        EXPECT_EQ(first.response[http::field::content_type], "image/png");
        const std::string& png = first.response.body();
        ASSERT_GT(png.size(), 24u);
        EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
        const auto be32 = [&](std::size_t at) {
            return (static_cast<unsigned char>(png[at]) << 24) |
                   (static_cast<unsigned char>(png[at + 1]) << 16) |
                   (static_cast<unsigned char>(png[at + 2]) << 8) |
                   static_cast<unsigned char>(png[at + 3]);
        };
        EXPECT_EQ(be32(16), std::stoi(side));  // the header chunk's width and height
        EXPECT_EQ(be32(20), std::stoi(side));
        EXPECT_EQ(again.response.body(), png);
    }
}

}  // namespace
}  // namespace view
