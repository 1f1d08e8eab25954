// Platform faults: every DirectInput call that a configure of three controllers makes,
// and every call of the polls after it, is made to fail in turn. The list of calls comes
// from the call log of a clean run, so the matrix follows the code as it grows.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/reliability/reliability_support.h"

namespace {

using namespace reliability;

const char MAPPING[] = "j1b1,j2b1,j3b1,p";
const int MAPPING_ENTRIES = 4;

// What a configure should leave, controller by controller.
struct Expected {
    std::string answer;
    int slots_held = 0;
    bool ready[3] = {false, false, false};
};

std::string help_for(const std::vector<bool>& created, const std::vector<bool>& ready,
                     const std::vector<int>& fragments_kept) {
    std::string help = "//help//a;p;";
    int slot = 0;
    for (size_t c = 0; c < created.size(); ++c) {
        if (!created[c]) continue;
        ++slot;
        if (!ready[c]) continue;
        help += "j" + std::to_string(slot) + ":";
        const std::vector<std::string>& axes = three_shapes()[c].axis_fragments;
        for (int a = 0; a < fragments_kept[c]; ++a) help += axes[static_cast<size_t>(a)];
        help += "b[n];";
    }
    return help;
}

// The effect of making `call` fail, derived from the three controllers' shapes.
Expected expected_after_failing(const PlatformCall& call) {
    Expected e;
    const std::string& m = call.method;
    if (m == "GetModuleHandleW" || m == "DirectInput8Create" || m == "QueryInterface") {
        e.answer = "//DirectInput init error!//";
        return e;
    }
    if (m == "EnumDevices") {
        e.answer = "//Enumeration fail!//";
        return e;
    }
    std::vector<bool> created(3, true), ready(3, true);
    std::vector<int> kept;
    for (const ControllerShape& s : three_shapes()) kept.push_back(static_cast<int>(s.axis_fragments.size()));
    if (m == "CreateDevice") {
        created[static_cast<size_t>(call.nth - 1)] = false;
    } else if (m == "SetDataFormat" || m == "SetCooperativeLevel" || m == "EnumObjects") {
        ready[static_cast<size_t>(call.nth - 1)] = false;
    } else if (m == "SetProperty") {
        // The n-th axis object across the controllers ends its device's enumeration.
        int n = call.nth;
        for (size_t c = 0; c < 3; ++c) {
            int axes = static_cast<int>(three_shapes()[c].axis_fragments.size());
            if (n <= axes) {
                kept[c] = n - 1;
                break;
            }
            n -= axes;
        }
    } else {
        ADD_FAILURE() << "no expectation for a failing " << m;
    }
    e.answer = std::string(MAPPING) + help_for(created, ready, kept);
    for (size_t c = 0, slot = 0; c < 3; ++c) {
        if (!created[c]) continue;
        e.ready[slot++] = ready[c];
        ++e.slots_held;
    }
    return e;
}

std::vector<std::string> clean_log_of(void (*run)()) {
    set_up_three_controllers();
    configure(MAPPING);
    sim_clear_log();
    run();
    return sim_log();
}

// Releasing lets each device go after unacquiring it, then DirectInput, each once.
void expect_release_order(const std::vector<std::string>& log, const std::string& where) {
    int last_device_release = -1;
    int di_release = -1;
    for (int i = 0; i < static_cast<int>(log.size()); ++i) {
        const std::string& line = log[static_cast<size_t>(i)];
        std::string object = logged_object(line);
        std::string method = logged_method(line);
        if (object.rfind("dev", 0) == 0 && method == "Release") {
            bool unacquired_before = false;
            for (int j = 0; j < i; ++j) {
                const std::string& earlier = log[static_cast<size_t>(j)];
                if (logged_object(earlier) == object && logged_method(earlier) == "Unacquire") unacquired_before = true;
            }
            EXPECT_TRUE(unacquired_before) << where << ": " << object << " released without Unacquire";
            last_device_release = i;
        }
        if (object.rfind("di", 0) == 0 && object.rfind("dev", 0) != 0 && method == "Release") di_release = i;
    }
    if (di_release >= 0) {
        EXPECT_GT(di_release, last_device_release) << where << ": DirectInput released first";
    }
}

TEST(PlatformFaults, EveryConfigureCallFailingInTurn) {
    set_up_three_controllers();
    sim_clear_log();
    const std::string clean_answer = configure(MAPPING);
    const std::vector<PlatformCall> calls = injectable_calls(sim_log());
    device(CMD_RELEASE);
    // The matrix must not be vacuous: one DirectInput, three devices with nine axes (and
    // GetModuleHandleW outside Windows, where the simulation answers it).
    ASSERT_GE(calls.size(), SIM_HAS_MODULE_HANDLE ? 25u : 24u);
    ASSERT_EQ(clean_answer, std::string(MAPPING) + help_for({true, true, true}, {true, true, true}, {2, 5, 2}));

    for (const PlatformCall& call : calls) {
        const std::string where = "failing " + call.method + " #" + std::to_string(call.nth);
        set_up_three_controllers();
        Expected e = expected_after_failing(call);
        sim_fail(call.method.c_str(), call.nth, E_FAIL);

        EXPECT_EQ(configure(MAPPING), e.answer) << where;
        bool opened = e.answer.rfind("//", 0) != 0;
        EXPECT_EQ(tested.table.count, opened ? MAPPING_ENTRIES : 0) << where;
        for (int s = 0; s < SLOT_COUNT; ++s) {
            const ControllerSlot& slot = tested.controllers.slots[s];
            EXPECT_EQ(slot.device != nullptr, opened && s < e.slots_held) << where << ", slot " << s;
            if (s < 3 && slot.device != nullptr) {
                EXPECT_EQ(slot.ready, e.ready[s]) << where << ", slot " << s;
            }
        }
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
        expect_release_order(sim_log(), where);
        expect_platform_clean(where);

        // The next configure, on a platform that answers again, works normally.
        set_up_three_controllers();
        EXPECT_EQ(configure(MAPPING), clean_answer) << where;
        device(CMD_RELEASE);
        expect_platform_clean(where + ", then a clean configure");
    }
    std::printf("[ matrix   ] %zu configure calls failed in turn\n", calls.size());
}

void two_polls() {
    device(CMD_POLL);
    device(CMD_POLL);
}

// Whether a logged call answered a success in the clean run.
bool succeeded_in(const std::vector<std::string>& log, const PlatformCall& call) {
    int seen = 0;
    for (const std::string& line : log) {
        if (logged_method(line) != call.method || ++seen != call.nth) continue;
        size_t arrow = line.rfind(" -> ");
        std::string result = arrow == std::string::npos ? "" : line.substr(arrow + 4);
        return result.rfind("DI_", 0) == 0 || result.rfind("S_", 0) == 0;
    }
    return false;
}

TEST(PlatformFaults, EveryPollCallFailingInTurn) {
    const std::vector<std::string> log = clean_log_of(two_polls);
    const std::vector<PlatformCall> calls = injectable_calls(log);
    device(CMD_RELEASE);
    // First poll: Poll fails on each unacquired device and Acquire follows; second poll:
    // Poll and GetDeviceState on each.
    ASSERT_EQ(calls.size(), 12u);

    for (const PlatformCall& call : calls) {
        const std::string where = "failing " + call.method + " #" + std::to_string(call.nth) + " on " + call.object;
        set_up_three_controllers();
        for (int c = 0; c < 3; ++c) sim_set_button(c, 0, true);
        configure(MAPPING);
        sim_fail(call.method.c_str(), call.nth, E_FAIL);
        two_polls();
        // Only the slot whose call failed misses its state, and only if that call would
        // have succeeded: a Poll that fails anyway before the first Acquire changes nothing.
        std::string expected;
        for (int s = 0; s < 3; ++s) {
            bool hit = call.object == "dev" + std::to_string(s + 1) && succeeded_in(log, call);
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
        expect_release_order(sim_log(), where);
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
