// Platform faults: every DirectInput call that a configure of three controllers makes,
// and every call of the polls after it, is made to fail in turn. The list of calls comes
// from the record of calls of a clean run, so the matrix follows the code as it grows;
// what each failing configure call must leave is written out in configure_faults.txt.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/reliability/reliability_support.h"
#include "tests/support/expected_output.h"

namespace {

using namespace reliability;

const char MAPPING[] = "j1b1,j2b1,j3b1,p";
const int MAPPING_ENTRIES = 4;

// One injectable call of a clean run: the n-th call of its method, as the record has it.
struct PlatformCall {
    std::string method;
    int nth;
    SimCall recorded;
};

std::vector<PlatformCall> injectable_calls() {
    std::vector<PlatformCall> calls;
    int seen[SIM_METHOD_COUNT] = {};
    for (const SimCall& call : sim_call_record()) {
        int m = static_cast<int>(call.method);
        if (m < SIM_INJECTABLE_METHODS) calls.push_back({SIM_METHOD_NAMES[m], ++seen[m], call});
    }
    return calls;
}

// A clean configure, then run with the record emptied before it.
void record_clean_run(void (*run)()) {
    set_up_three_controllers();
    configure(MAPPING);
    sim_clear_log();
    run();
}

// The slots as one line: r ready, n held but not ready, - empty.
std::string slots_line() {
    std::string line;
    for (const ControllerSlot& slot : tested.controllers.slots) line += slot.device == nullptr ? '-' : slot.state == SlotState::ready ? 'r' : 'n';
    return line;
}

// Releasing lets each device go after unacquiring it, then DirectInput, each once.
void expect_release_order(const std::string& where) {
    std::vector<std::string> unacquired;
    bool devices_done = false;
    for (const SimCall& call : sim_call_record()) {
        const std::string object = call.object;
        bool device = object.rfind("dev", 0) == 0;
        if (device && call.method == SimMethod::Unacquire) unacquired.push_back(object);
        if (device && call.method == SimMethod::Release) {
            EXPECT_FALSE(devices_done) << where << ": " << object << " released after DirectInput";
            EXPECT_NE(std::find(unacquired.begin(), unacquired.end(), object), unacquired.end())
                << where << ": " << object << " released without Unacquire";
        }
        if (object.rfind("di", 0) == 0 && !device && call.method == SimMethod::Release) devices_done = true;
    }
}

TEST(PlatformFaults, EveryConfigureCallFailingInTurn) {
    set_up_three_controllers();
    sim_clear_log();
    const std::string clean_answer = configure(MAPPING);
    const std::vector<PlatformCall> calls = injectable_calls();
    // What the configure leaves, clean and with each call failing: the slots and the answer.
    std::string seen = "clean: " + slots_line() + " " + clean_answer + "\n";
    device(CMD_RELEASE);
    for (const PlatformCall& call : calls) {
        const std::string where = "failing " + call.method + " #" + std::to_string(call.nth);
        set_up_three_controllers();
        sim_fail(call.method.c_str(), call.nth, E_FAIL);

        const std::string answer = configure(MAPPING);
        seen += call.method + " #" + std::to_string(call.nth) + ": " + slots_line() + " " + answer + "\n";
        bool opened = answer.rfind("//", 0) != 0;
        EXPECT_EQ(tested.table.count, opened ? MAPPING_ENTRIES : 0) << where;
        // Held objects carry exactly the plug-in's one reference; the joystick
        // configuration interface is never kept.
        if (tested.controllers.direct_input != nullptr) {
            EXPECT_EQ(sim_refs("di1"), 1) << where;
        }
        EXPECT_LE(sim_refs("joyconfig1"), 0) << where;
        for (int d = 1; d <= 3; ++d) {
            std::string name = "dev" + std::to_string(d);
            int refs = sim_refs(name.c_str());
            EXPECT_TRUE(refs == -1 || refs == 1) << where << ": " << name << " holds " << refs;
        }
        EXPECT_EQ(sim_misuse_count(), 0) << where << "\n" << sim_problems();

        // Polls over whatever was left read nothing they should not and misuse nothing.
        for (int p = 0; p < 3; ++p) EXPECT_EQ(device(CMD_POLL), opened ? MAPPING_ENTRIES : 0) << where;

        sim_clear_log();
        device(CMD_RELEASE);
        expect_release_order(where);
        expect_platform_clean(where);

        // The next configure, on a platform that answers again, works normally.
        set_up_three_controllers();
        EXPECT_EQ(configure(MAPPING), clean_answer) << where;
        device(CMD_RELEASE);
        expect_platform_clean(where + ", then a clean configure");
    }
    EXPECT_EQ(seen, expected_sections("reliability/configure_faults.txt")["configure"]);
    std::printf("[ matrix   ] %zu configure calls failed in turn\n", calls.size());
}

void two_polls() {
    device(CMD_POLL);
    device(CMD_POLL);
}

TEST(PlatformFaults, EveryPollCallFailingInTurn) {
    record_clean_run(two_polls);
    const std::vector<PlatformCall> calls = injectable_calls();
    device(CMD_RELEASE);
    // First poll: Poll fails on each unacquired device and Acquire follows; second poll:
    // Poll and GetDeviceState on each.
    ASSERT_EQ(calls.size(), 12u);

    for (const PlatformCall& call : calls) {
        const std::string object = call.recorded.object;
        const std::string where = "failing " + call.method + " #" + std::to_string(call.nth) + " on " + object;
        set_up_three_controllers();
        for (int c = 0; c < 3; ++c) sim_set_button(c, 0, true);
        configure(MAPPING);
        sim_fail(call.method.c_str(), call.nth, E_FAIL);
        two_polls();
        // Only the slot whose call failed misses its state, and only if that call would
        // have succeeded: a Poll that fails anyway before the first Acquire changes nothing.
        std::string expected;
        for (int s = 0; s < 3; ++s) {
            bool hit = object == "dev" + std::to_string(s + 1) && SUCCEEDED(call.recorded.result);
            expected += hit ? '0' : '1';
        }
        expected += '1';
        EXPECT_EQ(read_bits(MAPPING_ENTRIES + 1), expected + "1") << where;
        // The fault passes: two more polls read every controller again.
        two_polls();
        EXPECT_EQ(read_bits(MAPPING_ENTRIES), "1111") << where;
        EXPECT_EQ(sim_misuse_count(), 0) << where << "\n" << sim_problems();

        sim_clear_log();
        device(CMD_RELEASE);
        expect_release_order(where);
        expect_platform_clean(where);
    }
    std::printf("[ matrix   ] %zu poll calls failed in turn\n", calls.size());
}

TEST(PlatformFaults, LastingFaultsNeitherHangNorLeak) {
    struct Lasting {
        const char* method;
        HRESULT result;
    };
    const Lasting faults[] = {
        {"Acquire", DIERR_INPUTLOST},  // a platform that never stops answering input lost
        {"Acquire", E_FAIL},
        {"Poll", DIERR_INPUTLOST},
        {"GetDeviceState", DIERR_INPUTLOST},
        {"Unacquire", E_FAIL},
        {"SetProperty", E_FAIL},
        {"CreateDevice", E_FAIL},
    };
    for (const Lasting& f : faults) {
        const std::string where = std::string("lasting ") + f.method + " " + sim_result_name(f.result);
        set_up_three_controllers();
        for (int c = 0; c < 3; ++c) sim_set_button(c, 0, true);
        sim_fail(f.method, 1, f.result, SIM_FOREVER);
        std::string answer = configure(MAPPING);
        EXPECT_EQ(answer.rfind(MAPPING, 0), 0u) << where << ": " << answer;
        int acquires_before = sim_calls("Acquire");
        for (int p = 0; p < 5; ++p) EXPECT_EQ(device(CMD_POLL), MAPPING_ENTRIES) << where;
        // Each poll tries a slot's Acquire a bounded number of times.
        EXPECT_LE(sim_calls("Acquire") - acquires_before, 5 * 3 * 16) << where;
        std::string bits = read_bits(MAPPING_ENTRIES);
        bool unreadable = std::string(f.method) != "Unacquire" && std::string(f.method) != "SetProperty";
        if (std::string(f.method) == "CreateDevice") {
            EXPECT_EQ(bits, "0001") << where;  // no controller at all
        } else {
            EXPECT_EQ(bits, unreadable ? "0001" : "1111") << where;
        }
        device(CMD_RELEASE);
        expect_platform_clean(where);
    }
}

}  // namespace
