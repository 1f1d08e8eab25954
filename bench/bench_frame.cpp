// One frame as a host runs it: a poll, then one next-bit call per entry, all through the
// entry point, over the simulated platform with its call log off.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "bench/bench_counters.h"
#include "bench/bench_platform.h"

namespace {

constexpr int FRAME_ENTRIES = 160;

// The frame of mapping over the first `controllers` controllers.
void run_frame(benchmark::State& state, int controllers, const std::string& mapping) {
    attach_controllers(controllers);
    bench_device(CMD_CONFIGURE, reinterpret_cast<intptr_t>(mapping.c_str()));
    // The first poll after a configure only acquires the controllers.
    bench_device(CMD_POLL, 0);

    int reads_before = sim_calls("GetDeviceState");
    if (bench_device(CMD_POLL, 0) != FRAME_ENTRIES || sim_calls("GetDeviceState") - reads_before != controllers) {
        state.SkipWithError("the frame does not read every controller into a full table");
        detach_controllers();
        return;
    }

    int frames_before = sim_calls("GetDeviceState");
    int64_t allocations = allocations_so_far();
    for (auto _ : state) {
        intptr_t count = bench_device(CMD_POLL, 0);
        intptr_t ones = 0;
        for (intptr_t i = 0; i < count; ++i) ones += bench_device(CMD_NEXT_BIT, 0);
        benchmark::DoNotOptimize(ones);
    }
    report_allocations(state, allocations);
    report_time_per(state, "per_entry", FRAME_ENTRIES);
    state.counters["device_reads"] = benchmark::Counter(
        static_cast<double>(sim_calls("GetDeviceState") - frames_before), benchmark::Counter::kAvgIterations);
    detach_controllers();
}

void BM_frame_poll_and_read(benchmark::State& state) {
    const auto controllers = static_cast<int>(state.range(0));
    run_frame(state, controllers, mixed_mapping(FRAME_ENTRIES, controllers));
}
BENCHMARK(BM_frame_poll_and_read)->ArgName("controllers")->Arg(2)->Arg(8);

// 160 groups of 4 operands each: 640 operands read, 160 bits made from them.
void BM_frame_groups_of_4(benchmark::State& state) {
    const auto controllers = static_cast<int>(state.range(0));
    run_frame(state, controllers, group_mapping(FRAME_ENTRIES, controllers));
}
BENCHMARK(BM_frame_groups_of_4)->ArgName("controllers")->Arg(2)->Arg(8);

// The two halves of the frame on their own, two controllers: the poll alone, and (where
// the plug-in's state is at hand, natively) the 160 reads alone.
void BM_frame_poll_only(benchmark::State& state) {
    attach_controllers(2);
    std::string mapping = mixed_mapping(FRAME_ENTRIES, 2);
    bench_device(CMD_CONFIGURE, reinterpret_cast<intptr_t>(mapping.c_str()));
    bench_device(CMD_POLL, 0);
    int64_t allocations = allocations_so_far();
    for (auto _ : state) benchmark::DoNotOptimize(bench_device(CMD_POLL, 0));
    report_allocations(state, allocations);
    detach_controllers();
}
BENCHMARK(BM_frame_poll_only);

#if !defined(_WIN32)
void BM_frame_reads_only(benchmark::State& state) {
    attach_controllers(2);
    std::string mapping = mixed_mapping(FRAME_ENTRIES, 2);
    bench_device(CMD_CONFIGURE, reinterpret_cast<intptr_t>(mapping.c_str()));
    bench_device(CMD_POLL, 0);
    int64_t allocations = allocations_so_far();
    for (auto _ : state) {
        // A poll resets the cursor; setting it directly keeps the poll out of the figure.
        bench_plugin.cursor = -1;
        intptr_t ones = 0;
        for (int i = 0; i < FRAME_ENTRIES; ++i) ones += bench_device(CMD_NEXT_BIT, 0);
        benchmark::DoNotOptimize(ones);
    }
    report_allocations(state, allocations);
    report_time_per(state, "per_read", FRAME_ENTRIES);
    detach_controllers();
}
BENCHMARK(BM_frame_reads_only);
#endif

}  // namespace

BENCHMARK_MAIN();
