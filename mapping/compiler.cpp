#include "mapping/compiler.h"

namespace {

// The axis letters after the controller number: x, y, z directly, and x, y, z after 'r'
// for the rotations. A letter's index in its row plus the row's base is the axis number.
constexpr char AXIS_LETTERS[] = "xyz";
constexpr int PLAIN_AXIS_BASE = 0;
constexpr int ROTATION_AXIS_BASE = 3;

static_assert(axis_kind(PLAIN_AXIS_BASE + 0, AxisForm::below) == EntryKind::x_below);
static_assert(axis_kind(PLAIN_AXIS_BASE + 1, AxisForm::above) == EntryKind::y_above);
static_assert(axis_kind(PLAIN_AXIS_BASE + 2, AxisForm::bit) == EntryKind::z_bit);
static_assert(axis_kind(ROTATION_AXIS_BASE + 0, AxisForm::below) == EntryKind::rx_below);
static_assert(axis_kind(ROTATION_AXIS_BASE + 1, AxisForm::above) == EntryKind::ry_above);
static_assert(axis_kind(ROTATION_AXIS_BASE + 2, AxisForm::bit) == EntryKind::rz_bit);
static_assert(ROTATION_AXIS_BASE + static_cast<int>(sizeof(AXIS_LETTERS)) - 1 == AXIS_COUNT);

// Index of c among the axis letters, or -1. The terminating zero of the row is no letter.
int axis_letter_index(char c) {
    for (int i = 0; AXIS_LETTERS[i] != '\0'; ++i) {
        if (AXIS_LETTERS[i] == c) return i;
    }
    return -1;
}

// The number written from position pos of the token on, read as atoi reads it.
uint32_t number_at(const TextBuffer& token, int32_t pos, uint32_t mask) {
    return static_cast<uint32_t>(token.mid(pos).to_int()) & mask;
}

struct TokenWord {
    bool valid;
    MappingEntry word;
};

// A controller token: 'j', the controller digit, then a button or an axis with its form.
// Each position is read only after every earlier one matched; the position just past the
// last byte reads the terminating zero, which matches nothing.
TokenWord compile_controller_token(const TextBuffer& token, bool invert) {
    constexpr TokenWord invalid{false, 0};
    if (token.at(0) != 'j') return invalid;
    char digit = token.at(1);
    if (digit < '1' || digit > '8') return invalid;
    auto controller = static_cast<uint32_t>(digit - '0');

    char letter = token.at(2);
    if (letter == 'b') {
        return {true, make_entry(controller, EntryKind::button, number_at(token, 3, BUTTON_NUMBER_MASK), invert)};
    }
    int axis = 0;
    int32_t form_pos = 3;
    if (letter == 'r') {
        int index = axis_letter_index(token.at(3));
        if (index < 0) return invalid;
        axis = ROTATION_AXIS_BASE + index;
        form_pos = 4;
    } else {
        int index = axis_letter_index(letter);
        if (index < 0) return invalid;
        axis = PLAIN_AXIS_BASE + index;
    }

    char form = token.at(form_pos);
    if (form == '<' || form == '>') {
        AxisForm which = form == '<' ? AxisForm::below : AxisForm::above;
        return {true, make_entry(controller, axis_kind(axis, which), number_at(token, form_pos + 1, OPERAND_MASK), invert)};
    }
    return {true, make_entry(controller, axis_kind(axis, AxisForm::bit), number_at(token, form_pos, BIT_NUMBER_MASK), invert)};
}

TokenWord compile_token(TextBuffer& token) {
    bool invert = token.at(0) == '!';
    if (invert) token = token.mid(1);
    // The constants ignore the invert flag.
    if (equals(token, "a")) return {true, CONSTANT_0};
    if (equals(token, "p")) return {true, CONSTANT_1};
    return compile_controller_token(token, invert);
}

}  // namespace

CompileResult compile_mapping(const TextBuffer& text, MappingTable& table) {
    CompileResult result;
    table.count = 0;

    int32_t slash = text.find('/');
    result.echo = slash >= 0 ? text.left(slash) : text.mid(0);

    TextBuffer rest(result.echo);
    rest.remove_all(' ');
    rest.remove_all('\t');

    // The count is published only once the whole text has compiled, so that neither a
    // syntax error nor a failed allocation part-way leaves a half-built table served.
    int32_t count = 0;
    TextBuffer token;
    while (rest.length > 0 && count < MAX_ENTRIES) {
        int32_t comma = rest.find(',');
        if (comma >= 0) {
            token = rest.left(comma);
            rest = rest.mid(comma + 1);
        } else {
            rest.move_to(token);
        }
        if (token.length == 0) {
            result.syntax_error = true;
            return result;
        }
        TokenWord compiled = compile_token(token);
        if (!compiled.valid) {
            result.syntax_error = true;
            return result;
        }
        table.entries[count++] = compiled.word;
    }
    table.count = count;
    return result;
}
