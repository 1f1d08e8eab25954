// The mapping compiler: mapping text in, entry words out.
#pragma once

#include "mapping/mapping_entry.h"
#include "text/text_buffer.h"

struct CompileResult {
    TextBuffer echo;            // the text cut at its first '/', blanks and tabs kept
    bool syntax_error = false;  // when set, the table's count is 0
};

// Compiles the mapping text into table (at most MAX_ENTRIES entries; the rest is ignored).
CompileResult compile_mapping(const TextBuffer& text, MappingTable& table);
