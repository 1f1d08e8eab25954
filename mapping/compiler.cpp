#include "mapping/compiler.h"

#include <cstring>

#include "controllers/controller_facts.h"

namespace {

// The axis whose letters stand at position pos of the token, with their length; -1 for
// none. No axis's letters begin another's, so at most one matches.
int axis_at(const TextBuffer& token, int32_t pos, int32_t& length) {
    for (int axis = 0; axis < AXIS_COUNT; ++axis) {
        auto n = static_cast<int32_t>(std::strlen(AXIS_NAMES[axis].letters));
        int32_t i = 0;
        while (i < n && token.at(pos + i) == AXIS_NAMES[axis].letters[i]) ++i;
        if (i < n) continue;
        length = n;
        return axis;
    }
    return -1;
}

// The number written from position pos of the token on, read as atoi reads it.
uint32_t number_at(const TextBuffer& token, int32_t pos, uint32_t mask) {
    return static_cast<uint32_t>(token.mid(pos).to_int()) & mask;
}

struct TokenWord {
    SyntaxReason refused;  // none when the token compiled
    MappingEntry word;
};

// The reason for a token refused at a byte where the grammar wanted `wanted`: a line end
// there is named as such.
TokenWord refused(char at, SyntaxReason wanted) {
    return {at == '\n' || at == '\r' ? SyntaxReason::line_end : wanted, 0};
}

// A controller token: 'j', the controller digit, then a button or an axis with its form.
// Each position is read only after every earlier one matched; the position just past the
// last byte reads the terminating zero, which matches nothing.
TokenWord compile_controller_token(const TextBuffer& token, bool invert) {
    if (token.at(0) != 'j') {
        return refused(token.at(0), invert && token.at(0) == '!' ? SyntaxReason::second_invert : SyntaxReason::not_a_token);
    }
    char digit = token.at(1);
    if (digit < '1' || digit > '0' + SLOT_COUNT) return refused(digit, SyntaxReason::controller_number);
    auto controller = static_cast<uint32_t>(digit - '0');

    if (token.at(2) == 'b') {
        return {SyntaxReason::none,
                make_entry(controller, EntryKind::button, number_at(token, 3, BUTTON_NUMBER_MASK), invert)};
    }
    int32_t letters = 0;
    int axis = axis_at(token, 2, letters);
    if (axis < 0) {
        if (token.at(2) == 'r') return refused(token.at(3), SyntaxReason::rotation_axis);
        return refused(token.at(2), SyntaxReason::axis_or_button);
    }
    int32_t form_pos = 2 + letters;
    char form = token.at(form_pos);
    if (form == '<' || form == '>') {
        AxisForm which = form == '<' ? AxisForm::below : AxisForm::above;
        return {SyntaxReason::none,
                make_entry(controller, axis_kind(axis, which), number_at(token, form_pos + 1, OPERAND_MASK), invert)};
    }
    return {SyntaxReason::none,
            make_entry(controller, axis_kind(axis, AxisForm::bit), number_at(token, form_pos, BIT_NUMBER_MASK), invert)};
}

TokenWord compile_token(TextBuffer& token) {
    if (token.length == 0) return {SyntaxReason::empty_token, 0};
    bool invert = token.at(0) == '!';
    if (invert) token = token.mid(1);
    if (invert && token.length == 0) return {SyntaxReason::nothing_after_invert, 0};
    // The constants ignore the invert flag.
    if (equals(token, "a")) return {SyntaxReason::none, CONSTANT_0};
    if (equals(token, "p")) return {SyntaxReason::none, CONSTANT_1};
    return compile_controller_token(token, invert);
}

// The byte offset in text of the start of token number index: just after the index-th
// comma. Blanks and tabs, which the compiler leaves out, are never commas, so the commas
// of the text as handed over are those the compiler cut at.
int32_t token_start(const TextBuffer& text, int32_t index) {
    int32_t commas = 0;
    for (int32_t i = 0; i < text.length; ++i) {
        if (commas == index) return i;
        if (text.data[i] == ',') ++commas;
    }
    return text.length;
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
        TokenWord compiled = compile_token(token);
        if (compiled.refused != SyntaxReason::none) {
            result.syntax_error = true;
            result.reason = compiled.refused;
            result.token_index = count;
            result.token_offset = token_start(result.echo, count);
            return result;
        }
        table.entries[count++] = compiled.word;
    }
    table.count = count;
    return result;
}
