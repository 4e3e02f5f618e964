// lumivane-view-bench: the live view under load. It starts the built
// lumivane-view on a loopback port in a scratch directory, loads the driver
// module there as a host does, and measures:
//   - the time from a changing Write's return to the event's arrival at each
//     connected client, with 1 and with 100 event streams;
//   - the same with 100 streams while 50 clients fetch /screen.png in a loop;
//   - the time to render /screen.png of an 80 x 4 screen at scale 3, and its
//     size (in this process, on the view's own code);
//   - the server's memory with 100 streams, and its CPU use and wake-ups
//     while nothing changes for 60 s;
//   - the time to serve the largest picture (80 x 4 at scale 16, the pixel
//     budget), the server's memory once idle 1 s after it, and the time to
//     refuse a picture over the budget;
//   - /screen.json requests per second and p99 latency under wrk (when wrk is
//     installed), for 10 s.
// Timings are printed, never asserted.
//   lumivane-view-bench [--changes N] [--idle-seconds S] [--wrk-seconds S]
//                       [--view-command COMMAND]
// --view-command runs the view through a command instead (for instance the
// Windows build under Wine: "cmake/wine-run.sh PREFIX build/win32/lumivane-view.exe"),
// started in the scratch directory, and measures only the latency.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/display_driver.h"
#include "host/driver_module.h"
#include "view/lcd/lcd_picture.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Settings {
    int changes = 300;      // changing Writes per stream count
    int idle_seconds = 60;  // how long idle CPU is measured
    int wrk_seconds = 10;
    std::string view_command;  // empty: the built lumivane-view itself
};

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "lumivane-view-bench: %s\n", what.c_str());
    std::exit(1);
}

// The view as a child process, its standard output read through a pipe.
struct ViewProcess {
    pid_t pid = -1;
    int port = 0;

    void Start(const fs::path& directory, const std::string& command) {
        int out[2];
        if (pipe(out) != 0) Fail("pipe failed");
        pid = fork();
        if (pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            if (chdir(directory.c_str()) != 0) _exit(127);
            if (command.empty())
                execl(LUMIVANE_VIEW_PATH, "lumivane-view", "--listen", "127.0.0.1:0", ".",
                      static_cast<char*>(nullptr));
            else
                execl("/bin/sh", "sh", "-c",
                      ("exec " + command + " --listen 127.0.0.1:0 .").c_str(),
                      static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        std::string line;
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
        close(out[0]);
        const std::size_t colon = line.find(":", line.find("http://") + 7);
        if (colon == std::string::npos) Fail("no start line from lumivane-view: " + line);
        port = std::atoi(line.c_str() + colon + 1);
    }

    void Stop() {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
    }

    // Resident memory (VmRSS) and its peak (VmHWM), in KiB.
    std::pair<long, long> Memory() const {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        long rss = 0, peak = 0;
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("VmRSS:", 0) == 0) rss = std::atol(line.c_str() + 6);
            if (line.rfind("VmHWM:", 0) == 0) peak = std::atol(line.c_str() + 6);
        }
        return {rss, peak};
    }

    // CPU time used so far by all its threads, in nanoseconds (the
    // scheduler's own count, finer than the clock ticks of /proc/PID/stat).
    long long CpuNanoseconds() const {
        long long total = 0;
        for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
            std::ifstream schedstat(task.path() / "schedstat");
            long long on_cpu = 0;
            schedstat >> on_cpu;
            total += on_cpu;
        }
        return total;
    }

    // User and system time from /proc/PID/stat, in clock ticks.
    long long CpuTicks() const {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        // The fields after the command's closing parenthesis: state is the
        // 3rd field of the line, utime the 14th and stime the 15th.
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string field;
        long long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14) utime = std::atoll(field.c_str());
            if (i == 15) stime = std::atoll(field.c_str());
        }
        return utime + stime;
    }

    // Times any of its threads went to sleep of its own accord (voluntary
    // context switches): each is one wake-up.
    long long WakeUps() const {
        long long total = 0;
        for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
            std::ifstream status(task.path() / "status");
            for (std::string line; std::getline(status, line);)
                if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                    total += std::atoll(line.c_str() + 24);
        }
        return total;
    }
};

// A plain socket connected to the view on loopback.
int ConnectToView(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        Fail("cannot connect to the view");
    return fd;
}

// An event-stream client on a plain socket; it only counts the events that
// arrive (each begins with "event: screen").
struct StreamClient {
    int fd = -1;
    std::string pending;  // the tail of what came, where a marker may be cut in two
    int events = 0;

    void Connect(int port) {
        fd = ConnectToView(port);
        const char request[] = "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        if (write(fd, request, sizeof request - 1) != static_cast<ssize_t>(sizeof request - 1))
            Fail("cannot send the request");
    }

    // Reads what is there; returns the number of new events.
    int Take() {
        char buffer[65536];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) Fail("an event stream ended");
        pending.append(buffer, static_cast<std::size_t>(got));
        static const std::string marker = "event: screen";
        int found = 0;
        std::size_t at = 0;
        while ((at = pending.find(marker, at)) != std::string::npos) {
            ++found;
            at += marker.size();
        }
        const std::size_t keep = std::min(pending.size(), marker.size() - 1);
        pending.erase(0, found ? pending.rfind(marker) + marker.size() : pending.size() - keep);
        events += found;
        return found;
    }

    void Close() {
        if (fd >= 0) close(fd);
        fd = -1;
    }
};

// Waits until each client has seen `events` events; records, for each, when
// it reached that count.
void WaitForEvents(std::vector<StreamClient>& clients, int events,
                   std::vector<Clock::time_point>* arrivals) {
    std::vector<pollfd> fds(clients.size());
    arrivals->assign(clients.size(), Clock::time_point{});
    std::size_t done = 0;
    for (std::size_t i = 0; i < clients.size(); ++i)
        if (clients[i].events >= events) (*arrivals)[i] = Clock::now(), ++done;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (done < clients.size()) {
        for (std::size_t i = 0; i < clients.size(); ++i) fds[i] = {clients[i].fd, POLLIN, 0};
        if (poll(fds.data(), fds.size(), 100) < 0) Fail("poll failed");
        if (Clock::now() > deadline) Fail("events did not arrive within 10 s");
        for (std::size_t i = 0; i < clients.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const bool before = clients[i].events >= events;
            clients[i].Take();
            if (!before && clients[i].events >= events) (*arrivals)[i] = Clock::now(), ++done;
        }
    }
}

double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const std::size_t index =
        std::min(values.size() - 1, static_cast<std::size_t>(fraction * (values.size() - 1) + 0.5));
    return values[index];
}

struct Driver {
    host::DriverCalls calls;
    int counter = 0;

    // A Write that changes row 1.
    void Change() {
        char text[81];
        std::snprintf(text, sizeof text, "change %08d", ++counter);
        calls.SetPosition(1, 1);
        if (calls.Write(text) != 1) Fail("Write failed");
    }
};

struct LatencyResult {
    int streams;
    double p50, p99, max;
    // The same from the Write's call: the page is replaced within the call
    // and its log lines are written after, so the truth lies between the two.
    double call_p50, call_p99;
};

LatencyResult MeasureLatency(Driver& driver, int port, int streams, int changes) {
    std::vector<StreamClient> clients(static_cast<std::size_t>(streams));
    for (StreamClient& client : clients) client.Connect(port);
    std::vector<Clock::time_point> arrivals;
    WaitForEvents(clients, 1, &arrivals);  // the state at connection

    // Changes come at random moments, as a host's do, not in step with the
    // view's look at the page.
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> pause_us(0, 60000);
    std::vector<double> latencies_ms;
    std::vector<double> from_call_ms;
    for (int change = 1; change <= changes; ++change) {
        std::this_thread::sleep_for(std::chrono::microseconds(pause_us(random)));
        const Clock::time_point called = Clock::now();
        driver.Change();
        const Clock::time_point returned = Clock::now();
        WaitForEvents(clients, 1 + change, &arrivals);
        for (const Clock::time_point& arrival : arrivals) {
            latencies_ms.push_back(
                std::chrono::duration<double, std::milli>(arrival - returned).count());
            from_call_ms.push_back(
                std::chrono::duration<double, std::milli>(arrival - called).count());
        }
    }
    for (StreamClient& client : clients) client.Close();
    return {streams,
            Percentile(latencies_ms, 0.5),
            Percentile(latencies_ms, 0.99),
            Percentile(latencies_ms, 1.0),
            Percentile(from_call_ms, 0.5),
            Percentile(from_call_ms, 0.99)};
}

// Clients that fetch /screen.png over and over, each on a keep-alive
// connection of its own, until stopped.
class PictureClients {
public:
    PictureClients(int port, int count) {
        for (int i = 0; i < count; ++i) threads_.emplace_back([this, port] { Run(port); });
    }
    ~PictureClients() { Stop(); }
    long long Stop() {
        stop_ = true;
        for (std::thread& thread : threads_)
            if (thread.joinable()) thread.join();
        return fetched_;
    }

private:
    void Run(int port) {
        const int fd = ConnectToView(port);
        const std::string request =
            "GET /screen.png?size=80x4&scale=3 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        std::string response;
        char buffer[65536];
        while (!stop_) {
            if (write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
                Fail("cannot send a picture request");
            response.clear();
            std::size_t whole = std::string::npos;
            while (whole == std::string::npos || response.size() < whole) {
                const ssize_t got = read(fd, buffer, sizeof buffer);
                if (got <= 0) Fail("a picture connection ended");
                response.append(buffer, static_cast<std::size_t>(got));
                const std::size_t end = response.find("\r\n\r\n");
                const std::size_t length = response.find("Content-Length: ");
                if (whole == std::string::npos && end != std::string::npos &&
                    length != std::string::npos && length < end)
                    whole = end + 4 + std::strtoull(response.c_str() + length + 16, nullptr, 10);
            }
            if (response.compare(0, 12, "HTTP/1.1 200") != 0) Fail("a picture request failed");
            ++fetched_;
        }
        close(fd);
    }

    std::vector<std::thread> threads_;
    std::atomic<bool> stop_{false};
    std::atomic<long long> fetched_{0};
};

// Fetches /screen.png?`query` once, on a connection of its own, and fails
// unless the answer's status line starts with `status` ("HTTP/1.1 200").
void FetchPicture(int port, const std::string& query, const std::string& status) {
    const int fd = ConnectToView(port);
    const std::string request =
        "GET /screen.png?" + query + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    if (write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
        Fail("cannot send the picture request");
    std::string response;
    char buffer[65536];
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;)
        response.append(buffer, static_cast<std::size_t>(got));
    close(fd);
    if (response.compare(0, status.size(), status) != 0)
        Fail("/screen.png?" + query + ": not " + status);
}

// The time in ms of FetchPicture.
double TimePicture(int port, const std::string& query, const std::string& status) {
    const auto start = Clock::now();
    FetchPicture(port, query, status);
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Renders the picture of a full 80 x 4 screen at scale 3 `rounds` times; the
// median time in ms and the PNG's size.
std::pair<double, std::size_t> MeasureRender(int rounds) {
    view::Rows rows;
    for (int row = 0; row < 4; ++row) {
        std::string text;
        for (int column = 0; column < 80; ++column)
            text.push_back(static_cast<char>(0x20 + (row * 80 + column * 7) % 0xE0));
        rows[row] = text;
    }
    const view::PictureOptions options;
    std::vector<double> times;
    std::size_t bytes = 0;
    for (int round = 0; round < rounds; ++round) {
        const auto start = Clock::now();
        bytes = view::RenderPng(rows, options).size();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return {Percentile(times, 0.5), bytes};
}

// Runs wrk on /screen.json; the lines it prints with --latency hold the
// requests per second and the 99% latency.
std::string RunWrk(int port, int seconds) {
    if (std::system("command -v wrk >/dev/null 2>&1") != 0) return "";
    const std::string command = "wrk -t1 -c32 -d" + std::to_string(seconds) +
                                "s --latency http://127.0.0.1:" + std::to_string(port) +
                                "/screen.json 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return "";
    std::string output;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    pclose(pipe);
    return output;
}

std::string WrkField(const std::string& output, const std::string& label) {
    const std::size_t at = output.find(label);
    if (at == std::string::npos) return "?";
    std::istringstream rest(output.substr(at + label.size()));
    std::string value;
    rest >> value;
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (option == "--changes")
            settings.changes = value;
        else if (option == "--idle-seconds")
            settings.idle_seconds = value;
        else if (option == "--wrk-seconds")
            settings.wrk_seconds = value;
        else if (option == "--view-command")
            settings.view_command = argv[i + 1];
        else
            Fail("unknown option " + option);
    }
    signal(SIGPIPE, SIG_IGN);

    // A scratch working directory with the module loaded in it, as a host.
    const fs::path root =
        fs::temp_directory_path() / ("lumivane-view-bench-" + std::to_string(getpid()));
    fs::create_directories(root / "module");
    const fs::path module_path = root / "module" / "lumivane.so";
    fs::copy_file(LUMIVANE_MODULE_PATH, module_path, fs::copy_options::overwrite_existing);
    fs::current_path(root);
    std::string error;
    void* module = host::LoadModule(module_path.string(), &error);
    if (!module) Fail("cannot load the module: " + error);
    Driver driver;
    if (!host::BindDriver(module, &driver.calls).empty()) Fail("the module lacks an export");
    unsigned char flag = 0;
    driver.calls.Init(80, 4, 0, &flag);

    ViewProcess view;
    view.Start(root, settings.view_command);
    std::printf("lumivane-view on port %d, watching %s\n", view.port,
                (root / "logs" / "index.htm").c_str());
    std::fflush(stdout);

    const auto [render_ms, png_bytes] = MeasureRender(200);
    std::printf("/screen.png, 80x4 at scale 3: median render %.2f ms, %zu bytes\n", render_ms,
                png_bytes);

    std::vector<LatencyResult> latencies;
    for (int streams : {1, 100}) {
        latencies.push_back(MeasureLatency(driver, view.port, streams, settings.changes));
        std::printf("change to event with %d stream(s): p50 %.2f ms, p99 %.2f ms\n", streams,
                    latencies.back().p50, latencies.back().p99);
        std::fflush(stdout);
    }
    if (!settings.view_command.empty()) {
        view.Stop();
        std::printf("\n| measure (%s) | result |\n|---|---:|\n", settings.view_command.c_str());
        for (const LatencyResult& result : latencies) {
            std::printf(
                "| change to event, %d stream%s: p50 / p99 / max | %.2f / %.2f / %.2f ms |\n",
                result.streams, result.streams == 1 ? "" : "s", result.p50, result.p99, result.max);
            std::printf("| the same from the Write's call: p50 / p99 | %.2f / %.2f ms |\n",
                        result.call_p50, result.call_p99);
        }
        fs::current_path(fs::temp_directory_path());
        std::error_code ignored;
        fs::remove_all(root, ignored);
        return 0;
    }
    // The same with 50 clients fetching pictures as fast as they are served.
    PictureClients pictures(view.port, 50);
    const auto loaded_start = Clock::now();
    const LatencyResult loaded = MeasureLatency(driver, view.port, 100, settings.changes);
    const long long fetched = pictures.Stop();
    const double loaded_seconds =
        std::chrono::duration<double>(Clock::now() - loaded_start).count();
    std::printf("change to event with 100 streams and 50 picture clients: p99 %.1f ms\n",
                loaded.p99);

    // Memory, idle CPU and wake-ups with 100 streams open and nothing changing.
    std::vector<StreamClient> clients(100);
    for (StreamClient& client : clients) client.Connect(view.port);
    std::vector<Clock::time_point> arrivals;
    WaitForEvents(clients, 1, &arrivals);
    const auto [rss_kib, peak_kib] = view.Memory();
    const long long cpu_before = view.CpuNanoseconds();
    const long long ticks_before = view.CpuTicks();
    const long long wake_ups_before = view.WakeUps();
    const auto idle_start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(settings.idle_seconds));
    const long long cpu = view.CpuNanoseconds() - cpu_before;
    const long long ticks = view.CpuTicks() - ticks_before;
    const long long wake_ups = view.WakeUps() - wake_ups_before;
    const double idle_seconds = std::chrono::duration<double>(Clock::now() - idle_start).count();
    const double idle_cpu_percent = 100.0 * cpu / 1e9 / idle_seconds;
    const double idle_ticks_percent = 100.0 * ticks / sysconf(_SC_CLK_TCK) / idle_seconds;
    for (StreamClient& client : clients) client.Close();

    const std::string wrk = RunWrk(view.port, settings.wrk_seconds);
    // Memory once idle again after the largest picture.
    // The largest picture, the whole screen spending the pixel budget; then
    // the nearest any size and scale come above it, refused.
    const double largest_ms = TimePicture(view.port, "size=80x4&scale=16", "HTTP/1.1 200");
    const double refused_ms = TimePicture(view.port, "size=76x1&scale=25", "HTTP/1.1 400");
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto [after_picture_rss_kib, after_picture_peak_kib] = view.Memory();
    view.Stop();
    fs::current_path(fs::temp_directory_path());
    std::error_code ignored;
    fs::remove_all(root, ignored);

    std::printf("\n| measure | result |\n|---|---:|\n");
    for (const LatencyResult& result : latencies) {
        std::printf("| change to event, %d stream%s: p50 / p99 / max | %.2f / %.2f / %.2f ms |\n",
                    result.streams, result.streams == 1 ? "" : "s", result.p50, result.p99,
                    result.max);
        std::printf("| the same from the Write's call: p50 / p99 | %.2f / %.2f ms |\n",
                    result.call_p50, result.call_p99);
    }
    std::printf(
        "| change to event, 100 streams, 50 clients fetching /screen.png: p50 / p99 / max | "
        "%.1f / %.1f / %.1f ms |\n",
        loaded.p50, loaded.p99, loaded.max);
    std::printf("| /screen.png served meanwhile | %.0f per second |\n", fetched / loaded_seconds);
    std::printf("| /screen.png, 80x4 at scale 3: median render / size | %.2f ms / %zu bytes |\n",
                render_ms, png_bytes);
    if (!wrk.empty()) {
        std::printf(
            "| /screen.json under wrk (1 thread, 32 connections, %d s): requests/s | %s |\n",
            settings.wrk_seconds, WrkField(wrk, "Requests/sec:").c_str());
        std::printf("| /screen.json under wrk: p99 latency | %s |\n", WrkField(wrk, "99%").c_str());
    } else {
        std::printf("| /screen.json under wrk | wrk not installed |\n");
    }
    std::printf("| memory with 100 streams (resident / peak) | %.1f / %.1f MiB |\n",
                rss_kib / 1024.0, peak_kib / 1024.0);
    std::printf("| /screen.png, 80x4 at scale 16: served in | %.0f ms |\n", largest_ms);
    std::printf("| memory idle 1 s after it (resident / peak) | %.1f / %.1f MiB |\n",
                after_picture_rss_kib / 1024.0, after_picture_peak_kib / 1024.0);
    std::printf("| /screen.png, 76x1 at scale 25, 950 pixels over the budget: 400 in | %.2f ms |\n",
                refused_ms);
    std::printf("| CPU while idle, 100 streams open (%.0f s) | %.4f %% of a core |\n", idle_seconds,
                idle_cpu_percent);
    std::printf("| the same from /proc/PID/stat (%ld ticks a second) | %.4f %% of a core |\n",
                sysconf(_SC_CLK_TCK), idle_ticks_percent);
    std::printf("| wake-ups while idle (voluntary context switches) | %lld, %.2f a second |\n",
                wake_ups, wake_ups / idle_seconds);
    std::printf("(%d changes per stream count; the host's Write and the view share %u cores)\n",
                settings.changes, std::thread::hardware_concurrency());
    return 0;
}
