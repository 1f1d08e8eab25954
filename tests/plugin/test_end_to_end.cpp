// The whole plug-in through its one export, as a host drives it, over virtual controllers;
// on Windows through the shipped joybits.dll.
#include <gtest/gtest.h>

#include <string>

#include "plugin/joybits.h"
#include "sim/sim_platform.h"
#include "tests/plugin/shipped_plugin.h"

namespace {

constexpr intptr_t HOST_WINDOW = 0x1234;

const std::string TWO_PAD_HELP = "//help//a;p;j1:x[<N,>N,n],y[<N,>N,n],b[n];j2:x[<N,>N,n],y[<N,>N,n],b[n];";

intptr_t host_call(int32_t command, intptr_t argument = 0) { return shipped_plugin_entry()(command, argument); }

std::string host_configure(const char* text) {
    return reinterpret_cast<const char*>(host_call(CMD_CONFIGURE, reinterpret_cast<intptr_t>(text)));
}

// One frame as a host reads it: a poll, then n bits.
std::string host_frame(int n) {
    host_call(CMD_POLL);
    std::string bits;
    for (int i = 0; i < n; ++i) bits += host_call(CMD_NEXT_BIT) != 0 ? '1' : '0';
    return bits;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        host_call(CMD_RELEASE);
        sim_reset();
        pad1 = sim_add_gamepad("Pad One");
        pad2 = sim_add_gamepad("Pad Two");
        host_call(CMD_SET_WINDOW, HOST_WINDOW);
    }
    void TearDown() override {
        host_call(CMD_RELEASE);
        EXPECT_EQ(sim_problems(), "");
    }
    int pad1 = 0;
    int pad2 = 0;
};

// Bits of one group of the default mapping:
//   p a a  y>8000 y<-8000 x>8000 x<-8000  b1 b2 b3 b5 b6 b8 b7  a a
TEST_F(EndToEnd, DefaultMappingFollowsTwoControllers) {
    EXPECT_EQ(host_configure(nullptr), DEFAULT_MAPPING + TWO_PAD_HELP);
    EXPECT_EQ(host_frame(32), "10000000000000001000000000000000") << "the first poll only acquires";
    EXPECT_EQ(host_frame(32), "10000000000000001000000000000000");

    sim_set_axis(pad1, SimAxis::y, 9000);
    sim_set_axis(pad1, SimAxis::x, -8001);
    sim_set_button(pad1, 0, true);   // b1
    sim_set_button(pad1, 7, true);   // b8
    sim_set_button(pad1, 3, true);   // b4 is not mapped
    sim_set_axis(pad2, SimAxis::y, -20000);
    sim_set_axis(pad2, SimAxis::x, 8001);
    sim_set_button(pad2, 6, true);   // b7
    sim_set_button(pad2, 4, true);   // b5
    EXPECT_EQ(host_frame(32), "1001001100001000"
                              "1000110000100100");

    // Thresholds are strict; a release is seen on the next frame.
    sim_set_axis(pad1, SimAxis::y, 8000);
    sim_set_axis(pad1, SimAxis::x, -8000);
    sim_set_button(pad1, 0, false);
    EXPECT_EQ(host_frame(34), "1000000000001000"
                              "1000110000100100"
                              "11") << "reads past the table give 1";
}

TEST_F(EndToEnd, ControllersThatCannotBeAcquiredReadAtRest) {
    host_configure("j1b1,j2b1,!j2b2,!j3b1");
    EXPECT_EQ(host_frame(4), "0001") << "no third pad: at rest, so its inverted button reads 1";
    sim_set_button(pad1, 0, true);
    sim_set_button(pad2, 0, true);
    EXPECT_EQ(host_frame(4), "1111");

    // A read that fails alone keeps the bits.
    sim_fail_on(pad1, "GetDeviceState", 1, DIERR_INPUTLOST);
    sim_set_button(pad1, 0, false);
    EXPECT_EQ(host_frame(4), "1111");

    // The host window in the background: both pads at rest until it is back.
    sim_set_foreground(false);
    EXPECT_EQ(host_frame(4), "0011");
    sim_set_foreground(true);
    EXPECT_EQ(host_frame(4), "0011") << "re-acquired, read from the next poll";
    EXPECT_EQ(host_frame(4), "0111");

    // Pad Two loses its input forever on Acquire: the poll still returns, the pad at rest.
    sim_lose_input(pad2);
    sim_fail_on(pad2, "Acquire", 1, DIERR_INPUTLOST, SIM_FOREVER);
    sim_set_button(pad1, 0, true);
    int acquires = sim_calls("Acquire");
    EXPECT_EQ(host_frame(4), "1011");
    EXPECT_EQ(sim_calls("Acquire") - acquires, 16);

    // Pad One unplugged while held.
    sim_set_attached(pad1, false);
    EXPECT_EQ(host_frame(4), "0011");

    // After the release nothing is read; the table is kept.
    host_call(CMD_RELEASE);
    EXPECT_EQ(sim_live_objects(), 0);
    int calls = sim_calls("Poll");
    sim_set_attached(pad1, true);
    EXPECT_EQ(host_frame(4), "0011");
    EXPECT_EQ(sim_calls("Poll"), calls);
}

TEST_F(EndToEnd, ReconfiguringReplacesTheControllersWithoutLeaks) {
    host_configure(nullptr);
    host_frame(32);
    host_frame(32);
    ASSERT_TRUE(sim_acquired("dev1"));
    // The old devices let go of their exclusive hold, so the new ones can be acquired.
    std::string answer = host_configure(nullptr);
    EXPECT_EQ(sim_refs("dev1"), 0);
    EXPECT_EQ(sim_refs("di1"), 0);
    EXPECT_EQ(host_configure(answer.c_str()), answer) << "the answer handed back configures the same";
    // The returned pointer itself handed back: the host's text is read before the old
    // answer goes.
    const char* held = reinterpret_cast<const char*>(host_call(CMD_CONFIGURE, 0));
    EXPECT_EQ(reinterpret_cast<const char*>(host_call(CMD_CONFIGURE, reinterpret_cast<intptr_t>(held))), answer);
    sim_set_button(pad2, 1, true);
    host_frame(32);
    EXPECT_EQ(host_frame(32), "10000000000000001000000010000000");
    EXPECT_EQ(sim_live_objects(), 3);
}

TEST_F(EndToEnd, FailuresOfTheOpeningAnswerAloneAndServeOnes) {
    sim_fail("DirectInput8Create", 1, DIERR_GENERIC);
    EXPECT_EQ(host_configure("p,a"), "//DirectInput init error!//");
    EXPECT_EQ(host_frame(3), "111");

    sim_fail("EnumDevices", 1, DIERR_GENERIC);
    EXPECT_EQ(host_configure("p,a"), "//Enumeration fail!//");
    EXPECT_EQ(host_frame(3), "111");

    // An enumeration that fails after a configure that succeeded: the device it placed in
    // a slot before failing is not ready, whatever the slot held before, so no poll
    // touches it.
    host_call(CMD_SET_WINDOW, HOST_WINDOW);
    EXPECT_EQ(host_configure("j1b1,j2b1"), "j1b1,j2b1" + TWO_PAD_HELP);
    host_frame(2);
    host_frame(2);
    sim_fail_enum("EnumDevices", 1, 1, DIERR_GENERIC);
    EXPECT_EQ(host_configure("j1b1,j2b1"), "//Enumeration fail!//");
    const int polls = sim_calls("Poll");
    const int acquires = sim_calls("Acquire");
    EXPECT_EQ(host_frame(2), "11");
    EXPECT_EQ(host_frame(2), "11");
    EXPECT_EQ(sim_calls("Poll"), polls);
    EXPECT_EQ(sim_calls("Acquire"), acquires);

    // A host that never sent its window: no controller can be set up.
    host_call(CMD_SET_WINDOW, 0);
    EXPECT_EQ(host_configure("p,j1b1"), "p,j1b1//help//a;p;");
}

}  // namespace
