// The entry point as a host drives it: command codes, the answer shapes, the cursor.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>
#include <vector>

#include "mapping/compiler.h"
#include "plugin/plugin.h"
#include "sim/sim_platform.h"
#include "tests/support/alloc_counter.h"

namespace {

// The entry point's state of these tests, driven as the export drives its own.
PluginState tested;

intptr_t device(int32_t command, intptr_t argument = 0) { return plugin_dispatch(tested, command, argument); }

std::string configure(const char* text) {
    return reinterpret_cast<const char*>(device(CMD_CONFIGURE, reinterpret_cast<intptr_t>(text)));
}

// Reads n bits as a host does after a poll.
std::string read_bits(int n) {
    std::string bits;
    for (int i = 0; i < n; ++i) bits += device(CMD_NEXT_BIT) != 0 ? '1' : '0';
    return bits;
}

std::vector<MappingEntry> table_words() {
    return {tested.table.entries, tested.table.entries + tested.table.count};
}

const std::string NO_CONTROLLER_HELP = "//help//a;p;";

class EntryPoint : public ::testing::Test {
protected:
    void SetUp() override {
        device(CMD_RELEASE);
        sim_reset();
        tested.cursor = 0;
        tested.controllers.window = nullptr;
    }
    void TearDown() override {
        alloc_counter::fail_at(0);
        device(CMD_RELEASE);
    }
};

TEST_F(EntryPoint, CommandTableAnswersInAnyState) {
    for (int round = 0; round < 2; ++round) {
        for (int32_t code : {2, 3, 4, 5, 6, 11, 12, 100, -1, -7, INT_MIN, INT_MAX}) {
            EXPECT_EQ(device(code, 12345), 0) << "code " << code;
        }
        EXPECT_EQ(device(CMD_ALWAYS_ONE), 1);
        EXPECT_EQ(device(CMD_SET_WINDOW, 0x1234), 0);
        EXPECT_EQ(tested.controllers.window, reinterpret_cast<HWND>(0x1234));
        EXPECT_EQ(device(CMD_RELEASE), 0);
        configure("p,a");  // the second round runs with a table
    }
    // Unknown codes changed nothing: the table and the cursor are as the configure left them.
    EXPECT_EQ(tested.table.count, 2);
    EXPECT_EQ(device(CMD_POLL), 2);
    EXPECT_EQ(read_bits(3), "101");
}

TEST_F(EntryPoint, DefaultMappingIsChosenForNullEmptyAndCommentTexts) {
    const std::string expected = std::string(DEFAULT_MAPPING) + NO_CONTROLLER_HELP;
    EXPECT_EQ(reinterpret_cast<const char*>(device(CMD_CONFIGURE, 0)), expected);
    EXPECT_EQ(configure(""), expected);
    EXPECT_EQ(configure("/j1b1"), expected);
    EXPECT_EQ(configure("//DirectInput init error!//"), expected);  // a failure answer handed back
    EXPECT_EQ(tested.table.count, 32);

    // Only the first byte is tested: a blank before the '/' is a mapping of its own.
    EXPECT_EQ(configure(" /j1b1"), " " + NO_CONTROLLER_HELP);
    EXPECT_EQ(device(CMD_POLL), 0);
    EXPECT_EQ(read_bits(2), "11");
}

TEST_F(EntryPoint, DefaultMappingServesItsConstantsWithoutControllers) {
    configure(nullptr);
    EXPECT_EQ(device(CMD_POLL), 32);
    const std::string group = "1000000000000000";
    EXPECT_EQ(read_bits(32), group + group);
    EXPECT_EQ(read_bits(5), "11111");  // past the end
}

TEST_F(EntryPoint, SyntaxErrorEmptiesTheTableAndMarksTheAnswer) {
    EXPECT_EQ(configure("a, p,,p"), "a, p,,p//Sintax Error!" + NO_CONTROLLER_HELP);
    EXPECT_EQ(tested.table.count, 0);
    EXPECT_EQ(device(CMD_POLL), 0);
    EXPECT_EQ(read_bits(3), "111");
    EXPECT_EQ(configure("J1b1/comment"), "J1b1//Sintax Error!" + NO_CONTROLLER_HELP);
    // An empty table still captures: the poll acquires the attached controller.
    sim_add_gamepad("Pad");
    device(CMD_SET_WINDOW, 0x1234);
    configure("a,,p");
    device(CMD_POLL);
    EXPECT_EQ(sim_calls("Acquire"), 1);
}

TEST_F(EntryPoint, AnswerHandedBackCompilesToTheSameTableAndAnswer) {
    const char* mappings[] = {
        DEFAULT_MAPPING,
        " p ,\ta,!j1b1 , j2 y > -8000,\t!j3rz<40000 ,j8x15, !p,j1 b/ trailing comment, j9",
        "a,,p",  // a syntax error's answer round-trips too
    };
    for (const char* mapping : mappings) {
        std::string first = configure(mapping);
        std::vector<MappingEntry> words = table_words();
        std::string second = configure(first.c_str());
        EXPECT_EQ(second, first) << mapping;
        EXPECT_EQ(table_words(), words) << mapping;
    }
}

TEST_F(EntryPoint, APinKeepsAPadAtItsNumberAndItsAnswerPinsItAgain) {
    const int first = sim_add_gamepad("First", 2);
    sim_add_joystick("Second");
    sim_set_product_ids(first, 0x045E, 0x028E);
    device(CMD_SET_WINDOW, 0x1234);
    const std::string joystick = "j1:x[<N,>N,n],y[<N,>N,n],z[<N,>N,n],rz[<N,>N,n],b[n];";
    const std::string gamepad = "j2:x[<N,>N,n],y[<N,>N,n],b[n];";
    // The first pad enumerated is pinned to j2: the help list names the slots in order.
    const std::string answer = configure("j2 = 045e:028E,j2b2,j1b2");
    EXPECT_EQ(answer, "j2 = 045e:028E,j2b2,j1b2//help//a;p;" + joystick + gamepad);
    sim_set_button(first, 1, true);
    device(CMD_POLL);
    device(CMD_POLL);
    EXPECT_EQ(read_bits(2), "10");
    EXPECT_EQ(configure(answer.c_str()), answer);  // handed back: the same pin
    // A text with a syntax error pins nothing: the pads keep enumeration order.
    EXPECT_EQ(configure("j2=045E:028E,q"),
              "j2=045E:028E,q//Sintax Error!//help//a;p;j1:x[<N,>N,n],y[<N,>N,n],b[n];j2:x[<N,>N,n],y[<N,>N,n],"
              "z[<N,>N,n],rz[<N,>N,n],b[n];");
}

// A poll looks for new pads only when told, and only while a slot the mapping reads (a
// token or a group's operand; a pin reads nothing) has no pad it can read. The window of
// notifications comes with the first configure that reads a slot and goes with command 1
// (registration, window, class); where it cannot be made, the poll looks at the device list.
TEST_F(EntryPoint, APollLooksForNewPadsOnlyWhenToldAndWhileASlotItReadsHasNone) {
    if (!SIM_HAS_DEVICE_LIST) GTEST_SKIP() << "the system's notifications do not tell of simulated pads";
    const int pad = sim_add_gamepad("A");
    device(CMD_SET_WINDOW, 0x1234);
    const auto looks_in_a_second = [] {
        const int looks = sim_calls("EnumDevices");
        for (int i = 0; i < 60; ++i) sim_advance_clock(17), device(CMD_POLL);
        return sim_calls("EnumDevices") - looks;
    };
    const auto left = [] {
        const SimWindows w = sim_windows();
        return std::vector<int>{w.classes, w.windows, w.message_only, w.registrations, w.foreign_peeks};
    };
    configure("a,p");
    EXPECT_EQ(left(), (std::vector<int>{0, 0, 0, 0, 0})) << "no slot read, no window";
    const int reads = sim_device_list_reads();
    configure("j1b1,!j1x>5,a,j2=1234:5678");
    EXPECT_EQ(left(), (std::vector<int>{1, 1, 1, 1, 0}));
    sim_add_gamepad("B");
    EXPECT_EQ(looks_in_a_second(), 0) << "j2 to j8 hold no pad, but no token reads them";
    sim_set_attached(pad, false);
    EXPECT_EQ(looks_in_a_second(), 1) << "j1's pad is gone: B's arrival is looked at now";
    EXPECT_EQ(looks_in_a_second() + looks_in_a_second(), 1) << "2 s after; a pad that went needs no look";
    sim_set_attached(pad, true);
    configure("j1b1,(j1b2|j3b1)");
    EXPECT_EQ(looks_in_a_second() + looks_in_a_second(), 2) << "a group's operand reads j3; A's return was told";
    sim_add_gamepad("C");
    EXPECT_EQ(looks_in_a_second() + looks_in_a_second(), 1) << "C taken in: no pad wanted 2 s after";
    EXPECT_EQ(sim_device_list_reads(), reads);
    device(CMD_RELEASE);
    EXPECT_EQ(left(), (std::vector<int>{0, 0, 0, 0, 0})) << "in order: nothing left behind";

    for (SimRefusal refusal : {SimRefusal::window, SimRefusal::registration}) {
        sim_refuse_notices(refusal);
        configure("j1b1,j8b1");
        EXPECT_EQ(left(), (std::vector<int>{0, 0, 0, 0, 0})) << "undone";
        const int unwatched = sim_device_list_reads();
        sim_add_gamepad("D");
        EXPECT_GT(looks_in_a_second(), 0);
        EXPECT_GT(sim_device_list_reads(), unwatched) << "the device list instead";
        device(CMD_RELEASE);
    }
}

TEST_F(EntryPoint, CursorStartsAtZeroAndConfigureLeavesIt) {
    configure("a,p,a,p");
    // Before any poll the cursor stands at 0, so the first read serves entry 1.
    EXPECT_EQ(read_bits(4), "1011");
    EXPECT_EQ(device(CMD_POLL), 4);
    EXPECT_EQ(read_bits(2), "01");
    configure("p,a,p,a");
    EXPECT_EQ(read_bits(3), "101");  // goes on at entry 2, the old cursor
    EXPECT_EQ(device(CMD_POLL), 4);
    EXPECT_EQ(read_bits(4), "1010");
}

TEST_F(EntryPoint, CursorStopsAtTheLargestValueInsteadOfWrapping) {
    configure("a,a");
    tested.cursor = INT_MAX - 2;
    EXPECT_EQ(read_bits(6), "111111");
    EXPECT_EQ(tested.cursor, INT_MAX);
    EXPECT_EQ(device(CMD_POLL), 2);
    EXPECT_EQ(tested.cursor, -1);
    EXPECT_EQ(read_bits(3), "001");
}

TEST_F(EntryPoint, ReleaseKeepsTheTableAndTheWindow) {
    device(CMD_SET_WINDOW, 0x5678);
    sim_add_gamepad("Pad");
    configure("p,a,p");
    device(CMD_RELEASE);
    EXPECT_EQ(tested.controllers.window, reinterpret_cast<HWND>(0x5678));
    EXPECT_EQ(tested.controllers.slots[0].state, SlotState::ready) << "the release leaves the states as they are";
    EXPECT_EQ(device(CMD_POLL), 3);
    EXPECT_EQ(read_bits(4), "1011");
    device(CMD_RELEASE);  // twice in a row: nothing left to let go
    EXPECT_EQ(device(CMD_POLL), 3);
}

TEST_F(EntryPoint, LongTextsConfigureWithinTheRules) {
    std::string tokens;
    for (int i = 0; i < 10000; ++i) tokens += (i % 2 == 0) ? "p," : "j1b3,";
    std::string answer = configure(tokens.c_str());
    EXPECT_EQ(answer, tokens + NO_CONTROLLER_HELP);
    EXPECT_EQ(tested.table.count, MAX_ENTRIES);
    EXPECT_EQ(device(CMD_POLL), MAX_ENTRIES);

    // A megabyte of random bytes: any answer is a text that starts with the echo.
    std::mt19937 random(7);
    std::string noise(1 << 20, '\0');
    for (char& c : noise) c = static_cast<char>(1 + random() % 255);
    answer = configure(noise.c_str());
    size_t slash = noise.find('/');
    std::string echo = noise[0] == '/' ? std::string(DEFAULT_MAPPING) : noise.substr(0, slash);
    EXPECT_EQ(answer.compare(0, echo.size(), echo), 0);
    EXPECT_EQ(answer.substr(answer.size() - NO_CONTROLLER_HELP.size()), NO_CONTROLLER_HELP);
    EXPECT_GE(device(CMD_POLL), 0);
}

TEST_F(EntryPoint, StorageExhaustionAnswersOutOfMemoryAndRecovers) {
    configure("p,p,p");
    alloc_counter::fail_at(1, true);  // every allocation from now on fails
    intptr_t answer = device(CMD_CONFIGURE, reinterpret_cast<intptr_t>("a,p,j1b1"));
    alloc_counter::fail_at(0);
    EXPECT_STREQ(reinterpret_cast<const char*>(answer), OUT_OF_MEMORY_MESSAGE);
    EXPECT_EQ(tested.table.count, 0);
    EXPECT_EQ(device(CMD_POLL), 0);
    EXPECT_EQ(read_bits(2), "11");

    // The next configure works normally.
    EXPECT_EQ(configure("a,p"), "a,p" + NO_CONTROLLER_HELP);
    EXPECT_EQ(device(CMD_POLL), 2);
    EXPECT_EQ(read_bits(2), "01");
}

}  // namespace
