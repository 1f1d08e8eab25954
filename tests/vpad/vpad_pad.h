// A virtual pad as a case script describes it, the HID report descriptor and input
// report that follow from it, and finding its HID device. Shared by the installer and the
// case runner.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vpad {

enum Usage : std::uint8_t { X = 0x30, Y, Z, RX, RY, RZ, SLIDER };

// "pad N BITS CONTROL... NAME", the name in double quotes: BITS is 16 (logical
// -32768..32767) or 8 (0..255) for every axis; a CONTROL is x, y, z, rx, ry, rz or slider
// (in report order), hat, or bK for K buttons (0 to 128), or "later", which keeps the pad
// out of the pads plugged at the start (a "> plug" command plugs it).
// "pad N xinput [later] NAME" is an XInput pad on the XInput pads' bus (an Xbox 360 pad,
// 045E:028E), of a fixed shape: x, y the left stick and rx, ry the right one (16-bit, up
// and left negative as on a HID pad), z the left trigger and rz the right one (0..255),
// hat the D-pad, and 11 buttons, b1 .. b11: A, B, X, Y, LB, RB, Back, Start, the left and
// right stick presses, Guide. So "set 5 z=255 rz=128 b11=1 hat=2" pulls the left trigger
// fully, the right one halfway, and presses Guide with the D-pad right.
struct PadShape {
  unsigned number = 0;
  std::wstring name;
  int bits = 16;
  std::vector<Usage> axes;
  bool hat = false;
  unsigned buttons = 0;
  bool vendor = false;  // a vendor-defined collection in place of a joystick: the anchor
  bool xinput = false;
  bool later = false;
};

// The values a report carries: axes in the shape's order; hat 0..7 clockwise from up in
// steps of 45 degrees, or 8 for centred.
struct PadValues {
  std::vector<int> axes;
  int hat = 8;
  std::vector<bool> buttons;
};

bool parse_pad(const std::string& line, PadShape& shape, std::string& error);
std::vector<std::uint8_t> report_descriptor(const PadShape& shape);
std::vector<std::uint8_t> input_report(const PadShape& shape, const PadValues& values);
// The axis named by a script word, or 0.
std::uint8_t axis_usage(const std::string& word);

// The HID device of pad N, opened for reading and writing, or INVALID_HANDLE_VALUE.
HANDLE open_pad(unsigned number);
// How many devices each pad number has that are there: 1 for a HID pad; for an XInput pad
// up to 2, the gamepad that DirectInput lists and the device that XInput reads, which
// Wine's winexinput.sys makes over the bus's pad.
std::map<unsigned, int> pad_devices();
// The XInput pads' bus's control device, opened for reading and writing, or
// INVALID_HANDLE_VALUE when the bus is not there.
HANDLE open_bus();

}  // namespace vpad
