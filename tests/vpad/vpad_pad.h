// A virtual pad as a case script describes it, the HID report descriptor and input
// report that follow from it, and finding its HID device. Shared by the installer and the
// case runner.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vpad {

enum Usage : std::uint8_t { X = 0x30, Y, Z, RX, RY, RZ, SLIDER };

// "pad N BITS CONTROL... NAME", the name in double quotes: BITS is 16 (logical
// -32768..32767) or 8 (0..255) for every axis; a CONTROL is x, y, z, rx, ry, rz or slider
// (in report order), hat, or bK for K buttons (0 to 128), or "later", which keeps the pad
// out of the pads plugged at the start (a "> plug" command plugs it).
struct PadShape {
  unsigned number = 0;
  std::wstring name;
  int bits = 16;
  std::vector<Usage> axes;
  bool hat = false;
  unsigned buttons = 0;
  bool vendor = false;  // a vendor-defined collection in place of a joystick: the anchor
  bool later = false;
};

// The values a report carries: axes in the shape's order; hat 0..7, or 8 for centred.
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

}  // namespace vpad
