// Shared helpers of the mapping tests: compile a literal, read the table back.
#pragma once

#include <vector>

#include "mapping/compiler.h"

// Compiles s into table; true when it compiled without a syntax error.
inline bool compiles(const char* s, MappingTable& table) {
    TextBuffer text(s);
    return !compile_mapping(text, table).syntax_error;
}

inline std::vector<MappingEntry> words(const MappingTable& table) {
    return std::vector<MappingEntry>(table.entries, table.entries + table.count);
}

inline std::vector<uint32_t> result_bits(const MappingTable& table) {
    std::vector<uint32_t> bits;
    for (int32_t i = 0; i < table.count; ++i) bits.push_back(entry_result(table.entries[i]));
    return bits;
}
