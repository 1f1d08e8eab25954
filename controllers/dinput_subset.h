// The subset of the Windows and DirectInput 8 declarations that controllers/ uses, for
// builds outside Windows. Types keep their Windows sizes (LONG and DWORD are 32-bit,
// WCHAR is 16-bit), constants keep their Windows values, and the interfaces have the
// methods controllers/ calls. sim/ implements the functions, the interfaces and the
// predefined data and identifiers declared here.
#pragma once

#include <cstdint>

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using BOOL = int;
using HRESULT = int32_t;
using WCHAR = char16_t;
using LPVOID = void*;
using HWND = struct HWND__*;
using HINSTANCE = struct HINSTANCE__*;
using HMODULE = HINSTANCE;
using LPCWSTR = const WCHAR*;

#define STDMETHODCALLTYPE
#define CALLBACK
#define WINAPI

inline constexpr int MAX_PATH = 260;

// Result codes: negative means failure, any other value success.
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT DI_OK = S_OK;
inline constexpr HRESULT DI_NOEFFECT = S_FALSE;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_HANDLE = static_cast<HRESULT>(0x80070006u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
inline constexpr HRESULT DIERR_INVALIDPARAM = E_INVALIDARG;
inline constexpr HRESULT DIERR_NOINTERFACE = E_NOINTERFACE;
inline constexpr HRESULT DIERR_GENERIC = E_FAIL;
inline constexpr HRESULT DIERR_OUTOFMEMORY = E_OUTOFMEMORY;
inline constexpr HRESULT DIERR_UNSUPPORTED = E_NOTIMPL;
inline constexpr HRESULT DIERR_OTHERAPPHASPRIO = E_ACCESSDENIED;
inline constexpr HRESULT DIERR_DEVICENOTREG = static_cast<HRESULT>(0x80040154u);
inline constexpr HRESULT DIERR_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
inline constexpr HRESULT DIERR_OLDDIRECTINPUTVERSION = static_cast<HRESULT>(0x8007047Eu);
inline constexpr HRESULT DIERR_BETADIRECTINPUTVERSION = static_cast<HRESULT>(0x80070481u);
inline constexpr HRESULT DIERR_NOTFOUND = static_cast<HRESULT>(0x80070002u);
inline constexpr HRESULT DIERR_OBJECTNOTFOUND = DIERR_NOTFOUND;
inline constexpr HRESULT DIERR_INPUTLOST = static_cast<HRESULT>(0x8007001Eu);
inline constexpr HRESULT DIERR_ACQUIRED = static_cast<HRESULT>(0x800700AAu);
inline constexpr HRESULT DIERR_NOTACQUIRED = static_cast<HRESULT>(0x8007000Cu);
inline constexpr HRESULT DIERR_UNPLUGGED = static_cast<HRESULT>(0x80040209u);

inline constexpr BOOL DIENUM_STOP = 0;
inline constexpr BOOL DIENUM_CONTINUE = 1;

inline constexpr DWORD DIRECTINPUT_VERSION = 0x0800;
inline constexpr DWORD DI8DEVCLASS_ALL = 0;
inline constexpr DWORD DI8DEVCLASS_GAMECTRL = 4;
inline constexpr DWORD DI8DEVTYPE_JOYSTICK = 0x14;
inline constexpr DWORD DI8DEVTYPE_GAMEPAD = 0x15;
inline constexpr DWORD DIEDFL_ALLDEVICES = 0;
inline constexpr DWORD DIEDFL_ATTACHEDONLY = 1;

inline constexpr DWORD DISCL_EXCLUSIVE = 0x01;
inline constexpr DWORD DISCL_NONEXCLUSIVE = 0x02;
inline constexpr DWORD DISCL_FOREGROUND = 0x04;
inline constexpr DWORD DISCL_BACKGROUND = 0x08;

inline constexpr DWORD DIDFT_ALL = 0x00000000;
inline constexpr DWORD DIDFT_RELAXIS = 0x00000001;
inline constexpr DWORD DIDFT_ABSAXIS = 0x00000002;
inline constexpr DWORD DIDFT_AXIS = 0x00000003;
inline constexpr DWORD DIDFT_PSHBUTTON = 0x00000004;
inline constexpr DWORD DIDFT_TGLBUTTON = 0x00000008;
inline constexpr DWORD DIDFT_BUTTON = 0x0000000C;
inline constexpr DWORD DIDFT_POV = 0x00000010;
inline constexpr DWORD DIDFT_ANYINSTANCE = 0x00FFFF00;
inline constexpr DWORD DIDFT_OPTIONAL = 0x80000000;
constexpr DWORD DIDFT_MAKEINSTANCE(DWORD n) { return (n & 0xFFFF) << 8; }
constexpr DWORD DIDFT_GETINSTANCE(DWORD t) { return (t >> 8) & 0xFFFF; }
inline constexpr DWORD DIDF_ABSAXIS = 0x00000001;

inline constexpr DWORD DIPH_DEVICE = 0;
inline constexpr DWORD DIPH_BYOFFSET = 1;
inline constexpr DWORD DIPH_BYID = 2;

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
using IID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;

// Property identifiers are small integers posing as GUID references: DirectInput looks
// at the address, never at any GUID there.
#define DIPROP_RANGE (*reinterpret_cast<const GUID*>(static_cast<uintptr_t>(4)))

extern const GUID IID_IDirectInput8W;
extern const GUID IID_IDirectInputDevice8W;
extern const GUID IID_IDirectInputJoyConfig8;
extern const GUID GUID_XAxis;
extern const GUID GUID_YAxis;
extern const GUID GUID_ZAxis;
extern const GUID GUID_RxAxis;
extern const GUID GUID_RyAxis;
extern const GUID GUID_RzAxis;
extern const GUID GUID_Slider;
extern const GUID GUID_Button;
extern const GUID GUID_POV;

struct DIDEVICEINSTANCEW {
    DWORD dwSize;
    GUID guidInstance;
    GUID guidProduct;
    DWORD dwDevType;
    WCHAR tszInstanceName[MAX_PATH];
    WCHAR tszProductName[MAX_PATH];
    GUID guidFFDriver;
    WORD wUsagePage;
    WORD wUsage;
};
using LPCDIDEVICEINSTANCEW = const DIDEVICEINSTANCEW*;

struct DIDEVICEOBJECTINSTANCEW {
    DWORD dwSize;
    GUID guidType;
    DWORD dwOfs;
    DWORD dwType;
    DWORD dwFlags;
    WCHAR tszName[MAX_PATH];
    DWORD dwFFMaxForce;
    DWORD dwFFForceResolution;
    WORD wCollectionNumber;
    WORD wDesignatorIndex;
    WORD wUsagePage;
    WORD wUsage;
    DWORD dwDimension;
    WORD wExponent;
    WORD wReportId;
};
using LPCDIDEVICEOBJECTINSTANCEW = const DIDEVICEOBJECTINSTANCEW*;

struct DIPROPHEADER {
    DWORD dwSize;
    DWORD dwHeaderSize;
    DWORD dwObj;
    DWORD dwHow;
};
using LPCDIPROPHEADER = const DIPROPHEADER*;

struct DIPROPRANGE {
    DIPROPHEADER diph;
    LONG lMin;
    LONG lMax;
};

struct DIOBJECTDATAFORMAT {
    const GUID* pguid;
    DWORD dwOfs;
    DWORD dwType;
    DWORD dwFlags;
};

struct DIDATAFORMAT {
    DWORD dwSize;
    DWORD dwObjSize;
    DWORD dwFlags;
    DWORD dwDataSize;
    DWORD dwNumObjs;
    DIOBJECTDATAFORMAT* rgodf;
};
using LPCDIDATAFORMAT = const DIDATAFORMAT*;

// The predefined format of DIJOYSTATE2: 164 objects, 272 bytes, absolute axes.
extern const DIDATAFORMAT c_dfDIJoystick2;

struct DIJOYSTATE2 {
    LONG lX;
    LONG lY;
    LONG lZ;
    LONG lRx;
    LONG lRy;
    LONG lRz;
    LONG rglSlider[2];
    DWORD rgdwPOV[4];
    BYTE rgbButtons[128];
    LONG lVX;
    LONG lVY;
    LONG lVZ;
    LONG lVRx;
    LONG lVRy;
    LONG lVRz;
    LONG rglVSlider[2];
    LONG lAX;
    LONG lAY;
    LONG lAZ;
    LONG lARx;
    LONG lARy;
    LONG lARz;
    LONG rglASlider[2];
    LONG lFX;
    LONG lFY;
    LONG lFZ;
    LONG lFRx;
    LONG lFRy;
    LONG lFRz;
    LONG rglFSlider[2];
};

using LPDIENUMDEVICESCALLBACKW = BOOL(CALLBACK*)(LPCDIDEVICEINSTANCEW, LPVOID);
using LPDIENUMDEVICEOBJECTSCALLBACKW = BOOL(CALLBACK*)(LPCDIDEVICEOBJECTINSTANCEW, LPVOID);

// COM interfaces. They are only ever released through Release, never deleted, so the
// destructors are protected and need not be virtual.
struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

protected:
    ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

struct IDirectInputDevice8W : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKW callback, LPVOID context,
                                                  DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetProperty(REFGUID property, LPCDIPROPHEADER header) = 0;
    virtual HRESULT STDMETHODCALLTYPE Acquire() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unacquire() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeviceState(DWORD size, LPVOID data) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDataFormat(LPCDIDATAFORMAT format) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Poll() = 0;

protected:
    ~IDirectInputDevice8W() = default;
};
using LPDIRECTINPUTDEVICE8W = IDirectInputDevice8W*;

struct IDirectInput8W : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateDevice(REFGUID instance, LPDIRECTINPUTDEVICE8W* device,
                                                   LPUNKNOWN outer) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumDevices(DWORD device_type, LPDIENUMDEVICESCALLBACKW callback,
                                                  LPVOID context, DWORD flags) = 0;

protected:
    ~IDirectInput8W() = default;
};

struct IDirectInputJoyConfig8 : IUnknown {
protected:
    ~IDirectInputJoyConfig8() = default;
};

extern "C" HRESULT WINAPI DirectInput8Create(HINSTANCE instance, DWORD version, REFIID riid, LPVOID* out,
                                             LPUNKNOWN outer);
extern "C" HMODULE WINAPI GetModuleHandleW(LPCWSTR module_name);
