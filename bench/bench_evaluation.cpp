// The evaluation pass over a table, against the cost of merely walking the table.
//
// Three tables, each evaluated against the same snapshots:
//   mixed    160 controller entries: entry i watches controller i % 8 + 1 with kind
//            i % 19, so the first 152 entries cover every (controller, kind) pair once,
//            and every third entry is inverted: the hardest case for branches.
//   default  the default mapping (32 entries, 12 constants, two controllers).
//   grouped  160 entries as people write them: 20 per controller, mostly thresholds and
//            buttons, a few axis bits and inverted buttons.
// Every slot is fresh in every snapshot, so each controller entry is fully evaluated;
// the snapshots cycle through a small ring of random states so that results, and any
// branches on them, change from pass to pass as they would with live controllers.
// Each table is evaluated from its decoded form (evaluate_decoded, what the poll runs; the
// _decoded benchmarks). Their per_entry counters, divided by the walk's, are the ratios in
// docs/PERFORMANCE.md.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <random>

#include <string>

#include "bench/bench_counters.h"
#include "bench/bench_mapping.h"
#include "controllers/state_snapshot.h"
#include "controllers/axes.h"
#include "mapping/compiler.h"
#include "mapping/evaluation.h"
#include "mapping/mapping_entry.h"
#include "plugin/joybits.h"

namespace {

constexpr int SNAPSHOT_RING = 16;  // 16 x 2184 bytes: stays in the first-level cache

MappingTable full_table() {
    std::mt19937 random(160);
    std::uniform_int_distribution<int32_t> threshold(-32768, 32767);
    MappingTable table{};
    for (int i = 0; i < MAX_ENTRIES; ++i) {
        auto controller = static_cast<uint32_t>(i % SLOT_COUNT + 1);
        // The kinds of the six axes and the button: the mix the figures have always been of.
        auto kind = static_cast<EntryKind>(i % (static_cast<int>(EntryKind::button) + 1));
        uint32_t operand = 0;
        if (kind == EntryKind::button) {
            operand = static_cast<uint32_t>(i) & BUTTON_NUMBER_MASK;
        } else if (static_cast<int>(kind) % 3 == static_cast<int>(AxisForm::bit)) {
            operand = static_cast<uint32_t>(i) & BIT_NUMBER_MASK;
        } else {
            operand = static_cast<uint32_t>(threshold(random)) & OPERAND_MASK;
        }
        table.entries[i] = make_entry(controller, kind, operand, i % 3 == 0);
    }
    table.count = MAX_ENTRIES;
    return table;
}

MappingTable compiled_table(const std::string& text) {
    MappingTable table{};
    TextBuffer mapping(text.c_str());
    if (compile_mapping(mapping, table).syntax_error) std::abort();
    return table;
}

// 20 tokens per controller, for all eight.
std::string grouped_mapping() {
    std::string text;
    for (int c = 1; c <= SLOT_COUNT; ++c) {
        const std::string j = "j" + std::to_string(c);
        text += j + "x>8000," + j + "x<-8000," + j + "y>8000," + j + "y<-8000," + j + "z>1000," + j + "rz<-1000,";
        for (int b = 1; b <= 10; ++b) text += j + "b" + std::to_string(b) + ",";
        text += "!" + j + "b11," + "!" + j + "b12," + j + "x15," + j + "y15" + (c < SLOT_COUNT ? "," : "");
    }
    return text;
}

struct SnapshotRing {
    StateSnapshot snapshots[SNAPSHOT_RING];
};

void fill_ring(SnapshotRing& ring) {
    std::mt19937 random(2184);
    std::uniform_int_distribution<int32_t> axis(-32768, 32767);
    std::uniform_int_distribution<int> byte(0, 255);
    for (StateSnapshot& snapshot : ring.snapshots) {
        std::memset(&snapshot, 0, sizeof snapshot);
        for (int slot = 0; slot < SLOT_COUNT; ++slot) {
            DIJOYSTATE2& s = snapshot.state[slot];
            for (int a = 0; a < AXIS_COUNT; ++a) set_axis_value(s, a, axis(random));
            for (BYTE& b : s.rgbButtons) b = static_cast<BYTE>(byte(random));
            snapshot.fresh[slot] = true;
        }
    }
}

void run_evaluation(benchmark::State& state, MappingTable table) {
    static SnapshotRing ring;
    static DecodedTable decoded;
    fill_ring(ring);
    decode_entries(table, decoded);
    int next = 0;
    int64_t allocations = allocations_so_far();
    for (auto _ : state) {
        const StateSnapshot& snapshot = ring.snapshots[next];
        next = (next + 1) % SNAPSHOT_RING;
        benchmark::DoNotOptimize(&snapshot);
        int32_t count = evaluate_decoded(table, decoded, snapshot);
        benchmark::DoNotOptimize(count);
        benchmark::ClobberMemory();
    }
    report_allocations(state, allocations);
    report_time_per(state, "per_entry", table.count);
}

void BM_evaluate_entries_decoded(benchmark::State& state) { run_evaluation(state, full_table()); }
BENCHMARK(BM_evaluate_entries_decoded);

void BM_evaluate_default_mapping_decoded(benchmark::State& state) {
    run_evaluation(state, compiled_table(DEFAULT_MAPPING));
}
BENCHMARK(BM_evaluate_default_mapping_decoded);

void BM_evaluate_grouped_mapping_decoded(benchmark::State& state) {
    run_evaluation(state, compiled_table(grouped_mapping()));
}
BENCHMARK(BM_evaluate_grouped_mapping_decoded);

// 160 groups of 4 operands over the eight controllers, from the decoded form: per entry
// is per group, each reading 4 operands.
void BM_evaluate_groups_of_4_decoded(benchmark::State& state) {
    MappingTable table = compiled_table(group_mapping(MAX_ENTRIES, SLOT_COUNT));
    if (table.count != MAX_ENTRIES || table.operand_count != 4 * MAX_ENTRIES) std::abort();
    run_evaluation(state, table);
}
BENCHMARK(BM_evaluate_groups_of_4_decoded);

// The floor under any pass over the table: read each of the 160 words and store its low
// bit, one entry after the other, as the evaluation does. The compiler is kept from
// turning the loop into vector code, which no per-entry decision could match and which
// would say nothing about the cost of one entry.
__attribute__((noinline, optimize("no-tree-vectorize"))) void walk_table(const MappingTable& table,
                                                                        uint8_t* bits) {
    for (int32_t i = 0; i < table.count; ++i) bits[i] = static_cast<uint8_t>(table.entries[i] & 1u);
}

void BM_baseline_table_walk(benchmark::State& state) {
    MappingTable table = full_table();
    uint8_t bits[MAX_ENTRIES];
    int64_t allocations = allocations_so_far();
    for (auto _ : state) {
        benchmark::DoNotOptimize(&table);
        walk_table(table, bits);
        benchmark::DoNotOptimize(bits);
        benchmark::ClobberMemory();
    }
    report_allocations(state, allocations);
    report_time_per(state, "per_entry", MAX_ENTRIES);
}
BENCHMARK(BM_baseline_table_walk);

}  // namespace

BENCHMARK_MAIN();
