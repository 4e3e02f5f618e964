// Hostile and odd calls through the exports, each with the behaviour it gets.
// Every case checks the page and the log byte for byte and that the returned
// texts and the files beside the page are as before, so a stray store outside
// the 4 x 80 cells shows up; the sanitizer build runs the same cases and
// catches any overrun of the module's buffers as it happens.
#include "host/driver_module.h"
#include "tests/support/driver_session.h"
#include "tests/support/module_host.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>

namespace fs = std::filesystem;
using testhost::DriverSession;
using testhost::ExpectedPage;
using testhost::Lines;

namespace {

constexpr int kColumns = 80;
constexpr int kRows = 4;
constexpr int kCells = kColumns * kRows;
const std::string kHyphens = "Display -------------------------------------------";
const std::string kDots = "Display ...........................................";
const std::string kTitle = "Lumivane v0.1";
const std::string kInitFailed = "Failed to create web page";

using Rows = std::vector<std::string>;

// The log lines of a page rewrite showing these rows.
std::vector<std::string> PageWriteLines(const Rows& rows) {
    std::vector<std::string> lines = {kHyphens};
    for (const std::string& row : rows) lines.push_back("display " + row);
    lines.push_back(kDots);
    return lines;
}

std::vector<std::string> Concat(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::string Cursor(const char* label, int x, int y) {
    return std::string(label) + " x=" + std::to_string(x) + ", y=" + std::to_string(y);
}

// Compares a stretch of log with the expected line bodies, byte for byte after
// each line's 17-character time stamp. Unlike LogBodies it takes bodies that
// hold line ends of their own, as a text written with every byte value does.
testing::AssertionResult LogIs(const std::string& log, const std::vector<std::string>& bodies) {
    std::size_t at = 0;
    for (std::size_t line = 0; line < bodies.size(); ++line) {
        const std::string expected = Lines(bodies[line] + "\n");
        const std::string stamp = log.substr(at, 17);
        const bool stamp_shaped = stamp.size() == 17 && stamp[2] == ':' && stamp[5] == ':' &&
                                  stamp[8] == ' ' && stamp[11] == '/' && stamp[14] == '/';
        if (!stamp_shaped || log.compare(at + 17, 1, " ") != 0 ||
            log.compare(at + 18, expected.size(), expected) != 0) {
            return testing::AssertionFailure()
                   << "log line " << line << " differs; expected body \"" << bodies[line].substr(0, 200)
                   << "\", log from there: \"" << log.substr(at, 200) << "\"";
        }
        at += 18 + expected.size();
    }
    if (at != log.size())
        return testing::AssertionFailure() << "log has more lines: \"" << log.substr(at, 200) << "\"";
    return testing::AssertionSuccess();
}

// Every file below the working directory, as relative paths.
std::set<std::string> FilesBelow(const fs::path& root) {
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        files.insert(entry.path().lexically_relative(root).generic_string());
    return files;
}

// A driver that has run Init and then filled all 320 cells with '.', so every
// cell a case writes shows on the page; the cursor stands at 1, 1 again.
class FilledScreen : public testing::Test {
protected:
    void SetUp() override {
        unsigned char flag = 0;
        ASSERT_EQ(driver_.CallInit(&flag), kTitle);
        ASSERT_EQ(driver_.Write(std::string(kCells, '.').c_str()), 1);
        ASSERT_EQ(driver_.Page(), ExpectedPage(Filled()));
        log_mark_ = driver_.Log().size();
    }

    static Rows Filled() { return Rows(kRows, std::string(kColumns, '.')); }

    // What the log gained since SetUp.
    std::string NewLog() const { return driver_.Log().substr(log_mark_); }

    // The returned texts, the page's place and the log's place are as they
    // were: no call stored beyond the cells into the module's other buffers.
    void ExpectRestIntact() {
        EXPECT_STREQ(driver_.DriverName(), "lumivane v1.0.14.79");
        EXPECT_STREQ(driver_.Usage(), "my_plugin usage");
        EXPECT_STREQ(driver_.DefaultParameters(), "default");
        EXPECT_EQ(FilesBelow(driver_.work_dir()),
                  (std::set<std::string>{"logs", "logs/index.htm", "logs/lumivane.log"}));
    }

    DriverSession driver_;
    std::size_t log_mark_ = 0;
};

// --- SetPosition with any 32-bit argument ------------------------------------
// Only the low byte is read; above 80/4 it is held at the last column/row, and
// 0 is stored as it is. Where the cursor went shows in the next Write's log
// line and in where "XY" lands: a cursor on column 0 or row 0 writes into
// column 1 or row 1 and runs on from there.

struct PositionCase {
    const char* name;
    int x, y;            // as the host passes them
    int read_x, read_y;  // the low bytes, as SetPosition logs them
    int at_x, at_y;      // the cursor as the following Write logs it
    int x_col, x_row;    // where 'X' lands
    int y_col, y_row;    // where 'Y' lands
    int next_x, next_y;  // the cursor after "XY"
};

const PositionCase kPositionCases[] = {
    {"InsideScreen", 12, 3, 12, 3, 12, 3, 12, 3, 13, 3, 14, 3},
    {"LastCellRunsOnToFirst", 80, 4, 80, 4, 80, 4, 80, 4, 1, 1, 2, 1},
    {"AboveRangeIsHeldAtLastCell", 81, 5, 81, 5, 80, 4, 80, 4, 1, 1, 2, 1},
    {"MinusOneReadsAs255", -1, -1, 255, 255, 80, 4, 80, 4, 1, 1, 2, 1},
    {"NegativeReadsItsLowByte", -200, -254, 56, 2, 56, 2, 56, 2, 57, 2, 58, 2},
    {"NegativeWithLowByteZeroIsZero", -256, -1024, 0, 0, 0, 0, 1, 1, 2, 1, 3, 1},
    {"IntMinIsZero", INT_MIN, 3, 0, 3, 0, 3, 1, 3, 2, 3, 3, 3},
    {"ZeroZeroWritesFromFirstCell", 0, 0, 0, 0, 0, 0, 1, 1, 2, 1, 3, 1},
    {"ZeroColumnWritesFromColumnOne", 0, 3, 0, 3, 0, 3, 1, 3, 2, 3, 3, 3},
    {"ZeroRowWritesIntoRowOne", 7, 0, 7, 0, 7, 0, 7, 1, 8, 1, 9, 1},
    {"ZeroRowAtLastColumnRunsOnToRowTwo", 80, 0, 80, 0, 80, 0, 80, 1, 1, 2, 2, 2},
    {"Column255IsHeldAtLastColumn", 255, 3, 255, 3, 80, 3, 80, 3, 1, 4, 2, 4},
    {"Row255IsHeldAtLastRow", 5, 255, 5, 255, 5, 4, 5, 4, 6, 4, 7, 4},
    {"256ReadsAsZero", 256, 258, 0, 2, 0, 2, 1, 2, 2, 2, 3, 2},
    {"300ReadsAs44", 300, 1, 44, 1, 44, 1, 44, 1, 45, 1, 46, 1},
    {"IntMaxReadsAs255", INT_MAX, INT_MAX, 255, 255, 80, 4, 80, 4, 1, 1, 2, 1},
};

void PrintTo(const PositionCase& c, std::ostream* out) { *out << c.name; }

class HostilePosition : public FilledScreen, public testing::WithParamInterface<PositionCase> {};

TEST_P(HostilePosition, CursorStaysOnScreenOrAtZero) {
    const PositionCase& c = GetParam();
    driver_.SetPosition(c.x, c.y);
    EXPECT_EQ(driver_.Write("XY"), 1);
    EXPECT_EQ(driver_.Write(""), 1);

    Rows rows = Filled();
    rows[c.x_row - 1][c.x_col - 1] = 'X';
    rows[c.y_row - 1][c.y_col - 1] = 'Y';
    EXPECT_EQ(driver_.Page(), ExpectedPage(rows));
    EXPECT_TRUE(LogIs(NewLog(), Concat({{Cursor("SetPosition", c.read_x, c.read_y),
                                         Cursor("Write", c.at_x, c.at_y), "Write XY"},
                                        PageWriteLines(rows),
                                        {Cursor("Write", c.next_x, c.next_y), "Write "}})));
    ExpectRestIntact();
}

INSTANTIATE_TEST_SUITE_P(AnyArgument, HostilePosition, testing::ValuesIn(kPositionCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Write with odd texts ----------------------------------------------------

// 1 MiB of text, never repeating with the screen's period of 320 cells.
std::string MebibyteText() {
    std::string text(1 << 20, '\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>('!' + (i * 31 + i / kCells) % 94);
    return text;
}

// Written from 1, 1, each cell ends up holding the last character whose
// offset in the text falls on it, counted in whole screens.
Rows LastPicture(const std::string& text) {
    Rows rows(kRows, std::string(kColumns, '.'));
    for (std::size_t cell = 0; cell < kCells && cell < text.size(); ++cell) {
        const std::size_t last = cell + (text.size() - 1 - cell) / kCells * kCells;
        rows[cell / kColumns][cell % kColumns] = text[last];
    }
    return rows;
}

std::string EveryByteValue() {
    std::string text;
    for (int value = 1; value <= 255; ++value) text += static_cast<char>(value);
    return text;
}

struct WriteCase {
    const char* name;
    std::optional<std::string> (*text)();  // nullopt: the host passes NULL
    bool page_rewritten;
    int next_x, next_y;  // the cursor after the text
};

const WriteCase kWriteCases[] = {
    // NULL is taken as an empty text: no cell changes and the page is not touched.
    {"NullText", [] { return std::optional<std::string>(); }, false, 1, 1},
    {"EmptyText", [] { return std::optional<std::string>(""); }, false, 1, 1},
    // Bytes 1 to 255 go into the cells and onto the page as they are;
    // 255 cells end on column 15 of row 4.
    {"EveryNonNulByte", [] { return std::optional<std::string>(EveryByteValue()); }, true, 16, 4},
    // 1 MiB wraps around the screen 3276 times and ends 256 cells into the
    // next pass, on column 16 of row 4; the page shows the last picture.
    {"OneMebibyte", [] { return std::optional<std::string>(MebibyteText()); }, true, 17, 4},
};

void PrintTo(const WriteCase& c, std::ostream* out) { *out << c.name; }

class HostileWrite : public FilledScreen, public testing::WithParamInterface<WriteCase> {};

TEST_P(HostileWrite, StoresEachByteInTheCellsOnly) {
    const WriteCase& c = GetParam();
    const std::optional<std::string> text = c.text();
    EXPECT_EQ(driver_.Write(text ? text->c_str() : nullptr), 1);
    EXPECT_EQ(driver_.Write(""), 1);

    const Rows rows = LastPicture(text.value_or(""));
    EXPECT_EQ(driver_.Page(), ExpectedPage(rows));
    EXPECT_TRUE(LogIs(NewLog(), Concat({{Cursor("Write", 1, 1), "Write " + text.value_or("")},
                                        c.page_rewritten ? PageWriteLines(rows)
                                                         : std::vector<std::string>{},
                                        {Cursor("Write", c.next_x, c.next_y), "Write "}})));
    ExpectRestIntact();
}

INSTANTIATE_TEST_SUITE_P(OddTexts, HostileWrite, testing::ValuesIn(kWriteCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Calls in odd order and odd numbers --------------------------------------

// Before Init the cursor stands at 0, 0 and the page has no path: Write puts
// the text in from column 1 of row 1 and answers 0, and nothing is logged
// because tracing is still off. Init redraws only the first cells of each row,
// so the end of that text is still in row 3 behind the start-up picture.
TEST(HostileOrder, WriteBeforeInitStoresFromFirstCellAndAnswersZero) {
    DriverSession driver;
    std::string text(165, '-');
    text.replace(160, 5, "abcde");  // row 3, columns 1 to 5
    EXPECT_EQ(driver.Write(text.c_str()), 0);
    EXPECT_EQ(driver.Write(nullptr), 0);
    EXPECT_FALSE(driver.Exists(driver.PagePath()));
    EXPECT_TRUE(driver.Exists(driver.LogPath()));
    EXPECT_EQ(driver.Log(), "");

    unsigned char flag = 0;
    EXPECT_EQ(driver.CallInit(&flag), kTitle);
    EXPECT_EQ(flag, 1);
    const Rows start = testhost::PageRows(driver.Page());
    ASSERT_EQ(start.size(), 4u) << driver.Page();
    EXPECT_EQ(start, (Rows{"Quendalore Initialising", start[1], " ", " "}));

    // Bridging the NUL at column 2 of row 3 brings the old cells back.
    driver.SetPosition(2, 3);
    EXPECT_EQ(driver.Write("!"), 1);
    EXPECT_EQ(driver.Page(), ExpectedPage({"Quendalore Initialising", start[1], " !cde", " "}));
}

// Init without a flag to fill answers as usual, on success and on failure.
TEST(HostileOrder, InitWithNullFlagAnswersWithoutStoring) {
    DriverSession driver;
    EXPECT_STREQ(driver.Init(80, 4, 0, nullptr), kTitle.c_str());
    fs::remove(driver.work_dir() / driver.PagePath());
    fs::create_directory(driver.work_dir() / driver.PagePath());
    EXPECT_STREQ(driver.Init(80, 4, 0, nullptr), kInitFailed.c_str());
}

// Every Init rewrites the start-up page; the log is opened once and carries
// one banner, followed by the same seven lines for each Init.
TEST(HostileOrder, ThousandInitsLeaveOneBanner) {
    DriverSession driver;
    constexpr int kInits = 1000;
    const testhost::TimeWindow window{testhost::Now(), 0};
    int failures = 0;
    for (int i = 0; i < kInits; ++i) {
        unsigned char flag = 0;
        if (driver.CallInit(&flag) != kTitle || flag != 1) ++failures;
    }
    EXPECT_EQ(failures, 0);
    const testhost::TimeWindow after{window.before, testhost::Now()};

    const Rows rows = testhost::PageRows(driver.Page());
    ASSERT_EQ(rows.size(), 4u) << driver.Page();
    EXPECT_EQ(rows, (Rows{"Quendalore Initialising", rows[1], " ", " "}));

    // Each Init logs the same seven lines; only the start-up clock may turn
    // over a minute during the loop, so its line is checked for its shape.
    std::vector<std::string> log = testhost::LogBodies(driver.Log(), after);
    ASSERT_EQ(log.size(), 3u + 7u * kInits);
    std::vector<std::string> expected = testhost::Banner("lumivane");
    for (int i = 0; i < kInits; ++i) {
        std::string& clock_line = log[3 + 7 * i + 3];
        EXPECT_TRUE(clock_line.compare(0, 8, "display ") == 0 &&
                    testhost::IsStartupClock(clock_line.substr(8), after))
            << clock_line;
        clock_line = "display <clock>";
        const std::vector<std::string> one = {"Init Web Page  " + driver.PagePath(),
                                              kHyphens,
                                              "display Quendalore Initialising",
                                              "display <clock>",
                                              "display  ",
                                              "display  ",
                                              kDots};
        expected.insert(expected.end(), one.begin(), one.end());
    }
    EXPECT_EQ(log, expected);
}

// --- Odd surroundings ---------------------------------------------------------

// A module file name of 250 characters: the driver name keeps the first 84
// characters of the base name so that " v1.0.14.79" still fits its 96 bytes,
// and the log's file name is cut so that logs/<name>.log fits 255 characters.
TEST(HostileSurroundings, LongModuleNameIsCutToFitItsBuffers) {
    if (std::string(host::kModuleExtension) == ".dll")
        GTEST_SKIP() << "Windows file calls take whole paths of at most 260 characters (MAX_PATH): "
                        "a 250-character module file cannot be loaded, nor its log opened";
    std::string base;
    while (base.size() < 250 - std::string(host::kModuleExtension).size())
        base += static_cast<char>('a' + base.size() % 26);
    DriverSession driver(base);
    unsigned char flag = 0;
    EXPECT_EQ(driver.CallInit(&flag), kTitle);

    const std::string name = driver.DriverName();
    EXPECT_EQ(name, base.substr(0, 84) + " v1.0.14.79");
    EXPECT_EQ(name.size(), 95u);

    const std::string log_name = base.substr(0, 255 - 5 - 4) + ".log";
    const std::string log = driver.Read(std::string("logs") + testhost::kDriverPathSeparator + log_name);
    const std::vector<std::string> bodies = testhost::LogBodies(log, {0, testhost::Now()});
    ASSERT_GE(bodies.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(bodies.begin(), bodies.begin() + 4),
              Concat({testhost::Banner(base), {"Init Web Page  " + driver.PagePath()}}));
    EXPECT_EQ(bodies.back(), "Exit DriverName");
    EXPECT_EQ(FilesBelow(driver.work_dir()),
              (std::set<std::string>{"logs", "logs/index.htm", "logs/" + log_name}));
}

// `logs` is a plain file: neither the log nor the page can be opened. The
// driver says so once on standard output, Init answers with its failure text,
// every call keeps working, and the file is left as it was.
TEST(HostileSurroundings, LogsAsPlainFileFailsQuietlyAfterOneMessage) {
    DriverSession driver;
    const fs::path logs = driver.work_dir() / "logs";
    { std::ofstream(logs, std::ios::binary) << "not a directory"; }

    testhost::StartStdoutCapture((driver.work_dir().parent_path() / "stdout.txt").string());
    unsigned char flag = 1;
    const std::string first = driver.CallInit(&flag);
    const unsigned char first_flag = flag;
    driver.SetPosition(3, 2);
    const int written = driver.Write("hello");
    const std::string name = driver.DriverName();
    flag = 1;
    const std::string second = driver.CallInit(&flag);
    const std::string printed = testhost::StopStdoutCapture();

    EXPECT_EQ(printed, "Failed to open ini file");
    EXPECT_EQ(first, kInitFailed);
    EXPECT_EQ(first_flag, 0);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(name, "lumivane v1.0.14.79");
    EXPECT_EQ(second, kInitFailed);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(driver.Read("logs"), "not a directory");
    EXPECT_EQ(FilesBelow(driver.work_dir()), (std::set<std::string>{"logs"}));
}

// A directory where the page goes: the write fails and is logged, the text
// stays in the cells, and once the directory is gone the next call writes the
// page, an empty Write included.
TEST_F(FilledScreen, PageBlockedByDirectoryIsWrittenOnceFreed) {
    const fs::path page = driver_.work_dir() / driver_.PagePath();
    fs::remove(page);
    fs::create_directory(page);
    // The error number the run-time library gives for opening a directory.
    std::FILE* probe = std::fopen(driver_.PagePath().c_str(), "w");
    const int open_error = errno;
    ASSERT_EQ(probe, nullptr);

    driver_.SetPosition(1, 2);
    EXPECT_EQ(driver_.Write("blocked"), 0);
    EXPECT_TRUE(fs::is_directory(page));
    fs::remove(page);
    EXPECT_EQ(driver_.Write(""), 1);

    Rows rows = Filled();
    rows[1].replace(0, 7, "blocked");
    EXPECT_EQ(driver_.Page(), ExpectedPage(rows));
    EXPECT_TRUE(LogIs(NewLog(), Concat({{Cursor("SetPosition", 1, 2), Cursor("Write", 1, 2),
                                         "Write blocked", kHyphens,
                                         "Display_screen Failed to open web page file",
                                         "display_screen " + driver_.PagePath(),
                                         "display_screen error " + std::to_string(open_error),
                                         Cursor("Write", 8, 2), "Write "},
                                        PageWriteLines(rows)})));
    ExpectRestIntact();
}

}  // namespace
