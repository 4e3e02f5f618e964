// Whatever sits at the page's name, the view reads only a regular file of at
// most 64 KiB, never through a link and never waiting on it: anything else
// is no page, for /index.htm and for the watch alike, and costs no memory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/asio/post.hpp>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "platform/programs/platform.h"
#include "tests/support/driver_session.h"
#include "tests/support/files.h"
#include "tests/view/http_client.h"
#include "view/http/server.h"

namespace fs = std::filesystem;
namespace net = boost::asio;
using namespace std::chrono_literals;
using nlohmann::json;

namespace {

const std::vector<std::string> kRows{"kept", "rows", " ", " "};

// Peak resident memory of this process (VmHWM), in KiB.
long PeakKib() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

class PageFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(root_ / "logs");
        server_ = std::make_unique<view::Server>(io_, watch_);
        std::string error;
        ASSERT_TRUE(server_->Listen({net::ip::make_address("127.0.0.1"), 0}, &error)) << error;
        port_ = server_->LocalEndpoint().port();
        server_->Start();
        thread_ = std::thread([this] { io_.run(); });
    }

    void TearDown() override {
        net::post(io_, [this] { server_->Stop(); });
        thread_.join();
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // /screen.json once `found` is as wanted (5 s at most).
    json ScreenWhenFound(bool found) {
        json screen;
        for (int i = 0; i < 500; ++i) {
            screen = json::parse(viewtest::Request(port_, "/screen.json").body, nullptr, false);
            if (screen.is_object() && screen["found"] == found) break;
            std::this_thread::sleep_for(10ms);
        }
        return screen;
    }

    fs::path root_ = testhost::MakeScenarioRoot();
    fs::path page_ = root_ / "logs" / "index.htm";
    net::io_context io_;
    view::PageWatch watch_{page_, view::Encoding::kWindows1252};
    std::unique_ptr<view::Server> server_;
    std::thread thread_;
    std::uint16_t port_ = 0;
};

TEST_F(PageFileTest, AnythingButARegularFileOfAtMost64KiBIsNoPage) {
    const fs::path elsewhere = root_ / "elsewhere.htm";
    testhost::WriteFile(elsewhere, testhost::ExpectedPage(kRows));
    struct {
        const char* what;
        void (*plant)(const fs::path& page, const fs::path& elsewhere);
    } cases[] = {
        // Opened for reading, a FIFO waits for a writer that never comes.
        {"a FIFO",
         [](const fs::path& page, const fs::path&) { ASSERT_EQ(mkfifo(page.c_str(), 0644), 0); }},
        {"a link to /dev/zero",
         [](const fs::path& page, const fs::path&) { fs::create_symlink("/dev/zero", page); }},
        {"a link to a good page elsewhere",
         [](const fs::path& page, const fs::path& elsewhere) {
             fs::create_symlink(elsewhere, page);
         }},
        {"a sparse 200 MiB file starting with a good page",
         [](const fs::path& page, const fs::path&) {
             testhost::WriteFile(page, testhost::ExpectedPage(kRows));
             fs::resize_file(page, 200u << 20);
         }},
        {"a good page one byte past 64 KiB",
         [](const fs::path& page, const fs::path&) {
             testhost::WriteFile(page, testhost::ExpectedPage(kRows));
             fs::resize_file(page, host::kPageFileLimit + 1);
         }},
        {"a directory", [](const fs::path& page, const fs::path&) { fs::create_directory(page); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testhost::WriteFile(page_, testhost::ExpectedPage(kRows));
        ASSERT_EQ(ScreenWhenFound(true)["rows"], kRows);
        ASSERT_EQ(viewtest::Request(port_, "/index.htm").status, 200);

        fs::remove(page_);
        c.plant(page_, elsewhere);
        const json screen = ScreenWhenFound(false);
        EXPECT_EQ(screen["found"], false);
        EXPECT_EQ(screen["rows"], kRows);
        const viewtest::Reply page = viewtest::Request(port_, "/index.htm");
        EXPECT_EQ(page.status, 404);
        EXPECT_EQ(page.body, "no page yet\n");
        fs::remove_all(page_);
    }
    // Nothing planted was ever read whole.
    EXPECT_LT(PeakKib(), 100 * 1024);
}

TEST(PageFileRead, ReadsAWholeFileUpTo64KiBExactly) {
    const fs::path root = testhost::MakeScenarioRoot();
    fs::create_directories(root);
    const fs::path file = root / "index.htm";
    std::string bytes(host::kPageFileLimit, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 256);
    testhost::WriteFile(file, bytes);
    std::string read = "left over";
    EXPECT_TRUE(host::ReadWholeFile(file, &read));
    EXPECT_TRUE(read == bytes);

    testhost::WriteFile(file, bytes + "x");
    EXPECT_FALSE(host::ReadWholeFile(file, &read));
    testhost::WriteFile(file, "");
    EXPECT_TRUE(host::ReadWholeFile(file, &read));
    EXPECT_EQ(read, "");
    fs::remove_all(root);
}

}  // namespace
