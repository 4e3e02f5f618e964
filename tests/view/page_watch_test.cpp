// Following the page file: waiting for it, versions, a page that goes away,
// a file that is not a page, and a page that comes back.
#include "view/watch/page_watch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/driver_session.h"
#include "tests/support/files.h"

namespace fs = std::filesystem;
using view::Rows;

namespace {

class PageWatchTest : public ::testing::Test {
protected:
    ~PageWatchTest() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // Puts a page of these rows in place as the driver does: whole, by rename.
    void PutPage(const std::vector<std::string>& rows) {
        fs::create_directories(root_ / "logs");
        testhost::WriteFile(root_ / "logs" / "index.htm.tmp", testhost::ExpectedPage(rows));
        fs::rename(root_ / "logs" / "index.htm.tmp", page_);
    }

    // Polls a few times, as the server's timer would; true when any poll
    // reported a change.
    bool PollSome() {
        bool changed = false;
        for (int i = 0; i < 3; ++i) changed |= watch_.Poll();
        return changed;
    }

    fs::path root_ = testhost::MakeScenarioRoot();
    fs::path page_ = root_ / "logs" / "index.htm";
    view::PageWatch watch_{page_, view::Encoding::kWindows1252};
};

TEST_F(PageWatchTest, WaitsForAMissingPageThenCountsChangesOfRowsOnly) {
    EXPECT_FALSE(PollSome());
    EXPECT_FALSE(watch_.state().found);
    EXPECT_EQ(watch_.state().version, 0u);
    EXPECT_EQ(watch_.state().rows, (Rows{"", "", "", ""}));

    PutPage({" ", " ", " ", " "});
    EXPECT_TRUE(watch_.Poll());
    EXPECT_TRUE(watch_.state().found);
    EXPECT_EQ(watch_.state().version, 1u);  // the first page counts, whatever it shows
    EXPECT_EQ(watch_.state().rows, (Rows{" ", " ", " ", " "}));

    PutPage({"one", " ", " ", " "});
    EXPECT_TRUE(watch_.Poll());
    EXPECT_EQ(watch_.state().version, 2u);
    EXPECT_EQ(watch_.state().rows, (Rows{"one", " ", " ", " "}));

    // The same rows again, replaced and rewritten in place: no new version.
    PutPage({"one", " ", " ", " "});
    EXPECT_FALSE(PollSome());
    testhost::WriteFile(page_, testhost::ExpectedPage({"one", " ", " ", " "}));
    EXPECT_FALSE(PollSome());
    EXPECT_EQ(watch_.state().version, 2u);
}

TEST_F(PageWatchTest, APageGoneOrReplacedByAnotherFileKeepsTheRowsUntilItComesBack) {
    PutPage({"kept", "rows", " ", " "});
    EXPECT_TRUE(watch_.Poll());
    const Rows kept = watch_.state().rows;

    struct {
        const char* what;
        void (*replace)(const fs::path& page);
    } cases[] = {
        {"deleted", [](const fs::path& page) { fs::remove(page); }},
        {"empty", [](const fs::path& page) { testhost::WriteFile(page, ""); }},
        {"cut short",
         [](const fs::path& page) {
             testhost::WriteFile(page,
                                 testhost::ExpectedPage({"kept", "rows", " ", " "}).substr(0, 90));
         }},
        {"foreign HTML",
         [](const fs::path& page) {
             testhost::WriteFile(page, "<html><body>hello</body></html>\n");
         }},
        {"a directory",
         [](const fs::path& page) {
             fs::remove(page);
             fs::create_directory(page);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.replace(page_);
        EXPECT_TRUE(PollSome());
        EXPECT_FALSE(watch_.state().found);
        EXPECT_EQ(watch_.state().rows, kept);
        EXPECT_EQ(watch_.state().version, 1u);

        fs::remove_all(page_);
        PutPage({"kept", "rows", " ", " "});
        EXPECT_TRUE(PollSome());
        EXPECT_TRUE(watch_.state().found);
        EXPECT_EQ(watch_.state().version, 1u);  // back with the same rows: not a change
    }
}

// A page rewritten in place can be caught half-written by a look: one such
// look keeps it found, the next one that misses too says it is gone.
TEST_F(PageWatchTest, OneMissedLookKeepsThePageTwoInARowMarkItGone) {
    struct {
        const char* what;
        bool (view::PageWatch::*look)();
    } cases[] = {{"looked at", &view::PageWatch::Poll}, {"told of", &view::PageWatch::Read}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PutPage({"whole", " ", " ", " "});
        (watch_.*c.look)();
        ASSERT_TRUE(watch_.state().found);
        const std::uint64_t version = watch_.state().version;

        testhost::WriteFile(page_, testhost::ExpectedPage({"whole", " ", " ", " "}).substr(0, 90));
        EXPECT_FALSE((watch_.*c.look)());
        EXPECT_TRUE(watch_.state().found);
        EXPECT_TRUE(watch_.Unsure());

        EXPECT_TRUE((watch_.*c.look)());
        EXPECT_FALSE(watch_.state().found);
        EXPECT_FALSE(watch_.Unsure());
        EXPECT_EQ(watch_.state().rows, (Rows{"whole", " ", " ", " "}));
        EXPECT_EQ(watch_.state().version, version);
    }
}

TEST_F(PageWatchTest, DecodesWithItsEncoding) {
    view::PageWatch utf8(page_, view::Encoding::kUtf8);
    PutPage({"caf\xc3\xa9", "\x80", " ", " "});
    EXPECT_TRUE(watch_.Poll());
    EXPECT_TRUE(utf8.Poll());
    EXPECT_EQ(watch_.state().rows, (Rows{"caf\u00c3\u00a9", "\u20ac", " ", " "}));
    EXPECT_EQ(utf8.state().rows, (Rows{"caf\u00e9", "\ufffd", " ", " "}));
}

}  // namespace
