// Hostile and odd calls through the exports, each with the behaviour it gets.
// Every Write case checks the page and the log byte for byte and that the
// returned texts and the files beside the page are as before, so a stray store
// outside the 4 x 80 cells shows up; the sanitizer build runs the same cases
// and catches any overrun of the module's buffers as it happens. SetPosition
// with any 32-bit argument is in cursor_test.cpp, module file names too long
// for the buffers in identity_test.cpp.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <set>

#include "tests/support/driver_fixture.h"
#include "tests/support/driver_session.h"
#include "tests/support/files.h"
#include "tests/support/loops.h"
#include "tests/support/module_host.h"

namespace fs = std::filesystem;
using testhost::Concat;
using testhost::CursorLine;
using testhost::DriverSession;
using testhost::ExpectedPage;
using testhost::FilesBelow;
using testhost::FilledScreen;

namespace {

constexpr int kColumns = 80;
constexpr int kRows = 4;
constexpr int kCells = kColumns * kRows;
const std::string kTitle = "Lumivane v0.1";
const std::string kInitFailed = "Failed to create web page";

using Rows = std::vector<std::string>;

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
    // Bytes 1 to 255 go into the cells and onto the page as they are, the
    // line feed stored as the platform's line end; 255 cells end on column
    // 15 of row 4.
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
    EXPECT_TRUE(NewLogIs(Concat({{CursorLine("Write", 1, 1), "Write " + text.value_or("")},
                                 c.page_rewritten ? testhost::PageWriteLog(rows) : Rows{},
                                 {CursorLine("Write", c.next_x, c.next_y), "Write "}})));
    ExpectRestIntact();
}

INSTANTIATE_TEST_SUITE_P(OddTexts, HostileWrite, testing::ValuesIn(kWriteCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Calls in odd order and odd numbers --------------------------------------

// Before Init the cursor stands at 0, 0 and no page is written: Write puts
// the text in from column 1 of row 1 and answers 0, and nothing is logged
// because tracing is still off. Init redraws only the first cells of each row,
// so the end of that text is still in row 3 behind the start-up picture.
TEST(HostileOrder, WriteBeforeInitStoresFromFirstCellAndAnswersZero) {
    DriverSession driver;
    std::string text(165, '-');
    text.replace(160, 5, "abcde");  // row 3, columns 1 to 5
    EXPECT_EQ(driver.Write(text.c_str()), 0);
    EXPECT_EQ(driver.Write(nullptr), 0);
    EXPECT_FALSE(driver.Exists(driver.RelativePagePath()));
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

// Every Init rewrites the start-up page; the log is opened once and carries
// one banner, followed by the same seven lines for each Init.
TEST(HostileOrder, ThousandInitsLeaveOneBanner) {
    DriverSession driver;
    const int inits = testhost::Loops(1000);  // fewer in a slow run
    const testhost::TimeWindow window{testhost::Now(), 0};
    int failures = 0;
    for (int i = 0; i < inits; ++i) {
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
    ASSERT_EQ(log.size(), 3u + 7u * inits);
    std::vector<std::string> expected = testhost::Banner("lumivane");
    for (int i = 0; i < inits; ++i) {
        std::string& clock_line = log[3 + 7 * i + 3];
        EXPECT_TRUE(clock_line.compare(0, 8, "display ") == 0 &&
                    testhost::IsStartupClock(clock_line.substr(8), after))
            << clock_line;
        clock_line = "display <clock>";
        const std::vector<std::string> one = {"Init Web Page  " + driver.RelativePagePath(),
                                              testhost::kPageWriteStart,
                                              "display Quendalore Initialising",
                                              "display <clock>",
                                              "display  ",
                                              "display  ",
                                              testhost::kPageWriteEnd};
        expected.insert(expected.end(), one.begin(), one.end());
    }
    EXPECT_EQ(log, expected);
}

// --- Odd surroundings ---------------------------------------------------------

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
    EXPECT_EQ(name, testhost::DriverNameOf("lumivane"));
    EXPECT_EQ(second, kInitFailed);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(driver.Read("logs"), "not a directory");
    EXPECT_EQ(FilesBelow(driver.work_dir()), (std::set<std::string>{"logs"}));
}

}  // namespace
