#include "view/http/shared_state.h"

#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

#include "platform/programs/platform.h"
#include "view/history/history_json.h"
#include "view/http/event_stream.h"
#include "view/http/http_session.h"

namespace view {

std::string ScreenJson(const ScreenState& state, const std::string& page, Encoding encoding,
                       const DisplayOptions& display) {
    nlohmann::ordered_json json;
    json["rows"] = state.rows;
    json["version"] = state.version;
    json["found"] = state.found;
    json["page"] = page;
    std::string codes;
    AppendCodesJson(state.bytes, &codes);
    json["codes"] = nlohmann::ordered_json::parse(codes);
    json["display"] = {{"size", DisplaySizeName(display.size)},
                       {"encoding", EncodingName(encoding)},
                       {"theme", ThemeName(display.theme)}};
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string EventMessage(const std::string& name, const std::string& data) {
    std::string message = "event: " + name + "\n";
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = data.find('\n', start);
        message += "data: " + data.substr(start, end - start) + "\n";
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return message + "\n";
}

SharedState::SharedState(boost::asio::io_context& io, PageWatch& watch, ServerLimits limits,
                         DisplayOptions display)
    : io(io),
      watch(watch),
      limits(limits),
      display(display),
      history(limits.history),
      pictures(io),
      keep_alive_timer(io),
      page_name(watch.page().u8string()) {
    Refresh();
}

void SharedState::Refresh() {
    const ScreenState& screen = watch.state();
    if (screen.version > 0) history.Add(screen.version, NowMs(), screen.bytes);
    screen_json = ScreenJson(watch.state(), page_name, watch.encoding(), display);
    screen_event = std::make_shared<const std::string>(EventMessage("screen", screen_json));
}

Snapshot SharedState::SnapshotNow() const {
    Snapshot snapshot;
    snapshot.screen_json = screen_json;
    snapshot.encoding = watch.encoding();
    snapshot.display = display;
    snapshot.streams_full = streams.size() >= limits.max_streams;
    snapshot.token = token;
    snapshot.history = &history;
    snapshot.port = port;
    snapshot.read_page = [page = &watch.page()](std::string* bytes) {
        return host::ReadWholeFile(*page, bytes);
    };
    return snapshot;
}

void SharedState::Broadcast(const std::shared_ptr<const std::string>& message) {
    std::vector<std::shared_ptr<EventStream>> targets;
    for (const auto& entry : streams)
        if (auto stream = entry.second.lock()) targets.push_back(std::move(stream));
    for (const auto& stream : targets) stream->Push(message);
}

std::size_t ConnectionCap(std::size_t descriptors) {
    constexpr std::size_t kOwnDescriptors = 64;  // listener, poller, standard streams, page
    if (descriptors == 0) return ServerLimits{}.max_connections;
    return descriptors > 2 * kOwnDescriptors ? descriptors - kOwnDescriptors : descriptors / 2;
}

bool SharedState::MakeRoom() {
    if (sessions.size() + streams.size() < limits.max_connections) return true;
    std::shared_ptr<HttpSession> oldest;
    for (const auto& entry : sessions) {
        auto session = entry.second.lock();
        if (session && session->waiting() && (!oldest || session->number() < oldest->number()))
            oldest = std::move(session);
    }
    if (!oldest) return false;
    oldest->Close();
    return true;
}

void SharedState::CloseAll() {
    stopped = true;
    if (follow) follow->Stop();
    keep_alive_timer.cancel();
    pictures.Stop();
    std::vector<std::shared_ptr<HttpSession>> open_sessions;
    for (const auto& entry : sessions)
        if (auto session = entry.second.lock()) open_sessions.push_back(std::move(session));
    std::vector<std::shared_ptr<EventStream>> open_streams;
    for (const auto& entry : streams)
        if (auto stream = entry.second.lock()) open_streams.push_back(std::move(stream));
    for (const auto& session : open_sessions) session->Close();
    for (const auto& stream : open_streams) stream->Close();
}

}  // namespace view
