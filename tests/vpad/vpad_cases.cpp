// vpad_cases: runs one case script against the shipped joybits.dll over the system's own
// dinput8.dll, with virtual pads plugged by vpad_ctl, and compares what it prints with the
// script.
//   vpad_cases JOYBITS_DLL VPAD_CTL SCRIPT [JOYBITS_HOST]
// A script is its own expected output: every line that is not blank or a '#' comment is
// printed back, a "pad" line as it stands, a "> command" line followed by what the command
// printed. So the script holds, under each command, the lines it must print. Lines the
// runner starts with '#' (measurements) are shown but not compared.
//   pad N ...           a virtual pad (see vpad_pad.h); all are plugged before the first command
//   > window            a visible window, the foreground one, handed over with command 0
//   > configure [TEXT]  command 7 with TEXT (the rest of the line; none: an empty text);
//                       prints the answer
//   > configure-null    command 7 with no text
//   > again             command 7 with the pointer of the last answer itself
//   > poll              command 8, a frame (50 ms) after the last command; prints its answer
//   > poll-for MS       command 8 every 50 ms for MS ms; prints the last answer
//   > bits              command 9 once per entry; prints the bits in groups of eight
//   > set N NAME=V ...  pad N's report: an axis (x, y, z, rx, ry, rz, slider), hat, or bK
//   > unplug N          takes pad N away (waits until it is gone)
//   > plug N            plugs pad N as a new device, as into another port (waits for it)
//   > plug-same N       plugs pad N into the port of its last plug-same (waits for it)
//   > other, > back     another window takes the foreground; the host's window takes it back
//   > release           command 1; prints its answer
//   > slowest-poll MS   prints whether every poll since the last unplug took under MS
//   > poll-until MS BITS  command 8 every 16 ms (a 60 Hz host), pumping the host's messages,
//                       until the bits read are BITS, for at most MS ms; prints whether
//                       they came within MS ms. Under Wine a device just acquired may serve
//                       DirectInput's first state (axes -1, no button) for a second or more
//                       on a loaded machine although its pad's reports arrive.
//   > device-list-reads  prints how often the plug-in called GetRawInputDeviceList so far
//   > xinput-state U    what Wine's own XInput (xinput1_4.dll, loaded by the runner at the
//                       first of these) reads for user U: connected or not, the buttons in
//                       hex, the triggers, the sticks (see xinput_state)
//   > module-loaded NAME  whether NAME is loaded in the runner's process, the plug-in's
//   > tool ARGS...      runs JOYBITS_HOST with ARGS; prints its output and exit status
// A '*' in an expected line matches any run of characters (a GUID, a path). A line that
// starts with "[wine] " or "[sim] " belongs to one platform only: the same scripts also run
// over the simulated platform (vpad_cases_sim, beside the simulated dinput8.dll, where a
// pad is a simulated controller), and such lines are where the two differ.
// Exit status 0 when the output matches.
#include "plugin/joybits.h"
#include "tests/vpad/vpad_host.h"
#include "tests/vpad/vpad_pad.h"
#include "tests/vpad/vpad_protocol.h"
#if defined(VPAD_SIM)
#include "sim/sim_platform.h"
#endif

#include <windows.h>
#include <xinput.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

#if defined(VPAD_SIM)
constexpr const char* PLATFORM = "[sim] ";
#else
constexpr const char* PLATFORM = "[wine] ";
#endif

using DeviceFunction = intptr_t (*)(int32_t, intptr_t);

// What the state query at ordinal 100 (XInputGetStateEx) fills: XINPUT_STATE, with the
// guide as bit 0x0400 of the buttons, and on Windows a reserved word after it.
struct XInputStateEx {
  XINPUT_STATE state;
  DWORD reserved;
};
using XInputGetStateFunction = DWORD(WINAPI*)(DWORD, XInputStateEx*);

struct Pad {
  vpad::PadShape shape;
  vpad::PadValues values;
  int controller = -1;  // on the simulated platform
};

struct Runner {
  DeviceFunction device = nullptr;
  XInputGetStateFunction xinput_get_state = nullptr;
  std::string ctl, script, host_tool;
  std::map<unsigned, Pad> pads;
  HWND window = nullptr, other = nullptr;
  const char* answer = nullptr;
  intptr_t entries = 0;
  double slowest_ms = 0;
  std::vector<std::string> out;

  void print(const std::string& line) {
    out.push_back(line);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }
};

bool matches(const char* want, const char* got) {
  if (*want == '*') return matches(want + 1, got) || (*got && matches(want, got + 1));
  return *want == *got && (!*want || matches(want + 1, got + 1));
}

using vpad::make_window;
using vpad::pump;
using vpad::run;
using vpad::to_foreground;

#if defined(VPAD_SIM)
SimAxis sim_axis(vpad::Usage usage) { return static_cast<SimAxis>(usage - vpad::X); }

// The simulated controllers, added in pad order as they are first plugged, with the axes
// last first as Wine lists them, and the product IDs the virtual pads show. The same port
// attaches its controller again; another port moves it there (sim_plug_elsewhere).
void add_controller(Pad& pad) {
  pad.controller = sim_add_controller(std::string(pad.shape.name.begin(), pad.shape.name.end()).c_str());
  sim_set_product_ids(pad.controller, VPAD_VENDOR_ID, static_cast<uint16_t>(VPAD_PRODUCT_BASE + pad.shape.number));
  for (auto a = pad.shape.axes.rbegin(); a != pad.shape.axes.rend(); ++a) sim_add_axis(pad.controller, sim_axis(*a));
  if (pad.shape.hat) sim_add_pov(pad.controller);
  if (pad.shape.buttons) sim_add_buttons(pad.controller, static_cast<int>(pad.shape.buttons));
}

bool plug_pads(Runner& r, const std::string& which, bool same_port) {
  for (auto& [number, pad] : r.pads) {
    if (which.empty() ? pad.shape.later : std::stoul(which) != number) continue;
    if (pad.controller < 0) {
      add_controller(pad);
    } else if (same_port) {
      sim_set_attached(pad.controller, true);
    } else {
      sim_plug_elsewhere(pad.controller);
    }
  }
  return true;
}

bool unplug(Runner& r, const std::string& which) {
  auto found = r.pads.find(static_cast<unsigned>(std::stoul(which)));
  if (found == r.pads.end()) return false;
  sim_set_attached(found->second.controller, false);
  return true;
}

bool set_foreground(Runner&, bool host) {
  sim_set_foreground(host);
  return true;
}

// A simulated axis takes positions in -32768..32767: an 8-bit value is spread linearly.
bool send(Runner&, unsigned, Pad& pad) {
  for (std::size_t i = 0; i < pad.shape.axes.size(); ++i) {
    LONG v = pad.values.axes[i];
    sim_set_axis(pad.controller, sim_axis(pad.shape.axes[i]), pad.shape.bits == 8 ? -32768 + v * 257 : v);
  }
  for (unsigned b = 0; b < pad.shape.buttons; ++b) sim_set_button(pad.controller, static_cast<int>(b), pad.values.buttons[b]);
  // An eight-way hat's position 0..7 is an angle in steps of 45 degrees; 8 is centred.
  if (pad.shape.hat) sim_set_pov(pad.controller, 0, pad.values.hat < 8 ? static_cast<DWORD>(pad.values.hat) * 4500 : 0xFFFFFFFF);
  return true;
}
#else
bool plug_pads(Runner& r, const std::string& which, bool same_port) {
  return run("\"" + r.ctl + "\" " + (same_port ? "plug-same" : "plug") + " \"" + r.script + "\" " + which, nullptr) == 0;
}

bool unplug(Runner& r, const std::string& which) {
  return run("\"" + r.ctl + "\" unplug " + which, nullptr) == 0;
}

bool set_foreground(Runner& r, bool host) {
  if (!host && !r.other) r.other = make_window(L"another application");
  return (host ? r.window : r.other) && to_foreground(host ? r.window : r.other);
}

// A HID pad is fed on its own HID device, an XInput pad through the bus's control device.
bool send(Runner&, unsigned number, Pad& pad) {
  HANDLE h = pad.shape.xinput ? vpad::open_bus() : vpad::open_pad(number);
  bool ok = vpad::send_report(h, number, pad.shape, pad.values);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  Sleep(100);  // the report travels through the HID class driver to DirectInput's reader
  return ok;
}
#endif

// The plug-in's calls of the system's GetRawInputDeviceList, counted by pointing its import
// from user32 at count_device_list_read, which calls the system's own.
UINT(WINAPI* system_device_list)(PRAWINPUTDEVICELIST, PUINT, UINT) = nullptr;
int device_list_reads = 0;

UINT WINAPI count_device_list_read(PRAWINPUTDEVICELIST list, PUINT count, UINT size) {
  ++device_list_reads;
  return system_device_list(list, count, size);
}

bool count_device_list_reads(HMODULE library) {
  auto* base = reinterpret_cast<BYTE*>(library);
  auto* headers = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name != 0; ++d) {
    if (lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), "user32.dll") != 0) continue;
    auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
    for (; name->u1.AddressOfData != 0; ++name, ++slot) {
      if ((name->u1.Ordinal & IMAGE_ORDINAL_FLAG) != 0) continue;
      const auto* by_name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), "GetRawInputDeviceList") != 0) continue;
      DWORD was = 0;
      if (!VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &was)) return false;
      system_device_list = reinterpret_cast<decltype(system_device_list)>(slot->u1.Function);
      slot->u1.Function = reinterpret_cast<ULONG_PTR>(&count_device_list_read);
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, was, &was);
      return true;
    }
  }
  return false;
}

// What Wine's own XInput reads for user U: the guide through the state query at ordinal
// 100, which Wine's xinput1_4.dll has. XInput reads on a thread of its own, so a reading
// is taken once XInput has had two reports since the command began (a pad reports every
// 50 ms), or once the user has stayed not connected for 300 ms; within 2 s.
std::string xinput_state(Runner& r, DWORD user) {
  if (!r.xinput_get_state) {
    HMODULE xinput = LoadLibraryW(L"xinput1_4.dll");
    r.xinput_get_state =
        xinput ? reinterpret_cast<XInputGetStateFunction>(reinterpret_cast<void*>(GetProcAddress(xinput, MAKEINTRESOURCEA(100))))
               : nullptr;
    if (!r.xinput_get_state) return "xinput1_4.dll has no state query at ordinal 100";
  }
  XInputStateEx ex{};
  const XINPUT_STATE& state = ex.state;
  DWORD answer = r.xinput_get_state(user, &ex);
  const DWORD first_packet = state.dwPacketNumber;
  auto start = std::chrono::steady_clock::now(), absent_since = start;
  for (auto now = start; now - start < std::chrono::seconds(2); now = std::chrono::steady_clock::now()) {
    if (answer == ERROR_SUCCESS && state.dwPacketNumber - first_packet >= 2) break;
    if (answer != ERROR_SUCCESS && now - absent_since >= std::chrono::milliseconds(300)) break;
    Sleep(10);
    DWORD was = answer;
    answer = r.xinput_get_state(user, &ex);
    if (answer != ERROR_SUCCESS && was == ERROR_SUCCESS) absent_since = std::chrono::steady_clock::now();
  }
  char line[160];
  if (answer != ERROR_SUCCESS) {
    std::snprintf(line, sizeof line, "user %lu: not connected (%lu)", user, answer);
  } else {
    const XINPUT_GAMEPAD& pad = state.Gamepad;
    std::snprintf(line, sizeof line, "user %lu: buttons %04x, triggers %u %u, left %d %d, right %d %d", user,
                  pad.wButtons, pad.bLeftTrigger, pad.bRightTrigger, pad.sThumbLX, pad.sThumbLY, pad.sThumbRX,
                  pad.sThumbRY);
  }
  return line;
}

std::string bits_of(Runner& r) {
  std::string bits;
  for (intptr_t i = 0; i < r.entries; ++i) {
    if (i && i % 8 == 0) bits += ' ';
    bits += r.device(CMD_NEXT_BIT, 0) ? '1' : '0';
  }
  return bits;
}

bool feed(Runner& r, unsigned number, std::istringstream& words, std::string& error) {
  auto found = r.pads.find(number);
  if (found == r.pads.end()) return error = "no pad " + std::to_string(number), false;
  Pad& pad = found->second;
  for (std::string word; words >> word;) {
    auto eq = word.find('=');
    if (eq == std::string::npos) return error = "expected NAME=VALUE: " + word, false;
    std::string name = word.substr(0, eq);
    int value = std::stoi(word.substr(eq + 1));
    bool known = false;
    for (std::size_t i = 0; i < pad.shape.axes.size(); ++i)
      if (pad.shape.axes[i] == vpad::axis_usage(name)) pad.values.axes[i] = value, known = true;
    if (name == "hat" && pad.shape.hat) pad.values.hat = value, known = true;
    if (name.size() > 1 && name[0] == 'b' && std::isdigit(static_cast<unsigned char>(name[1]))) {
      unsigned b = static_cast<unsigned>(std::stoul(name.substr(1)));
      if (b >= 1 && b <= pad.shape.buttons) pad.values.buttons[b - 1] = value != 0, known = true;
    }
    if (!known) return error = "pad " + std::to_string(number) + " has no " + name, false;
  }
  if (!send(r, number, pad)) return error = "cannot feed pad " + std::to_string(number), false;
  return true;
}

// Runs one "> " command; false with error set when the script itself is wrong.
bool command(Runner& r, const std::string& line, std::string& error) {
  std::istringstream words(line.substr(2));
  std::string verb;
  words >> verb;
  std::string rest = line.size() > 3 + verb.size() ? line.substr(3 + verb.size()) : "";
  if (verb == "window") {
    r.window = make_window(L"joybits case host");
    if (!r.window) return error = "the host's window did not get the foreground", false;
    r.device(CMD_SET_WINDOW, reinterpret_cast<intptr_t>(r.window));
  } else if (verb == "configure" || verb == "configure-null" || verb == "again") {
    intptr_t argument = verb == "again" ? reinterpret_cast<intptr_t>(r.answer)
                        : verb == "configure" ? reinterpret_cast<intptr_t>(rest.c_str())
                                              : 0;
    r.answer = reinterpret_cast<const char*>(r.device(CMD_CONFIGURE, argument));
    r.print(r.answer ? r.answer : "(null)");
    r.entries = 0;
  } else if (verb == "poll") {
    // A host polls once a frame; DirectInput reads a pad's reports on a thread of its own,
    // so a state that arrives with an acquire is there one frame later.
    Sleep(50);
    auto start = std::chrono::steady_clock::now();
    r.entries = r.device(CMD_POLL, 0);
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (ms > r.slowest_ms) r.slowest_ms = ms;
    r.print(std::to_string(r.entries));
  } else if (verb == "poll-for") {
    for (auto start = std::chrono::steady_clock::now();
         std::chrono::steady_clock::now() - start < std::chrono::milliseconds(std::stoi(rest));) {
      Sleep(50);
      r.entries = r.device(CMD_POLL, 0);
      pump();
    }
    r.print(std::to_string(r.entries));
  } else if (verb == "bits") {
    r.print(bits_of(r));
  } else if (verb == "set") {
    unsigned number = 0;
    words >> number;
    return feed(r, number, words, error);
  } else if (verb == "unplug") {
    r.slowest_ms = 0;
    if (!unplug(r, rest)) return error = "cannot unplug " + rest, false;
  } else if (verb == "plug" || verb == "plug-same") {
    if (!plug_pads(r, rest, verb == "plug-same")) return error = "cannot plug " + rest, false;
  } else if (verb == "other") {
    if (!set_foreground(r, false)) return error = "another window did not get the foreground", false;
  } else if (verb == "back") {
    if (!set_foreground(r, true)) return error = "the host's window did not get the foreground back", false;
  } else if (verb == "release") {
    r.print(std::to_string(r.device(CMD_RELEASE, 0)));
  } else if (verb == "slowest-poll") {
    double bound = std::stod(rest);
    char measured[64];
    std::snprintf(measured, sizeof measured, "# slowest poll %.2f ms", r.slowest_ms);
    r.print(measured);
    r.print(r.slowest_ms < bound ? "under " + rest + " ms" : "over " + rest + " ms");
  } else if (verb == "poll-until") {
    int ms = 0;
    std::string want, got;
    words >> ms >> std::ws;
    std::getline(words, want);  // the bits as "bits" prints them, grouped by eight
    double took = 0, slowest = 0, slowest_at = 0;
    for (auto start = std::chrono::steady_clock::now(); got != want && took < ms;) {
      Sleep(16);
      auto before = std::chrono::steady_clock::now();
      r.entries = r.device(CMD_POLL, 0);
      double poll_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - before).count();
      if (poll_ms > slowest) slowest = poll_ms, slowest_at = took;
      got = bits_of(r);
      took = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
      pump();
    }
    char measured[96];
    std::snprintf(measured, sizeof measured, "# %s after %.0f ms; the slowest poll %.1f ms, at %.0f ms", got.c_str(), took,
                  slowest, slowest_at);
    r.print(measured);
    r.print(got == want ? want + " within " + std::to_string(ms) + " ms" : "not within " + std::to_string(ms) + " ms: " + got);
  } else if (verb == "xinput-state") {
    r.print(xinput_state(r, static_cast<DWORD>(std::stoul(rest))));
  } else if (verb == "module-loaded") {
    std::wstring name(rest.begin(), rest.end());
    r.print(rest + (GetModuleHandleW(name.c_str()) ? " is loaded" : " is not loaded"));
  } else if (verb == "device-list-reads") {
    r.print(std::to_string(device_list_reads));
  } else if (verb == "tool") {
    std::vector<std::string> lines;
    int status = run("\"" + r.host_tool + "\" " + rest, &lines);
    for (auto& l : lines) r.print(l);
    r.print("exit " + std::to_string(status));
  } else {
    return error = "unknown command: " + line, false;
  }
  pump();
  return true;
}

// The script's lines for this platform: comments, blank lines and the other platform's
// lines dropped, this platform's prefix taken off.
std::vector<std::string> read_script(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind(PLATFORM, 0) == 0) {
      line.erase(0, std::strlen(PLATFORM));
    } else if (line.rfind("[wine] ", 0) == 0 || line.rfind("[sim] ", 0) == 0) {
      continue;
    }
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  }
  return lines;
}

// Runs the script's pads and commands (the pads are plugged before the first command); what
// the runner must print, in expected. False with error set when the script stopped.
bool run_script(Runner& r, const std::vector<std::string>& lines, std::vector<std::string>& expected,
                std::string& error) {
  bool plugged = false;
  for (const std::string& line : lines) {
    expected.push_back(line);
    if (line.rfind("> ", 0) == 0) {
      if (!plugged && !r.pads.empty() && !plug_pads(r, "", false)) return error = "cannot plug the pads", false;
      plugged = true;
      r.print(line);
      if (!command(r, line, error)) return false;
    } else if (line.rfind("pad ", 0) == 0) {
      Pad pad;
      if (!vpad::parse_pad(line, pad.shape, error)) return false;
      pad.values.axes.assign(pad.shape.axes.size(), 0);
      pad.values.buttons.assign(pad.shape.buttons, false);
      r.pads[pad.shape.number] = pad;
      r.print(line);
    }
  }
  return true;
}

// The plug-in must have used the platform meant: the system's DirectInput, or the
// simulated one beside the program. Releases the plug-in.
void check_platform(Runner& r, std::string& error) {
  wchar_t dinput[MAX_PATH] = L"";
  GetModuleFileNameW(GetModuleHandleW(L"dinput8.dll"), dinput, MAX_PATH);
  CharLowerW(dinput);
  bool system_dinput = std::wcsstr(dinput, L"\\windows\\") != nullptr;
  r.device(CMD_RELEASE, 0);
#if defined(VPAD_SIM)
  if (error.empty() && system_dinput) error = "dinput8.dll was the system's own, not the simulated one";
#else
  if (error.empty() && !system_dinput) error = "dinput8.dll was not the system's own";
  run("\"" + r.ctl + "\" unplug all", nullptr);
#endif
}

// What was printed (its '#' lines aside) against what the script expects, line by line.
int compare(const std::string& name, const std::vector<std::string>& out, const std::vector<std::string>& expected) {
  std::vector<std::string> actual;
  for (auto& l : out)
    if (l.empty() || l[0] != '#') actual.push_back(l);
  for (std::size_t i = 0; i < std::max(actual.size(), expected.size()); ++i) {
    std::string want = i < expected.size() ? expected[i] : "(nothing)";
    std::string got = i < actual.size() ? actual[i] : "(nothing)";
    if (!matches(want.c_str(), got.c_str())) {
      std::printf("case %s: FAILED at line %zu\n  expected: %s\n  printed:  %s\n", name.c_str(), i + 1, want.c_str(),
                  got.c_str());
      return 1;
    }
  }
  std::printf("case %s: ok (%zu lines)\n", name.c_str(), actual.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: vpad_cases JOYBITS_DLL VPAD_CTL SCRIPT [JOYBITS_HOST]\n");
    return 2;
  }
  Runner r;
  r.ctl = argv[2];
  r.script = argv[3];
  r.host_tool = argc > 4 ? argv[4] : "";
  const std::vector<std::string> lines = read_script(r.script);
  std::string name = r.script.substr(r.script.find_last_of("/\\") + 1);
  if (lines.empty()) return std::printf("case %s: FAILED: cannot read the script\n", name.c_str()), 1;

  HMODULE library = LoadLibraryA(argv[1]);
  r.device = library ? reinterpret_cast<DeviceFunction>(
                           reinterpret_cast<void*>(GetProcAddress(library, "_pbplug_Device")))
                     : nullptr;
  if (!r.device) return std::printf("case %s: FAILED: cannot load %s\n", name.c_str(), argv[1]), 1;
  if (!count_device_list_reads(library))
    return std::printf("case %s: FAILED: %s imports no GetRawInputDeviceList\n", name.c_str(), argv[1]), 1;

  std::vector<std::string> expected;
  std::string error;
#if defined(VPAD_SIM)
  sim_reset();
#else
  run("\"" + r.ctl + "\" unplug all", nullptr);  // a pad an earlier case left behind
#endif
  run_script(r, lines, expected, error);
  check_platform(r, error);
  if (!error.empty()) return std::printf("case %s: FAILED: %s\n", name.c_str(), error.c_str()), 1;
  return compare(name, r.out, expected);
}
