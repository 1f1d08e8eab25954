// XInput outside Windows: its DLLs as LoadLibraryW finds them, their queries, four users,
// and the foreground window that decides whether a host reads them.
#include <cstdio>
#include <string_view>

#include "sim/sim_internal.h"

using namespace sim;

#if !defined(_WIN32)
namespace {

// The DLLs, newest first, as the platform has them; the guide's query is in the first two.
constexpr const char* DLL_NAMES[] = {"xinput1_4.dll", "xinput1_3.dll", "xinput9_1_0.dll"};
constexpr int DLL_COUNT = 3;
constexpr uintptr_t DLL_HANDLE_BASE = 0x7100000;
constexpr uintptr_t DLL_HANDLE_STEP = 0x10000;
constexpr WORD GUIDE_ORDINAL = 100;
// The guide button's bit in the guide query's answer, which the plain query leaves out.
constexpr WORD GUIDE_BIT = 0x0400;
// Another program's window, in the foreground while the host's is not.
constexpr uintptr_t OTHER_PROGRAM_WINDOW = 0xF00D0;

// Whether DLL i (DLL_NAMES) is there.
bool dll_present(int i) { return static_cast<int>(platform.xinput) >= DLL_COUNT - i; }

int dll_of(HMODULE module) {
    for (int i = 0; i < DLL_COUNT; ++i) {
        if (reinterpret_cast<uintptr_t>(module) == DLL_HANDLE_BASE + DLL_HANDLE_STEP * static_cast<uintptr_t>(i)) return i;
    }
    return -1;
}

// A UTF-16 file name as the log writes it: its ASCII bytes, others as '?'.
void ascii_name(LPCWSTR name, char (&out)[64]) {
    size_t n = 0;
    for (; name != nullptr && name[n] != 0 && n + 1 < sizeof out; ++n) out[n] = name[n] < 0x80 ? static_cast<char>(name[n]) : '?';
    out[n] = '\0';
}

DWORD query(SimMethod method, DWORD user, XINPUT_STATE* state) {
    Call call;
    begin_call(call, nullptr, method, ANY_CONTROLLER, "user=%u", static_cast<unsigned>(user));
    DWORD answer = ERROR_DEVICE_NOT_CONNECTED;
    if (user >= XINPUT_USERS || state == nullptr) {
        answer = 87;  // ERROR_BAD_ARGUMENTS
    } else if (call.injection.refuses()) {
        answer = static_cast<DWORD>(call.injection.result) & 0xFFFFu;
    } else if (platform.xinput_users[user].connected) {
        *state = platform.xinput_users[user].state;
        if (method == SimMethod::XInputGetState) state->Gamepad.wButtons &= static_cast<WORD>(~GUIDE_BIT);
        answer = ERROR_SUCCESS;
    }
    end_call_as(call, static_cast<HRESULT>(answer),
                answer == ERROR_SUCCESS ? "ERROR_SUCCESS" : answer == ERROR_DEVICE_NOT_CONNECTED ? "ERROR_DEVICE_NOT_CONNECTED" : "error");
    return answer;
}

DWORD WINAPI get_state(DWORD user, XINPUT_STATE* state) { return query(SimMethod::XInputGetState, user, state); }
DWORD WINAPI get_state_with_guide(DWORD user, XINPUT_STATE* state) {
    return query(SimMethod::XInputGetStateEx, user, state);
}

}  // namespace

extern "C" HMODULE WINAPI LoadLibraryW(LPCWSTR file_name) {
    char name[64];
    ascii_name(file_name, name);
    Call call;
    begin_call(call, nullptr, SimMethod::LoadLibraryW, ANY_CONTROLLER, "%s", name);
    HMODULE module = nullptr;
    for (int i = 0; i < DLL_COUNT && !call.injection.refuses(); ++i) {
        if (std::string_view(name) != DLL_NAMES[i] || !dll_present(i)) continue;
        ++platform.xinput_loaded[i];
        module = reinterpret_cast<HMODULE>(DLL_HANDLE_BASE + DLL_HANDLE_STEP * static_cast<uintptr_t>(i));
    }
    char handle[24];
    pointer_text(module, handle);
    end_call_as(call, module != nullptr ? S_OK : E_FAIL, handle);
    return module;
}

extern "C" FARPROC WINAPI GetProcAddress(HMODULE module, const char* name) {
    const int dll = dll_of(module);
    const bool ordinal = reinterpret_cast<uintptr_t>(name) <= 0xFFFF;
    char what[64];
    if (ordinal) {
        std::snprintf(what, sizeof what, "%s, #%u", dll < 0 ? "?" : DLL_NAMES[dll], static_cast<unsigned>(reinterpret_cast<uintptr_t>(name)));
    } else {
        std::snprintf(what, sizeof what, "%s, %s", dll < 0 ? "?" : DLL_NAMES[dll], name);
    }
    Call call;
    begin_call(call, nullptr, SimMethod::GetProcAddress, ANY_CONTROLLER, "%s", what);
    FARPROC found = nullptr;
    if (dll >= 0 && platform.xinput_loaded[dll] > 0 && !call.injection.refuses()) {
        if (ordinal && reinterpret_cast<uintptr_t>(name) == GUIDE_ORDINAL && dll < 2) {
            found = reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&get_state_with_guide));
        } else if (!ordinal && std::string_view(name) == "XInputGetState") {
            found = reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&get_state));
        }
    }
    end_call_as(call, found != nullptr ? S_OK : E_FAIL, found != nullptr ? "found" : "null");
    return found;
}

extern "C" BOOL WINAPI FreeLibrary(HMODULE module) {
    const int dll = dll_of(module);
    Call call;
    begin_call(call, nullptr, SimMethod::FreeLibrary, ANY_CONTROLLER, "%s", dll < 0 ? "?" : DLL_NAMES[dll]);
    const bool freed = dll >= 0 && platform.xinput_loaded[dll] > 0;
    if (freed) --platform.xinput_loaded[dll];
    end_call_as(call, freed ? S_OK : E_FAIL, freed ? "TRUE" : "FALSE");
    return freed ? TRUE : FALSE;
}

extern "C" HWND WINAPI GetAncestor(HWND window, UINT) {
    if (window != nullptr) platform.host_window = reinterpret_cast<uintptr_t>(window);
    return window;
}

extern "C" HWND WINAPI GetForegroundWindow() {
    return reinterpret_cast<HWND>(platform.foreground ? platform.host_window : OTHER_PROGRAM_WINDOW);
}
#endif

namespace sim {
void reset_xinput() {
    platform.xinput = SimXInput::xinput1_4;
    for (XInputUser& user : platform.xinput_users) user = XInputUser{};
    for (int& refs : platform.xinput_loaded) refs = 0;
    platform.host_window = 0;
}
}  // namespace sim

void sim_set_xinput(SimXInput newest) { platform.xinput = newest; }

void sim_xinput_connect(int user, bool connected) {
    if (user < 0 || user >= XINPUT_USERS) usage_error("sim_xinput_connect", "no such user");
    platform.xinput_users[user].connected = connected;
}

void sim_xinput_set(int user, const XINPUT_GAMEPAD& pad) {
    if (user < 0 || user >= XINPUT_USERS) usage_error("sim_xinput_set", "no such user");
    XINPUT_STATE& state = platform.xinput_users[user].state;
    ++state.dwPacketNumber;
    state.Gamepad = pad;
}

int sim_xinput_loaded() {
    int refs = 0;
    for (int r : platform.xinput_loaded) refs += r;
    return refs;
}
