#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "tests/controllers/controllers_support.h"
#include "tests/support/alloc_counter.h"

namespace {

class StateCaptureTest : public ControllersTest {
protected:
    // Opens with the controllers already added, then starts a fresh log.
    void open_ready() {
        ASSERT_TRUE(open());
        sim_clear_log();
    }

    void poll() {
        snapshot = StateSnapshot{};
        for (bool& fresh : snapshot.fresh) fresh = true;  // stale flags must not survive
        capture_states(set, snapshot);
        capture_xinput(set, snapshot);
    }

    int fresh_count() const {
        int n = 0;
        for (bool fresh : snapshot.fresh) n += fresh ? 1 : 0;
        return n;
    }

    StateSnapshot snapshot;
};

TEST_F(StateCaptureTest, FirstPollAcquiresAndTheSecondReads) {
    int a = sim_add_gamepad("A");
    int b = sim_add_joystick("B");
    open_ready();
    sim_set_axis(a, SimAxis::x, 12345);
    sim_set_axis(a, SimAxis::y, -32768);
    sim_set_button(a, 3, true);
    sim_set_axis(b, SimAxis::rz, 32767);
    sim_set_axis(b, SimAxis::z, -7);

    poll();
    EXPECT_FALSE(snapshot.fresh[0]);
    EXPECT_FALSE(snapshot.fresh[1]);
    EXPECT_EQ(sim_log(), (std::vector<std::string>{"dev1.Poll() -> DIERR_NOTACQUIRED", "dev1.Acquire() -> DI_OK",
                                                   "dev2.Poll() -> DIERR_NOTACQUIRED", "dev2.Acquire() -> DI_OK"}));

    sim_clear_log();
    poll();
    EXPECT_EQ(sim_log(), (std::vector<std::string>{"dev1.Poll() -> DI_OK", "dev1.GetDeviceState(size=272) -> DI_OK",
                                                   "dev2.Poll() -> DI_OK", "dev2.GetDeviceState(size=272) -> DI_OK"}));
    ASSERT_TRUE(snapshot.fresh[0]);
    ASSERT_TRUE(snapshot.fresh[1]);
    // The range set on every axis makes the device report positions unscaled.
    EXPECT_EQ(snapshot.state[0].lX, 12345);
    EXPECT_EQ(snapshot.state[0].lY, -32768);
    EXPECT_EQ(snapshot.state[0].rgbButtons[3], 0x80);
    EXPECT_EQ(snapshot.state[0].rgbButtons[2], 0);
    EXPECT_EQ(snapshot.state[1].lRz, 32767);
    EXPECT_EQ(snapshot.state[1].lZ, -7);
    EXPECT_EQ(snapshot.state[1].lX, 0);
}

// A slot with no pad, one whose set-up failed, and one whose pad cannot be acquired read
// as a pad at rest, whatever the record held before.
TEST_F(StateCaptureTest, SlotsWithoutAReadyPadReadAtRest) {
    sim_add_gamepad("A");
    int broken = sim_add_gamepad("B");
    sim_fail_on(broken, "SetCooperativeLevel", 1, DIERR_GENERIC);
    open_ready();
    sim_fail_on(0, "Acquire", 1, static_cast<HRESULT>(DIERR_UNPLUGGED));  // unsigned in some headers
    std::memset(&snapshot, 0x5A, sizeof snapshot);
    capture_states(set, snapshot);
    EXPECT_EQ(set.slots[0].state, SlotState::gone);
    DIJOYSTATE2 rest{};
    for (DWORD& pov : rest.rgdwPOV) pov = 0xFFFFFFFF;
    for (int i = 0; i < SLOT_COUNT; ++i) {
        ASSERT_TRUE(snapshot.fresh[i]) << i;
        // What the evaluation reads: axes, sliders, points of view, buttons.
        EXPECT_EQ(std::memcmp(&snapshot.state[i], &rest, offsetof(DIJOYSTATE2, rgbButtons) + 128), 0) << i;
    }
}

TEST_F(StateCaptureTest, ASlotThatIsNotReadyIsNeverTouched) {
    sim_add_gamepad("A");
    int broken = sim_add_gamepad("B");
    sim_fail_on(broken, "SetCooperativeLevel", 1, DIERR_GENERIC);
    open_ready();
    ASSERT_NE(set.slots[1].device, nullptr);
    poll();
    poll();
    EXPECT_TRUE(recorded("dev2").empty());
}

TEST_F(StateCaptureTest, FailedReadCostsOnlyThatSlotAndThatPoll) {
    sim_add_gamepad("A");
    int b = sim_add_gamepad("B");
    open_ready();
    poll();
    sim_fail_on(b, "GetDeviceState", 1, DIERR_INPUTLOST);
    sim_clear_log();
    poll();
    EXPECT_TRUE(snapshot.fresh[0]);
    EXPECT_FALSE(snapshot.fresh[1]);
    EXPECT_EQ(sim_calls("Acquire"), 2) << "a failed read is not followed by Acquire";
    poll();
    EXPECT_TRUE(snapshot.fresh[1]);
}

TEST_F(StateCaptureTest, AcquireIsRepeatedWhileInputIsLost) {
    sim_add_gamepad("A");
    open_ready();
    sim_fail("Acquire", 1, DIERR_INPUTLOST, 2);
    poll();
    EXPECT_EQ(sim_log(), (std::vector<std::string>{"dev1.Poll() -> DIERR_NOTACQUIRED",
                                                   "dev1.Acquire() -> DIERR_INPUTLOST (injected)",
                                                   "dev1.Acquire() -> DIERR_INPUTLOST (injected)",
                                                   "dev1.Acquire() -> DI_OK"}));
    EXPECT_FALSE(snapshot.fresh[0]);
    poll();
    EXPECT_TRUE(snapshot.fresh[0]);
    EXPECT_EQ(sim_calls("Acquire"), 3);
}

TEST_F(StateCaptureTest, AcquireAnsweringInputLostForeverIsCappedInEachPoll) {
    sim_add_gamepad("A");
    sim_add_gamepad("B");
    open_ready();
    sim_fail_on(0, "Acquire", 1, DIERR_INPUTLOST, SIM_FOREVER);
    poll();
    EXPECT_EQ(sim_calls("Acquire"), 16 + 1) << "16 tries on A, one on B";
    EXPECT_TRUE(snapshot.fresh[0]) << "at rest";
    EXPECT_FALSE(snapshot.fresh[1]) << "acquired: no state in this poll";
    poll();
    EXPECT_EQ(sim_calls("Acquire"), 16 + 1 + 16);
    EXPECT_EQ(snapshot.state[1].lX, 0);
    EXPECT_TRUE(snapshot.fresh[1]) << "the other slot is not affected";
}

TEST_F(StateCaptureTest, OtherAcquireFailuresAreTriedOncePerPoll) {
    sim_add_gamepad("A");
    open_ready();
    sim_set_foreground(false);
    poll();
    poll();
    EXPECT_EQ(results(recorded("dev1", SimMethod::Acquire)), std::vector<std::string>(2, "DIERR_OTHERAPPHASPRIO"));
    EXPECT_TRUE(snapshot.fresh[0]) << "at rest";
    EXPECT_NE(set.slots[0].state, SlotState::gone) << "only in the background";
    sim_set_foreground(true);
    poll();
    EXPECT_FALSE(snapshot.fresh[0]) << "acquired: the bits stay";
    poll();
    EXPECT_TRUE(snapshot.fresh[0]);
}

TEST_F(StateCaptureTest, LostInputIsReacquiredAndReadFromTheNextPoll) {
    int a = sim_add_gamepad("A");
    open_ready();
    poll();
    poll();
    ASSERT_TRUE(snapshot.fresh[0]);
    sim_lose_input(a);
    sim_clear_log();
    poll();
    EXPECT_EQ(sim_log(), (std::vector<std::string>{"dev1.Poll() -> DIERR_INPUTLOST", "dev1.Acquire() -> DI_OK"}));
    EXPECT_FALSE(snapshot.fresh[0]);
    poll();
    EXPECT_TRUE(snapshot.fresh[0]);
}

TEST_F(StateCaptureTest, AnySuccessCodeOfPollCountsAsSuccess) {
    int a = sim_add_gamepad("A");
    sim_set_polled(a, false);
    open_ready();
    poll();
    sim_clear_log();
    poll();
    EXPECT_EQ(sim_log(), (std::vector<std::string>{"dev1.Poll() -> DI_NOEFFECT", "dev1.GetDeviceState(size=272) -> DI_OK"}));
    EXPECT_TRUE(snapshot.fresh[0]);
}

TEST_F(StateCaptureTest, PollAfterReleaseCallsNothing) {
    sim_add_gamepad("A");
    open_ready();
    poll();
    release_controllers(set);
    ASSERT_EQ(set.slots[0].state, SlotState::ready);
    sim_clear_log();
    poll();
    EXPECT_TRUE(sim_log().empty());
    EXPECT_EQ(fresh_count(), 0);
}

TEST_F(StateCaptureTest, CaptureAllocatesNothing) {
    sim_add_gamepad("A");
    sim_add_gamepad("B");
    open_ready();
    poll();
    alloc_counter::Scope scope;
    for (int i = 0; i < 100; ++i) poll();
    sim_set_logging(false);
    for (int i = 0; i < 100; ++i) poll();
    EXPECT_EQ(scope.allocations(), 0);
    EXPECT_EQ(fresh_count(), SLOT_COUNT);
}

}  // namespace
