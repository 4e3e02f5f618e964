// lumivane-view's command line: its options, their parsing and its help.
#pragma once

#include <cstddef>
#include <string>

#include "view/history/screen_history.h"
#include "view/lcd/display_options.h"
#include "view/lcd/encodings.h"

namespace view {

constexpr int kExitOk = 0;
constexpr int kExitCannotListen = 1;
constexpr int kExitNoPicture = 1;
constexpr int kExitUsage = 2;

// What the command line asks for.
struct Options {
    std::string listen = "127.0.0.1:8080";
    Encoding encoding = Encoding::kWindows1252;
    int poll_ms = 0;  // 0: follow the OS's notifications
    DisplayOptions display;
    std::string png;  // --png: write the picture there and exit
    bool png_given = false;
    std::string directory = ".";
    bool directory_given = false;
    std::string token;       // --token or --token-file's; empty: a fresh one beyond loopback
    std::string token_file;  // --token-file: where the token was read
    bool no_token = false;
    std::size_t history = HistoryLimits().count;  // --history: changes kept for looking back
    bool help = false;
};

// The help text, on standard output.
void PrintHelp();

// Reports `message` on standard error, with where to find help; returns
// kExitUsage.
int UsageError(const std::string& message);

// Returns kExitOk, or the exit status after reporting the error.
int ParseArguments(int argc, char** argv, Options* options);

// HOST:PORT, HOST in brackets for IPv6 ("[::1]:8080"). False when malformed.
bool SplitListen(const std::string& listen, std::string* host, std::string* port);

}  // namespace view
