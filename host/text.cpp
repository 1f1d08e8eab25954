#include "host/text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr int GROUP_SIZE = 16;

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

// Notepad's "Unicode" is UTF-16 with a byte order mark (FF FE; FE FF big-endian); text
// without one still has a NUL in exactly one of its first two bytes.
bool is_utf16(const std::string& text) {
    if (text.size() < 2) return false;
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) return true;
    return (text[0] == '\0') != (text[1] == '\0');
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
    if (is_utf16(text)) {
        error = path + ": this file is UTF-16; save it as UTF-8";
        return false;
    }
    return true;
}
