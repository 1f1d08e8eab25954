#include "report/report.h"

#include <algorithm>
#include <cstdio>

#include "controllers/controller_facts.h"
#include "mapping/compiler.h"
#include "plugin/chosen_mapping.h"
#include "plugin/joybits.h"
#include "text/text_buffer.h"

namespace {

// What each reason of the compiler means to a person.
struct ReasonText {
    SyntaxReason reason;
    std::string text;
};

// "expected x, y or z after r": what may follow the first of an axis's two letters.
std::string rotation_text() {
    for (const AxisName& axis : AXIS_NAMES) {
        if (axis.letters[1] == '\0') continue;
        return "expected " + joined(letters_after(axis.letters[0]), " or ") + " after " + axis.letters[0];
    }
    return "";
}

// "expected u, r, d or l (up, right, down, left) ...": the directions' letters and names.
std::string directions_text() {
    std::vector<std::string> letters, names;
    for (const PovDirection& direction : POV_DIRECTIONS) {
        letters.emplace_back(1, direction.letter);
        names.emplace_back(direction.name);
    }
    return "expected " + joined(letters, " or ") + " (" + joined(names, ", ") + ") after the point of view's number";
}

const std::vector<ReasonText>& reason_texts() {
    static const std::vector<ReasonText> texts = {
        {SyntaxReason::none, "not refused"},
        {SyntaxReason::empty_token, "empty token (a comma at the start, two commas in a row, or two at the end)"},
        {SyntaxReason::nothing_after_invert, "nothing after '!'"},
        {SyntaxReason::second_invert, "only one '!' may stand before a token"},
        {SyntaxReason::line_end,
         "a line end inside the mapping: a mapping text is one line (only blanks and tabs are left out)"},
        {SyntaxReason::not_a_token, "a token is a, p, or a controller token starting with j or x"},
        {SyntaxReason::controller_number, "the controller number after j must be 1 to " + std::to_string(SLOT_COUNT)},
        {SyntaxReason::axis_or_button,
         "expected " + joined(letters_after_number(), " or ") + " after the controller number"},
        {SyntaxReason::rotation_axis, rotation_text()},
        {SyntaxReason::pov_number,
         "the point of view's number after " + std::string(1, POV_LETTER) + " must be 1 to " + std::to_string(POV_COUNT)},
        {SyntaxReason::pov_direction, directions_text()},
        {SyntaxReason::after_pov_direction, "nothing may follow a point of view's direction"},
        {SyntaxReason::empty_group,
         "an empty group: a group holds 1 to " + std::to_string(MAX_GROUP_OPERANDS) + " controller tokens"},
        {SyntaxReason::empty_operand, "an empty operand: a controller token must stand between '(', '|' or '&' and the next"},
        {SyntaxReason::joints_in_a_row, "two joints in a row: a controller token must stand between them"},
        {SyntaxReason::mixed_joints, "'|' and '&' in one group: a group is joined by one of them"},
        {SyntaxReason::too_many_operands, "a group holds at most " + std::to_string(MAX_GROUP_OPERANDS) + " controller tokens"},
        {SyntaxReason::constant_operand, "a and p cannot stand in a group: its operands are controller tokens"},
        {SyntaxReason::nested_group, "a group cannot stand in a group"},
        {SyntaxReason::unclosed_group, "the group has no ')'"},
        {SyntaxReason::after_group, "nothing may follow a group's ')'"},
        {SyntaxReason::pin_slot, "a pin j<n>= keeps a controller number, 1 to " + std::to_string(SLOT_COUNT)},
        {SyntaxReason::pin_model, "a pin is j<n>= and the pad's vendor and product IDs, four hex digits each: j1=045E:028E"},
        {SyntaxReason::pin_inverted, "a pin makes no bit: '!' cannot stand before it"},
        {SyntaxReason::pin_twice, "a controller number can be pinned once"},
        {SyntaxReason::xinput_user, "the XInput user after x must be 1 to " + std::to_string(XINPUT_USER_COUNT)},
        {SyntaxReason::xinput_pin, "an XInput user cannot be pinned: XInput numbers its pads by their player lights"},
    };
    return texts;
}

// What a reason of the compiler means to a person.
std::string reason_text(SyntaxReason reason) {
    for (const ReasonText& text : reason_texts()) {
        if (text.reason == reason) return text.text;
    }
    return "not refused";
}

// The refused token of a list, where it stands and why.
TokenError syntax_error_of(const std::string& mapping, const std::vector<TokenSpan>& tokens) {
    TokenError error;
    const TokenSpan* refused = refused_token(tokens);
    if (refused == nullptr) return error;
    error.found = true;
    error.index = static_cast<int>(tokens.size());
    error.offset = static_cast<size_t>(refused->start);
    error.token = mapping.substr(error.offset, static_cast<size_t>(refused->end - refused->start));
    error.reason = reason_text(refused->refused);
    error.fault = static_cast<size_t>(refused->fault);
    error.fault_length = static_cast<size_t>(refused->fault_end - refused->fault);
    size_t line_start = 0;
    for (size_t i = 0; i < error.fault; ++i) {
        if (mapping[i] != '\n') continue;
        ++error.line;
        line_start = i + 1;
    }
    error.column = error.fault - line_start + 1;
    return error;
}

// A token's or an operand's entry, as written in mapping.
ReportEntry report_entry(const std::string& mapping, const TokenSpan& token, int32_t index) {
    ReportEntry entry{token.word,
                      mapping.substr(static_cast<size_t>(token.start), static_cast<size_t>(token.end - token.start)), index,
                      {}};
    for (const TokenSpan& operand : token.operands) entry.operands.push_back(report_entry(mapping, operand, index));
    return entry;
}

}  // namespace

std::string escape_bytes(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (c == '\t') {
            escaped += "\\t";
        } else if (c == '\r') {
            escaped += "\\r";
        } else if (c == '\n') {
            escaped += "\\n";
        } else if (c == '\\') {
            escaped += "\\\\";
        } else if (code < 0x20 || code >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(code));
            escaped += hex;
        } else {
            escaped += c;
        }
    }
    return escaped;
}


MappingReport mapping_report(const char* host_text, const AttachedControllers& attached) {
    MappingReport report;
    report.mapping = chosen_mapping(host_text);
    const std::vector<TokenSpan> tokens = mapping_tokens(TextBuffer(report.mapping.c_str()));
    report.error = syntax_error_of(report.mapping, tokens);
    if (report.error.found) {
        report.reads_after_error = bits_written(TextBuffer(report.mapping.c_str()));
        return report;
    }
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].pin_slot >= 0 || tokens[i].ignored) continue;
        report.entries.push_back(report_entry(report.mapping, tokens[i], static_cast<int32_t>(i)));
    }
    report.warnings = check_mapping(report.mapping, tokens, attached);
    if (host_text != nullptr && (host_text[0] == '\0' || host_text[0] == '/')) {
        const std::string what = host_text[0] == '\0' ? "is empty" : "is all comment (it starts with '/')";
        report.warnings.insert(report.warnings.begin(),
                               {0, 0, 0, "the mapping text " + what + ": the plug-in configures its default mapping instead"});
    }
    return report;
}

std::string entry_word_text(MappingEntry entry) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", entry);
    return buffer;
}

std::string describe_entry(MappingEntry entry) {
    if (entry_is_constant(entry)) return entry_result(entry) != 0 ? "constant 1" : "constant 0";
    const KindName* name = kind_name(entry_kind(entry));
    const std::string text = (entry_inverted(entry) ? "!" : "") + controller_name(entry_controller(entry));
    // A group's kind names a group only in a group's word, whose controller is 0.
    if (name == nullptr || (name->family == KindFamily::group) != entry_is_group(entry)) {
        return text + " unknown kind " + std::to_string(static_cast<int>(entry_kind(entry))) + " operand " +
               std::to_string(entry_operand(entry));
    }
    const std::string operand = std::to_string(entry_operand(entry));
    switch (name->family) {
    case KindFamily::group: {
        const std::string group = name->control + (" " + std::to_string(group_count(entry)));
        return entry_inverted(entry) ? "!(" + group + ")" : group;
    }
    case KindFamily::button:
        return text + " " + name->control + " " + std::to_string(entry_button(entry));
    case KindFamily::pov:
        return text + " " + name->control + " " + operand + " " + name->reading;
    case KindFamily::axis:
        break;
    }
    const bool bit = kind_form(entry_kind(entry)) == AxisForm::bit;
    return text + " " + name->control + " " + name->reading + " " + (bit ? operand : std::to_string(entry_threshold(entry)));
}

std::string format_table(const MappingReport& report) {
    std::string text;
    size_t next = 0;
    const std::vector<MappingWarning>& warnings = report.warnings;
    for (size_t i = 0; i < report.entries.size(); ++i) {
        char index[16];
        std::snprintf(index, sizeof index, "%3d  ", static_cast<int>(i + 1));
        const MappingEntry word = report.entries[i].word;
        text += index + entry_word_text(word) + "  " + describe_entry(word);
        for (; next < warnings.size() && warnings[next].token_index <= report.entries[i].token_index; ++next) {
            text += "  ! " + escape_bytes(warnings[next].message);
        }
        text += "\n";
        for (const ReportEntry& operand : report.entries[i].operands) {
            text += "       " + entry_word_text(operand.word) + "  " + describe_entry(operand.word) + "  (" +
                    escape_bytes(operand.token) + ")\n";
        }
    }
    for (; next < warnings.size(); ++next) text += "     ! " + escape_bytes(warnings[next].message) + "\n";
    return text;
}

std::string warning_text(const MappingReport& report, const MappingWarning& warning) {
    const std::string token =
        report.mapping.substr(static_cast<size_t>(warning.offset), static_cast<size_t>(warning.length));
    std::string bit;
    for (size_t i = 0; i < report.entries.size(); ++i) {
        if (report.entries[i].token_index == warning.token_index && i != static_cast<size_t>(warning.token_index)) {
            bit = " (bit " + std::to_string(i + 1) + ")";
        }
    }
    return "token " + std::to_string(warning.token_index + 1) + bit + " \"" + escape_bytes(token) + "\" at byte " +
           std::to_string(warning.offset) + ": " + escape_bytes(warning.message);
}

std::string syntax_error_text(const TokenError& error, const std::string& place) {
    return "syntax error in token " + std::to_string(error.index) + " \"" + escape_bytes(error.token) + "\" at byte " +
           std::to_string(error.fault) + (place.empty() ? "" : " (" + place + ")") + ": " + error.reason;
}

namespace {

nlohmann::json entry_json(const ReportEntry& entry) {
    nlohmann::json json{{"word", entry_word_text(entry.word)}, {"meaning", describe_entry(entry.word)},
                        {"token", entry.token}};
    if (entry_is_group(entry.word)) {
        json["operands"] = nlohmann::json::array();
        for (const ReportEntry& operand : entry.operands) json["operands"].push_back(entry_json(operand));
    }
    return json;
}

}  // namespace

nlohmann::json report_json(const MappingReport& report) {
    using nlohmann::json;
    json table = json::array();
    for (const ReportEntry& entry : report.entries) table.push_back(entry_json(entry));
    json warnings = json::array();
    for (const MappingWarning& w : report.warnings) {
        warnings.push_back(json{{"index", w.token_index + 1}, {"offset", w.offset}, {"length", w.length},
                                {"message", w.message}, {"text", warning_text(report, w)}});
    }
    json error = nullptr;
    if (report.error.found) {
        const TokenError& e = report.error;
        error = json{{"token", e.token},   {"index", e.index},   {"offset", e.offset},
                     {"length", e.token.size()}, {"fault", e.fault}, {"fault_length", e.fault_length},
                     {"line", e.line}, {"column", e.column},
                     {"reason", e.reason}, {"text", syntax_error_text(e, "")},
                     {"reads_after_error", report.reads_after_error}};
    }
    return json{{"mapping", report.mapping}, {"table", table}, {"syntax_error", error}, {"warnings", warnings}};
}

AnswerShape answer_shape(const std::string& answer) {
    const size_t slash = answer.find('/');
    if (slash == std::string::npos) return AnswerShape::failure;
    if (answer.compare(slash, sizeof SYNTAX_ERROR_MARK - 1, SYNTAX_ERROR_MARK) == 0) return AnswerShape::syntax_error;
    if (answer.compare(slash, sizeof HELP_HEAD - 1, HELP_HEAD) == 0) return AnswerShape::success;
    return AnswerShape::failure;
}
