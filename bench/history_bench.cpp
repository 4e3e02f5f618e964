// lumivane-history-bench: what the view's kept screens cost at their bound
// (100,000 changes within 24 h), in heap bytes as glibc counts them, and the
// time /history.json takes to answer with 10,000 of them. Every row is 80
// bytes and differs from the last, the most a change can cost; a clock that
// changes one short row is shown beside it.
#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <boost/beast/http/message.hpp>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "view/history/screen_history.h"
#include "view/http/route.h"

namespace {

constexpr std::int64_t kStart = 1765461422318;  // 2025-12-11 14:07:02.318 UTC

std::size_t HeapInUse() { return mallinfo2().uordblks; }

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Change `n` of a screen whose four rows are each 80 bytes, all new.
view::Rows FullScreen(std::uint64_t n) {
    view::Rows rows;
    for (int row = 0; row < view::kRowCount; ++row) {
        rows[row].resize(80);
        for (int column = 0; column < 80; ++column)
            rows[row][column] = static_cast<char>(0x20 + (n * 7 + row * 13 + column) % 0xdf);
    }
    return rows;
}

// Change `n` of a clock: one row of 20 bytes changes, three stay.
view::Rows ClockScreen(std::uint64_t n) {
    char time[32];
    std::snprintf(time, sizeof time, "  %02u:%02u:%02u  %06u", static_cast<unsigned>(n / 3600 % 24),
                  static_cast<unsigned>(n / 60 % 60), static_cast<unsigned>(n % 60),
                  static_cast<unsigned>(n % 1000000));
    return {"Lumivane clock      ", time,
            "Temp 21\xdf"
            "C  \xff\xff\xff\xff\xff     ",
            "                    "};
}

// The heap the history takes once it holds `count` changes of `screen`,
// one every `gap_ms`.
template <typename Screen>
double MegabytesAtBound(std::size_t count, std::int64_t gap_ms, Screen screen) {
    const std::size_t before = HeapInUse();
    auto history = std::make_unique<view::ScreenHistory>();
    for (std::uint64_t n = 1; n <= count + 1000; ++n)
        history->Add(n, kStart + static_cast<std::int64_t>(n) * gap_ms, screen(n));
    const double megabytes = static_cast<double>(HeapInUse() - before) / 1e6;
    std::printf("  kept %zu of %zu changes\n", history->size(), count + 1000);
    return megabytes;
}

}  // namespace

int main() {
    std::printf("| what | figure |\n|---|---:|\n");
    const double full = MegabytesAtBound(100000, 800, FullScreen);
    const double clock = MegabytesAtBound(100000, 800, ClockScreen);
    std::printf("| history at its bound, 100,000 changes of four new 80-byte rows | %.1f MB |\n",
                full);
    std::printf("| history at its bound, 100,000 changes of a 20x4 clock | %.1f MB |\n", clock);

    view::ScreenHistory history;
    for (std::uint64_t n = 1; n <= 10000; ++n)
        history.Add(n, kStart + static_cast<std::int64_t>(n) * 100, FullScreen(n));
    view::Snapshot snapshot;
    snapshot.history = &history;
    view::Request request(boost::beast::http::verb::get, "/history.json", 11);
    // An HTTP/1.1 request without Host is refused with 400 before any path is read.
    request.set(boost::beast::http::field::host, "127.0.0.1");
    // The wall clock, and the thread's own CPU time, which other work on a
    // shared machine does not stretch.
    std::vector<double> wall, cpu;
    std::size_t body = 0;
    for (int run = 0; run < 40; ++run) {
        const auto started = std::chrono::steady_clock::now();
        const double cpu_started = ThreadCpuMs();
        const view::Answer answer = view::Route(request, snapshot);
        cpu.push_back(ThreadCpuMs() - cpu_started);
        wall.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                .count());
        body = answer.response.body().size();
        if (answer.response.result() != boost::beast::http::status::ok) {
            std::fprintf(stderr, "/history.json answered %u\n", answer.response.result_int());
            return 1;
        }
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf(
        "| /history.json with 10,000 changes of four 80-byte rows (%.1f MB): median / "
        "slowest of 40, wall clock | %.1f / %.1f ms |\n",
        static_cast<double>(body) / 1e6, wall[wall.size() / 2], wall.back());
    std::printf("| the same, the thread's CPU time | %.1f / %.1f ms |\n", cpu[cpu.size() / 2],
                cpu.back());
    return 0;
}
