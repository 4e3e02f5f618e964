// lumivane-host run as a user runs it: in an empty working directory, with
// the real driver module or a recording fake, checking its exit status, what
// it prints, the calls it makes and the page it leaves.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/driver_module.h"
#include "tests/host/host_process.h"
#include "tests/support/driver_session.h"
#include "tests/support/module_host.h"

namespace fs = std::filesystem;
using testhost::ExpectedPage;
using testhost::HostRun;
using testhost::Lines;

namespace {

// The module the host loads when given no --module: the one built beside it.
std::string ModuleBesideHost() {
    return (fs::canonical(testhost::HostProgram()).parent_path() /
            ("lumivane" + std::string(host::kModuleExtension)))
        .string();
}

// The line the host prints for the real driver's name.
std::string NameLine() { return "name: " + testhost::DriverNameOf("lumivane") + "\n"; }

// What the host prints before it draws, with the real driver.
std::string RealHeader() {
    return Lines("module: " + ModuleBesideHost() + "\n" + NameLine() +
                 "usage: my_plugin usage\n"
                 "defaults: default\n"
                 "init: Lumivane v0.1 (flag 1)\n");
}

std::string FakeHeader(const std::string& module) {
    return Lines("module: " + module +
                 "\n"
                 "name: fake v0\n"
                 "usage: fake usage\n"
                 "defaults: fake defaults\n"
                 "init: fake ready (flag 1)\n");
}

std::string Padded(std::string text) {
    text.resize(80, ' ');
    return text;
}

// The log's bodies in a run where the host called DriverName before Init, so
// the log has no banner and begins with Init's lines.
std::vector<std::string> LogBodies(const HostRun& run, testhost::TimeWindow window) {
    return testhost::LogBodies(run.Read("logs/lumivane.log"), window);
}

void Append(std::vector<std::string>* all, const std::vector<std::string>& more) {
    all->insert(all->end(), more.begin(), more.end());
}

// --- command line ------------------------------------------------------------

// --help opens with the usage line and loads no driver; the rest of the
// text is the program's to word.
TEST(HostCommandLine, HelpPrintsTheUsageLineAndExitsZero) {
    HostRun run;
    ASSERT_EQ(run.Run({"--help"}), 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(
        run.out.rfind(
            Lines("Usage: lumivane-host [--module PATH] [--fast] [SCRIPT | - | --lines]\n"), 0),
        0u)
        << run.out;
    EXPECT_FALSE(run.Exists("logs")) << "--help loads no driver";
}

struct BadCommandLine {
    std::vector<std::string> arguments;
    const char* complaint;
};

TEST(HostCommandLine, BadUsageExitsTwoBeforeAnyDriverCall) {
    const BadCommandLine cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"-x"}, "unknown option '-x'"},
        {{"--module"}, "--module needs a PATH"},
        {{"--module="}, "--module needs a PATH"},
        {{"--module", ""}, "--module needs a PATH"},
        {{"a.txt", "b.txt"}, "one script at a time ('a.txt' and 'b.txt')"},
        {{"--lines", "a.txt"}, "--lines reads standard input; it takes no script"},
        {{"missing.txt"}, "cannot read the script 'missing.txt'"},
        {{"folder"}, "cannot read the script 'folder'"},
    };
    for (const BadCommandLine& c : cases) {
        SCOPED_TRACE(c.complaint);
        HostRun run;
        run.Put("a.txt", "pos 1 1\n");
        run.Put("b.txt", "pos 1 1\n");
        fs::create_directory(run.work_dir() / "folder");
        EXPECT_EQ(run.Run(c.arguments), 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, Lines(std::string("lumivane-host: ") + c.complaint +
                                 "\nTry 'lumivane-host --help'.\n"));
        EXPECT_FALSE(run.Exists("logs"));
    }
}

// --- scripts -------------------------------------------------------------------

TEST(HostScript, DrawsOnTheScreenAndTheLogShowsEachCall) {
    HostRun run;
    run.Put("draw.txt",
            "# a few rows\n"
            "pos 1 1\n"
            "write Hi\n"
            "\n"
            "pos 1 2\n"
            "write <b>bold</b> A\\x41\\t\\\\\n"
            "pos 1 3\n"
            "write "
            "12345678901234567890123456789012345678901234567890123456789012345678901234567890wrap\n"
            "usage\n"
            "defaults\n"
            "name\n");
    testhost::TimeWindow window{testhost::Now(), 0};
    ASSERT_EQ(run.Run({"draw.txt"}), 0) << run.err;
    window.after = testhost::Now();

    const std::string eighty =
        "12345678901234567890123456789012345678901234567890123456789012345678901234567890";
    const std::vector<std::string> rows = {"Hiendalore Initialising", "<b>bold</b> AA\t\\", eighty,
                                           "wrap"};
    EXPECT_EQ(run.Read("logs/index.htm"), ExpectedPage(rows));
    EXPECT_EQ(run.out, RealHeader() +
                           Lines("usage: my_plugin usage\n"
                                 "defaults: default\n" +
                                 NameLine()) +
                           testhost::PathLines(run.work_dir(), "lumivane"));
    EXPECT_EQ(run.err, "");

    const std::vector<std::string> log = LogBodies(run, window);
    ASSERT_GE(log.size(), 4u);
    const std::string clock = log[3].substr(std::string("display ").size());
    EXPECT_TRUE(testhost::IsStartupClock(clock, window)) << clock;
    std::vector<std::string> expected = {std::string("Init Web Page  logs") +
                                         testhost::kDriverPathSeparator + "index.htm"};
    Append(&expected, testhost::PageWriteLog({"Quendalore Initialising", clock, " ", " "}));
    Append(&expected, {"SetPosition x=1, y=1", "Write x=1, y=1", "Write Hi"});
    Append(&expected, testhost::PageWriteLog({"Hiendalore Initialising", clock, " ", " "}));
    Append(&expected, {"SetPosition x=1, y=2", "Write x=1, y=2", "Write <b>bold</b> AA\t\\"});
    Append(&expected,
           testhost::PageWriteLog({"Hiendalore Initialising", "<b>bold</b> AA\t\\", " ", " "}));
    Append(&expected, {"SetPosition x=1, y=3", "Write x=1, y=3", "Write " + eighty + "wrap"});
    Append(&expected, testhost::PageWriteLog(rows));
    Append(&expected, {"Entered DriverName", "Exit DriverName"});
    EXPECT_EQ(log, expected);
}

TEST(HostScript, EveryCommandReachesTheDriverWithExactArguments) {
    HostRun run;
    const std::string module = testhost::FakeModule("recording");
    ASSERT_EQ(run.Run({"--module", module, "-"},
                      "pos 0 255\n"
                      "write a\\tb\\x80\n"
                      "write \n"
                      "sleep 1\n"
                      "init\n"
                      "name\n"
                      "usage\n"
                      "defaults\n"),
              0)
        << run.err;
    EXPECT_EQ(run.Read("fake-calls.txt"),
              "DriverName\nUsage\nDefaultParameters\nInit 80 4 0\n"
              "SetPosition 0 255\nWrite 4:a\tb\x80\nWrite 0:\n"
              "Init 80 4 0\nDriverName\nUsage\nDefaultParameters\n");
    EXPECT_EQ(run.out, FakeHeader(module) +
                           Lines("init: fake ready (flag 1)\n"
                                 "name: fake v0\n"
                                 "usage: fake usage\n"
                                 "defaults: fake defaults\n") +
                           testhost::PathLines(run.work_dir(), "fake_recording"));
    EXPECT_EQ(run.err, "");
}

TEST(HostScript, ReadFromStandardInputWithDash) {
    HostRun run;
    ASSERT_EQ(run.Run({"-"}, "pos 1 4\nwrite from stdin\n"), 0) << run.err;
    EXPECT_EQ(testhost::PageRow(run.Read("logs/index.htm"), 4), "from stdin");
}

// The whole script is checked before the module is loaded: a malformed line
// means no call at all, so no log, no page, and nothing recorded by the fake.
TEST(HostScript, MalformedLineIsReportedWithFileAndLineAndNoCallIsMade) {
    const std::string script =
        "# fine\n"
        "pos 1 1\n"
        "write before the error\n"
        "pos 1\n"
        "write after the error\n";
    const std::string pos_expected =
        "expected \"pos X Y\" with X and Y whole numbers from 0 to 255";
    struct Case {
        std::vector<std::string> arguments;
        const char* where;
    };
    const std::string fake = testhost::FakeModule("recording");
    const Case cases[] = {
        {{"bad.txt"}, "bad.txt:4: "},
        {{"-"}, "<stdin>:4: "},
        {{"--module", fake, "bad.txt"}, "bad.txt:4: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        HostRun run;
        run.Put("bad.txt", script);
        EXPECT_EQ(run.Run(c.arguments, script), 2);
        EXPECT_EQ(run.err, Lines("lumivane-host: " + std::string(c.where) + pos_expected + "\n"));
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(run.Exists("logs"));
        EXPECT_FALSE(run.Exists("fake-calls.txt"));
    }
}

// --- driver failures -------------------------------------------------------------

TEST(HostFailure, WriteReturningZeroStopsWithExitOneAndNoFurtherCall) {
    struct Case {
        std::vector<std::string> arguments;
        const char* input;
        std::string calls;  // after the start-up calls
        const char* complaint;
    };
    const std::string module = testhost::FakeModule("failing_write");
    const Case cases[] = {
        {{"--module", module, "-"},
         "pos 2 3\nwrite a\nname\nwrite b\n",
         "SetPosition 2 3\nWrite 1:a\n",
         "<stdin>:2: Write returned 0: the page file could not be written"},
        {{"--module", module, "--lines"},
         "first\nsecond\n",
         "SetPosition 1 1\nWrite 320:" + Padded("first") + std::string(240, ' ') + "\n",
         "input line 1: Write returned 0: the page file could not be written"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.complaint);
        HostRun run;
        EXPECT_EQ(run.Run(c.arguments, c.input), 1);
        EXPECT_EQ(run.Read("fake-calls.txt"),
                  "DriverName\nUsage\nDefaultParameters\nInit 80 4 0\n" + c.calls);
        EXPECT_EQ(run.out, FakeHeader(module));
        EXPECT_EQ(run.err, Lines("lumivane-host: " + std::string(c.complaint) + "\n"));
    }
}

TEST(HostFailure, InitFlagZeroExitsOneInEveryMode) {
    const std::vector<std::vector<std::string>> modes = {{"draw.txt"}, {"--lines"}, {"--fast"}};
    for (const auto& arguments : modes) {
        SCOPED_TRACE(arguments[0]);
        HostRun run;
        run.Put("draw.txt", "write never\n");
        fs::create_directories(run.work_dir() / "logs" /
                               "index.htm");  // the page cannot be written
        EXPECT_EQ(run.Run(arguments, "never\n"), 1);
        EXPECT_EQ(run.out, Lines("module: " + ModuleBesideHost() + "\n" + NameLine() +
                                 "usage: my_plugin usage\n"
                                 "defaults: default\n"
                                 "init: Failed to create web page (flag 0)\n"));
        EXPECT_EQ(run.err, Lines("lumivane-host: Init reported a failure (flag 0)\n"));
        EXPECT_EQ(run.Read("logs/lumivane.log").find("never"), std::string::npos)
            << "nothing written after Init";
    }
}

TEST(HostFailure, MissingExportsAreEachNamedAndNoCallIsMade) {
    HostRun run;
    const std::string module = testhost::FakeModule("incomplete");
    EXPECT_EQ(run.Run({"--module", module}), 1);
    EXPECT_EQ(run.err, Lines("lumivane-host: " + module + ": missing export DISPLAYDLL_Usage\n" +
                             "lumivane-host: " + module +
                             ": missing export DISPLAYDLL_DefaultParameters\n"));
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(run.Exists("fake-calls.txt"));
}

TEST(HostFailure, ModuleThatCannotBeLoadedExitsOne) {
    for (const char* module : {"no-such-module.so", "not-a-module.so"}) {
        SCOPED_TRACE(module);
        HostRun run;
        run.Put("not-a-module.so", "just text\n");
        EXPECT_EQ(run.Run({"--module", module}), 1);
        const std::string prefix =
            std::string("lumivane-host: cannot load the driver module ") + module + ": ";
        EXPECT_EQ(run.err.rfind(prefix, 0), 0u) << run.err;
        EXPECT_GT(run.err.size(), prefix.size() + 1) << "the loader's reason follows";
        EXPECT_EQ(run.out, "");
    }
}

// The log the host names is the one the driver wrote, named after the
// module's file, whatever the driver's name text holds: DriverName cuts a
// long base name that the log keeps whole.
TEST(HostModule, NamesTheLogTheDriverWrote) {
    for (const std::string base : {std::string("mirror.v2"), std::string(120, 'm')}) {
        SCOPED_TRACE(base);
        HostRun run;
        const std::string module = base + host::kModuleExtension;
        fs::copy_file(ModuleBesideHost(), run.work_dir() / module);
        ASSERT_EQ(run.Run({"--fast", "--module", module, "-"}, "write x\n"), 0) << run.err;
        const std::string paths = testhost::PathLines(run.work_dir(), base);
        ASSERT_GE(run.out.size(), paths.size());
        EXPECT_EQ(run.out.substr(run.out.size() - paths.size()), paths);
        EXPECT_TRUE(run.Exists("logs/" + base + ".log"));
    }
}

// Without --module the host loads the module file beside its own program
// file, whatever the working directory.
TEST(HostModule, DefaultIsTheModuleBesideTheProgram) {
    HostRun run;
    const fs::path bin = run.root() / "bin";
    fs::create_directory(bin);
    const fs::path program = bin / fs::path(testhost::HostProgram()).filename();
    fs::copy_file(testhost::HostProgram(), program);
    const fs::path module = bin / ("lumivane" + std::string(host::kModuleExtension));
    fs::copy_file(testhost::FakeModule("recording"), module);

    ASSERT_EQ(run.RunProgram(program.string(), {"-"}, "write x\n"), 0) << run.err;
    EXPECT_EQ(run.out, FakeHeader(fs::canonical(module).string()) +
                           testhost::PathLines(run.work_dir(), "lumivane"));
    EXPECT_EQ(run.Read("fake-calls.txt"),
              "DriverName\nUsage\nDefaultParameters\nInit 80 4 0\nWrite 1:x\n");
}

// --- follow mode ------------------------------------------------------------------

TEST(HostLines, ShowsTheLastFourLinesEachFittedToEightyColumns) {
    struct Case {
        const char* name;
        std::string input;
        std::vector<std::string> rows;
        int lines;
    };
    const std::string eighty_x(80, 'x');
    const Case cases[] = {
        {"two lines: blank rows below",
         "one\ntwo\n",
         {Padded("one"), Padded("two"), Padded(""), Padded("")},
         2},
        {"six lines: the last four, cut, tab, CR LF, no final line end",
         "l1\nl2\nl3\r\n" + std::string(100, 'x') + "\na\tb\nlast",
         {Padded("l3"), eighty_x, Padded("a       b"), Padded("last")},
         6},
        {"markup passes through",
         "<b>bold</b>\n",
         {Padded("<b>bold</b>"), Padded(""), Padded(""), Padded("")},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostRun run;
        testhost::TimeWindow window{testhost::Now(), 0};
        ASSERT_EQ(run.Run({"--lines"}, c.input), 0) << run.err;
        window.after = testhost::Now();
        EXPECT_EQ(run.Read("logs/index.htm"), ExpectedPage(c.rows));
        EXPECT_EQ(run.out, RealHeader() + testhost::PathLines(run.work_dir(), "lumivane"));

        // One Write of the whole screen from column 1 of row 1 per input line.
        int writes = 0;
        int page_writes = 0;
        for (const std::string& body : LogBodies(run, window)) {
            writes += body == "Write x=1, y=1";
            page_writes += body == testhost::kPageWriteStart;
        }
        EXPECT_EQ(writes, c.lines);
        EXPECT_EQ(page_writes, 1 + c.lines);
    }
}

TEST(HostLines, NoInputLeavesTheStartUpPicture) {
    HostRun run;
    ASSERT_EQ(run.Run({"--lines"}, ""), 0) << run.err;
    EXPECT_EQ(testhost::PageRow(run.Read("logs/index.htm"), 1), "Quendalore Initialising");
    EXPECT_EQ(run.Read("logs/lumivane.log").find("Write"), std::string::npos);
}

// --- demo ---------------------------------------------------------------------------

TEST(HostDemo, EndsWithTheClosingScreenAndTheAbsolutePathsOfPageAndLog) {
    HostRun run;
    ASSERT_EQ(run.Run({"--fast"}), 0) << run.err;
    EXPECT_EQ(run.out, RealHeader() + Lines("demo: a title, a clock, wrapping text (about 8 s)\n") +
                           testhost::PathLines(run.work_dir(), "lumivane"));
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(fs::path(run.work_dir()).is_absolute());
    EXPECT_EQ(run.Read("logs/index.htm"),
              ExpectedPage({Padded("<b>Lumivane</b> demo finished."),
                            Padded("Run your own script: lumivane-host script.txt   (commands: "
                                   "lumivane-host --help)"),
                            Padded("Mirror any output:   some-command | lumivane-host --lines"),
                            Padded("The browser reloads this page every 5 s; the driver's log is "
                                   "beside it in logs.")}));
    EXPECT_TRUE(run.Exists("logs/lumivane.log"));
}

}  // namespace
