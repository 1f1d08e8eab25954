// The DLL's own functions (DirectInput8Create, and GetModuleHandleW outside Windows), the
// DirectInput interface and the joystick configuration interface.
#include <cinttypes>
#include <cstdio>

#include "sim/sim_objects.h"

using namespace sim;

namespace {

// The name, UTF-8, as the UTF-16 a real device reports; a malformed sequence becomes U+FFFD.
void copy_wide(WCHAR* out, int capacity, const char* s) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(s);
    int n = 0;
    for (size_t i = 0; bytes[i] != 0 && n < capacity - 1;) {
        const unsigned char lead = bytes[i];
        const int more = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : -1;
        uint32_t code = more == 0 ? lead : more == 1 ? lead & 0x1Fu : more == 2 ? lead & 0x0Fu : lead & 0x07u;
        int taken = 1;
        for (; more > 0 && taken <= more && (bytes[i + static_cast<size_t>(taken)] & 0xC0) == 0x80; ++taken) {
            code = (code << 6) | (bytes[i + static_cast<size_t>(taken)] & 0x3Fu);
        }
        if (more < 0 || taken != more + 1 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
        i += static_cast<size_t>(taken);
        if (code < 0x10000) {
            out[n++] = static_cast<WCHAR>(code);
        } else if (n < capacity - 2) {
            out[n++] = static_cast<WCHAR>(0xD800 + ((code - 0x10000) >> 10));
            out[n++] = static_cast<WCHAR>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            break;
        }
    }
    out[n] = 0;
}

DIDEVICEINSTANCEW instance_of(const Controller& c) {
    DIDEVICEINSTANCEW instance{};
    instance.dwSize = sizeof instance;
    instance.guidInstance = c.instance;
    instance.guidProduct = c.product;
    instance.dwDevType = DI8DEVTYPE_JOYSTICK | (0x02u << 8);
    copy_wide(instance.tszInstanceName, MAX_PATH, c.name);
    copy_wide(instance.tszProductName, MAX_PATH, c.name);
    instance.wUsagePage = 1;
    instance.wUsage = 4;
    return instance;
}

}  // namespace

#if !defined(_WIN32)
// Not a COM method: nothing to admit, and its answer is a handle (null for any injected
// failure), which the log writes as such.
extern "C" HMODULE WINAPI GetModuleHandleW(LPCWSTR module_name) {
    Call call;
    begin_call(call, nullptr, SimMethod::GetModuleHandleW, ANY_CONTROLLER, "%s", module_name == nullptr ? "null" : "name");
    HMODULE module = nullptr;
    if (module_name == nullptr && !call.injection.refuses()) module = reinterpret_cast<HMODULE>(SIM_HOST_MODULE);
    char handle[24];
    pointer_text(module, handle);
    end_call_as(call, module != nullptr ? S_OK : E_FAIL, handle);
    return module;
}

// The system's list of input devices: one HID entry per attached controller, its handle
// new at every attachment. Counted, not logged.
extern "C" UINT WINAPI GetRawInputDeviceList(RAWINPUTDEVICELIST* list, UINT* count, UINT size) {
    ++platform.device_list_reads;
    if (count == nullptr || size != sizeof(RAWINPUTDEVICELIST)) return static_cast<UINT>(-1);
    UINT attached = 0;
    for (int c = 0; c < platform.controller_count; ++c) attached += platform.controllers[c].attached ? 1 : 0;
    if (list == nullptr || *count < attached) {
        *count = attached;
        return list == nullptr ? 0 : static_cast<UINT>(-1);
    }
    UINT n = 0;
    for (int c = 0; c < platform.controller_count; ++c) {
        const Controller& ctl = platform.controllers[c];
        if (!ctl.attached) continue;
        list[n].hDevice = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(ctl.attachments) << 8 | static_cast<uintptr_t>(c + 1));
        list[n++].dwType = RIM_TYPEHID;
    }
    return n;
}

extern "C" DWORD WINAPI GetTickCount() { return platform.clock; }
#endif

extern "C" HRESULT WINAPI DirectInput8Create(HINSTANCE instance, DWORD version, REFIID riid, LPVOID* out,
                                             LPUNKNOWN outer) {
    char instance_text[24];
    pointer_text(instance, instance_text);
    char iid[80] = "";
    if (logged()) guid_name(riid, iid);
    char outer_text[24];
    pointer_text(outer, outer_text);
    Call call;
    if (!admit(call, nullptr, SimMethod::DirectInput8Create, ANY_CONTROLLER, out,
               "instance=%s, version=0x%" PRIX32 ", riid=%s, outer=%s", instance_text, static_cast<uint32_t>(version),
               iid, outer_text)) {
        return call.answer;
    }
    if (out == nullptr) return end_call(call, E_POINTER);
    *out = nullptr;
    if (instance == nullptr) return end_call(call, DIERR_INVALIDPARAM);
    if (version < DIRECTINPUT_VERSION) return end_call(call, DIERR_OLDDIRECTINPUTVERSION);
    if (version > DIRECTINPUT_VERSION) return end_call(call, DIERR_BETADIRECTINPUTVERSION);
    if (!same_guid(riid, IID_IDirectInput8W)) return end_call(call, DIERR_NOINTERFACE);
    if (outer != nullptr) return end_call(call, DIERR_NOAGGREGATION);
    SimDirectInput* made = direct_inputs.take();
    if (made == nullptr) return end_call(call, DIERR_OUTOFMEMORY);
    HRESULT hr = end_call(call, DI_OK, &made->core);
    *out = static_cast<IDirectInput8W*>(made);
    return hr;
}

namespace sim {

HRESULT SimDirectInput::QueryInterface(REFIID riid, void** object) {
    if (!same_guid(riid, IID_IDirectInputJoyConfig8)) return query_self(*this, riid, object, IID_IDirectInput8W);
    Call call;
    if (!admit(call, &core, SimMethod::QueryInterface, ANY_CONTROLLER, object, "IID_IDirectInputJoyConfig8")) {
        return call.answer;
    }
    if (object == nullptr) return end_call(call, E_POINTER);
    *object = nullptr;
    SimJoyConfig* made = joy_configs.take();
    if (made == nullptr) return end_call(call, E_OUTOFMEMORY);
    *object = static_cast<IDirectInputJoyConfig8*>(made);
    return end_call(call, S_OK, &made->core);
}

HRESULT SimDirectInput::CreateDevice(REFGUID instance, LPDIRECTINPUTDEVICE8W* device, LPUNKNOWN outer) {
    char guid[80] = "";
    if (logged()) guid_name(instance, guid);
    char outer_text[24];
    pointer_text(outer, outer_text);
    int controller = controller_with_instance(instance);
    Call call;
    if (!admit(call, &core, SimMethod::CreateDevice, controller, reinterpret_cast<void**>(device), "%s, outer=%s", guid,
               outer_text)) {
        return call.answer;
    }
    if (device == nullptr) return end_call(call, E_POINTER);
    *device = nullptr;
    if (outer != nullptr) return end_call(call, DIERR_NOAGGREGATION);
    if (controller < 0 || !platform.controllers[controller].attached) return end_call(call, DIERR_DEVICENOTREG);
    SimDevice* made = devices.take();
    if (made == nullptr) return end_call(call, DIERR_OUTOFMEMORY);
    made->start(controller);
    HRESULT hr = end_call(call, DI_OK, &made->core);
    if (SUCCEEDED(hr)) *device = made;
    return hr;
}

HRESULT SimDirectInput::EnumDevices(DWORD device_type, LPDIENUMDEVICESCALLBACKW callback, LPVOID context,
                                    DWORD flags) {
    Call call;
    if (!admit(call, &core, SimMethod::EnumDevices, ANY_CONTROLLER, nullptr, "type=%" PRIu32 ", flags=%" PRIu32,
               static_cast<uint32_t>(device_type), static_cast<uint32_t>(flags))) {
        return call.answer;
    }
    if (callback == nullptr) return end_call(call, DIERR_INVALIDPARAM);
    if (device_type != DI8DEVCLASS_ALL && device_type != DI8DEVCLASS_GAMECTRL) return end_call(call, DI_OK);
    int made = 0;
    for (int c = 0; c < platform.controller_count && call.injection.allows_callback(made); ++c) {
        const Controller& ctl = platform.controllers[c];
        if ((flags & DIEDFL_ATTACHEDONLY) != 0 && !ctl.attached) continue;
        DIDEVICEINSTANCEW instance = instance_of(ctl);
        ++made;
        if (callback(&instance, context) == DIENUM_STOP && !platform.ignore_enum_stop) break;
    }
    return end_call(call, DI_OK);
}

HRESULT SimJoyConfig::QueryInterface(REFIID riid, void** object) {
    return query_self(*this, riid, object, IID_IDirectInputJoyConfig8);
}

}  // namespace sim
