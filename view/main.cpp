// lumivane-view: watches the page the driver writes and serves a live view of
// it over HTTP, so the screen can be watched from any browser as it changes.
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/page_format.h"
#include "platform/programs/platform.h"
#include "view/http/server.h"
#include "view/lcd/encodings.h"
#include "view/lcd/lcd_picture.h"
#include "view/options.h"
#include "view/picture_file.h"
#include "view/startup.h"
#include "view/watch/page_watch.h"

namespace fs = std::filesystem;
namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {

// The page below DIR: DIR/logs/index.htm, or DIR/index.htm when DIR is the
// logs directory itself.
fs::path PagePath(const std::string& directory) {
    std::error_code ignored;
    const fs::path dir = fs::absolute(fs::path(directory)).lexically_normal();
    const fs::path logs = dir / page_format::kFolder;
    if (fs::is_directory(logs, ignored)) return logs / page_format::kFile;
    fs::path name = dir;
    if (!name.has_filename()) name = name.parent_path();
    if (name.filename() == page_format::kFolder) return dir / page_format::kFile;
    return logs / page_format::kFile;
}

// --png: the current page's picture, written to the file once, or to
// standard output for "-".
int WritePicture(const view::Options& options) {
    const std::string refused = view::WhyNoPictureFile(options.png);
    if (!refused.empty()) {
        std::fprintf(stderr, "lumivane-view: cannot write %s: %s\n", options.png.c_str(),
                     refused.c_str());
        return view::kExitNoPicture;
    }
    view::PageWatch watch(PagePath(options.directory), options.encoding);
    watch.Poll();
    if (!watch.state().found) {
        std::fprintf(stderr, "lumivane-view: no page at %s\n", watch.page().u8string().c_str());
        return view::kExitNoPicture;
    }
    const view::PictureOptions picture = view::PictureDefaults(options.display, options.encoding);
    const std::string png = view::RenderPng(watch.state().bytes, picture);
    std::string why;
    if (!view::SavePicture(options.png, png, &why)) {
        std::fprintf(stderr, "lumivane-view: cannot write %s: %s\n", options.png.c_str(),
                     why.c_str());
        return view::kExitNoPicture;
    }
    // Standard output holds the picture: what is said goes to standard error.
    FILE* said = options.png == view::kStandardOutputName ? stderr : stdout;
    std::fprintf(said, "Lumivane view: wrote %s (%s, %s, %s, scale %d)\n", options.png.c_str(),
                 view::DisplaySizeName(picture.size).c_str(),
                 view::EncodingName(view::EncodingOfRom(picture.rom)),
                 view::ThemeName(picture.theme), picture.scale);
    if (view::TextBeyond(watch.state().bytes, picture.size))
        std::fprintf(said, "Lumivane view: text beyond %s is hidden\n",
                     view::DisplaySizeName(picture.size).c_str());
    return view::kExitOk;
}

// The options' checks beyond their own syntax: the directory, and for a
// server where it listens (into *address and *port).
int CheckOptions(const view::Options& options, std::string* address, std::string* port) {
    if (!options.png_given && !view::SplitListen(options.listen, address, port))
        return view::UsageError("--listen wants HOST:PORT with a port from 0 to 65535, not '" +
                                options.listen + "'");
    std::error_code not_a_directory;
    if (!fs::is_directory(options.directory, not_a_directory))
        return view::UsageError("'" + options.directory + "' is not a directory");
    return view::kExitOk;
}

// The one endpoint to listen on; false, after saying why, when there is none.
bool Resolve(net::io_context& io, const view::Options& options, const std::string& address,
             const std::string& port, tcp::endpoint* endpoint) {
    boost::system::error_code resolve_error;
    tcp::resolver resolver(io);
    const auto endpoints = resolver.resolve(address, port, tcp::resolver::passive, resolve_error);
    if (resolve_error || endpoints.empty()) {
        std::fprintf(stderr, "lumivane-view: cannot listen on %s: %s\n", options.listen.c_str(),
                     resolve_error ? resolve_error.message().c_str() : "no such address");
        return false;
    }
    *endpoint = endpoints.begin()->endpoint();
    return true;
}

// Every connection holds a descriptor: take all the system allows, and keep
// the connections below it, so that the view never runs out.
view::ServerLimits Limits(const view::Options& options) {
    view::ServerLimits limits;
    limits.max_connections = view::ConnectionCap(host::RaiseDescriptorLimit());
    limits.history.count = options.history;
    if (options.poll_ms > 0) {
        limits.follow.notify = false;
        limits.follow.poll_interval = std::chrono::milliseconds(options.poll_ms);
    }
    return limits;
}

// Listens, settles the token and prints where to open the view; false, after
// saying why, when it cannot.
bool Open(view::Server& server, const view::Options& options, const tcp::endpoint& endpoint,
          const fs::path& page) {
    std::string listen_error;
    if (!server.Listen(endpoint, &listen_error)) {
        std::fprintf(stderr, "lumivane-view: cannot listen on %s: %s\n", options.listen.c_str(),
                     listen_error.c_str());
        return false;
    }
    const tcp::endpoint bound = server.LocalEndpoint();
    std::string token;
    if (!view::StartToken(options, bound, &token)) {
        std::fprintf(stderr, "lumivane-view: no random token from the system\n");
        return false;
    }
    server.SetToken(token);
    view::PrintStartLines(bound, token, page);
    return true;
}

// Serves until Ctrl-C or SIGTERM.
int Run(net::io_context& io, view::Server& server, net::signal_set& stop_signals) {
    stop_signals.async_wait([&](const boost::system::error_code& error, int) {
        if (!error) server.Stop();
    });
    server.Start();
    io.run();
    std::printf("Lumivane view: stopped\n");
    return view::kExitOk;
}

int Serve(const view::Options& options, const std::string& address, const std::string& port) {
    net::io_context io(1);
    tcp::endpoint endpoint;
    if (!Resolve(io, options, address, port, &endpoint)) return view::kExitCannotListen;
    const view::ServerLimits limits = Limits(options);
    view::PageWatch watch(PagePath(options.directory), options.encoding);
    view::Server server(io, watch, limits, options.display);
    // Taken before the start line says the view is up: a stop asked for at
    // once is then a clean one, not the signal's default end.
    net::signal_set stop_signals(io, SIGINT, SIGTERM);
    if (!Open(server, options, endpoint, watch.page())) return view::kExitCannotListen;
    return Run(io, server, stop_signals);
}

}  // namespace

int main(int argc, char** argv) {
    // A reader of its output that has gone must not keep it from stopping cleanly.
    host::IgnoreBrokenPipe();
    // A large picture's memory goes back to the system once it is drawn.
    host::ReturnLargeBlocksWhenFreed();
    view::Options options;
    if (const int status = view::ParseArguments(argc, argv, &options); status != view::kExitOk)
        return status;
    if (options.help) {
        view::PrintHelp();
        return view::kExitOk;
    }
    std::string address;
    std::string port;
    if (const int status = CheckOptions(options, &address, &port); status != view::kExitOk)
        return status;
    if (options.png_given) return WritePicture(options);
    return Serve(options, address, port);
}
