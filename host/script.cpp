#include "host/script.h"

#include <charconv>
#include <cstddef>

namespace host {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Splits `rest` at runs of blanks.
std::vector<std::string> Words(const std::string& rest) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < rest.size()) {
        while (i < rest.size() && IsBlank(rest[i])) ++i;
        const std::size_t start = i;
        while (i < rest.size() && !IsBlank(rest[i])) ++i;
        if (i > start) words.push_back(rest.substr(start, i - start));
    }
    return words;
}

// The most digits a number may have, leading zeros included.
constexpr std::size_t kMaxDigits = 10;

// Whether the whole of `text` is one unsigned number in `base` (no sign, no
// spaces, no prefix); its value in *value.
bool ParseDigits(const char* first, const char* last, int base, unsigned long* value) {
    const std::from_chars_result result = std::from_chars(first, last, *value, base);
    return first != last && result.ec == std::errc() && result.ptr == last;
}

// A plain decimal number from 0 to `limit`; no sign, no spaces.
bool ParseWhole(const std::string& word, long limit, long* value) {
    unsigned long number = 0;
    if (word.size() > kMaxDigits ||
        !ParseDigits(word.data(), word.data() + word.size(), 10, &number) ||
        number > static_cast<unsigned long>(limit))
        return false;
    *value = static_cast<long>(number);
    return true;
}

const char kEscapesExpected[] = "expected \\\\, \\n, \\t or \\xHH";

// Parses one line that is neither blank nor a comment.
bool ParseCommand(const std::string& line, Command* command, std::string* error) {
    std::size_t start = 0;
    while (start < line.size() && IsBlank(line[start])) ++start;
    std::size_t end = start;
    while (end < line.size() && !IsBlank(line[end])) ++end;
    const std::string word = line.substr(start, end - start);
    const std::string rest = line.substr(end);

    if (word == "write") {
        command->kind = CommandKind::kWrite;
        if (end >= line.size() || line[end] != ' ') {
            *error = "expected \"write TEXT\": one space after write, then the text";
            return false;
        }
        return DecodeEscapes(line.substr(end + 1), &command->text, error);
    }
    const std::vector<std::string> arguments = Words(rest);
    if (word == "pos") {
        command->kind = CommandKind::kPos;
        long x = 0;
        long y = 0;
        if (arguments.size() != 2 || !ParseWhole(arguments[0], kMaxPosition, &x) ||
            !ParseWhole(arguments[1], kMaxPosition, &y)) {
            *error = "expected \"pos X Y\" with X and Y whole numbers from 0 to 255";
            return false;
        }
        command->x = static_cast<int>(x);
        command->y = static_cast<int>(y);
        return true;
    }
    if (word == "sleep") {
        command->kind = CommandKind::kSleep;
        if (arguments.size() != 1 ||
            !ParseWhole(arguments[0], kMaxSleepMilliseconds, &command->milliseconds)) {
            *error =
                "expected \"sleep MS\" with MS a whole number of milliseconds from 0 to 3600000";
            return false;
        }
        return true;
    }
    struct Bare {
        const char* word;
        CommandKind kind;
    };
    static const Bare kBare[] = {{"init", CommandKind::kInit},
                                 {"name", CommandKind::kName},
                                 {"usage", CommandKind::kUsage},
                                 {"defaults", CommandKind::kDefaults}};
    for (const Bare& bare : kBare) {
        if (word != bare.word) continue;
        command->kind = bare.kind;
        if (!arguments.empty()) {
            *error = "expected \"" + word + "\" alone on its line";
            return false;
        }
        return true;
    }
    *error = "unknown command \"" + word +
             "\"; expected pos, write, init, sleep, name, usage, defaults or a # comment";
    return false;
}

}  // namespace

bool DecodeEscapes(const std::string& raw, std::string* decoded, std::string* error) {
    decoded->clear();
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\') {
            decoded->push_back(raw[i]);
            continue;
        }
        if (i + 1 >= raw.size()) {
            *error = std::string("a lone \\ ends the text; ") + kEscapesExpected;
            return false;
        }
        const char kind = raw[++i];
        if (kind == '\\') {
            decoded->push_back('\\');
        } else if (kind == 'n') {
            decoded->push_back('\n');
        } else if (kind == 't') {
            decoded->push_back('\t');
        } else if (kind == 'x') {
            unsigned long byte = 0;
            if (i + 2 >= raw.size() || !ParseDigits(&raw[i + 1], &raw[i + 3], 16, &byte)) {
                *error = "expected two hex digits after \\x";
                return false;
            }
            if (byte == 0) {
                *error = "\\x00 cannot be written: a NUL byte ends the driver's text";
                return false;
            }
            decoded->push_back(static_cast<char>(byte));
            i += 2;
        } else {
            *error = std::string("unknown escape \\") + kind + "; " + kEscapesExpected;
            return false;
        }
    }
    return true;
}

bool ParseScript(const std::string& text, const std::string& file_name,
                 std::vector<Command>* commands, std::string* error) {
    commands->clear();
    std::size_t start = 0;
    int number = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();  // scripts saved with CR LF

        std::size_t first = 0;
        while (first < line.size() && IsBlank(line[first])) ++first;
        if (first == line.size() || line[first] == '#') continue;

        Command command{};
        command.line = number;
        std::string expected;
        if (!ParseCommand(line, &command, &expected)) {
            *error = file_name + ":" + std::to_string(number) + ": " + expected;
            commands->clear();
            return false;
        }
        commands->push_back(command);
    }
    return true;
}

}  // namespace host
