// Counters shared by the benchmark programs.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

#include "tests/support/alloc_counter.h"

// Allocations made by the code under measurement: the counts are taken just before the
// first iteration and just after the last, so the framework's own set-up stays outside.
inline void report_allocations(benchmark::State& state, int64_t allocations_before) {
    int64_t made = alloc_counter::counts().allocations - allocations_before;
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(made), benchmark::Counter::kAvgIterations);
}

// Time per item of work, shown next to the time per iteration.
inline void report_time_per(benchmark::State& state, const char* name, int64_t items_per_iteration) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * items_per_iteration);
    state.counters[name] = benchmark::Counter(static_cast<double>(items_per_iteration),
                                              benchmark::Counter::kIsIterationInvariantRate |
                                                  benchmark::Counter::kInvert);
}
