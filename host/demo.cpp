#include "host/demo.h"

#include "host/screen_text.h"

namespace host {

namespace {

// The demo's pace: the title, then a clock ticking a few times, then the long
// write; about 8 s in all.
constexpr long kTitleMilliseconds = 1500;
constexpr int kClockTicks = 4;
constexpr long kTickMilliseconds = 1000;
constexpr long kWrapMilliseconds = 2000;
// Where the clock's digits go: the text on its screen says so too.
constexpr int kClockColumn = 37;
constexpr int kClockRow = 3;

// Builds the demo's script and keeps track of the time its sleeps add up to,
// so the clock it writes reads the moment of the write.
class DemoBuilder {
public:
    explicit DemoBuilder(std::time_t start) : start_(start) {}

    // Row `row` from column 1, padded to the full row so nothing of the
    // previous screen is left behind. Markup counts as cells.
    void Row(int row, const std::string& text) { At(1, row, Padded(text, kColumns)); }

    // A whole screen: rows 1 to 4 from the top, each as Row writes it.
    void Screen(const std::string (&rows)[kRows]) {
        for (std::size_t row = 0; row < kRows; ++row) Row(static_cast<int>(row) + 1, rows[row]);
    }

    // `text` centred by its visible characters (markup is not shown).
    void Centred(int row, const std::string& text) {
        std::size_t visible = 0;
        bool in_tag = false;
        for (char c : text) {
            if (c == '<') in_tag = true;
            if (!in_tag) ++visible;
            if (c == '>') in_tag = false;
        }
        const std::size_t indent = visible < kColumns ? (kColumns - visible) / 2 : 0;
        Row(row, std::string(indent, ' ') + text);
    }

    void At(int x, int y, const std::string& text) {
        script_ += "pos " + std::to_string(x) + " " + std::to_string(y) + "\n";
        script_ += "write ";
        for (char c : text) script_ += c == '\\' ? std::string("\\\\") : std::string(1, c);
        script_ += "\n";
    }

    void Sleep(long milliseconds) {
        script_ += "sleep " + std::to_string(milliseconds) + "\n";
        elapsed_ += milliseconds;
    }

    void Comment(const std::string& text) { script_ += "# " + text + "\n"; }

    std::string Clock() const {
        const std::time_t now = start_ + elapsed_ / 1000;
        char text[16] = "";
        std::strftime(text, sizeof text, "%H:%M:%S", std::localtime(&now));
        return text;
    }

    static std::string Padded(std::string text, std::size_t width) {
        if (text.size() < width) text.resize(width, ' ');
        return text;
    }

    const std::string& script() const { return script_; }

private:
    std::time_t start_;
    long elapsed_ = 0;
    std::string script_;
};

}  // namespace

std::string DemoScript(std::time_t start) {
    DemoBuilder demo(start);

    demo.Comment("title");
    demo.Row(1, "");
    demo.Centred(2, "<b>L U M I V A N E</b>");
    demo.Centred(3, "a 4 x 80 character LCD, mirrored into a web page");
    demo.Row(4, "");
    demo.Sleep(kTitleMilliseconds);

    demo.Comment("a clock: the host moves the cursor and rewrites only the digits");
    demo.Screen({"<b>Clock</b>", "", "",
                 "Each second the host puts the cursor on row 3, column 37, and writes the time."});
    for (int tick = 0; tick < kClockTicks; ++tick) {
        demo.At(kClockColumn, kClockRow, demo.Clock());
        demo.Sleep(kTickMilliseconds);
    }

    demo.Comment("one long write wraps across the rows, as on a character LCD");
    demo.At(1, 1,
            DemoBuilder::Padded(
                "This is one Write of a long text. When it runs past column 80 the cursor goes on "
                "at column 1 of the next row, as on a character LCD, without caring about "
                "words; after row 4 it comes back to row 1. Spaces fill the rest of the screen.",
                kColumns * kRows));
    demo.Sleep(kWrapMilliseconds);

    demo.Comment("closing screen");
    demo.Screen(
        {"<b>Lumivane</b> demo finished.",
         "Run your own script: lumivane-host script.txt   (commands: lumivane-host --help)",
         "Mirror any output:   some-command | lumivane-host --lines",
         "The browser reloads this page every 5 s; the driver's log is beside it in logs."});
    return demo.script();
}

}  // namespace host
