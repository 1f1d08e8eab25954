// The mapping compiler: mapping text in, entry words out.
#pragma once

#include <cstdint>
#include <vector>

#include "controllers/controller_facts.h"
#include "mapping/mapping_entry.h"
#include "text/text_buffer.h"

// The bytes a mapping text may hold anywhere without meaning: the compiler steps over them,
// and every position it gives is a byte of the text as written.
constexpr bool is_mapping_blank(char c) { return c == ' ' || c == '\t'; }

// Why a token was refused, by the first of its bytes that the grammar could not take.
enum class SyntaxReason : uint8_t {
    none,
    empty_token,           // nothing between two commas, or before the first (a last comma ends no token)
    nothing_after_invert,  // "!" alone
    second_invert,         // "!!..."
    line_end,              // a line end where the grammar wants a letter or a digit
    not_a_token,           // neither a, p, nor a token starting with j or x
    controller_number,     // not 1 to 8 after j
    axis_or_button,        // not b, x, y, z, r, u, v or h after the controller number
    rotation_axis,         // not x, y or z after r
    pov_number,            // not 1 to 4 after h
    pov_direction,         // not u, r, d or l after the point of view's number
    after_pov_direction,   // anything after the direction
    // a group, "(" operand "|" operand ... ")" or with "&", cut at '|', '&' and ')' first:
    empty_group,           // "()"
    empty_operand,         // nothing between '(' and a joint, or between a joint and ')'
    joints_in_a_row,       // two joints with nothing between them
    mixed_joints,          // '|' and '&' in one group
    too_many_operands,     // a ninth operand
    constant_operand,      // a or p as an operand
    nested_group,          // a group as an operand
    unclosed_group,        // no ')' before the token ends
    after_group,           // anything after the ')'
    pin_slot,              // a pin "j<n>=" whose n is not 1 to 8
    pin_model,             // a pin whose model is not four hex digits, ':', four hex digits, and nothing after
    pin_inverted,          // "!" before a pin
    pin_twice,             // a second pin for the same slot
    xinput_user,           // not 1 to 4 after x
    xinput_pin,            // a pin "x<n>=": XInput numbers its pads itself
};

struct CompileResult {
    TextBuffer echo;            // the text cut at its first '/', blanks and tabs kept
    bool syntax_error = false;  // when set, the table's count is 0
    // Where the syntax error is: the refused token's number (from 0) and the byte offset
    // of its start (just after the comma before it) in the text as it was handed over.
    SyntaxReason reason = SyntaxReason::none;
    int32_t token_index = 0;
    int32_t token_offset = 0;
    // The model each slot is pinned to by a token "j<n>=VVVV:PPPP" (controller_facts.h's
    // packing), 0 for a slot not pinned; all 0 when the text has a syntax error.
    uint32_t pins[SLOT_COUNT] = {};
};

// Compiles the mapping text into table (at most MAX_ENTRIES entries; the rest is ignored).
// A pin makes no entry and is not counted in the MAX_ENTRIES.
CompileResult compile_mapping(const TextBuffer& text, MappingTable& table);

// One token of a mapping text as the compiler cut and read it, or one operand of a group;
// offsets are bytes of the text as it was handed over, blanks and tabs included.
struct TokenSpan {
    int32_t start = 0;         // its first byte, just after the comma before it (an operand: its first
                               // byte that is no blank)
    int32_t end = 0;           // just past its last byte: the comma after it, the first '/', or the end
                               // (an operand: just past its last byte that is no blank)
    int32_t number_start = 0;  // where the number of a controller token begins; end when it has none
    int32_t number_end = 0;    // the first byte after its digits other than a blank; end when none follows
                               // them, number_start when it has no digit
    int32_t number = 0;        // the number as read (0 without digits), before the word keeps its low bits
    MappingEntry word = 0;     // 0 when refused, for a pin, and for an ignored token
    SyntaxReason refused = SyntaxReason::none;
    int32_t fault = 0;         // where a refused group's fault stands (an operand's start, a joint, the
                               // ')' missing or the bytes after it); start for any other token
    int32_t fault_end = 0;     // just past the fault's bytes (a refused operand's end); end for any
                               // other token
    // A group's operands, each read as a token of its own (spans, number and word; never
    // refused, since a refused operand refuses its group), as far as the compiler read them.
    std::vector<TokenSpan> operands;
    int32_t pin_slot = -1;     // a pin's slot index (0 for j1); -1 for every other token
    uint32_t pin_model = 0;    // a pin's model, 0 for every other token
    bool ignored = false;      // past the first MAX_ENTRIES entries (pins make none): neither read nor refused
};

// The tokens of the mapping text, cut and read as compile_mapping reads them, up to and
// including a refused one. Tokens past the first MAX_ENTRIES entries are listed with their spans
// only: the compiler ignores them, so they are neither read nor refused. For the readers
// beside the plug-in (the check, the host tool, the playground); the plug-in itself calls
// compile_mapping, which builds no list.
std::vector<TokenSpan> mapping_tokens(const TextBuffer& text);

// The bits a host that counts the tokens reads of the text, as after a syntax error, when
// every read answers 1: one per token before the comment (a last comma ends none) but a
// pin, each token read alone as if it stood first, at most MAX_ENTRIES.
int32_t bits_written(const TextBuffer& text);

// The refused token of such a list (its last), or null when the text compiles.
inline const TokenSpan* refused_token(const std::vector<TokenSpan>& tokens) {
    return tokens.empty() || tokens.back().refused == SyntaxReason::none ? nullptr : &tokens.back();
}
