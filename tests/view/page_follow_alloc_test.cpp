// Following the page costs no heap once it has run a while: a change told by
// the OS, the look, the read and the comparison of the rows all reuse what the
// first changes left behind. The I/O thread's allocations are counted, and any
// thread's the watch runs; the test's own writing of pages is not the watch's.
#include <gtest/gtest.h>

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "tests/support/driver_session.h"
#include "tests/support/files.h"
#include "tests/view/thread_allocations.h"
#include "view/watch/page_watch.h"

namespace {

namespace fs = std::filesystem;
namespace net = boost::asio;
using namespace std::chrono_literals;

class PageFollowAllocations : public ::testing::Test {
protected:
    ~PageFollowAllocations() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // Replaces the page as the driver does, with rows that differ from the
    // last page's in one counter, and waits for the change to be seen.
    void ChangeAndWait(int counter) {
        const std::string row = "change " + std::to_string(counter);
        testhost::WriteFile(temporary_, testhost::ExpectedPage({row, "second row", " ", " "}));
        const unsigned long long before = changes_.load();
        // As the driver does, the rename is tried again while the watch's
        // read holds the page (Windows may refuse it then).
        std::error_code refused;
        for (int tries = 0; tries < 1000; ++tries) {
            fs::rename(temporary_, page_, refused);
            if (!refused) break;
            std::this_thread::sleep_for(1ms);
        }
        ASSERT_FALSE(refused) << refused.message();
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (changes_.load() == before && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(200us);
        ASSERT_GT(changes_.load(), before) << "change " << counter << " was not seen";
    }

    fs::path root_ = testhost::MakeScenarioRoot();
    fs::path logs_ = root_ / "logs";
    fs::path page_ = logs_ / "index.htm";
    fs::path temporary_ = logs_ / "index.htm.1.tmp";
    std::atomic<unsigned long long> changes_{0};
};

TEST_F(PageFollowAllocations, NoneOnceTheWatchHasRunAWhile) {
    constexpr int kWarmUpChanges = 20;
    constexpr int kCountedChanges = 200;
    testview::LeaveThisThreadUncounted();
    fs::create_directories(logs_);
    testhost::WriteFile(page_, testhost::ExpectedPage({"first", " ", " ", " "}));

    net::io_context io;
    view::PageWatch watch(page_, view::Encoding::kWindows1252);
    view::FollowSettings settings;
    settings.safety_interval = 1h;  // only the OS's notifications find a change
    auto follow = std::make_shared<view::PageFollow>(io, watch, settings, [this] { ++changes_; });
    net::post(io, [&] { follow->Start(); });
    std::thread io_thread([&] { io.run(); });

    for (int counter = 0; counter < kWarmUpChanges; ++counter) ChangeAndWait(counter);
    const unsigned long long before = testview::CountedAllocations();
    for (int counter = kWarmUpChanges; counter < kWarmUpChanges + kCountedChanges; ++counter)
        ChangeAndWait(counter);
    const unsigned long long allocations = testview::CountedAllocations() - before;

    net::post(io, [&] { follow->Stop(); });
    io_thread.join();
    EXPECT_TRUE(follow->notifying());
    EXPECT_EQ(allocations, 0u) << "over " << kCountedChanges << " changes";
    EXPECT_EQ(watch.state().rows[0],
              "change " + std::to_string(kWarmUpChanges + kCountedChanges - 1));
}

}  // namespace
