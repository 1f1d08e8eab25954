// The simulated COM objects and the pools they live in. Each class implements its
// interface method for method, in the order of the interface's table; the methods the
// plug-in never calls answer E_NOTIMPL through not_implemented. Every method starts with
// its one admission step (admit) and ends with end_call.
#pragma once

#include <cstddef>

#include "sim/sim_internal.h"

namespace sim {

// Gives a pool entry its next number and one reference.
void start_object(Core& core);
// Retires every object (sim_reset).
void retire_objects();
ULONG add_ref(Core& core);
ULONG release(Core& core);

// The methods the plug-in never calls, one line each.
#define SIM_NOT_IMPLEMENTED(name, ...) \
    HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override { return not_implemented(core, SimMethod::name); }

// The Windows headers give the interfaces no destructor; COM objects are never deleted
// through them (here not at all: they live in pools).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

class SimDirectInput final : public IDirectInput8W {
public:
    Core core{Kind::direct_input};
    virtual ~SimDirectInput() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return add_ref(core); }
    ULONG STDMETHODCALLTYPE Release() override { return release(core); }
    HRESULT STDMETHODCALLTYPE CreateDevice(REFGUID instance, LPDIRECTINPUTDEVICE8W* device, LPUNKNOWN outer) override;
    HRESULT STDMETHODCALLTYPE EnumDevices(DWORD device_type, LPDIENUMDEVICESCALLBACKW callback, LPVOID context,
                                          DWORD flags) override;
    SIM_NOT_IMPLEMENTED(GetDeviceStatus, REFGUID)
    SIM_NOT_IMPLEMENTED(RunControlPanel, HWND, DWORD)
    SIM_NOT_IMPLEMENTED(Initialize, HINSTANCE, DWORD)
    SIM_NOT_IMPLEMENTED(FindDevice, REFGUID, LPCWSTR, LPGUID)
    SIM_NOT_IMPLEMENTED(EnumDevicesBySemantics, LPCWSTR, LPDIACTIONFORMATW, LPDIENUMDEVICESBYSEMANTICSCBW, LPVOID,
                        DWORD)
    SIM_NOT_IMPLEMENTED(ConfigureDevices, LPDICONFIGUREDEVICESCALLBACK, LPDICONFIGUREDEVICESPARAMSW, DWORD, LPVOID)
};

struct AxisRange {
    LONG min;
    LONG max;
    bool set;
};

class SimDevice final : public IDirectInputDevice8W {
public:
    Core core{Kind::device};
    int controller = 0;
    int port = 0;  // the controller's port when the device was made
    bool acquired = false;
    bool lost = false;  // the next Poll reports the lost acquisition
    bool format_set = false;
    DWORD cooperation = 0;  // the flags of the last successful SetCooperativeLevel
    AxisRange ranges[SIM_MAX_OBJECTS] = {};

    virtual ~SimDevice() = default;
    // A new device of the controller: nothing set, not acquired.
    void start(int of_controller);
    // Ends the acquisition, to be reported by the next Poll.
    void lose();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return add_ref(core); }
    ULONG STDMETHODCALLTYPE Release() override;
    SIM_NOT_IMPLEMENTED(GetCapabilities, LPDIDEVCAPS)
    HRESULT STDMETHODCALLTYPE EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKW callback, LPVOID context,
                                          DWORD flags) override;
    HRESULT STDMETHODCALLTYPE GetProperty(REFGUID property, LPDIPROPHEADER header) override;
    HRESULT STDMETHODCALLTYPE SetProperty(REFGUID property, LPCDIPROPHEADER header) override;
    HRESULT STDMETHODCALLTYPE Acquire() override;
    HRESULT STDMETHODCALLTYPE Unacquire() override;
    HRESULT STDMETHODCALLTYPE GetDeviceState(DWORD size, LPVOID data) override;
    SIM_NOT_IMPLEMENTED(GetDeviceData, DWORD, LPDIDEVICEOBJECTDATA, LPDWORD, DWORD)
    HRESULT STDMETHODCALLTYPE SetDataFormat(LPCDIDATAFORMAT format) override;
    SIM_NOT_IMPLEMENTED(SetEventNotification, HANDLE)
    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) override;
    SIM_NOT_IMPLEMENTED(GetObjectInfo, LPDIDEVICEOBJECTINSTANCEW, DWORD, DWORD)
    SIM_NOT_IMPLEMENTED(GetDeviceInfo, LPDIDEVICEINSTANCEW)
    SIM_NOT_IMPLEMENTED(RunControlPanel, HWND, DWORD)
    SIM_NOT_IMPLEMENTED(Initialize, HINSTANCE, DWORD, REFGUID)
    SIM_NOT_IMPLEMENTED(CreateEffect, REFGUID, LPCDIEFFECT, LPDIRECTINPUTEFFECT*, LPUNKNOWN)
    SIM_NOT_IMPLEMENTED(EnumEffects, LPDIENUMEFFECTSCALLBACKW, LPVOID, DWORD)
    SIM_NOT_IMPLEMENTED(GetEffectInfo, LPDIEFFECTINFOW, REFGUID)
    SIM_NOT_IMPLEMENTED(GetForceFeedbackState, LPDWORD)
    SIM_NOT_IMPLEMENTED(SendForceFeedbackCommand, DWORD)
    SIM_NOT_IMPLEMENTED(EnumCreatedEffectObjects, LPDIENUMCREATEDEFFECTOBJECTSCALLBACK, LPVOID, DWORD)
    SIM_NOT_IMPLEMENTED(Escape, LPDIEFFESCAPE)
    HRESULT STDMETHODCALLTYPE Poll() override;
    SIM_NOT_IMPLEMENTED(SendDeviceData, DWORD, LPCDIDEVICEOBJECTDATA, LPDWORD, DWORD)
    SIM_NOT_IMPLEMENTED(EnumEffectsInFile, LPCWSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID, DWORD)
    SIM_NOT_IMPLEMENTED(WriteEffectToFile, LPCWSTR, DWORD, LPDIFILEEFFECT, DWORD)
    SIM_NOT_IMPLEMENTED(BuildActionMap, LPDIACTIONFORMATW, LPCWSTR, DWORD)
    SIM_NOT_IMPLEMENTED(SetActionMap, LPDIACTIONFORMATW, LPCWSTR, DWORD)
    SIM_NOT_IMPLEMENTED(GetImageInfo, LPDIDEVICEIMAGEINFOHEADERW)
};

class SimJoyConfig final : public IDirectInputJoyConfig8 {
public:
    Core core{Kind::joy_config};
    virtual ~SimJoyConfig() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return add_ref(core); }
    ULONG STDMETHODCALLTYPE Release() override { return release(core); }
    SIM_NOT_IMPLEMENTED(Acquire)
    SIM_NOT_IMPLEMENTED(Unacquire)
    SIM_NOT_IMPLEMENTED(SetCooperativeLevel, HWND, DWORD)
    SIM_NOT_IMPLEMENTED(SendNotify)
    SIM_NOT_IMPLEMENTED(EnumTypes, LPVOID, LPVOID)
    SIM_NOT_IMPLEMENTED(GetTypeInfo, LPCWSTR, LPDIJOYTYPEINFO, DWORD)
    SIM_NOT_IMPLEMENTED(SetTypeInfo, LPCWSTR, LPCDIJOYTYPEINFO, DWORD, LPWSTR)
    SIM_NOT_IMPLEMENTED(DeleteType, LPCWSTR)
    SIM_NOT_IMPLEMENTED(GetConfig, UINT, LPDIJOYCONFIG, DWORD)
    SIM_NOT_IMPLEMENTED(SetConfig, UINT, LPCDIJOYCONFIG, DWORD)
    SIM_NOT_IMPLEMENTED(DeleteConfig, UINT)
    SIM_NOT_IMPLEMENTED(GetUserValues, LPDIJOYUSERVALUES, DWORD)
    SIM_NOT_IMPLEMENTED(SetUserValues, LPCDIJOYUSERVALUES, DWORD)
    SIM_NOT_IMPLEMENTED(AddNewHardware, HWND, REFGUID)
    SIM_NOT_IMPLEMENTED(OpenTypeKey, LPCWSTR, DWORD, HKEY*)
    SIM_NOT_IMPLEMENTED(OpenAppStatusKey, HKEY*)
};

#pragma GCC diagnostic pop
#undef SIM_NOT_IMPLEMENTED

constexpr size_t DIRECT_INPUT_POOL = 64;
constexpr size_t DEVICE_POOL = 256;
constexpr size_t JOY_CONFIG_POOL = 64;

// Fixed pools: the simulation never allocates while the plug-in calls it. Each entry is
// taken by the next object made after it was let go, searched round from a cursor so
// that released objects are reused as late as possible.
template <typename T, size_t N>
struct Pool {
    T items[N];
    size_t cursor = 0;

    // The next entry not in use, or nullptr when every entry is live.
    T* take() {
        for (size_t k = 0; k < N; ++k) {
            T& candidate = items[(cursor + k) % N];
            if (live(candidate.core)) continue;
            cursor = (cursor + k + 1) % N;
            start_object(candidate.core);
            return &candidate;
        }
        return nullptr;
    }
};

extern Pool<SimDirectInput, DIRECT_INPUT_POOL> direct_inputs;
extern Pool<SimDevice, DEVICE_POOL> devices;
extern Pool<SimJoyConfig, JOY_CONFIG_POOL> joy_configs;

// Calls f with the core of every object of the pools.
template <typename F>
void for_each_core(F f) {
    for (const SimDirectInput& o : direct_inputs.items) f(o.core);
    for (const SimDevice& o : devices.items) f(o.core);
    for (const SimJoyConfig& o : joy_configs.items) f(o.core);
}

template <typename F>
void for_each_live_device(F f) {
    for (SimDevice& d : devices.items) {
        if (live(d.core)) f(d);
    }
}

// The device of that name ("dev2") made since the last reset, or nullptr.
SimDevice* device_named(const char* name);

// QueryInterface for an object that offers only itself under one identifier.
template <typename Self>
HRESULT query_self(Self& self, REFIID riid, void** object, const GUID& own) {
    char iid[80] = "";
    if (logged()) guid_name(riid, iid);
    Call call;
    if (!admit(call, &self.core, SimMethod::QueryInterface, ANY_CONTROLLER, object, "%s", iid)) return call.answer;
    if (object == nullptr) return end_call(call, E_POINTER);
    *object = nullptr;
    if (!same_guid(riid, own)) return end_call(call, E_NOINTERFACE);
    ++self.core.refs;
    *object = &self;
    return end_call(call, S_OK);
}

}  // namespace sim
