// lumivane-host: stands in for the LCD-control host. It loads a display
// driver module, reports what the driver says about itself, starts it as a
// 4 x 80 display and then draws on it from a script, from the lines of
// standard input, or with the built-in demo.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "host/demo.h"
#include "host/driver_module.h"
#include "host/runner.h"
#include "host/script.h"
#include "platform/module_name.h"
#include "platform/page_format.h"
#include "platform/programs/platform.h"
#include "trace/trace_log.h"

namespace fs = std::filesystem;

namespace {

struct Options {
    std::string module;  // empty: the module beside the executable
    std::string script;  // file name, "-" for standard input, empty for none
    bool lines = false;
    bool fast = false;
    bool help = false;
};

void PrintHelp() {
    std::printf(
        "Usage: lumivane-host [--module PATH] [--fast] [SCRIPT | - | --lines]\n"
        "Loads a display driver module and draws on its 4 x 80 screen as an LCD-control\n"
        "host does. The driver mirrors the screen into " LUMIVANE_PAGE_FOLDER "/" LUMIVANE_PAGE_FILE
        " below the current\n"
        "directory, and keeps its log beside it.\n"
        "\n"
        "It prints the driver's name, usage text and default parameters, calls Init and\n"
        "prints its answer, then:\n"
        "  SCRIPT          runs the commands in the file SCRIPT ('-': standard input);\n"
        "  --lines         shows the last four lines of standard input on rows 1 to 4,\n"
        "                  each padded or cut to 80 columns, until the input ends;\n"
        "  (neither)       runs a short demo.\n"
        "At the end it prints the absolute paths of the page and of the log.\n"
        "\n"
        "Options:\n"
        "  --module PATH   the driver module to load (default: %s beside this program)\n"
        "  --fast          skip every sleep\n"
        "  --help          show this help and exit\n"
        "\n"
        "Script commands, one a line; blank lines and lines starting with # are skipped:\n"
        "  pos X Y         move the cursor to column X, row Y (0 to 255)\n"
        "  write TEXT      write the rest of the line after \"write \" at the cursor;\n"
        "                  escapes: \\\\ \\n \\t and \\xHH for any byte but 00\n"
        "  init            call Init again and print its answer\n"
        "  sleep MS        wait MS milliseconds (0 to 3600000)\n"
        "  name            print the driver's name\n"
        "  usage           print the driver's usage text\n"
        "  defaults        print the driver's default parameters\n"
        "The whole script is checked before the driver is loaded: a malformed line is\n"
        "reported with its file and line number, and no call is made.\n"
        "\n"
        "Example: some-command | lumivane-host --lines\n"
        "\n"
        "Exit status: 0 success; 1 driver failure (module not loadable, an export missing,\n"
        "Init's flag 0, a Write returning 0); 2 bad usage or a script error.\n",
        host::kModuleFileName);
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "lumivane-host: %s\nTry 'lumivane-host --help'.\n", message.c_str());
    return host::kExitUsage;
}

// Returns kExitOk, or the exit status after reporting the error.
int ParseArguments(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            options->help = true;
        } else if (argument == "--lines") {
            options->lines = true;
        } else if (argument == "--fast") {
            options->fast = true;
        } else if (argument == "--module") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') return UsageError("--module needs a PATH");
            options->module = argv[++i];
        } else if (argument.rfind("--module=", 0) == 0) {
            options->module = argument.substr(9);
            if (options->module.empty()) return UsageError("--module needs a PATH");
        } else if (argument.size() > 1 && argument[0] == '-') {
            return UsageError("unknown option '" + argument + "'");
        } else if (!options->script.empty()) {
            return UsageError("one script at a time ('" + options->script + "' and '" + argument +
                              "')");
        } else {
            options->script = argument;
        }
    }
    if (options->lines && !options->script.empty())
        return UsageError("--lines reads standard input; it takes no script");
    return host::kExitOk;
}

// Reads the script named on the command line; false with *error on failure.
bool ReadScript(const std::string& name, std::string* text, std::string* error) {
    std::ostringstream content;
    if (name == "-") {
        content << std::cin.rdbuf();
    } else {
        std::error_code ignored;
        std::ifstream file(name, std::ios::binary);
        if (!file || fs::is_directory(name, ignored)) {
            *error = "cannot read the script '" + name + "'";
            return false;
        }
        content << file.rdbuf();
    }
    *text = content.str();
    return true;
}

// The log's file name, as the driver names it: its module file's base name,
// cut as the driver cuts it, and the log's extension.
std::string LogFileName(const std::string& module_path) {
    const std::string file = fs::path(module_path).filename().string();
    std::size_t length = 0;
    const std::size_t start = platform::BaseNameIn(file.data(), file.size(), &length);
    return file.substr(start, std::min(length, trace::kLogBaseNameRoom)) + trace::kLogExtension;
}

// The command line's checks beyond its syntax: the script read and parsed
// whole before any module is loaded, into *commands.
int CheckScript(const Options& options, const std::string& script_name,
                std::vector<host::Command>* commands) {
    if (options.script.empty()) return host::kExitOk;
    std::string text;
    std::string error;
    if (!ReadScript(options.script, &text, &error)) return UsageError(error);
    if (!host::ParseScript(text, script_name, commands, &error)) {
        std::fprintf(stderr, "lumivane-host: %s\n", error.c_str());
        return host::kExitUsage;
    }
    return host::kExitOk;
}

// Loads the module and binds its six exports into *driver.
int LoadDriver(const std::string& module_path, host::DriverCalls* driver) {
    std::string load_error;
    void* module = host::LoadModule(module_path, &load_error);
    if (!module) {
        std::fprintf(stderr, "lumivane-host: cannot load the driver module %s: %s\n",
                     module_path.c_str(), load_error.c_str());
        return host::kExitDriverFailure;
    }
    const std::vector<std::string> missing = host::BindDriver(module, driver);
    for (const std::string& name : missing)
        std::fprintf(stderr, "lumivane-host: %s: missing export %s\n", module_path.c_str(),
                     name.c_str());
    return missing.empty() ? host::kExitOk : host::kExitDriverFailure;
}

// Draws on the started driver: standard input's lines, the script, or the
// demo.
int Draw(const host::DriverCalls& driver, const Options& options,
         const std::vector<host::Command>& commands, const std::string& script_name) {
    if (options.lines) return host::FollowLines(driver, std::cin);
    if (!options.script.empty())
        return host::RunCommands(driver, commands, script_name, options.fast);
    std::vector<host::Command> demo;
    std::string error;
    if (!host::ParseScript(host::DemoScript(std::time(nullptr)), "demo", &demo, &error)) {
        std::fprintf(stderr, "lumivane-host: %s\n", error.c_str());
        return host::kExitUsage;
    }
    std::printf("demo: a title, a clock, wrapping text (about 8 s)\n");
    std::fflush(stdout);
    return host::RunCommands(driver, demo, "demo", options.fast);
}

// What a host does with a loaded driver: asks what it is, starts it, draws,
// and tells where the page and the log are.
int Run(const host::DriverCalls& driver, const Options& options, const std::string& module_path,
        const std::vector<host::Command>& commands, const std::string& script_name) {
    std::printf("module: %s\n", module_path.c_str());
    host::PrintName(driver);
    host::PrintUsage(driver);
    host::PrintDefaults(driver);
    if (const int status = host::CallInit(driver); status != host::kExitOk) return status;
    if (const int status = Draw(driver, options, commands, script_name); status != host::kExitOk)
        return status;
    const fs::path folder = fs::absolute(page_format::kFolder);
    std::printf("page: %s\n", (folder / page_format::kFile).string().c_str());
    std::printf("log: %s\n", (folder / LogFileName(module_path)).string().c_str());
    return host::kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const int status = ParseArguments(argc, argv, &options); status != host::kExitOk)
        return status;
    if (options.help) {
        PrintHelp();
        return host::kExitOk;
    }
    const std::string script_name = options.script == "-" ? "<stdin>" : options.script;
    std::vector<host::Command> commands;
    if (const int status = CheckScript(options, script_name, &commands); status != host::kExitOk)
        return status;

    const std::string module_path =
        options.module.empty() ? host::DefaultModulePath() : options.module;
    host::DriverCalls driver;
    if (const int status = LoadDriver(module_path, &driver); status != host::kExitOk) return status;
    return Run(driver, options, module_path, commands, script_name);
}
