// vpad_ctl: plugs and unplugs the virtual pads of a case script in the running Wine
// prefix (64-bit only: drivers are installed from the prefix's own architecture).
//   vpad_ctl plug SCRIPT [N...]   adds the script's pads (all but those marked "later", or
//                                 pads N...) and waits until each is a HID device (an
//                                 XInput pad: both of the devices Wine makes over it); each
//                                 plug is a new device instance, as a pad put into another port
//   vpad_ctl plug-same SCRIPT N...  the same with a fixed instance ID per pad number: the pad
//                                 back in the port it had at its last plug-same
//   vpad_ctl unplug all|N...      takes pads away and waits until they are gone
//   vpad_ctl anchor               plugs the anchor (see vpad_protocol.h), which "unplug all"
//                                 leaves, and waits for it: the driver has started
//   vpad_ctl bus                  adds the XInput pads' bus and waits for its control device:
//                                 the bus driver has started
// Exit status 0 on success, 1 with a message on the error stream otherwise.
#include "tests/vpad/vpad_pad.h"
#include "tests/vpad/vpad_protocol.h"

#include <windows.h>
#include <initguid.h>
#include <devguid.h>
#include <newdev.h>
#include <setupapi.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// The pads this run plugs that are XInput pads, which have two devices each.
std::set<unsigned> xinput_pads;

int fail(const std::string& message) {
  std::fprintf(stderr, "vpad_ctl: %s (error %lu)\n", message.c_str(), GetLastError());
  return 1;
}

// The pad number written under a device's key, or 0 for a device that is not a pad.
unsigned pad_number(HDEVINFO set, SP_DEVINFO_DATA& device) {
  wchar_t ids[256] = {};
  if (!SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, nullptr, reinterpret_cast<BYTE*>(ids),
                                         sizeof ids - 2 * sizeof(wchar_t), nullptr) ||
      lstrcmpiW(ids, VPAD_HARDWARE_ID) != 0)
    return 0;
  HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return 0;
  DWORD number = 0, size = sizeof number;
  RegQueryValueExW(key, VPAD_VALUE_NUMBER, nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size);
  RegCloseKey(key);
  return number;
}

// Removes every pad whose number is chosen (all of them when numbers is empty).
bool remove_pads(const std::vector<unsigned>& numbers) {
  HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_HIDCLASS, L"ROOT", nullptr, 0);
  if (set == INVALID_HANDLE_VALUE) return false;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  bool ok = true;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
    unsigned number = pad_number(set, device);
    if (!number) continue;
    bool chosen = numbers.empty() && number != VPAD_ANCHOR;
    for (unsigned n : numbers) chosen = chosen || n == number;
    if (chosen && !SetupDiCallClassInstaller(DIF_REMOVE, set, &device)) ok = false;
  }
  SetupDiDestroyDeviceInfoList(set);
  return ok;
}

// Registers a root device of the class with the hardware ID (a multi-string of one), under
// the instance ID name, or a new one made from it (generate).
bool register_root_device(HDEVINFO set, SP_DEVINFO_DATA& device, const GUID& device_class, const wchar_t* hardware_id,
                          const wchar_t* name, bool generate) {
  std::wstring ids(hardware_id);
  ids.push_back(L'\0');
  return SetupDiCreateDeviceInfoW(set, name, &device_class, nullptr, nullptr, generate ? DICD_GENERATE_ID : 0, &device) &&
         SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, reinterpret_cast<const BYTE*>(ids.c_str()),
                                           static_cast<DWORD>((ids.size() + 1) * sizeof(wchar_t))) &&
         SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &device);
}

bool add_pad(const vpad::PadShape& shape, bool same_port = false) {
  HDEVINFO set = SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_HIDCLASS, nullptr);
  if (set == INVALID_HANDLE_VALUE) return false;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  const std::wstring port = std::wstring(VPAD_HARDWARE_ID) + L"\\PORT" + std::to_wstring(shape.number);
  bool ok = register_root_device(set, device, GUID_DEVCLASS_HIDCLASS, VPAD_HARDWARE_ID,
                                 same_port ? port.c_str() : L"JOYBITS_VPAD", !same_port);
  HKEY key = ok ? SetupDiCreateDevRegKeyW(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr)
                : static_cast<HKEY>(INVALID_HANDLE_VALUE);
  if (key != INVALID_HANDLE_VALUE) {
    DWORD number = shape.number;
    std::vector<std::uint8_t> descriptor = vpad::report_descriptor(shape);
    DWORD length = static_cast<DWORD>(vpad::input_report(shape, vpad::PadValues{}).size());
    ok = RegSetValueExW(key, VPAD_VALUE_NUMBER, 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), sizeof number) == 0 &&
         RegSetValueExW(key, VPAD_VALUE_PRODUCT, 0, REG_SZ, reinterpret_cast<const BYTE*>(shape.name.c_str()),
                        static_cast<DWORD>((shape.name.size() + 1) * sizeof(wchar_t))) == 0 &&
         RegSetValueExW(key, VPAD_VALUE_DESCRIPTOR, 0, REG_BINARY, descriptor.data(),
                        static_cast<DWORD>(descriptor.size())) == 0 &&
         RegSetValueExW(key, VPAD_VALUE_REPORT_LENGTH, 0, REG_DWORD, reinterpret_cast<BYTE*>(&length),
                        sizeof length) == 0;
    RegCloseKey(key);
  } else {
    if (ok) std::fprintf(stderr, "vpad_ctl: no device key (error %lu)\n", GetLastError());
    ok = false;
  }
  SetupDiDestroyDeviceInfoList(set);
  return ok;
}

// Waits up to ten seconds until each pad is there (present: a HID pad's device, or both of
// an XInput pad's) or none of its devices is (!present).
bool wait_for(const std::vector<unsigned>& numbers, bool present) {
  for (int tries = 0; tries < 200; ++tries) {
    std::map<unsigned, int> devices = vpad::pad_devices();
    bool all = true;
    for (unsigned n : numbers) {
      auto found = devices.find(n);
      int count = found == devices.end() ? 0 : found->second;
      all = all && (present ? count == (xinput_pads.count(n) ? 2 : 1) : count == 0);
    }
    if (all) return true;
    Sleep(50);
  }
  return false;
}

// Sends a request to the XInput pads' bus.
bool ask_bus(DWORD code, const void* request, DWORD size) {
  HANDLE bus = vpad::open_bus();
  if (bus == INVALID_HANDLE_VALUE) return false;
  DWORD got = 0;
  bool ok = DeviceIoControl(bus, code, const_cast<void*>(request), size, nullptr, 0, &got, nullptr);
  CloseHandle(bus);
  return ok;
}

bool unplug_xinput_pad(unsigned number) {
  xbus_unplug request{number};
  return ask_bus(XBUS_IOCTL_UNPLUG, &request, sizeof request);
}

// Puts an XInput pad on the bus, in place of an earlier one of its number.
bool plug_xinput_pad(const vpad::PadShape& shape, bool same_port) {
  if (!unplug_xinput_pad(shape.number) || !wait_for({shape.number}, false)) return false;
  xbus_plug request{};
  std::vector<std::uint8_t> descriptor = vpad::report_descriptor(shape);
  request.pad = shape.number;
  request.same_port = same_port;
  request.report_length = static_cast<unsigned>(vpad::input_report(shape, vpad::PadValues{}).size());
  request.descriptor_length = static_cast<unsigned>(descriptor.size());
  std::copy(descriptor.begin(), descriptor.end(), request.descriptor);
  for (std::size_t i = 0; i < shape.name.size() && i + 1 < sizeof request.product / sizeof *request.product; ++i)
    request.product[i] = static_cast<unsigned short>(shape.name[i]);
  return ask_bus(XBUS_IOCTL_PLUG, &request, sizeof request);
}

std::wstring beside_me(const wchar_t* file) {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1) + file;
}

// Binds the inf's driver to every device with the hardware ID that has none yet, and
// starts it.
bool install(const wchar_t* hardware_id = VPAD_HARDWARE_ID, const wchar_t* inf = L"vpad.inf") {
  BOOL reboot = FALSE;
  return UpdateDriverForPlugAndPlayDevicesW(nullptr, hardware_id, beside_me(inf).c_str(), INSTALLFLAG_FORCE, &reboot);
}

// Adds the XInput pads' bus on a root device of its own, and waits for its control device.
int add_bus() {
  HDEVINFO set = SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_SYSTEM, nullptr);
  if (set == INVALID_HANDLE_VALUE) return fail("cannot make a device list");
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  bool ok = register_root_device(set, device, GUID_DEVCLASS_SYSTEM, XBUS_HARDWARE_ID, L"JOYBITS_XBUS", true);
  SetupDiDestroyDeviceInfoList(set);
  if (!ok) return fail("cannot add the XInput pads' bus");
  if (!install(XBUS_HARDWARE_ID, L"xbus.inf")) return fail("cannot install the XInput pads' bus");
  for (int tries = 0; tries < 200; ++tries, Sleep(50)) {
    HANDLE bus = vpad::open_bus();
    if (bus != INVALID_HANDLE_VALUE) return CloseHandle(bus), 0;
  }
  return fail("the XInput pads' bus did not start");
}

}  // namespace

int main(int argc, char** argv) {
  std::string command = argc > 1 ? argv[1] : "";
  std::vector<unsigned> numbers;
  if (command == "unplug") {
    for (int i = 2; i < argc; ++i)
      if (std::string(argv[i]) != "all") numbers.push_back(static_cast<unsigned>(std::atoi(argv[i])));
    std::vector<unsigned> all;
    for (unsigned n = 1; n < VPAD_ANCHOR; ++n) all.push_back(n);
    if (!remove_pads(numbers)) return fail("cannot remove a pad");
    if (numbers.empty() && !unplug_xinput_pad(0)) return fail("cannot unplug the XInput pads");
    for (unsigned n : numbers)
      if (!unplug_xinput_pad(n)) return fail("cannot unplug XInput pad " + std::to_string(n));
    return wait_for(numbers.empty() ? all : numbers, false) ? 0 : fail("a pad did not go away");
  }
  if (command == "bus") return add_bus();
  if (command == "anchor") {
    vpad::PadShape anchor;
    anchor.number = VPAD_ANCHOR;
    anchor.name = L"joybits vpad anchor";
    anchor.vendor = true;
    if (!remove_pads({VPAD_ANCHOR}) || !add_pad(anchor)) return fail("cannot add the anchor");
    return install() && wait_for({VPAD_ANCHOR}, true) ? 0 : fail("the pad driver did not start");
  }
  const bool same_port = command == "plug-same";
  if ((command != "plug" && !same_port) || argc < 3 || (same_port && argc < 4)) {
    std::fprintf(stderr, "usage: vpad_ctl plug SCRIPT [N...] | plug-same SCRIPT N... | unplug all|N... | anchor | bus\n");
    return 2;
  }
  for (int i = 3; i < argc; ++i) numbers.push_back(static_cast<unsigned>(std::atoi(argv[i])));
  std::ifstream script(argv[2]);
  if (!script) return fail(std::string("cannot read ") + argv[2]);
  std::vector<unsigned> plugged;
  bool hid_pads = false;
  for (std::string line; std::getline(script, line);) {
    if (line.rfind("pad ", 0) != 0) continue;
    vpad::PadShape shape;
    std::string error;
    if (!vpad::parse_pad(line, shape, error)) return fail(error + ": " + line);
    bool chosen = numbers.empty() && !shape.later;
    for (unsigned n : numbers) chosen = chosen || n == shape.number;
    if (!chosen) continue;
    if (shape.xinput) {
      xinput_pads.insert(shape.number);
      if (!plug_xinput_pad(shape, same_port)) return fail("cannot plug XInput pad " + std::to_string(shape.number));
      plugged.push_back(shape.number);
      continue;
    }
    if (!remove_pads({shape.number})) return fail("cannot take away an earlier pad " + std::to_string(shape.number));
    if (!add_pad(shape, same_port)) return fail("cannot add pad " + std::to_string(shape.number));
    plugged.push_back(shape.number);
    hid_pads = true;
  }
  if (hid_pads && !install()) return fail("cannot install the pad driver");
  return wait_for(plugged, true) ? 0 : fail("a pad did not arrive");
}
