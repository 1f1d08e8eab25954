#include "mapping/compiler.h"

#include <algorithm>
#include <cstring>

#include "controllers/controller_facts.h"

namespace {

// The axis (sliders included) whose letters stand at position pos of the token, with
// their length; -1 for none. No axis's letters begin another's, so at most one matches.
int axis_at(const TextBuffer& token, int32_t pos, int32_t& length) {
    for (int axis = 0; axis < MAPPED_AXIS_COUNT; ++axis) {
        const char* letters = mapped_axis_letters(axis);
        auto n = static_cast<int32_t>(std::strlen(letters));
        int32_t i = 0;
        while (i < n && token.at(pos + i) == letters[i]) ++i;
        if (i < n) continue;
        length = n;
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

// A group's operand as read: its word and where it and its number stand in the token.
struct OperandWord {
    MappingEntry word;
    int32_t start, end, number_pos, number_end, number;
};

struct TokenWord {
    SyntaxReason refused;  // none when the token compiled
    MappingEntry word;
    int32_t number_pos = -1;  // where the number begins in the token, '!' included; -1 for none
    int32_t number_end = -1;  // just past its last digit; number_pos when it has no digit
    int32_t number = 0;       // as read, before the entry word keeps its low bits
    int32_t fault = 0;        // where a refused group's fault stands in the token, 0 for none
    int32_t fault_end = 0;    // just past its bytes
    int32_t operand_count = 0;  // a group's operands, as far as they were read
    OperandWord operands[MAX_GROUP_OPERANDS] = {};
    int32_t pin_slot = -1;    // a pin's slot index; -1 for every other token
    uint32_t pin_model = 0;
};

// A controller token whose number is written from position pos of the token on (at most
// its length), read as atoi reads it; the word keeps the bits of mask.
TokenWord numbered(const TextBuffer& token, int32_t pos, uint32_t controller, EntryKind kind, uint32_t mask,
                   bool invert) {
    const char* from = token.c_str() + pos;
    const char* end = nullptr;
    const int32_t number = parse_int(from, end);
    return {SyntaxReason::none, make_entry(controller, kind, static_cast<uint32_t>(number) & mask, invert), pos,
            pos + static_cast<int32_t>(end - from), number};
}

// The reason for a token refused at a byte where the grammar wanted `wanted`: a line end
// there is named as such.
TokenWord refused(char at, SyntaxReason wanted) {
    return {at == '\n' || at == '\r' ? SyntaxReason::line_end : wanted, 0};
}

// A point of view's token after "j<n>h": its number 1 to 4, one direction letter, and
// nothing after it.
TokenWord compile_pov_token(const TextBuffer& token, uint32_t controller, bool invert) {
    const char number = token.at(3);
    if (number < '0' + static_cast<int>(POV_NUMBER_MIN) || number > '0' + static_cast<int>(POV_NUMBER_MAX)) {
        return refused(number, SyntaxReason::pov_number);
    }
    const char letter = token.at(4);
    int direction = 0;
    while (direction < POV_DIRECTION_COUNT && POV_DIRECTIONS[direction].letter != letter) ++direction;
    if (direction == POV_DIRECTION_COUNT) return refused(letter, SyntaxReason::pov_direction);
    if (token.length > 5) return refused(token.at(5), SyntaxReason::after_pov_direction);
    return {SyntaxReason::none,
            make_entry(controller, pov_kind(direction), static_cast<uint32_t>(number - '0'), invert)};
}

// A controller token: 'j', the controller digit, then a button, a point of view, or an
// axis with its form.
// Each position is read only after every earlier one matched; the position just past the
// last byte reads the terminating zero, which matches nothing.
TokenWord compile_controller_token(const TextBuffer& token, bool invert) {
    if (token.at(0) != 'j') {
        return refused(token.at(0), invert && token.at(0) == '!' ? SyntaxReason::second_invert : SyntaxReason::not_a_token);
    }
    char digit = token.at(1);
    if (digit < '1' || digit > '0' + SLOT_COUNT) return refused(digit, SyntaxReason::controller_number);
    auto controller = static_cast<uint32_t>(digit - '0');

    if (token.at(2) == BUTTON_LETTER) {
        return numbered(token, 3, controller, EntryKind::button, BUTTON_NUMBER_MASK, invert);
    }
    if (token.at(2) == POV_LETTER) return compile_pov_token(token, controller, invert);
    int32_t letters = 0;
    int axis = axis_at(token, 2, letters);
    if (axis < 0) {
        if (axis_prefix(token.at(2))) return refused(token.at(3), SyntaxReason::rotation_axis);
        return refused(token.at(2), SyntaxReason::axis_or_button);
    }
    int32_t form_pos = 2 + letters;
    char form = token.at(form_pos);
    if (form == '<' || form == '>') {
        AxisForm which = form == '<' ? AxisForm::below : AxisForm::above;
        return numbered(token, form_pos + 1, controller, axis_kind(axis, which), OPERAND_MASK, invert);
    }
    return numbered(token, form_pos, controller, axis_kind(axis, AxisForm::bit), BIT_NUMBER_MASK, invert);
}

TokenWord compile_group_token(const TextBuffer& token, bool invert, uint32_t first);

// Moves what a token's reading says of its bytes by one, for the '!' taken out before it.
void past_invert(TokenWord& compiled) {
    if (compiled.number_pos >= 0) {
        ++compiled.number_pos;
        ++compiled.number_end;
    }
    if (compiled.fault > 0) {
        ++compiled.fault;
        ++compiled.fault_end;
    }
    for (int32_t i = 0; i < compiled.operand_count; ++i) {
        OperandWord& op = compiled.operands[i];
        ++op.start;
        ++op.end;
        if (op.number_pos >= 0) {
            ++op.number_pos;
            ++op.number_end;
        }
    }
}

// Whether the token is a pin: 'j', digits, then the pin mark.
bool is_pin(const TextBuffer& token) {
    int32_t i = 1;
    while (token.at(i) >= '0' && token.at(i) <= '9') ++i;
    return token.at(0) == 'j' && i > 1 && token.at(i) == PIN_MARK;
}

// The hex digits in either case: a digit's value is its index modulo 16.
constexpr char HEX_DIGITS[] = "0123456789abcdef0123456789ABCDEF";

// The value of the PIN_MODEL_DIGITS hex digits from position pos of the token; -1 when
// any of them is not one.
int32_t hex_at(const TextBuffer& token, int32_t pos) {
    int32_t value = 0;
    for (int32_t i = pos; i < pos + PIN_MODEL_DIGITS; ++i) {
        const char c = token.at(i);
        const char* digit = c == '\0' ? nullptr : std::strchr(HEX_DIGITS, c);
        if (digit == nullptr) return -1;
        value = value * 16 + static_cast<int32_t>(digit - HEX_DIGITS) % 16;
    }
    return value;
}

// A pin "j<n>=VVVV:PPPP": one slot digit, the vendor's and product's hex digits, nothing after.
TokenWord compile_pin(const TextBuffer& token) {
    const char digit = token.at(1);
    if (token.at(2) != PIN_MARK || digit < '1' || digit > '0' + SLOT_COUNT) return {SyntaxReason::pin_slot, 0};
    // Each position is read only after every earlier one matched, as in any token.
    const int32_t vendor = hex_at(token, 3);
    const int32_t separator = 3 + PIN_MODEL_DIGITS;
    const bool separated = vendor >= 0 && token.at(separator) == PIN_SEPARATOR;
    const int32_t product = separated ? hex_at(token, separator + 1) : -1;
    if (product < 0 || token.length != separator + 1 + PIN_MODEL_DIGITS) return {SyntaxReason::pin_model, 0};
    TokenWord pin{SyntaxReason::none, 0};
    pin.pin_slot = digit - '1';
    pin.pin_model = pad_model(static_cast<uint32_t>(vendor), static_cast<uint32_t>(product));
    return pin;
}

// A token, its blanks and tabs left out; a group's operands will stand from index first
// on beside the table.
TokenWord compile_token(TextBuffer& token, uint32_t first) {
    if (token.length == 0) return {SyntaxReason::empty_token, 0};
    bool invert = token.at(0) == '!';
    if (invert) {  // the '!' taken out in place, the terminating zero moved with the rest
        std::memmove(token.data, token.data + 1, static_cast<size_t>(token.length));
        token.set_length(token.length - 1);
    }
    if (invert && token.length == 0) return {SyntaxReason::nothing_after_invert, 0};
    // The constants ignore the invert flag.
    if (equals(token, "a")) return {SyntaxReason::none, CONSTANT_0};
    if (equals(token, "p")) return {SyntaxReason::none, CONSTANT_1};
    if (is_pin(token)) return invert ? TokenWord{SyntaxReason::pin_inverted, 0} : compile_pin(token);
    TokenWord compiled =
        token.at(0) == '(' ? compile_group_token(token, invert, first) : compile_controller_token(token, invert);
    if (invert) past_invert(compiled);
    return compiled;
}

// The group refused at byte pos of its token (its own '!' not counted) for reason; the
// fault is length bytes long.
TokenWord group_fault(TokenWord& group, int32_t pos, SyntaxReason reason, int32_t length = 1) {
    group.refused = reason;
    group.word = 0;
    group.fault = pos;
    group.fault_end = pos + length;
    return group;
}

bool cuts_group(char c) { return c == '|' || c == '&' || c == ')'; }

// Why nothing stands at byte pos of a group, cut there by cut.
SyntaxReason empty_operand_reason(const TextBuffer& token, int32_t pos, char cut) {
    if (cut == '\0') return SyntaxReason::unclosed_group;
    if (pos == 1) return cut == ')' ? SyntaxReason::empty_group : SyntaxReason::empty_operand;
    return cut == ')' || !cuts_group(token.at(pos - 1)) ? SyntaxReason::empty_operand : SyntaxReason::joints_in_a_row;
}

// The operand at bytes [pos, end) of a group, read as a token of its own would be; it
// may be neither a constant nor a group.
void add_operand(TokenWord& group, const TextBuffer& token, int32_t pos, int32_t end) {
    const int32_t bang = token.at(pos) == '!' ? 1 : 0;
    if (token.at(pos + bang) == '(') {
        group_fault(group, pos, SyntaxReason::nested_group, end - pos);
        return;
    }
    TextBuffer bytes = token.mid(pos).left(end - pos);
    const TokenWord read = compile_token(bytes, 0);
    if (read.refused != SyntaxReason::none || entry_is_constant(read.word)) {
        group_fault(group, pos, read.refused != SyntaxReason::none ? read.refused : SyntaxReason::constant_operand,
                    end - pos);
        return;
    }
    const bool numbered = read.number_pos >= 0;
    group.operands[group.operand_count++] = {read.word, pos, end, numbered ? pos + read.number_pos : -1,
                                             numbered ? pos + read.number_end : -1, read.number};
}

// A group after its '!': "(" operands joined by '|' or by '&' ")", 1 to 8 of them, each a
// controller token with its own '!'; nothing may follow the ")".
TokenWord compile_group_token(const TextBuffer& token, bool invert, uint32_t first) {
    TokenWord group{SyntaxReason::none, 0};
    char joint = 0;
    int32_t pos = 1;
    for (;;) {
        int32_t end = pos;
        while (end < token.length && !cuts_group(token.at(end))) ++end;
        const char cut = token.at(end);  // the terminating zero past the last byte
        if (end == pos) return group_fault(group, pos, empty_operand_reason(token, pos, cut), cut == '\0' ? 0 : 1);
        if (group.operand_count == MAX_GROUP_OPERANDS) {
            return group_fault(group, pos, SyntaxReason::too_many_operands, end - pos);
        }
        add_operand(group, token, pos, end);
        if (group.refused != SyntaxReason::none) return group;
        if (cut == '\0') return group_fault(group, end, SyntaxReason::unclosed_group, 0);
        if (cut == ')') {
            if (end + 1 < token.length) {
                return group_fault(group, end + 1, SyntaxReason::after_group, token.length - end - 1);
            }
            break;
        }
        if (joint != 0 && cut != joint) return group_fault(group, end, SyntaxReason::mixed_joints);
        joint = cut;
        pos = end + 1;
    }
    group.word = make_group_entry(joint == '&', first, static_cast<uint32_t>(group.operand_count), invert);
    return group;
}

// A token read as compile_token reads it, with the pins of the tokens before it in mind:
// a second pin of a slot is refused. pinned holds a bit per slot pinned so far.
TokenWord read_token(TextBuffer& token, uint32_t& pinned, uint32_t first) {
    TokenWord compiled = compile_token(token, first);
    if (compiled.pin_slot < 0) return compiled;
    const uint32_t bit = 1u << compiled.pin_slot;
    if ((pinned & bit) != 0) return {SyntaxReason::pin_twice, 0};
    pinned |= bit;
    return compiled;
}

// The mapping text before its first '/', which opens the comment.
TextBuffer before_comment(const TextBuffer& text) {
    int32_t slash = text.find('/');
    return slash >= 0 ? text.left(slash) : text.mid(0);
}

// Cuts text (a mapping text before its first '/') into tokens at its commas and hands
// each to visit(index, start, end, token), token holding its bytes with blanks and tabs
// left out, until visit returns false. A last piece with nothing but blanks in it is no
// token: the text ends with a comma, which stored texts do and hosts accept. Blanks and
// tabs are never commas, so the commas cut at are those of the text as handed over.
template <typename Visit>
void cut_tokens(const TextBuffer& text, Visit visit) {
    TextBuffer token;
    int32_t start = 0;
    for (int32_t index = 0;; ++index) {
        int32_t end = start;
        while (end < text.length && text.data[end] != ',') ++end;
        token.set_length(end - start);
        int32_t n = 0;
        for (int32_t i = start; i < end; ++i) {
            if (text.data[i] != ' ' && text.data[i] != '\t') token.data[n++] = text.data[i];
        }
        token.set_length(n);
        if (end == text.length && n == 0) return;
        if (!visit(index, start, end, token) || end == text.length) return;
        start = end + 1;
    }
}

// Where byte pos of a token (blanks left out) stands in text, whose token spans start to end.
int32_t offset_in_text(const TextBuffer& text, int32_t start, int32_t end, int32_t pos) {
    for (int32_t i = start; i < end; ++i) {
        if (text.data[i] == ' ' || text.data[i] == '\t') continue;
        if (pos-- == 0) return i;
    }
    return end;
}

// The span of a token or an operand whose bytes [from, to) of its token stand at
// [start, end) of text; number_pos as TokenWord has it.
TokenSpan span_of(const TextBuffer& text, int32_t start, int32_t end, int32_t from, int32_t to, int32_t number_pos,
                  int32_t number_end, int32_t number, MappingEntry word) {
    const int32_t first = offset_in_text(text, start, end, from);
    const int32_t last = to == from ? first : offset_in_text(text, start, end, to - 1) + 1;
    const bool has_number = number_pos >= 0;
    return {first, last, has_number ? offset_in_text(text, start, end, number_pos) : last,
            has_number ? std::min(offset_in_text(text, start, end, number_end), last) : last, number, word,
            SyntaxReason::none, first, last, {}, -1, 0};
}

}  // namespace

CompileResult compile_mapping(const TextBuffer& text, MappingTable& table) {
    CompileResult result;
    table.count = 0;

    result.echo = before_comment(text);

    // The count is published only once the whole text has compiled, so that neither a
    // syntax error nor a failed allocation part-way leaves a half-built table served.
    int32_t count = 0;
    int32_t operands = 0;
    uint32_t pinned = 0;
    cut_tokens(result.echo, [&](int32_t index, int32_t start, int32_t, TextBuffer& token) {
        // Past the last entry nothing is read, so nothing is refused: longer stored texts
        // have always configured.
        if (count >= MAX_ENTRIES) return false;
        TokenWord compiled = read_token(token, pinned, static_cast<uint32_t>(operands));
        if (compiled.refused != SyntaxReason::none) {
            result.syntax_error = true;
            result.reason = compiled.refused;
            result.token_index = index;
            result.token_offset = start;
            return false;
        }
        if (compiled.pin_slot >= 0) {
            result.pins[compiled.pin_slot] = compiled.pin_model;
            return true;
        }
        for (int32_t i = 0; i < compiled.operand_count; ++i) table.operands[operands++] = compiled.operands[i].word;
        table.entries[count++] = compiled.word;
        return true;
    });
    if (result.syntax_error) {
        for (uint32_t& pin : result.pins) pin = 0;
    } else {
        table.count = count;
    }
    table.operand_count = result.syntax_error ? 0 : operands;
    return result;
}

std::vector<TokenSpan> mapping_tokens(const TextBuffer& text) {
    std::vector<TokenSpan> spans;
    TextBuffer body = before_comment(text);
    int32_t operands = 0;
    int32_t entries = 0;
    uint32_t pinned = 0;
    cut_tokens(body, [&](int32_t, int32_t start, int32_t end, TextBuffer& token) {
        if (entries >= MAX_ENTRIES) {
            spans.push_back({start, end, end, end, 0, 0, SyntaxReason::none, start, end, {}, -1, 0});
            return true;
        }
        TokenWord compiled = read_token(token, pinned, static_cast<uint32_t>(operands));
        operands += compiled.operand_count;
        const bool has_number = compiled.number_pos >= 0;
        const bool in_group = compiled.fault > 0;
        const int32_t fault = in_group ? offset_in_text(body, start, end, compiled.fault) : start;
        int32_t fault_end = in_group ? fault : end;
        if (in_group && compiled.fault_end > compiled.fault) {
            fault_end = offset_in_text(body, start, end, compiled.fault_end - 1) + 1;
        }
        spans.push_back({start, end, has_number ? offset_in_text(body, start, end, compiled.number_pos) : end,
                         has_number ? offset_in_text(body, start, end, compiled.number_end) : end, compiled.number,
                         compiled.word, compiled.refused, fault, fault_end, {}, compiled.pin_slot, compiled.pin_model});
        for (int32_t i = 0; i < compiled.operand_count; ++i) {
            const OperandWord& op = compiled.operands[i];
            spans.back().operands.push_back(
                span_of(body, start, end, op.start, op.end, op.number_pos, op.number_end, op.number, op.word));
        }
        if (compiled.refused == SyntaxReason::none && compiled.pin_slot < 0) ++entries;
        return compiled.refused == SyntaxReason::none;
    });
    return spans;
}
