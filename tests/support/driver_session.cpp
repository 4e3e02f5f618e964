#include "tests/support/driver_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "host/driver_module.h"
#include "tests/support/files.h"
#include "tests/support/module_host.h"
#include "tests/support/page_oracle.h"

namespace fs = std::filesystem;

namespace testhost {

fs::path MakeScenarioRoot() {
    static unsigned counter = 0;
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        fs::path candidate = fs::temp_directory_path() / ("lumivane-test-" + std::to_string(ticks) +
                                                          "-" + std::to_string(++counter));
        if (fs::create_directory(candidate)) return candidate;
    }
}

DriverSession::DriverSession(const std::string& module_name)
    : DriverSession(module_name, LUMIVANE_MODULE_PATH) {}

DriverSession::DriverSession(const std::string& module_name, const std::string& built_module)
    : module_name_(module_name) {
    root_ = MakeScenarioRoot();
    work_dir_ = root_ / "work";
    fs::create_directory(work_dir_);
    fs::create_directory(root_ / "module");
    module_path_ = root_ / "module" / (module_name + host::kModuleExtension);
    fs::copy_file(built_module, module_path_);

    previous_dir_ = fs::current_path();
    fs::current_path(work_dir_);

    std::string error;
    module_ = host::LoadModule(module_path_.string(), &error);
    EXPECT_NE(module_, nullptr) << "cannot load " << module_path_ << ": " << error;
    if (!module_) return;
    for (const std::string& name : host::BindDriver(module_, this))
        ADD_FAILURE() << "export " << name << " missing";
}

DriverSession::~DriverSession() {
    if (module_) host::UnloadModule(module_);
    std::error_code ignored;
    fs::current_path(previous_dir_, ignored);
    // Unloading the module closed its log, so nothing below the scenario's
    // directory is held open any more, on Windows either.
    fs::remove_all(root_, ignored);
}

LoadedModule::LoadedModule(const fs::path& file) {
    module_ = host::LoadModule(file.string(), &error_);
    if (module_ == nullptr) return;
    for (const std::string& name : host::BindDriver(module_, this))
        error_ += "export " + name + " missing; ";
}

LoadedModule::~LoadedModule() {
    if (module_) host::UnloadModule(module_);
}

std::string DriverSession::CallInit(unsigned char* flag) {
    const char* result = Init(80, 4, 0, flag);
    return result ? result : "<null>";
}

void DriverSession::GrowLogTo(std::uintmax_t size) {
    SetPosition(1, 1);
    Write(std::string(4 * 80, 'x').c_str());  // back at 1, 1
    const std::uintmax_t now = fs::file_size(work_dir_ / LogPath());
    const std::uintmax_t lines = LogLineSize("Write x=1, y=1") + LogLineSize("Write ");
    ASSERT_GE(size, now + lines) << "the log is already " << now << " bytes";
    Write(std::string(size - now - lines, 'x').c_str());
    ASSERT_EQ(fs::file_size(work_dir_ / LogPath()), size);
}

std::string DriverSession::Read(const std::string& relative) const {
    return ReadFile(work_dir_ / relative);
}

bool DriverSession::Exists(const std::string& relative) const {
    return fs::exists(work_dir_ / relative);
}

std::string DriverSession::RelativePagePath() const {
    return std::string("logs") + kDriverPathSeparator + "index.htm";
}

std::string DriverSession::LogPath() const {
    return std::string("logs") + kDriverPathSeparator + module_name_ + ".log";
}

std::string Lines(const std::string& text) {
    std::string stored;
    for (char c : text) {
        if (c == '\n')
            stored += kLineEnd;
        else
            stored += c;
    }
    return stored;
}

// A line feed inside a row is a line end like any other: where text files
// store CR LF, the row's own line feeds become CR LF too.
std::string ExpectedPage(const std::vector<std::string>& rows) {
    std::vector<std::string> stored;
    for (const std::string& row : rows) stored.push_back(Lines(row));
    return OraclePage(stored, kLineEnd);
}

std::vector<std::string> PageRows(const std::string& page) {
    return OraclePageRows(page, kLineEnd);
}

std::string PageRow(const std::string& page, int row) {
    const std::vector<std::string> rows = PageRows(page);
    return row >= 1 && row <= static_cast<int>(rows.size()) ? rows[row - 1] : "<no such row>";
}

const char kPageWriteStart[] = "Display -------------------------------------------";
const char kPageWriteEnd[] = "Display ...........................................";

std::vector<std::string> PageWriteLog(const std::vector<std::string>& rows) {
    std::vector<std::string> lines = {kPageWriteStart};
    for (const std::string& row : rows) lines.push_back("display " + row);
    lines.push_back(kPageWriteEnd);
    return lines;
}

std::vector<std::string> PageWriteFailureLog(const std::string& failure,
                                             const std::string& page_path, int error) {
    return {kPageWriteStart, "Display_screen " + failure, "display_screen " + page_path,
            "display_screen error " + std::to_string(error)};
}

std::string CursorLine(const std::string& label, int x, int y) {
    return label + " x=" + std::to_string(x) + ", y=" + std::to_string(y);
}

std::vector<std::string> Concat(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::uintmax_t LogLineSize(const std::string& body) {
    return Lines(std::string(kStampSize, '0') + " " + body + "\n").size();
}

std::time_t Now() { return std::time(nullptr); }

namespace {
// Reads "HH:MM:SS dd/mm/yy" (or, without seconds, "HH:MM dd/mm/yy") back
// into a local time; -1 when the text has another shape.
std::time_t ParseStamp(const std::string& stamp, bool with_seconds) {
    const char* shape = with_seconds ? "99:99:99 99/99/99" : "99:99 99/99/99";
    if (stamp.size() != std::char_traits<char>::length(shape)) return -1;
    for (std::size_t i = 0; i < stamp.size(); ++i) {
        const bool digit = stamp[i] >= '0' && stamp[i] <= '9';
        if ((shape[i] == '9') != digit || (!digit && stamp[i] != shape[i])) return -1;
    }
    std::tm parts{};
    int year = 0;
    if (with_seconds)
        std::sscanf(stamp.c_str(), "%d:%d:%d %d/%d/%d", &parts.tm_hour, &parts.tm_min,
                    &parts.tm_sec, &parts.tm_mday, &parts.tm_mon, &year);
    else
        std::sscanf(stamp.c_str(), "%d:%d %d/%d/%d", &parts.tm_hour, &parts.tm_min, &parts.tm_mday,
                    &parts.tm_mon, &year);
    parts.tm_mon -= 1;
    parts.tm_year = year + 100;
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}
}  // namespace

std::vector<std::string> LogBodies(const std::string& log, TimeWindow window) {
    std::vector<std::string> bodies;
    const std::string line_end = kLineEnd;
    std::size_t start = 0;
    while (start < log.size()) {
        const std::size_t end = log.find(line_end, start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "log ends without a line end: " << log.substr(start);
            bodies.push_back("<bad line: " + log.substr(start) + ">");
            break;
        }
        const std::string line = log.substr(start, end - start);
        start = end + line_end.size();

        const std::time_t stamp =
            line.size() > kStampSize ? ParseStamp(line.substr(0, kStampSize), true) : -1;
        if (stamp == -1 || line[kStampSize] != ' ') {
            ADD_FAILURE() << "malformed log line: " << line;
            bodies.push_back("<bad line: " + line + ">");
            continue;
        }
        EXPECT_GE(stamp, window.before) << line;
        EXPECT_LE(stamp, window.after) << line;
        bodies.push_back(line.substr(kStampSize + 1));
    }
    return bodies;
}

::testing::AssertionResult LogIs(const std::string& log, const std::vector<std::string>& bodies,
                                 TimeWindow window) {
    std::size_t at = 0;
    for (std::size_t line = 0; line < bodies.size(); ++line) {
        const std::string rest = " " + Lines(bodies[line] + "\n");
        const std::time_t stamp = ParseStamp(log.substr(at, kStampSize), true);
        if (stamp == -1 || log.compare(at + kStampSize, rest.size(), rest) != 0)
            return ::testing::AssertionFailure()
                   << "log line " << line << " differs; expected body \""
                   << bodies[line].substr(0, 200) << "\", log from there: \"" << log.substr(at, 200)
                   << "\"";
        if (stamp < window.before || stamp > window.after)
            return ::testing::AssertionFailure()
                   << "log line " << line << " is stamped outside the calls: \""
                   << log.substr(at, kStampSize) << "\"";
        at += kStampSize + rest.size();
    }
    if (at != log.size())
        return ::testing::AssertionFailure()
               << "log has more lines: \"" << log.substr(at, 200) << "\"";
    return ::testing::AssertionSuccess();
}

bool IsStartupClock(const std::string& text, TimeWindow window) {
    const std::time_t minute = ParseStamp(text, false);
    return minute != -1 && minute >= window.before - 59 && minute <= window.after;
}

std::string DriverNameOf(const std::string& base) { return base + " v" LUMIVANE_VERSION_TEXT; }

std::vector<std::string> Banner(const std::string& name) {
    const std::string rule = "===================================";
    return {rule + " " + rule, "Log File opened for  " + name, rule + " " + rule};
}

}  // namespace testhost
