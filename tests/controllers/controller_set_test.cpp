#include <string>
#include <vector>

#include <new>

#include "tests/controllers/controllers_support.h"
#include "tests/support/alloc_counter.h"
#include "tests/support/expected_output.h"

namespace {

TEST_F(ControllersTest, OpenMakesTheCallsInOrderWithTheirArguments) {
    sim_add_gamepad("Pad A");
    sim_add_joystick("Stick B");
    int wheel = sim_add_controller("Wheel C");
    sim_add_buttons(wheel, 2);
    sim_add_axis(wheel, SimAxis::rx);

    ASSERT_TRUE(open());
    auto expected = expected_sections("controllers/open_calls.txt", host_instance_text());
    EXPECT_EQ(sim_text(sim_copy_log), expected["open three"]);

    EXPECT_EQ(help(), "//help//a;p;j1:x[<N,>N,n],y[<N,>N,n],b[n];j2:x[<N,>N,n],y[<N,>N,n],z[<N,>N,n],rz[<N,>N,n],b[n];"
                      "j3:rx[<N,>N,n],b[n];");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(set.slots[i].state, SlotState::ready) << i;
    EXPECT_EQ(devices_held(), 3);
    EXPECT_EQ(set.setup.axis_fragments.length, 0);
    for (const char* device : {"dev1", "dev2", "dev3"}) EXPECT_FALSE(sim_acquired(device));
    EXPECT_EQ(sim_refs("di1"), 1);
    EXPECT_EQ(sim_refs("joyconfig1"), 0);

    sim_clear_log();
    release_controllers(set);
    EXPECT_EQ(sim_text(sim_copy_log), expected["release three"]);
    EXPECT_EQ(devices_held(), 0);
    EXPECT_EQ(set.direct_input, nullptr);
    EXPECT_EQ(set.slots[0].state, SlotState::ready) << "release leaves the states";
}

TEST_F(ControllersTest, HelpSkipsAFailedSlotAndGivesAnAxislessControllerItsBlock) {
    sim_add_gamepad("With axes");
    int failing = sim_add_gamepad("Failing");
    int buttons_only = sim_add_controller("Buttons only");
    sim_add_buttons(buttons_only, 4);
    sim_add_pov(buttons_only);
    sim_fail_on(failing, "SetDataFormat", 1, DIERR_GENERIC);

    ASSERT_TRUE(open());
    EXPECT_EQ(help(), "//help//a;p;j1:x[<N,>N,n],y[<N,>N,n],b[n];j3:b[n];");
    EXPECT_EQ(set.slots[0].state, SlotState::ready);
    EXPECT_NE(set.slots[1].state, SlotState::ready);
    EXPECT_NE(set.slots[1].device, nullptr) << "the failed slot keeps its device and number";
    EXPECT_EQ(set.slots[2].state, SlotState::ready);
    EXPECT_TRUE(recorded("dev2", SimMethod::SetCooperativeLevel).empty()) << "set-up of a slot stops at its first failure";
}

TEST_F(ControllersTest, NoControllerGivesTheBareHelp) {
    ASSERT_TRUE(open());
    EXPECT_EQ(help(), "//help//a;p;");
    EXPECT_EQ(devices_held(), 0);
    for (const ControllerSlot& slot : set.slots) EXPECT_NE(slot.state, SlotState::ready);
}

TEST_F(ControllersTest, DetachedAndOtherClassDevicesAreNotTaken) {
    int gone = sim_add_gamepad("Unplugged");
    sim_add_gamepad("Present");
    sim_set_attached(gone, false);
    ASSERT_TRUE(open());
    EXPECT_EQ(created_controllers(), std::vector<int>{1});
    EXPECT_EQ(devices_held(), 1);
}

TEST_F(ControllersTest, TenControllersFillEightSlotsWithoutGapsAndTheRestAreNeverOffered) {
    for (int i = 1; i <= 10; ++i) sim_add_gamepad(("Pad " + std::to_string(i)).c_str());
    sim_fail_on(2, "CreateDevice", 1, DIERR_OUTOFMEMORY);

    ASSERT_TRUE(open());
    EXPECT_EQ(sim_calls("CreateDevice"), 9) << "Pad 10 is never offered";
    EXPECT_EQ(devices_held(), 8);
    std::string expected = "//help//a;p;";
    for (int j = 1; j <= 8; ++j) expected += "j" + std::to_string(j) + ":x[<N,>N,n],y[<N,>N,n],b[n];";
    EXPECT_EQ(help(), expected);
    // Pad 3 failed, so slot 2 holds Pad 4 and slot 7 holds Pad 9.
    EXPECT_EQ(created_controllers(), (std::vector<int>{0, 1, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(recorded("dev8", SimMethod::SetDataFormat).size(), 1u);
}

TEST_F(ControllersTest, ADeviceOfferedWithAllSlotsFullIsReleasedAtOnce) {
    for (int i = 1; i <= 10; ++i) sim_add_gamepad(("Pad " + std::to_string(i)).c_str());
    sim_ignore_enum_stop(true);  // a faulty platform goes on after the stop

    ASSERT_TRUE(open());
    EXPECT_EQ(devices_held(), 8);
    EXPECT_EQ(sim_refs("dev9"), 0);
    EXPECT_EQ(sim_refs("dev10"), 0);
    EXPECT_EQ(sim_refs("dev8"), 1);

    // Called directly with every slot full: the new device goes back and the enumeration stops.
    DIDEVICEINSTANCEW instance{};
    instance.guidInstance = sim_instance_guid(9);
    IDirectInputDevice8W* before[SLOT_COUNT];
    for (int i = 0; i < SLOT_COUNT; ++i) before[i] = set.slots[i].device;
    EXPECT_EQ(on_device_enumerated(&instance, &set), DIENUM_STOP);
    EXPECT_EQ(sim_refs("dev11"), 0);
    for (int i = 0; i < SLOT_COUNT; ++i) EXPECT_EQ(set.slots[i].device, before[i]);
    EXPECT_EQ(sim_live_objects(), 9);  // di1 and the eight held devices
}

TEST_F(ControllersTest, CallbacksRefuseToWorkOutsideTheirEnumeration) {
    sim_add_gamepad("Pad");
    DIDEVICEINSTANCEW instance{};
    instance.guidInstance = sim_instance_guid(0);
    EXPECT_EQ(on_device_enumerated(&instance, nullptr), DIENUM_STOP);
    EXPECT_EQ(on_device_enumerated(&instance, &set), DIENUM_STOP) << "no DirectInput interface yet";

    ASSERT_TRUE(open());
    DIDEVICEOBJECTINSTANCEW object{};
    object.guidType = GUID_XAxis;
    object.dwType = DIDFT_ABSAXIS;
    int ranges_before = sim_calls("SetProperty");
    EXPECT_EQ(on_object_enumerated(&object, test_window()), DIENUM_STOP);
    EXPECT_EQ(sim_calls("SetProperty"), ranges_before);
    EXPECT_EQ(set.setup.axis_fragments.length, 0);
}

// Each call of the opening failing in turn: the answer, what stays held, and nothing
// leaked once released.
TEST_F(ControllersTest, EachFailingCallGivesItsMessageOrSlotStateAndLeaksNothing) {
    struct Case {
        const char* method;
        bool opens;
        const char* message;  // when the opening fails
        bool holds_direct_input;
        int devices;
        bool first_ready;
    };
    const Case cases[] = {
        {"GetModuleHandleW", false, "//DirectInput init error!//", false, 0, false},
        {"DirectInput8Create", false, "//DirectInput init error!//", false, 0, false},
        {"QueryInterface", false, "//DirectInput init error!//", true, 0, false},
        {"EnumDevices", false, "//Enumeration fail!//", true, 0, false},
        {"CreateDevice", true, nullptr, true, 1, true},
        {"SetDataFormat", true, nullptr, true, 2, false},
        {"SetCooperativeLevel", true, nullptr, true, 2, false},
        {"EnumObjects", true, nullptr, true, 2, false},
        {"SetProperty", true, nullptr, true, 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        sim_reset();
        set = ControllerSet{};
        sim_add_gamepad("First");
        sim_add_gamepad("Second");
        if (!SIM_HAS_MODULE_HANDLE && std::string(c.method) == "GetModuleHandleW") {
            // On Windows the system answers GetModuleHandleW: it cannot be made to fail,
            // and the opening goes on with the program's instance handle.
            EXPECT_TRUE(open());
            EXPECT_EQ(sim_calls("GetModuleHandleW"), 0);
            EXPECT_EQ(devices_held(), 2);
            release_controllers(set);
            continue;
        }
        sim_fail(c.method, 1, DIERR_GENERIC);

        EXPECT_EQ(open(), c.opens);
        if (!c.opens) {
            EXPECT_EQ(help(), c.message);
        }
        EXPECT_EQ(set.direct_input != nullptr, c.holds_direct_input);
        EXPECT_EQ(devices_held(), c.devices);
        EXPECT_EQ(set.slots[0].state == SlotState::ready, c.first_ready);
        EXPECT_EQ(sim_refs("joyconfig1") > 0, false) << "the joystick configuration is never kept";

        release_controllers(set);
        EXPECT_EQ(sim_problems(), "");
        EXPECT_EQ(sim_live_objects(), 0);
    }
}

TEST_F(ControllersTest, EnumerationFailingLateKeepsTheDevicesTakenButNoneReady) {
    sim_add_gamepad("First");
    sim_add_gamepad("Second");
    sim_add_gamepad("Third");
    sim_fail_enum("EnumDevices", 1, 2, DIERR_GENERIC);

    EXPECT_FALSE(open());
    EXPECT_EQ(help(), "//Enumeration fail!//");
    EXPECT_EQ(devices_held(), 2);
    for (const ControllerSlot& slot : set.slots) EXPECT_NE(slot.state, SlotState::ready);
    EXPECT_TRUE(recorded("", SimMethod::SetDataFormat).empty());
}

TEST_F(ControllersTest, SetUpFailuresOfOneSlotLeaveTheOthersReady) {
    // The second controller fails at a different step on each round.
    for (const char* method : {"SetDataFormat", "SetCooperativeLevel", "EnumObjects"}) {
        SCOPED_TRACE(method);
        release_controllers(set);
        set = ControllerSet{};
        sim_reset();
        sim_add_gamepad("A");
        int b = sim_add_gamepad("B");
        sim_add_joystick("C");
        sim_fail_on(b, method, 1, DIERR_INVALIDPARAM);
        ASSERT_TRUE(open());
        EXPECT_EQ(help(), "//help//a;p;j1:x[<N,>N,n],y[<N,>N,n],b[n];j3:x[<N,>N,n],y[<N,>N,n],z[<N,>N,n],rz[<N,>N,n],b[n];");
        EXPECT_EQ(set.slots[0].state, SlotState::ready);
        EXPECT_NE(set.slots[1].state, SlotState::ready);
        EXPECT_EQ(set.slots[2].state, SlotState::ready);
    }
}

TEST_F(ControllersTest, FragmentsCollectedBeforeAFailingEnumerationAreDropped) {
    sim_add_joystick("Stick");
    sim_fail_enum("EnumObjects", 1, 3, DIERR_GENERIC);
    ASSERT_TRUE(open());
    EXPECT_EQ(help(), "//help//a;p;");
    EXPECT_NE(set.slots[0].state, SlotState::ready);
    EXPECT_EQ(set.setup.axis_fragments.length, 0);
}

TEST_F(ControllersTest, WithoutAWindowNoControllerBecomesReady) {
    sim_add_gamepad("Pad");
    ASSERT_TRUE(open(nullptr));
    EXPECT_EQ(help(), "//help//a;p;");
    EXPECT_NE(set.slots[0].state, SlotState::ready);
    EXPECT_EQ(results(recorded("", SimMethod::SetCooperativeLevel)), std::vector<std::string>{"E_HANDLE"});
}

TEST_F(ControllersTest, AxisObjectsGetTheirRangeAndFragmentsFollowTheObjectOrder) {
    int c = sim_add_controller("Odd");
    sim_add_axis(c, SimAxis::rz);
    sim_add_buttons(c, 2);
    sim_add_axis(c, SimAxis::x);
    sim_add_axis(c, SimAxis::slider0);
    sim_add_object(c, GUID_XAxis, DIDFT_ABSAXIS | DIDFT_MAKEINSTANCE(7));  // a second X axis
    sim_add_object(c, GUID_RyAxis, DIDFT_PSHBUTTON | DIDFT_MAKEINSTANCE(9));  // not an axis object
    sim_add_object(c, GUID_ZAxis, DIDFT_RELAXIS | DIDFT_MAKEINSTANCE(8));
    sim_add_axis(c, SimAxis::ry);

    ASSERT_TRUE(open());
    EXPECT_EQ(help(), "//help//a;p;j1:rz[<N,>N,n],x[<N,>N,n],x[<N,>N,n],ry[<N,>N,n],z[<N,>N,n],ry[<N,>N,n],b[n];");
    // Every axis object gets its range (the slider too; the second X axis reports no field),
    // the button does not.
    EXPECT_EQ(results(recorded("dev1", SimMethod::SetProperty)), std::vector<std::string>(6, "DI_OK"));
    for (SimAxis axis : {SimAxis::rz, SimAxis::x, SimAxis::slider0, SimAxis::z, SimAxis::ry}) {
        LONG min = 0, max = 0;
        ASSERT_TRUE(sim_axis_range("dev1", axis, min, max)) << static_cast<int>(axis);
        EXPECT_EQ(min, -32768);
        EXPECT_EQ(max, 32767);
    }
}

TEST_F(ControllersTest, AnAxisWhoseRangeFailsEndsTheObjectEnumeration) {
    int c = sim_add_controller("Stick");
    sim_add_axis(c, SimAxis::x);
    sim_add_axis(c, SimAxis::y);
    sim_add_axis(c, SimAxis::z);
    sim_add_buttons(c, 3);
    sim_fail("SetProperty", 2, DIERR_UNSUPPORTED);

    ASSERT_TRUE(open());
    EXPECT_EQ(help(), "//help//a;p;j1:x[<N,>N,n],b[n];") << "fragments before the failure stay, the slot is ready";
    EXPECT_EQ(set.slots[0].state, SlotState::ready);
    EXPECT_EQ(sim_calls("SetProperty"), 2);
    LONG min = 0, max = 0;
    EXPECT_TRUE(sim_axis_range("dev1", SimAxis::x, min, max));
    EXPECT_FALSE(sim_axis_range("dev1", SimAxis::y, min, max));
    EXPECT_FALSE(sim_axis_range("dev1", SimAxis::z, min, max));
}

TEST_F(ControllersTest, ReleaseTwiceOrBeforeOpeningReleasesNothing) {
    set.slots[3].state = SlotState::ready;
    release_controllers(set);
    EXPECT_TRUE(sim_log().empty());
    EXPECT_EQ(set.slots[3].state, SlotState::ready);

    sim_add_gamepad("Pad");
    ASSERT_TRUE(open());
    release_controllers(set);
    sim_clear_log();
    release_controllers(set);
    EXPECT_TRUE(sim_log().empty());
    EXPECT_EQ(sim_misuse_count(), 0);
    EXPECT_EQ(set.slots[0].state, SlotState::ready);
}

TEST_F(ControllersTest, StorageRunningOutWhileListingAxesThrowsOnlyOutsideTheCallbacks) {
    // Every allocation of an opening in turn fails; the failure must come out of
    // open_controllers (not out of a callback, inside the platform's frames), and the
    // release must leave nothing behind.
    int failures = 0;
    for (int64_t k = 1;; ++k) {
        ASSERT_LT(k, 100);
        sim_reset();
        sim_add_joystick("Stick");
        set = ControllerSet{};
        alloc_counter::fail_at(k);
        bool thrown = false;
        try {
            open();
        } catch (const std::bad_alloc&) {
            thrown = true;
        }
        alloc_counter::fail_at(0);
        release_controllers(set);
        EXPECT_EQ(sim_live_objects(), 0) << k;
        if (!thrown) break;
        ++failures;
    }
    EXPECT_GE(failures, 2) << "the axis fragments and the help list both allocate";
}

}  // namespace

namespace {

// The pad each slot holds after an open with these pins, slot by slot: its controller's
// letter (A for the first added), '-' for an empty slot. The set-up goes through the
// slots in order, so its SetDataFormat calls name the held slots' controllers in order.
std::string slots_after_open(ControllerSet& set, TextBuffer& text, const std::vector<uint32_t>& pins) {
    for (size_t i = 0; i < pins.size(); ++i) set.pins[i] = pins[i];
    EXPECT_TRUE(open_controllers(set, test_window(), text));
    const std::vector<SimCall> set_up = recorded("", SimMethod::SetDataFormat);
    std::string out;
    size_t next = 0;
    for (const ControllerSlot& slot : set.slots) {
        out += slot.device == nullptr || next == set_up.size() ? '-' : static_cast<char>('A' + set_up[next++].controller);
    }
    return out;
}

uint32_t default_model(int controller) { return pad_model(SIM_DEFAULT_VENDOR, static_cast<uint32_t>(controller + 1)); }

}  // namespace

TEST_F(ControllersTest, PinnedSlotsTakeTheirModelAndTheOtherPadsFillTheRestInOrder) {
    for (const char* name : {"A", "B", "C"}) sim_add_gamepad(name);
    EXPECT_EQ(slots_after_open(set, text, {default_model(2)}), "CAB-----");  // pinned, present
    EXPECT_EQ(set.slots[0].model, default_model(2));
    reset_controllers(set);
    sim_clear_log();
    // Pinned to a model not attached: j2 holds nothing, adds nothing to the help list, and
    // the pads around it keep their order.
    EXPECT_EQ(slots_after_open(set, text, {0, pad_model(0x054C, 0x05C4)}), "A-BC----");
    EXPECT_EQ(help(), "//help//a;p;j1:x[<N,>N,n],y[<N,>N,n],b[n];j3:x[<N,>N,n],y[<N,>N,n],b[n];"
                      "j4:x[<N,>N,n],y[<N,>N,n],b[n];");
}

TEST_F(ControllersTest, TwoPadsOfOneModelTakeItsPinnedSlotsInEnumerationOrder) {
    for (const char* name : {"A", "B", "C", "D", "E"}) sim_add_gamepad(name);
    for (int pad : {1, 3, 4}) sim_set_product_ids(pad, 0x045E, 0x028E);
    const uint32_t model = pad_model(0x045E, 0x028E);
    // B and D take j3 and j5; E, a third of the model, fills the next slot not pinned.
    EXPECT_EQ(slots_after_open(set, text, {0, 0, model, 0, model}), "ACBED---");
}

TEST_F(ControllersTest, APadWithNoSlotLeftIsNotCreatedWhileAPinnedSlotWaits) {
    for (int i = 0; i < 10; ++i) sim_add_gamepad(std::string(1, static_cast<char>('A' + i)).c_str());
    EXPECT_EQ(slots_after_open(set, text, {0, 0, 0, 0, 0, 0, 0, default_model(9)}), "ABCDEFGJ");
    EXPECT_EQ(created_controllers(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 9}));  // H and I never made
}
