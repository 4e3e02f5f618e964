#include "view/options.h"

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "platform/page_format.h"
#include "platform/programs/platform.h"
#include "view/lcd/lcd_picture.h"

namespace view {

namespace {

constexpr std::size_t kMaxTokenSize = 256;
constexpr char kTokenCharacters[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.~";
constexpr int kMaxPollMs = 60000;
constexpr std::size_t kMaxHistory = 1000000;

}  // namespace

void PrintHelp() {
    const std::string columns = std::to_string(kMaxColumns);
    const std::string rows = std::to_string(kRowCount);
    const DisplayOptions display;
    const PictureOptions largest = LargestPicture();
    const std::string help =
        "Usage: lumivane-view [--listen HOST:PORT] [--encoding ENCODING] [--size "
        "COLSxROWS]\n"
        "                     [--theme THEME] [--scale N] [--poll MS]\n"
        "                     [--token TEXT | --token-file FILE | --no-token] [DIR]\n"
        "       lumivane-view --png FILE [--encoding ENCODING] [--size COLSxROWS]\n"
        "                     [--theme THEME] [--scale N] [DIR]\n"
        "Watches the page the Lumivane display driver writes (" LUMIVANE_PAGE_FOLDER
        "/" LUMIVANE_PAGE_FILE
        ") and serves\n"
        "a live view of it over HTTP: the screen as your character display shows it, in\n"
        "any browser, changing as the screen changes.\n"
        "\n"
        "  DIR                  the host's working directory (the one holding " LUMIVANE_PAGE_FOLDER
        "), or\n"
        "                       the " LUMIVANE_PAGE_FOLDER
        " directory itself (default: the current directory)\n"
        "  --listen HOST:PORT   where to listen (default: 127.0.0.1:8080); port 0 picks a\n"
        "                       free port. Any address but loopback makes the view visible\n"
        "                       to the network, e.g. --listen 0.0.0.0:8080\n"
        "  --encoding ENCODING  how the page's bytes become characters: windows-1252\n"
        "                       (default, what a Windows host sends), latin1, utf-8, or\n"
        "                       the character ROM of an HD44780 module: hd44780-a00\n"
        "                       (Japanese, the common one) or hd44780-a02 (European),\n"
        "                       drawn dot by dot as the module draws it\n"
        "  --size COLSxROWS     your display's size, columns 1 to " +
        columns + " and rows 1 to " + rows +
        "\n"
        "                       (default: " +
        DisplaySizeName(display.size) +
        "); the view shows that top-left area\n"
        "  --theme THEME        the panel's colours: green (default), blue, amber, white\n"
        "                       or oled\n"
        "  --scale N            pixels per dot of the picture, " +
        std::to_string(kMinScale) + " to " + std::to_string(kMaxScale) +
        " (default: " + std::to_string(display.scale) +
        "); a\n"
        "                       picture has at most the pixels of " +
        DisplaySizeName(largest.size) + " at scale " + std::to_string(largest.scale) +
        ", so a\n"
        "                       smaller display may take a larger scale\n"
        "  --png FILE           write the picture of the current page to FILE ('-':\n"
        "                       standard output) and exit (0 when written; 1 when there\n"
        "                       is no page or FILE can't be written, FILE left as it was)\n"
        "  --poll MS            look at the page every MS milliseconds instead of waiting\n"
        "                       for the system to tell of a change: for a network share\n"
        "                       or a file system that tells nothing (1 to " +
        std::to_string(kMaxPollMs) +
        ")\n"
        "  --token TEXT         beyond loopback, the token every request must carry\n"
        "                       (default: a fresh random one at each start); letters,\n"
        "                       digits, '-', '_', '.' and '~'\n"
        "  --token-file FILE    the same, read from FILE, so that it is not in the\n"
        "                       process list (keep FILE to yourself: chmod 600)\n"
        "  --no-token           beyond loopback, let anyone who can reach the port watch\n"
        "  --history COUNT      the changes kept for looking back: the last 24 hours, at\n"
        "                       most COUNT of them (default: " +
        std::to_string(Options().history) +
        "; 0 keeps none)\n"
        "  --help               show this help and exit\n"
        "\n"
        "At start it prints the URL to open and the page it watches. Beyond loopback the\n"
        "URL carries the token (http://HOST:PORT/?token=...), one line for each of the\n"
        "machine's addresses when listening on all of them; a browser that opens it\n"
        "keeps the token in a cookie, and any request without it gets 403. Without a token\n"
        "only a request to an IP address or localhost is answered (421 for any other name).\n"
        "A missing page is waited for; a page deleted later shows as not found until it\n"
        "comes back.\n"
        "\n"
        "What it serves (GET and HEAD only; every other path is 404):\n"
        "  /             the live view\n"
        "  /events       the screen as a stream of server-sent 'screen' events\n"
        "  /screen.json  {\"rows\": [...4 texts], \"version\": N, \"found\": true|false,\n"
        "                 \"page\": \"<absolute path>\", \"codes\": [...4 rows of bytes],\n"
        "                 \"display\": {\"size\", \"encoding\", \"theme\"}}\n"
        "  /screen.png   the display's picture; ?size=, encoding=, theme=, scale=,\n"
        "                version= (a kept change)\n"
        "  /index.htm    the page file's bytes, unchanged (no script runs, nothing is fetched)\n"
        "  /history.json the kept changes, oldest first: ?since=MS&until=MS&limit=N\n"
        "                (ms since 1970; at most 10000 an answer): {\"versions\":\n"
        "                [{\"version\", \"time\", \"codes\"}...], \"more\": true|false}\n"
        "  /share.json   {\"url\": the view's address with its token}, for the page's QR\n"
        "                 code; 404 where no token is needed\n"
        "Nothing else on disk is ever served.\n"
        "\n"
        "It stops on Ctrl-C or SIGTERM.\n"
        "Exit status: 0 after a clean stop; 1 when it cannot listen; 2 bad usage.\n"
        "\n"
        "Example: lumivane-view --size 20x4 --encoding hd44780-a00 --theme blue\n";
    std::fputs(help.c_str(), stdout);
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "lumivane-view: %s\nTry 'lumivane-view --help'.\n", message.c_str());
    return kExitUsage;
}

namespace {

// Each option's setter takes its value and answers the usage error's message,
// or an empty one when the value is taken.
using Setter = std::string (*)(const std::string& value, Options* options);

struct KnownOption {
    const char* name;
    bool takes_value;     // as "--name VALUE" or "--name=VALUE"
    const char* missing;  // the message when no value follows; nullptr: the setter's for ""
    Setter set;
};

std::string SetHelp(const std::string&, Options* options) {
    options->help = true;
    return "";
}

std::string SetListen(const std::string& value, Options* options) {
    if (value.empty()) return "--listen needs HOST:PORT";
    options->listen = value;
    return "";
}

std::string SetEncoding(const std::string& value, Options* options) {
    const auto encoding = ParseEncoding(value);
    if (!encoding) return "unknown encoding '" + value + "' (" + EncodingNameList() + ")";
    options->encoding = *encoding;
    return "";
}

std::string SetPoll(const std::string& value, Options* options) {
    if (value.empty() || value.size() > 5 ||
        value.find_first_not_of("0123456789") != std::string::npos || std::stoi(value) < 1 ||
        std::stoi(value) > kMaxPollMs)
        return "--poll needs a number of milliseconds from 1 to " + std::to_string(kMaxPollMs);
    options->poll_ms = std::stoi(value);
    return "";
}

std::string SetSize(const std::string& value, Options* options) {
    const auto size = ParseDisplaySize(value);
    if (!size)
        return "unknown size '" + value + "' (COLSxROWS: columns 1 to " +
               std::to_string(kMaxColumns) + ", rows 1 to " + std::to_string(kRowCount) +
               ", e.g. 20x4)";
    options->display.size = *size;
    return "";
}

std::string SetTheme(const std::string& value, Options* options) {
    const auto theme = ParseTheme(value);
    if (!theme) return "unknown theme '" + value + "' (" + ThemeNameList() + ")";
    options->display.theme = *theme;
    return "";
}

std::string SetScale(const std::string& value, Options* options) {
    const auto scale = ParseScale(value);
    if (!scale)
        return "--scale wants a whole number from " + std::to_string(kMinScale) + " to " +
               std::to_string(kMaxScale) + ", not '" + value + "'";
    options->display.scale = *scale;
    return "";
}

std::string SetPng(const std::string& value, Options* options) {
    if (value.empty()) return "--png needs a file name";
    options->png = value;
    options->png_given = true;
    return "";
}

// What is wrong with `token`; "" when nothing.
std::string TokenFault(const std::string& token) {
    if (token.size() > kMaxTokenSize ||
        token.find_first_not_of(kTokenCharacters) != std::string::npos)
        return "takes up to " + std::to_string(kMaxTokenSize) +
               " letters, digits, '-', '_', '.' and '~'";
    return "";
}

constexpr char kTokenTwice[] = "--token and --token-file together";

std::string SetToken(const std::string& value, Options* options) {
    if (value.empty()) return "--token needs TEXT";
    if (!options->token_file.empty()) return kTokenTwice;
    if (const std::string fault = TokenFault(value); !fault.empty()) return "--token " + fault;
    options->token = value;
    return "";
}

std::string SetHistory(const std::string& value, Options* options) {
    if (value.empty() || value.size() > 7 ||
        value.find_first_not_of("0123456789") != std::string::npos ||
        std::stoul(value) > kMaxHistory)
        return "--history needs a number of changes from 0 to " + std::to_string(kMaxHistory);
    options->history = std::stoul(value);
    return "";
}

std::string SetTokenFile(const std::string& value, Options* options) {
    if (value.empty()) return "--token-file needs FILE";
    if (!options->token.empty()) return kTokenTwice;
    std::string token;
    if (!host::ReadWholeFile(std::filesystem::u8path(value), &token))
        return "--token-file " + value + ": cannot read it";
    while (!token.empty() && (token.back() == '\n' || token.back() == '\r')) token.pop_back();
    if (token.empty()) return "--token-file " + value + ": it holds no token";
    if (const std::string fault = TokenFault(token); !fault.empty())
        return "--token-file " + value + ": the token " + fault;
    options->token = token;
    options->token_file = value;
    return "";
}

std::string SetNoToken(const std::string&, Options* options) {
    options->no_token = true;
    return "";
}

constexpr KnownOption kKnownOptions[] = {
    {"--help", false, nullptr, SetHelp},
    {"-h", false, nullptr, SetHelp},
    {"--listen", true, "--listen needs HOST:PORT", SetListen},
    {"--encoding", true, "--encoding needs a name", SetEncoding},
    {"--poll", true, nullptr, SetPoll},
    {"--size", true, "--size needs COLSxROWS", SetSize},
    {"--theme", true, "--theme needs a name", SetTheme},
    {"--scale", true, nullptr, SetScale},
    {"--png", true, "--png needs a file name", SetPng},
    {"--token", true, "--token needs TEXT", SetToken},
    {"--token-file", true, "--token-file needs FILE", SetTokenFile},
    {"--no-token", false, nullptr, SetNoToken},
    {"--history", true, nullptr, SetHistory},
};

// The option `argument` names, as "--name" or, for one with a value,
// "--name=VALUE" (*inline_value then holds VALUE); nullptr for none.
const KnownOption* FindOption(const std::string& argument,
                              std::optional<std::string>* inline_value) {
    for (const KnownOption& option : kKnownOptions) {
        const std::string name = option.name;
        if (argument == name) return &option;
        if (option.takes_value && argument.rfind(name + "=", 0) == 0) {
            *inline_value = argument.substr(name.size() + 1);
            return &option;
        }
    }
    return nullptr;
}

// The directory, the one argument that is not an option.
int SetDirectory(const std::string& argument, Options* options) {
    if (options->directory_given)
        return UsageError("one directory at a time ('" + options->directory + "' and '" + argument +
                          "')");
    options->directory = argument;
    options->directory_given = true;
    return kExitOk;
}

}  // namespace

int ParseArguments(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        std::optional<std::string> value;
        const KnownOption* option = FindOption(argument, &value);
        if (!option) {
            if (argument.size() > 1 && argument[0] == '-')
                return UsageError("unknown option '" + argument + "'");
            if (const int status = SetDirectory(argument, options); status != kExitOk)
                return status;
            continue;
        }
        if (option->takes_value && !value && i + 1 < argc) value = argv[++i];
        if (option->takes_value && !value && option->missing) return UsageError(option->missing);
        const std::string error = option->set(value.value_or(""), options);
        if (!error.empty()) return UsageError(error);
    }
    if (options->no_token && !options->token.empty())
        return UsageError(options->token_file.empty() ? "--token and --no-token together"
                                                      : "--token-file and --no-token together");
    PictureOptions picture;
    picture.size = options->display.size;
    picture.scale = options->display.scale;
    std::string reason;
    if (!WithinPixelBudget(picture, &reason)) return UsageError(reason);
    return kExitOk;
}

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

}  // namespace view
