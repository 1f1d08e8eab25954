// Counters shared by the benchmark programs.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

#include "tests/support/alloc_counter.h"

#if defined(_WIN32)
#include <windows.h>

#include <cstdlib>
#include <cstring>

// The allocations of a loaded DLL, which has its own allocation operator (libstdc++ is
// linked into it) and reaches the C library's allocation functions through its import
// table: count_allocations_of points those imports at these counting functions.
inline int64_t library_allocations = 0;

inline void* counting_malloc(size_t size) {
    ++library_allocations;
    return std::malloc(size);
}
inline void* counting_calloc(size_t count, size_t size) {
    ++library_allocations;
    return std::calloc(count, size);
}
inline void* counting_realloc(void* block, size_t size) {
    ++library_allocations;
    return std::realloc(block, size);
}
inline char* counting_strdup(const char* text) {
    ++library_allocations;
    return _strdup(text);
}

inline void count_allocations_of(HMODULE module) {
    struct Replacement {
        const char* name;
        void* function;
    };
    const Replacement replacements[] = {{"malloc", reinterpret_cast<void*>(counting_malloc)},
                                        {"calloc", reinterpret_cast<void*>(counting_calloc)},
                                        {"realloc", reinterpret_cast<void*>(counting_realloc)},
                                        {"_strdup", reinterpret_cast<void*>(counting_strdup)}};
    auto* base = reinterpret_cast<unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int replaced = 0;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name != 0; ++d) {
        if (_stricmp(reinterpret_cast<const char*>(base + d->Name), "msvcrt.dll") != 0) continue;
        const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if ((names->u1.Ordinal >> (8 * sizeof(names->u1.Ordinal) - 1)) != 0) continue;  // by ordinal
            const auto* name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            for (const Replacement& r : replacements) {
                if (std::strcmp(reinterpret_cast<const char*>(name->Name), r.name) != 0) continue;
                DWORD protection = 0;
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
                slots->u1.Function = reinterpret_cast<ULONG_PTR>(r.function);
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
                ++replaced;
            }
        }
    }
    if (replaced == 0) {
        std::fprintf(stderr, "FAILED: no allocation function found among the library's imports\n");
        std::abort();
    }
}
#else
inline int64_t library_allocations = 0;  // natively the plug-in is linked in and counted by alloc_counter
#endif

// Every allocation so far, the program's own and a loaded plug-in library's.
inline int64_t allocations_so_far() { return alloc_counter::counts().allocations + library_allocations; }

// Allocations made by the code under measurement: the counts are taken just before the
// first iteration and just after the last, so the framework's own set-up stays outside.
inline void report_allocations(benchmark::State& state, int64_t allocations_before) {
    int64_t made = allocations_so_far() - allocations_before;
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(made), benchmark::Counter::kAvgIterations);
}

// Time per item of work, shown next to the time per iteration.
inline void report_time_per(benchmark::State& state, const char* name, int64_t items_per_iteration) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * items_per_iteration);
    state.counters[name] = benchmark::Counter(static_cast<double>(items_per_iteration),
                                              benchmark::Counter::kIsIterationInvariantRate |
                                                  benchmark::Counter::kInvert);
}
