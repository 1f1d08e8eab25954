// What joybits-host (and the playground) says about a mapping text and an answer: the
// entries and their meaning, the warnings of the check, the refused token, the answer's
// shape. Read with the plug-in's own compiler.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "mapping/check.h"
#include "mapping/mapping_entry.h"

// The entry word as every report prints it: "0x11200004".
std::string entry_word_text(MappingEntry entry);
// The meaning of one entry word: "constant 1", "j1 y > 8000", "!j2 button 3", "j1 x bit 4".
std::string describe_entry(MappingEntry entry);
// One --table line per entry: index, hex word, meaning, and the entry's warnings beside
// it; warnings of no entry (a trailing comma, ignored tokens) follow the table.
std::string format_table(const MappingTable& table, const std::vector<MappingWarning>& warnings = {});
// "warning: token 2 "j1x>=5" at byte 2: ..." for the --check report.
std::string format_warning(const MappingWarning& warning, const std::string& mapping);

enum class AnswerShape { success, syntax_error, failure };
AnswerShape answer_shape(const std::string& answer);

struct TokenError {
    bool found = false;
    int index = 0;       // token number, from 1
    size_t offset = 0;   // byte offset of the token's first byte in the mapping text
    size_t line = 1;     // line and column (from 1) of that byte
    size_t column = 1;
    std::string token;   // the token as written, blanks included
    std::string reason;
};
// The token of the mapping text that the compiler refuses, as the compiler reports it.
TokenError locate_syntax_error(const std::string& mapping);

// Compiles the text as the plug-in would for this host argument.
void compile_for_table(const std::optional<std::string>& mapping, MappingTable& table);
