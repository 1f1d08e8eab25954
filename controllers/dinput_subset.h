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
inline constexpr BOOL FALSE = 0;
inline constexpr BOOL TRUE = 1;

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
#define DIPROP_GUIDANDPATH (*reinterpret_cast<const GUID*>(static_cast<uintptr_t>(12)))

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

struct DIPROPGUIDANDPATH {
    DIPROPHEADER diph;
    GUID guidClass;
    WCHAR wszPath[MAX_PATH];
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

// COM interfaces, method for method in the order of their tables on Windows, so that one
// implementation (sim/) serves this header and the Windows one alike. Types of methods that
// nothing here calls are only declared. The interfaces are only ever released through
// Release, never deleted, so the destructors are protected and need not be virtual.
using UINT = unsigned int;
using HANDLE = void*;
using HKEY = struct HKEY__*;
using LPDWORD = DWORD*;
using LPWSTR = WCHAR*;
using LPGUID = GUID*;
using LPDIPROPHEADER = DIPROPHEADER*;
using LPDIDEVICEOBJECTINSTANCEW = DIDEVICEOBJECTINSTANCEW*;
using LPDIDEVICEINSTANCEW = DIDEVICEINSTANCEW*;
struct DIDEVCAPS;
struct DIDEVICEOBJECTDATA;
struct DIEFFECT;
struct DIEFFECTINFOW;
struct DIEFFESCAPE;
struct DIFILEEFFECT;
struct DIACTIONFORMATW;
struct DIDEVICEIMAGEINFOHEADERW;
struct DICONFIGUREDEVICESPARAMSW;
struct DIJOYTYPEINFO;
struct DIJOYCONFIG;
struct DIJOYUSERVALUES;
struct IDirectInputEffect;
using LPDIDEVCAPS = DIDEVCAPS*;
using LPDIDEVICEOBJECTDATA = DIDEVICEOBJECTDATA*;
using LPCDIDEVICEOBJECTDATA = const DIDEVICEOBJECTDATA*;
using LPCDIEFFECT = const DIEFFECT*;
using LPDIEFFECTINFOW = DIEFFECTINFOW*;
using LPDIEFFESCAPE = DIEFFESCAPE*;
using LPDIFILEEFFECT = DIFILEEFFECT*;
using LPDIACTIONFORMATW = DIACTIONFORMATW*;
using LPDIDEVICEIMAGEINFOHEADERW = DIDEVICEIMAGEINFOHEADERW*;
using LPDICONFIGUREDEVICESPARAMSW = DICONFIGUREDEVICESPARAMSW*;
using LPDIJOYTYPEINFO = DIJOYTYPEINFO*;
using LPCDIJOYTYPEINFO = const DIJOYTYPEINFO*;
using LPDIJOYCONFIG = DIJOYCONFIG*;
using LPCDIJOYCONFIG = const DIJOYCONFIG*;
using LPDIJOYUSERVALUES = DIJOYUSERVALUES*;
using LPCDIJOYUSERVALUES = const DIJOYUSERVALUES*;
using LPDIRECTINPUTEFFECT = IDirectInputEffect*;
using LPDIENUMEFFECTSCALLBACKW = BOOL(CALLBACK*)(const DIEFFECTINFOW*, LPVOID);
using LPDIENUMCREATEDEFFECTOBJECTSCALLBACK = BOOL(CALLBACK*)(LPDIRECTINPUTEFFECT, LPVOID);
using LPDIENUMEFFECTSINFILECALLBACK = BOOL(CALLBACK*)(const DIFILEEFFECT*, LPVOID);
using LPDICONFIGUREDEVICESCALLBACK = BOOL(CALLBACK*)(struct IUnknown*, LPVOID);

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

protected:
    ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

struct IDirectInputDevice8W : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetCapabilities(LPDIDEVCAPS caps) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKW callback, LPVOID context,
                                                  DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProperty(REFGUID property, LPDIPROPHEADER header) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetProperty(REFGUID property, LPCDIPROPHEADER header) = 0;
    virtual HRESULT STDMETHODCALLTYPE Acquire() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unacquire() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeviceState(DWORD size, LPVOID data) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeviceData(DWORD object_size, LPDIDEVICEOBJECTDATA data, LPDWORD in_out,
                                                    DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDataFormat(LPCDIDATAFORMAT format) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEventNotification(HANDLE event) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetObjectInfo(LPDIDEVICEOBJECTINSTANCEW object, DWORD id, DWORD how) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeviceInfo(LPDIDEVICEINSTANCEW instance) = 0;
    virtual HRESULT STDMETHODCALLTYPE RunControlPanel(HWND owner, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE instance, DWORD version, REFGUID guid) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateEffect(REFGUID guid, LPCDIEFFECT effect, LPDIRECTINPUTEFFECT* out,
                                                   LPUNKNOWN outer) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumEffects(LPDIENUMEFFECTSCALLBACKW callback, LPVOID context, DWORD type) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEffectInfo(LPDIEFFECTINFOW info, REFGUID guid) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetForceFeedbackState(LPDWORD out) = 0;
    virtual HRESULT STDMETHODCALLTYPE SendForceFeedbackCommand(DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumCreatedEffectObjects(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK callback,
                                                               LPVOID context, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Escape(LPDIEFFESCAPE escape) = 0;
    virtual HRESULT STDMETHODCALLTYPE Poll() = 0;
    virtual HRESULT STDMETHODCALLTYPE SendDeviceData(DWORD object_size, LPCDIDEVICEOBJECTDATA data, LPDWORD in_out,
                                                     DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumEffectsInFile(LPCWSTR file, LPDIENUMEFFECTSINFILECALLBACK callback,
                                                        LPVOID context, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteEffectToFile(LPCWSTR file, DWORD entries, LPDIFILEEFFECT effects,
                                                        DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE BuildActionMap(LPDIACTIONFORMATW format, LPCWSTR user, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetActionMap(LPDIACTIONFORMATW format, LPCWSTR user, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetImageInfo(LPDIDEVICEIMAGEINFOHEADERW header) = 0;

protected:
    ~IDirectInputDevice8W() = default;
};
using LPDIRECTINPUTDEVICE8W = IDirectInputDevice8W*;
using LPDIENUMDEVICESBYSEMANTICSCBW = BOOL(CALLBACK*)(LPCDIDEVICEINSTANCEW, LPDIRECTINPUTDEVICE8W, DWORD, DWORD,
                                                      LPVOID);

struct IDirectInput8W : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateDevice(REFGUID instance, LPDIRECTINPUTDEVICE8W* device,
                                                   LPUNKNOWN outer) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumDevices(DWORD device_type, LPDIENUMDEVICESCALLBACKW callback,
                                                  LPVOID context, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeviceStatus(REFGUID instance) = 0;
    virtual HRESULT STDMETHODCALLTYPE RunControlPanel(HWND owner, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE instance, DWORD version) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindDevice(REFGUID product, LPCWSTR name, LPGUID instance) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumDevicesBySemantics(LPCWSTR user, LPDIACTIONFORMATW format,
                                                             LPDIENUMDEVICESBYSEMANTICSCBW callback, LPVOID context,
                                                             DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE ConfigureDevices(LPDICONFIGUREDEVICESCALLBACK callback,
                                                       LPDICONFIGUREDEVICESPARAMSW params, DWORD flags,
                                                       LPVOID context) = 0;

protected:
    ~IDirectInput8W() = default;
};

struct IDirectInputJoyConfig8 : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Acquire() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unacquire() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SendNotify() = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumTypes(LPVOID callback, LPVOID context) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(LPCWSTR type, LPDIJOYTYPEINFO info, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTypeInfo(LPCWSTR type, LPCDIJOYTYPEINFO info, DWORD flags,
                                                  LPWSTR new_type) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteType(LPCWSTR type) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConfig(UINT id, LPDIJOYCONFIG config, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetConfig(UINT id, LPCDIJOYCONFIG config, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteConfig(UINT id) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetUserValues(LPDIJOYUSERVALUES values, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetUserValues(LPCDIJOYUSERVALUES values, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddNewHardware(HWND owner, REFGUID type) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenTypeKey(LPCWSTR type, DWORD access, HKEY* key) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenAppStatusKey(HKEY* key) = 0;

protected:
    ~IDirectInputJoyConfig8() = default;
};

extern "C" HRESULT WINAPI DirectInput8Create(HINSTANCE instance, DWORD version, REFIID riid, LPVOID* out,
                                             LPUNKNOWN outer);
extern "C" HMODULE WINAPI GetModuleHandleW(LPCWSTR module_name);

// The system's list of input devices (user32) and its millisecond clock (kernel32).
struct RAWINPUTDEVICELIST {
    HANDLE hDevice;
    DWORD dwType;
};
inline constexpr DWORD RIM_TYPEHID = 2;
extern "C" UINT WINAPI GetRawInputDeviceList(RAWINPUTDEVICELIST* list, UINT* count, UINT size);
extern "C" DWORD WINAPI GetTickCount();

// A message-only window and the system's notifications of devices that come and go
// (user32, kernel32's GetLastError, dbt.h).
using ATOM = WORD;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using LONG_PTR = intptr_t;
using HDEVNOTIFY = void*;
using HMENU = struct HMENU__*;
using HICON = struct HICON__*;
using HCURSOR = HICON;
using HBRUSH = struct HBRUSH__*;
using WNDPROC = LRESULT(CALLBACK*)(HWND, UINT, WPARAM, LPARAM);
struct WNDCLASSEXW {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
    HICON hIconSm;
};
struct POINT {
    LONG x;
    LONG y;
};
struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
struct DEV_BROADCAST_HDR {
    DWORD dbch_size;
    DWORD dbch_devicetype;
    DWORD dbch_reserved;
};
struct DEV_BROADCAST_DEVICEINTERFACE_W {
    DWORD dbcc_size;
    DWORD dbcc_devicetype;
    DWORD dbcc_reserved;
    GUID dbcc_classguid;
    WCHAR dbcc_name[1];
};
inline const HWND HWND_MESSAGE = reinterpret_cast<HWND>(static_cast<intptr_t>(-3));
inline constexpr UINT WM_DEVICECHANGE = 0x0219;
inline constexpr WPARAM DBT_DEVICEARRIVAL = 0x8000;
inline constexpr WPARAM DBT_DEVICEREMOVECOMPLETE = 0x8004;
inline constexpr DWORD DBT_DEVTYP_DEVICEINTERFACE = 5;
inline constexpr DWORD DEVICE_NOTIFY_WINDOW_HANDLE = 0;
inline constexpr UINT PM_REMOVE = 1;
inline constexpr int GWLP_USERDATA = -21;
inline constexpr DWORD ERROR_CLASS_ALREADY_EXISTS = 1410;
extern "C" ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* window_class);
extern "C" BOOL WINAPI UnregisterClassW(LPCWSTR class_name, HINSTANCE instance);
extern "C" HWND WINAPI CreateWindowExW(DWORD ex_style, LPCWSTR class_name, LPCWSTR window_name, DWORD style, int x,
                                       int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                                       LPVOID param);
extern "C" BOOL WINAPI DestroyWindow(HWND window);
extern "C" LRESULT WINAPI DefWindowProcW(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
extern "C" LONG_PTR WINAPI SetWindowLongPtrW(HWND window, int index, LONG_PTR value);
extern "C" LONG_PTR WINAPI GetWindowLongPtrW(HWND window, int index);
extern "C" HDEVNOTIFY WINAPI RegisterDeviceNotificationW(HANDLE recipient, LPVOID filter, DWORD flags);
extern "C" BOOL WINAPI UnregisterDeviceNotification(HDEVNOTIFY notification);
extern "C" BOOL WINAPI PeekMessageW(MSG* message, HWND window, UINT first, UINT last, UINT remove);
extern "C" LRESULT WINAPI DispatchMessageW(const MSG* message);
extern "C" DWORD WINAPI GetLastError();

// XInput, loaded by the plug-in itself (kernel32's LoadLibraryW, GetProcAddress and
// FreeLibrary; xinput.h), and the foreground window it is read in (user32).
using FARPROC = intptr_t(WINAPI*)();
struct XINPUT_GAMEPAD {
    WORD wButtons;
    BYTE bLeftTrigger;
    BYTE bRightTrigger;
    int16_t sThumbLX;
    int16_t sThumbLY;
    int16_t sThumbRX;
    int16_t sThumbRY;
};
struct XINPUT_STATE {
    DWORD dwPacketNumber;
    XINPUT_GAMEPAD Gamepad;
};
inline constexpr WORD XINPUT_GAMEPAD_DPAD_UP = 0x0001;
inline constexpr WORD XINPUT_GAMEPAD_DPAD_DOWN = 0x0002;
inline constexpr WORD XINPUT_GAMEPAD_DPAD_LEFT = 0x0004;
inline constexpr WORD XINPUT_GAMEPAD_DPAD_RIGHT = 0x0008;
inline constexpr WORD XINPUT_GAMEPAD_START = 0x0010;
inline constexpr WORD XINPUT_GAMEPAD_BACK = 0x0020;
inline constexpr WORD XINPUT_GAMEPAD_LEFT_THUMB = 0x0040;
inline constexpr WORD XINPUT_GAMEPAD_RIGHT_THUMB = 0x0080;
inline constexpr WORD XINPUT_GAMEPAD_LEFT_SHOULDER = 0x0100;
inline constexpr WORD XINPUT_GAMEPAD_RIGHT_SHOULDER = 0x0200;
inline constexpr WORD XINPUT_GAMEPAD_A = 0x1000;
inline constexpr WORD XINPUT_GAMEPAD_B = 0x2000;
inline constexpr WORD XINPUT_GAMEPAD_X = 0x4000;
inline constexpr WORD XINPUT_GAMEPAD_Y = 0x8000;
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_DEVICE_NOT_CONNECTED = 1167;
inline constexpr UINT GA_ROOT = 2;
#define MAKEINTRESOURCEA(i) (reinterpret_cast<const char*>(static_cast<uintptr_t>(static_cast<WORD>(i))))
extern "C" HMODULE WINAPI LoadLibraryW(LPCWSTR file_name);
extern "C" FARPROC WINAPI GetProcAddress(HMODULE module, const char* name);
extern "C" BOOL WINAPI FreeLibrary(HMODULE module);
extern "C" HWND WINAPI GetForegroundWindow();
extern "C" HWND WINAPI GetAncestor(HWND window, UINT flags);
