// The system's notifications of devices that come, instead of its list of input devices:
// Wine refreshes that list at most every 2 s, closing and reopening every HID, keyboard and
// mouse device on the caller's thread (a tenth of a second on the host's poll), while a
// notification costs nothing until a device comes. The window's procedure runs inside the
// host's own message dispatch or the poll's: it only notes the time, and the poll
// enumerates when a look falls due.
#include "controllers/controllers.h"

#include <cstddef>
#include <type_traits>

namespace {

// A device can be opened a few hundred milliseconds after its notification; some finish
// arriving later, so a second look comes about 2 s after it.
constexpr DWORD SOON_MS = 300;
constexpr DWORD LATE_MS = 2000;
// A host that stopped taking its messages for longer may have lost a notification.
constexpr DWORD PAUSE_MS = 2000;
// The window's messages are taken no more often than this: under Wine every PeekMessageW is
// a call into its server, which on a busy machine can cost the poll milliseconds. A host
// that pumps its messages has the notifications delivered by its own pump anyway.
constexpr DWORD TAKE_INTERVAL_MS = 250;
// Messages taken by one poll at most: a flood of them must not hold the host's poll.
constexpr int MAX_MESSAGES = 16;

constexpr uint8_t LOOK_SOON = 1;
constexpr uint8_t LOOK_LATE = 2;
constexpr uint8_t LOOK_NOW = 4;

// The HID device interface class (GUID_DEVINTERFACE_HID), whose arrivals and removals the
// window is told of: every game controller that DirectInput reads is one.
constexpr GUID HID_INTERFACE_CLASS = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// A name in the platform's wide characters, spelt once.
template <size_t N>
struct WideName {
    WCHAR text[N];
    constexpr WideName(const char (&name)[N]) : text{} {
        for (size_t i = 0; i < N; ++i) text[i] = static_cast<WCHAR>(name[i]);
    }
};
constexpr WideName CLASS_NAME("joybits device notices");

// A device that went makes no look due: its pad's Acquire says so, and a look then would
// only cost the host's poll an enumeration (a tenth of a second to more than one under
// Wine, with the device still going away).
LRESULT CALLBACK on_window_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    if (message != WM_DEVICECHANGE) return DefWindowProcW(window, message, wparam, lparam);
    auto* notices = reinterpret_cast<DeviceNotices*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (notices != nullptr && wparam == DBT_DEVICEARRIVAL) {
        notices->last_notice = GetTickCount();
        notices->looks_due |= LOOK_SOON | LOOK_LATE;
    }
    return TRUE;
}

// The platform calls the procedure through its own pointer type, with its calling
// convention (stdcall on 32-bit Windows): a mismatch must not build.
static_assert(std::is_convertible_v<decltype(&on_window_message), WNDPROC>);

// A class of this name that already exists is this library's own, from another state.
bool register_class(DeviceNotices& notices) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = on_window_message;
    window_class.hInstance = notices.module;
    window_class.lpszClassName = CLASS_NAME.text;
    notices.class_registered = RegisterClassExW(&window_class) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    return notices.class_registered;
}

bool register_for_hid(DeviceNotices& notices) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = HID_INTERFACE_CLASS;
    notices.registration = RegisterDeviceNotificationW(notices.window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    return notices.registration != nullptr;
}

}  // namespace

bool watch_devices(ControllerSet& set) noexcept {
    DeviceNotices& notices = set.notices;
    if (notices.window != nullptr) return true;
    if (!register_class(notices)) return false;
    notices.window = CreateWindowExW(0, CLASS_NAME.text, CLASS_NAME.text, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     notices.module, nullptr);
    if (notices.window != nullptr) {
        SetWindowLongPtrW(notices.window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&notices));
        if (register_for_hid(notices)) return true;
    }
    stop_watching_devices(set);
    return false;
}

void stop_watching_devices(ControllerSet& set) noexcept {
    DeviceNotices& notices = set.notices;
    if (notices.registration != nullptr) UnregisterDeviceNotification(notices.registration);
    if (notices.window != nullptr) DestroyWindow(notices.window);
    if (notices.class_registered) UnregisterClassW(CLASS_NAME.text, notices.module);
    notices = DeviceNotices{.module = notices.module};
}

void note_enumerated(DeviceNotices& notices) noexcept {
    notices.last_poll = GetTickCount();
    notices.looks_due &= static_cast<uint8_t>(~LOOK_NOW);
}

bool told_to_look(DeviceNotices& notices, bool wanted) noexcept {
    const DWORD now = GetTickCount();
    if (now - notices.last_poll > PAUSE_MS) notices.looks_due |= LOOK_NOW;
    notices.last_poll = now;
    if (!wanted) return false;
    if (now - notices.last_take >= TAKE_INTERVAL_MS) {
        notices.last_take = now;
        MSG message;
        for (int i = 0; i < MAX_MESSAGES && PeekMessageW(&message, notices.window, 0, 0, PM_REMOVE); ++i) {
            DispatchMessageW(&message);
        }
    }
    // Read again: a notification taken just now was dated after the first reading.
    const DWORD since = GetTickCount() - notices.last_notice;
    uint8_t due = notices.looks_due & LOOK_NOW;
    if (since >= SOON_MS) due |= notices.looks_due & LOOK_SOON;
    if (since >= LATE_MS) due |= notices.looks_due & (LOOK_SOON | LOOK_LATE);
    notices.looks_due &= static_cast<uint8_t>(~due);
    return due != 0;
}
