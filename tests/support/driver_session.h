// A fresh load of the driver module, made as a host makes it: the built
// module copied under a name of the scenario's choosing, loaded in a new,
// empty working directory. Every scenario gets its own module state.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "host/driver_module.h"

namespace testhost {

// The six calls (Init, SetPosition, ...) are those of the copy loaded.
class DriverSession : public host::DriverCalls {
public:
    // Loads a copy of the module named `module_name` plus the platform's
    // extension, kept beside (not inside) the working directory.
    explicit DriverSession(const std::string& module_name = "lumivane");
    // The same, with another build of the module (the fault-injection one).
    DriverSession(const std::string& module_name, const std::string& built_module);
    ~DriverSession();
    DriverSession(const DriverSession&) = delete;
    DriverSession& operator=(const DriverSession&) = delete;

    void* module() const { return module_; }
    const std::filesystem::path& work_dir() const { return work_dir_; }
    const std::filesystem::path& module_path() const { return module_path_; }

    // Init with the screen size in the arguments the driver ignores.
    std::string CallInit(unsigned char* flag);

    // Has the driver grow its own log to exactly `size` bytes, in a few
    // calls: a Write that fills the screen with 'x', then one Write of as
    // many more as it takes (the page then stays as it is). Leaves the
    // cursor wherever that text ends; `size` must leave room for both.
    void GrowLogTo(std::uintmax_t size);

    // A file below the working directory, read as bytes; "" when missing.
    std::string Read(const std::string& relative) const;
    bool Exists(const std::string& relative) const;
    std::string RelativePagePath() const;  // "logs" + separator + "index.htm", as the log shows it
    std::string LogPath() const;           // logs/<module_name>.log
    std::filesystem::path PageFile() const { return work_dir_ / RelativePagePath(); }
    std::string Page() const { return Read(RelativePagePath()); }
    std::string Log() const { return Read(LogPath()); }

private:
    std::filesystem::path root_;
    std::filesystem::path work_dir_;
    std::filesystem::path module_path_;
    std::filesystem::path previous_dir_;
    std::string module_name_;
    void* module_ = nullptr;
};

// A module file loaded and its six exports bound, as a host does, until it
// goes. Unlike DriverSession it makes no directory and fails no test: it says
// whether the load worked, for loops of many loads.
class LoadedModule : public host::DriverCalls {
public:
    explicit LoadedModule(const std::filesystem::path& file);
    ~LoadedModule();
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    bool loaded() const { return module_ != nullptr && error_.empty(); }
    const std::string& error() const { return error_; }  // why it did not load

private:
    void* module_ = nullptr;
    std::string error_;
};

// A new, empty directory of its own below the temp directory.
std::filesystem::path MakeScenarioRoot();

// "\n" written as the module's text-mode files store it.
std::string Lines(const std::string& text);

// The page the driver writes for these four row texts, byte for byte, every
// "\n" (a row's own too) as the platform's line end.
std::string ExpectedPage(const std::vector<std::string>& rows);

// The four row texts read back from a page of that shape; empty when the page
// has another shape. A row holding a line end of its own can't be read back.
std::vector<std::string> PageRows(const std::string& page);

// Row `row` (1 to 4) of a page; "<no such row>" when the page has another shape.
std::string PageRow(const std::string& page, int row);

// The rules a page write opens and closes its log lines with.
extern const char kPageWriteStart[];  // "Display " and 43 '-'
extern const char kPageWriteEnd[];    // "Display " and 43 '.'

// The log bodies a successful page write leaves for these four rows.
std::vector<std::string> PageWriteLog(const std::vector<std::string>& rows);

// The log bodies a failed page write leaves: its start rule, what failed
// ("Failed to open web page file"), the page's path and the error number.
std::vector<std::string> PageWriteFailureLog(const std::string& failure,
                                             const std::string& page_path, int error);

// "<label> x=<x>, y=<y>": the cursor as SetPosition and Write log it.
std::string CursorLine(const std::string& label, int x, int y);

// The parts one after the other.
std::vector<std::string> Concat(std::vector<std::vector<std::string>> parts);

// A log line is a time stamp of this many characters, a space and a body.
constexpr std::size_t kStampSize = 17;

// The log's bound: a line that would take the log past it starts a fresh
// one, and a line longer than it alone is cut to it.
constexpr std::uintmax_t kLogBound = 16 * 1024 * 1024;

// The bytes a log line with this body takes in the file.
std::uintmax_t LogLineSize(const std::string& body);

// Clock readings around the calls under test.
struct TimeWindow {
    std::time_t before;
    std::time_t after;
};
std::time_t Now();

// Splits a log into its lines and checks that each one is a 17-character
// "%H:%M:%S %d/%m/%y" stamp taken inside `window`, a space, and a body
// ("<label> <text>"). Returns the bodies; a malformed line fails the test
// and is returned as "<bad line: ...>".
std::vector<std::string> LogBodies(const std::string& log, TimeWindow window);

// A stretch of log is exactly these bodies, each after a stamp taken inside
// `window`, byte for byte. Unlike LogBodies it takes bodies that hold line
// ends of their own, as a text written with every byte value does.
::testing::AssertionResult LogIs(const std::string& log, const std::vector<std::string>& bodies,
                                 TimeWindow window);

// The row 2 clock of the start-up picture ("%H:%M %d/%m/%y") is one of the
// minutes inside `window`.
bool IsStartupClock(const std::string& text, TimeWindow window);

// The driver's name for a module named `base`: "<base> v<the build's version>".
std::string DriverNameOf(const std::string& base);

// The three lines every fresh log opens with, for a module named `name`.
std::vector<std::string> Banner(const std::string& name);

}  // namespace testhost
