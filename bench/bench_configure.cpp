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
void BM_configure(benchmark::State& state, const char* mapping, int32_t expected_entries,
                  int controllers = CONFIGURE_CONTROLLERS) {
    attach_controllers(controllers);
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

// Eight pads, each pinned to the slot of the pad enumerated in the other order (j1 takes
// the last), against the same mapping without pins.
std::string eight_pins() {
    std::string pins;
    for (int slot = 1; slot <= SLOT_COUNT; ++slot) {
        pins += "j" + std::to_string(slot) + PIN_MARK +
                model_text(pad_model(SIM_DEFAULT_VENDOR, static_cast<uint32_t>(SLOT_COUNT + 1 - slot))).text + ",";
    }
    return pins;
}
const std::string MAPPING_8_PADS = mixed_mapping(160, SLOT_COUNT);
const std::string MAPPING_8_PINS = eight_pins() + MAPPING_8_PADS;

BENCHMARK_CAPTURE(BM_configure, default_mapping, nullptr, 32);
BENCHMARK_CAPTURE(BM_configure, 160_tokens, MAPPING_160.c_str(), 160);
BENCHMARK_CAPTURE(BM_configure, 8_pads_no_pins, MAPPING_8_PADS.c_str(), 160, SLOT_COUNT);
BENCHMARK_CAPTURE(BM_configure, 8_pads_8_pins, MAPPING_8_PINS.c_str(), 160, SLOT_COUNT);

}  // namespace

BENCHMARK_MAIN();
