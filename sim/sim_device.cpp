// IDirectInputDevice8W over a virtual controller, with the rules of a real device: data
// format before acquisition, exclusive and foreground cooperation, lost acquisition
// reported by the next Poll, axis values scaled to the range set on them.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "sim/sim_objects.h"

using namespace sim;

namespace {

// Scales a position in POSITION_MIN..POSITION_MAX into min..max.
LONG scaled(LONG position, LONG min, LONG max) {
    if (min == POSITION_MIN && max == POSITION_MAX) return position;
    constexpr int64_t whole = int64_t{POSITION_MAX} - POSITION_MIN;
    int64_t offset = static_cast<int64_t>(position) - POSITION_MIN;
    int64_t span = static_cast<int64_t>(max) - min;
    return static_cast<LONG>(min + (offset * span + whole / 2) / whole);
}

// The data format of DIJOYSTATE2, recognised by its shape: the plug-in's copy of
// c_dfDIJoystick2 lives in the plug-in, not here.
bool is_joystick2_format(const DIDATAFORMAT& format) {
    return format.dwSize == sizeof(DIDATAFORMAT) && format.dwObjSize == sizeof(DIOBJECTDATAFORMAT) &&
           format.dwFlags == DIDF_ABSAXIS && format.dwDataSize == sizeof(DIJOYSTATE2) &&
           format.dwNumObjs == JOYSTICK2_OBJECT_COUNT;
}

// The log's arguments of a SetProperty call.
void property_text(REFGUID property, LPCDIPROPHEADER header, char (&out)[160]) {
    out[0] = '\0';
    if (!logged()) return;
    const char* name = &property == &DIPROP_RANGE ? "DIPROP_RANGE" : "other";
    if (header == nullptr) {
        std::snprintf(out, sizeof out, "%s, null", name);
        return;
    }
    int n = std::snprintf(out, sizeof out, "%s, size=%" PRIu32 ", header=%" PRIu32 ", obj=0x%" PRIX32 ", how=%" PRIu32,
                          name, static_cast<uint32_t>(header->dwSize), static_cast<uint32_t>(header->dwHeaderSize),
                          static_cast<uint32_t>(header->dwObj), static_cast<uint32_t>(header->dwHow));
    if (&property == &DIPROP_RANGE && header->dwSize == sizeof(DIPROPRANGE) && n > 0) {
        const auto* range = reinterpret_cast<const DIPROPRANGE*>(header);
        std::snprintf(out + n, sizeof out - static_cast<size_t>(n), ", min=%" PRId32 ", max=%" PRId32,
                      static_cast<int32_t>(range->lMin), static_cast<int32_t>(range->lMax));
    }
}

// "Object <i>", a name as a driver gives it; written digit by digit, since every
// enumeration names every object.
void object_instance_name(int i, WCHAR (&out)[MAX_PATH]) {
    static const char prefix[] = "Object ";
    size_t n = 0;
    for (; prefix[n] != '\0'; ++n) out[n] = static_cast<WCHAR>(prefix[n]);
    char digits[12];
    size_t count = 0;
    auto v = static_cast<unsigned>(i);
    do {
        digits[count++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (count > 0) out[n++] = static_cast<WCHAR>(digits[--count]);
    out[n] = 0;
}

}  // namespace

namespace sim {

void SimDevice::start(int of_controller) {
    controller = of_controller;
    port = platform.controllers[of_controller].port;
    acquired = false;
    lost = false;
    format_set = false;
    cooperation = 0;
    // Every range unset in one store (one sanitizer check, not one per object): a trivial
    // AxisRange{} is all zero bytes.
    static_assert(std::is_trivial_v<AxisRange>);
    std::memset(ranges, 0, sizeof ranges);
}

void SimDevice::lose() {
    if (!acquired) return;
    acquired = false;
    lost = true;
}

HRESULT SimDevice::QueryInterface(REFIID riid, void** object) {
    return query_self(*this, riid, object, IID_IDirectInputDevice8W);
}

ULONG SimDevice::Release() {
    ULONG left = release(core);
    if (left == 0 && !core.retired) acquired = false;
    return left;
}

HRESULT SimDevice::EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKW callback, LPVOID context, DWORD flags) {
    char context_text[24];
    pointer_text(context, context_text);
    Call call;
    if (!admit(call, &core, SimMethod::EnumObjects, controller, nullptr, "context=%s, flags=0x%" PRIX32, context_text,
               static_cast<uint32_t>(flags))) {
        return call.answer;
    }
    if (callback == nullptr) return end_call(call, DIERR_INVALIDPARAM);
    const Controller& ctl = platform.controllers[controller];
    DWORD type_filter = flags & 0xFF;
    int made = 0;
    for (int i = 0; i < ctl.object_count && call.injection.allows_callback(made); ++i) {
        const SimObjectInfo& o = ctl.objects[i];
        if (type_filter != DIDFT_ALL && (o.dw_type & type_filter) == 0) continue;
        DIDEVICEOBJECTINSTANCEW object{};
        object.dwSize = sizeof object;
        object.guidType = o.type;
        object.dwOfs = o.offset;
        object.dwType = o.dw_type;
        if ((o.dw_type & DIDFT_AXIS) != 0) object.dwFlags = ASPECT_POSITION;
        object_instance_name(i, object.tszName);
        ++made;
        if (callback(&object, context) == DIENUM_STOP && !platform.ignore_enum_stop) break;
    }
    return end_call(call, DI_OK);
}

HRESULT SimDevice::SetProperty(REFGUID property, LPCDIPROPHEADER header) {
    char arguments[160];
    property_text(property, header, arguments);
    Call call;
    if (!admit(call, &core, SimMethod::SetProperty, controller, nullptr, "%s", arguments)) return call.answer;
    if (header == nullptr) return end_call(call, E_POINTER);
    if (&property != &DIPROP_RANGE) return end_call(call, DIERR_UNSUPPORTED);
    if (header->dwSize != sizeof(DIPROPRANGE) || header->dwHeaderSize != sizeof(DIPROPHEADER)) {
        return end_call(call, DIERR_INVALIDPARAM);
    }
    // Like Wine's DirectInput: a range may be set while the device is acquired, and only
    // a minimum above the maximum is refused (an empty range reports its one value).
    const auto* range = reinterpret_cast<const DIPROPRANGE*>(header);
    if (range->lMin > range->lMax) return end_call(call, DIERR_INVALIDPARAM);
    const Controller& ctl = platform.controllers[controller];
    const AxisRange set{range->lMin, range->lMax, true};
    if (header->dwHow == DIPH_DEVICE && header->dwObj == 0) {
        for (int i = 0; i < ctl.object_count; ++i) {
            if ((ctl.objects[i].dw_type & DIDFT_AXIS) != 0) ranges[i] = set;
        }
        return end_call(call, DI_OK);
    }
    if (header->dwHow != DIPH_BYID) return end_call(call, DIERR_UNSUPPORTED);
    for (int i = 0; i < ctl.object_count; ++i) {
        if (ctl.objects[i].dw_type != header->dwObj) continue;
        if ((ctl.objects[i].dw_type & DIDFT_AXIS) == 0) return end_call(call, DIERR_UNSUPPORTED);
        ranges[i] = set;
        return end_call(call, DI_OK);
    }
    return end_call(call, DIERR_OBJECTNOTFOUND);
}

HRESULT SimDevice::GetProperty(REFGUID property, LPDIPROPHEADER header) {
    const bool path = &property == &DIPROP_GUIDANDPATH;
    Call call;
    if (!admit(call, &core, SimMethod::GetProperty, controller, nullptr, "%s", path ? "DIPROP_GUIDANDPATH" : "other")) {
        return call.answer;
    }
    if (header == nullptr) return end_call(call, E_POINTER);
    if (!path) return end_call(call, DIERR_UNSUPPORTED);
    if (header->dwSize != sizeof(DIPROPGUIDANDPATH) || header->dwHeaderSize != sizeof(DIPROPHEADER) ||
        header->dwHow != DIPH_DEVICE) {
        return end_call(call, DIERR_INVALIDPARAM);
    }
    auto* answer = reinterpret_cast<DIPROPGUIDANDPATH*>(header);
    answer->guidClass = GUID{};
    char text[64];
    std::snprintf(text, sizeof text, "\\\\?\\hid#joybits_sim&port%d", platform.controllers[controller].port);
    size_t i = 0;
    for (; text[i] != '\0'; ++i) answer->wszPath[i] = static_cast<WCHAR>(text[i]);
    answer->wszPath[i] = 0;
    return end_call(call, DI_OK);
}

HRESULT SimDevice::Acquire() {
    Call call;
    if (!admit(call, &core, SimMethod::Acquire, controller, nullptr, "%s", "")) return call.answer;
    if (!format_set) return end_call(call, DIERR_INVALIDPARAM);
    if (acquired) return end_call(call, DI_NOEFFECT);
    const Controller& ctl = platform.controllers[controller];
    if (!ctl.attached || ctl.port != port) return end_call(call, static_cast<HRESULT>(DIERR_UNPLUGGED));  // unsigned in some headers
    if ((cooperation & DISCL_FOREGROUND) != 0 && !platform.foreground) return end_call(call, DIERR_OTHERAPPHASPRIO);
    bool taken_elsewhere = false;
    if ((cooperation & DISCL_EXCLUSIVE) != 0) {
        for_each_live_device([&](const SimDevice& d) {
            taken_elsewhere |= &d != this && d.controller == controller && d.acquired &&
                               (d.cooperation & DISCL_EXCLUSIVE) != 0;
        });
    }
    if (taken_elsewhere) return end_call(call, DIERR_OTHERAPPHASPRIO);
    acquired = true;
    lost = false;
    return end_call(call, DI_OK);
}

HRESULT SimDevice::Unacquire() {
    Call call;
    if (!admit(call, &core, SimMethod::Unacquire, controller, nullptr, "%s", "")) return call.answer;
    HRESULT hr = acquired ? DI_OK : DI_NOEFFECT;
    acquired = false;
    lost = false;
    return end_call(call, hr);
}

HRESULT SimDevice::GetDeviceState(DWORD size, LPVOID data) {
    Call call;
    if (!admit(call, &core, SimMethod::GetDeviceState, controller, nullptr, "size=%" PRIu32, static_cast<uint32_t>(size))) {
        return call.answer;
    }
    if (data == nullptr || !format_set || size != sizeof(DIJOYSTATE2)) return end_call(call, DIERR_INVALIDPARAM);
    if (!acquired) return end_call(call, lost ? DIERR_INPUTLOST : DIERR_NOTACQUIRED);
    const Controller& ctl = platform.controllers[controller];
    DIJOYSTATE2 state = ctl.input;
    for (int f = 0; f < AXIS_FIELDS; ++f) {
        int o = ctl.axis_object[f];
        if (o < 0) continue;
        const AxisRange& r = ranges[o];
        const LONG position = get_axis_field(state, f);
        set_axis_field(state, f, r.set ? scaled(position, r.min, r.max) : scaled(position, 0, 65535));
    }
    std::memcpy(data, &state, sizeof state);
    return end_call(call, DI_OK);
}

HRESULT SimDevice::SetDataFormat(LPCDIDATAFORMAT format) {
    char arguments[80] = "";
    if (!logged()) {
        // nothing to write
    } else if (format == nullptr) {
        std::snprintf(arguments, sizeof arguments, "null");
    } else if (is_joystick2_format(*format)) {
        std::snprintf(arguments, sizeof arguments, "c_dfDIJoystick2");
    } else {
        std::snprintf(arguments, sizeof arguments, "size=%" PRIu32 ", objects=%" PRIu32 ", flags=%" PRIu32,
                      static_cast<uint32_t>(format->dwDataSize), static_cast<uint32_t>(format->dwNumObjs),
                      static_cast<uint32_t>(format->dwFlags));
    }
    Call call;
    if (!admit(call, &core, SimMethod::SetDataFormat, controller, nullptr, "%s", arguments)) return call.answer;
    if (format == nullptr) return end_call(call, E_POINTER);
    if (acquired) return end_call(call, DIERR_ACQUIRED);
    if (!is_joystick2_format(*format)) return end_call(call, DIERR_INVALIDPARAM);
    format_set = true;
    return end_call(call, DI_OK);
}

HRESULT SimDevice::SetCooperativeLevel(HWND window, DWORD flags) {
    char window_text[24];
    pointer_text(window, window_text);
    Call call;
    if (!admit(call, &core, SimMethod::SetCooperativeLevel, controller, nullptr, "hwnd=%s, flags=%" PRIu32, window_text,
               static_cast<uint32_t>(flags))) {
        return call.answer;
    }
    if (acquired) return end_call(call, DIERR_ACQUIRED);
    bool one_exclusivity = ((flags & DISCL_EXCLUSIVE) != 0) != ((flags & DISCL_NONEXCLUSIVE) != 0);
    bool one_ground = ((flags & DISCL_FOREGROUND) != 0) != ((flags & DISCL_BACKGROUND) != 0);
    if (!one_exclusivity || !one_ground) return end_call(call, DIERR_INVALIDPARAM);
    if (window == nullptr && (flags & (DISCL_EXCLUSIVE | DISCL_FOREGROUND)) != 0) return end_call(call, E_HANDLE);
    cooperation = flags;
    return end_call(call, DI_OK);
}

HRESULT SimDevice::Poll() {
    Call call;
    if (!admit(call, &core, SimMethod::Poll, controller, nullptr, "%s", "")) return call.answer;
    if (!acquired) {
        HRESULT hr = lost ? DIERR_INPUTLOST : DIERR_NOTACQUIRED;
        lost = false;
        return end_call(call, hr);
    }
    return end_call(call, platform.controllers[controller].polled ? DI_OK : DI_NOEFFECT);
}

}  // namespace sim
