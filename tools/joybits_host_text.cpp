#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "controllers/axes.h"
#include "mapping/compiler.h"
#include "plugin/chosen_mapping.h"
#include "tools/joybits_host_text.h"

namespace {

constexpr int GROUP_SIZE = 16;

std::string hex_word(uint32_t word) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", word);
    return buffer;
}

// What each reason of the compiler means to a person, in the compiler's order.
constexpr const char* REASON_TEXTS[] = {
    "not refused",
    "empty token (a comma at the start, two commas in a row, or two at the end)",
    "nothing after '!'",
    "only one '!' may stand before a token",
    "the token holds a line end; only blanks and tabs are left out of a mapping text",
    "a token is a, p, or a controller token starting with j",
    "the controller number after j must be 1 to 8",
    "expected b, x, y, z or r after the controller number",
    "expected x, y or z after r",
};
static_assert(sizeof(REASON_TEXTS) / sizeof(REASON_TEXTS[0]) == static_cast<size_t>(SyntaxReason::rotation_axis) + 1,
              "one text per reason");

void append_utf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

std::string group_bits(const std::string& bits) {
    std::string grouped;
    for (size_t i = 0; i < bits.size(); ++i) {
        if (i != 0 && i % GROUP_SIZE == 0) grouped += ' ';
        grouped += bits[i];
    }
    return grouped;
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
        text += index + hex_word(table.entries[i]) + "  " + describe_entry(table.entries[i]);
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

std::string utf16_to_utf8(const char16_t* text, size_t max_units) {
    std::string out;
    for (size_t i = 0; i < max_units && text[i] != 0; ++i) {
        uint32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < max_units && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            unit = 0xFFFD;
        }
        append_utf8(out, unit);
    }
    return out;
}

AnswerShape answer_shape(const std::string& answer) {
    const size_t slash = answer.find('/');
    if (slash == std::string::npos) return AnswerShape::failure;
    if (answer.compare(slash, sizeof SYNTAX_ERROR_MARK - 1, SYNTAX_ERROR_MARK) == 0) return AnswerShape::syntax_error;
    if (answer.compare(slash, 8, "//help//") == 0) return AnswerShape::success;
    return AnswerShape::failure;
}

TokenError locate_syntax_error(const std::string& mapping) {
    TokenError error;
    MappingTable table;
    const TextBuffer text(mapping.c_str());
    const CompileResult compiled = compile_mapping(text, table);
    if (!compiled.syntax_error) return error;
    error.found = true;
    error.index = compiled.token_index + 1;
    error.offset = static_cast<size_t>(compiled.token_offset);
    error.token = mapping.substr(error.offset, mapping.find_first_of(",/", error.offset) - error.offset);
    error.reason = REASON_TEXTS[static_cast<size_t>(compiled.reason)];
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

bool read_file(const std::string& path, const char* what, long max_mib, std::string& text, std::string& error) {
    const size_t max_size = static_cast<size_t>(max_mib) * 1024 * 1024;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = path + ": cannot open " + what + " (" + std::strerror(errno) + ")";
        return false;
    }
    char chunk[4096];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        text.append(chunk, got);
        if (text.size() > max_size) break;
    }
    const bool failed = std::ferror(file) != 0;
    const int read_errno = errno;
    std::fclose(file);
    if (failed) {
        error = path + ": cannot read " + what + " (" + std::strerror(read_errno) + ")";
        return false;
    }
    if (text.size() > max_size) {
        error = path + ": " + what + " is larger than " + std::to_string(max_mib) + " MiB";
        return false;
    }
    return true;
}
