// The configure command through the entry point over the simulated platform: release,
// open two controllers, compile, compose the answer.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "bench/bench_counters.h"
#include "bench/bench_platform.h"
#include "controllers/controller_facts.h"

namespace {

constexpr int CONFIGURE_CONTROLLERS = 2;

// mapping null: the host gives no text and the default mapping is configured.
void BM_configure(benchmark::State& state, const char* mapping, int32_t expected_entries) {
    attach_controllers(CONFIGURE_CONTROLLERS);
    const char* answer = reinterpret_cast<const char*>(
        bench_device(CMD_CONFIGURE, reinterpret_cast<intptr_t>(mapping)));
    if (std::strstr(answer, HELP_HEAD) == nullptr || bench_device(CMD_POLL, 0) != expected_entries) {
        state.SkipWithError(answer);
        detach_controllers();
        return;
    }
    auto answer_bytes = static_cast<double>(std::strlen(answer));
    int64_t allocations = allocations_so_far();
    for (auto _ : state) {
        benchmark::DoNotOptimize(bench_device(CMD_CONFIGURE, reinterpret_cast<intptr_t>(mapping)));
    }
    report_allocations(state, allocations);
    state.counters["answer_bytes"] = answer_bytes;
    detach_controllers();
}

const std::string MAPPING_160 = mixed_mapping(160, CONFIGURE_CONTROLLERS);

BENCHMARK_CAPTURE(BM_configure, default_mapping, nullptr, 32);
BENCHMARK_CAPTURE(BM_configure, 160_tokens, MAPPING_160.c_str(), 160);

}  // namespace

BENCHMARK_MAIN();
