#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "mapping/compiler.h"
#include "plugin/plugin.h"
#include "tools/joybits_host.h"

namespace {

constexpr int GROUP_SIZE = 16;

std::string hex_word(uint32_t word) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", word);
    return buffer;
}

// Why the compiler refuses a token (blanks and tabs already removed), in the order in
// which the grammar looks at its bytes.
std::string token_reason(std::string token) {
    if (token.find_first_of("\r\n") != std::string::npos) {
        return "the token holds a line end; only blanks and tabs are left out of a mapping text";
    }
    if (token.empty()) return "empty token (a comma at the start, two commas in a row, or two at the end)";
    if (token[0] == '!') {
        token.erase(0, 1);
        if (token.empty()) return "nothing after '!'";
        if (token[0] == '!') return "only one '!' may stand before a token";
    }
    if (token[0] != 'j') return "a token is a, p, or a controller token starting with j";
    if (token.size() < 2 || token[1] < '1' || token[1] > '8') return "the controller number after j must be 1 to 8";
    if (token.size() < 3 || std::string("bxyzr").find(token[2]) == std::string::npos) {
        return "expected b, x, y, z or r after the controller number";
    }
    if (token[2] == 'r' && (token.size() < 4 || std::string("xyz").find(token[3]) == std::string::npos)) {
        return "expected x, y or z after r";
    }
    return "not a valid token";
}

bool prefix_fails(const std::string& prefix) {
    MappingTable table;
    TextBuffer text(prefix.c_str());
    return compile_mapping(text, table).syntax_error;
}

std::string without_blanks(const std::string& token) {
    std::string kept;
    for (char c : token) {
        if (c != ' ' && c != '\t') kept += c;
    }
    return kept;
}

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
    text += axis_name(kind / 3);
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

std::string format_table(const MappingTable& table) {
    std::string text;
    for (int32_t i = 0; i < table.count; ++i) {
        char index[16];
        std::snprintf(index, sizeof index, "%3d  ", static_cast<int>(i + 1));
        text += index + hex_word(table.entries[i]) + "  " + describe_entry(table.entries[i]) + "\n";
    }
    return text;
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

std::string format_guid(uint32_t data1, uint16_t data2, uint16_t data3, const unsigned char data4[8]) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", data1,
                  static_cast<unsigned>(data2), static_cast<unsigned>(data3), data4[0], data4[1], data4[2], data4[3],
                  data4[4], data4[5], data4[6], data4[7]);
    return buffer;
}

AnswerShape answer_shape(const std::string& answer) {
    const size_t slash = answer.find('/');
    if (slash == std::string::npos) return AnswerShape::failure;
    if (answer.compare(slash, sizeof SYNTAX_ERROR_MARK - 1, SYNTAX_ERROR_MARK) == 0) return AnswerShape::syntax_error;
    if (answer.compare(slash, 8, "//help//") == 0) return AnswerShape::success;
    return AnswerShape::failure;
}

std::string chosen_mapping(const std::optional<std::string>& mapping) {
    if (!mapping || mapping->empty() || (*mapping)[0] == '/') return DEFAULT_MAPPING;
    return *mapping;
}

TokenError locate_syntax_error(const std::string& mapping) {
    TokenError error;
    const std::string text = mapping.substr(0, mapping.find('/'));
    // Tokens are cut at the commas of the text as written; a prefix that ends with a
    // token and its comma compiles exactly that far, so the first failing prefix names
    // the first failing token.
    size_t start = 0;
    for (int index = 1; index <= MAX_ENTRIES + 1 && start <= text.size(); ++index) {
        const size_t comma = text.find(',', start);
        const size_t end = comma == std::string::npos ? text.size() : comma;
        const size_t prefix_end = comma == std::string::npos ? text.size() : comma + 1;
        if (prefix_fails(text.substr(0, prefix_end))) {
            error.found = true;
            error.index = index;
            error.offset = start;
            error.token = text.substr(start, end - start);
            error.reason = token_reason(without_blanks(error.token));
            size_t line_start = 0;
            for (size_t i = 0; i < start; ++i) {
                if (text[i] != '\n') continue;
                ++error.line;
                line_start = i + 1;
            }
            error.column = start - line_start + 1;
            return error;
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return error;
}

void compile_for_table(const std::optional<std::string>& mapping, MappingTable& table) {
    TextBuffer text(chosen_mapping(mapping).c_str());
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
