#include "tools/joybits_host_mapping.h"

#include <cstdio>

#include "controllers/axes.h"
#include "controllers/controller_facts.h"
#include "mapping/compiler.h"
#include "plugin/chosen_mapping.h"
#include "plugin/joybits.h"
#include "tools/joybits_host_text.h"

namespace {

// What a reason of the compiler means to a person.
std::string reason_text(SyntaxReason reason) {
    switch (reason) {
    case SyntaxReason::none:
        break;
    case SyntaxReason::empty_token:
        return "empty token (a comma at the start, two commas in a row, or two at the end)";
    case SyntaxReason::nothing_after_invert:
        return "nothing after '!'";
    case SyntaxReason::second_invert:
        return "only one '!' may stand before a token";
    case SyntaxReason::line_end:
        return "a line end inside the mapping: a mapping text is one line (only blanks and tabs are left out)";
    case SyntaxReason::not_a_token:
        return "a token is a, p, or a controller token starting with j";
    case SyntaxReason::controller_number:
        return "the controller number after j must be 1 to " + std::to_string(SLOT_COUNT);
    case SyntaxReason::axis_or_button:
        return "expected b, x, y, z or r after the controller number";
    case SyntaxReason::rotation_axis:
        return "expected x, y or z after r";
    }
    return "not refused";
}

}  // namespace

std::string entry_word_text(MappingEntry entry) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", entry);
    return buffer;
}

std::string describe_entry(MappingEntry entry) {
    if (entry_is_constant(entry)) return entry_result(entry) != 0 ? "constant 1" : "constant 0";
    std::string text = entry_inverted(entry) ? "!j" : "j";
    text += std::to_string(entry_controller(entry));
    const int kind = static_cast<int>(entry_kind(entry));
    if (kind == static_cast<int>(EntryKind::button)) return text + " button " + std::to_string(entry_operand(entry));
    if (kind > static_cast<int>(EntryKind::button)) {
        return text + " unknown kind " + std::to_string(kind) + " operand " + std::to_string(entry_operand(entry));
    }
    text += ' ';
    text += AXES[kind / 3].letters;
    switch (static_cast<AxisForm>(kind % 3)) {
    case AxisForm::below:
        return text + " < " + std::to_string(entry_threshold(entry));
    case AxisForm::above:
        return text + " > " + std::to_string(entry_threshold(entry));
    case AxisForm::bit:
        break;
    }
    return text + " bit " + std::to_string(entry_operand(entry));
}

std::string format_table(const MappingTable& table, const std::vector<MappingWarning>& warnings) {
    std::string text;
    size_t next = 0;
    for (int32_t i = 0; i < table.count; ++i) {
        char index[16];
        std::snprintf(index, sizeof index, "%3d  ", static_cast<int>(i + 1));
        text += index + entry_word_text(table.entries[i]) + "  " + describe_entry(table.entries[i]);
        for (; next < warnings.size() && warnings[next].token_index == i; ++next) text += "  ! " + warnings[next].message;
        text += "\n";
    }
    for (; next < warnings.size(); ++next) text += "     ! " + warnings[next].message + "\n";
    return text;
}

std::string format_warning(const MappingWarning& warning, const std::string& mapping) {
    const std::string token = mapping.substr(static_cast<size_t>(warning.offset), static_cast<size_t>(warning.length));
    return "warning: token " + std::to_string(warning.token_index + 1) + " \"" + escape_bytes(token) + "\" at byte " +
           std::to_string(warning.offset) + ": " + warning.message;
}

AnswerShape answer_shape(const std::string& answer) {
    const size_t slash = answer.find('/');
    if (slash == std::string::npos) return AnswerShape::failure;
    if (answer.compare(slash, sizeof SYNTAX_ERROR_MARK - 1, SYNTAX_ERROR_MARK) == 0) return AnswerShape::syntax_error;
    if (answer.compare(slash, sizeof HELP_HEAD - 1, HELP_HEAD) == 0) return AnswerShape::success;
    return AnswerShape::failure;
}

TokenError locate_syntax_error(const std::string& mapping) {
    TokenError error;
    const std::vector<TokenSpan> tokens = mapping_tokens(TextBuffer(mapping.c_str()));
    const TokenSpan* refused_at = refused_token(tokens);
    if (refused_at == nullptr) return error;
    const TokenSpan& refused = *refused_at;
    error.found = true;
    error.index = static_cast<int>(tokens.size());
    error.offset = static_cast<size_t>(refused.start);
    error.token = mapping.substr(error.offset, static_cast<size_t>(refused.end - refused.start));
    error.reason = reason_text(refused.refused);
    size_t line_start = 0;
    for (size_t i = 0; i < error.offset; ++i) {
        if (mapping[i] != '\n') continue;
        ++error.line;
        line_start = i + 1;
    }
    error.column = error.offset - line_start + 1;
    return error;
}

void compile_for_table(const std::optional<std::string>& mapping, MappingTable& table) {
    const TextBuffer text(chosen_mapping(mapping ? mapping->c_str() : nullptr));
    compile_mapping(text, table);
}

