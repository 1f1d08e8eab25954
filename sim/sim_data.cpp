// The platform's predefined data: the identifiers (outside Windows; there they come from
// the system's dxguid library) and the data format of DIJOYSTATE2.
#include <cstddef>

#include "sim/sim_internal.h"

#if !defined(_WIN32)
const GUID IID_IDirectInput8W = {0xBF798031, 0x483A, 0x4DA2, {0xAA, 0x99, 0x5D, 0x64, 0xED, 0x36, 0x97, 0x00}};
const GUID IID_IDirectInputDevice8W = {0x54D41081, 0xDC15, 0x4833, {0xA4, 0x1B, 0x74, 0x8F, 0x73, 0xA3, 0x81, 0x79}};
const GUID IID_IDirectInputJoyConfig8 = {0xEB0D7DFA, 0x1990, 0x4F27, {0xB4, 0xD6, 0xED, 0xF2, 0xEE, 0xC4, 0xA4, 0x4C}};
const GUID GUID_XAxis = {0xA36D02E0, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_YAxis = {0xA36D02E1, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_ZAxis = {0xA36D02E2, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_RxAxis = {0xA36D02F4, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_RyAxis = {0xA36D02F5, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_RzAxis = {0xA36D02E3, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_Slider = {0xA36D02E4, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_Button = {0xA36D02F0, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_POV = {0xA36D02F2, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
#endif

const sim::AxisField sim::AXIS_FIELD_TABLE[sim::AXIS_FIELDS] = {
    {&GUID_XAxis, offsetof(DIJOYSTATE2, lX)},          {&GUID_YAxis, offsetof(DIJOYSTATE2, lY)},
    {&GUID_ZAxis, offsetof(DIJOYSTATE2, lZ)},          {&GUID_RxAxis, offsetof(DIJOYSTATE2, lRx)},
    {&GUID_RyAxis, offsetof(DIJOYSTATE2, lRy)},        {&GUID_RzAxis, offsetof(DIJOYSTATE2, lRz)},
    {&GUID_Slider, offsetof(DIJOYSTATE2, rglSlider)},  {&GUID_Slider, offsetof(DIJOYSTATE2, rglSlider) + 4},
};

namespace {

constexpr DWORD ANY_AXIS = DIDFT_AXIS | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL;
constexpr DWORD ANY_BUTTON = DIDFT_BUTTON | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL;
constexpr DWORD ANY_POV = DIDFT_POV | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL;
constexpr DWORD ASPECT_VELOCITY = 0x200;
constexpr DWORD ASPECT_ACCEL = 0x300;
constexpr DWORD ASPECT_FORCE = 0x400;

struct ObjectFormats {
    DIOBJECTDATAFORMAT items[sim::JOYSTICK2_OBJECT_COUNT];
};

// The objects of DIJOYSTATE2 in field order: position axes and sliders, points of view,
// buttons, then velocity, acceleration and force axes and sliders.
ObjectFormats make_joystick2_objects() {
    ObjectFormats f{};
    const GUID* axes[8];
    for (int i = 0; i < 8; ++i) axes[i] = sim::AXIS_FIELD_TABLE[i].type;
    int n = 0;
    for (DWORD i = 0; i < 8; ++i) f.items[n++] = {axes[i], 4 * i, ANY_AXIS, sim::ASPECT_POSITION};
    for (DWORD i = 0; i < 4; ++i) f.items[n++] = {&GUID_POV, 32 + 4 * i, ANY_POV, 0};
    for (DWORD i = 0; i < 128; ++i) f.items[n++] = {nullptr, 48 + i, ANY_BUTTON, 0};
    const DWORD aspects[3] = {ASPECT_VELOCITY, ASPECT_ACCEL, ASPECT_FORCE};
    for (DWORD a = 0; a < 3; ++a) {
        for (DWORD i = 0; i < 8; ++i) f.items[n++] = {axes[i], 176 + 32 * a + 4 * i, ANY_AXIS, aspects[a]};
    }
    return f;
}

ObjectFormats joystick2_objects = make_joystick2_objects();

}  // namespace

const DIDATAFORMAT c_dfDIJoystick2 = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_ABSAXIS,
                                      sizeof(DIJOYSTATE2), sim::JOYSTICK2_OBJECT_COUNT, joystick2_objects.items};
