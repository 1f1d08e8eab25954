// Pads plugged in after the configure, taken in by the poll: over the simulated device
// list, notifications and clock, which exist outside Windows only. Without a window of
// notifications (watch_devices) the poll looks at the device list.
#include "tests/controllers/controllers_support.h"
#include "tests/support/alloc_counter.h"

namespace {

class ArrivalsTest : public ControllersTest {
protected:
    void SetUp() override {
        ControllersTest::SetUp();
        if (!SIM_HAS_DEVICE_LIST) GTEST_SKIP() << "the system's device list does not see simulated pads";
    }
    // One poll as the plug-in makes it.
    void poll() {
        capture_states(set, snapshot);
        take_in_arrivals(set);
    }
    // Polls for a second of 60 Hz frames.
    void poll_a_second() {
        for (int i = 0; i < 60; ++i) {
            sim_advance_clock(17);
            poll();
        }
    }
    StateSnapshot snapshot;
};

TEST_F(ArrivalsTest, ANewPadTakesTheFirstFreeSlotOnlyWhenTheDeviceListChanged) {
    sim_add_gamepad("A");
    ASSERT_TRUE(open());
    poll_a_second();
    EXPECT_EQ(sim_calls("EnumDevices"), 1) << "never on an unchanged set";
    EXPECT_LE(sim_device_list_reads(), 1 + 5) << "a few looks a second";

    int b = sim_add_gamepad("B");
    sim_set_button(b, 0, true);
    alloc_counter::Scope scope;
    for (int i = 0; i < 8; ++i) {  // the clock is read once in eight polls
        sim_advance_clock(40);
        poll();
    }
    EXPECT_EQ(scope.allocations(), 0);
    EXPECT_EQ(sim_calls("EnumDevices"), 2);
    ASSERT_EQ(created_controllers(), (std::vector<int>{0, b}));
    EXPECT_EQ(set.slots[1].state, SlotState::ready);
    LONG min = 0, max = 0;
    EXPECT_TRUE(sim_axis_range("dev2", SimAxis::y, min, max) && min == -32768 && max == 32767);
    poll();
    poll();
    EXPECT_TRUE(snapshot.fresh[1]);
    EXPECT_EQ(snapshot.state[1].rgbButtons[0], 0x80);
    EXPECT_EQ(help(), "//help//a;p;j1:x[<N,>N,n],y[<N,>N,n],b[n];") << "the configure's answer stays";
    poll_a_second();
    EXPECT_EQ(sim_calls("EnumDevices"), 2);
}

// A full set looks only once a pad cannot be acquired (not merely in the background); a
// platform that answers an unplugged pad with lost input still has it replaced.
TEST_F(ArrivalsTest, AFullSetLooksOnlyWhenAPadCannotBeAcquired) {
    for (int i = 0; i < SLOT_COUNT; ++i) sim_set_product_ids(sim_add_gamepad("P"), 0x1209, static_cast<uint16_t>(i));
    ASSERT_TRUE(open());
    const int reads = sim_device_list_reads();
    sim_set_foreground(false);
    poll_a_second();
    sim_set_foreground(true);
    poll_a_second();
    EXPECT_EQ(sim_device_list_reads(), reads);
    sim_fail_on(7, "Acquire", 1, DIERR_INPUTLOST, SIM_FOREVER);
    sim_plug_elsewhere(7);
    poll_a_second();
    EXPECT_GT(sim_device_list_reads(), reads);
    EXPECT_EQ(sim_refs("dev8"), 0) << "replaced by the same pad in another port";
    EXPECT_EQ(devices_held(), SLOT_COUNT);
}

// A pad back in its port is read in its own slot again, by its old device; the same
// model in another port takes a gone pad's slot back before any free slot; a pad seen
// under a new instance GUID is not taken twice.
TEST_F(ArrivalsTest, SamePortOtherPortAndNeverTwice) {
    int a = sim_add_gamepad("A");
    sim_set_product_ids(a, 0x1234, 0x5678);
    int b = sim_add_gamepad("B");
    ASSERT_TRUE(open());
    EXPECT_EQ(set.slots[0].model, 0x56781234u);
    poll_a_second();

    sim_set_attached(a, false);
    poll_a_second();
    EXPECT_EQ(set.slots[0].state, SlotState::gone);
    sim_set_attached(a, true);
    poll_a_second();
    EXPECT_NE(set.slots[0].state, SlotState::gone);
    EXPECT_EQ(created_controllers(), (std::vector<int>{a, b})) << "the old device read again";
    EXPECT_TRUE(snapshot.fresh[0]);

    // Gone without Acquire saying so: the enumeration no longer lists it.
    sim_fail_on(a, "Acquire", 1, DIERR_GENERIC, SIM_FOREVER);
    sim_set_attached(a, false);
    int moved = sim_add_gamepad("A elsewhere");
    sim_set_product_ids(moved, 0x1234, 0x5678);
    sim_renew_instance(b);
    poll_a_second();
    EXPECT_EQ(created_controllers(), (std::vector<int>{a, b, b, moved}));
    EXPECT_EQ(sim_refs("dev1"), 0) << "the gone pad's device let go";
    EXPECT_EQ(sim_refs("dev3"), 0) << "B under its new GUID is not taken again";
    EXPECT_EQ(devices_held(), 2);
    EXPECT_EQ(set.slots[0].model, 0x56781234u);
    EXPECT_TRUE(snapshot.fresh[0] && snapshot.fresh[1]);
}

// Told by the system's notifications: a look 300 ms and again 2 s after the last arrival,
// none without one or for a pad that went, one after more than 2 s without a poll, and
// never the device list.
TEST_F(ArrivalsTest, TheNotificationsSayWhenToLook) {
    sim_add_gamepad("A");
    ASSERT_TRUE(watch_devices(set));
    ASSERT_TRUE(open());
    const auto looks_within = [&](int ms) {
        const int looks = sim_calls("EnumDevices");
        for (int t = 0; t < ms; t += 10) sim_advance_clock(10), poll();
        return sim_calls("EnumDevices") - looks;
    };
    EXPECT_EQ(looks_within(5000), 0);
    // Told when the poll next takes the window's messages, every 250 ms (this host pumps
    // none of its own): 250 ms after the plug, so the looks are due at 550 ms and 2.25 s.
    sim_set_button(sim_add_gamepad("B"), 0, true);
    alloc_counter::Scope scope;
    EXPECT_EQ(looks_within(540), 0);
    EXPECT_EQ(looks_within(20), 1);
    EXPECT_TRUE(set.slots[1].device != nullptr && set.slots[1].state == SlotState::ready);
    EXPECT_EQ(looks_within(1680), 0);
    EXPECT_EQ(looks_within(20), 1) << "2 s after";
    EXPECT_EQ(looks_within(5000), 0);
    sim_advance_clock(2001);
    EXPECT_EQ(looks_within(10), 1) << "a host that stopped polling may have lost a notification";
    sim_set_attached(0, false);
    EXPECT_EQ(looks_within(3000), 0) << "a pad that went needs no look: its Acquire says so";
    EXPECT_EQ(scope.allocations(), 0);
    // B's Acquire answers unplugged for a while: listed again, it is read by its own device.
    sim_fail_on(1, "Acquire", 1, static_cast<HRESULT>(DIERR_UNPLUGGED), SIM_FOREVER);
    sim_lose_input(1);
    sim_add_gamepad("C");
    EXPECT_EQ(looks_within(600), 1);
    sim_clear_rules();
    looks_within(20);
    EXPECT_EQ(created_controllers(), (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(snapshot.fresh[1]);
    EXPECT_EQ(snapshot.state[1].rgbButtons[0], 0x80);
    EXPECT_EQ(sim_device_list_reads(), 0);
    EXPECT_EQ(sim_windows().foreign_peeks, 0);
    stop_watching_devices(set);
}

}  // namespace

TEST_F(ArrivalsTest, APinnedSlotTakesOnlyItsModelWhenPadsArrive) {
    sim_add_gamepad("A");
    set.pins[0] = pad_model(0x054C, 0x05C4);  // j1 kept for a pad not yet plugged in
    ASSERT_TRUE(open());
    EXPECT_TRUE(set.slots[0].device == nullptr && set.slots[1].device != nullptr);
    sim_add_gamepad("B");  // another model: the next slot not pinned
    poll_a_second();
    EXPECT_TRUE(set.slots[0].device == nullptr && set.slots[2].device != nullptr);
    const int pinned = sim_add_gamepad("C");
    sim_set_product_ids(pinned, 0x054C, 0x05C4);
    poll_a_second();
    EXPECT_EQ(created_controllers(), (std::vector<int>{0, 1, pinned}));
    EXPECT_TRUE(set.slots[0].device != nullptr && set.slots[0].state == SlotState::ready);
    EXPECT_EQ(set.slots[0].model, pad_model(0x054C, 0x05C4));
}
