// The formatter against the platform's snprintf and against {fmt}'s format_to_n: for each
// format, scr_printf with row -1 and the other two build the same text into the same
// capacity. Before timing, all three are run once and their texts compared, so a ratio is
// only ever taken between equal outputs.
#include <benchmark/benchmark.h>

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <utility>

#include <fmt/format.h>

#include "failures.h"
#include "screen/screen.h"

namespace {

// The value, hidden from the optimiser so that neither side is folded at compile time.
template <typename T> T opaque(T value) {
    benchmark::DoNotOptimize(value);
    return value;
}

constexpr int buffer_size = 256;

using Formatter = int (*)(char* out, int capacity);

struct FormatCase {
    const char* label;
    int capacity;
    Formatter ours;   // scr_printf, row -1
    Formatter theirs; // snprintf with a format that yields the same text
    Formatter fmt;    // fmt::format_to_n with a format that yields the same text
};

// fmt::format_to_n into the same capacity, ended with a NUL like the other two; the length
// of the whole text as the result, as snprintf gives it.
template <typename... Args>
int fmt_n(char* out, int capacity, fmt::format_string<Args...> format, Args&&... args) {
    const auto written =
        fmt::format_to_n(out, size_t(capacity - 1), format, std::forward<Args>(args)...);
    *written.out = '\0';
    return static_cast<int>(written.size);
}

// The width forms are chosen where both formatters agree (scr_printf puts a sign before
// space padding, snprintf after it, so signed values with width use zero fill or '-').
const FormatCase format_cases[] = {
    {"keycode_line", 128,
     [](char* o, int c) { return opkit::scr_printf(o, c, -1, 0, "Key code = 0x%X  ", opaque(13)); },
     [](char* o, int c) { return snprintf(o, size_t(c), "Key code = 0x%X  ", opaque(13u)); },
     [](char* o, int c) { return fmt_n(o, c, FMT_STRING("Key code = 0x{:X}  "), opaque(13u)); }},
    {"d_min", 32,
     [](char* o, int c) { return opkit::scr_printf(o, c, -1, 0, "%d", opaque(INT32_MIN)); },
     [](char* o, int c) { return snprintf(o, size_t(c), "%d", opaque(INT32_MIN)); },
     [](char* o, int c) { return fmt_n(o, c, FMT_STRING("{}"), opaque(INT32_MIN)); }},
    {"i_max", 32,
     [](char* o, int c) { return opkit::scr_printf(o, c, -1, 0, "%i", opaque(INT32_MAX)); },
     [](char* o, int c) { return snprintf(o, size_t(c), "%i", opaque(INT32_MAX)); },
     [](char* o, int c) { return fmt_n(o, c, FMT_STRING("{}"), opaque(INT32_MAX)); }},
    {"d_small", 32, [](char* o, int c) { return opkit::scr_printf(o, c, -1, 0, "%d", opaque(7)); },
     [](char* o, int c) { return snprintf(o, size_t(c), "%d", opaque(7)); },
     [](char* o, int c) { return fmt_n(o, c, FMT_STRING("{}"), opaque(7)); }},
    {"d_width6", 32,
     [](char* o, int c) { return opkit::scr_printf(o, c, -1, 0, "%6d", opaque(42)); },
     [](char* o, int c) { return snprintf(o, size_t(c), "%6d", opaque(42)); },
     [](char* o, int c) { return fmt_n(o, c, FMT_STRING("{:6}"), opaque(42)); }},
    {"d_left6_neg", 32,
     [](char* o, int c) { return opkit::scr_printf(o, c, -1, 0, "%-6d", opaque(-42)); },
     [](char* o, int c) { return snprintf(o, size_t(c), "%-6d", opaque(-42)); },
     [](char* o, int c) { return fmt_n(o, c, FMT_STRING("{:<6}"), opaque(-42)); }},
    {"d_zero6_neg", 32,
     [](char* o, int c) { return opkit::scr_printf(o, c, -1, 0, "%06d", opaque(-42)); },
     [](char* o, int c) { return snprintf(o, size_t(c), "%06d", opaque(-42)); },
     [](char* o, int c) { return fmt_n(o, c, FMT_STRING("{:06}"), opaque(-42)); }},
    {"d_plus", 32, [](char* o, int c) { return opkit::scr_printf(o, c, -1, 0, "%+d", opaque(5)); },
     [](char* o, int c) { return snprintf(o, size_t(c), "%+d", opaque(5)); },
     [](char* o, int c) { return fmt_n(o, c, FMT_STRING("{:+}"), opaque(5)); }},
    {"i_space", 32, [](char* o, int c) { return opkit::scr_printf(o, c, -1, 0, "% i", opaque(5)); },
     [](char* o, int c) { return snprintf(o, size_t(c), "% i", opaque(5)); },
     [](char* o, int c) { return fmt_n(o, c, FMT_STRING("{: }"), opaque(5)); }},
    {"i_zero8_neg", 32,
     [](char* o, int c) { return opkit::scr_printf(o, c, -1, 0, "%08i", opaque(-12345)); },
     [](char* o, int c) { return snprintf(o, size_t(c), "%08i", opaque(-12345)); },
     [](char* o, int c) { return fmt_n(o, c, FMT_STRING("{:08}"), opaque(-12345)); }},
    {"u_max", 32,
     [](char* o, int c) { return opkit::scr_printf(o, c, -1, 0, "%u", opaque(UINT32_MAX)); },
     [](char* o, int c) { return snprintf(o, size_t(c), "%u", opaque(UINT32_MAX)); },
     [](char* o, int c) { return fmt_n(o, c, FMT_STRING("{}"), opaque(UINT32_MAX)); }},
    {"x_minus1", 32,
     [](char* o, int c) { return opkit::scr_printf(o, c, -1, 0, "%x", opaque(-1)); },
     [](char* o, int c) { return snprintf(o, size_t(c), "%x", opaque(UINT32_MAX)); },
     [](char* o, int c) { return fmt_n(o, c, FMT_STRING("{:x}"), opaque(UINT32_MAX)); }},
    {"X_pattern", 32,
     [](char* o, int c) { return opkit::scr_printf(o, c, -1, 0, "%X", opaque(0x7EADBEEF)); },
     [](char* o, int c) { return snprintf(o, size_t(c), "%X", opaque(0x7EADBEEFu)); },
     [](char* o, int c) { return fmt_n(o, c, FMT_STRING("{:X}"), opaque(0x7EADBEEFu)); }},
    {"o_minus1", 32,
     [](char* o, int c) { return opkit::scr_printf(o, c, -1, 0, "%o", opaque(-1)); },
     [](char* o, int c) { return snprintf(o, size_t(c), "%o", opaque(UINT32_MAX)); },
     [](char* o, int c) { return fmt_n(o, c, FMT_STRING("{:o}"), opaque(UINT32_MAX)); }},
    {"o_min", 32,
     [](char* o, int c) { return opkit::scr_printf(o, c, -1, 0, "%o", opaque(INT32_MIN)); },
     [](char* o, int c) { return snprintf(o, size_t(c), "%o", opaque(0x80000000u)); },
     [](char* o, int c) { return fmt_n(o, c, FMT_STRING("{:o}"), opaque(0x80000000u)); }},
    {"s_plain", 64,
     [](char* o, int c) {
         return opkit::scr_printf(o, c, -1, 0, "%s", opaque("Press any key to continue"));
     },
     [](char* o, int c) {
         return snprintf(o, size_t(c), "%s", opaque("Press any key to continue"));
     },
     [](char* o, int c) {
         return fmt_n(o, c, FMT_STRING("{}"), opaque("Press any key to continue"));
     }},
    {"s_width10_prec3", 32,
     [](char* o, int c) { return opkit::scr_printf(o, c, -1, 0, "%10.3s", opaque("abcdef")); },
     [](char* o, int c) { return snprintf(o, size_t(c), "%10.3s", opaque("abcdef")); },
     [](char* o, int c) { return fmt_n(o, c, FMT_STRING("{:>10.3}"), opaque("abcdef")); }},
    {"s_left10_prec3", 32,
     [](char* o, int c) { return opkit::scr_printf(o, c, -1, 0, "%-10.3s", opaque("abcdef")); },
     [](char* o, int c) { return snprintf(o, size_t(c), "%-10.3s", opaque("abcdef")); },
     [](char* o, int c) { return fmt_n(o, c, FMT_STRING("{:<10.3}"), opaque("abcdef")); }},
    {"s_width20", 32,
     [](char* o, int c) { return opkit::scr_printf(o, c, -1, 0, "%20s", opaque("abcdef")); },
     [](char* o, int c) { return snprintf(o, size_t(c), "%20s", opaque("abcdef")); },
     [](char* o, int c) { return fmt_n(o, c, FMT_STRING("{:>20}"), opaque("abcdef")); }},
    {"c", 32, [](char* o, int c) { return opkit::scr_printf(o, c, -1, 0, "%c", opaque('A')); },
     [](char* o, int c) { return snprintf(o, size_t(c), "%c", opaque('A')); },
     [](char* o, int c) { return fmt_n(o, c, FMT_STRING("{}"), opaque('A')); }},
    {"c_width3", 32,
     [](char* o, int c) { return opkit::scr_printf(o, c, -1, 0, "%3c", opaque('A')); },
     [](char* o, int c) { return snprintf(o, size_t(c), "%3c", opaque('A')); },
     [](char* o, int c) { return fmt_n(o, c, FMT_STRING("{:>3}"), opaque('A')); }},
    {"literal", 64,
     [](char* o, int c) {
         return opkit::scr_printf(o, c, -1, 0, "Press any key to continue       ");
     },
     [](char* o, int c) { return snprintf(o, size_t(c), "Press any key to continue       "); },
     [](char* o, int c) { return fmt_n(o, c, FMT_STRING("Press any key to continue       ")); }},
    {"mixed", 64,
     [](char* o, int c) {
         return opkit::scr_printf(o, c, -1, 0, "%s=%d (0x%X) %c", opaque("count"), opaque(1234),
                                  opaque(1234), opaque('!'));
     },
     [](char* o, int c) {
         return snprintf(o, size_t(c), "%s=%d (0x%X) %c", opaque("count"), opaque(1234),
                         opaque(1234u), opaque('!'));
     },
     [](char* o, int c) {
         return fmt_n(o, c, FMT_STRING("{}={} (0x{:X}) {}"), opaque("count"), opaque(1234),
                      opaque(1234u), opaque('!'));
     }},
};

// All three formatters must produce the same text, and scr_printf must report success.
std::string compare_outputs(const FormatCase& format) {
    char ours[buffer_size];
    char theirs[buffer_size];
    char fmt_text[buffer_size];
    const int our_result = format.ours(ours, format.capacity);
    const int their_result = format.theirs(theirs, format.capacity);
    const int fmt_result = format.fmt(fmt_text, format.capacity);
    if (our_result != 0) {
        return "scr_printf failed with " + std::to_string(our_result);
    }
    if (their_result < 0 || their_result >= format.capacity) {
        return "snprintf did not fit";
    }
    if (fmt_result >= format.capacity) {
        return "fmt::format_to_n did not fit";
    }
    if (std::string(ours) != theirs) {
        return "texts differ: scr_printf '" + std::string(ours) + "', snprintf '" + theirs + "'";
    }
    if (std::string(ours) != fmt_text) {
        return "texts differ: scr_printf '" + std::string(ours) + "', fmt '" + fmt_text + "'";
    }
    return {};
}

void time_formatter(benchmark::State& state, const FormatCase* format,
                    Formatter FormatCase::*side) {
    const std::string problem = compare_outputs(*format);
    if (!problem.empty()) {
        opkit_bench::fail(state, problem);
        return;
    }
    const Formatter formatter = format->*side;
    char out[buffer_size];
    for (auto _ : state) {
        int result = formatter(out, format->capacity);
        benchmark::DoNotOptimize(result);
        benchmark::DoNotOptimize(out);
    }
}

} // namespace

void register_formatter_benchmarks() {
    for (const FormatCase& format : format_cases) {
        const std::string base = std::string("Format/") + format.label;
        benchmark::RegisterBenchmark((base + "/scr_printf").c_str(), time_formatter, &format,
                                     &FormatCase::ours);
        benchmark::RegisterBenchmark((base + "/snprintf").c_str(), time_formatter, &format,
                                     &FormatCase::theirs);
        benchmark::RegisterBenchmark((base + "/fmt").c_str(), time_formatter, &format,
                                     &FormatCase::fmt);
    }
}
