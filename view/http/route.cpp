#include "view/http/route.h"

#include <array>
#include <boost/beast/http/field.hpp>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>

#include "view/history/history_json.h"
#include "view/http/authority.h"
#include "view/http/token.h"
#include "view/lcd/lcd_picture.h"
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
                 "'unsafe-inline'; connect-src 'self'; img-src 'self' data:; manifest-src "
                 "'self'; media-src data:");
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

// A picture's version=N: the kept screen in *kept, or the answer that refuses
// it (400 malformed, 404 no longer kept); no version: nullopt, *kept empty.
std::optional<Answer> KeptVersionAsked(const Request& request, std::string_view query,
                                       const Snapshot& snapshot, std::optional<KeptScreen>* kept) {
    std::optional<std::uint64_t> version;
    std::string reason;
    if (!ParseVersionParameter(query, &version, &reason))
        return Finish(request, Response(), http::status::bad_request, reason + "\n", kPlainText);
    if (!version) return std::nullopt;
    if (snapshot.history) *kept = snapshot.history->Find(*version);
    if (!*kept)
        return Finish(request, Response(), http::status::not_found,
                      "version " + std::to_string(*version) + " is not kept\n", kPlainText);
    return std::nullopt;
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
    std::optional<KeptScreen> kept;
    if (auto refused = KeptVersionAsked(request, query, snapshot, &kept))
        return std::move(*refused);
    Response response;
    response.set(http::field::cache_control, "no-store");
    Answer answer = Finish(request, std::move(response), http::status::ok, "", "image/png");
    answer.picture = options;
    answer.picture_of = std::move(kept);
    return answer;
}

// The screens seen, from the kept history.
Answer ServeHistory(const Request& request, const Snapshot& snapshot) {
    const std::string_view target(request.target().data(), request.target().size());
    const std::size_t mark = target.find('?');
    HistoryQuery query;
    std::string reason;
    if (!ParseHistoryQuery(mark == std::string_view::npos ? "" : target.substr(mark + 1), &query,
                           &reason))
        return Finish(request, Response(), http::status::bad_request, reason + "\n", kPlainText);
    Response response;
    response.set(http::field::cache_control, "no-store");
    return Finish(request, std::move(response), http::status::ok,
                  snapshot.history ? HistoryJson(*snapshot.history, query)
                                   : HistoryJson(ScreenHistory(), query),
                  "application/json");
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

// What a phone needs to put the view on its home screen as an app. An app
// opened from there starts at start_url, token and all, as the printed
// address does: its browser may keep the cookies of the one it was added from
// apart. Only a token holder gets here, so the token goes to none other.
Answer ServeManifest(const Request& request, const Snapshot& snapshot) {
    const ThemeColours colours = ThemeCssColours(snapshot.display.theme);
    std::string start = "/?kiosk=1";
    if (!snapshot.token.empty()) start += "&token=" + std::string(snapshot.token);
    nlohmann::json icons = nlohmann::json::array();
    for (const char* side : {"192", "512"})
        icons.push_back({{"src", std::string("/icon-") + side + ".png"},
                         {"sizes", std::string(side) + "x" + side},
                         {"type", "image/png"}});
    const nlohmann::json manifest = {
        {"name", "Lumivane view"},
        {"short_name", "Lumivane"},
        {"id", "/"},
        {"start_url", start},
        {"scope", "/"},
        {"display", "fullscreen"},
        {"orientation", "landscape"},
        {"theme_color", colours.backlight},
        {"background_color", colours.bezel},
        {"icons", icons},
    };
    Response response;
    response.set(http::field::cache_control, "no-store");
    return Finish(request, std::move(response), http::status::ok, manifest.dump(),
                  "application/manifest+json");
}

// The icons are drawn when first asked for, by the renderer of /screen.png:
// the Windows program is cross-built, and its build cannot run a tool of its
// own to draw them. Each is drawn once per theme; the answer is a copy.
const std::string& Icon(Theme theme, int side) {
    constexpr int kSides[] = {192, 512};
    constexpr std::size_t kThemes = static_cast<std::size_t>(Theme::kOled) + 1;
    static std::array<std::once_flag, kThemes * 2> drawn;
    static std::array<std::string, kThemes * 2> icons;
    const std::size_t slot = static_cast<std::size_t>(theme) * 2 + (side == kSides[0] ? 0 : 1);
    std::call_once(drawn[slot], [&] { icons[slot] = RenderIconPng(theme, side); });
    return icons[slot];
}

Answer ServeIcon(const Request& request, const Snapshot& snapshot, int side) {
    Response response;
    response.set(http::field::cache_control, "no-cache");
    return Finish(request, std::move(response), http::status::ok,
                  Icon(snapshot.display.theme, side), "image/png");
}
Answer ServeSmallIcon(const Request& request, const Snapshot& snapshot) {
    return ServeIcon(request, snapshot, 192);
}
Answer ServeLargeIcon(const Request& request, const Snapshot& snapshot) {
    return ServeIcon(request, snapshot, 512);
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
    {"/manifest.webmanifest", ServeManifest},
    {"/icon-192.png", ServeSmallIcon},
    {"/icon-512.png", ServeLargeIcon},
    {"/history.json", ServeHistory},
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

// The query of a request's target, without its "?"; empty when none.
std::string_view QueryOf(const Request& request) {
    const std::string_view target(request.target().data(), request.target().size());
    const std::size_t question = target.find('?');
    return question == std::string_view::npos ? std::string_view() : target.substr(question + 1);
}

// A bare view for a stream or a dashboard, framed by another site, gets no
// cookie: it carries the token in each of its URLs, bare=1 beside it, and is
// answered as it asked, with no turn through a cookie.
bool BareWithToken(std::string_view query, const Snapshot& snapshot) {
    bool bare = false;
    for (std::string_view rest = query; !bare && !rest.empty();) {
        const std::size_t end = rest.find('&');
        bare = rest.substr(0, end) == "bare=1";
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    return bare && !snapshot.token.empty() &&
           FindToken(query, std::string_view(), snapshot.token, snapshot.port) ==
               TokenPlace::kQuery;
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
    const std::string_view query =
        question == std::string_view::npos ? std::string_view() : target.substr(question + 1);
    if (!snapshot.token.empty() && !BareWithToken(query, snapshot)) {
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

// Only a document can be framed to catch a click or show the screen in
// another site: each refuses it, but for the bare view asked with its token.
void SetFramePolicy(const Request& request, const Snapshot& snapshot, Answer* answer) {
    const auto type = answer->response[http::field::content_type];
    if (std::string_view(type.data(), type.size()).substr(0, 9) != "text/html") return;
    const std::string_view target(request.target().data(), request.target().size());
    const bool framed_bare = target.substr(0, target.find('?')) == "/" &&
                             answer->response.result() == http::status::ok &&
                             BareWithToken(QueryOf(request), snapshot);
    // One policy: the answer's own, if any, and who may frame it.
    std::string policy(answer->response["Content-Security-Policy"]);
    policy += policy.empty() ? "" : "; ";
    policy += framed_bare ? "frame-ancestors *" : "frame-ancestors 'none'";
    answer->response.set("Content-Security-Policy", policy);
}
}  // namespace

Answer Route(const Request& request, const Snapshot& snapshot) {
    Answer answer = Serve(request, snapshot);
    SetFramePolicy(request, snapshot, &answer);
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
