// The Windows platform of joybits-host: joybits.dll loaded by path, a small window for
// the exclusive foreground cooperative level, frames paced at 60 Hz; in live runs the
// XInput users' changes noted on the frames' lines.
#include <windows.h>
#include <conio.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "controllers/axes.h"
#include "controllers/controllers.h"
#include "host/platform.h"
#include "host/text.h"

namespace {

constexpr wchar_t WINDOW_CLASS[] = L"joybits-host";
constexpr int WINDOW_WIDTH = 320;
constexpr int WINDOW_HEIGHT = 120;

// The console's output code page before the run: the tool writes UTF-8 (pads' names), and
// gives the console its own back at the end. 0 when it was not changed.
UINT console_code_page = 0;

// The platform whose window a message is for.
HostPlatform* platform_of(HWND window) {
    return reinterpret_cast<HostPlatform*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// The system's word that a game controller came or went. It also tells of the controllers
// attached when the window asked to be told, which are no news.
void note_device_change(HostPlatform& platform, WPARAM change, LPARAM device) {
    const auto* handle = reinterpret_cast<void*>(device);
    const auto& known = platform.devices_at_start;
    if (change == GIDC_ARRIVAL && std::find(known.begin(), known.end(), handle) != known.end()) return;
    platform.device_notes.push_back(change == GIDC_ARRIVAL ? "a game controller plugged in" : "a game controller unplugged");
}

// Asks the system to tell the window when a joystick or a gamepad comes or goes.
void watch_game_controllers(HWND window, HostPlatform& platform) {
    UINT count = 0;
    GetRawInputDeviceList(nullptr, &count, sizeof(RAWINPUTDEVICELIST));
    std::vector<RAWINPUTDEVICELIST> list(count);
    const UINT read = count == 0 ? 0 : GetRawInputDeviceList(list.data(), &count, sizeof(RAWINPUTDEVICELIST));
    for (UINT i = 0; i < read && read != static_cast<UINT>(-1); ++i) platform.devices_at_start.push_back(list[i].hDevice);
    const DWORD flags = RIDEV_DEVNOTIFY | RIDEV_INPUTSINK;
    RAWINPUTDEVICE wanted[] = {{0x01, 0x04, flags, window}, {0x01, 0x05, flags, window}};  // joystick, gamepad
    RegisterRawInputDevices(wanted, 2, sizeof(RAWINPUTDEVICE));
}

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INPUT_DEVICE_CHANGE:
        if (HostPlatform* platform = platform_of(window)) note_device_change(*platform, wparam, lparam);
        return 0;
    case WM_KEYDOWN:
    case WM_CLOSE:
        if (HostPlatform* platform = platform_of(window)) platform->stop = true;
        return 0;
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

std::string beside_executable(const char* file) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return file;
    std::string folder(path, length);
    const size_t cut = folder.find_last_of("\\/");
    return cut == std::string::npos ? std::string(file) : folder.substr(0, cut + 1) + file;
}

// The machine type a DLL's PE header names (IMAGE_FILE_MACHINE_I386, _AMD64, ...); 0 when
// the file cannot be read as one.
WORD dll_machine(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return 0;
    IMAGE_DOS_HEADER dos{};
    DWORD signature = 0;
    IMAGE_FILE_HEADER header{};
    const bool read = std::fread(&dos, sizeof dos, 1, file) == 1 && dos.e_magic == IMAGE_DOS_SIGNATURE &&
                      std::fseek(file, dos.e_lfanew, SEEK_SET) == 0 && std::fread(&signature, sizeof signature, 1, file) == 1 &&
                      signature == IMAGE_NT_SIGNATURE && std::fread(&header, sizeof header, 1, file) == 1;
    std::fclose(file);
    return read ? header.Machine : 0;
}

// Why a library did not load, in words where the error says more than its number.
std::string load_failure(const std::string& path, DWORD code) {
    constexpr bool tool_is_64_bit = sizeof(void*) == 8;
    if (code == ERROR_MOD_NOT_FOUND || code == ERROR_FILE_NOT_FOUND) {
        return path + ": cannot load the plug-in: no such file (error " + std::to_string(code) + ")";
    }
    if (code == ERROR_BAD_EXE_FORMAT) {
        const WORD machine = dll_machine(path);
        if (machine == IMAGE_FILE_MACHINE_I386 || machine == IMAGE_FILE_MACHINE_AMD64) {
            const bool dll_is_64_bit = machine == IMAGE_FILE_MACHINE_AMD64;
            if (dll_is_64_bit != tool_is_64_bit) {
                const char* dll_bits = dll_is_64_bit ? "64" : "32";
                const char* tool_bits = tool_is_64_bit ? "64" : "32";
                return path + ": this joybits.dll is for " + dll_bits + "-bit hosts; this joybits-host.exe is " +
                       tool_bits + "-bit: use the one in the " + dll_bits + "-bit archive";
            }
        }
        return path + ": cannot load the plug-in: not a Windows library (error " + std::to_string(code) + ")";
    }
    return path + ": cannot load the plug-in (error " + std::to_string(code) + ")";
}

// Loads the plug-in the options name (joybits.dll beside the tool when none); its path,
// as asked for, in path. Null with error set when it cannot be loaded.
HMODULE load_plugin(const HostOptions& options, std::string& path, std::string& error) {
    path = options.plugin_path.empty() ? beside_executable("joybits.dll") : options.plugin_path;
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) error = load_failure(path, GetLastError());
    return module;
}

HWND create_window(HostPlatform& platform) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = instance;
    window_class.lpszClassName = WINDOW_CLASS;
    window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
    RegisterClassW(&window_class);
    HWND window = CreateWindowExW(0, WINDOW_CLASS, L"joybits-host: press a key to stop", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  CW_USEDEFAULT, CW_USEDEFAULT, WINDOW_WIDTH, WINDOW_HEIGHT, nullptr, nullptr, instance,
                                  nullptr);
    if (window == nullptr) return nullptr;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&platform));
    watch_game_controllers(window, platform);
    SetForegroundWindow(window);
    return window;
}

void pump_messages(HostPlatform& platform) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) platform.stop = true;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// A live run's XInput users, read by the tool itself every frame so that the frame's line
// shows what changed on them, in the mapping's view of their controls.
struct LiveXInput {
    XInputUsers users;
    bool connected[XINPUT_USER_COUNT] = {};
    DIJOYSTATE2 shown[XINPUT_USER_COUNT] = {};
};
LiveXInput live_xinput;
// An axis is shown again once it moved this far: a stick at rest wanders by a few units.
constexpr LONG AXIS_NOTE_STEP = 512;

void note_xinput_user(HostPlatform& platform, int user) {
    XINPUT_STATE state{};
    const bool connected = live_xinput.users.query(static_cast<DWORD>(user), &state) == ERROR_SUCCESS;
    const std::string name = controller_name(static_cast<uint32_t>(SLOT_COUNT + 1 + user));
    if (connected != live_xinput.connected[user]) {
        platform.device_notes.push_back(name + (connected ? " connected" : " not connected"));
        live_xinput.connected[user] = connected;
        rest_record(live_xinput.shown[user]);
    }
    if (!connected) return;
    DIJOYSTATE2 now{};
    xinput_record(state.Gamepad, now);
    DIJOYSTATE2& shown = live_xinput.shown[user];
    for (int axis = 0; axis < AXIS_COUNT; ++axis) {
        const LONG value = axis_value(now, axis);
        if (std::abs(value - axis_value(shown, axis)) < AXIS_NOTE_STEP && (value == 0) == (axis_value(shown, axis) == 0)) continue;
        platform.device_notes.push_back(name + " " + AXIS_NAMES[axis].letters + "=" + std::to_string(value));
        set_axis_value(shown, axis, value);
    }
    if (now.rgdwPOV[0] != shown.rgdwPOV[0]) {
        platform.device_notes.push_back(name + " h1" + (now.rgdwPOV[0] == 0xFFFFFFFF ? std::string(" centred")
                                                                                     : "=" + std::to_string(now.rgdwPOV[0])));
        shown.rgdwPOV[0] = now.rgdwPOV[0];
    }
    for (int b = 0; b < XINPUT_BUTTON_COUNT; ++b) {
        if (now.rgbButtons[b] == shown.rgbButtons[b]) continue;
        platform.device_notes.push_back(name + " b" + std::to_string(b + 1) + " (" + XINPUT_BUTTON_NAMES[b] + ")" +
                                        (now.rgbButtons[b] != 0 ? " down" : " up"));
        shown.rgbButtons[b] = now.rgbButtons[b];
    }
}

}  // namespace

bool platform_open(const HostOptions& options, const Scenario&, HostPlatform& platform, std::string& error) {
    const UINT before = GetConsoleOutputCP();
    if (before != 0 && before != CP_UTF8 && SetConsoleOutputCP(CP_UTF8) != 0) console_code_page = before;
    std::string path;
    HMODULE module = load_plugin(options, path, error);
    if (module == nullptr) return false;
    FARPROC entry = GetProcAddress(module, "_pbplug_Device");
    if (entry == nullptr) {
        error = path + ": the library exports no _pbplug_Device";
        FreeLibrary(module);
        return false;
    }
    platform.library = module;
    static_assert(sizeof(entry) == sizeof(platform.device));
    std::memcpy(&platform.device, &entry, sizeof entry);
    if (!options.list) {
        HWND window = create_window(platform);
        if (window == nullptr) {
            platform.notice = "no window could be made (is there a display?): the plug-in reads the pads only for a "
                              "window in the foreground, so none will be read";
        }
        platform.window = reinterpret_cast<intptr_t>(window);
    }
    if (options.live) configure_xinput(live_xinput.users, (1u << XINPUT_USER_COUNT) - 1);
    return true;
}

void platform_apply(const ScenarioFrame&) {}

bool platform_wait_frame(const HostOptions& options, HostPlatform& platform) {
    pump_messages(platform);
    if (options.live && _kbhit() != 0) {
        _getch();
        platform.stop = true;
    }
    if (platform.stop) return true;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    if (platform.ticks_per_second == 0) {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        platform.ticks_per_second = frequency.QuadPart;
        platform.next_tick = now.QuadPart;
        return false;
    }
    platform.next_tick += platform.ticks_per_second / FRAMES_PER_SECOND;
    if (now.QuadPart < platform.next_tick) {
        Sleep(static_cast<DWORD>((platform.next_tick - now.QuadPart) * 1000 / platform.ticks_per_second));
    } else {
        platform.next_tick = now.QuadPart;  // fell behind: do not rush to catch up
    }
    pump_messages(platform);
    for (int user = 0; live_xinput.users.query != nullptr && user < XINPUT_USER_COUNT; ++user) {
        note_xinput_user(platform, user);
    }
    return platform.stop;
}

void platform_close(HostPlatform& platform) {
    if (console_code_page != 0) SetConsoleOutputCP(console_code_page);
    console_code_page = 0;
    if (platform.window != 0) DestroyWindow(reinterpret_cast<HWND>(platform.window));
    if (platform.library != nullptr) FreeLibrary(static_cast<HMODULE>(platform.library));
    release_xinput(live_xinput.users);
    live_xinput = LiveXInput{};
    platform = HostPlatform{};
}

bool platform_has_scenarios() { return false; }

bool platform_plugin_version(const HostOptions& options, std::string& version, std::string& where, std::string& error) {
    std::string path;
    HMODULE module = load_plugin(options, path, error);
    if (module == nullptr) return false;
    wchar_t file[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, file, MAX_PATH);
    std::string found = length == 0 || length >= MAX_PATH ? path : utf16_to_utf8(reinterpret_cast<const char16_t*>(file), length);
    DWORD ignored = 0;
    const DWORD size = length == 0 ? 0 : GetFileVersionInfoSizeW(file, &ignored);
    std::string info(size, '\0');
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixed_size = 0;
    const bool read = size != 0 && GetFileVersionInfoW(file, 0, size, info.data()) != 0 &&
                      VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size) != 0 &&
                      fixed != nullptr && fixed_size >= sizeof(VS_FIXEDFILEINFO);
    FreeLibrary(module);
    if (!read) {
        error = found + ": the library carries no version resource";
        return false;
    }
    // major.minor.patch, as the tool's own version is written (the resource's fourth part is 0).
    version = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
              std::to_string(HIWORD(fixed->dwFileVersionLS));
    where = found;
    return true;
}
