// lumivane-bench: what each call into the driver costs, beside its floor.
//
// A call's floor is the file work it cannot skip: each log line it writes,
// in one write of its own to a log open for appending, and, when the call
// changes the picture, the whole page written in one write into a temporary
// file beside the page, closed, and renamed over the page. The floors run in the same directory and
// the same run as the calls, so a ratio near 1 means the driver adds little beyond the system calls
// its promises (every line on disk, a page that never tears) demand.
//
// The driver is loaded as a host loads it: a copy of the built module,
// dlopen'ed in a scratch working directory below TMPDIR.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "bench/alloc_count.h"
#include "driver/display_driver.h"
#include "host/driver_module.h"

namespace fs = std::filesystem;

namespace {

constexpr char kModuleName[] = "lumivane";
constexpr char kLogPath[] = "logs/lumivane.log";
constexpr char kPagePath[] = "logs/index.htm";
constexpr char kFloorLogPath[] = "logs/floor.log";
constexpr char kFloorPagePath[] = "logs/floor.htm";
constexpr char kFloorTempPath[] = "logs/floor.htm.tmp";

// What the host writes: one row's worth of a status display, 20 characters,
// to column 1 of row 3. The two frames differ, so alternating them changes
// the picture on every call.
constexpr int kColumn = 1;
constexpr int kRow = 3;
constexpr char kSteadyText[] = "CPU  12%  RAM 3.1 GB";
constexpr const char* kFrames[] = {"Frame 1 of the clock", "Frame 2 of the clock"};

// What a Write may cost, in times its floor.
constexpr double kUnchangedWriteTarget = 1.1;
constexpr double kChangingWriteTarget = 1.05;

// --- the driver, loaded as a host loads it ------------------------------------
fs::path ScratchRoot;  // removed when the run ends
fs::path StartDir;     // the working directory to return to
void* Module = nullptr;
DisplayInitFn Init = nullptr;
DisplaySetPositionFn SetPosition = nullptr;
DisplayWriteFn Write = nullptr;
DisplayTextFn DriverName = nullptr;

bool LoadDriver(const fs::path& built_module) {
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    ScratchRoot = fs::temp_directory_path() / ("lumivane-bench-" + std::to_string(ticks));
    const fs::path copy =
        ScratchRoot / "module" / (std::string(kModuleName) + host::kModuleExtension);
    std::error_code error;
    fs::create_directories(ScratchRoot / "module", error);
    fs::create_directories(ScratchRoot / "work", error);
    fs::copy_file(built_module, copy, error);
    if (error) {
        std::fprintf(stderr, "cannot copy %s: %s\n", built_module.c_str(), error.message().c_str());
        return false;
    }
    StartDir = fs::current_path();
    fs::current_path(ScratchRoot / "work");

    std::string load_error;
    Module = host::LoadModule(copy.string(), &load_error);
    if (Module == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", copy.c_str(), load_error.c_str());
        return false;
    }
    host::DriverCalls calls;
    if (!host::BindDriver(Module, &calls).empty()) {
        std::fprintf(stderr, "%s lacks a driver export\n", copy.c_str());
        return false;
    }
    Init = calls.Init;
    SetPosition = calls.SetPosition;
    Write = calls.Write;
    DriverName = calls.DriverName;
    unsigned char ok = 0;
    Init(80, 4, 0, &ok);
    if (ok != 1) std::fprintf(stderr, "Init failed in %s\n", fs::current_path().c_str());
    return ok == 1;
}

void UnloadDriver() {
    if (Module != nullptr) host::UnloadModule(Module);
    std::error_code ignored;
    if (!StartDir.empty()) fs::current_path(StartDir, ignored);
    if (!ScratchRoot.empty()) fs::remove_all(ScratchRoot, ignored);
}

// --- the calls measured ---------------------------------------------------------
void CallSetPosition(long) { SetPosition(kColumn, kRow); }

void CallUnchangedWrite(long) {
    SetPosition(kColumn, kRow);
    benchmark::DoNotOptimize(Write(kSteadyText));
}

void CallChangingWrite(long turn) {
    SetPosition(kColumn, kRow);
    benchmark::DoNotOptimize(Write(kFrames[turn & 1]));
}

void CallDriverName(long) { benchmark::DoNotOptimize(DriverName()); }

void CallInit(long) {
    unsigned char ok = 0;
    benchmark::DoNotOptimize(Init(80, 4, 0, &ok));
}

// Each call is measured in its steady state, which these bring about: the
// row under test shows the steady text, or the frame the first turn replaces.
void PrepareNothing() {}
void PrepareUnchangedWrite() { CallUnchangedWrite(0); }
void PrepareChangingWrite() { CallChangingWrite(1); }
void PrepareInit() { CallInit(0); }

struct Call {
    const char* name;
    void (*run)(long turn);
    void (*prepare)();
    bool allocation_free;  // promised: no heap allocation at all
    int block;             // calls per timed block: some tens of microseconds or more
    // Found by Probe: what one steady-state call writes.
    std::vector<std::string> log_lines{};
    std::string page{};  // the page it writes; empty when the page is left alone
    // Found by CountSteadyAllocations, per call; allocations < 0 when no
    // batch of calls fitted into one second of the clock.
    double allocations = -1;
    double allocated_bytes = 0;
    double kept_blocks = 0;  // allocated and not given back
};

Call Calls[] = {
    {"SetPosition", CallSetPosition, PrepareNothing, true, 64},
    {"Write, unchanged", CallUnchangedWrite, PrepareUnchangedWrite, true, 32},
    {"Write, changing", CallChangingWrite, PrepareChangingWrite, true, 2},
    {"DriverName", CallDriverName, PrepareNothing, true, 32},
    {"Init", CallInit, PrepareInit, true, 2},
};

std::string ReadFile(const char* path, std::uintmax_t from = 0) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(from));
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The page has been replaced (a new file) or rewritten (a new time stamp).
struct PageIdentity {
    ino_t inode;
    long long modified_ns;
    bool operator==(const PageIdentity& other) const {
        return inode == other.inode && modified_ns == other.modified_ns;
    }
};

PageIdentity PageNow() {
    struct stat info {};
    if (stat(kPagePath, &info) != 0) return {0, 0};
    return {info.st_ino, info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec};
}

// Makes one steady-state call and records the log lines it wrote and the
// page it left, which its floor then writes again, byte for byte.
void Probe(Call& call) {
    call.prepare();
    const std::uintmax_t log_size = fs::file_size(kLogPath);
    const PageIdentity page_before = PageNow();
    call.run(0);

    const std::string added = ReadFile(kLogPath, log_size);
    call.log_lines.clear();
    for (std::size_t start = 0; start < added.size();) {
        std::size_t end = added.find('\n', start);
        end = end == std::string::npos ? added.size() : end + 1;
        call.log_lines.push_back(added.substr(start, end - start));
        start = end;
    }
    call.page = PageNow() == page_before ? std::string() : ReadFile(kPagePath);
}

// The allocations of a batch of steady-state calls made within one second
// of the clock. The log's time stamp is formatted anew each second, so the
// first call takes the second's stamp and the batch after it is counted: the
// count is then of the steady state alone, whichever second the run meets.
void CountSteadyAllocations(Call& call) {
    constexpr int kBatch = 100;
    constexpr int kAttempts = 20;
    call.allocations = -1;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        call.prepare();
        const std::time_t second = std::time(nullptr);
        call.run(0);
        const bench::AllocCount before = bench::AllocationsSoFar();
        for (int turn = 1; turn <= kBatch; ++turn) call.run(turn);
        const bench::AllocCount after = bench::AllocationsSoFar();
        if (std::time(nullptr) != second) continue;

        call.allocations = double(after.allocations - before.allocations) / kBatch;
        call.allocated_bytes = double(after.bytes - before.bytes) / kBatch;
        call.kept_blocks = (double(after.allocations) - double(after.frees) -
                            (double(before.allocations) - double(before.frees))) /
                           kBatch;
        return;
    }
}

// --- the floors ----------------------------------------------------------------
int FloorLog = -1;  // open for the whole run, as the driver's log is

// The same system calls as the call makes, with nothing around them. (The
// driver writes some of its lines after the page; the order costs nothing.)

void RunFloor(const Call& call) {
    for (const std::string& line : call.log_lines) {
        benchmark::DoNotOptimize(write(FloorLog, line.data(), line.size()));
    }
    if (call.page.empty()) return;
    const int temp = open(kFloorTempPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (temp < 0) return;
    benchmark::DoNotOptimize(write(temp, call.page.data(), call.page.size()));
    close(temp);
    std::rename(kFloorTempPath, kFloorPagePath);
}

// --- the benchmarks ------------------------------------------------------------
// One benchmark per call. Each of its rounds makes a block of calls and then
// as many floors, and times both blocks on the thread's CPU clock and on the
// wall clock; which block goes first alternates. Call and floor thus meet
// the same machine and the same state of the disk, round after round, which
// a separate benchmark for each could not promise on a busy machine; and a
// block is long enough that reading the clocks costs next to nothing.
struct Clocks {
    double cpu;   // seconds of this thread's CPU time, user and system
    double wall;  // seconds of the monotonic clock
};

double Seconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

Clocks ClocksNow() { return {Seconds(CLOCK_THREAD_CPUTIME_ID), Seconds(CLOCK_MONOTONIC)}; }

Clocks operator-(const Clocks& a, const Clocks& b) { return {a.cpu - b.cpu, a.wall - b.wall}; }

Clocks TimeCalls(const Call& call, long& turn) {
    const Clocks start = ClocksNow();
    for (int i = 0; i < call.block; ++i) call.run(turn++);
    return ClocksNow() - start;
}

Clocks TimeFloors(const Call& call) {
    const Clocks start = ClocksNow();
    for (int i = 0; i < call.block; ++i) RunFloor(call);
    return ClocksNow() - start;
}

double Median(std::vector<double>& values) {
    if (values.empty()) return 0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// Per call: the median round's CPU time of the calls and of the floors, and
// the median of the rounds' ratios. Medians, because now and then the disk
// stalls a page's rename for milliseconds, on whichever side it happens to be.
void MeasureAgainstFloor(benchmark::State& state, const Call* call) {
    if (FloorLog < 0) {
        state.SkipWithError("cannot open the floor's log");
        return;
    }
    const auto rounds = static_cast<std::size_t>(state.max_iterations);
    std::vector<double> call_cpu, floor_cpu, cpu_ratio, wall_ratio;
    for (std::vector<double>* samples : {&call_cpu, &floor_cpu, &cpu_ratio, &wall_ratio})
        samples->reserve(rounds);
    call->prepare();
    long turn = 0;
    bench::AllocCount allocated{0, 0, 0};
    bool floor_first = false;  // which block goes first alternates, round by round
    for (auto _ : state) {
        Clocks in_floors{0, 0};
        if (floor_first) in_floors = TimeFloors(*call);
        const bench::AllocCount before = bench::AllocationsSoFar();
        const Clocks in_calls = TimeCalls(*call, turn);
        const bench::AllocCount after = bench::AllocationsSoFar();
        if (!floor_first) in_floors = TimeFloors(*call);
        floor_first = !floor_first;

        allocated.allocations += after.allocations - before.allocations;
        allocated.bytes += after.bytes - before.bytes;
        allocated.frees += after.frees - before.frees;
        call_cpu.push_back(in_calls.cpu);
        floor_cpu.push_back(in_floors.cpu);
        cpu_ratio.push_back(in_floors.cpu > 0 ? in_calls.cpu / in_floors.cpu : 0);
        wall_ratio.push_back(in_floors.wall > 0 ? in_calls.wall / in_floors.wall : 0);
    }
    const double calls = double(state.iterations()) * call->block;
    state.counters["call_us"] = Median(call_cpu) / call->block * 1e6;
    state.counters["floor_us"] = Median(floor_cpu) / call->block * 1e6;
    state.counters["ratio"] = Median(cpu_ratio);
    state.counters["wall_ratio"] = Median(wall_ratio);
    state.counters["allocs"] = double(allocated.allocations) / calls;
    state.counters["alloc_bytes"] = double(allocated.bytes) / calls;
    state.counters["frees"] = double(allocated.frees) / calls;
}

// --- the summary -----------------------------------------------------------------
const char* const kCounters[] = {"call_us",    "floor_us", "ratio",
                                 "wall_ratio", "allocs",   "alloc_bytes"};
constexpr std::size_t kCounterCount = sizeof kCounters / sizeof kCounters[0];

// A call's counters: the median over the repetitions when there are several.
struct Measured {
    double value[kCounterCount] = {};
    bool median_given = false;  // taken from the library's median of the repetitions
};

double CounterOf(const benchmark::UserCounters& counters, const char* name) {
    const auto found = counters.find(name);
    return found == counters.end() ? 0 : double(found->second);
}

// The console's usual report, plus the counters of each call for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    // Colours only for a terminal, so a saved report stays plain text.
    SummaryReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.error_occurred || (run.run_type != Run::RT_Iteration && !median)) continue;
            Measured& measured = runs_[run.run_name.function_name];
            if (measured.median_given) continue;
            measured.median_given = median;
            for (std::size_t i = 0; i < kCounterCount; ++i)
                measured.value[i] = CounterOf(run.counters, kCounters[i]);
        }
        ConsoleReporter::ReportRuns(runs);
    }

    const Measured* Find(const std::string& name) const {
        const auto found = runs_.find(name);
        return found == runs_.end() ? nullptr : &found->second;
    }

private:
    std::map<std::string, Measured> runs_;
};

// "0", "2 (4568 B)", or "1.5e-06 (2.3e-05 B)" for a rare allocation.
std::string Allocations(double blocks, double bytes) {
    char text[64];
    if (blocks == 0) return "0";
    std::snprintf(text, sizeof text, "%.3g (%.4g B)", blocks, bytes);
    return text;
}

std::size_t TotalSize(const std::vector<std::string>& lines) {
    std::size_t size = 0;
    for (const std::string& line : lines) size += line.size();
    return size;
}

// Prints the table of calls against their floors. Returns 1 when a call
// breaks a promise about the heap (timings never fail the run: they vary
// with the machine and are for reading).
int PrintSummary(const SummaryReporter& reporter) {
    std::printf(
        "\nEach call against its floor, per call: CPU time (user and system) of the median round\n"
        "and the median round's ratio, the same ratio of wall-clock times, heap blocks within one\n"
        "second and over the whole run, and what one call writes. With repetitions, the median\n"
        "of each over the repetitions.\n\n");
    std::printf(
        "| call | time (us) | floor (us) | ratio | wall ratio | allocations per call | "
        "whole run | log lines | log bytes | page bytes |\n");
    std::printf("|---|---:|---:|---:|---:|---|---|---:|---:|---:|\n");
    int status = 0;
    std::string verdicts;
    char verdict[200];
    for (const Call& call : Calls) {
        const Measured* measured = reporter.Find(call.name);
        if (measured == nullptr) continue;
        const double* value = measured->value;
        const double ratio = value[2];
        std::printf("| %s | %.2f | %.2f | %.2f | %.2f | %s | %s | %zu | %zu | %zu |\n", call.name,
                    value[0], value[1], ratio, value[3],
                    call.allocations < 0
                        ? "?"
                        : Allocations(call.allocations, call.allocated_bytes).c_str(),
                    Allocations(value[4], value[5]).c_str(), call.log_lines.size(),
                    TotalSize(call.log_lines), call.page.size());

        if (call.allocations < 0) {
            std::snprintf(verdict, sizeof verdict,
                          "? %s: no batch of calls fitted into one second\n", call.name);
            verdicts += verdict;
        } else if (call.allocation_free && call.allocations != 0) {
            std::snprintf(verdict, sizeof verdict,
                          "FAIL %s: %.3g heap blocks per call, promised none\n", call.name,
                          call.allocations);
            verdicts += verdict;
            status = 1;
        } else if (call.kept_blocks != 0) {
            std::snprintf(verdict, sizeof verdict, "FAIL %s: keeps %.3g heap blocks per call\n",
                          call.name, call.kept_blocks);
            verdicts += verdict;
            status = 1;
        }
        if (call.run == CallUnchangedWrite || call.run == CallChangingWrite) {
            const double target =
                call.run == CallUnchangedWrite ? kUnchangedWriteTarget : kChangingWriteTarget;
            std::snprintf(verdict, sizeof verdict, "%s: %.2fx its floor, target %.2fx: %s\n",
                          call.name, ratio, target,
                          ratio > 0 && ratio <= target ? "met" : "MISSED");
            verdicts += verdict;
        }
    }
    std::printf("\n%s", verdicts.c_str());
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    int status = 1;
    if (LoadDriver(LUMIVANE_MODULE_PATH)) {
        for (Call& call : Calls) {
            Probe(call);
            CountSteadyAllocations(call);
        }
        FloorLog = open(kFloorLogPath, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0666);
        // The floor replaces a page that exists, as every Write after Init does.
        if (std::FILE* page = std::fopen(kFloorPagePath, "w")) std::fclose(page);

        for (const Call& call : Calls)
            benchmark::RegisterBenchmark(call.name, MeasureAgainstFloor, &call)
                ->Unit(benchmark::kMicrosecond);
        SummaryReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        status = PrintSummary(reporter);
        if (FloorLog >= 0) close(FloorLog);
    }
    UnloadDriver();
    benchmark::Shutdown();
    return status;
}
