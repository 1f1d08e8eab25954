// Fuzzer for the mapping text: the input up to its first zero byte is sent as the mapping
// text of a configure, over the simulated platform with a gamepad and a joystick; the
// bytes after the zero drive their axes and buttons through a few polls and reads.
//
// Checked for every input: the answer is the echo (the chosen text cut at its first '/')
// followed by the exact help list of the two controllers, with the syntax-error marker
// between them exactly when the table came out empty because of an error; the answer
// handed back as the next mapping text gives the same answer and the same table; every
// entry word is well formed, a group's operands too, and after a poll each group's bit is
// the one its operands' bits make; polls return the count and reads give 0 or 1 (1 past the
// end); constants keep their bits; after a release nothing is left held or misused; the
// token list the readers beside the plug-in take agrees with the configure: the same
// refusal, the same words, and spans that follow one another comma by comma.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "mapping/compiler.h"
#include "plugin/plugin.h"
#include "sim/sim_platform.h"

namespace {

// The plug-in state the input drives, as the export drives its own.
PluginState tested;

const std::string HELP = "//help//a;p;"
                         "j1:x[<N,>N,n],y[<N,>N,n],b[n];"
                         "j2:x[<N,>N,n],y[<N,>N,n],z[<N,>N,n],rz[<N,>N,n],b[n];";

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "fuzz_mapping: %s\n%s\n", what, detail.c_str());
    std::abort();
}

void check(bool ok, const char* what, const std::string& detail = std::string()) {
    if (!ok) fail(what, detail);
}

intptr_t device(int32_t command, intptr_t argument = 0) { return plugin_dispatch(tested, command, argument); }

std::string configure(const char* text) {
    auto answer = reinterpret_cast<const char*>(device(CMD_CONFIGURE, reinterpret_cast<intptr_t>(text)));
    check(answer != nullptr, "configure returned null");
    return std::string(answer);
}

void check_controller_word(MappingEntry e) {
    check(entry_controller(e) >= 1 && entry_controller(e) <= CONTROLLER_COUNT, "controller number out of range");
    check(static_cast<int>(entry_kind(e)) < ENTRY_KIND_COUNT, "kind out of range");
    check(((e >> 18) & 3u) == 0, "bits 18-19 not zero");
    check(kind_pov_direction(entry_kind(e)) < 0 || (entry_operand(e) >= POV_NUMBER_MIN && entry_operand(e) <= POV_NUMBER_MAX),
          "a point of view's number out of range");
}

// A group's operands stand among the table's, and after a poll its bit is any or every
// operand's bit, flipped by its '!'.
void check_group(const MappingTable& table, MappingEntry e, bool polled) {
    check(static_cast<int32_t>(group_first(e) + group_count(e)) <= table.operand_count, "a group's operands out of range");
    uint32_t any = 0;
    uint32_t every = 1;
    for (uint32_t k = group_first(e); k < group_first(e) + group_count(e); ++k) {
        check_controller_word(table.operands[k]);
        any |= entry_result(table.operands[k]);
        every &= entry_result(table.operands[k]);
    }
    const uint32_t bit = (entry_kind(e) == EntryKind::group_all ? every : any) ^ (entry_inverted(e) ? 1u : 0u);
    check(!polled || entry_result(e) == bit, "a group's bit is not its operands'");
}

void check_words(bool polled) {
    const MappingTable& table = tested.table;
    check(table.count >= 0 && table.count <= MAX_ENTRIES, "count out of range");
    for (int32_t i = 0; i < table.count; ++i) {
        MappingEntry e = table.entries[i];
        if (entry_is_constant(e)) {
            check(e == CONSTANT_0 || e == CONSTANT_1, "constant entry carries more than its bit");
        } else if (entry_is_group(e)) {
            check_group(table, e, polled);
        } else {
            check_controller_word(e);
        }
    }
}

void check_tokens(const std::string& chosen, bool refused, const MappingEntry* words, int32_t count) {
    const std::vector<TokenSpan> tokens = mapping_tokens(TextBuffer(chosen.c_str()));
    const auto listed = static_cast<int32_t>(tokens.size());
    check(refused == (refused_token(tokens) != nullptr),
          "the token list and the configure disagree on a refusal", chosen);
    int32_t at = 0;
    int32_t entry = 0;  // the entry of the token: pins make none
    for (int32_t i = 0; i < listed; ++i) {
        const TokenSpan& t = tokens[static_cast<size_t>(i)];
        check(t.start == at && t.start <= t.number_start && t.number_start <= t.number_end && t.number_end <= t.end,
              "a token's span is out of order", chosen);
        const char after = t.end < static_cast<int32_t>(chosen.size()) ? chosen[static_cast<size_t>(t.end)] : ',';
        check(after == ',' || after == '/', "a token ends at neither a comma, a '/' nor the end", chosen);
        check(refused || entry >= count || t.pin_slot >= 0 || t.word == words[entry], "a token's word is not the table's",
              chosen);
        for (size_t k = 0; k < t.operands.size(); ++k) {
            const TokenSpan& o = t.operands[k];
            check(t.start <= o.start && o.start < o.end && o.end <= t.end && o.number_end <= o.end &&
                      (refused || o.word == tested.table.operands[group_first(t.word) + k]),
                  "an operand's span or word is not its group's", chosen);
        }
        at = t.end + 1;
        if (t.pin_slot < 0) ++entry;
    }
    check(refused || (entry < MAX_ENTRIES ? entry : MAX_ENTRIES) == count, "the token list and the table differ in length",
          chosen);
}

void set_up_platform() {
    sim_reset();
    sim_set_logging(false);
    sim_add_gamepad("Pad");
    sim_add_joystick("Stick");
    device(CMD_RELEASE);
    device(CMD_SET_WINDOW, 0x1234);
}

// The first configure of the text: its answer is the echo, then the help list or the marker
// and the help list (a pinned text's help list numbers the pads anew); its words go to
// words, and the tokens are checked against them. The entry count.
int32_t check_first_configure(const char* text, MappingEntry* words, std::string& answer) {
    bool use_default = text[0] == '\0' || text[0] == '/';
    std::string chosen = use_default ? std::string(DEFAULT_MAPPING) : std::string(text);
    std::string echo = chosen.substr(0, chosen.find('/'));

    answer = configure(text);
    check_words(false);
    int32_t count = tested.table.count;
    check(answer.compare(0, echo.size(), echo) == 0, "answer does not start with the echo", answer);
    std::string tail = answer.substr(echo.size());
    // A text with a syntax error pins nothing; one that pins a slot numbers the pads anew,
    // so its help list lists them under other numbers.
    const bool refused = tail == std::string(SYNTAX_ERROR_MARK) + HELP;
    bool pinned = false;
    for (uint32_t pin : tested.controllers.pins) pinned = pinned || pin != 0;
    if (refused) {
        check(count == 0, "syntax error but entries served");
    } else if (pinned) {
        check(tail.rfind(HELP_HEAD, 0) == 0, "a pinned text's answer is not echo + help", answer);
    } else {
        check(tail == HELP, "answer is neither echo + help nor echo + marker + help", answer);
    }
    std::memcpy(words, tested.table.entries, sizeof(MappingEntry) * static_cast<size_t>(count));
    check_tokens(chosen, refused, words, count);
    return count;
}

// Handed back unchanged, the answer compiles to the same table and gives itself again.
void check_handed_back(const std::string& answer, const MappingEntry* words, int32_t count) {
    std::string again = configure(answer.c_str());
    check(again == answer, "answer handed back gives another answer", again);
    check(tested.table.count == count, "answer handed back gives another count");
    check(std::memcmp(words, tested.table.entries, sizeof(MappingEntry) * static_cast<size_t>(count)) == 0,
          "answer handed back gives other words");
}

// The bytes from pos on set the controllers' state between four polls, three bytes a
// change: every read is 0 or 1, a constant keeps its bit, a read past the end gives 1.
void check_polls(const uint8_t* data, size_t size, size_t pos, const MappingEntry* words, int32_t count) {
    for (int poll = 0; poll < 4; ++poll) {
        for (int step = 0; step < 6 && pos + 2 < size; ++step, pos += 3) {
            int controller = data[pos] & 1;
            int what = (data[pos] >> 1) % 10;
            int32_t value = static_cast<int16_t>(static_cast<uint16_t>(data[pos + 1] << 8 | data[pos + 2]));
            if (what < 6) {
                sim_set_axis(controller, static_cast<SimAxis>(what), value);
            } else {
                sim_set_button(controller, data[pos + 1] & 0x7F, (data[pos + 2] & 1) != 0);
            }
        }
        check(device(CMD_POLL) == count, "poll does not return the count");
        for (int32_t i = 0; i < count + 2; ++i) {
            intptr_t bit = device(CMD_NEXT_BIT);
            check(bit == 0 || bit == 1, "a read gave neither 0 nor 1");
            if (i >= count) check(bit == 1, "a read past the end gave 0");
            if (i < count && entry_is_constant(words[i])) {
                check(bit == static_cast<intptr_t>(words[i]), "a constant changed its bit");
            }
        }
        check_words(true);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    set_up_platform();
    std::string bytes(reinterpret_cast<const char*>(data), size);
    const char* text = bytes.c_str();  // the host's text ends at the first zero
    MappingEntry words[MAX_ENTRIES];
    std::string answer;
    const int32_t count = check_first_configure(text, words, answer);
    check_handed_back(answer, words, count);
    check_polls(data, size, std::strlen(text) + 1, words, count);
    device(CMD_RELEASE);
    if (sim_live_objects() != 0 || sim_misuse_count() != 0) fail("platform objects left or misused", sim_problems());
    return 0;
}
