// Delays and waits on the real clock: the built plug-in, loaded the way a host loads it, runs
// V_DELAY and WAIT_UV against the emulated host in real-time mode. Each run is one call; the
// figures are its wall time against the nominal time, the calling thread's CPU time, the
// latency from a host event to the call's return, and the number of event waits it made.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "entry/layouts.h"
#include "failures.h"
#include "hostsim/host.h"
#include "hostsim/plugin.h"
#include "records.h"

namespace {

using Clock = std::chrono::steady_clock;
using hostsim::Service;
using opkit_bench::make_record;

hostsim::Plugin* plugin = nullptr;

double thread_cpu_seconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

// How long the host's wait of 0 ms lasts when no event comes, as a benchmark argument: 0 for
// the emulated host's default (until its seconds clock ticks), a positive number for that
// many milliseconds, and this value for a host whose zero wait returns at once.
constexpr int zero_wait_at_once = -1;

// A fresh terminal on the real clock, made current for the plug-in's services.
std::unique_ptr<hostsim::Host>
real_clock_host(int zero_wait_ms = hostsim::HostOptions{}.zero_wait_ms) {
    hostsim::HostOptions options;
    options.clock = hostsim::ClockMode::real_time;
    options.zero_wait_returns_at_once = zero_wait_ms == zero_wait_at_once;
    options.zero_wait_ms = std::max(zero_wait_ms, 0);
    auto host = std::make_unique<hostsim::Host>(options);
    host->make_current();
    return host;
}

double percentile(const std::vector<double>& values, double fraction) {
    if (values.empty()) {
        return 0.0;
    }
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    // Nearest rank: the smallest value with at least `fraction` of the values at or below it.
    const auto rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted[std::min(sorted.size(), std::max<size_t>(rank, 1)) - 1];
}

// One call timed: wall and calling-thread CPU seconds, and the call's result.
struct Timed {
    int result;
    double wall;
    double cpu;
};

Timed timed_call(const std::string& record) {
    const double cpu_before = thread_cpu_seconds();
    const Clock::time_point before = Clock::now();
    const int result = plugin->call(record);
    const Clock::time_point after = Clock::now();
    return {result, seconds(after - before), thread_cpu_seconds() - cpu_before};
}

// ---------------------------------------------------------------- V_DELAY

// The passes of a delay made straight against the host, without the plug-in: the same
// three services in the same order. Its wall time is the services' own share of a delay.
double direct_passes(int passes) {
    auto host = real_clock_host();
    const Clock::time_point before = Clock::now();
    for (int i = 0; i < passes; ++i) {
        uint16_t key = 0;
        _WaitEvent(20);
        benchmark::DoNotOptimize(_IdleManager(0));
        benchmark::DoNotOptimize(_KbdReadAscii(&key));
    }
    return seconds(Clock::now() - before);
}

// V_DELAY with count N makes max(1, 8N/3) passes of a 20 ms wait. Each run is one call
// through the plug-in followed by the same passes made directly, so that both meet the same
// load; the goal is judged against the direct figure.
void v_delay(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const int passes = std::max(1, 8 * count / 3);
    const double nominal = 0.020 * passes;
    const std::string digits = std::to_string(count);
    const std::string record =
        make_record(opkit::v_delay::count_offset + static_cast<int>(digits.size()), "V_DELAY",
                    {{opkit::v_delay::count, digits}});
    std::vector<double> walls;
    std::vector<double> directs;
    double cpu = 0.0;
    double wall = 0.0;
    for (auto _ : state) {
        auto host = real_clock_host();
        const Timed run = timed_call(record);
        state.SetIterationTime(run.wall);
        if (host->count_of(Service::WaitEvent) != static_cast<size_t>(passes)) {
            opkit_bench::fail(state, "V_DELAY did not make the expected number of passes");
            break;
        }
        host.reset();
        walls.push_back(run.wall);
        wall += run.wall;
        cpu += run.cpu;
        directs.push_back(direct_passes(passes));
    }
    if (walls.empty()) {
        return;
    }
    const double median = percentile(walls, 0.5);
    const double direct = percentile(directs, 0.5);
    state.counters["passes"] = passes;
    state.counters["nominal_ms"] = nominal * 1e3;
    state.counters["wall_median_ms"] = median * 1e3;
    state.counters["wall_max_ms"] = percentile(walls, 1.0) * 1e3;
    state.counters["direct_median_ms"] = direct * 1e3;
    state.counters["over_pct"] = (median - nominal) / nominal * 100.0;
    state.counters["over_us_per_pass"] = (median - nominal) / passes * 1e6;
    // What the delay costs beyond the services' own time, against the nominal time.
    state.counters["over_direct_pct"] = (median - direct) / nominal * 100.0;
    state.counters["cpu_pct"] = cpu / wall * 100.0;
}

// ---------------------------------------------------------------- WAIT_UV

// WAIT_UV on user variable 6 with the timeout field as given (three columns).
std::string wait_record(std::string_view timeout) {
    return make_record(opkit::wait_uv::min_length, "WAIT_UV",
                       {{opkit::wait_uv::variable, "06"}, {opkit::wait_uv::timeout, timeout}});
}

// WAIT_UV with a 5 s timeout; another thread fills the variable after 100 ms. Each run is
// one call; its iteration time is the latency from the fill to the call's return.
void wait_uv_latency(benchmark::State& state) {
    const std::string record = wait_record("  5");
    constexpr auto fill_after = std::chrono::milliseconds(100);
    std::vector<double> latencies;
    double cpu = 0.0;
    double wall = 0.0;
    size_t waits = 0;
    for (auto _ : state) {
        auto host = real_clock_host();
        Clock::time_point filled_at{};
        const Clock::time_point start = Clock::now();
        std::thread filler([&] {
            std::this_thread::sleep_until(start + fill_after);
            filled_at = Clock::now();
            host->set_variable(6, "ready");
        });
        const Timed run = timed_call(record);
        const Clock::time_point returned = Clock::now();
        filler.join();
        if (run.result != 1) {
            opkit_bench::fail(state, "WAIT_UV did not answer 1 after the variable was filled");
            break;
        }
        const double latency = seconds(returned - filled_at);
        state.SetIterationTime(latency);
        latencies.push_back(latency);
        cpu += run.cpu;
        wall += run.wall;
        waits += host->count_of(Service::WaitEvent);
    }
    if (latencies.empty()) {
        return;
    }
    const auto runs = static_cast<double>(latencies.size());
    state.counters["latency_median_us"] = percentile(latencies, 0.5) * 1e6;
    state.counters["latency_p99_us"] = percentile(latencies, 0.99) * 1e6;
    state.counters["latency_max_us"] = percentile(latencies, 1.0) * 1e6;
    state.counters["cpu_pct"] = cpu / wall * 100.0;
    state.counters["waits"] = static_cast<double>(waits) / runs;
}

// The host's own share of a WAIT_UV loop that made `waits` event waits: the same services per
// wait (the event wait, the idle check, a key read, the variable read and a time, date, time
// clock reading), made straight against a fresh host with waits of 20 ms. Its calling-thread
// CPU time is what the host and the system charge for waking that many times, which on a
// virtual machine is most of the figure.
double direct_wait_cpu(size_t waits) {
    auto host = real_clock_host();
    char text[132] = {};
    uint8_t status = 0;
    uint16_t key = 0;
    const double cpu_before = thread_cpu_seconds();
    for (size_t i = 0; i < waits; ++i) {
        _WaitEvent(20);
        benchmark::DoNotOptimize(_IdleManager(0));
        benchmark::DoNotOptimize(_KbdReadAscii(&key));
        benchmark::DoNotOptimize(_ReadUserVariable(6, text));
        benchmark::DoNotOptimize(_RtcGetAsciiTime(2, text, &status));
        benchmark::DoNotOptimize(_RtcGetAsciiDate(3, text, &status));
        benchmark::DoNotOptimize(_RtcGetAsciiTime(2, text, &status));
    }
    return thread_cpu_seconds() - cpu_before;
}

// WAIT_UV with a 5 s timeout and no event at all: it must end with 0 once more than 5 whole
// seconds have passed, and the figures of interest are how many event waits it took to get
// there and the CPU time. The argument is how long the host's wait of 0 ms lasts (see
// zero_wait_at_once): on a host that honours short waits, or returns from a zero wait at
// once, a loop of zero waits would poll.
void wait_uv_no_event(benchmark::State& state) {
    const int zero_wait_ms = static_cast<int>(state.range(0));
    const std::string record = wait_record("  5");
    double cpu = 0.0;
    double direct_cpu = 0.0;
    double wall = 0.0;
    size_t waits = 0;
    size_t most_waits = 0;
    for (auto _ : state) {
        auto host = real_clock_host(zero_wait_ms);
        const Timed run = timed_call(record);
        state.SetIterationTime(run.wall);
        if (run.result != 0) {
            opkit_bench::fail(state, "WAIT_UV without an event did not answer 0");
            break;
        }
        cpu += run.cpu;
        wall += run.wall;
        const size_t these = host->count_of(Service::WaitEvent);
        waits += these;
        most_waits = std::max(most_waits, these);
        host.reset();
        direct_cpu += direct_wait_cpu(these);
    }
    const auto runs = static_cast<double>(state.iterations());
    if (runs == 0 || wall == 0.0) {
        return;
    }
    state.counters["zero_wait_ms"] = zero_wait_ms;
    state.counters["wall_ms"] = wall / runs * 1e3;
    state.counters["cpu_pct"] = cpu / wall * 100.0;
    // The CPU beyond the host's own waits and services, against the same wall time.
    state.counters["cpu_beyond_direct_pct"] = (cpu - direct_cpu) / wall * 100.0;
    state.counters["direct_us_per_wait"] = direct_cpu / static_cast<double>(waits) * 1e6;
    state.counters["waits"] = static_cast<double>(waits) / runs;
    state.counters["waits_max"] = static_cast<double>(most_waits);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    hostsim::Plugin loaded(OPKIT_BENCH_PLUGIN_PATH);
    if (!loaded.load()) {
        std::fprintf(stderr, "cannot load the plug-in: %s\n", loaded.error().c_str());
        return 1;
    }
    plugin = &loaded;

    // Every run is one call with its own host; the runs of one benchmark are its iterations.
    benchmark::RegisterBenchmark("Clock/V_DELAY", v_delay)
        ->Arg(1)
        ->Iterations(25)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Clock/V_DELAY", v_delay)
        ->Arg(10)
        ->Iterations(8)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Clock/V_DELAY", v_delay)
        ->Arg(50)
        ->Iterations(3)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Clock/WAIT_UV_latency", wait_uv_latency)
        ->Iterations(100)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Clock/WAIT_UV_no_event", wait_uv_no_event)
        ->Arg(hostsim::HostOptions{}.zero_wait_ms)
        ->Iterations(3)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Clock/WAIT_UV_no_event", wait_uv_no_event)
        ->Arg(1)
        ->Iterations(3)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Clock/WAIT_UV_no_event", wait_uv_no_event)
        ->Arg(zero_wait_at_once)
        ->Iterations(3)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    plugin = nullptr;
    return opkit_bench::exit_status();
}
