// Following the page through the OS's notifications, on a real file system:
// each way the page can change gives one event per picture, lost events and
// a page's directory that comes and goes are caught up with, watches lost
// with their directories come back, and without notifications the page is
// polled.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/driver_session.h"
#include "tests/support/files.h"
#include "view/watch/page_watch.h"

namespace fs = std::filesystem;
namespace net = boost::asio;
using namespace std::chrono_literals;
using view::Rows;

namespace {

// What one change callback saw.
struct Seen {
    Rows rows;
    bool found;
    bool operator==(const Seen& other) const { return rows == other.rows && found == other.found; }
};

void PrintTo(const Seen& seen, std::ostream* out) {
    *out << (seen.found ? "found" : "gone") << " [";
    for (const std::string& row : seen.rows) *out << '"' << row << "\" ";
    *out << ']';
}

const Rows kA{"picture A", " ", " ", " "};
const Rows kB{"picture B", "second", " ", " "};

std::string PageBytes(const Rows& rows) {
    return testhost::ExpectedPage(std::vector<std::string>(rows.begin(), rows.end()));
}

// Public: the steps of a table act on it.
class PageFollowTest : public ::testing::Test {
public:
    ~PageFollowTest() override {
        if (follow_) {
            net::post(io_, [this] { follow_->Stop(); });
            thread_.join();
        }
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // The safety look is put off far beyond any test, so that only the
    // notifications, or the poll, can find a change.
    // A fresh watch on the page, followed.
    void Start(view::FollowSettings settings = NoSafetyLook()) {
        watch_ = std::make_unique<view::PageWatch>(page_, view::Encoding::kWindows1252);
        follow_ = std::make_shared<view::PageFollow>(io_, *watch_, settings, [this] {
            std::lock_guard<std::mutex> lock(mutex_);
            seen_.push_back({watch_->state().rows, watch_->state().found});
        });
        follow_->Start();
        thread_ = std::thread([this] { io_.run(); });
    }

    // Starts over: a fresh directory holding the page of kA, a new watch on
    // it, no events yet.
    void StartAfresh(view::FollowSettings settings = NoSafetyLook()) {
        fs::remove_all(root_);
        PutPage(kA);
        seen_.clear();
        follow_.reset();
        io_.restart();
        Start(settings);
    }

    static view::FollowSettings NoSafetyLook() {
        view::FollowSettings settings;
        settings.safety_interval = 1h;
        return settings;
    }

    // Puts a page in place as the driver does: whole, by rename.
    void PutPage(const Rows& rows) {
        fs::create_directories(logs_);
        testhost::WriteFile(logs_ / "index.htm.1.tmp", PageBytes(rows));
        fs::rename(logs_ / "index.htm.1.tmp", page_);
    }

    std::vector<Seen> Events() {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }

    // Waits (5 s at most) until `count` events came, then a while more, so
    // that an extra one would show.
    std::vector<Seen> EventsAfter(std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (Events().size() < count && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(150ms);
        return Events();
    }

    // Runs `work` on the I/O thread and waits for it.
    template <typename Work>
    auto OnIoThread(Work work) {
        std::packaged_task<decltype(work())()> task(work);
        auto result = task.get_future();
        net::post(io_, [&task] { task(); });
        return result.get();
    }

    fs::path root_ = testhost::MakeScenarioRoot();
    fs::path logs_ = root_ / "logs";
    fs::path page_ = logs_ / "index.htm";
    net::io_context io_;
    std::unique_ptr<view::PageWatch> watch_;
    std::shared_ptr<view::PageFollow> follow_;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<Seen> seen_;
};

TEST_F(PageFollowTest, EachWayThePageChangesGivesOneEventPerPicture) {
    struct Step {
        std::function<void(PageFollowTest&)> act;
        std::vector<Seen> then;  // the events it brings, in order
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"renamed over", {{[](PageFollowTest& t) { t.PutPage(kB); }, {{kB, true}}}}},
        {"written in place",
         {{[](PageFollowTest& t) { testhost::WriteFile(t.page_, PageBytes(kB)); }, {{kB, true}}}}},
        {"deleted and made again",
         {{[](PageFollowTest& t) { fs::remove(t.page_); }, {{kA, false}}},
          {[](PageFollowTest& t) { testhost::WriteFile(t.page_, PageBytes(kB)); }, {{kB, true}}}}},
        {"its directory removed and made again",
         {{[](PageFollowTest& t) { fs::remove_all(t.logs_); }, {{kA, false}}},
          {[](PageFollowTest& t) { t.PutPage(kB); }, {{kB, true}}}}},
        {"its directory renamed away and another made",
         {{[](PageFollowTest& t) { fs::rename(t.logs_, t.root_ / "old-logs"); }, {{kA, false}}},
          {[](PageFollowTest& t) { t.PutPage(kB); }, {{kB, true}}}}},
        {"replaced by a directory and back",
         {{[](PageFollowTest& t) {
               fs::remove(t.page_);
               fs::create_directory(t.page_);
           },
           {{kA, false}}},
          {[](PageFollowTest& t) {
               fs::remove(t.page_);
               t.PutPage(kB);
           },
           {{kB, true}}}}},
        {"the same picture rewritten, in place and by rename",
         {{[](PageFollowTest& t) {
               t.PutPage(kA);
               testhost::WriteFile(t.page_, PageBytes(kA));
           },
           {}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StartAfresh();
        ASSERT_TRUE(follow_->notifying());
        std::vector<Seen> expected{{kA, true}};
        ASSERT_EQ(EventsAfter(1), expected);
        for (const Step& step : c.steps) {
            step.act(*this);
            expected.insert(expected.end(), step.then.begin(), step.then.end());
            EXPECT_EQ(EventsAfter(expected.size()), expected);
        }
        net::post(io_, [this] { follow_->Stop(); });
        thread_.join();
    }
    follow_.reset();
}

TEST_F(PageFollowTest, ABurstForOneRewriteIsOneReadAndOneEvent) {
    PutPage(kA);
    Start();
    ASSERT_EQ(EventsAfter(1).size(), 1u);
    struct {
        const char* what;
        void (*rewrite)(const fs::path& page, const std::string& bytes);
    } cases[] = {
        {"temporary file made, written, closed, renamed over and touched",
         [](const fs::path& page, const std::string& bytes) {
             const fs::path temporary = page.string() + ".2.tmp";
             testhost::WriteFile(temporary, bytes);
             fs::permissions(temporary, fs::perms::owner_read | fs::perms::owner_write);
             fs::rename(temporary, page);
             fs::last_write_time(page, fs::file_time_type::clock::now());
         }},
        // Made anew and written in three parts: told of the file's making,
        // the view waits for its close rather than read it half-written.
        {"made anew and written in place in parts",
         [](const fs::path& page, const std::string& bytes) {
             fs::remove(page);
             const int file = ::open(page.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
             const std::size_t third = bytes.size() / 3;
             for (std::size_t at = 0; at < bytes.size(); at += third) {
                 ASSERT_GT(::write(file, bytes.data() + at, std::min(third, bytes.size() - at)), 0);
             }
             ::close(file);
         }},
    };
    Rows rows = kA;
    std::size_t events = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        rows[3] = c.what;
        const std::uint64_t reads = OnIoThread([this] { return watch_->reads(); });
        c.rewrite(page_, PageBytes(rows));
        const std::vector<Seen> seen = EventsAfter(++events);
        EXPECT_EQ(seen.size(), events);
        EXPECT_EQ(seen.back(), (Seen{rows, true}));
        EXPECT_EQ(OnIoThread([this] { return watch_->reads(); }) - reads, 1u);
    }
}

TEST_F(PageFollowTest, APageCaughtHalfWrittenIsNotGoneUnlessTheNextLookMissesToo) {
    PutPage(kA);
    Start();
    ASSERT_EQ(EventsAfter(1).size(), 1u);
    const std::string whole = PageBytes(kB);

    // Cut short on disk while the view looks, then whole before its second look.
    {
        std::ofstream out(page_, std::ios::binary | std::ios::trunc);
        out << whole.substr(0, 90) << std::flush;
        EXPECT_FALSE(OnIoThread([this] { return watch_->Read(); }));
        EXPECT_TRUE(OnIoThread([this] { return watch_->state().found; }));
        out << whole.substr(90);
    }
    EXPECT_EQ(EventsAfter(2), (std::vector<Seen>{{kA, true}, {kB, true}}));

    // Left cut short: the second look says it is gone.
    testhost::WriteFile(page_, whole.substr(0, 90));
    EXPECT_EQ(EventsAfter(3), (std::vector<Seen>{{kA, true}, {kB, true}, {kB, false}}));
}

// The kernel drops events once its queue is full: thousands of unrelated
// files made while the I/O thread is busy, then the page replaced, leave
// only the overflow to tell of it.
TEST_F(PageFollowTest, LostEventsLeadToALook) {
    std::ifstream limit_file("/proc/sys/fs/inotify/max_queued_events");
    long limit = 0;
    limit_file >> limit;
    if (limit <= 0 || limit > 200000) GTEST_SKIP() << "inotify's queue holds " << limit;

    PutPage(kA);
    Start();
    ASSERT_EQ(EventsAfter(1).size(), 1u);
    std::promise<void> release;
    net::post(io_, [gate = release.get_future().share()] { gate.wait(); });
    for (long i = 0; i < limit; ++i) {  // two events each: made, closed
        const fs::path other = logs_ / ("other-" + std::to_string(i));
        ::close(::open(other.c_str(), O_WRONLY | O_CREAT, 0644));
    }
    PutPage(kB);
    release.set_value();
    EXPECT_EQ(EventsAfter(2), (std::vector<Seen>{{kA, true}, {kB, true}}));
}

// A write through a shared mapping changes the file with no notification
// until the mapping goes: only the safety look finds it.
TEST_F(PageFollowTest, TheSafetyLookFindsWhatNoNotificationTold) {
    const Rows kC{"picture C", " ", " ", " "};  // as long as kA: the same file size
    const std::string page_c = PageBytes(kC);
    struct {
        std::chrono::milliseconds safety_interval;
        std::vector<Seen> expected;
    } cases[] = {
        {1h, {{kA, true}}},
        {200ms, {{kA, true}, {kC, true}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.safety_interval.count());
        view::FollowSettings settings;
        settings.safety_interval = c.safety_interval;
        StartAfresh(settings);
        ASSERT_EQ(EventsAfter(1).size(), 1u);

        const int file = ::open(page_.c_str(), O_RDWR);
        ASSERT_GE(file, 0);
        void* map = ::mmap(nullptr, page_c.size(), PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
        ASSERT_NE(map, MAP_FAILED);
        ::close(file);
        std::this_thread::sleep_for(50ms);  // the close is told and looked at first
        std::memcpy(map, page_c.data(), page_c.size());
        ASSERT_EQ(::msync(map, page_c.size(), MS_SYNC), 0);
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(EventsAfter(c.expected.size()), c.expected);
        ::munmap(map, page_c.size());  // the file's last close: told at last
        net::post(io_, [this] { follow_->Stop(); });
        thread_.join();
    }
    follow_.reset();
}

// The page's directory, or the host's directory above it, removed and made
// again: the watches come back by the next safety look, and a change after
// that is told at once, long before the look after it.
TEST_F(PageFollowTest, WatchesComeBackWhenTheirDirectoriesAreMadeAgain) {
    struct {
        const char* what;
        fs::path removed;
        const char* message;  // on standard error
    } cases[] = {
        {"logs", logs_, ""},
        {"the host's directory", root_,
         "lumivane-view: {root} is back; watching it for changes again\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        view::FollowSettings settings;
        settings.safety_interval = 1s;
        testing::internal::CaptureStderr();
        const auto started = std::chrono::steady_clock::now();
        StartAfresh(settings);
        ASSERT_EQ(EventsAfter(1).size(), 1u);

        fs::remove_all(c.removed);
        fs::create_directories(logs_);
        // The safety look at 1 s puts the watches back; the next is at 2 s.
        std::this_thread::sleep_until(started + 1400ms);
        const std::size_t before = Events().size();
        const auto put = std::chrono::steady_clock::now();
        PutPage(kB);
        while (Events().size() == before && std::chrono::steady_clock::now() < put + 100ms)
            std::this_thread::sleep_for(1ms);
        EXPECT_EQ(Events().back(), (Seen{kB, true})) << "not told within 100 ms";
        net::post(io_, [this] { follow_->Stop(); });
        thread_.join();
        std::string message = c.message;
        const std::string root = "{root}";
        if (const auto at = message.find(root); at != std::string::npos)
            message.replace(at, root.size(), root_.string());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), message);
    }
    follow_.reset();
}

TEST_F(PageFollowTest, WithoutNotificationsItSaysSoOnceAndPolls) {
    struct {
        const char* what;
        bool notify;
        const char* parent;  // below root_: the directory holding logs
        const char* message;
    } cases[] = {
        // The host's directory isn't there to be watched.
        {"watch can't be set up", true, "absent",
         "lumivane-view: no change notifications for {logs} (inotify on {parent}: No such file "
         "or directory); looking at the page every 10 ms instead\n"},
        {"polling asked for", false, "host", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path parent = root_ / c.parent;
        const fs::path logs = parent / "logs";
        view::PageWatch watch(logs / "index.htm", view::Encoding::kWindows1252);
        view::FollowSettings settings;
        settings.notify = c.notify;
        settings.poll_interval = 10ms;
        int changes = 0;
        net::io_context io;
        auto follow = std::make_shared<view::PageFollow>(io, watch, settings, [&] { ++changes; });
        ::testing::internal::CaptureStderr();
        follow->Start();
        std::string message = c.message;
        for (const auto& [name, path] : {std::pair{std::string("{logs}"), logs.string()},
                                         std::pair{std::string("{parent}"), parent.string()}})
            if (const auto at = message.find(name); at != std::string::npos)
                message.replace(at, name.size(), path);
        EXPECT_FALSE(follow->notifying());

        io.run_for(50ms);
        fs::create_directories(logs);
        testhost::WriteFile(logs / "index.htm", PageBytes(kB));
        io.run_for(100ms);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), message);
        EXPECT_EQ(changes, 1);
        EXPECT_EQ(watch.state().rows, kB);
        follow->Stop();
        io.run();
    }
}

}  // namespace
