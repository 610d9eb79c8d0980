// What one call of the library costs the host: main(3, record) for each function on its
// success path, the name lookup alone, and how the cost of CHKUNIQ and COMPARE grows with
// the length of the texts they handle. The plug-in's sources are compiled into this program
// and run against the null host, so the figures are the library's own work.
#include <benchmark/benchmark.h>

#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "entry/dispatch.h"
#include "entry/layouts.h"
#include "failures.h"
#include "null_host.h"
#include "records.h"

namespace {

using nullhost::Call;
using opkit_bench::make_record;

// Proves, by one call made before the timing, that the records take the intended path;
// returns an empty text when they do, else what went wrong.
using Proof = std::function<std::string()>;

int call(std::string& record) {
    return opkit::opkit_main(3, record.data());
}

double thread_cpu_ns() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// The host's own share of one call: the logged service calls of one round of `count` records
// made again straight against the null host, for at least 20 ms of CPU time; CPU ns per call.
double replay_ns(size_t count) {
    constexpr double least_ns = 20e6;
    const double started = thread_cpu_ns();
    double elapsed = 0.0;
    size_t rounds = 0;
    while (elapsed < least_ns) {
        // Many rounds per reading of the CPU clock, which is a system call of its own.
        for (int i = 0; i < 4096; ++i) {
            nullhost::replay();
        }
        rounds += 4096;
        elapsed = thread_cpu_ns() - started;
    }
    return elapsed / static_cast<double>(rounds * count);
}

// Times main(3, record), cycling through `records` in order (one record: the same call each
// time). `prepare` sets the host and the library's state; `prove` checks the path.
void time_calls(benchmark::State& state, std::vector<std::string> records,
                const std::function<void()>& prepare, const Proof& prove) {
    nullhost::reset();
    prepare();
    const std::string problem = prove();
    if (!problem.empty()) {
        opkit_bench::fail(state, problem);
        return;
    }
    std::vector<char*> pointers;
    for (std::string& record : records) {
        pointers.push_back(record.data());
    }
    const size_t count = pointers.size();
    const uint64_t notices_before = nullhost::notices();
    // One round of the records with the service log on; a round leaves the library's state
    // as the timed loop expects it (the proof did the same).
    nullhost::start_log();
    for (char* record : pointers) {
        benchmark::DoNotOptimize(opkit::opkit_main(3, record));
    }
    const int logged = nullhost::stop_log();
    size_t next = 0;
    for (auto _ : state) {
        int result = opkit::opkit_main(3, pointers[next]);
        benchmark::DoNotOptimize(result);
        if (++next == count) {
            next = 0;
        }
    }
    if (nullhost::notices() != notices_before) {
        opkit_bench::fail(state, "a timed call showed a parameter notice");
        return;
    }
    if (logged < 0) {
        opkit_bench::fail(state, "the service log of one round overflowed");
        return;
    }
    state.counters["services"] = static_cast<double>(logged) / static_cast<double>(count);
    state.counters["services_ns"] = replay_ns(count);
}

std::string expect(bool condition, const char* what) {
    return condition ? std::string() : what;
}

// Host calls made by `action`, of one kind.
uint64_t calls_during(Call kind, const std::function<void()>& action) {
    const uint64_t before = nullhost::calls(kind);
    action();
    return nullhost::calls(kind) - before;
}

// ---------------------------------------------------------------- records

namespace dc = opkit::dicount;
namespace pw = opkit::popupwn;
namespace cp = opkit::compare;
namespace ci = opkit::cmp_int;
namespace im = opkit::intmath;
namespace cu = opkit::chkuniq;
namespace td = opkit::tm_date;
namespace tm = opkit::tranmsg;
namespace vd = opkit::v_delay;
namespace wu = opkit::wait_uv;

std::string dicount(char operation, int counter, int variable = 3) {
    const std::string letter(1, operation);
    const std::string number = std::to_string(counter + 100).substr(1);
    const std::string target = std::to_string(variable + 100).substr(1);
    if (operation == 'S') {
        return make_record(
            dc::store_min_length, "DICOUNT",
            {{dc::operation, letter}, {dc::counter, number}, {dc::variable, target}});
    }
    return make_record(dc::min_length, "DICOUNT", {{dc::operation, letter}, {dc::counter, number}});
}

std::string compare_record(int left, int right, std::string_view relation) {
    return make_record(cp::min_length, "COMPARE",
                       {{cp::left, std::to_string(left)},
                        {cp::relation, relation},
                        {cp::right, std::to_string(right)},
                        {cp::mode, "S"}});
}

std::string verify_record(int variable, char list) {
    return make_record(cu::verify_min_length, "CHKUNIQ",
                       {{cu::action, "V"},
                        {cu::variable, std::to_string(variable)},
                        {cu::verify_list, std::string(1, list)}});
}

std::string reset_record(char list) {
    return make_record(cu::reset_min_length, "CHKUNIQ",
                       {{cu::action, "R"}, {cu::reset_list, std::string(1, list)}});
}

// ---------------------------------------------------------------- the ten functions

void dicount_store(benchmark::State& state) {
    std::string store = dicount('S', 7, 3);
    std::string increment = dicount('I', 7);
    time_calls(
        state, {store}, [] {},
        [&] {
            call(increment);
            call(store);
            const std::string first = nullhost::variable(3);
            call(increment);
            call(store);
            const std::string second = nullhost::variable(3);
            return expect(!first.empty() && std::to_string(std::stoll(first) + 1) == second,
                          "DICOUNT store did not write the counter's value");
        });
}

void dicount_increment(benchmark::State& state) {
    std::string store = dicount('S', 9, 4);
    std::string increment = dicount('I', 9);
    time_calls(
        state, {increment}, [] {},
        [&] {
            call(store);
            const std::string before = nullhost::variable(4);
            call(increment);
            call(store);
            return expect(!before.empty() &&
                              std::to_string(std::stoll(before) + 1) == nullhost::variable(4),
                          "DICOUNT increment did not add one");
        });
}

void popupwn_open(benchmark::State& state) {
    std::string open = make_record(pw::open_min_length, "POPUPWN",
                                   {{pw::action, "C"}, {pw::rows, "08"}, {pw::frame, "N"}});
    time_calls(
        state, {open}, [] {},
        [&] {
            const uint64_t saved = calls_during(Call::read_cells, [&] { call(open); });
            const uint64_t drawn = nullhost::calls(Call::write_text_attribute);
            return expect(saved == 10 && drawn == 10, "POPUPWN open did not save and draw 10 rows");
        });
}

void compare_texts(benchmark::State& state) {
    std::string record = compare_record(1, 2, "EQ");
    time_calls(
        state, {record},
        [] {
            nullhost::set_variable(1, "hello world");
            nullhost::set_variable(2, "hello world");
        },
        [&] { return expect(call(record) == 1, "COMPARE of equal texts did not answer 1"); });
}

void cmp_int(benchmark::State& state) {
    std::string record =
        make_record(ci::min_length, "CMP_INT",
                    {{ci::left, "03"}, {ci::relation, "GT"}, {ci::right, "04"}, {ci::mode, "S"}});
    time_calls(
        state, {record},
        [] {
            nullhost::set_variable(3, "12345");
            nullhost::set_variable(4, "-678");
        },
        [&] { return expect(call(record) == 1, "CMP_INT 12345 GT -678 did not answer 1"); });
}

void intmath(benchmark::State& state) {
    std::string record = make_record(im::min_length, "INTMATH",
                                     {{im::left, "03"}, {im::op, "+"}, {im::right, "04"}});
    time_calls(
        state, {record},
        [] {
            nullhost::set_variable(3, "12345");
            nullhost::set_variable(4, "-678");
        },
        [&] {
            call(record);
            return expect(std::string(nullhost::variable(im::result_variable)) == "11667",
                          "INTMATH 12345 + -678 did not write 11667");
        });
}

// Eleven distinct values cycled through a list of ten: every verify finds a new value, so
// each call compares against all ten entries and stores one.
void chkuniq_new_values(benchmark::State& state, char list, int first_variable, int length) {
    std::vector<std::string> records;
    for (int i = 0; i < 11; ++i) {
        records.push_back(verify_record(first_variable + i, list));
    }
    std::string reset = reset_record(list);
    time_calls(
        state, records,
        [&] {
            for (int i = 0; i < 11; ++i) {
                std::string value(static_cast<size_t>(length), 'v');
                value.back() = static_cast<char>('A' + i);
                nullhost::set_variable(first_variable + i, value.c_str());
            }
        },
        [&] {
            call(reset);
            int new_values = 0;
            for (std::string& record : records) {
                new_values += call(record);
            }
            // The first value was pushed out by the eleventh: it is new again.
            new_values += call(records[0]);
            // The timed loop starts at the first record; leave the list as that expects.
            call(reset);
            for (size_t i = 1; i < records.size(); ++i) {
                call(records[i]);
            }
            return expect(new_values == 12, "CHKUNIQ did not find the cycled values new");
        });
}

void chkuniq(benchmark::State& state) {
    chkuniq_new_values(state, '1', 20, 8);
}

void tm_date(benchmark::State& state) {
    std::string record = make_record(td::min_length, "TM_DATE",
                                     {{td::hours, "24"},
                                      {td::time_variable, "07"},
                                      {td::style, "AMER"},
                                      {td::date_variable, "08"}});
    time_calls(
        state, {record}, [] {},
        [&] {
            call(record);
            return expect(std::string(nullhost::variable(7)) == "14:30:05" &&
                              std::string(nullhost::variable(8)) == "12/05/26",
                          "TM_DATE did not write 14:30:05 and 12/05/26");
        });
}

void tranmsg(benchmark::State& state) {
    std::string record = make_record(tm::min_length, "TRANMSG", {{tm::switch_letter, "N"}});
    time_calls(
        state, {record}, [] {},
        [&] {
            call(record);
            return expect(nullhost::last_transaction() == 0,
                          "TRANMSG N did not switch messages off");
        });
}

// V_DELAY with a count that makes `passes` passes; against this host each wait returns at
// once. Count 1 is 8/3 = 2 passes, count 0 the one pass that every delay makes. Their
// difference is the cost of one pass, to set against its three services.
void v_delay_passes(benchmark::State& state, const char* count, uint64_t passes) {
    std::string record = make_record(vd::count_offset + 1, "V_DELAY", {{vd::count, count}});
    time_calls(
        state, {record}, [] {},
        [&] {
            const uint64_t waits = calls_during(Call::wait_event, [&] { call(record); });
            return expect(waits == passes, "V_DELAY did not make the expected passes");
        });
}

void v_delay(benchmark::State& state) {
    v_delay_passes(state, "1", 2);
}

void v_delay_one_pass(benchmark::State& state) {
    v_delay_passes(state, "0", 1);
}

void wait_uv(benchmark::State& state) {
    std::string record =
        make_record(wu::min_length, "WAIT_UV", {{wu::variable, "06"}, {wu::timeout, "  5"}});
    time_calls(
        state, {record}, [] { nullhost::set_variable(6, "ready"); },
        [&] {
            int result = 0;
            const uint64_t waits = calls_during(Call::wait_event, [&] { result = call(record); });
            return expect(result == 1 && waits == 1,
                          "WAIT_UV on a filled variable did not answer 1 after one wait");
        });
}

// ---------------------------------------------------------------- the name lookup

// The lookup as each call makes it: on the name columns that the record reader copied.
void dispatch(benchmark::State& state, const char* name, int expected) {
    opkit::NameColumns columns = {};
    std::strncpy(columns, name, opkit::name_columns);
    if (opkit::dispatch_find_columns(columns) != expected) {
        opkit_bench::fail(state, "the lookup did not find the expected entry");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(columns);
        int index = opkit::dispatch_find_columns(columns);
        benchmark::DoNotOptimize(index);
    }
}

// ---------------------------------------------------------------- growth

void chkuniq_growth(benchmark::State& state) {
    const int length = static_cast<int>(state.range(0));
    if (length == 0) {
        // The empty value after a reset: found at once in the first (empty) entry.
        std::string reset = reset_record('2');
        std::string record = verify_record(60, '2');
        time_calls(
            state, {record}, [] { nullhost::set_variable(60, ""); },
            [&] {
                call(reset);
                return expect(call(record) == 0, "CHKUNIQ did not find the empty value");
            });
        return;
    }
    chkuniq_new_values(state, '2', 40, length);
}

void compare_growth(benchmark::State& state) {
    const int length = static_cast<int>(state.range(0));
    std::string record = compare_record(70, 71, "EQ");
    time_calls(
        state, {record},
        [&] {
            const std::string text(static_cast<size_t>(length), 'c');
            nullhost::set_variable(70, text.c_str());
            nullhost::set_variable(71, text.c_str());
        },
        [&] { return expect(call(record) == 1, "COMPARE of equal texts did not answer 1"); });
}

void register_all() {
    benchmark::RegisterBenchmark("Call/DICOUNT", dicount_store);
    benchmark::RegisterBenchmark("Call/DICOUNT_increment", dicount_increment);
    benchmark::RegisterBenchmark("Call/POPUPWN", popupwn_open);
    benchmark::RegisterBenchmark("Call/COMPARE", compare_texts);
    benchmark::RegisterBenchmark("Call/CMP_INT", cmp_int);
    benchmark::RegisterBenchmark("Call/INTMATH", intmath);
    benchmark::RegisterBenchmark("Call/CHKUNIQ", chkuniq);
    benchmark::RegisterBenchmark("Call/TM_DATE", tm_date);
    benchmark::RegisterBenchmark("Call/TRANMSG", tranmsg);
    benchmark::RegisterBenchmark("Call/V_DELAY", v_delay);
    benchmark::RegisterBenchmark("Call/V_DELAY_one_pass", v_delay_one_pass);
    benchmark::RegisterBenchmark("Call/WAIT_UV", wait_uv);

    benchmark::RegisterBenchmark("Dispatch/first", dispatch, "DICOUNT", 0);
    benchmark::RegisterBenchmark("Dispatch/TRANMSG", dispatch, "TRANMSG", 7);
    benchmark::RegisterBenchmark("Dispatch/last", dispatch, "wait_uv", 9);
    benchmark::RegisterBenchmark("Dispatch/none", dispatch, "NOSUCH!", -1);

    benchmark::RegisterBenchmark("Growth/CHKUNIQ", chkuniq_growth)
        ->Arg(0)
        ->Arg(1)
        ->Arg(25)
        ->Arg(131);
    benchmark::RegisterBenchmark("Growth/COMPARE", compare_growth)
        ->Arg(0)
        ->Arg(1)
        ->Arg(25)
        ->Arg(131);
}

} // namespace

void register_formatter_benchmarks();

int main(int argc, char** argv) {
    register_all();
    register_formatter_benchmarks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return opkit_bench::exit_status();
}
