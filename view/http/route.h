// What the view answers to one whole request, decided without a socket: the
// response, and whether the connection goes on or turns into an event stream.
#pragma once

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/status.hpp>
#include <boost/beast/http/string_body.hpp>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "view/history/screen_history.h"
#include "view/lcd/display_options.h"
#include "view/lcd/encodings.h"

namespace view {

using Request = boost::beast::http::request<boost::beast::http::string_body>;
using Response = boost::beast::http::response<boost::beast::http::string_body>;

// Reads the page file's bytes; false when there is no page to serve.
using PageReader = std::function<bool(std::string* bytes)>;

// What a request may be answered from, as it stands at the moment it came.
struct Snapshot {
    std::string_view screen_json;                // the screen as /screen.json serves it
    Encoding encoding = Encoding::kWindows1252;  // how the page's bytes are read
    DisplayOptions display;                      // the view's own size, theme and scale
    bool streams_full = false;                   // no room for another event stream
    PageReader read_page;                        // the page file, for /index.htm
    std::string_view token;                  // what every request must carry; empty: none needed
    const ScreenHistory* history = nullptr;  // the screens kept; none: nothing kept
    unsigned short port = 0;  // where the view listens, which names its token's cookie
};

struct Answer {
    Response response;
    bool head = false;        // send the response's header only (HEAD, or a stream's start)
    bool keep_alive = false;  // read the next request after it; otherwise linger and close
    bool stream = false;      // the header starts an event stream, which takes the connection
    // The body is the screen's picture with these options, drawn off the I/O
    // thread before the response goes out.
    std::optional<PictureOptions> picture;
    // The picture is of this kept version rather than of the screen now.
    std::optional<KeptScreen> picture_of;
};

// The answer to a whole request. Only a fixed set of names is ever served:
// nothing in a path is looked up on disk. With a token, a request without it
// gets 403, and one with it in its URL a cookie and the URL without it.
Answer Route(const Request& request, const Snapshot& snapshot);

// The answer to a picture request while too many pictures wait to be drawn.
Answer PicturesBusy(const Request& request);

// The answer to bytes that are not a request the view takes (malformed, a
// header or body too large): `status` and the end of the connection.
Answer Refusal(boost::beast::http::status status);

}  // namespace view
