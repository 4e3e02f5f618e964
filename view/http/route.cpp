#include "view/http/route.h"

#include <boost/beast/http/field.hpp>
#include <optional>
#include <string>
#include <utility>

#include "view/http/authority.h"
#include "view/http/token.h"
#include "view/page/view_page.h"

namespace view {

namespace http = boost::beast::http;

namespace {
constexpr char kServerName[] = "lumivane-view";
constexpr char kPlainText[] = "text/plain; charset=utf-8";

// Finishes `response`, its own fields already set: the fields every answer
// carries, then the body and its length.
Answer Finish(const Request& request, Response response, http::status status, std::string body,
              const std::string& content_type) {
    response.result(status);
    response.version(request.version());
    response.set(http::field::server, kServerName);
    response.set(http::field::content_type, content_type);
    response.set("X-Content-Type-Options", "nosniff");
    response.keep_alive(request.keep_alive() && static_cast<int>(status) < 400);
    response.body() = std::move(body);
    response.prepare_payload();
    Answer answer;
    answer.keep_alive = response.keep_alive();
    answer.response = std::move(response);
    answer.head = request.method() == http::verb::head;
    return answer;
}

Answer ServeView(const Request& request, const Snapshot&) {
    Response response;
    response.set("Content-Security-Policy",
                 "default-src 'none'; script-src 'unsafe-inline'; style-src "
                 "'unsafe-inline'; connect-src 'self'; img-src data:");
    response.set(http::field::cache_control, "no-cache");
    return Finish(request, std::move(response), http::status::ok, kViewPage,
                  "text/html; charset=utf-8");
}

Answer ServeScreen(const Request& request, const Snapshot& snapshot) {
    Response response;
    response.set(http::field::cache_control, "no-store");
    return Finish(request, std::move(response), http::status::ok, std::string(snapshot.screen_json),
                  "application/json");
}

Answer ServePage(const Request& request, const Snapshot& snapshot) {
    Response response;
    response.set(http::field::cache_control, "no-store");
    std::string bytes;
    if (!snapshot.read_page || !snapshot.read_page(&bytes))
        return Finish(request, std::move(response), http::status::not_found, "no page yet\n",
                      kPlainText);
    // A row holds whatever the host sent: no script in it may ever run, and
    // nothing it names is fetched, which would tell others who looks and when.
    // Its bytes are as the host wrote them, whatever the view reads them as.
    response.set("Content-Security-Policy",
                 "sandbox; default-src 'none'; style-src 'unsafe-inline'");
    return Finish(request, std::move(response), http::status::ok, std::move(bytes),
                  "text/html; charset=windows-1252");
}

// The picture is drawn later, off the I/O thread: the answer says how.
Answer ServePicture(const Request& request, const Snapshot& snapshot) {
    const std::string_view target(request.target().data(), request.target().size());
    const std::size_t mark = target.find('?');
    const std::string_view query =
        mark == std::string_view::npos ? std::string_view() : target.substr(mark + 1);
    PictureOptions options;
    std::string reason;
    if (!ParsePictureQuery(query, PictureDefaults(snapshot.display, snapshot.encoding), &options,
                           &reason))
        return Finish(request, Response(), http::status::bad_request, reason + "\n", kPlainText);
    Response response;
    response.set(http::field::cache_control, "no-store");
    Answer answer = Finish(request, std::move(response), http::status::ok, "", "image/png");
    answer.picture = options;
    return answer;
}

Answer ServeEvents(const Request& request, const Snapshot& snapshot) {
    if (snapshot.streams_full) {
        Response response;
        response.set(http::field::retry_after, "5");
        Request closing = request;
        closing.keep_alive(false);
        return Finish(closing, std::move(response), http::status::service_unavailable,
                      "too many event streams\n", kPlainText);
    }
    Answer answer;
    Response& response = answer.response;
    response.result(http::status::ok);
    response.version(request.version());
    response.set(http::field::server, kServerName);
    response.set(http::field::content_type, "text/event-stream");
    response.set(http::field::cache_control, "no-store");
    response.set("X-Content-Type-Options", "nosniff");
    // An HTTP/1.0 client reads the stream to the connection's end; a newer
    // one gets it in chunks.
    const bool chunked = request.version() >= 11;
    response.keep_alive(chunked && request.keep_alive());
    response.chunked(chunked);
    answer.head = true;
    if (request.method() == http::verb::head) {
        // The header a stream starts with, and nothing more.
        answer.keep_alive = response.keep_alive();
        return answer;
    }
    answer.stream = true;
    return answer;
}

// The view's own address with the token, for a QR code a phone can open. Only
// a request that got past the token check comes here; without a token there
// is nothing to share. The host is the one this browser reached the view by.
Answer ServeShare(const Request& request, const Snapshot& snapshot) {
    const auto host = request[http::field::host];
    const std::string_view name(host.data(), host.size());
    if (snapshot.token.empty() || name.empty() ||
        name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                               "0123456789.-:[]") != std::string_view::npos)
        return Finish(request, Response(), http::status::not_found, "not found\n", kPlainText);
    Response response;
    response.set(http::field::cache_control, "no-store");
    return Finish(
        request, std::move(response), http::status::ok,
        "{\"url\":\"http://" + std::string(name) + "/?token=" + std::string(snapshot.token) + "\"}",
        "application/json");
}

struct Resource {
    std::string_view path;
    Answer (*serve)(const Request& request, const Snapshot& snapshot);
};

constexpr Resource kResources[] = {
    {"/", ServeView},
    {"/events", ServeEvents},
    {"/screen.json", ServeScreen},
    {"/screen.png", ServePicture},
    {"/index.htm", ServePage},
    {"/share.json", ServeShare},
};

constexpr char kForbiddenPage[] =
    "<!doctype html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
    "<title>Lumivane view: no token</title></head>\n<body><h1>This view needs its token</h1>\n"
    "<p>Open the address that lumivane-view printed when it started, the one that ends in "
    "<code>?token=&hellip;</code>. This browser will then remember it.</p></body></html>\n";

// Where a redirect may lead: `path` when it is one of the view's own, starting
// with exactly one '/' ("//host" or "/\\host" leads a browser off the view),
// otherwise the view's root.
std::string_view OwnPath(std::string_view path) {
    const bool own = !path.empty() && path[0] == '/' &&
                     (path.size() == 1 || (path[1] != '/' && path[1] != '\\'));
    return own ? path : std::string_view("/");
}

// The token check before anything is served; nullopt: the request may go on.
std::optional<Answer> CheckToken(const Request& request, std::string_view path,
                                 std::string_view query, const Snapshot& snapshot) {
    const auto cookies = request[http::field::cookie];
    const TokenPlace place = FindToken(query, std::string_view(cookies.data(), cookies.size()),
                                       snapshot.token, snapshot.port);
    if (place == TokenPlace::kCookie) return std::nullopt;
    if (place == TokenPlace::kQuery) {
        Response response;
        response.set(http::field::location, std::string(OwnPath(path)) + QueryWithoutToken(query));
        response.set(http::field::set_cookie, TokenCookieValue(snapshot.token, snapshot.port));
        response.set(http::field::cache_control, "no-store");
        return Finish(request, std::move(response), http::status::see_other, "", kPlainText);
    }
    Response response;
    response.set(http::field::cache_control, "no-store");
    return Finish(request, std::move(response), http::status::forbidden, kForbiddenPage,
                  "text/html; charset=utf-8");
}

constexpr char kNotThisComputer[] =
    "lumivane-view answers only to this computer's addresses and localhost without a token\n";

Answer Serve(const Request& request, const Snapshot& snapshot) {
    std::string_view target(request.target().data(), request.target().size());
    const auto host = request.find(http::field::host);
    if (host == request.end() && request.version() >= 11)
        return Finish(request, Response(), http::status::bad_request, "no Host field\n",
                      kPlainText);
    // An absolute target names the authority in place of Host.
    std::string_view authority = host == request.end()
                                     ? std::string_view()
                                     : std::string_view(host->value().data(), host->value().size());
    std::string absolute_path;
    const bool absolute = SplitAbsoluteTarget(target, &authority, &absolute_path);
    if (absolute) target = absolute_path;
    // Without a token, a name other than this computer's may be one that a web
    // page pointed at it (DNS rebinding). With one, the phone uses any name.
    // HTTP/1.0 may name none, which no browser does.
    const bool named = host != request.end() || absolute;
    if (snapshot.token.empty() && named && !IsLocalAuthority(authority))
        return Finish(request, Response(), http::status::misdirected_request, kNotThisComputer,
                      kPlainText);
    const std::size_t question = target.find('?');
    const std::string_view path = target.substr(0, question);
    if (!snapshot.token.empty()) {
        const std::string_view query =
            question == std::string_view::npos ? std::string_view() : target.substr(question + 1);
        if (auto refused = CheckToken(request, path, query, snapshot)) return std::move(*refused);
    }
    for (const Resource& resource : kResources) {
        if (path != resource.path) continue;
        if (request.method() != http::verb::get && request.method() != http::verb::head) {
            Response response;
            response.set(http::field::allow, "GET, HEAD");
            return Finish(request, std::move(response), http::status::method_not_allowed,
                          "method not allowed\n", kPlainText);
        }
        return resource.serve(request, snapshot);
    }
    return Finish(request, Response(), http::status::not_found, "not found\n", kPlainText);
}
}  // namespace

Answer Route(const Request& request, const Snapshot& snapshot) {
    Answer answer = Serve(request, snapshot);
    // Where a token is needed, no link may carry the address on.
    if (!snapshot.token.empty()) answer.response.set("Referrer-Policy", "no-referrer");
    return answer;
}

Answer PicturesBusy(const Request& request) {
    Response response;
    response.set(http::field::retry_after, "1");
    return Finish(request, std::move(response), http::status::service_unavailable,
                  "too many pictures at once\n", kPlainText);
}

Answer Refusal(http::status status) {
    Request request;
    request.version(11);
    request.keep_alive(false);
    return Finish(request, Response(), status, std::string(http::obsolete_reason(status)) + "\n",
                  kPlainText);
}

}  // namespace view
