#include "tests/vpad/vpad_pad.h"

#include "tests/vpad/vpad_protocol.h"

#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}

#include <cwchar>
#include <sstream>

namespace vpad {

namespace {

const char* const AXIS_WORDS[] = {"x", "y", "z", "rx", "ry", "rz", "slider"};

// The size of one of the shape's axes in the report: an XInput pad's triggers are 8-bit.
int axis_bits(const PadShape& shape, Usage usage) { return shape.xinput && (usage == Z || usage == RZ) ? 8 : shape.bits; }

void item(std::vector<std::uint8_t>& out, std::uint8_t tag, unsigned value, unsigned bytes) {
  out.push_back(static_cast<std::uint8_t>(tag | (bytes == 4 ? 3 : bytes)));
  for (unsigned i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

std::uint8_t axis_usage(const std::string& word) {
  for (unsigned i = 0; i < sizeof AXIS_WORDS / sizeof *AXIS_WORDS; ++i)
    if (word == AXIS_WORDS[i]) return static_cast<std::uint8_t>(X + i);
  return 0;
}

bool parse_pad(const std::string& line, PadShape& shape, std::string& error) {
  shape = PadShape{};
  auto quote = line.find('"');
  auto end = line.rfind('"');
  if (quote == std::string::npos || end == quote) {
    error = "a pad needs a name in double quotes";
    return false;
  }
  std::string name = line.substr(quote + 1, end - quote - 1);
  shape.name.assign(name.begin(), name.end());
  std::istringstream words(line.substr(0, quote));
  std::string word, bits;
  words >> word >> shape.number >> bits;
  shape.xinput = bits == "xinput";
  shape.bits = bits == "8" ? 8 : 16;
  if (word != "pad" || shape.number < 1 || shape.number >= VPAD_ANCHOR || (bits != "8" && bits != "16" && !shape.xinput)) {
    error = "expected: pad N 16|8|xinput CONTROL... \"NAME\"";
    return false;
  }
  if (shape.xinput) {
    shape.axes = {X, Y, RX, RY, Z, RZ};
    shape.hat = true;
    shape.buttons = 11;
  }
  while (words >> word) {
    if (shape.xinput && word != "later") {
      error = "an XInput pad has a fixed shape: pad N xinput [later] \"NAME\"";
      return false;
    }
    if (std::uint8_t usage = axis_usage(word)) {
      shape.axes.push_back(static_cast<Usage>(usage));
    } else if (word == "hat") {
      shape.hat = true;
    } else if (word == "later") {
      shape.later = true;
    } else if (word.size() > 1 && word[0] == 'b' && word.find_first_not_of("0123456789", 1) == std::string::npos &&
               std::stoul(word.substr(1)) <= 128) {
      shape.buttons = static_cast<unsigned>(std::stoul(word.substr(1)));
    } else {
      error = "unknown control '" + word + "'";
      return false;
    }
  }
  return true;
}

// Axes first, then the hat in four bits and four of padding, then the buttons, one bit
// each, padded to a whole byte. No report ID.
std::vector<std::uint8_t> report_descriptor(const PadShape& shape) {
  std::vector<std::uint8_t> d;
  if (shape.vendor) {
    item(d, 0x04, 0xFF00, 2);  // usage page: vendor-defined
    item(d, 0x08, 0x01, 1);
    item(d, 0xA0, 0x01, 1);
    item(d, 0x08, 0x01, 1);
    item(d, 0x14, 0, 1);
    item(d, 0x24, 0xFF, 2);
    item(d, 0x74, 8, 1);
    item(d, 0x94, 1, 1);
    item(d, 0x80, 0x02, 1);
    d.push_back(0xC0);
    return d;
  }
  item(d, 0x04, 0x01, 1);                       // usage page: generic desktop
  item(d, 0x08, shape.xinput ? 0x05 : 0x04, 1);  // usage: gamepad, or joystick
  item(d, 0xA0, 0x01, 1);                       // collection: application
  // The axes in runs of one size each (every axis of a pad but an XInput pad's triggers).
  for (std::size_t first = 0, end = 0; first < shape.axes.size(); first = end) {
    const int bits = axis_bits(shape, shape.axes[first]);
    for (end = first; end < shape.axes.size() && axis_bits(shape, shape.axes[end]) == bits; ++end)
      item(d, 0x08, shape.axes[end], 1);
    if (bits == 16) {
      item(d, 0x14, 0x8000, 2);  // logical minimum -32768
      item(d, 0x24, 0x7FFF, 2);  // logical maximum 32767
    } else {
      item(d, 0x14, 0, 1);
      item(d, 0x24, 0xFF, 2);  // 255 (two bytes: one would read as -1)
    }
    item(d, 0x74, static_cast<unsigned>(bits), 1);          // report size
    item(d, 0x94, static_cast<unsigned>(end - first), 1);   // report count
    item(d, 0x80, 0x02, 1);                                 // input: data, variable, absolute
  }
  if (shape.hat) {
    // An XInput pad's hat is 1..8 with 0 centred, as Wine's XInput reads a D-pad; any
    // other pad's is 0..7 with 8 centred.
    item(d, 0x08, 0x39, 1);   // usage: hat switch
    item(d, 0x14, shape.xinput ? 1 : 0, 1);
    item(d, 0x24, shape.xinput ? 8 : 7, 1);
    item(d, 0x34, 0, 1);      // physical 0..315 degrees
    item(d, 0x44, 315, 2);
    item(d, 0x64, 0x14, 1);   // unit: degrees
    item(d, 0x74, 4, 1);
    item(d, 0x94, 1, 1);
    item(d, 0x80, 0x42, 1);   // input: data, variable, absolute, null state
    item(d, 0x64, 0, 1);      // unit: none
    item(d, 0x74, 4, 1);
    item(d, 0x94, 1, 1);
    item(d, 0x80, 0x03, 1);   // input: constant (padding)
  }
  if (shape.buttons) {
    item(d, 0x04, 0x09, 1);   // usage page: buttons
    item(d, 0x18, 1, 1);      // usage minimum 1
    item(d, 0x28, shape.buttons, 1);
    item(d, 0x14, 0, 1);
    item(d, 0x24, 1, 1);
    item(d, 0x74, 1, 1);
    item(d, 0x94, shape.buttons, 1);
    item(d, 0x80, 0x02, 1);
    if (unsigned spare = (8 - shape.buttons % 8) % 8) {
      item(d, 0x94, spare, 1);
      item(d, 0x80, 0x03, 1);
    }
  }
  d.push_back(0xC0);  // end collection
  return d;
}

std::vector<std::uint8_t> input_report(const PadShape& shape, const PadValues& values) {
  std::vector<std::uint8_t> r;
  for (std::size_t i = 0; i < shape.axes.size(); ++i) {
    int v = i < values.axes.size() ? values.axes[i] : 0;
    r.push_back(static_cast<std::uint8_t>(v));
    if (axis_bits(shape, shape.axes[i]) == 16) r.push_back(static_cast<std::uint8_t>(static_cast<unsigned>(v) >> 8));
  }
  if (shape.hat && shape.xinput) r.push_back(static_cast<std::uint8_t>(values.hat >= 0 && values.hat < 8 ? values.hat + 1 : 0));
  if (shape.hat && !shape.xinput) r.push_back(static_cast<std::uint8_t>(values.hat & 0x0F));
  for (unsigned b = 0; b < shape.buttons; b += 8) {
    std::uint8_t byte = 0;
    for (unsigned k = 0; k < 8 && b + k < shape.buttons; ++k)
      if (b + k < values.buttons.size() && values.buttons[b + k]) byte = static_cast<std::uint8_t>(byte | 1u << k);
    r.push_back(byte);
  }
  if (r.empty()) r.push_back(0);  // a pad of nothing still sends a byte
  return r;
}

namespace {

// Wine's own interface class of the devices that its XInput reads (winexinput's &XI_
// devices, which are not HID-class devices to anyone else).
const GUID WINE_XINPUT_INTERFACE = {0x6c53d5fd, 0x6480, 0x440f, {0xb6, 0x18, 0x47, 0x67, 0x50, 0xc5, 0xe1, 0xa6}};

// Opens each device of the interface class for reading and writing and hands it to take,
// which keeps it (true) or has it closed; stops at the first one kept and returns it, or
// INVALID_HANDLE_VALUE.
template <class Take>
HANDLE each_device(const GUID& interface_class, Take take) {
  HDEVINFO set = SetupDiGetClassDevsW(&interface_class, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
  HANDLE kept = INVALID_HANDLE_VALUE;
  SP_DEVICE_INTERFACE_DATA iface{};
  iface.cbSize = sizeof iface;
  for (DWORD i = 0; kept == INVALID_HANDLE_VALUE && SetupDiEnumDeviceInterfaces(set, nullptr, &interface_class, i, &iface);
       ++i) {
    union {
      SP_DEVICE_INTERFACE_DETAIL_DATA_W detail;
      wchar_t room[512];
    } u{};
    u.detail.cbSize = sizeof u.detail;
    if (!SetupDiGetDeviceInterfaceDetailW(set, &iface, &u.detail, sizeof u, nullptr, nullptr)) continue;
    HANDLE h = CreateFileW(u.detail.DevicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) continue;
    if (take(h))
      kept = h;
    else
      CloseHandle(h);
  }
  SetupDiDestroyDeviceInfoList(set);
  return kept;
}

bool has_ids(HANDLE h, unsigned vendor, unsigned product) {
  HIDD_ATTRIBUTES attributes{};
  attributes.Size = sizeof attributes;
  return HidD_GetAttributes(h, &attributes) && attributes.VendorID == vendor && attributes.ProductID == product;
}

// The pad number in the device's serial string (vpad_protocol.h), or 0.
unsigned serial_number(HANDLE h) {
  wchar_t serial[32] = {};
  const std::size_t prefix = std::wcslen(VPAD_SERIAL_PREFIX);
  if (!HidD_GetSerialNumberString(h, serial, sizeof serial - sizeof *serial) ||
      std::wcsncmp(serial, VPAD_SERIAL_PREFIX, prefix) != 0)
    return 0;
  return static_cast<unsigned>(std::wcstoul(serial + prefix, nullptr, 10));
}

GUID hid_class() {
  GUID hid;
  HidD_GetHidGuid(&hid);
  return hid;
}

}  // namespace

HANDLE open_pad(unsigned number) {
  return each_device(hid_class(), [&](HANDLE h) { return has_ids(h, VPAD_VENDOR_ID, VPAD_PRODUCT_BASE + number); });
}

std::map<unsigned, int> pad_devices() {
  std::map<unsigned, int> devices;
  each_device(hid_class(), [&](HANDLE h) {
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    if (!HidD_GetAttributes(h, &attributes)) return false;
    if (attributes.VendorID == VPAD_VENDOR_ID && attributes.ProductID > VPAD_PRODUCT_BASE)
      ++devices[attributes.ProductID - VPAD_PRODUCT_BASE];
    else if (attributes.VendorID == XBUS_VENDOR_ID && attributes.ProductID == XBUS_PRODUCT_ID)
      ++devices[serial_number(h)];
    return false;
  });
  each_device(WINE_XINPUT_INTERFACE, [&](HANDLE h) { return ++devices[serial_number(h)], false; });
  devices.erase(0);
  return devices;
}

HANDLE open_bus() {
  return CreateFileW(XBUS_CONTROL_PATH, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, 0, nullptr);
}

}  // namespace vpad
