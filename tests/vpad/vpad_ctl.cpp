// vpad_ctl: plugs and unplugs the virtual pads of a case script in the running Wine
// prefix (64-bit only: drivers are installed from the prefix's own architecture).
//   vpad_ctl plug SCRIPT [N...]   adds the script's pads (all but those marked "later", or
//                                 pads N...) and waits until each is a HID device; each plug
//                                 is a new device instance, as a pad put into another port
//   vpad_ctl plug-same SCRIPT N...  the same with a fixed instance ID per pad number: the pad
//                                 back in the port it had at its last plug-same
//   vpad_ctl unplug all|N...      takes pads away and waits until they are gone
//   vpad_ctl anchor               plugs the anchor (see vpad_protocol.h), which "unplug all"
//                                 leaves, and waits for it: the driver has started
// Exit status 0 on success, 1 with a message on the error stream otherwise.
#include "tests/vpad/vpad_pad.h"
#include "tests/vpad/vpad_protocol.h"

#include <windows.h>
#include <initguid.h>
#include <devguid.h>
#include <newdev.h>
#include <setupapi.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

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

bool add_pad(const vpad::PadShape& shape, bool same_port = false) {
  HDEVINFO set = SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_HIDCLASS, nullptr);
  if (set == INVALID_HANDLE_VALUE) return false;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  const wchar_t ids[] = VPAD_HARDWARE_ID L"\0";
  const std::wstring port = std::wstring(VPAD_HARDWARE_ID) + L"\\PORT" + std::to_wstring(shape.number);
  bool ok = SetupDiCreateDeviceInfoW(set, same_port ? port.c_str() : L"JOYBITS_VPAD", &GUID_DEVCLASS_HIDCLASS, nullptr,
                                     nullptr, same_port ? 0 : DICD_GENERATE_ID, &device) &&
            SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, reinterpret_cast<const BYTE*>(ids),
                                              sizeof ids) &&
            SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &device);
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

// Waits up to ten seconds until each pad is (present) or is not (!present) a HID device.
bool wait_for(const std::vector<unsigned>& numbers, bool present) {
  for (int tries = 0; tries < 200; ++tries) {
    bool all = true;
    for (unsigned n : numbers) {
      HANDLE h = vpad::open_pad(n);
      if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
      all = all && (h != INVALID_HANDLE_VALUE) == present;
    }
    if (all) return true;
    Sleep(50);
  }
  return false;
}

std::wstring beside_me(const wchar_t* file) {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1) + file;
}

// Binds the driver to every pad device that has none yet, and starts it.
bool install() {
  BOOL reboot = FALSE;
  return UpdateDriverForPlugAndPlayDevicesW(nullptr, VPAD_HARDWARE_ID, beside_me(L"vpad.inf").c_str(), INSTALLFLAG_FORCE,
                                            &reboot);
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
    return wait_for(numbers.empty() ? all : numbers, false) ? 0 : fail("a pad did not go away");
  }
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
    std::fprintf(stderr, "usage: vpad_ctl plug SCRIPT [N...] | plug-same SCRIPT N... | unplug all|N... | anchor\n");
    return 2;
  }
  for (int i = 3; i < argc; ++i) numbers.push_back(static_cast<unsigned>(std::atoi(argv[i])));
  std::ifstream script(argv[2]);
  if (!script) return fail(std::string("cannot read ") + argv[2]);
  std::vector<unsigned> plugged;
  for (std::string line; std::getline(script, line);) {
    if (line.rfind("pad ", 0) != 0) continue;
    vpad::PadShape shape;
    std::string error;
    if (!vpad::parse_pad(line, shape, error)) return fail(error + ": " + line);
    bool chosen = numbers.empty() && !shape.later;
    for (unsigned n : numbers) chosen = chosen || n == shape.number;
    if (!chosen) continue;
    if (!remove_pads({shape.number})) return fail("cannot take away an earlier pad " + std::to_string(shape.number));
    if (!add_pad(shape, same_port)) return fail("cannot add pad " + std::to_string(shape.number));
    plugged.push_back(shape.number);
  }
  if (!plugged.empty() && !install()) return fail("cannot install the pad driver");
  return wait_for(plugged, true) ? 0 : fail("a pad did not arrive");
}
