// Two builds of the plug-in side by side. Each build is loaded as a host loads it (dlopen, then
// `main` looked up by name) into this one process, and every build's service calls bind to the
// null host that this program links and exports, so both call the very same host. For every
// case (a function's success path, its most common notice path, a message) the path is first
// proven on each build: the result, the notice code, the host calls. Then the builds are
// timed in turns, batch after batch, over many repetitions; each repetition gives the ratio of
// the new build's time to the base build's from batches run right beside each other, so that
// a change in the machine's load meets both sides alike. A third build, the base loaded a
// second time from a copy, measures the noise: its ratio to the base is 1 but for noise.
//
//   opkit_bench_compare [options] BASE.so NEW.so
//     --control COPY.so      the base build again, from a copy of its file (the noise row)
//     --base-label TEXT, --new-label TEXT   names for the two builds in the table
//     --repetitions N        repetitions (default 15)
//     --turns N              batches per build per repetition, the fastest kept (default 3)
//     --batch-ms X           CPU milliseconds per batch (default 2)
//     --limit X              fail when any call's median ratio is above X
//     --limit NAME=X         ... for the call named NAME, NAME* for those whose name starts with
//                            NAME (the last that matches wins)
//     --filter TEXT          only the calls whose name contains TEXT
//     --list                 list the calls and their records, and stop
//     --count N              instead of timing: N calls of each case under callgrind, each
//                            build's count dumped with the label "case|build|N"
//
// Exit status: 0 when every path was proven and no limit was broken, 1 when a limit was
// broken, 2 when a build could not be loaded or a path could not be proven.
#include <dlfcn.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define OPKIT_HAVE_CALLGRIND 1
#else
#define OPKIT_HAVE_CALLGRIND 0
#endif

#include "null_host.h"

namespace {

using nullhost::Call;
using MainFunction = int (*)(int, char*);

// ---------------------------------------------------------------- builds and cases

struct Build {
    std::string label;
    std::string path;
    MainFunction main = nullptr;
};

bool load(Build& build, std::string& problem) {
    // RTLD_LOCAL keeps each build's symbols to itself; RTLD_NOW binds every service at once,
    // so that no first call pays for the binding.
    void* handle = dlopen(build.path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        problem = dlerror();
        return false;
    }
    build.main = reinterpret_cast<MainFunction>(dlsym(handle, "main"));
    if (build.main == nullptr) {
        problem = build.path + " exports no main";
        return false;
    }
    return true;
}

// A record of `length` (the two length digits), `length` + 2 characters long: the name in
// columns 2-8, each text at its column, blanks elsewhere. Records are written out by column
// here, not composed from the tree's rows: the columns are the host's contract, and the same
// record has to suit a build of any revision.
struct Placed {
    int column;
    std::string text;
};

std::string record(int length, const std::string& name, const std::vector<Placed>& fields) {
    std::string text(static_cast<size_t>(length) + 2, ' ');
    text[0] = static_cast<char>('0' + length / 10 % 10);
    text[1] = static_cast<char>('0' + length % 10);
    text.replace(2, name.size(), name);
    for (const Placed& placed : fields) {
        const size_t end = static_cast<size_t>(placed.column) + placed.text.size();
        if (end > text.size()) {
            text.resize(end, ' ');
        }
        text.replace(static_cast<size_t>(placed.column), placed.text.size(), placed.text);
    }
    return text;
}

// One build's side of a case: its own copies of the records (main takes them as writable
// texts), and the position in their cycle.
struct Subject {
    const Build* build = nullptr;
    int message = 3;
    std::vector<std::vector<char>> records;
    size_t next = 0;

    int call_next() {
        const int result = build->main(message, records[next].data());
        if (++next == records.size()) {
            next = 0;
        }
        return result;
    }
    // A call outside the cycle (a proof's own records).
    int call(const std::string& text) const {
        std::vector<char> copy(text.begin(), text.end());
        copy.push_back('\0');
        return build->main(3, copy.data());
    }
};

struct Case {
    std::string name;
    int message;
    std::vector<std::string> records;
    std::function<void()> prepare; // the host's state for the calls
    int result;                    // of every call in the cycle (checked on the last of a round)
    std::string notice;            // the code every call shows; "" for none
    // Further proof, before the first round: "" when the path is the intended one.
    std::function<std::string(Subject&)> prove;
};

void no_preparation() {}

uint64_t all_calls() {
    uint64_t total = 0;
    for (int kind = 0; kind < nullhost::call_kinds; ++kind) {
        total += nullhost::calls(static_cast<Call>(kind));
    }
    return total;
}

std::vector<Case> make_cases() {
    std::vector<Case> cases;
    const auto add = [&](Case c) {
        if (!c.prepare) {
            c.prepare = no_preparation;
        }
        cases.push_back(std::move(c));
    };

    const std::string store = record(32, "DICOUNT", {{10, "S"}, {20, "07"}, {31, "03"}});
    const std::string increment = record(21, "DICOUNT", {{10, "I"}, {20, "07"}});
    // A store, an increment and a store again: the second text is the first plus one.
    const auto counter_grows = [store, increment](Subject& s) {
        s.call(store);
        const std::string before = nullhost::variable(3);
        s.call(increment);
        s.call(store);
        const bool added =
            !before.empty() && std::to_string(std::stoll(before) + 1) == nullhost::variable(3);
        return added ? "" : "the stored counter did not grow by one";
    };
    add({"DICOUNT increment", 3, {increment}, nullptr, 0, "", counter_grows});
    add({"DICOUNT store", 3, {store}, nullptr, 0, "", counter_grows});
    add({"DICOUNT counter 33 (D2)",
         3,
         {record(21, "DICOUNT", {{10, "I"}, {20, "33"}})},
         nullptr,
         0,
         "D2",
         nullptr});

    add({"POPUPWN open and close",
         3,
         {record(23, "POPUPWN", {{10, "C"}, {16, "08"}, {24, "N"}}),
          record(9, "POPUPWN", {{10, "R"}})},
         nullptr,
         0,
         "",
         [](Subject& s) {
             const uint64_t saved = nullhost::calls(Call::read_cells);
             s.call_next();
             const uint64_t drawn = nullhost::calls(Call::write_text_attribute);
             s.call_next();
             const bool box = nullhost::calls(Call::read_cells) - saved == 10 && drawn == 10 &&
                              nullhost::calls(Call::write_cells) == 10;
             return box ? "" : "the box was not saved, drawn and restored on 10 rows";
         }});
    add({"POPUPWN rows 20 (P3)",
         3,
         {record(23, "POPUPWN", {{10, "C"}, {16, "20"}, {24, "N"}})},
         nullptr,
         0,
         "P3",
         nullptr});

    const auto two_variables = [](const char* left, const char* right) {
        return [left, right] {
            nullhost::set_variable(3, left);
            nullhost::set_variable(4, right);
        };
    };
    add({"COMPARE",
         3,
         {record(36, "COMPARE", {{14, "03"}, {18, "EQ"}, {25, "04"}, {37, "S"}})},
         two_variables("hello world", "hello world"),
         1,
         "",
         nullptr});
    add({"COMPARE variable 0 (C2)",
         3,
         {record(36, "COMPARE", {{14, "00"}, {18, "EQ"}, {25, "04"}, {37, "S"}})},
         two_variables("hello world", "hello world"),
         0,
         "C2",
         nullptr});

    add({"CMP_INT",
         3,
         {record(29, "CMP_INT", {{12, "03"}, {16, "GT"}, {21, "04"}, {30, "S"}})},
         two_variables("12345", "-678"),
         1,
         "",
         nullptr});
    add({"CMP_INT no mode (C4)",
         3,
         {record(28, "CMP_INT", {{12, "03"}, {16, "GT"}, {21, "04"}})},
         two_variables("12345", "-678"),
         0,
         "C4",
         nullptr});

    add({"INTMATH",
         3,
         {record(21, "INTMATH", {{12, "03"}, {16, "+"}, {20, "04"}})},
         two_variables("12345", "-678"),
         0,
         "",
         [](Subject& s) {
             s.call_next();
             return std::string(nullhost::variable(1)) == "11667" ? "" : "1 did not become 11667";
         }});
    add({"INTMATH divide by 0 (C6)",
         3,
         {record(21, "INTMATH", {{12, "03"}, {16, "/"}, {20, "04"}})},
         two_variables("12345", "0"),
         0,
         "C6",
         nullptr});

    // Eleven values cycled through a list of ten: every verify finds its value new, compares
    // it with all ten entries and stores it.
    std::vector<std::string> verifies;
    for (int i = 0; i < 11; ++i) {
        verifies.push_back(
            record(24, "CHKUNIQ", {{10, "V"}, {14, std::to_string(20 + i)}, {25, "1"}}));
    }
    const std::string reset = record(22, "CHKUNIQ", {{10, "R"}, {23, "1"}});
    add({"CHKUNIQ verify", 3, verifies,
         [] {
             for (int i = 0; i < 11; ++i) {
                 const std::string value = "vvvvvvv" + std::string(1, static_cast<char>('A' + i));
                 nullhost::set_variable(20 + i, value.c_str());
             }
         },
         1, "",
         [reset](Subject& s) {
             s.call(reset);
             int found_new = 0;
             for (int i = 0; i < 11; ++i) {
                 found_new += s.call_next();
             }
             return found_new == 11 ? "" : "the cycled values were not all new";
         }});
    add({"CHKUNIQ list 3 (U4)",
         3,
         {record(24, "CHKUNIQ", {{10, "V"}, {14, "20"}, {25, "3"}})},
         [] { nullhost::set_variable(20, "value"); },
         0,
         "U4",
         nullptr});

    add({"TM_DATE",
         3,
         {record(52, "TM_DATE", {{10, "24"}, {30, "07"}, {35, "AMER"}, {52, "08"}})},
         nullptr,
         0,
         "",
         [](Subject& s) {
             s.call_next();
             const bool written = std::string(nullhost::variable(7)) == "14:30:05" &&
                                  std::string(nullhost::variable(8)) == "12/05/26";
             return written ? "" : "7 and 8 did not become 14:30:05 and 12/05/26";
         }});
    add({"TM_DATE style USA (E5)",
         3,
         {record(52, "TM_DATE", {{10, "24"}, {30, "07"}, {35, "USA "}, {52, "08"}})},
         nullptr,
         0,
         "E5",
         nullptr});

    add({"TRANMSG", 3, {record(10, "TRANMSG", {{10, "N"}})}, nullptr, 0, "", [](Subject& s) {
             s.call_next();
             return nullhost::last_transaction() == 0 ? "" : "messages were not switched off";
         }});
    add({"TRANMSG too short (F1)",
         3,
         {record(9, "TRANMSG", {{10, "N"}})},
         nullptr,
         0,
         "F1",
         nullptr});

    add({"V_DELAY 0", 3, {record(9, "V_DELAY", {{10, "0"}})}, nullptr, 0, "", [](Subject& s) {
             const uint64_t before = nullhost::calls(Call::wait_event);
             s.call_next();
             return nullhost::calls(Call::wait_event) - before == 1 ? "" : "not one pass";
         }});
    add({"V_DELAY too long (V3)",
         3,
         {record(14, "V_DELAY", {{10, "000000"}})},
         nullptr,
         0,
         "V3",
         nullptr});

    add({"WAIT_UV, variable set",
         3,
         {record(22, "WAIT_UV", {{14, "06"}, {21, "  5"}})},
         [] { nullhost::set_variable(6, "ready"); },
         1,
         "",
         [](Subject& s) {
             const uint64_t before = nullhost::calls(Call::wait_event);
             const int result = s.call_next();
             return result == 1 && nullhost::calls(Call::wait_event) - before == 1
                        ? ""
                        : "no answer 1 after one wait";
         }});
    add({"WAIT_UV variable 0 (W3)",
         3,
         {record(22, "WAIT_UV", {{14, "00"}, {21, "  5"}})},
         nullptr,
         0,
         "W3",
         nullptr});

    add({"unknown name (M1)", 3, {record(10, "NOSUCH!", {})}, nullptr, 0, "M1", nullptr});
    add({"message 5", 5, {std::string()}, nullptr, 0, "", nullptr});
    return cases;
}

// ---------------------------------------------------------------- proof

struct Prepared {
    std::vector<Subject> subjects;  // one per build, in the order of the builds
    std::vector<double> host_calls; // per build: host calls per call in one round
};

std::string prove(const Case& c, Subject& s, double& host_calls) {
    nullhost::reset();
    c.prepare();
    if (c.prove) {
        const std::string problem = c.prove(s);
        if (!problem.empty()) {
            return problem;
        }
    }
    // One round with the counts from zero: every call's result, and the notices it showed.
    nullhost::reset();
    c.prepare();
    int result = 0;
    for (size_t i = 0; i < s.records.size(); ++i) {
        result = s.call_next();
    }
    host_calls = static_cast<double>(all_calls()) / static_cast<double>(s.records.size());
    if (result != c.result) {
        return "answered " + std::to_string(result) + ", expected " + std::to_string(c.result);
    }
    const uint64_t expected_notices = c.notice.empty() ? 0 : s.records.size();
    if (nullhost::notices() != expected_notices || c.notice != nullhost::last_notice_code()) {
        return "showed " + std::to_string(nullhost::notices()) + " notices (last code \"" +
               nullhost::last_notice_code() + "\"), expected " +
               (c.notice.empty() ? std::string("none") : c.notice);
    }
    return "";
}

// ---------------------------------------------------------------- timing

double thread_cpu_ns() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

volatile int result_sink;

double batch_ns(Subject& s, size_t calls) {
    int results = 0;
    const double started = thread_cpu_ns();
    for (size_t i = 0; i < calls; ++i) {
        results += s.call_next();
    }
    const double elapsed = thread_cpu_ns() - started;
    result_sink = results;
    return elapsed / static_cast<double>(calls);
}

double quantile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const double position = fraction * static_cast<double>(values.size() - 1);
    const size_t below = static_cast<size_t>(position);
    const size_t above = std::min(below + 1, values.size() - 1);
    const double weight = position - static_cast<double>(below);
    return values[below] * (1.0 - weight) + values[above] * weight;
}

struct Options {
    std::vector<Build> builds; // base, new, and the control when given
    bool control = false;
    int repetitions = 15;
    int turns = 3;
    double batch_ms = 2.0;
    double limit = 0.0; // 0: none
    std::vector<std::pair<std::string, double>> named_limits;
    std::string filter;
    bool list = false;
    long count = 0;
};

// A NAME matches the call of that name; NAME* every call whose name starts with NAME.
bool name_matches(const std::string& pattern, const std::string& name) {
    if (!pattern.empty() && pattern.back() == '*') {
        return name.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
    }
    return name == pattern;
}

double limit_for(const Options& options, const std::string& name) {
    double limit = options.limit;
    for (const auto& [pattern, value] : options.named_limits) {
        if (name_matches(pattern, name)) {
            limit = value;
        }
    }
    return limit;
}

std::string load_average() {
    std::ifstream file("/proc/loadavg");
    std::string one;
    std::string five;
    std::string fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

int usage(const char* problem) {
    std::fprintf(stderr,
                 "opkit_bench_compare: %s\n"
                 "usage: opkit_bench_compare [--control COPY.so] [--base-label TEXT] "
                 "[--new-label TEXT]\n"
                 "       [--repetitions N] [--turns N] [--batch-ms X] [--limit X] "
                 "[--limit NAME=X]...\n"
                 "       [--filter TEXT] [--list] [--count N] BASE.so NEW.so\n",
                 problem);
    return 2;
}

bool parse_number(const char* text, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(value) && value > 0;
}

// Parses the command line into `options`; an empty text when it is usable.
std::string parse(int argc, char** argv, Options& options) {
    std::vector<std::string> paths;
    std::string base_label = "base";
    std::string new_label = "new";
    std::string control_path;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        double number = 0;
        if (arg == "--list") {
            options.list = true;
        } else if (arg.rfind("--", 0) == 0 && !has_value) {
            return arg + " needs a value";
        } else if (arg == "--control") {
            control_path = argv[++i];
        } else if (arg == "--base-label") {
            base_label = argv[++i];
        } else if (arg == "--new-label") {
            new_label = argv[++i];
        } else if (arg == "--filter") {
            options.filter = argv[++i];
        } else if (arg == "--limit") {
            const std::string value = argv[++i];
            const size_t equals = value.rfind('=');
            const std::string figure =
                equals == std::string::npos ? value : value.substr(equals + 1);
            if (!parse_number(figure.c_str(), number)) {
                return "--limit " + value + ": not a positive number";
            }
            if (equals == std::string::npos) {
                options.limit = number;
            } else {
                options.named_limits.emplace_back(value.substr(0, equals), number);
            }
        } else if (arg == "--repetitions" || arg == "--turns" || arg == "--batch-ms" ||
                   arg == "--count") {
            if (!parse_number(argv[++i], number)) {
                return arg + " " + argv[i] + ": not a positive number";
            }
            if (arg == "--batch-ms") {
                options.batch_ms = number;
            } else if (number != std::floor(number) || number > 1e9) {
                return arg + " " + argv[i] + ": not a whole number";
            } else if (arg == "--repetitions") {
                options.repetitions = static_cast<int>(number);
            } else if (arg == "--turns") {
                options.turns = static_cast<int>(number);
            } else {
                options.count = static_cast<long>(number);
            }
        } else if (arg.rfind("--", 0) == 0) {
            return "unknown option " + arg;
        } else {
            paths.push_back(arg);
        }
    }
    if (options.list) {
        return "";
    }
    if (paths.size() != 2) {
        return "give the base build and the new build";
    }
    options.builds.push_back({base_label, paths[0]});
    options.builds.push_back({new_label, paths[1]});
    if (!control_path.empty()) {
        options.builds.push_back({base_label + " again", control_path});
        options.control = true;
    }
    return "";
}

std::string printable(const std::string& text) {
    return text.empty() ? "(none)" : "\"" + text + "\"";
}

int count_instructions(const Options& options, std::vector<Case>& cases,
                       std::vector<Prepared>& prepared) {
#if OPKIT_HAVE_CALLGRIND
    if (RUNNING_ON_VALGRIND == 0) {
        std::fprintf(stderr, "opkit_bench_compare: --count runs under valgrind --tool=callgrind "
                             "--collect-atstart=no\n");
        return 2;
    }
    for (size_t c = 0; c < cases.size(); ++c) {
        for (size_t b = 0; b < options.builds.size(); ++b) {
            Subject& s = prepared[c].subjects[b];
            nullhost::reset();
            cases[c].prepare();
            s.call_next(); // one call outside the count: the first touch of code and data
            const std::string label =
                cases[c].name + "|" + options.builds[b].label + "|" + std::to_string(options.count);
            CALLGRIND_ZERO_STATS;
            CALLGRIND_TOGGLE_COLLECT;
            for (long i = 0; i < options.count; ++i) {
                s.call_next();
            }
            CALLGRIND_TOGGLE_COLLECT;
            CALLGRIND_DUMP_STATS_AT(label.c_str());
        }
    }
    return 0;
#else
    (void)options;
    (void)cases;
    (void)prepared;
    std::fprintf(stderr, "opkit_bench_compare: built without valgrind/callgrind.h\n");
    return 2;
#endif
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    const std::string problem = parse(argc, argv, options);
    if (!problem.empty()) {
        return usage(problem.c_str());
    }

    std::vector<Case> cases;
    for (Case& c : make_cases()) {
        if (c.name.find(options.filter) != std::string::npos) {
            cases.push_back(std::move(c));
        }
    }
    if (cases.empty()) {
        return usage(("no call's name contains \"" + options.filter + "\"").c_str());
    }
    if (options.list) {
        for (const Case& c : cases) {
            std::printf("%-26s message %d, records", c.name.c_str(), c.message);
            for (const std::string& text : c.records) {
                std::printf(" %s", printable(text).c_str());
            }
            std::printf("\n");
        }
        return 0;
    }

    for (Build& build : options.builds) {
        std::string why;
        if (!load(build, why)) {
            std::fprintf(stderr, "opkit_bench_compare: cannot load %s: %s\n", build.path.c_str(),
                         why.c_str());
            return 2;
        }
    }

    // Every path proven on every build before anything is timed.
    std::vector<Prepared> prepared(cases.size());
    bool proven = true;
    for (size_t c = 0; c < cases.size(); ++c) {
        for (const Build& build : options.builds) {
            Subject s;
            s.build = &build;
            s.message = cases[c].message;
            for (const std::string& text : cases[c].records) {
                std::vector<char> copy(text.begin(), text.end());
                copy.push_back('\0');
                s.records.push_back(std::move(copy));
            }
            double host_calls = 0;
            const std::string why = prove(cases[c], s, host_calls);
            if (!why.empty()) {
                std::fprintf(stderr, "opkit_bench_compare: %s on %s: %s\n", cases[c].name.c_str(),
                             build.label.c_str(), why.c_str());
                proven = false;
            }
            prepared[c].subjects.push_back(std::move(s));
            prepared[c].host_calls.push_back(host_calls);
        }
    }
    if (!proven) {
        return 2;
    }
    if (options.count > 0) {
        return count_instructions(options, cases, prepared);
    }

    const std::string load_before = load_average();
    const size_t build_count = options.builds.size();
    // Per case: the calls of one batch, set on the base build so that a batch takes about
    // --batch-ms of CPU time.
    std::vector<size_t> batch_calls(cases.size());
    for (size_t c = 0; c < cases.size(); ++c) {
        nullhost::reset();
        cases[c].prepare();
        Subject& base = prepared[c].subjects[0];
        const size_t round = base.records.size();
        size_t calls = round;
        double ns = batch_ns(base, calls);
        while (ns * static_cast<double>(calls) < options.batch_ms * 1e5) {
            calls *= 4;
            ns = batch_ns(base, calls);
        }
        const double wanted = options.batch_ms * 1e6 / ns;
        batch_calls[c] = std::max(round, static_cast<size_t>(wanted) / round * round);
    }

    // ratios[c][b]: per repetition, build b's time over the base's; times[c][b]: per
    // repetition, build b's fastest batch (ns per call).
    std::vector<std::vector<std::vector<double>>> ratios(
        cases.size(), std::vector<std::vector<double>>(build_count));
    std::vector<std::vector<std::vector<double>>> times = ratios;
    std::vector<size_t> order(cases.size());
    for (size_t c = 0; c < order.size(); ++c) {
        order[c] = c;
    }
    unsigned shuffle_state = 12345;
    bool path_left = false;
    for (int rep = 0; rep < options.repetitions && !path_left; ++rep) {
        // The cases in a new order each repetition, so that no case always follows another.
        for (size_t i = order.size(); i > 1; --i) {
            shuffle_state = shuffle_state * 1103515245U + 12345U;
            std::swap(order[i - 1], order[(shuffle_state >> 16) % i]);
        }
        for (const size_t c : order) {
            nullhost::reset();
            cases[c].prepare();
            std::vector<double> fastest(build_count, 1e300);
            for (int turn = 0; turn < options.turns; ++turn) {
                // Builds in turn, the order reversed every other turn.
                for (size_t k = 0; k < build_count; ++k) {
                    const size_t b = (turn + rep) % 2 == 0 ? k : build_count - 1 - k;
                    fastest[b] =
                        std::min(fastest[b], batch_ns(prepared[c].subjects[b], batch_calls[c]));
                }
            }
            const bool notices_as_expected = cases[c].notice.empty()
                                                 ? nullhost::notices() == 0
                                                 : cases[c].notice == nullhost::last_notice_code();
            if (!notices_as_expected) {
                std::fprintf(stderr, "opkit_bench_compare: %s left its path while timed\n",
                             cases[c].name.c_str());
                path_left = true;
            }
            for (size_t b = 0; b < build_count; ++b) {
                times[c][b].push_back(fastest[b]);
                ratios[c][b].push_back(fastest[b] / fastest[0]);
            }
        }
    }
    if (path_left) {
        return 2;
    }

    std::printf("base: %s (%s)\nnew:  %s (%s)\n", options.builds[0].label.c_str(),
                options.builds[0].path.c_str(), options.builds[1].label.c_str(),
                options.builds[1].path.c_str());
    std::printf("%d repetitions; in each, %d batches of about %.1f ms CPU per build and call, "
                "builds in turn, the fastest batch kept;\nratio: the new build's time over the "
                "base's in the same repetition, median and quartiles of the repetitions\n",
                options.repetitions, options.turns, options.batch_ms);
    if (options.control) {
        std::printf("noise: the base build loaded twice (a copy of its file) against itself\n");
    }
    std::printf("load average before: %s, after: %s\n\n", load_before.c_str(),
                load_average().c_str());

    std::printf("%-26s %8s %8s  %9s  %-13s", "call", "base ns", "new ns", "new/base", "quartiles");
    if (options.control) {
        std::printf("  %-7s %-13s", "noise", "quartiles");
    }
    std::printf("  %s\n", "host calls");
    bool broken = false;
    double worst = 0;
    std::string worst_name;
    double noise_extent = 0;
    for (size_t c = 0; c < cases.size(); ++c) {
        const double ratio = quantile(ratios[c][1], 0.5);
        const double limit = limit_for(options, cases[c].name);
        const bool over = limit > 0 && ratio > limit;
        broken = broken || over;
        if (ratio > worst) {
            worst = ratio;
            worst_name = cases[c].name;
        }
        std::printf("%-26s %8.1f %8.1f  %9.3f  %.3f-%.3f  ", cases[c].name.c_str(),
                    quantile(times[c][0], 0.5), quantile(times[c][1], 0.5), ratio,
                    quantile(ratios[c][1], 0.25), quantile(ratios[c][1], 0.75));
        if (options.control) {
            const double noise = quantile(ratios[c][2], 0.5);
            noise_extent = std::max(noise_extent, std::fabs(noise - 1.0));
            std::printf("%7.3f %.3f-%.3f  ", noise, quantile(ratios[c][2], 0.25),
                        quantile(ratios[c][2], 0.75));
        }
        const double base_calls = prepared[c].host_calls[0];
        const double new_calls = prepared[c].host_calls[1];
        if (base_calls == new_calls) {
            std::printf("%g", base_calls);
        } else {
            std::printf("%g -> %g", base_calls, new_calls);
        }
        if (limit > 0) {
            std::printf("%s  limit %.2f", over ? "  OVER" : "", limit);
        }
        std::printf("\n");
    }
    std::printf("\nworst: %s, %.3f", worst_name.c_str(), worst);
    if (options.control) {
        std::printf("; noise: the base against itself within %.3f of 1 (medians)", noise_extent);
    }
    std::printf("\n");
    if (broken) {
        std::printf("FAILED: a call is slower than its limit\n");
        return 1;
    }
    if (options.limit > 0 || !options.named_limits.empty()) {
        std::printf("every call within its limit\n");
    }
    return 0;
}
