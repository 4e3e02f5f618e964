// The host's script language, parsed into commands. It is described for
// users in lumivane-host --help (main.cpp) and in the README.
#pragma once

#include <string>
#include <vector>

namespace host {

enum class CommandKind { kPos, kWrite, kInit, kSleep, kName, kUsage, kDefaults };

struct Command {
    CommandKind kind;
    int line = 0;           // 1-based line number in the script
    int x = 0;              // pos
    int y = 0;              // pos
    std::string text;       // write: the bytes to write, escapes decoded
    long milliseconds = 0;  // sleep
};

constexpr int kMaxPosition = 255;  // the low byte, all the driver reads of a position
constexpr long kMaxSleepMilliseconds = 3600000;

// Parses the whole of `text`, one command a line; blank lines and lines whose
// first non-blank character is # are skipped. A whole script is checked
// before any of it runs, so a malformed line means no driver call at all: on
// the first one it returns false and sets *error to
// "<file_name>:<line>: <what was expected>".
bool ParseScript(const std::string& text, const std::string& file_name,
                 std::vector<Command>* commands, std::string* error);

// Decodes the backslash escapes of a write text. On a bad escape returns
// false and sets *error to what was expected.
bool DecodeEscapes(const std::string& raw, std::string* decoded, std::string* error);

}  // namespace host
