// The script language: which lines make which calls, and the exact message
// for each malformed line.
#include "host/script.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using host::Command;
using host::CommandKind;
using host::ParseScript;

namespace {

// A command as one readable line; write texts show bytes outside printable
// ASCII as \xHH so line ends, tabs and 8-bit bytes are visible.
std::string Describe(const Command& command) {
    switch (command.kind) {
        case CommandKind::kPos:
            return "pos " + std::to_string(command.x) + " " + std::to_string(command.y);
        case CommandKind::kWrite: {
            std::string shown = "write [";
            for (unsigned char c : command.text) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                shown += c >= 0x20 && c < 0x7F ? std::string(1, static_cast<char>(c)) : hex;
            }
            return shown + "]";
        }
        case CommandKind::kInit:
            return "init";
        case CommandKind::kSleep:
            return "sleep " + std::to_string(command.milliseconds);
        case CommandKind::kName:
            return "name";
        case CommandKind::kUsage:
            return "usage";
        case CommandKind::kDefaults:
            return "defaults";
    }
    return "?";
}

std::vector<std::string> Parsed(const std::string& script) {
    std::vector<Command> commands;
    std::string error;
    EXPECT_TRUE(ParseScript(script, "s.txt", &commands, &error)) << error;
    std::vector<std::string> shown;
    for (const Command& command : commands) shown.push_back(Describe(command));
    return shown;
}

std::string ErrorOf(const std::string& script) {
    std::vector<Command> commands;
    std::string error;
    EXPECT_FALSE(ParseScript(script, "s.txt", &commands, &error)) << script;
    EXPECT_TRUE(commands.empty()) << "a rejected script leaves no commands to run";
    return error;
}

struct GoodLine {
    const char* line;
    const char* command;  // "" when the line is skipped
};

const GoodLine kGoodLines[] = {
    {"pos 1 1", "pos 1 1"},
    {"pos 80 4", "pos 80 4"},
    {"pos 0 255", "pos 0 255"},
    {"pos\t12   3  ", "pos 12 3"},
    {"  pos 007 2", "pos 7 2"},
    {"write hello", "write [hello]"},
    {"write ", "write []"},
    {"write  two spaces ", "write [ two spaces ]"},
    {"write\x20<b>bold</b> & <i>", "write [<b>bold</b> & <i>]"},
    {"write # not a comment", "write [# not a comment]"},
    {"write pos 1 2", "write [pos 1 2]"},
    {"\twrite indented", "write [indented]"},
    {"write a\\\\b", "write [a\\b]"},
    {"write \\\\n", "write [\\n]"},
    {"write 1\\n2\\t3", "write [1\\x0A2\\x093]"},
    {"write \\x41\\xff\\xFe\\x7f", "write [A\\xFF\\xFE\\x7F]"},
    {"write \\x0ab", "write [\\x0Ab]"},
    {"write caf\xc3\xa9", "write [caf\\xC3\\xA9]"},
    {"init", "init"},
    {"name", "name"},
    {"usage", "usage"},
    {"defaults   ", "defaults"},
    {"sleep 0", "sleep 0"},
    {"sleep 250", "sleep 250"},
    {"sleep 3600000", "sleep 3600000"},
    {"sleep 0000000007", "sleep 7"},  // ten digits, leading zeros included
    {"pos 3 2\r", "pos 3 2"},
    {"write hi\r", "write [hi]"},
    {"", ""},
    {"   \t ", ""},
    {"# a comment", ""},
    {"\t  # an indented comment: pos x y", ""},
    {"#write nothing", ""},
};

TEST(ScriptParse, EachGoodLineMakesItsCommand) {
    for (const GoodLine& good : kGoodLines) {
        SCOPED_TRACE(good.line);
        const std::vector<std::string> expected = std::string(good.command).empty()
                                                      ? std::vector<std::string>{}
                                                      : std::vector<std::string>{good.command};
        EXPECT_EQ(Parsed(std::string(good.line) + "\n"), expected);
        EXPECT_EQ(Parsed(good.line), expected) << "the last line needs no line end";
    }
}

struct BadLine {
    const char* line;
    const char* expected;
};

const char kPosExpected[] = "expected \"pos X Y\" with X and Y whole numbers from 0 to 255";
const char kSleepExpected[] =
    "expected \"sleep MS\" with MS a whole number of milliseconds from 0 to 3600000";
const char kWriteExpected[] = "expected \"write TEXT\": one space after write, then the text";
const char kUnknownTail[] =
    "; expected pos, write, init, sleep, name, usage, defaults or a # comment";

const BadLine kBadLines[] = {
    {"pos", kPosExpected},
    {"pos 1", kPosExpected},
    {"pos 1 2 3", kPosExpected},
    {"pos x 2", kPosExpected},
    {"pos 256 1", kPosExpected},
    {"pos 1 99999999999", kPosExpected},
    {"pos -1 1", kPosExpected},
    {"pos +1 1", kPosExpected},
    {"pos 1.5 2", kPosExpected},
    {"pos 1,2", kPosExpected},
    {"pos 00000000001 1", kPosExpected},  // eleven digits, however small
    {"pos 0x1 1", kPosExpected},
    {"write", kWriteExpected},
    {"write\thi", kWriteExpected},
    {"  write", kWriteExpected},
    {"write \\q", "unknown escape \\q; expected \\\\, \\n, \\t or \\xHH"},
    {"write \\N", "unknown escape \\N; expected \\\\, \\n, \\t or \\xHH"},
    {"write abc\\", "a lone \\ ends the text; expected \\\\, \\n, \\t or \\xHH"},
    {"write \\x4", "expected two hex digits after \\x"},
    {"write \\xg0", "expected two hex digits after \\x"},
    {"write \\x", "expected two hex digits after \\x"},
    {"write \\x00", "\\x00 cannot be written: a NUL byte ends the driver's text"},
    {"write \\x-1", "expected two hex digits after \\x"},
    {"write \\x+1", "expected two hex digits after \\x"},
    {"write \\x 1", "expected two hex digits after \\x"},
    {"write \\x4g", "expected two hex digits after \\x"},
    {"sleep", kSleepExpected},
    {"sleep -5", kSleepExpected},
    {"sleep 3600001", kSleepExpected},
    {"sleep 1 2", kSleepExpected},
    {"sleep 1s", kSleepExpected},
    {"init now", "expected \"init\" alone on its line"},
    {"name x", "expected \"name\" alone on its line"},
    {"usage please", "expected \"usage\" alone on its line"},
    {"defaults 1", "expected \"defaults\" alone on its line"},
    {"foo", "unknown command \"foo\""},
    {"POS 1 2", "unknown command \"POS\""},
    {"writehello", "unknown command \"writehello\""},
    {"Write hi", "unknown command \"Write\""},
    {"// comment", "unknown command \"//\""},
};

TEST(ScriptParse, EachMalformedLineIsReportedWithFileLineAndWhatWasExpected) {
    for (const BadLine& bad : kBadLines) {
        SCOPED_TRACE(bad.line);
        std::string expected = std::string("s.txt:1: ") + bad.expected;
        if (std::string(bad.expected).rfind("unknown command", 0) == 0) expected += kUnknownTail;
        EXPECT_EQ(ErrorOf(std::string(bad.line) + "\n"), expected);
    }
}

TEST(ScriptParse, WholeScriptKeepsOrderAndLineNumbers) {
    const std::string script =
        "# greeting\n"
        "\n"
        "pos 1 1\r\n"
        "write Hello, <b>world</b>\n"
        "   \n"
        "sleep 20\n"
        "name\n"
        "init";
    std::vector<Command> commands;
    std::string error;
    ASSERT_TRUE(ParseScript(script, "s.txt", &commands, &error)) << error;
    std::vector<std::string> shown;
    std::vector<int> lines;
    for (const Command& command : commands) {
        shown.push_back(Describe(command));
        lines.push_back(command.line);
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"pos 1 1", "write [Hello, <b>world</b>]", "sleep 20",
                                               "name", "init"}));
    EXPECT_EQ(lines, (std::vector<int>{3, 4, 6, 7, 8}));
}

TEST(ScriptParse, FirstMalformedLineIsTheOneReportedAndNothingRuns) {
    const std::string script =
        "pos 1 1\n"
        "# fine so far\n"
        "write ok\n"
        "pos 1\n"
        "bogus\n";
    EXPECT_EQ(ErrorOf(script), std::string("s.txt:4: ") + kPosExpected);
}

TEST(ScriptParse, EmptyScriptHasNoCommands) {
    EXPECT_EQ(Parsed(""), std::vector<std::string>{});
    EXPECT_EQ(Parsed("\n\n# only comments\n"), std::vector<std::string>{});
}

TEST(ScriptParse, FileNameInMessagesIsTheOneGiven) {
    std::vector<Command> commands;
    std::string error;
    EXPECT_FALSE(ParseScript("\n\nnope\n", "<stdin>", &commands, &error));
    EXPECT_EQ(error, std::string("<stdin>:3: unknown command \"nope\"") + kUnknownTail);
}

}  // namespace
