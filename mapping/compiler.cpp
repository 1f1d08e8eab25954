#include "mapping/compiler.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

#include "controllers/controller_facts.h"

namespace {

// A reading position in the mapping text: pos is a byte of the text as written, never a
// blank or a tab (the cursor steps over those), or end, which reads as the zero past the
// last byte and matches nothing.
struct Cursor {
    const char* text;
    int32_t pos;
    int32_t end;
};

Cursor cursor(const char* text, int32_t pos, int32_t end) {
    while (pos < end && is_mapping_blank(text[pos])) ++pos;
    return {text, pos, end};
}
char next(const Cursor& c) { return c.pos < c.end ? c.text[c.pos] : '\0'; }
// The cursor past the byte it stands on.
Cursor past(const Cursor& c) { return cursor(c.text, c.pos + 1, c.end); }
bool digit(char c) { return c >= '0' && c <= '9'; }

// Just past the last byte of [from, to) that is no blank; from when there is none.
int32_t trimmed_end(const char* text, int32_t from, int32_t to) {
    while (to > from && is_mapping_blank(text[to - 1])) --to;
    return to;
}

// A group's operand as read: its bytes (the blanks at either side left out), its number's,
// the number and the word.
struct Operand {
    int32_t start, end, number_start, number_end, number;
    MappingEntry word;
};

// One token, or one operand of a group, as read; every position is a byte of the text as
// written.
struct Token {
    int32_t start, end;  // a token: just after the comma before it; the comma after it, the first '/' or the end
    int32_t number_start = end;  // a number's first byte after the form; end when there is none
    int32_t number_end = end;    // the first byte after its digits that is no blank; number_start without digits
    int32_t number = 0;          // as read, before the word keeps its low bits
    MappingEntry word = 0;       // 0 when refused, for a pin, and when ignored
    SyntaxReason refused = SyntaxReason::none;
    int32_t fault = start;       // a refused group's fault: an operand, a joint, the missing ')' or what follows it
    int32_t fault_end = end;
    int32_t operand_count = 0;   // a group's operands, as far as they were read
    Operand operands[MAX_GROUP_OPERANDS] = {};
    int32_t pin_slot = -1;       // a pin's slot index (0 for j1); -1 for every other token
    uint32_t pin_model = 0;
    bool ignored = false;        // past the first MAX_ENTRIES entries: not read
};

// The token refused at the byte at, where the grammar wanted `wanted`: a line end there is
// named as such.
void refuse(Token& t, char at, SyntaxReason wanted) {
    t.refused = at == '\n' || at == '\r' ? SyntaxReason::line_end : wanted;
    t.word = 0;
}

// A group refused for reason, its fault at bytes [from, to).
void group_fault(Token& t, SyntaxReason reason, int32_t from, int32_t to) {
    refuse(t, 0, reason);
    t.fault = from;
    t.fault_end = to;
}

// The number from c on, read as parse_int reads the token's bytes with their blanks left
// out: white space, a sign, digits, saturated at the limits of 32 bits.
int32_t read_number(Cursor c, Token& t) {
    t.number_start = c.pos;
    t.number_end = c.pos;
    while (next(c) >= '\t' && next(c) <= '\r') c = past(c);
    const bool negative = next(c) == '-';
    if (negative || next(c) == '+') c = past(c);
    constexpr int64_t limit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t value = 0;
    if (digit(next(c))) {
        for (; digit(next(c)); c = past(c)) value = std::min(value * 10 + (next(c) - '0'), limit);
        t.number_end = c.pos;
    }
    if (negative) return static_cast<int32_t>(-value);
    return static_cast<int32_t>(std::min(value, limit - 1));
}

// A controller token whose number is written from c on; the word keeps the bits of mask.
void numbered(Cursor c, Token& t, uint32_t controller, EntryKind kind, uint32_t mask, bool invert) {
    t.number = read_number(c, t);
    t.word = make_entry(controller, kind, static_cast<uint32_t>(t.number) & mask, invert);
}

// A point of view's token after "j<n>h": its number 1 to 4, one direction letter, and
// nothing after it.
void read_pov(Cursor c, Token& t, uint32_t controller, bool invert) {
    const char number = next(c);
    if (number < '0' + static_cast<int>(POV_NUMBER_MIN) || number > '0' + static_cast<int>(POV_NUMBER_MAX)) {
        return refuse(t, number, SyntaxReason::pov_number);
    }
    c = past(c);
    int direction = 0;
    while (direction < POV_DIRECTION_COUNT && POV_DIRECTIONS[direction].letter != next(c)) ++direction;
    if (direction == POV_DIRECTION_COUNT) return refuse(t, next(c), SyntaxReason::pov_direction);
    c = past(c);
    if (next(c) != '\0') return refuse(t, next(c), SyntaxReason::after_pov_direction);
    t.word = make_entry(controller, pov_kind(direction), static_cast<uint32_t>(number - '0'), invert);
}

// The axis (sliders included) whose letters stand at c, c moved past them; -1 for none. No
// axis's letters begin another's, so at most one matches.
int read_axis(Cursor& c) {
    for (int axis = 0; axis < MAPPED_AXIS_COUNT; ++axis) {
        Cursor at = c;
        const char* letter = mapped_axis_letters(axis);
        for (; *letter != '\0' && next(at) == *letter; ++letter) at = past(at);
        if (*letter != '\0') continue;
        c = at;
        return axis;
    }
    return -1;
}

// Whether c begins an axis's letters without being all of them: the r of rx, ry and rz.
bool axis_prefix(char c) {
    for (const AxisName& axis : AXIS_NAMES) {
        if (c != '\0' && axis.letters[0] == c && axis.letters[1] != '\0') return true;
    }
    return false;
}

// A controller token from c on: CONTROLLER_LETTER and a slot's digit, or XINPUT_LETTER and
// a user's digit, then a button, a point of view, or an axis with its form.
void read_controller(Cursor c, Token& t, bool invert) {
    const char letter = next(c);
    if (letter != CONTROLLER_LETTER && letter != XINPUT_LETTER) {
        return refuse(t, letter, invert && letter == '!' ? SyntaxReason::second_invert : SyntaxReason::not_a_token);
    }
    c = past(c);
    const char number = next(c);
    const bool xinput = letter == XINPUT_LETTER;
    if (number < '1' || number > '0' + (xinput ? XINPUT_USER_COUNT : SLOT_COUNT)) {
        return refuse(t, number, xinput ? SyntaxReason::xinput_user : SyntaxReason::controller_number);
    }
    const auto controller = static_cast<uint32_t>(number - '0') + (xinput ? SLOT_COUNT : 0);
    c = past(c);
    if (next(c) == BUTTON_LETTER) return numbered(past(c), t, controller, EntryKind::button, BUTTON_NUMBER_MASK, invert);
    if (next(c) == POV_LETTER) return read_pov(past(c), t, controller, invert);
    const char first = next(c);
    const int axis = read_axis(c);
    if (axis < 0) {
        if (axis_prefix(first)) return refuse(t, next(past(c)), SyntaxReason::rotation_axis);
        return refuse(t, first, SyntaxReason::axis_or_button);
    }
    if (next(c) == '<' || next(c) == '>') {
        const AxisForm form = next(c) == '<' ? AxisForm::below : AxisForm::above;
        return numbered(past(c), t, controller, axis_kind(axis, form), OPERAND_MASK, invert);
    }
    numbered(c, t, controller, axis_kind(axis, AxisForm::bit), BIT_NUMBER_MASK, invert);
}

// Whether a pin stands at c: CONTROLLER_LETTER (or XINPUT_LETTER, to be refused), digits,
// then the pin mark.
bool is_pin(Cursor c) {
    if (next(c) != CONTROLLER_LETTER && next(c) != XINPUT_LETTER) return false;
    c = past(c);
    if (!digit(next(c))) return false;
    while (digit(next(c))) c = past(c);
    return next(c) == PIN_MARK;
}

// The hex digits in either case: a digit's value is its index modulo 16.
constexpr char HEX_DIGITS[] = "0123456789abcdef0123456789ABCDEF";

// The value of the PIN_MODEL_DIGITS hex digits from c on, c moved past them; -1 when any of
// them is not one.
int32_t read_hex(Cursor& c) {
    int32_t value = 0;
    for (int32_t i = 0; i < PIN_MODEL_DIGITS; ++i, c = past(c)) {
        const char* hex = next(c) == '\0' ? nullptr : std::strchr(HEX_DIGITS, next(c));
        if (hex == nullptr) return -1;
        value = value * 16 + static_cast<int32_t>(hex - HEX_DIGITS) % 16;
    }
    return value;
}

// A pin "j<n>=VVVV:PPPP" from c on: one slot digit, the vendor's and product's hex digits,
// nothing after.
void read_pin(Cursor c, Token& t) {
    // An XInput user is the player light its pad shows: nothing to keep it for.
    if (next(c) == XINPUT_LETTER) return refuse(t, 0, SyntaxReason::xinput_pin);
    c = past(c);
    const char slot = next(c);
    c = past(c);
    if (next(c) != PIN_MARK || slot < '1' || slot > '0' + SLOT_COUNT) return refuse(t, 0, SyntaxReason::pin_slot);
    c = past(c);
    const int32_t vendor = read_hex(c);
    const bool separated = vendor >= 0 && next(c) == PIN_SEPARATOR;
    if (separated) c = past(c);
    const int32_t product = separated ? read_hex(c) : -1;
    if (product < 0 || next(c) != '\0') return refuse(t, 0, SyntaxReason::pin_model);
    t.pin_slot = slot - '1';
    t.pin_model = pad_model(static_cast<uint32_t>(vendor), static_cast<uint32_t>(product));
}

void read_group(Cursor c, Token& t, bool invert, uint32_t first);

// A token from c on (its first byte that is no blank) to c.end; a group's operands will
// stand from index first on beside the table. An operand is read the same way.
void read_token(Cursor c, Token& t, uint32_t first) {
    if (next(c) == '\0') return refuse(t, 0, SyntaxReason::empty_token);
    const bool invert = next(c) == '!';
    if (invert) c = past(c);
    if (invert && next(c) == '\0') return refuse(t, 0, SyntaxReason::nothing_after_invert);
    // The constants ignore the invert flag.
    if ((next(c) == 'a' || next(c) == 'p') && next(past(c)) == '\0') {
        t.word = next(c) == 'a' ? CONSTANT_0 : CONSTANT_1;
        return;
    }
    if (is_pin(c)) return invert ? refuse(t, 0, SyntaxReason::pin_inverted) : read_pin(c, t);
    if (next(c) == '(') return read_group(past(c), t, invert, first);
    read_controller(c, t, invert);
}

bool cuts_group(char c) { return c == '|' || c == '&' || c == ')'; }

// The operand at bytes [from, to) of group t, read as a token of its own would be; it may
// be neither a constant nor a group. False when it refuses the group.
bool add_operand(Token& t, const char* text, int32_t from, int32_t to) {
    const Cursor c = cursor(text, from, to);
    Token operand{.start = from, .end = to};
    if (next(c) == '(' || (next(c) == '!' && next(past(c)) == '(')) {
        refuse(operand, 0, SyntaxReason::nested_group);
    } else {
        read_token(c, operand, 0);
        if (operand.refused == SyntaxReason::none && entry_is_constant(operand.word)) {
            refuse(operand, 0, SyntaxReason::constant_operand);
        }
    }
    if (operand.refused != SyntaxReason::none) {
        group_fault(t, operand.refused, from, to);
        return false;
    }
    t.operands[t.operand_count++] = {.start = from, .end = to, .number_start = operand.number_start,
                                     .number_end = operand.number_end, .number = operand.number, .word = operand.word};
    return true;
}

// Why no operand stands before the cut at c: the first of the group's, or one after a joint.
SyntaxReason empty_operand_reason(char cut, bool first_operand) {
    if (cut == '\0') return SyntaxReason::unclosed_group;
    if (first_operand) return cut == ')' ? SyntaxReason::empty_group : SyntaxReason::empty_operand;
    return cut == ')' ? SyntaxReason::empty_operand : SyntaxReason::joints_in_a_row;
}

// A group after its '(': operands joined by '|' or by '&', then ")", 1 to 8 of them, each a
// controller token with its own '!'; nothing may follow the ")".
void read_group(Cursor c, Token& t, bool invert, uint32_t first) {
    char joint = 0;
    for (;;) {
        int32_t cut_at = c.pos;
        while (cut_at < c.end && !cuts_group(c.text[cut_at])) ++cut_at;
        const Cursor cut = cursor(c.text, cut_at, c.end);
        const char cut_byte = next(cut);
        const int32_t cut_end = cut_byte == '\0' ? cut.pos : cut.pos + 1;
        if (cut_at == c.pos) return group_fault(t, empty_operand_reason(cut_byte, t.operand_count == 0), cut.pos, cut_end);
        const int32_t operand_end = trimmed_end(c.text, c.pos, cut_at);
        if (t.operand_count == MAX_GROUP_OPERANDS) {
            return group_fault(t, SyntaxReason::too_many_operands, c.pos, operand_end);
        }
        if (!add_operand(t, c.text, c.pos, operand_end)) return;
        if (cut_byte == '\0') return group_fault(t, SyntaxReason::unclosed_group, cut.pos, cut.pos);
        if (cut_byte == ')') {
            const Cursor after = past(cut);
            if (next(after) != '\0') {
                return group_fault(t, SyntaxReason::after_group, after.pos, trimmed_end(c.text, after.pos, c.end));
            }
            break;
        }
        if (joint != 0 && cut_byte != joint) return group_fault(t, SyntaxReason::mixed_joints, cut.pos, cut_end);
        joint = cut_byte;
        c = past(cut);
    }
    t.word = make_group_entry(joint == '&', first, static_cast<uint32_t>(t.operand_count), invert);
}

// What the tokens read so far leave for the next: the entries and the groups' operands
// they made, and the slots they pinned (slot i: bit i).
struct Reader {
    const TextBuffer& text;  // the mapping text before its first '/'
    int32_t entries = 0;
    int32_t operands = 0;
    uint32_t pinned = 0;
};

// The token at bytes [start, end) of the reader's text, read in the light of the tokens
// before it: past MAX_ENTRIES entries it is ignored (pins count none), and a second pin of
// a slot is refused.
Token read_next(Reader& reader, int32_t start, int32_t end) {
    Token t{.start = start, .end = end};
    if (reader.entries >= MAX_ENTRIES) {
        t.ignored = true;
        return t;
    }
    read_token(cursor(reader.text.c_str(), start, end), t, static_cast<uint32_t>(reader.operands));
    if (t.refused != SyntaxReason::none) return t;
    if (t.pin_slot < 0) {
        ++reader.entries;
        reader.operands += t.operand_count;
        return t;
    }
    const uint32_t bit = 1u << t.pin_slot;
    if ((reader.pinned & bit) != 0) {
        refuse(t, 0, SyntaxReason::pin_twice);
        t.pin_slot = -1;
        t.pin_model = 0;
    }
    reader.pinned |= bit;
    return t;
}

// The mapping text before its first '/', which opens the comment.
TextBuffer before_comment(const TextBuffer& text) {
    int32_t slash = text.find('/');
    return slash >= 0 ? text.left(slash) : text.mid(0);
}

// Cuts text (a mapping text before its first '/') into tokens at its commas and hands each
// to visit(index, start, end) until visit returns false. A last piece with nothing but
// blanks in it is no token: the text ends with a comma, which stored texts do and hosts
// accept.
template <typename Visit>
void cut_tokens(const TextBuffer& text, Visit visit) {
    int32_t start = 0;
    for (int32_t index = 0;; ++index) {
        int32_t end = start;
        while (end < text.length && text.data[end] != ',') ++end;
        if (end == text.length && cursor(text.c_str(), start, end).pos == end) return;
        if (!visit(index, start, end) || end == text.length) return;
        start = end + 1;
    }
}

}  // namespace

CompileResult compile_mapping(const TextBuffer& text, MappingTable& table) {
    CompileResult result;
    table.count = 0;
    result.echo = before_comment(text);

    // The count is published only once the whole text has compiled, so that neither a
    // syntax error nor a failed allocation part-way leaves a half-built table served.
    Reader reader{result.echo};
    cut_tokens(result.echo, [&](int32_t index, int32_t start, int32_t end) {
        const Token t = read_next(reader, start, end);
        // Past the last entry nothing is read, so nothing is refused: a longer stored text
        // configures its first MAX_ENTRIES entries.
        if (t.ignored) return false;
        if (t.refused != SyntaxReason::none) {
            result.syntax_error = true;
            result.reason = t.refused;
            result.token_index = index;
            result.token_offset = start;
            return false;
        }
        if (t.pin_slot >= 0) {
            result.pins[t.pin_slot] = t.pin_model;
            return true;
        }
        // The reader has counted the token's entry and operands.
        MappingEntry* operands = table.operands + reader.operands - t.operand_count;
        for (int32_t i = 0; i < t.operand_count; ++i) operands[i] = t.operands[i].word;
        table.entries[reader.entries - 1] = t.word;
        return true;
    });
    for (uint32_t& pin : result.pins) pin = result.syntax_error ? 0 : pin;
    table.count = result.syntax_error ? 0 : reader.entries;
    table.operand_count = result.syntax_error ? 0 : reader.operands;
    return result;
}

std::vector<TokenSpan> mapping_tokens(const TextBuffer& text) {
    std::vector<TokenSpan> spans;
    const TextBuffer body = before_comment(text);
    Reader reader{body};
    cut_tokens(body, [&](int32_t, int32_t start, int32_t end) {
        const Token t = read_next(reader, start, end);
        spans.push_back({.start = t.start, .end = t.end, .number_start = t.number_start, .number_end = t.number_end,
                         .number = t.number, .word = t.word, .refused = t.refused, .fault = t.fault,
                         .fault_end = t.fault_end, .operands = {}, .pin_slot = t.pin_slot, .pin_model = t.pin_model,
                         .ignored = t.ignored});
        for (int32_t i = 0; i < t.operand_count; ++i) {
            const Operand& o = t.operands[i];
            spans.back().operands.push_back({.start = o.start, .end = o.end, .number_start = o.number_start,
                                             .number_end = o.number_end, .number = o.number, .word = o.word,
                                             .refused = SyntaxReason::none, .fault = o.start, .fault_end = o.end,
                                             .operands = {}, .pin_slot = -1, .pin_model = 0, .ignored = false});
        }
        return t.refused == SyntaxReason::none;
    });
    return spans;
}

int32_t bits_written(const TextBuffer& text) {
    const TextBuffer body = before_comment(text);
    int32_t bits = 0;
    cut_tokens(body, [&](int32_t, int32_t start, int32_t end) {
        Reader alone{body};
        const Token t = read_next(alone, start, end);
        if (t.pin_slot < 0) ++bits;
        return bits < MAX_ENTRIES;
    });
    return bits;
}
