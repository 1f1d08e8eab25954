// The part of Google Benchmark's interface that the bench_*.cpp programs use, for the
// Windows builds, where the library is not packaged: the same programs then build for
// win32 and win64 and write the same benchmark names and the same JSON.
//
// Each benchmark instance is calibrated (its iteration count grows until a run lasts a
// tenth of the minimum time, which also warms it up), run once more unmeasured, then run
// for each repetition with the iteration count that fills the minimum time. Time is wall
// time from QueryPerformanceCounter; `cpu_time` repeats it, since Windows measures thread
// time only to the scheduler's tick. The console shows the median of the repetitions and
// their spread (min..max); the JSON holds every repetition and the mean, median, stddev
// and cv aggregates.
//
// Options: --benchmark_filter=TEXT (a substring of the name, or several separated by '|'
// as in the regular expression of the native runs), --benchmark_repetitions=N,
// --benchmark_min_time=SECONDS, --benchmark_out=FILE; the others are accepted and ignored.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace benchmark {

template <class T>
inline void DoNotOptimize(T const& value) {
    asm volatile("" : : "r,m"(value) : "memory");
}

template <class T>
inline void DoNotOptimize(T& value) {
    asm volatile("" : "+r,m"(value) : : "memory");
}

inline void ClobberMemory() { asm volatile("" : : : "memory"); }

struct Counter {
    enum Flags : uint32_t {
        kDefaults = 0,
        kIsRate = 1u << 0,
        kIsIterationInvariant = 1u << 2,
        kIsIterationInvariantRate = kIsRate | kIsIterationInvariant,
        kAvgIterations = 1u << 3,
        kInvert = 1u << 31,
    };
    Counter(double v = 0.0, Flags f = kDefaults) : value(v), flags(f) {}
    double value;
    Flags flags;
};

constexpr Counter::Flags operator|(Counter::Flags a, Counter::Flags b) {
    return static_cast<Counter::Flags>(static_cast<uint32_t>(a) | static_cast<uint32_t>(b));
}

class State {
public:
    struct [[maybe_unused]] Value {};
    struct Iterator {
        State* state;
        int64_t left;
        Value operator*() const { return {}; }
        Iterator& operator++() {
            --left;
            return *this;
        }
        bool operator!=(const Iterator&) {
            if (left != 0) return true;
            state->stop_timer();
            return false;
        }
    };

    State(int64_t iterations, std::vector<int64_t> args) : iterations_(iterations), args_(std::move(args)) {}

    Iterator begin() {
        start_timer();
        return {this, iterations_};
    }
    Iterator end() { return {this, 0}; }

    int64_t range(size_t i) const { return args_.at(i); }
    int64_t iterations() const { return iterations_; }
    void SkipWithError(const char* message) { error_ = message; }
    void SetItemsProcessed(int64_t items) { items_ = items; }

    std::map<std::string, Counter> counters;

    // For the runner.
    double seconds() const { return seconds_; }
    const std::string& error() const { return error_; }
    int64_t items() const { return items_; }

private:
    void start_timer() { QueryPerformanceCounter(&start_); }
    void stop_timer() {
        LARGE_INTEGER stop, frequency;
        QueryPerformanceCounter(&stop);
        QueryPerformanceFrequency(&frequency);
        seconds_ = static_cast<double>(stop.QuadPart - start_.QuadPart) / static_cast<double>(frequency.QuadPart);
    }

    int64_t iterations_;
    std::vector<int64_t> args_;
    LARGE_INTEGER start_{};
    double seconds_ = 0.0;
    std::string error_;
    int64_t items_ = 0;
};

namespace internal {

struct Family {
    std::string name;
    std::function<void(State&)> run;
    std::string arg_name;
    std::vector<int64_t> args;  // one instance per value; none: one instance without
    Family* ArgName(const char* n) {
        arg_name = n;
        return this;
    }
    Family* Arg(int64_t value) {
        args.push_back(value);
        return this;
    }
};

inline std::vector<Family*>& families() {
    static std::vector<Family*> all;
    return all;
}

inline Family* register_family(const char* name, std::function<void(State&)> run) {
    families().push_back(new Family{name, std::move(run), {}, {}});
    return families().back();
}

struct Options {
    std::string filter;
    int repetitions = 1;
    double min_time = 0.1;
    std::string out;
};

// One measured run: the time per iteration and the counters, finished as Google
// Benchmark finishes them.
struct Run {
    int64_t iterations = 0;
    double ns_per_iteration = 0.0;
    std::vector<std::pair<std::string, double>> counters;
};

inline Run finish(const State& state) {
    Run run;
    run.iterations = state.iterations();
    const double iterations = static_cast<double>(state.iterations());
    run.ns_per_iteration = state.seconds() * 1e9 / iterations;
    if (state.items() > 0) {
        run.counters.emplace_back("items_per_second", static_cast<double>(state.items()) / state.seconds());
    }
    for (const auto& [name, counter] : state.counters) {
        double v = counter.value;
        if (counter.flags & Counter::kIsIterationInvariant) v *= iterations;
        if (counter.flags & Counter::kAvgIterations) v /= iterations;
        if (counter.flags & Counter::kIsRate) v /= state.seconds();
        if (counter.flags & Counter::kInvert) v = 1.0 / v;
        run.counters.emplace_back(name, v);
    }
    std::sort(run.counters.begin(), run.counters.end());
    return run;
}

inline double median_of(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

struct Aggregate {
    const char* name;
    double (*of)(const std::vector<double>&);
};

inline double mean_of(const std::vector<double>& values) {
    double sum = 0.0;
    for (double v : values) sum += v;
    return sum / static_cast<double>(values.size());
}

inline double stddev_of(const std::vector<double>& values) {
    if (values.size() < 2) return 0.0;
    double mean = mean_of(values), sum = 0.0;
    for (double v : values) sum += (v - mean) * (v - mean);
    return std::sqrt(sum / static_cast<double>(values.size() - 1));
}

inline double cv_of(const std::vector<double>& values) {
    double mean = mean_of(values);
    return mean == 0.0 ? 0.0 : stddev_of(values) / mean;
}

inline double median_aggregate(const std::vector<double>& values) { return median_of(values); }

inline const Aggregate AGGREGATES[] = {
    {"mean", mean_of}, {"median", median_aggregate}, {"stddev", stddev_of}, {"cv", cv_of}};

inline void json_number(std::string& out, double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", std::isfinite(v) ? v : 0.0);
    out += text;
}

inline void json_record(std::string& out, const std::string& name, const std::string& run_name, int family,
                        int instance, const char* run_type, const char* aggregate, int repetitions, int index,
                        int64_t iterations, double ns, const std::vector<std::pair<std::string, double>>& counters) {
    out += out.back() == '[' ? "\n    {" : ",\n    {";
    out += "\n      \"name\": \"" + name + "\",\n      \"family_index\": " + std::to_string(family) +
           ",\n      \"per_family_instance_index\": " + std::to_string(instance) + ",\n      \"run_name\": \"" +
           run_name + "\",\n      \"run_type\": \"" + run_type + "\",\n      \"repetitions\": " +
           std::to_string(repetitions) + ",";
    if (aggregate == nullptr) {
        out += "\n      \"repetition_index\": " + std::to_string(index) + ",";
    } else {
        out += "\n      \"aggregate_name\": \"" + std::string(aggregate) + "\",\n      \"aggregate_unit\": \"" +
               (std::strcmp(aggregate, "cv") == 0 ? "percentage" : "time") + "\",";
    }
    out += "\n      \"threads\": 1,\n      \"iterations\": " + std::to_string(iterations) + ",\n      \"real_time\": ";
    json_number(out, ns);
    out += ",\n      \"cpu_time\": ";
    json_number(out, ns);
    out += ",\n      \"time_unit\": \"ns\"";
    for (const auto& [counter, value] : counters) {
        out += ",\n      \"" + counter + "\": ";
        json_number(out, value);
    }
    out += "\n    }";
}

inline std::string json_context(const char* executable) {
    char date[32];
    std::time_t now = std::time(nullptr);
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", std::gmtime(&now));
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::string out = "{\n  \"context\": {\n    \"date\": \"" + std::string(date) + "Z\",\n    \"executable\": \"";
    for (const char* c = executable; *c != '\0'; ++c) out += *c == '\\' ? std::string("\\\\") : std::string(1, *c);
    out += "\",\n    \"num_cpus\": " + std::to_string(system.dwNumberOfProcessors) +
           ",\n    \"pointer_bits\": " + std::to_string(8 * sizeof(void*)) +
           ",\n    \"timer\": \"QueryPerformanceCounter\",\n    \"timer_frequency\": " +
           std::to_string(frequency.QuadPart) + ",\n    \"library_build_type\": \"release\"\n  },\n  \"benchmarks\": [";
    return out;
}

inline Options parse_options(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char* prefix) -> const char* {
            size_t n = std::strlen(prefix);
            return a.compare(0, n, prefix) == 0 ? argv[i] + n : nullptr;
        };
        if (const char* v = value("--benchmark_filter=")) options.filter = v;
        else if (const char* r = value("--benchmark_repetitions=")) options.repetitions = std::max(1, std::atoi(r));
        else if (const char* t = value("--benchmark_min_time=")) options.min_time = std::atof(t);
        else if (const char* o = value("--benchmark_out=")) options.out = o;
    }
    return options;
}

// Runs one instance: calibration, one unmeasured run, the repetitions. Appends its JSON
// records and prints its console line; false if it stopped with an error.
// Whether a benchmark's name holds the filter, or one of its '|'-separated parts.
inline bool filter_matches(const std::string& filter, const std::string& name) {
    size_t start = 0;
    for (;;) {
        const size_t bar = filter.find('|', start);
        if (name.find(filter.substr(start, bar == std::string::npos ? bar : bar - start)) != std::string::npos) {
            return true;
        }
        if (bar == std::string::npos) return false;
        start = bar + 1;
    }
}

// One measurement of the family at that many iterations.
inline State run_once(const Family& family, const std::vector<int64_t>& args, int64_t iterations) {
    State state(iterations, args);
    family.run(state);
    return state;
}

// The iterations that fill min_time, grown tenfold from 1 until a run takes a tenth of
// it; 0 when the benchmark reported an error (printed).
inline int64_t calibrated_iterations(const Family& family, const std::string& name, const std::vector<int64_t>& args,
                                     const Options& options) {
    for (int64_t iterations = 1;; iterations *= 10) {
        State state = run_once(family, args, iterations);
        if (!state.error().empty()) {
            std::printf("%-48s ERROR: %s\n", name.c_str(), state.error().c_str());
            return 0;
        }
        if (state.seconds() >= options.min_time / 10 || iterations >= 1'000'000'000) {
            double per = state.seconds() / static_cast<double>(iterations);
            return std::max<int64_t>(1, static_cast<int64_t>(options.min_time / std::max(per, 1e-12)));
        }
    }
}

// One value of every run.
template <typename Pick>
std::vector<double> column_of(const std::vector<Run>& runs, Pick pick) {
    std::vector<double> values;
    for (const Run& run : runs) values.push_back(pick(run));
    return values;
}

// The median line of the console: time, its spread, iterations, each counter's median.
inline void print_median(const std::string& name, const std::vector<Run>& runs, int64_t iterations) {
    const std::vector<double> times = column_of(runs, [](const Run& run) { return run.ns_per_iteration; });
    std::string line;
    char text[96];
    for (const auto& [counter, value] : runs[0].counters) {
        const double median = median_of(column_of(runs, [&counter](const Run& run) {
            for (const auto& [n, v] : run.counters)
                if (n == counter) return v;
            return 0.0;
        }));
        std::snprintf(text, sizeof text, " %s=%.4g", counter.c_str(), median);
        line += text;
    }
    std::printf("%-48s %10.1f ns (%.1f..%.1f) %10lld%s\n", (name + "_median").c_str(), median_of(times),
                *std::min_element(times.begin(), times.end()), *std::max_element(times.begin(), times.end()),
                static_cast<long long>(iterations), line.c_str());
    std::fflush(stdout);
}

inline bool run_instance(const Family& family, const std::string& name, std::vector<int64_t> args, int family_index,
                         int instance, const Options& options, std::string& json) {
    const int64_t iterations = calibrated_iterations(family, name, args, options);
    if (iterations == 0) return false;
    run_once(family, args, iterations);  // a warm-up

    std::vector<Run> runs;
    for (int r = 0; r < options.repetitions; ++r) runs.push_back(finish(run_once(family, args, iterations)));
    for (size_t r = 0; r < runs.size(); ++r) {
        json_record(json, name, name, family_index, instance, "iteration", nullptr, options.repetitions,
                    static_cast<int>(r), runs[r].iterations, runs[r].ns_per_iteration, runs[r].counters);
    }
    const std::vector<double> times = column_of(runs, [](const Run& run) { return run.ns_per_iteration; });
    for (const Aggregate& aggregate : AGGREGATES) {
        std::vector<std::pair<std::string, double>> counters;
        for (size_t c = 0; c < runs[0].counters.size(); ++c) {
            counters.emplace_back(runs[0].counters[c].first,
                                  aggregate.of(column_of(runs, [c](const Run& run) { return run.counters[c].second; })));
        }
        json_record(json, name + "_" + aggregate.name, name, family_index, instance, "aggregate", aggregate.name,
                    options.repetitions, 0, iterations, aggregate.of(times), counters);
    }
    print_median(name, runs, iterations);
    return true;
}

inline int run_all(int argc, char** argv) {
    Options options = parse_options(argc, argv);
    std::string json = json_context(argv[0]);
    bool ok = true;
    std::printf("%-48s %s\n", "Benchmark (median of the repetitions)", "time (min..max) iterations counters");
    int family_index = 0;
    for (const Family* family : families()) {
        std::vector<std::pair<std::string, std::vector<int64_t>>> instances;
        if (family->args.empty()) instances.push_back({family->name, {}});
        for (int64_t arg : family->args) {
            std::string name = family->name + "/" + (family->arg_name.empty() ? "" : family->arg_name + ":") +
                               std::to_string(arg);
            instances.push_back({name, {arg}});
        }
        bool any = false;
        int instance = 0;
        for (auto& [name, args] : instances) {
            if (!filter_matches(options.filter, name)) continue;
            any = true;
            ok = run_instance(*family, name, args, family_index, instance++, options, json) && ok;
        }
        if (any) ++family_index;
    }
    json += "\n  ]\n}\n";
    if (!options.out.empty()) {
        FILE* file = std::fopen(options.out.c_str(), "wb");
        if (file == nullptr || std::fwrite(json.data(), 1, json.size(), file) != json.size()) ok = false;
        if (file != nullptr) std::fclose(file);
    }
    return ok ? 0 : 1;
}

}  // namespace internal

}  // namespace benchmark

#define JOYBITS_BENCH_CONCAT2(a, b) a##b
#define JOYBITS_BENCH_CONCAT(a, b) JOYBITS_BENCH_CONCAT2(a, b)
#define BENCHMARK(function)                                                                             \
    [[maybe_unused]] static ::benchmark::internal::Family* JOYBITS_BENCH_CONCAT(bench_family_, __LINE__) = \
        ::benchmark::internal::register_family(#function, function)
#define BENCHMARK_CAPTURE(function, case_name, ...)                                                     \
    [[maybe_unused]] static ::benchmark::internal::Family* JOYBITS_BENCH_CONCAT(bench_family_, __LINE__) = \
        ::benchmark::internal::register_family(#function "/" #case_name,                                \
                                               [](::benchmark::State& st) { function(st, __VA_ARGS__); })
#define BENCHMARK_MAIN() \
    int main(int argc, char** argv) { return ::benchmark::internal::run_all(argc, argv); }
