// Warnings for mapping texts that the plug-in accepts but that probably do not mean what
// they say: a number that reads as another one, a threshold or bit number that wraps, an
// inverted constant, a controller nobody attached, tokens past the last entry, a
// trailing comma, the same test twice, an empty or blank text. It reads the text with the
// plug-in's own compiler and changes nothing the plug-in does; it is not part of the
// plug-in's library (the host tool and the playground use it).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct MappingWarning {
    int32_t token_index;  // from 0; the entry of the same number when below MAX_ENTRIES
    int32_t offset;       // byte offset of the token's start in the text as handed over
    int32_t length;       // bytes of the token as written, blanks included
    std::string message;  // one line
};

// The warnings of a mapping text, in the order of its tokens; none for a text with a
// syntax error (the compiler's report says what is wrong there). attached_controllers:
// how many controllers are attached, or -1 when that is not known.
std::vector<MappingWarning> check_mapping(const std::string& text, int attached_controllers);

// The number of controllers a configure answer's help list names ("j3:" gives 3), or -1
// for an answer without a help list.
int controllers_in_answer(const std::string& answer);
