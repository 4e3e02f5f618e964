// lumivane-view: watches the page the driver writes and serves a live view of
// it over HTTP, so the screen can be watched from any browser as it changes.
#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "host/platform.h"
#include "view/lcd_picture.h"
#include "view/page_rows.h"
#include "view/page_watch.h"
#include "view/server.h"

namespace fs = std::filesystem;
namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitCannotListen = 1;
constexpr int kExitNoPicture = 1;
constexpr int kExitUsage = 2;

constexpr std::size_t kMaxTokenSize = 256;
constexpr char kTokenCharacters[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.~";
constexpr std::size_t kTokenBytes = 16;  // 128 bits

struct Options {
    std::string listen = "127.0.0.1:8080";
    view::Encoding encoding = view::Encoding::kWindows1252;
    int poll_ms = 0;  // 0: follow the OS's notifications
    view::DisplayOptions display;
    std::string png;  // --png: write the picture there and exit
    bool png_given = false;
    std::string directory = ".";
    bool directory_given = false;
    std::string token;  // --token; empty: a fresh one beyond loopback
    bool no_token = false;
    bool help = false;
};

void PrintHelp() {
    std::printf(
        "Usage: lumivane-view [--listen HOST:PORT] [--encoding ENCODING] [--size COLSxROWS]\n"
        "                     [--theme THEME] [--scale N] [--poll MS]\n"
        "                     [--token TEXT | --no-token] [DIR]\n"
        "       lumivane-view --png FILE [--encoding ENCODING] [--size COLSxROWS]\n"
        "                     [--theme THEME] [--scale N] [DIR]\n"
        "Watches the page the Lumivane display driver writes (logs/index.htm) and serves\n"
        "a live view of it over HTTP: the screen as your character display shows it, in\n"
        "any browser, changing as the screen changes.\n"
        "\n"
        "  DIR                  the host's working directory (the one holding logs), or\n"
        "                       the logs directory itself (default: the current directory)\n"
        "  --listen HOST:PORT   where to listen (default: 127.0.0.1:8080); port 0 picks a\n"
        "                       free port. Any address but loopback makes the view visible\n"
        "                       to the network, e.g. --listen 0.0.0.0:8080\n"
        "  --encoding ENCODING  how the page's bytes become characters: windows-1252\n"
        "                       (default, what a Windows host sends), latin1, utf-8, or\n"
        "                       the character ROM of an HD44780 module: hd44780-a00\n"
        "                       (Japanese, the common one) or hd44780-a02 (European),\n"
        "                       drawn dot by dot as the module draws it\n"
        "  --size COLSxROWS     your display's size, columns 1 to 80 and rows 1 to 4\n"
        "                       (default: 80x4); the view shows that top-left area\n"
        "  --theme THEME        the panel's colours: green (default), blue, amber, white\n"
        "                       or oled\n"
        "  --scale N            pixels per dot of the picture, 1 to 16 (default: 3)\n"
        "  --png FILE           write the picture of the current page to FILE and exit\n"
        "                       (0 when written; 1 when there is no page or FILE can't\n"
        "                       be written)\n"
        "  --poll MS            look at the page every MS milliseconds instead of waiting\n"
        "                       for the system to tell of a change: for a network share\n"
        "                       or a file system that tells nothing (1 to 60000)\n"
        "  --token TEXT         beyond loopback, the token every request must carry\n"
        "                       (default: a fresh random one at each start); letters,\n"
        "                       digits, '-', '_', '.' and '~'\n"
        "  --no-token           beyond loopback, let anyone who can reach the port watch\n"
        "  --help               show this help and exit\n"
        "\n"
        "At start it prints the URL to open and the page it watches. Beyond loopback the\n"
        "URL carries the token (http://HOST:PORT/?token=...), one line for each of the\n"
        "machine's addresses when listening on all of them; a browser that opens it\n"
        "keeps the token in a cookie, and any request without it gets 403. A missing page is\n"
        "waited for; a page deleted later shows as not found until it comes back.\n"
        "\n"
        "What it serves (GET and HEAD only; every other path is 404):\n"
        "  /             the live view\n"
        "  /events       the screen as a stream of server-sent 'screen' events\n"
        "  /screen.json  {\"rows\": [...4 texts], \"version\": N, \"found\": true|false,\n"
        "                 \"page\": \"<absolute path>\", \"codes\": [...4 rows of bytes],\n"
        "                 \"display\": {\"size\", \"encoding\", \"theme\"}}\n"
        "  /screen.png   the display's picture; ?size=, encoding=, theme=, scale=\n"
        "  /index.htm    the page file's bytes, unchanged (sandboxed: no script runs)\n"
        "Nothing else on disk is ever served.\n"
        "\n"
        "It stops on Ctrl-C or SIGTERM.\n"
        "Exit status: 0 after a clean stop; 1 when it cannot listen; 2 bad usage.\n"
        "\n"
        "Example: lumivane-view --size 20x4 --encoding hd44780-a00 --theme blue\n");
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "lumivane-view: %s\nTry 'lumivane-view --help'.\n", message.c_str());
    return kExitUsage;
}

// Returns kExitOk, or the exit status after reporting the error.
int ParseArguments(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        std::string value;
        const auto takes_value = [&](const std::string& name) {
            if (argument == name) {
                if (i + 1 >= argc) return false;
                value = argv[++i];
                return true;
            }
            if (argument.rfind(name + "=", 0) == 0) {
                value = argument.substr(name.size() + 1);
                return true;
            }
            return false;
        };
        if (argument == "--help" || argument == "-h") {
            options->help = true;
        } else if (argument == "--listen" || argument.rfind("--listen=", 0) == 0) {
            if (!takes_value("--listen") || value.empty())
                return UsageError("--listen needs HOST:PORT");
            options->listen = value;
        } else if (argument == "--encoding" || argument.rfind("--encoding=", 0) == 0) {
            if (!takes_value("--encoding")) return UsageError("--encoding needs a name");
            const auto encoding = view::ParseEncoding(value);
            if (!encoding)
                return UsageError("unknown encoding '" + value + "' (" + view::kEncodingNames +
                                  ")");
            options->encoding = *encoding;
        } else if (argument == "--poll" || argument.rfind("--poll=", 0) == 0) {
            if (!takes_value("--poll") || value.empty() || value.size() > 5 ||
                value.find_first_not_of("0123456789") != std::string::npos ||
                std::stoi(value) < 1 || std::stoi(value) > 60000)
                return UsageError("--poll needs a number of milliseconds from 1 to 60000");
            options->poll_ms = std::stoi(value);
        } else if (argument == "--size" || argument.rfind("--size=", 0) == 0) {
            if (!takes_value("--size")) return UsageError("--size needs COLSxROWS");
            const auto size = view::ParseDisplaySize(value);
            if (!size)
                return UsageError("unknown size '" + value +
                                  "' (COLSxROWS: columns 1 to 80, rows 1 to 4, e.g. 20x4)");
            options->display.size = *size;
        } else if (argument == "--theme" || argument.rfind("--theme=", 0) == 0) {
            if (!takes_value("--theme")) return UsageError("--theme needs a name");
            const auto theme = view::ParseTheme(value);
            if (!theme)
                return UsageError("unknown theme '" + value + "' (" + view::kThemeNames + ")");
            options->display.theme = *theme;
        } else if (argument == "--scale" || argument.rfind("--scale=", 0) == 0) {
            view::PictureOptions scaled;
            std::string ignored;
            if (!takes_value("--scale") ||
                !view::ParsePictureQuery("scale=" + value, scaled, &scaled, &ignored))
                return UsageError("--scale wants a whole number from 1 to 16, not '" + value + "'");
            options->display.scale = scaled.scale;
        } else if (argument == "--png" || argument.rfind("--png=", 0) == 0) {
            if (!takes_value("--png") || value.empty())
                return UsageError("--png needs a file name");
            options->png = value;
            options->png_given = true;
        } else if (argument == "--token" || argument.rfind("--token=", 0) == 0) {
            if (!takes_value("--token") || value.empty()) return UsageError("--token needs TEXT");
            if (value.size() > kMaxTokenSize ||
                value.find_first_not_of(kTokenCharacters) != std::string::npos)
                return UsageError("--token takes up to 256 letters, digits, '-', '_', '.' and '~'");
            options->token = value;
        } else if (argument == "--no-token") {
            options->no_token = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            return UsageError("unknown option '" + argument + "'");
        } else if (options->directory_given) {
            return UsageError("one directory at a time ('" + options->directory + "' and '" +
                              argument + "')");
        } else {
            options->directory = argument;
            options->directory_given = true;
        }
    }
    if (options->no_token && !options->token.empty())
        return UsageError("--token and --no-token together");
    return kExitOk;
}

// HOST:PORT, HOST in brackets for IPv6 ("[::1]:8080"). False when malformed.
bool SplitListen(const std::string& listen, std::string* host, std::string* port) {
    const std::size_t colon = listen.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    *host = listen.substr(0, colon);
    *port = listen.substr(colon + 1);
    if (host->front() == '[') {
        if (host->size() < 3 || host->back() != ']') return false;
        *host = host->substr(1, host->size() - 2);
    }
    if (port->empty() || port->size() > 5 ||
        port->find_first_not_of("0123456789") != std::string::npos)
        return false;
    return std::stoul(*port) <= 65535;
}

// The page below DIR: DIR/logs/index.htm, or DIR/index.htm when DIR is the
// logs directory itself.
fs::path PagePath(const std::string& directory) {
    std::error_code ignored;
    const fs::path dir = fs::absolute(fs::path(directory)).lexically_normal();
    const fs::path logs = dir / "logs";
    if (fs::is_directory(logs, ignored)) return logs / "index.htm";
    fs::path name = dir;
    if (!name.has_filename()) name = name.parent_path();
    if (name.filename() == "logs") return dir / "index.htm";
    return logs / "index.htm";
}

// --png: the current page's picture, written to the file once.
int WritePicture(const Options& options) {
    view::PageWatch watch(PagePath(options.directory), options.encoding);
    watch.Poll();
    if (!watch.state().found) {
        std::fprintf(stderr, "lumivane-view: no page at %s\n", watch.page().u8string().c_str());
        return kExitNoPicture;
    }
    const view::PictureOptions picture = view::PictureDefaults(options.display, options.encoding);
    const std::string png = view::RenderPng(watch.state().bytes, picture);
    std::ofstream file(fs::u8path(options.png), std::ios::binary | std::ios::trunc);
    if (file) file.write(png.data(), static_cast<std::streamsize>(png.size()));
    if (file) file.close();
    if (!file) {
        std::error_code ignored;
        fs::remove(fs::u8path(options.png), ignored);
        std::fprintf(stderr, "lumivane-view: cannot write %s\n", options.png.c_str());
        return kExitNoPicture;
    }
    std::printf("Lumivane view: wrote %s (%s, %s, %s, scale %d)\n", options.png.c_str(),
                view::DisplaySizeName(picture.size).c_str(),
                picture.rom == view::CharacterRom::kA00 ? "hd44780-a00" : "hd44780-a02",
                view::ThemeName(picture.theme), picture.scale);
    if (view::TextBeyond(watch.state().bytes, picture.size))
        std::printf("Lumivane view: text beyond %s is hidden\n",
                    view::DisplaySizeName(picture.size).c_str());
    return kExitOk;
}

std::string UrlHost(const net::ip::address& address) {
    return address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
}

// 128 bits from the system's generator as URL-safe base64 (22 characters).
bool NewToken(std::string* token) {
    unsigned char bytes[kTokenBytes];
    if (!host::RandomBytes(bytes, sizeof bytes)) return false;
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    token->clear();
    unsigned bits = 0;
    int count = 0;
    for (const unsigned char byte : bytes) {
        bits = (bits << 8) | byte;
        count += 8;
        while (count >= 6) {
            count -= 6;
            token->push_back(kAlphabet[(bits >> count) & 63]);
        }
    }
    if (count > 0) token->push_back(kAlphabet[(bits << (6 - count)) & 63]);
    return true;
}

// The addresses a URL can name: the bound one, or for a wildcard address the
// machine's own of the same family, loopback left out.
std::vector<net::ip::address> UrlAddresses(const net::ip::address& bound) {
    if (!bound.is_unspecified()) return {bound};
    std::vector<net::ip::address> addresses;
    for (const std::string& text : host::LocalAddresses()) {
        boost::system::error_code invalid;
        const net::ip::address address = net::ip::make_address(text, invalid);
        if (invalid || address.is_loopback() || address.is_v6() != bound.is_v6()) continue;
        if (address.is_v6() && address.to_v6().is_link_local()) continue;  // needs a zone
        if (std::find(addresses.begin(), addresses.end(), address) == addresses.end())
            addresses.push_back(address);
    }
    if (addresses.empty()) addresses.push_back(bound);
    return addresses;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const int status = ParseArguments(argc, argv, &options); status != kExitOk) return status;
    if (options.help) {
        PrintHelp();
        return kExitOk;
    }
    std::error_code not_a_directory;
    if (options.png_given) {
        if (!fs::is_directory(options.directory, not_a_directory))
            return UsageError("'" + options.directory + "' is not a directory");
        return WritePicture(options);
    }
    std::string host;
    std::string port;
    if (!SplitListen(options.listen, &host, &port))
        return UsageError("--listen wants HOST:PORT with a port from 0 to 65535, not '" +
                          options.listen + "'");
    if (!fs::is_directory(options.directory, not_a_directory))
        return UsageError("'" + options.directory + "' is not a directory");

    net::io_context io(1);
    boost::system::error_code resolve_error;
    tcp::resolver resolver(io);
    const auto endpoints = resolver.resolve(host, port, tcp::resolver::passive, resolve_error);
    if (resolve_error || endpoints.empty()) {
        std::fprintf(stderr, "lumivane-view: cannot listen on %s: %s\n", options.listen.c_str(),
                     resolve_error ? resolve_error.message().c_str() : "no such address");
        return kExitCannotListen;
    }

    // Every connection holds a descriptor: take all the system allows, and
    // keep the connections below it, so that the view never runs out.
    view::ServerLimits limits;
    limits.max_connections = view::ConnectionCap(host::RaiseDescriptorLimit());
    view::PageWatch watch(PagePath(options.directory), options.encoding);
    if (options.poll_ms > 0) {
        limits.follow.notify = false;
        limits.follow.poll_interval = std::chrono::milliseconds(options.poll_ms);
    }
    view::Server server(io, watch, limits, options.display);
    std::string listen_error;
    if (!server.Listen(endpoints.begin()->endpoint(), &listen_error)) {
        std::fprintf(stderr, "lumivane-view: cannot listen on %s: %s\n", options.listen.c_str(),
                     listen_error.c_str());
        return kExitCannotListen;
    }
    const tcp::endpoint bound = server.LocalEndpoint();
    const bool beyond_loopback = !bound.address().is_loopback();
    std::string token = options.token;
    if (beyond_loopback && token.empty() && !options.no_token && !NewToken(&token)) {
        std::fprintf(stderr, "lumivane-view: no random token from the system\n");
        return kExitCannotListen;
    }
    server.SetToken(token);
    const std::string query = token.empty() ? "" : "?token=" + token;
    for (const net::ip::address& address : UrlAddresses(bound.address()))
        std::printf("Lumivane view: http://%s:%u/%s (page: %s)\n", UrlHost(address).c_str(),
                    static_cast<unsigned>(bound.port()), query.c_str(),
                    watch.page().u8string().c_str());
    if (beyond_loopback && token.empty())
        std::printf(
            "The view is visible to the network: anyone who can reach port %u of this machine "
            "can watch the screen and read the page.\n",
            static_cast<unsigned>(bound.port()));
    else if (beyond_loopback)
        std::printf(
            "The view is visible to the network, to those who open the address above or hold "
            "its token: keep it to yourself.\n");
    std::fflush(stdout);

    net::signal_set stop_signals(io, SIGINT, SIGTERM);
    stop_signals.async_wait([&](const boost::system::error_code& error, int) {
        if (!error) server.Stop();
    });
    server.Start();
    io.run();
    std::printf("Lumivane view: stopped\n");
    return kExitOk;
}
