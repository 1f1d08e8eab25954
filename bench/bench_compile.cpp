// The mapping compiler's speed: compile_mapping (what a configure runs) and mapping_tokens
// (what the check, the host tool and the playground run) over
//   corpus  every input of the mapping fuzzer's corpus, up to its first zero byte
//           (fuzz/corpus/mapping, or the folder JOYBITS_MAPPING_CORPUS names)
//   mixed   160 controller tokens, every axis in its three forms and a button, every
//           third inverted (bench/bench_mapping.h), with a blank after each comma
// The per_text counter is the time of one text.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/bench_mapping.h"
#include "mapping/compiler.h"

namespace {

std::vector<std::string> corpus() {
    const char* named = std::getenv("JOYBITS_MAPPING_CORPUS");
    const std::filesystem::path folder =
        named != nullptr ? std::filesystem::path(named)
                         : std::filesystem::path(__FILE__).parent_path().parent_path() / "fuzz" / "corpus" / "mapping";
    std::vector<std::string> texts;
    for (const auto& file : std::filesystem::directory_iterator(folder)) {
        std::ifstream in(file.path(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        texts.push_back(bytes.substr(0, bytes.find('\0')));
    }
    return texts;
}

std::vector<std::string> mixed() {
    std::string text;
    for (int i = 0; i < 160; ++i) text += (i > 0 ? ", " : "") + mixed_token(i, 8);
    return {text};
}

template <typename Run>
void run_texts(benchmark::State& state, const std::vector<std::string>& texts, Run run) {
    std::vector<TextBuffer> buffers;
    for (const std::string& text : texts) buffers.emplace_back(text.c_str());
    if (buffers.empty()) state.SkipWithError("no texts");
    for (auto _ : state) {
        for (const TextBuffer& text : buffers) run(text);
    }
    state.counters["per_text"] = benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(buffers.size()),
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void compile_texts(benchmark::State& state, const std::vector<std::string>& texts) {
    static MappingTable table;
    run_texts(state, texts, [](const TextBuffer& text) {
        CompileResult result = compile_mapping(text, table);
        benchmark::DoNotOptimize(result.reason);
        benchmark::DoNotOptimize(table.count);
    });
}

void token_texts(benchmark::State& state, const std::vector<std::string>& texts) {
    run_texts(state, texts, [](const TextBuffer& text) {
        std::vector<TokenSpan> tokens = mapping_tokens(text);
        benchmark::DoNotOptimize(tokens.data());
    });
}

void BM_compile_corpus(benchmark::State& state) { compile_texts(state, corpus()); }
void BM_compile_mixed160(benchmark::State& state) { compile_texts(state, mixed()); }
void BM_tokens_corpus(benchmark::State& state) { token_texts(state, corpus()); }
void BM_tokens_mixed160(benchmark::State& state) { token_texts(state, mixed()); }

}  // namespace

BENCHMARK(BM_compile_corpus);
BENCHMARK(BM_compile_mixed160);
BENCHMARK(BM_tokens_corpus);
BENCHMARK(BM_tokens_mixed160);

BENCHMARK_MAIN();
