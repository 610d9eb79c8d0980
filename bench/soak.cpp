// The soak run: the example scripts' calls, in a loop, through the emulated host on the real
// clock until a million calls have been made. Waits of 0 ms and idle calls return at once and
// the scripts' timed events arrive at once, so only the calls that wait out a delay or a
// timeout would wait on the clock; a trial pass on the virtual clock leaves them out. The program
// checks, after every pass over the mix, that the results, the variables the calls keep, the keys
// and the events left (a key the examples leave queued is taken by the next pass) come out as in
// the previous pass, and that the resident memory stays flat.
//
// usage: opkit_soak PLUGIN EXAMPLES_DIR [CALLS]
// exit status 0 when every check held, 1 when one failed, 2 for bad arguments.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "hostsim/host.h"
#include "hostsim/plugin.h"
#include "script.h"

namespace {

using opkit_cli::Directive;
using opkit_cli::Verb;

// Resident and peak resident memory of this process, in KB, from /proc.
struct Memory {
    long rss_kb = 0;
    long peak_kb = 0;
};

Memory memory_now() {
    Memory m;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            m.rss_kb = std::atol(line.c_str() + 6);
        } else if (line.rfind("VmHWM:", 0) == 0) {
            m.peak_kb = std::atol(line.c_str() + 6);
        }
    }
    return m;
}

// What one pass over the mix leaves: every call's result, the user variables that no clock
// reading wrote, the keys still queued, the events still scheduled.
struct PassOutcome {
    std::vector<int> results;
    std::map<int, std::string> variables;
    size_t keys = 0;
    size_t events = 0;
    int stalls = 0;
    bool operator==(const PassOutcome&) const = default;
};

class Soak {
  public:
    Soak(std::string plugin_path, std::vector<Directive> mix, hostsim::ClockMode clock)
        : host_(options(clock)), plugin_(std::move(plugin_path)), mix_(std::move(mix)) {
        host_.make_current();
        // The operator answers every prompt with Enter at once.
        host_.set_key_wait_hook([]() -> std::optional<uint16_t> { return hostsim::key_enter; });
    }

    bool load() { return plugin_.load(); }
    const std::string& error() const { return plugin_.error(); }
    hostsim::Host& host() { return host_; }

    // Runs the mix once; `elapsed` collects each call's time on the host's clock.
    PassOutcome pass(std::vector<int64_t>* elapsed = nullptr) {
        PassOutcome outcome;
        for (const Directive& d : mix_) {
            if (d.verb == Verb::call || d.verb == Verb::message) {
                const int64_t started = host_.now_ms();
                host_.clear_trace(); // as a runner does before each call
                const auto before = host_.variables();
                outcome.results.push_back(d.verb == Verb::call ? plugin_.call(d.record)
                                                               : plugin_.message(d.number));
                if (elapsed != nullptr) {
                    elapsed->push_back(host_.now_ms() - started);
                }
                if (d.record.size() >= 9 && d.record.compare(2, 7, "TM_DATE") == 0) {
                    for (const auto& [number, text] : host_.variables()) {
                        const auto it = before.find(number);
                        if (it == before.end() || it->second != text) {
                            clock_variables_.insert(number);
                        }
                    }
                }
                ++calls_;
            } else {
                change_host(d);
            }
        }
        for (const auto& [number, text] : host_.variables()) {
            if (clock_variables_.count(number) == 0) {
                outcome.variables[number] = text;
            }
        }
        outcome.keys = host_.keys_waiting();
        outcome.events = host_.events_scheduled();
        outcome.stalls = host_.stall_count();
        return outcome;
    }

    long calls() const { return calls_; }

  private:
    static hostsim::HostOptions options(hostsim::ClockMode clock) {
        hostsim::HostOptions o;
        o.clock = clock;
        // Zero-length waits: a wait of 0 ms and an idle call return at once.
        o.zero_wait_returns_at_once = true;
        o.idle_tick_ms = 0;
        return o;
    }

    void change_host(const Directive& d) {
        switch (d.verb) {
        case Verb::set: host_.set_variable(d.number, d.text); break;
        case Verb::unreadable:
        case Verb::readable: host_.set_unreadable(d.number, d.verb == Verb::unreadable); break;
        case Verb::key:
            for (const uint16_t k : d.keys) {
                host_.press_key(k);
            }
            break;
        case Verb::stop: host_.request_stop(); break;
        case Verb::write:
            host_.write_screen(d.number, d.column, d.text,
                               static_cast<uint8_t>(d.flag ? d.duration_ms : 0));
            break;
        case Verb::clear:
            for (int r = 0; r < host_.options().rows; ++r) {
                host_.write_screen(r, 0, std::string(size_t(host_.options().columns), ' '));
            }
            break;
        case Verb::at: // the event arrives now: a zero-length wait for it
            switch (d.event.kind) {
            case opkit_cli::AtEvent::Kind::key:
                for (const uint16_t k : d.event.keys) {
                    host_.schedule_after(std::chrono::milliseconds(0), hostsim::KeyEvent{k});
                }
                break;
            case opkit_cli::AtEvent::Kind::set:
                host_.schedule_after(std::chrono::milliseconds(0),
                                     hostsim::VariableEvent{d.event.variable, d.event.text});
                break;
            case opkit_cli::AtEvent::Kind::stop:
                host_.schedule_after(std::chrono::milliseconds(0), hostsim::StopEvent{});
                break;
            }
            break;
        case Verb::reload:
            plugin_.unload();
            if (!plugin_.load()) {
                std::fprintf(stderr, "reload failed: %s\n", plugin_.error().c_str());
                std::exit(1);
            }
            break;
        default: break; // clock, advance, expectations and output: nothing to do on the host
        }
    }

    hostsim::Host host_;
    hostsim::Plugin plugin_;
    std::vector<Directive> mix_;
    std::set<int> clock_variables_;
    long calls_ = 0;
};

std::vector<Directive> read_examples(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() == ".txt") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<Directive> all;
    for (const auto& file : files) {
        std::ifstream in(file);
        std::stringstream text;
        text << in.rdbuf();
        const opkit_cli::Script script = opkit_cli::parse_script(text.str(), file.string());
        all.insert(all.end(), script.directives.begin(), script.directives.end());
    }
    return all;
}

bool is_call(const Directive& d) {
    return d.verb == Verb::call || d.verb == Verb::message;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: %s PLUGIN EXAMPLES_DIR [CALLS]\n", argv[0]);
        return 2;
    }
    const long target = argc == 4 ? std::atol(argv[3]) : 1000000;
    std::vector<Directive> examples;
    try {
        examples = read_examples(argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "examples: %s\n", e.what());
        return 2;
    }

    // The mix keeps the calls that end without waiting on the clock: a trial pass on the
    // virtual clock finds those that a delay or a timeout with nothing to end it holds up.
    std::vector<Directive> mix;
    {
        Soak trial(argv[1], examples, hostsim::ClockMode::virtual_time);
        if (!trial.load()) {
            std::fprintf(stderr, "plug-in: %s\n", trial.error().c_str());
            return 2;
        }
        std::vector<int64_t> elapsed;
        trial.pass(&elapsed);
        size_t call = 0;
        for (const Directive& d : examples) {
            if (!is_call(d) || elapsed[call++] == 0) {
                mix.push_back(d);
            }
        }
        std::printf("mix: %zu of %zu calls of the examples (the others wait on the clock)\n",
                    size_t(std::count_if(mix.begin(), mix.end(), is_call)), elapsed.size());
    }

    Soak soak(argv[1], mix, hostsim::ClockMode::real_time);
    if (!soak.load()) {
        std::fprintf(stderr, "plug-in: %s\n", soak.error().c_str());
        return 2;
    }
    const auto started = std::chrono::steady_clock::now();
    bool ok = true;
    // The first pass fills the kept lists; from the second on, every pass must end as the
    // one before it.
    soak.pass();
    PassOutcome previous = soak.pass();
    const Memory start = memory_now();
    Memory middle;
    long passes = 2;
    while (soak.calls() < target) {
        const PassOutcome outcome = soak.pass();
        ++passes;
        if (!(outcome == previous)) {
            std::fprintf(stderr, "pass %ld ended differently from the pass before it\n", passes);
            ok = false;
            break;
        }
        if (middle.rss_kb == 0 && soak.calls() >= target / 2) {
            middle = memory_now();
        }
    }
    const Memory end = memory_now();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    std::printf("calls:      %ld in %ld passes\n", soak.calls(), passes);
    std::printf("wall time:  %.1f s (%.1f us a call)\n", seconds, seconds * 1e6 / soak.calls());
    std::printf("rss:        start %ld KB, middle %ld KB, end %ld KB; peak %ld KB\n", start.rss_kb,
                middle.rss_kb, end.rss_kb, end.peak_kb);
    std::printf("end state:  %zu keys queued, %zu events scheduled, %d stalls\n", previous.keys,
                previous.events, previous.stalls);
    // Flat: the second half of the run adds no more than a few pages.
    if (middle.rss_kb != 0 && end.rss_kb > middle.rss_kb + 256) {
        std::fprintf(stderr, "resident memory grew from %ld KB to %ld KB\n", middle.rss_kb,
                     end.rss_kb);
        ok = false;
    }
    if (previous.events != 0) {
        std::fprintf(stderr, "events left over after a pass\n");
        ok = false;
    }
    std::printf("%s\n", ok ? "soak: consistent" : "soak: FAILED");
    return ok ? 0 : 1;
}
