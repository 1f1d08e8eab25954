// The mapping check: what it warns about, where, and what it leaves alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/check.h"
#include "mapping/mapping_entry.h"
#include "plugin/joybits.h"
#include "text/text_buffer.h"

namespace {

std::vector<MappingWarning> check(const std::string& text, int attached, std::vector<ControllerObjects> objects = {}) {
    return check_mapping(text, mapping_tokens(TextBuffer(text.c_str())), AttachedControllers{attached, objects});
}

// "index@offset: message" per warning, for compact expectations.
std::vector<std::string> warnings_of(const std::string& text, int attached = 2, std::vector<ControllerObjects> objects = {}) {
    std::vector<std::string> lines;
    for (const MappingWarning& w : check(text, attached, objects)) {
        lines.push_back(std::to_string(w.token_index) + "@" + std::to_string(w.offset) + "+" +
                        std::to_string(w.length) + ": " + w.message);
    }
    return lines;
}

}  // namespace

TEST(MappingCheck, NamesTokensThatDoNotMeanWhatTheySay) {
    EXPECT_EQ(warnings_of("j1x>=5"),
              (std::vector<std::string>{"0@0+6: \"=5\" is not a number: it reads as 0"}));
    EXPECT_EQ(warnings_of("p,j1y>40000"),
              (std::vector<std::string>{"1@2+9: threshold 40000 becomes -25536 (thresholds are -32768 to 32767)"}));
    // An operand's number is quoted as a token's is, a blank before the joint or not.
    EXPECT_EQ(warnings_of("(j1b |j1b1)"),
              (std::vector<std::string>{"0@1+3: operand 1: there is no number: it reads as 0",
                                        "0@1+3: operand 1: button 0 reads button 128 (buttons are 1 to 128)"}));
    EXPECT_EQ(warnings_of("j1x20"), (std::vector<std::string>{"0@0+5: bit 20 becomes bit 4 (bits are 0 to 15)"}));
    EXPECT_EQ(warnings_of("j1x16"), (std::vector<std::string>{"0@0+5: bit 16 becomes bit 0 (bits are 0 to 15)"}));
    EXPECT_EQ(warnings_of("j1b0,j1b128,j1b129"),
              (std::vector<std::string>{"0@0+4: button 0 reads button 128 (buttons are 1 to 128)",
                                        "1@5+6: the same test as token 1",
                                        "2@12+6: button 129 reads button 1 (buttons are 1 to 128)"}));
    EXPECT_EQ(warnings_of("j1b3q"),
              (std::vector<std::string>{"0@0+5: \"3q\" reads as 3: \"q\" after the digits is ignored"}));
    EXPECT_EQ(warnings_of("a, j1x> 5x"),
              (std::vector<std::string>{"1@2+8: \"5x\" reads as 5: \"x\" after the digits is ignored"}));
    EXPECT_EQ(warnings_of("p, !j1 y 2 0"), (std::vector<std::string>{"1@2+10: bit 20 becomes bit 4 (bits are 0 to 15)"}));
    EXPECT_EQ(warnings_of("j1x>+"), (std::vector<std::string>{"0@0+5: \"+\" is not a number: it reads as 0"}));
    EXPECT_EQ(warnings_of("j1y"), (std::vector<std::string>{"0@0+3: there is no number: it reads as 0"}));
    EXPECT_EQ(warnings_of("!a,!p"), (std::vector<std::string>{"0@0+2: '!' does nothing before a constant: this is \"a\"",
                                                              "1@3+2: '!' does nothing before a constant: this is \"p\""}));
    EXPECT_EQ(warnings_of("j1b1,j5b1", 2), (std::vector<std::string>{"1@5+4: j5 is not attached (2 attached)"}));
    EXPECT_EQ(warnings_of("j1b1", 0), (std::vector<std::string>{"0@0+4: j1 is not attached (no controller is)"}));
    EXPECT_EQ(warnings_of("a,p,"), (std::vector<std::string>{"2@3+1: a comma at the end: accepted, but no token follows it"}));
    EXPECT_EQ(warnings_of("j1b2,!j1b2,j1 b2"), (std::vector<std::string>{"2@11+5: the same test as token 1"}));

    // The number as the compiler read it: white space before the digits is atoi's to skip.
    EXPECT_EQ(warnings_of("j1x>\n5,j1y\r\n7x"),
              (std::vector<std::string>{"1@7+7: \"\r\n7x\" reads as 7: \"x\" after the digits is ignored"}));
    // Strict tests no value from -32768 to 32767 passes, after the 16-bit reduction too.
    EXPECT_EQ(warnings_of("j1u<-32768,!j1v>-32769,j1x>-32768"),
              (std::vector<std::string>{
                  "0@0+10: u < -32768 is never true (values are -32768 to 32767): the bit is always 0",
                  "1@11+11: threshold -32769 becomes 32767 (thresholds are -32768 to 32767)",
                  "1@11+11: v > 32767 is never true (values are -32768 to 32767): the bit is always 1"}));

    // A control the pad lacks, where the platform says what it has: x, the first slider,
    // one point of view, four buttons.
    ControllerObjects pad;
    pad.axes[0] = pad.axes[AXIS_COUNT] = true;
    pad.povs = 1;
    pad.buttons = 4;
    EXPECT_EQ(warnings_of("j1x>0,j1u5,j1h1u,j1b4,j1y<0,j1v5,j1h2u,j1b0", 1, {pad}),
              (std::vector<std::string>{
                  "4@22+5: j1 has no axis y (it has x): it reads 0", "5@28+4: j1 has no slider v (it has u): it reads 0",
                  "6@33+5: j1 has no point of view 2 (it has 1): it reads centred",
                  "7@39+4: button 0 reads button 128 (buttons are 1 to 128)",
                  "7@39+4: j1 has no button 128 (it has 4): it is never pressed"}));
    EXPECT_EQ(warnings_of("j2b1", 2, {pad}), (std::vector<std::string>{})) << "one record per controller, or none";

    std::string long_text;
    for (int i = 0; i < MAX_ENTRIES + 3; ++i) long_text += i == 0 ? "a" : ",a";
    EXPECT_EQ(warnings_of(long_text),
              (std::vector<std::string>{"160@320+1: this token and the 2 after it are ignored: only the first 160 tokens count"}));
}

TEST(MappingCheck, QuietOnSoundTextsAndSilentOnSyntaxErrors) {
    EXPECT_TRUE(check(DEFAULT_MAPPING, 2).empty());
    EXPECT_TRUE(check("j1x>-32768, j1x<\t32767, j8rz15, j1b128 / comment,,zz", 8).empty());
    EXPECT_TRUE(check("", 0).empty());
    // Blanks alone are no entry at all.
    EXPECT_EQ(warnings_of(" \t").size(), 1u);
    EXPECT_TRUE(check("p,,j1b1", 2).empty()) << "a syntax error is the compiler's to report";
    // Without a count of controllers, none is said to be missing.
    EXPECT_TRUE(check("j8b1", -1).empty());
}

TEST(MappingCheck, NamesWhatMakesAnXInputUserReadAtRest) {
    AttachedControllers attached{2, {}};
    attached.xinput = XInputPresence::present;
    attached.xinput_connected[0] = true;
    attached.xinput_guide = false;
    const std::string text = "x1b11,x1b10,x2b1,x1b12";
    std::vector<std::string> lines;
    for (const MappingWarning& w : check_mapping(text, mapping_tokens(TextBuffer(text.c_str())), attached)) {
        lines.push_back(std::to_string(w.token_index) + ": " + w.message);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "0: this system's XInput (xinput9_1_0.dll) does not report the guide button: x1 b11 is never pressed",
                         "2: x2 is not connected (no XInput pad shows player light 2): it reads at rest until one is",
                         "3: x1 has no button 12 (it has 11): it is never pressed"}));
    attached.xinput = XInputPresence::missing;
    EXPECT_EQ(check_mapping("x3b1", mapping_tokens(TextBuffer("x3b1")), attached).at(0).message,
              "this system has no XInput (xinput1_4.dll, xinput1_3.dll or xinput9_1_0.dll): x3 reads at rest");
}

TEST(MappingCheck, CountsTheControllersOfAnAnswer) {
    EXPECT_EQ(controllers_in_answer("p//help//a;p;"), 0);
    EXPECT_EQ(controllers_in_answer("p//help//a;p;j1:x[<N,>N,n],b[n];j2:b[n];"), 2);
    EXPECT_EQ(controllers_in_answer("zz//Sintax Error!//help//a;p;j1:b[n];j3:b[n];"), 3);
    EXPECT_EQ(controllers_in_answer("//Enumeration fail!//"), -1);
}
