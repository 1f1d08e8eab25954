// Window classes, message-only windows, device notifications and the message queue that
// delivers them, outside Windows (see "Windows and notifications" in sim_platform.h). On
// Windows these are the system's own, which does not tell of simulated controllers.
#include "sim/sim_internal.h"

using namespace sim;

#if !defined(_WIN32)

namespace {

constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_CLASS_DOES_NOT_EXIST = 1411;
constexpr DWORD ERROR_CLASS_HAS_WINDOWS = 1412;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;

bool same_name(const WCHAR* a, const WCHAR* b) {
    for (; *a != 0 && *a == *b; ++a, ++b) {
    }
    return *a == *b;
}

int class_named(LPCWSTR name) {
    for (int i = 0; name != nullptr && i < MAX_WINDOW_OBJECTS; ++i) {
        if (platform.classes[i].live && same_name(platform.classes[i].name, name)) return i;
    }
    return -1;
}

Window* window_of(HWND handle) {
    for (Window& w : platform.windows) {
        if (w.live && w.handle == reinterpret_cast<uintptr_t>(handle)) return &w;
    }
    return nullptr;
}

// Sends what waits for the window to its procedure, oldest first.
void deliver(Window& window) {
    while (window.live && window.pending_count > 0) {
        const WPARAM change = window.pending[0];
        for (int i = 1; i < window.pending_count; ++i) window.pending[i - 1] = window.pending[i];
        --window.pending_count;
        DEV_BROADCAST_DEVICEINTERFACE_W broadcast{};
        broadcast.dbcc_size = sizeof broadcast;
        broadcast.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        broadcast.dbcc_classguid = HID_CLASS;
        platform.classes[window.window_class].procedure(reinterpret_cast<HWND>(window.handle), WM_DEVICECHANGE, change,
                                                        reinterpret_cast<LPARAM>(&broadcast));
    }
}

}  // namespace

extern "C" ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* window_class) {
    if (window_class == nullptr || window_class->cbSize != sizeof(WNDCLASSEXW) || window_class->lpfnWndProc == nullptr ||
        window_class->lpszClassName == nullptr) {
        platform.last_error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    if (class_named(window_class->lpszClassName) >= 0) return platform.last_error = ERROR_CLASS_ALREADY_EXISTS, 0;
    for (int i = 0; i < MAX_WINDOW_OBJECTS; ++i) {
        WindowClass& c = platform.classes[i];
        if (c.live) continue;
        c = WindowClass{{}, window_class->lpfnWndProc, true};
        for (int k = 0; k < 63 && window_class->lpszClassName[k] != 0; ++k) c.name[k] = window_class->lpszClassName[k];
        return static_cast<ATOM>(0xC000 + i);
    }
    platform.last_error = ERROR_NOT_ENOUGH_MEMORY;
    return 0;
}

extern "C" BOOL WINAPI UnregisterClassW(LPCWSTR class_name, HINSTANCE) {
    const int found = class_named(class_name);
    if (found < 0) return platform.last_error = ERROR_CLASS_DOES_NOT_EXIST, FALSE;
    for (const Window& w : platform.windows) {
        if (w.live && w.window_class == found) return platform.last_error = ERROR_CLASS_HAS_WINDOWS, FALSE;
    }
    platform.classes[found].live = false;
    return TRUE;
}

extern "C" HWND WINAPI CreateWindowExW(DWORD, LPCWSTR class_name, LPCWSTR, DWORD, int, int, int, int, HWND parent,
                                       HMENU, HINSTANCE, LPVOID) {
    const int found = class_named(class_name);
    if (found < 0) return platform.last_error = ERROR_CLASS_DOES_NOT_EXIST, nullptr;
    if (platform.refusal == SimRefusal::window) return platform.last_error = ERROR_NOT_ENOUGH_MEMORY, nullptr;
    for (Window& w : platform.windows) {
        if (w.live) continue;
        w = Window{};
        w.handle = platform.next_handle++;
        w.window_class = found;
        w.live = true;
        w.message_only = parent == HWND_MESSAGE;
        return reinterpret_cast<HWND>(w.handle);
    }
    platform.last_error = ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
}

extern "C" BOOL WINAPI DestroyWindow(HWND handle) {
    Window* window = window_of(handle);
    if (window == nullptr) return platform.last_error = ERROR_INVALID_WINDOW_HANDLE, FALSE;
    window->live = false;
    return TRUE;
}

extern "C" LRESULT WINAPI DefWindowProcW(HWND, UINT, WPARAM, LPARAM) { return 0; }

extern "C" LONG_PTR WINAPI SetWindowLongPtrW(HWND handle, int index, LONG_PTR value) {
    Window* window = window_of(handle);
    if (window == nullptr || index != GWLP_USERDATA) return platform.last_error = ERROR_INVALID_WINDOW_HANDLE, 0;
    const LONG_PTR old = window->user_data;
    window->user_data = value;
    return old;
}

extern "C" LONG_PTR WINAPI GetWindowLongPtrW(HWND handle, int index) {
    Window* window = window_of(handle);
    if (window == nullptr || index != GWLP_USERDATA) return platform.last_error = ERROR_INVALID_WINDOW_HANDLE, 0;
    return window->user_data;
}

extern "C" HDEVNOTIFY WINAPI RegisterDeviceNotificationW(HANDLE recipient, LPVOID filter, DWORD flags) {
    const auto* wanted = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(filter);
    Window* window = window_of(static_cast<HWND>(recipient));
    if (window == nullptr || flags != DEVICE_NOTIFY_WINDOW_HANDLE || wanted == nullptr ||
        wanted->dbcc_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) ||
        wanted->dbcc_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
        return platform.last_error = ERROR_INVALID_PARAMETER, nullptr;
    }
    if (platform.refusal == SimRefusal::registration) return platform.last_error = ERROR_NOT_ENOUGH_MEMORY, nullptr;
    for (Registration& r : platform.registrations) {
        if (r.live) continue;
        r = Registration{platform.next_handle++, window->handle, same_guid(wanted->dbcc_classguid, HID_CLASS), true};
        return reinterpret_cast<HDEVNOTIFY>(r.handle);
    }
    platform.last_error = ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
}

extern "C" BOOL WINAPI UnregisterDeviceNotification(HDEVNOTIFY notification) {
    for (Registration& r : platform.registrations) {
        if (r.live && r.handle == reinterpret_cast<uintptr_t>(notification)) return r.live = false, TRUE;
    }
    platform.last_error = ERROR_INVALID_HANDLE;
    return FALSE;
}

extern "C" BOOL WINAPI PeekMessageW(MSG* message, HWND handle, UINT, UINT, UINT) {
    if (handle == nullptr || window_of(handle) == nullptr) ++platform.foreign_peeks;
    for (Window& w : platform.windows) deliver(w);
    if (message != nullptr) *message = MSG{};
    return FALSE;
}

extern "C" LRESULT WINAPI DispatchMessageW(const MSG* message) {
    Window* window = message != nullptr ? window_of(message->hwnd) : nullptr;
    if (window == nullptr) return 0;
    return platform.classes[window->window_class].procedure(message->hwnd, message->message, message->wParam,
                                                            message->lParam);
}

extern "C" DWORD WINAPI GetLastError() { return platform.last_error; }

void sim::notify_device_change(bool arrival) {
    for (const Registration& r : platform.registrations) {
        Window* window = r.live && r.hid ? window_of(reinterpret_cast<HWND>(r.window)) : nullptr;
        if (window == nullptr) continue;
        if (window->pending_count == MAX_PENDING_NOTICES) {
            for (int i = 1; i < MAX_PENDING_NOTICES; ++i) window->pending[i - 1] = window->pending[i];
            --window->pending_count;
        }
        window->pending[window->pending_count++] = arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
    }
}

void sim::retire_windows() {
    for (WindowClass& c : platform.classes) c.live = false;
    for (Window& w : platform.windows) w.live = false;
    for (Registration& r : platform.registrations) r.live = false;
    platform.refusal = SimRefusal::none;
    platform.foreign_peeks = 0;
    platform.last_error = 0;
}

#else

void sim::notify_device_change(bool) {}
void sim::retire_windows() {}

#endif
