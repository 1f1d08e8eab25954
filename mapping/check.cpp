#include "mapping/check.h"

#include <cstring>
#include <map>

#include "controllers/controller_facts.h"
#include "mapping/compiler.h"
#include "text/text_buffer.h"

namespace {

struct Token {
    int32_t index;
    int32_t offset;
    std::string written;  // as in the text, blanks included
    std::string bare;     // as the compiler sees it
};

std::string without_blanks(const std::string& s) {
    std::string bare;
    for (char c : s) {
        if (c != ' ' && c != '\t') bare += c;
    }
    return bare;
}

// The tokens as the compiler cuts them, at the commas of the text before its first '/'.
// A last piece with nothing in it is no token: the text ends with a comma.
std::vector<Token> cut_tokens(const std::string& body, bool& trailing_comma) {
    std::vector<Token> tokens;
    size_t start = 0;
    for (int32_t index = 0;; ++index) {
        const size_t comma = body.find(',', start);
        const size_t end = comma == std::string::npos ? body.size() : comma;
        const std::string written = body.substr(start, end - start);
        tokens.push_back({index, static_cast<int32_t>(start), written, without_blanks(written)});
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    trailing_comma = tokens.size() > 1 && tokens.back().bare.empty();
    if (tokens.back().bare.empty()) tokens.pop_back();
    return tokens;
}

MappingEntry compile_one(const std::string& bare) {
    MappingTable table;
    const TextBuffer text(bare.c_str());
    compile_mapping(text, table);
    return table.count == 1 ? table.entries[0] : CONSTANT_0;
}

// Where a controller token's number begins: after "jNb", after the axis letters and the
// form ('<' or '>'), or right after the axis letters for a bit number.
size_t number_position(const std::string& bare) {
    if (bare.size() > 2 && bare[2] == 'b') return 3;
    for (const AxisName& axis : AXIS_NAMES) {
        const size_t n = std::strlen(axis.letters);
        if (bare.compare(2, n, axis.letters) != 0) continue;
        const size_t form = 2 + n;
        return form < bare.size() && (bare[form] == '<' || bare[form] == '>') ? form + 1 : form;
    }
    return bare.size();
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

// What a number becomes in the entry word, when that is not what was written.
std::string range_problem(EntryKind kind, int32_t written) {
    if (kind == EntryKind::button) {
        const int32_t reads = static_cast<int32_t>((static_cast<uint32_t>(written) - 1u) & BUTTON_NUMBER_MASK) + 1;
        if (reads == written) return "";
        return "button " + std::to_string(written) + " reads button " + std::to_string(reads) + " (buttons are 1 to " + std::to_string(BUTTON_COUNT) + ")";
    }
    if (static_cast<int>(kind) % 3 == static_cast<int>(AxisForm::bit)) {
        if (written >= 0 && written <= 15) return "";
        return "bit " + std::to_string(written) + " becomes bit " +
               std::to_string(static_cast<uint32_t>(written) & BIT_NUMBER_MASK) + " (bits are 0 to 15)";
    }
    if (written >= AXIS_MIN && written <= AXIS_MAX) return "";
    return "threshold " + std::to_string(written) + " becomes " +
           std::to_string(static_cast<int16_t>(static_cast<uint16_t>(written))) + " (thresholds are " +
           std::to_string(AXIS_MIN) + " to " + std::to_string(AXIS_MAX) + ")";
}

// The warnings of one compiled token.
std::vector<std::string> token_problems(const Token& token, MappingEntry word, int attached) {
    std::vector<std::string> problems;
    const bool inverted = token.bare[0] == '!';
    const std::string bare = inverted ? token.bare.substr(1) : token.bare;
    if (entry_is_constant(word)) {
        if (inverted) problems.push_back("'!' does nothing before a constant: this is \"" + bare + "\"");
        return problems;
    }
    const std::string number = bare.substr(number_position(bare));
    const std::string unreadable = number_problem(number);
    if (!unreadable.empty()) problems.push_back(unreadable);
    const std::string wrapped = range_problem(entry_kind(word), parse_int(number.c_str()));
    if (!wrapped.empty()) problems.push_back(wrapped);
    const auto controller = static_cast<int>(entry_controller(word));
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
    MappingTable table;
    const TextBuffer whole(text.c_str());
    if (compile_mapping(whole, table).syntax_error) return warnings;

    const std::string body = text.substr(0, text.find('/'));
    bool trailing_comma = false;
    const std::vector<Token> tokens = cut_tokens(body, trailing_comma);
    std::map<MappingEntry, int32_t> first_with_test;
    for (const Token& token : tokens) {
        auto warn = [&](const std::string& message) {
            warnings.push_back({token.index, token.offset, static_cast<int32_t>(token.written.size()), message});
        };
        if (token.index >= MAX_ENTRIES) {
            warn("this token and the " + std::to_string(tokens.size() - static_cast<size_t>(token.index) - 1) +
                 " after it are ignored: only the first " + std::to_string(MAX_ENTRIES) + " tokens count");
            break;
        }
        const MappingEntry word = compile_one(token.bare);
        for (const std::string& problem : token_problems(token, word, attached_controllers)) warn(problem);
        if (entry_is_constant(word)) continue;
        const auto seen = first_with_test.emplace(word, token.index);
        if (!seen.second) warn("the same test as token " + std::to_string(seen.first->second + 1));
    }
    if (trailing_comma) {
        const auto comma = static_cast<int32_t>(body.rfind(','));
        warnings.push_back({static_cast<int32_t>(tokens.size()), comma, 1,
                            "a comma at the end: accepted, but no token follows it"});
    }
    return warnings;
}

int controllers_in_answer(const std::string& answer) {
    const size_t help = answer.find(HELP_HEAD);
    if (help == std::string::npos) return -1;
    int most = 0;
    for (size_t at = answer.find(";j", help); at != std::string::npos; at = answer.find(";j", at + 1)) {
        const char digit = at + 3 < answer.size() && answer[at + 3] == ':' ? answer[at + 2] : '\0';
        if (digit >= '1' && digit <= '0' + SLOT_COUNT && digit - '0' > most) most = digit - '0';
    }
    return most;
}
