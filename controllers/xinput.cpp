// XInput pads, read beside the DirectInput slots: loaded by the plug-in itself, so that its
// import table names no XInput DLL and a system without one still loads it.
#include "controllers/controllers.h"

namespace {

// The DLLs tried, newest first: Windows 8 and later have the first, the DirectX runtime
// the second, every system since Vista the third (which has no guide query).
constexpr const char16_t* XINPUT_DLLS[] = {u"xinput1_4.dll", u"xinput1_3.dll", u"xinput9_1_0.dll"};
// The query that also reports the guide button, exported by ordinal alone.
constexpr WORD GUIDE_QUERY_ORDINAL = 100;

// A user not connected is asked again after this long; a poll in every second asks it at
// least once every two.
constexpr DWORD EMPTY_USER_PAUSE_MS = 1000;
// The foreground is looked at again after this long.
constexpr DWORD FOREGROUND_PAUSE_MS = 100;

constexpr DWORD POV_CENTRED = 0xFFFFFFFF;
// The D-pad's point of view by its two directions' sums, (right - left) + 1 and
// (down - up) + 1: two neighbours give the diagonal between them, two opposites cancel.
constexpr DWORD DPAD_ANGLES[3][3] = {
    {31500, 27000, 22500},         // left: with up, alone, with down
    {0, POV_CENTRED, 18000},       // neither: up, none, down
    {4500, 9000, 13500},           // right: with up, alone, with down
};

// A stick's vertical axis with down positive, as on a DirectInput pad: -32768 turns to 32767.
constexpr LONG downward(int16_t value) { return value == -32768 ? 32767 : -static_cast<LONG>(value); }
// A trigger's travel 0 .. 255 on 0 .. AXIS_MAX, rounded down: a threshold is the same share
// of the travel as on a stick's half.
constexpr LONG trigger(BYTE value) { return static_cast<LONG>(value) * AXIS_MAX / 255; }
static_assert(downward(-32768) == 32767 && downward(32767) == -32767 && trigger(255) == AXIS_MAX &&
              trigger(1) == 128 && trigger(128) == 16447);

constexpr int dpad_step(WORD buttons, WORD plus, WORD minus) {
    return ((buttons & plus) != 0 ? 1 : 0) - ((buttons & minus) != 0 ? 1 : 0) + 1;
}

// Loads the first of XINPUT_DLLS there is and finds its query; users keep both, or nothing
// when neither is found.
void load_xinput(XInputUsers& users) noexcept {
    HMODULE module = nullptr;
    for (const char16_t* name : XINPUT_DLLS) {
        if ((module = LoadLibraryW(reinterpret_cast<LPCWSTR>(name))) != nullptr) break;
    }
    if (module == nullptr) return;
    FARPROC guide = GetProcAddress(module, MAKEINTRESOURCEA(GUIDE_QUERY_ORDINAL));
    FARPROC query = guide != nullptr ? guide : GetProcAddress(module, "XInputGetState");
    if (query == nullptr) {
        FreeLibrary(module);
        return;
    }
    users.module = module;
    users.with_guide = guide != nullptr;
    // Through the one function pointer type that converts to any without a warning.
    users.query = reinterpret_cast<XInputQuery>(reinterpret_cast<void (*)()>(query));
}

// Whether the host's window is behind another program's: its pads read at rest. A host
// that handed over no window is read regardless. Looked at again only FOREGROUND_PAUSE_MS
// after the last look.
bool in_background(XInputUsers& users, HWND window, DWORD now) noexcept {
    if (window == nullptr) return false;
    if (!users.looked || now - users.last_look >= FOREGROUND_PAUSE_MS) {
        users.behind = GetAncestor(window, GA_ROOT) != GetForegroundWindow();
        users.looked = true;
        users.last_look = now;
    }
    return users.behind;
}

}  // namespace

void xinput_record(const XINPUT_GAMEPAD& pad, DIJOYSTATE2& state) noexcept {
    rest_record(state);
    state.lX = pad.sThumbLX;
    state.lY = downward(pad.sThumbLY);
    state.lZ = trigger(pad.bLeftTrigger);
    state.lRx = pad.sThumbRX;
    state.lRy = downward(pad.sThumbRY);
    state.lRz = trigger(pad.bRightTrigger);
    const int across = dpad_step(pad.wButtons, XINPUT_GAMEPAD_DPAD_RIGHT, XINPUT_GAMEPAD_DPAD_LEFT);
    const int down = dpad_step(pad.wButtons, XINPUT_GAMEPAD_DPAD_DOWN, XINPUT_GAMEPAD_DPAD_UP);
    state.rgdwPOV[0] = DPAD_ANGLES[across][down];
    for (int b = 0; b < XINPUT_BUTTON_COUNT; ++b) state.rgbButtons[b] = (pad.wButtons & XINPUT_BUTTON_BITS[b]) != 0 ? 0x80 : 0;
}

bool configure_xinput(XInputUsers& users, uint32_t read) noexcept {
    users.read = read & ((1u << XINPUT_USER_COUNT) - 1);
    for (bool& asked : users.asked) asked = false;
    users.looked = false;
    if (users.read != 0 && users.module == nullptr) load_xinput(users);
    return users.read == 0 || users.query != nullptr;
}

void release_xinput(XInputUsers& users) noexcept {
    HMODULE module = users.module;
    users = XInputUsers{};
    if (module != nullptr) FreeLibrary(module);
}

void capture_xinput(ControllerSet& set, StateSnapshot& snapshot) noexcept {
    XInputUsers& users = set.xinput;
    for (int u = 0; u < XINPUT_USER_COUNT; ++u) snapshot.fresh[SLOT_COUNT + u] = (users.read >> u & 1u) != 0;
    if (users.read == 0) return;  // no clock, no foreground: a mapping without x tokens costs nothing here
    const DWORD now = GetTickCount();
    const bool at_rest = users.query == nullptr || in_background(users, set.window, now);
    for (int u = 0; u < XINPUT_USER_COUNT; ++u) {
        DIJOYSTATE2& state = snapshot.state[SLOT_COUNT + u];
        if (!snapshot.fresh[SLOT_COUNT + u]) continue;
        const bool paused = users.asked[u] && !users.connected[u] && now - users.last_asked[u] < EMPTY_USER_PAUSE_MS;
        XINPUT_STATE got{};
        const DWORD answer = at_rest || paused ? ERROR_DEVICE_NOT_CONNECTED : users.query(static_cast<DWORD>(u), &got);
        if (!at_rest && !paused) {
            users.asked[u] = true;
            users.connected[u] = answer == ERROR_SUCCESS;
            if (answer != ERROR_SUCCESS) users.last_asked[u] = now;
        }
        if (answer == ERROR_SUCCESS) {
            xinput_record(got.Gamepad, state);
        } else {
            rest_record(state);
        }
    }
}
