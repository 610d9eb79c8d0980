// A benchmark that cannot take its figure (the call left its intended path, two formatters
// disagree) says so and marks the whole program as failed, so that no script mistakes a
// missing figure for a measurement.
#pragma once

#include <benchmark/benchmark.h>

#include <string>

namespace opkit_bench {

inline int failures = 0;

inline void fail(benchmark::State& state, const std::string& why) {
    ++failures;
    state.SkipWithError(why.c_str());
}

// The program's exit status after the run.
inline int exit_status() {
    return failures == 0 ? 0 : 1;
}

} // namespace opkit_bench
