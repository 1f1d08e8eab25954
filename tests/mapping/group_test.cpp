#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "tests/mapping/mapping_support.h"
#include "tests/support/expected_output.h"

namespace {

const char* const REASON_NAMES[] = {
    "none", "empty_token", "nothing_after_invert", "second_invert", "line_end", "not_a_token", "controller_number",
    "axis_or_button", "rotation_axis", "pov_number", "pov_direction", "after_pov_direction", "empty_group",
    "empty_operand", "joints_in_a_row", "mixed_joints", "too_many_operands", "constant_operand", "nested_group",
    "unclosed_group", "after_group",
};
static_assert(std::size(REASON_NAMES) == static_cast<size_t>(SyntaxReason::after_group) + 1);

std::string hex(MappingEntry word) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", word);
    return text;
}

// What compiling mapping gives, as groups.txt writes it: the words, a group's followed by
// its operands' tokens and words in brackets; or the refused token, its fault and why.
// The table and mapping_tokens must say the same.
std::string compiled(const std::string& mapping) {
    MappingTable table;
    TextBuffer text(mapping.c_str());
    const CompileResult result = compile_mapping(text, table);
    const std::vector<TokenSpan> tokens = mapping_tokens(text);
    const auto bytes = [&](int32_t from, int32_t to) { return mapping.substr(size_t(from), size_t(to - from)); };
    if (result.syntax_error) {
        const TokenSpan& t = tokens.back();
        EXPECT_TRUE(t.start == result.token_offset && t.refused == result.reason && table.count == 0) << mapping;
        return "refused " + std::to_string(result.token_index + 1) + " at " + std::to_string(t.fault) + " \"" +
               bytes(t.fault, t.fault_end) + "\": " + REASON_NAMES[static_cast<int>(t.refused)];
    }
    std::string out;
    int32_t operand = 0;
    for (int32_t i = 0; i < table.count; ++i) {
        const TokenSpan& t = tokens[size_t(i)];
        EXPECT_EQ(t.word, table.entries[i]) << mapping;
        out += (i ? " " : "") + hex(table.entries[i]);
        if (t.operands.empty()) continue;
        EXPECT_EQ(group_first(t.word), uint32_t(operand)) << mapping;
        for (const TokenSpan& o : t.operands) {
            EXPECT_EQ(o.word, table.operands[operand++]) << mapping;
            out += (&o == &t.operands.front() ? " [" : ", ") + bytes(o.start, o.end) + " " + hex(o.word);
            if (o.number_start < o.end) out += " #" + bytes(o.number_start, o.number_end);
        }
        out += "]";
    }
    EXPECT_EQ(table.operand_count, operand) << mapping;
    return out;
}

}  // namespace

// Each line of groups.txt: a mapping text, " => ", what it compiles to.
TEST(CompilerGroups, EveryFormAsTheExpectedOutputSays) {
    std::istringstream cases(expected_sections("mapping/groups.txt")["cases"]);
    std::string line, expected, actual;
    while (std::getline(cases, line)) {
        const size_t arrow = line.find(" => ");
        ASSERT_NE(arrow, std::string::npos) << line;
        expected += line + "\n";
        actual += line.substr(0, arrow) + " => " + compiled(line.substr(0, arrow)) + "\n";
    }
    EXPECT_EQ(actual, expected);
}
