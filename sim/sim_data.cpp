// The platform's predefined data: the identifiers (outside Windows; there they come from
// the system's dxguid library), the HID interface class and the data format of DIJOYSTATE2.
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

const GUID sim::HID_CLASS = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

#define FIELD_OFFSET_OF(field) static_cast<DWORD>(offsetof(DIJOYSTATE2, field))
const sim::AxisField sim::AXIS_FIELD_TABLE[sim::AXIS_FIELDS] = {
    {&GUID_XAxis, FIELD_OFFSET_OF(lX)},          {&GUID_YAxis, FIELD_OFFSET_OF(lY)},
    {&GUID_ZAxis, FIELD_OFFSET_OF(lZ)},          {&GUID_RxAxis, FIELD_OFFSET_OF(lRx)},
    {&GUID_RyAxis, FIELD_OFFSET_OF(lRy)},        {&GUID_RzAxis, FIELD_OFFSET_OF(lRz)},
    {&GUID_Slider, FIELD_OFFSET_OF(rglSlider[0])}, {&GUID_Slider, FIELD_OFFSET_OF(rglSlider[1])},
};
const DWORD sim::POV_OFFSET = FIELD_OFFSET_OF(rgdwPOV);
const DWORD sim::BUTTON_OFFSET = FIELD_OFFSET_OF(rgbButtons);

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
    int n = 0;
    for (const sim::AxisField& axis : sim::AXIS_FIELD_TABLE) {
        f.items[n++] = {axis.type, axis.offset, ANY_AXIS, sim::ASPECT_POSITION};
    }
    for (DWORD i = 0; i < 4; ++i) f.items[n++] = {&GUID_POV, sim::POV_OFFSET + 4 * i, ANY_POV, 0};
    for (DWORD i = 0; i < 128; ++i) f.items[n++] = {nullptr, sim::BUTTON_OFFSET + i, ANY_BUTTON, 0};
    const struct {
        DWORD start;
        DWORD aspect;
    } aspects[3] = {{FIELD_OFFSET_OF(lVX), ASPECT_VELOCITY}, {FIELD_OFFSET_OF(lAX), ASPECT_ACCEL},
                    {FIELD_OFFSET_OF(lFX), ASPECT_FORCE}};
    for (const auto& a : aspects) {
        for (const sim::AxisField& axis : sim::AXIS_FIELD_TABLE) {
            f.items[n++] = {axis.type, a.start + axis.offset, ANY_AXIS, a.aspect};
        }
    }
    return f;
}

ObjectFormats joystick2_objects = make_joystick2_objects();

}  // namespace

const DIDATAFORMAT c_dfDIJoystick2 = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_ABSAXIS,
                                      sizeof(DIJOYSTATE2), sim::JOYSTICK2_OBJECT_COUNT, joystick2_objects.items};
