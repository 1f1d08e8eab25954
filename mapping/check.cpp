#include "mapping/check.h"

#include <map>

#include "controllers/controller_facts.h"
#include "mapping/compiler.h"
#include "text/text_buffer.h"

namespace {

std::string without_blanks(const std::string& s) {
    std::string bare;
    for (char c : s) {
        if (c != ' ' && c != '\t') bare += c;
    }
    return bare;
}

// What is wrong with a number as written, read as atoi reads it: "" when it is only an
// optional sign and digits.
std::string number_problem(const std::string& written) {
    size_t i = written.empty() || (written[0] != '-' && written[0] != '+') ? 0 : 1;
    const size_t digits = i;
    while (i < written.size() && written[i] >= '0' && written[i] <= '9') ++i;
    if (i > digits && i == written.size()) return "";
    const std::string value = std::to_string(parse_int(written.c_str()));
    if (written.empty()) return "there is no number: it reads as 0";
    if (i == digits) return "\"" + written + "\" is not a number: it reads as 0";
    return "\"" + written + "\" reads as " + value + ": \"" + written.substr(i) + "\" after the digits is ignored";
}

// What a number becomes in the entry word, when that is not what was written; shown: the
// number as the warning quotes it (as typed when it is only digits).
std::string range_problem(EntryKind kind, int32_t written, const std::string& shown) {
    if (kind == EntryKind::button) {
        const int32_t reads = static_cast<int32_t>((static_cast<uint32_t>(written) - 1u) & BUTTON_NUMBER_MASK) + 1;
        if (reads == written) return "";
        return "button " + shown + " reads button " + std::to_string(reads) + " (buttons are 1 to " + std::to_string(BUTTON_COUNT) + ")";
    }
    if (static_cast<int>(kind) % 3 == static_cast<int>(AxisForm::bit)) {
        if (written >= 0 && written <= 15) return "";
        return "bit " + shown + " becomes bit " +
               std::to_string(static_cast<uint32_t>(written) & BIT_NUMBER_MASK) + " (bits are 0 to 15)";
    }
    if (written >= AXIS_MIN && written <= AXIS_MAX) return "";
    return "threshold " + shown + " becomes " +
           std::to_string(static_cast<int16_t>(static_cast<uint16_t>(written))) + " (thresholds are " +
           std::to_string(AXIS_MIN) + " to " + std::to_string(AXIS_MAX) + ")";
}

// The warnings of one compiled token of text.
std::vector<std::string> token_problems(const std::string& text, const TokenSpan& token, int attached) {
    std::vector<std::string> problems;
    const auto at = [&](int32_t from) {
        return without_blanks(text.substr(static_cast<size_t>(from), static_cast<size_t>(token.end - from)));
    };
    if (entry_is_constant(token.word)) {
        if (at(token.start)[0] == '!') {
            problems.push_back(std::string("'!' does nothing before a constant: this is \"") +
                               (token.word == CONSTANT_0 ? "a" : "p") + "\"");
        }
        return problems;
    }
    const std::string number = at(token.number_start);
    const std::string unreadable = number_problem(number);
    if (!unreadable.empty()) problems.push_back(unreadable);
    const int32_t value = parse_int(number.c_str());
    const std::string wrapped =
        range_problem(entry_kind(token.word), value, unreadable.empty() ? number : std::to_string(value));
    if (!wrapped.empty()) problems.push_back(wrapped);
    const auto controller = static_cast<int>(entry_controller(token.word));
    if (attached >= 0 && controller > attached) {
        problems.push_back("j" + std::to_string(controller) + " is not attached (" +
                           (attached == 0 ? std::string("no controller is") : std::to_string(attached) + " attached") +
                           ")");
    }
    return problems;
}

}  // namespace

std::vector<MappingWarning> check_mapping(const std::string& text, int attached_controllers) {
    std::vector<MappingWarning> warnings;
    const TextBuffer whole(text.c_str());
    const std::vector<TokenSpan> tokens = mapping_tokens(whole);
    if (refused_token(tokens) != nullptr) return warnings;
    if (text.empty()) {
        warnings.push_back({0, 0, 0, "the mapping text is empty: the plug-in configures its default mapping instead"});
        return warnings;
    }
    if (text.find_first_not_of(" \t") == std::string::npos) {
        warnings.push_back({0, 0, static_cast<int32_t>(text.size()),
                            "the mapping text is only blanks: no token, so no entry (not the default mapping, which "
                            "only an empty text gives), and every bit a host reads is 1"});
        return warnings;
    }

    std::map<MappingEntry, int32_t> first_with_test;
    for (int32_t index = 0; index < static_cast<int32_t>(tokens.size()); ++index) {
        const TokenSpan& token = tokens[static_cast<size_t>(index)];
        auto warn = [&](const std::string& message) {
            warnings.push_back({index, token.start, token.end - token.start, message});
        };
        if (index >= MAX_ENTRIES) {
            warn("this token and the " + std::to_string(tokens.size() - static_cast<size_t>(index) - 1) +
                 " after it are ignored: only the first " + std::to_string(MAX_ENTRIES) + " tokens count");
            break;
        }
        for (const std::string& problem : token_problems(text, token, attached_controllers)) warn(problem);
        if (entry_is_constant(token.word)) continue;
        const auto seen = first_with_test.emplace(token.word, index);
        if (!seen.second) warn("the same test as token " + std::to_string(seen.first->second + 1));
    }
    // The last token ends at a comma rather than at a '/' or the end of the text.
    if (!tokens.empty() && whole.at(tokens.back().end) == ',') {
        warnings.push_back({static_cast<int32_t>(tokens.size()), tokens.back().end, 1,
                            "a comma at the end: accepted, but no token follows it"});
    }
    return warnings;
}

int controllers_in_answer(const std::string& answer) {
    const size_t help = answer.find(HELP_HEAD);
    if (help == std::string::npos) return -1;
    for (int32_t slot = SLOT_COUNT; slot > 0; --slot) {
        if (answer.find(help_slot_head(slot - 1).text, help) != std::string::npos) return slot;
    }
    return 0;
}
