// The simulated platform's own promises: the tests of the plug-in rely on it to notice
// misuse, to inject exactly the results asked for, and to behave like a real device.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim_platform.h"

namespace {

const HWND WINDOW = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));

class SimPlatform : public ::testing::Test {
protected:
    void SetUp() override { sim_reset(); }
    void TearDown() override { sim_reset(); }

    static IDirectInput8W* create() {
        void* out = nullptr;
        EXPECT_EQ(DirectInput8Create(GetModuleHandleW(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8W, &out, nullptr),
                  DI_OK);
        return static_cast<IDirectInput8W*>(out);
    }

    static IDirectInputDevice8W* device_of(IDirectInput8W* di, int controller) {
        IDirectInputDevice8W* device = nullptr;
        const GUID instance = sim_instance_guid(controller);
        EXPECT_EQ(di->CreateDevice(instance, &device, nullptr), DI_OK);
        return device;
    }

    // Data format and exclusive foreground cooperation, as the plug-in sets a device up.
    static void set_up(IDirectInputDevice8W* device) {
        EXPECT_EQ(device->SetDataFormat(&c_dfDIJoystick2), DI_OK);
        EXPECT_EQ(device->SetCooperativeLevel(WINDOW, DISCL_EXCLUSIVE | DISCL_FOREGROUND), DI_OK);
    }
};

int enumerated = 0;
BOOL CALLBACK count_device(LPCDIDEVICEINSTANCEW, LPVOID) {
    ++enumerated;
    return DIENUM_CONTINUE;
}

}  // namespace

TEST_F(SimPlatform, LiveObjectsAndMisuseAreReported) {
    IDirectInput8W* di = create();
    EXPECT_EQ(sim_live_objects(), 1);
    EXPECT_EQ(sim_problems(), "di1 holds 1 reference\n");
    EXPECT_EQ(di->AddRef(), 2u);
    EXPECT_EQ(sim_problems(), "di1 holds 2 references\n");
    EXPECT_EQ(di->Release(), 1u);
    EXPECT_EQ(di->Release(), 0u);
    EXPECT_EQ(sim_problems(), "");
    EXPECT_EQ(sim_misuse_count(), 0);

    // One Release too many, and a call on the released object: counted, listed, answered.
    EXPECT_EQ(di->Release(), 0u);
    EXPECT_EQ(di->EnumDevices(DI8DEVCLASS_GAMECTRL, count_device, nullptr, DIEDFL_ATTACHEDONLY), E_POINTER);
    EXPECT_EQ(sim_misuse_count(), 2);
    EXPECT_EQ(sim_problems(), "di1: Release past zero\ndi1: EnumDevices on a released object\n");
    EXPECT_EQ(sim_refs("di1"), 0);

    // A reset retires the objects: calls on them are answered quietly.
    sim_reset();
    EXPECT_EQ(di->Release(), 0u);
    EXPECT_EQ(sim_problems(), "");
    EXPECT_EQ(sim_refs("di1"), -1);
}

TEST_F(SimPlatform, InjectedResultsFollowTheirRules) {
    const int pad1 = sim_add_gamepad("Pad 1");
    const int pad2 = sim_add_gamepad("Pad 2");
    sim_add_gamepad("Pad 3");
    IDirectInput8W* di = create();
    IDirectInputDevice8W* first = device_of(di, pad1);
    IDirectInputDevice8W* second = device_of(di, pad2);
    set_up(first);
    set_up(second);
    ASSERT_EQ(first->Acquire(), DI_OK);
    ASSERT_EQ(second->Acquire(), DI_OK);

    // The 2nd and 3rd Poll from now, on any device.
    sim_fail("Poll", 2, DIERR_INPUTLOST, 2);
    EXPECT_EQ(first->Poll(), DI_OK);
    EXPECT_EQ(second->Poll(), DIERR_INPUTLOST);
    EXPECT_EQ(first->Poll(), DIERR_INPUTLOST);
    EXPECT_EQ(first->Poll(), DI_OK);

    // Only the devices of one controller.
    sim_fail_on(pad2, "GetDeviceState", 1, E_FAIL, SIM_FOREVER);
    DIJOYSTATE2 state{};
    EXPECT_EQ(first->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(second->GetDeviceState(sizeof state, &state), E_FAIL);
    EXPECT_EQ(second->GetDeviceState(sizeof state, &state), E_FAIL);
    EXPECT_EQ(first->GetDeviceState(sizeof state, &state), DI_OK);

    // An injected success replaces a success, never a failure; an injected failure has
    // no effect.
    sim_fail("Poll", 1, S_FALSE, 2);
    EXPECT_EQ(first->Poll(), S_FALSE);
    EXPECT_EQ(first->Unacquire(), DI_OK);
    EXPECT_EQ(first->Poll(), DIERR_NOTACQUIRED);
    sim_fail("Acquire", 1, E_FAIL);
    EXPECT_EQ(first->Acquire(), E_FAIL);
    EXPECT_FALSE(sim_acquired("dev1"));
    EXPECT_EQ(first->Acquire(), DI_OK);

    // An enumeration makes the callbacks asked for, then fails.
    sim_fail_enum("EnumDevices", 1, 2, DIERR_GENERIC);
    enumerated = 0;
    EXPECT_EQ(di->EnumDevices(DI8DEVCLASS_GAMECTRL, count_device, nullptr, DIEDFL_ATTACHEDONLY), DIERR_GENERIC);
    EXPECT_EQ(enumerated, 2);
    enumerated = 0;
    EXPECT_EQ(di->EnumDevices(DI8DEVCLASS_GAMECTRL, count_device, nullptr, DIEDFL_ATTACHEDONLY), DI_OK);
    EXPECT_EQ(enumerated, 3);

    EXPECT_EQ(sim_rule_count(), 5);
    sim_clear_rules();
    EXPECT_EQ(second->GetDeviceState(sizeof state, &state), DI_OK);
    first->Release();
    second->Release();
    di->Release();
    EXPECT_EQ(sim_problems(), "");
}

TEST_F(SimPlatform, DevicesKeepTheRulesOfARealDevice) {
    const int pad = sim_add_gamepad("Pad");
    IDirectInput8W* di = create();
    IDirectInputDevice8W* device = device_of(di, pad);
    IDirectInputDevice8W* other = device_of(di, pad);

    EXPECT_EQ(device->Poll(), DIERR_NOTACQUIRED);
    EXPECT_EQ(device->Acquire(), DIERR_INVALIDPARAM) << "no data format yet";
    set_up(device);
    set_up(other);
    EXPECT_EQ(device->Acquire(), DI_OK);
    EXPECT_EQ(device->Acquire(), DI_NOEFFECT);
    EXPECT_EQ(other->Acquire(), DIERR_OTHERAPPHASPRIO) << "the controller is held exclusively";
    EXPECT_EQ(device->SetDataFormat(&c_dfDIJoystick2), DIERR_ACQUIRED);

    // Without a range the axes read 0..65535, so the middle is 32768.
    DIJOYSTATE2 state{};
    EXPECT_EQ(device->Poll(), DI_OK);
    EXPECT_EQ(device->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.lX, 32768);
    // As under Wine: a range may be set while acquired; only a minimum above the maximum
    // is refused, and an empty range reports its one value.
    DIPROPRANGE range{{sizeof range, sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, 5, 4};
    EXPECT_EQ(device->SetProperty(DIPROP_RANGE, &range.diph), DIERR_INVALIDPARAM);
    range.lMin = 5;
    range.lMax = 5;
    EXPECT_EQ(device->SetProperty(DIPROP_RANGE, &range.diph), DI_OK);
    EXPECT_EQ(device->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.lX, 5);
    sim_set_polled(pad, false);
    EXPECT_EQ(device->Poll(), DI_NOEFFECT);

    // The window going to the background takes the acquisition; the next Poll says so once.
    sim_set_foreground(false);
    EXPECT_EQ(device->Poll(), DIERR_INPUTLOST);
    EXPECT_EQ(device->Poll(), DIERR_NOTACQUIRED);
    EXPECT_EQ(device->Acquire(), DIERR_OTHERAPPHASPRIO);
    sim_set_foreground(true);
    EXPECT_EQ(device->Acquire(), DI_OK);
    sim_set_attached(pad, false);
    EXPECT_EQ(device->Poll(), DIERR_INPUTLOST);
    EXPECT_EQ(device->Acquire(), DIERR_UNPLUGGED);

    device->Release();
    other->Release();
    di->Release();
    EXPECT_EQ(sim_problems(), "");
}

TEST_F(SimPlatform, MethodsThePluginNeverCallsAnswerNotImplemented) {
    const int pad = sim_add_gamepad("Pad");
    IDirectInput8W* di = create();
    IDirectInputDevice8W* device = device_of(di, pad);
    sim_clear_log();
    EXPECT_EQ(device->GetCapabilities(nullptr), E_NOTIMPL);
    EXPECT_EQ(device->Escape(nullptr), E_NOTIMPL);
    EXPECT_EQ(di->RunControlPanel(nullptr, 0), E_NOTIMPL);
    // E_NOTIMPL is DirectInput's DIERR_UNSUPPORTED, the name the log gives it.
    EXPECT_EQ(sim_log(), (std::vector<std::string>{"dev1.GetCapabilities() -> DIERR_UNSUPPORTED",
                                                   "dev1.Escape() -> DIERR_UNSUPPORTED",
                                                   "di1.RunControlPanel() -> DIERR_UNSUPPORTED"}));
    EXPECT_EQ(sim_calls("GetCapabilities"), 1);
    // The record holds the same calls as the log.
    const std::vector<SimCall> record = sim_call_record();
    ASSERT_EQ(record.size(), 3u);
    EXPECT_EQ(record[2].method, SimMethod::RunControlPanel);
    EXPECT_STREQ(record[2].object, "di1");
    EXPECT_EQ(record[2].result, E_NOTIMPL);
    device->Release();
    di->Release();
}

#if !defined(_WIN32)
// A window registered for the HID class is told of every controller that comes or goes,
// only when its thread takes messages, the oldest of more than 16 lost; another class's
// registration is told nothing; as on Windows a class with a window left stays, and a
// window destroyed keeps its registration.
namespace notices {
std::string told;
LRESULT CALLBACK record(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    const auto* broadcast = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(lparam);
    if (message == WM_DEVICECHANGE && broadcast->dbcc_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
        told += wparam == DBT_DEVICEARRIVAL ? '+' : '-';
    }
    return window != nullptr;
}
}  // namespace notices

TEST_F(SimPlatform, WindowsAreToldOfControllersWhenTheyTakeMessages) {
    const WCHAR name[] = {'n', 0};
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = notices::record;
    window_class.lpszClassName = name;
    ASSERT_NE(RegisterClassExW(&window_class), 0);
    EXPECT_EQ(RegisterClassExW(&window_class), 0);
    EXPECT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);
    HWND told = CreateWindowExW(0, name, name, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    HWND deaf = CreateWindowExW(0, name, name, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
    HDEVNOTIFY hid = RegisterDeviceNotificationW(told, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    filter.dbcc_classguid = GUID_XAxis;
    ASSERT_TRUE(hid != nullptr && RegisterDeviceNotificationW(deaf, &filter, DEVICE_NOTIFY_WINDOW_HANDLE) != nullptr);
    const int pad = sim_add_gamepad("A");
    sim_set_attached(pad, false);
    EXPECT_EQ(notices::told, "") << "not before the thread takes its messages";
    MSG message;
    EXPECT_FALSE(PeekMessageW(&message, told, 0, 0, PM_REMOVE));
    EXPECT_EQ(notices::told, "+-");
    for (int i = 0; i < 10; ++i) sim_set_attached(pad, i % 2 == 0);
    EXPECT_FALSE(PeekMessageW(&message, told, 0, 0, PM_REMOVE));
    EXPECT_EQ(notices::told, "+-+-+-+-+-+-");
    for (int i = 0; i < 20; ++i) sim_set_attached(pad, i % 2 != 0);
    EXPECT_FALSE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(notices::told.size(), 12u + 16u) << "the oldest four lost";
    EXPECT_FALSE(UnregisterClassW(name, nullptr)) << "its windows stand";
    EXPECT_TRUE(DestroyWindow(told) && DestroyWindow(deaf) && UnregisterClassW(name, nullptr));
    EXPECT_TRUE(UnregisterDeviceNotification(hid));
    const SimWindows left = sim_windows();
    EXPECT_EQ(left.classes + left.windows, 0);
    EXPECT_EQ(left.registrations, 1) << "kept by a window destroyed first";
    EXPECT_EQ(left.foreign_peeks, 1) << "the one for no window";
}
#endif
