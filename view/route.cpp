#include "view/route.h"

#include <boost/beast/http/field.hpp>
#include <utility>

#include "view/view_page.h"

namespace view {

namespace http = boost::beast::http;

namespace {
constexpr char kServerName[] = "lumivane-view";
constexpr char kPlainText[] = "text/plain; charset=utf-8";

// The charset a browser should read the page file's bytes with.
const char* HttpCharset(Encoding encoding) {
    return encoding == Encoding::kLatin1 ? "iso-8859-1" : EncodingName(encoding);
}

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
    // A row holds whatever the host sent: no script in it may ever run.
    response.set("Content-Security-Policy", "sandbox");
    return Finish(request, std::move(response), http::status::ok, std::move(bytes),
                  std::string("text/html; charset=") + HttpCharset(snapshot.encoding));
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

struct Resource {
    std::string_view path;
    Answer (*serve)(const Request& request, const Snapshot& snapshot);
};

constexpr Resource kResources[] = {
    {"/", ServeView},
    {"/events", ServeEvents},
    {"/screen.json", ServeScreen},
    {"/index.htm", ServePage},
};
}  // namespace

Answer Route(const Request& request, const Snapshot& snapshot) {
    const std::string_view target(request.target().data(), request.target().size());
    const std::string_view path = target.substr(0, target.find('?'));
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

Answer Refusal(http::status status) {
    Request request;
    request.version(11);
    request.keep_alive(false);
    return Finish(request, Response(), status, std::string(http::obsolete_reason(status)) + "\n",
                  kPlainText);
}

}  // namespace view
