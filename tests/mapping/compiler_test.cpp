#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <new>
#include <sstream>
#include <string>

#include "tests/mapping/mapping_support.h"
#include "tests/support/alloc_counter.h"
#include "tests/support/expected_output.h"

namespace {

MappingEntry only_word(const char* s) {
    MappingTable table;
    EXPECT_TRUE(compiles(s, table)) << s;
    EXPECT_EQ(table.count, 1) << s;
    return table.entries[0];
}

std::string repeated(const char* token, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += std::string(token) + ",";
    return s;
}

}  // namespace

TEST(CompilerComment, CutsAtFirstSlashAndEchoesBlanksAndTabs) {
    MappingTable table;
    TextBuffer text("a/ p");
    CompileResult r = compile_mapping(text, table);
    EXPECT_FALSE(r.syntax_error);
    EXPECT_TRUE(equals(r.echo, "a"));
    EXPECT_EQ(words(table), (std::vector<MappingEntry>{0}));

    TextBuffer spaced(" j1 b 3\t,p /j1b9,zz");
    r = compile_mapping(spaced, table);
    EXPECT_FALSE(r.syntax_error);
    EXPECT_TRUE(equals(r.echo, " j1 b 3\t,p "));
    EXPECT_EQ(words(table), (std::vector<MappingEntry>{make_entry(1, EntryKind::button, 3, false), 1}));

    // A text that is all blanks, or all comment, is an empty mapping, not an error.
    struct Empty {
        const char* text;
        const char* echo;
    };
    for (const Empty& e : {Empty{"   ", "   "}, Empty{"\t \t", "\t \t"}, Empty{" /a,p", " "}, Empty{"/a,p", ""},
                           Empty{"", ""}}) {
        table.count = 7;
        TextBuffer t(e.text);
        r = compile_mapping(t, table);
        EXPECT_FALSE(r.syntax_error) << e.text;
        EXPECT_EQ(table.count, 0) << e.text;
        EXPECT_TRUE(equals(r.echo, e.echo)) << e.text;
    }
}

TEST(CompilerComment, AnswerWithMarkerCompilesLikeItsEcho) {
    MappingTable table;
    TextBuffer text("j1b1, !p //Sintax Error!//help//a;p;j1x;");
    CompileResult r = compile_mapping(text, table);
    EXPECT_FALSE(r.syntax_error);
    EXPECT_TRUE(equals(r.echo, "j1b1, !p "));
    EXPECT_EQ(words(table), (std::vector<MappingEntry>{0x11200004, 1}));
}

TEST(CompilerTokens, CommasAndEmptyTokens) {
    MappingTable table;
    EXPECT_TRUE(compiles("a,p,", table));
    EXPECT_EQ(words(table), (std::vector<MappingEntry>{0, 1}));
    for (const char* bad : {"a,p,,", ",a", ",", "a,,p", "a, ,p", "a,\t,p", ",,"}) {
        table.count = 5;
        EXPECT_FALSE(compiles(bad, table)) << bad;
        EXPECT_EQ(table.count, 0) << bad;
    }
    // Valid tokens before the faulty one are not served.
    EXPECT_FALSE(compiles("a,p,j1b1,q", table));
    EXPECT_EQ(table.count, 0);
}

TEST(CompilerTokens, InvertFlag) {
    EXPECT_EQ(only_word("!a"), 0u);
    EXPECT_EQ(only_word("!p"), 1u);
    EXPECT_EQ(only_word("!j1b1"), 0x11200006u);
    EXPECT_EQ(only_word("j1b1!"), 0x11200004u);  // bytes after the number are ignored
    EXPECT_EQ(only_word("! j 1 r z < 5"), make_entry(1, axis_kind("rz", AxisForm::below), 5, true));
    MappingTable table;
    for (const char* bad : {"!!j1b1", "!", "!,a", "a,!", "!!a", "j!1b1"}) EXPECT_FALSE(compiles(bad, table)) << bad;
}

TEST(CompilerGrammar, RejectsMalformedTokens) {
    MappingTable table;
    for (const char* bad : {"j1r", "j1", "j", "J1b1", "j0b1", "j9b1", "ja", "j1q", "j1rb", "j1rr", "j1R", "j1X<5",
                            "A", "P", "ab", "pa", "aa", "x", "1", "a\r", "j1\rb1", "j\n1b1", "j1r\nx", "j1B1"}) {
        table.count = 3;
        EXPECT_FALSE(compiles(bad, table)) << bad;
        EXPECT_EQ(table.count, 0) << bad;
    }
}

TEST(CompilerGrammar, ControllerTokensAndTheirForms) {
    struct Case {
        const char* text;
        MappingEntry word;
    };
    const Case cases[] = {
        {"j1b", make_entry(1, EntryKind::button, 0, false)},
        {"j1x", make_entry(1, axis_kind("x", AxisForm::bit), 0, false)},
        {"j1x<", make_entry(1, axis_kind("x", AxisForm::below), 0, false)},
        {"j8b1", make_entry(8, EntryKind::button, 1, false)},
        {"j1b3q", make_entry(1, EntryKind::button, 3, false)},
        {"j1x>=5", make_entry(1, axis_kind("x", AxisForm::above), 0, false)},
        {"j1y<12", make_entry(1, axis_kind("y", AxisForm::below), 12, false)},
        {"j1z>3", make_entry(1, axis_kind("z", AxisForm::above), 3, false)},
        {"j2rx<100", make_entry(2, axis_kind("rx", AxisForm::below), 100, false)},
        {"j3ry>5", make_entry(3, axis_kind("ry", AxisForm::above), 5, false)},
        {"j4rz7", make_entry(4, axis_kind("rz", AxisForm::bit), 7, false)},
        {"j5ry", make_entry(5, axis_kind("ry", AxisForm::bit), 0, false)},
        {"j1x<1 2", make_entry(1, axis_kind("x", AxisForm::below), 12, false)},
        // A line break at the form byte selects the bit form; the number reader skips it.
        {"j1x\r5", make_entry(1, axis_kind("x", AxisForm::bit), 5, false)},
        {"j1b\n7", make_entry(1, EntryKind::button, 7, false)},
        {"j1y>\n9x", make_entry(1, axis_kind("y", AxisForm::above), 9, false)},
        // The sliders read like an axis; a point of view takes its number as written.
        {"j1u<-5", make_entry(1, axis_kind("u", AxisForm::below), 0xFFFB, false)},
        {"!j2u>40000", make_entry(2, axis_kind("u", AxisForm::above), 40000, true)},
        {"j3v20", make_entry(3, axis_kind("v", AxisForm::bit), 4, false)},
        {"j4v", make_entry(4, axis_kind("v", AxisForm::bit), 0, false)},
        {"j1h1u", make_entry(1, EntryKind::pov_up, 1, false)},
        {"!j8 h 4 l", make_entry(8, EntryKind::pov_left, 4, true)},
        {"j2h2r", make_entry(2, EntryKind::pov_right, 2, false)},
        {"j2h3d", make_entry(2, EntryKind::pov_down, 3, false)},
    };
    for (const Case& c : cases) EXPECT_EQ(only_word(c.text), c.word) << c.text;
    EXPECT_EQ(only_word("j2ry>8000"), 0x20D07D00u);
}

TEST(CompilerOperands, NumbersAreReadAsAtoiAndMasked) {
    EXPECT_EQ(entry_operand(only_word("j1x<70000")), 4464u);
    EXPECT_EQ(entry_threshold(only_word("j1x>40000")), -25536);
    EXPECT_EQ(entry_operand(only_word("j1y>-1")), 0xFFFFu);
    EXPECT_EQ(entry_threshold(only_word("j1y>-1")), -1);
    EXPECT_EQ(entry_operand(only_word("j1x<65536")), 0u);
    EXPECT_EQ(entry_operand(only_word("j1x<+5")), 5u);
    EXPECT_EQ(entry_operand(only_word("j1y20")), 4u);
    EXPECT_EQ(entry_operand(only_word("j1x-3")), 13u);
    EXPECT_EQ(entry_operand(only_word("j1b128")), 0u);
    EXPECT_EQ(entry_operand(only_word("j1b129")), 1u);
    EXPECT_EQ(entry_operand(only_word("j1b-1")), 127u);
    // Digits beyond the signed 32-bit range give the nearest limit.
    EXPECT_EQ(entry_operand(only_word("j1x<99999999999")), 0xFFFFu);
    EXPECT_EQ(entry_threshold(only_word("j1x<99999999999")), -1);
    EXPECT_EQ(entry_operand(only_word("j1x<-99999999999")), 0u);
    EXPECT_EQ(entry_operand(only_word("j1x99999999999999999999")), 0xFu);
    EXPECT_EQ(entry_operand(only_word("j1b99999999999")), 127u);
}

TEST(CompilerLimit, KeepsTheFirst160EntriesSilently) {
    MappingTable table;
    std::string text = repeated("a,p", 80) + "j1b1";
    ASSERT_TRUE(compiles(text.c_str(), table));
    ASSERT_EQ(table.count, MAX_ENTRIES);
    EXPECT_EQ(table.entries[158], 0u);
    EXPECT_EQ(table.entries[159], 1u);

    text = repeated("p", 160) + ",,zz";
    EXPECT_TRUE(compiles(text.c_str(), table));
    EXPECT_EQ(table.count, MAX_ENTRIES);

    text = repeated("p", 159) + "zz";
    EXPECT_FALSE(compiles(text.c_str(), table));
    EXPECT_EQ(table.count, 0);

    text = repeated("p", 159) + "a";
    ASSERT_TRUE(compiles(text.c_str(), table));
    EXPECT_EQ(table.count, 160);
    EXPECT_EQ(table.entries[159], 0u);
}

TEST(CompilerMemory, FailedAllocationLeavesAnEmptyTableAndNoLeak) {
    bool completed = false;
    for (int64_t k = 1; k < 200 && !completed; ++k) {
        MappingTable table;
        table.count = 4;
        TextBuffer text("j1b1 , !j2x<5, a,p/comment");
        alloc_counter::fail_at(k);
        try {
            CompileResult r = compile_mapping(text, table);
            alloc_counter::fail_at(0);
            completed = true;
            EXPECT_FALSE(r.syntax_error);
            EXPECT_EQ(table.count, 4);
        } catch (const std::bad_alloc&) {
            alloc_counter::fail_at(0);
            EXPECT_EQ(table.count, 0) << "allocation " << k;
        }
    }
    EXPECT_TRUE(completed);
}

TEST(CompilerErrors, NameTheRefusedTokenItsStartAndWhy) {
    struct Case {
        const char* text;
        int32_t index;
        int32_t offset;
        SyntaxReason reason;
    };
    const Case cases[] = {
        {"p,j9b1", 1, 2, SyntaxReason::controller_number},
        {"a,p,,", 2, 4, SyntaxReason::empty_token},
        {",a", 0, 0, SyntaxReason::empty_token},
        {" a , \t ,p", 1, 4, SyntaxReason::empty_token},  // offsets count the blanks left out
        {"p,!!j1b1", 1, 2, SyntaxReason::second_invert},
        {"a,!", 1, 2, SyntaxReason::nothing_after_invert},
        {"j1x>1, J1b1", 1, 6, SyntaxReason::not_a_token},
        {"j1rx3,j1r", 1, 6, SyntaxReason::rotation_axis},
        {"j1q", 0, 0, SyntaxReason::axis_or_button},
        {"p,a,\n j2b1", 2, 4, SyntaxReason::line_end},
        {"j1\nb1", 0, 0, SyntaxReason::line_end},
        {"j1r\r", 0, 0, SyntaxReason::line_end},
        {"a,a,zz/,,", 2, 4, SyntaxReason::not_a_token},
        {"j1h", 0, 0, SyntaxReason::pov_number},
        {"p,j1h0u", 1, 2, SyntaxReason::pov_number},
        {"j1h5u", 0, 0, SyntaxReason::pov_number},
        {"j1h1", 0, 0, SyntaxReason::pov_direction},
        {"j1h1U", 0, 0, SyntaxReason::pov_direction},
        {"j1h1x", 0, 0, SyntaxReason::pov_direction},
        {"j1h1u1", 0, 0, SyntaxReason::after_pov_direction},
        {"j1h2ll", 0, 0, SyntaxReason::after_pov_direction},
        {"j1h1u\n", 0, 0, SyntaxReason::line_end},
        {"j1w", 0, 0, SyntaxReason::axis_or_button},
    };
    for (const Case& c : cases) {
        MappingTable table;
        TextBuffer text(c.text);
        const CompileResult result = compile_mapping(text, table);
        EXPECT_TRUE(result.syntax_error) << c.text;
        EXPECT_EQ(result.token_index, c.index) << c.text;
        EXPECT_EQ(result.token_offset, c.offset) << c.text;
        EXPECT_EQ(result.reason, c.reason) << c.text;
        EXPECT_EQ(table.count, 0) << c.text;
        const std::vector<TokenSpan> spans = mapping_tokens(text);  // the same token, ending the list
        ASSERT_EQ(spans.size(), static_cast<size_t>(c.index) + 1) << c.text;
        EXPECT_TRUE(spans.back().start == c.offset && spans.back().refused == c.reason) << c.text;
    }
    // Every token's span and number in the text as handed over, blanks counted; a last
    // comma ends no token, and the tokens past the first MAX_ENTRIES are listed unread.
    std::string spans;
    for (const TokenSpan& t : mapping_tokens(TextBuffer(" j1 b 3\t,!p,!j1x> 5 ,j8rz7,/x"))) {
        spans += std::to_string(t.start) + "-" + std::to_string(t.end) + "#" + std::to_string(t.number_start) + "-" +
                 std::to_string(t.number_end) + "=" + std::to_string(t.number) + " ";
    }
    EXPECT_EQ(spans, "0-8#6-8=3 9-11#11-11=0 12-20#18-20=5 21-26#25-26=7 ");
    // Where the number reader stopped, and what it read: nothing for a sign alone.
    const std::vector<TokenSpan> numbers = mapping_tokens(TextBuffer("j1x>+,j1b 12 q,j1y99999999999"));
    EXPECT_TRUE(numbers[0].number_start == 4 && numbers[0].number_end == 4 && numbers[0].number == 0);
    EXPECT_TRUE(numbers[1].number_start == 10 && numbers[1].number_end == 13 && numbers[1].number == 12);
    EXPECT_TRUE(numbers[2].number_end == numbers[2].end && numbers[2].number == 2147483647);
    const std::vector<TokenSpan> long_list = mapping_tokens(TextBuffer((repeated("j1b1", MAX_ENTRIES) + "!!").c_str()));
    EXPECT_TRUE(long_list.size() == MAX_ENTRIES + 1 && long_list.back().refused == SyntaxReason::none &&
                long_list.back().word == 0 && long_list[0].word == make_entry(1, EntryKind::button, 1, false));
    MappingTable table;
    TextBuffer good("j1b3q, j1x>=5/,,zz");
    const CompileResult result = compile_mapping(good, table);
    EXPECT_FALSE(result.syntax_error);
    EXPECT_EQ(result.reason, SyntaxReason::none);
}

namespace {

// A text's pins as the pin file writes them: "j1=045E:028E j2=..." or "no pins".
std::string pins_text(const uint32_t (&pins)[SLOT_COUNT]) {
    std::string text;
    for (int32_t i = 0; i < SLOT_COUNT; ++i) {
        if (pins[i] == 0) continue;
        char pin[24];
        std::snprintf(pin, sizeof pin, "%sj%d=%04X:%04X", text.empty() ? "" : " ", static_cast<int>(i + 1),
                      model_vendor(pins[i]), model_product(pins[i]));
        text += pin;
    }
    return text.empty() ? "no pins" : text;
}

const char* reason_name(SyntaxReason reason) {
    switch (reason) {
    case SyntaxReason::pin_slot: return "pin_slot";
    case SyntaxReason::pin_model: return "pin_model";
    case SyntaxReason::pin_inverted: return "pin_inverted";
    case SyntaxReason::pin_twice: return "pin_twice";
    case SyntaxReason::xinput_user: return "xinput_user";
    case SyntaxReason::xinput_pin: return "xinput_pin";
    default: return "other";
    }
}

// What the pin file says of a text: its words and pins, or its refused token.
std::string compiled_pins(const std::string& text) {
    MappingTable table;
    const TextBuffer buffer(text.c_str());
    const CompileResult result = compile_mapping(buffer, table);
    for (const TokenSpan& token : mapping_tokens(buffer)) {  // the token list holds the same pins
        if (!result.syntax_error && token.pin_slot >= 0) {
            EXPECT_EQ(token.pin_model, result.pins[token.pin_slot]) << text;
        }
    }
    if (result.syntax_error) {
        EXPECT_EQ(pins_text(result.pins), "no pins") << text;
        return "refused token " + std::to_string(result.token_index + 1) + " at byte " +
               std::to_string(result.token_offset) + ": " + reason_name(result.reason);
    }
    std::string out;
    for (MappingEntry word : words(table)) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X ", word);
        out += hex;
    }
    if (out.empty()) out = "no entries ";
    out.back() = ';';
    return out + " " + pins_text(result.pins);
}

}  // namespace

TEST(CompilerXInput, UsersOneToFourInEveryFormOfASlotButThePin) {
    std::istringstream lines(expected_sections("mapping/xinput.txt")["xinput"]);
    for (std::string line; std::getline(lines, line);) {
        const size_t arrow = line.find(" => ");
        ASSERT_NE(arrow, std::string::npos) << line;
        EXPECT_EQ(compiled_pins(line.substr(0, arrow)), line.substr(arrow + 4));
    }
}

TEST(CompilerPins, KeepASlotForAModelAndMakeNoEntry) {
    std::istringstream lines(expected_sections("mapping/pins.txt")["pins"]);
    int cases = 0;
    for (std::string line; std::getline(lines, line); ++cases) {
        const size_t arrow = line.find(" => ");
        ASSERT_NE(arrow, std::string::npos) << line;
        EXPECT_EQ(compiled_pins(line.substr(0, arrow)), line.substr(arrow + 4));
    }
    EXPECT_GT(cases, 20);
    // Pins count in none of the MAX_ENTRIES: all of the entries after them are served.
    MappingTable table;
    EXPECT_TRUE(compiles(("j1=045E:028E,j2=054C:05C4," + repeated("p", MAX_ENTRIES)).c_str(), table));
    EXPECT_EQ(table.count, MAX_ENTRIES);
}
