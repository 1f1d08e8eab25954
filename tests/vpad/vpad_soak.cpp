// vpad_soak: drives the shipped joybits.dll over the system's own dinput8.dll for a while,
// as a host does and as fast as it can, with eight virtual pads whose reports change every
// few frames, a pad unplugged or plugged back (into the same port or another) every one to
// three seconds and 2,000 to 6,000 frames, a configure with a random mapping (one in eight
// refused) every 0.05 to 0.45 s and 200 to 1,800 frames, and the host's window losing and
// regaining the foreground every few seconds; and checks every bit of every frame.
//   vpad_soak JOYBITS_DLL VPAD_CTL PADS SECONDS [SEED]
// PADS is a case script's pad lines (soak_pads.txt); no two pads may have the same set of
// axes, since the help list's blocks tell which pad took which slot. The seed decides the
// mappings, the reports and the events, each from a stream of its own, so the same seed
// makes the same ones in the same order again (their timing is the machine's).
//
// The bits are checked against this program's own reading of the mapping language, for
// the tokens it writes, and of the reports it fed, allowing for what the platform may do:
//   - DirectInput reads a pad's reports on a thread of its own, so a frame may show an older
//     report than the last one fed, but never one older than the last it showed, nor one
//     superseded more than STALE seconds ago (except for STALE seconds after an event,
//     while the reports queued meanwhile are read); on a loaded machine that thread falls
//     further behind, so a report superseded less than LAG seconds ago is counted as late
//     (a '#' line), not wrong, and so is a new device's first state up to LAG seconds
//     after its pad's plug, or up to CONFIGURE_LAG after the configure that made it (a
//     device made again later, with no event, would be the plug-in's fault);
//   - for GRACE seconds after a configure, a change of the foreground, an unplug or a plug
//     (counted from the first poll after it, which acquires) a slot may not be read (its
//     bits keep, or read as a pad at rest); and until a new device has read a report it
//     gives its first state (Wine: -1 on every axis the pad has, no button pressed, hats
//     centred), again after a plug whenever the slot reads at rest (the frame taken for
//     its pad's report may have been the old device's last state, or the device read
//     after the plug may have failed: either way the plug-in takes the pad in anew);
//   - while the host's window is in the background, and while a slot's pad is unplugged,
//     the slot reads as a pad at rest (after GRACE): axes 0, buttons up, hats centred;
//   - a pad plugged back, into the same port or another, is taken back into its old slot,
//     and a pad that had no slot (it was away at the configure) into the first slot with no
//     pad, without a configure, within TAKE_IN seconds (the system tells the plug-in that a
//     pad came, and it looks 300 ms and 2 s after; a loaded machine takes longer), and read
//     from GRACE after that; until then the slot may keep its bits or read at rest;
//   - a slot with no pad, and so every j<n> entry beyond the pads, reads as a pad at rest;
//     constants stay; a read past the end is 1.
// A refused mapping must be answered with the echo, "//Sintax Error!" and the help list,
// and give no entry; a configure's help list must name every plugged pad once.
// The process's private memory (committed private pages) and handle count are sampled
// after a warm-up and at the end, each time after the same settling: every pad plugged,
// the host's window in front, the same mapping configured and half a second of frames.
// The plugs (same port, another port, into a free slot) and the longest time from a plug
// to the first frame whose bits the pad's report decided are shown on a '#' line; so are,
// for the plugs with no configure before their bits, where that time went (when the
// slowest poll between began and how long it took: the look and the take-in; when a new
// device's first state showed; the time from the report that first set the bits apart from
// a pad at rest), and where the run's time went (the plug-in's polls and configures,
// vpad_ctl, the soak's own).
// Last line: "soak: F frames, C configures, U unplugs, W wrong bits, memory +K KiB,
// handles +H". Exit status 0 when no bit was wrong, every answer was right, and memory
// grew by at most 64 KiB and handles not at all.
#include "plugin/joybits.h"
#include "tests/vpad/vpad_host.h"
#include "tests/vpad/vpad_pad.h"

#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using DeviceFunction = intptr_t (*)(int32_t, intptr_t);
using Rng = std::mt19937_64;

constexpr int SLOTS = 8;
constexpr int TABLE = 160;
constexpr double GRACE = 1.0;  // seconds a slot may go unread after a configure, a focus change, an unplug
constexpr double STALE = 2.0;  // seconds after which a superseded report may no longer show
constexpr double LAG = 10.0;   // seconds after which it is wrong, not late
constexpr double CONFIGURE_LAG = 2.0;  // seconds after a configure its new device's first state is late, not wrong
constexpr double TAKE_IN = 3.0;  // seconds from a plug until the plug-in has taken the pad in
constexpr std::size_t RING = 4096;  // reports kept per pad
constexpr long long MEMORY_GOAL_KIB = 64;
// An event's time until the next frame: a configure, a focus change, an unplug or a plug
// takes effect at the next poll (it acquires), however long the soak took to make that
// poll, so the event is dated by the first frame after it.
constexpr double PENDING = 1e300;
constexpr int WRONG_SHOWN = 20;
constexpr double SLOW_POLL = 0.010;  // seconds: a poll that took a pad in, looked or acquired

// A pad's state as DIJOYSTATE2 gives it: the six axes then the two sliders, the four
// points of view, the buttons.
struct State {
  std::int32_t axis[8];
  std::uint32_t pov[4];
  bool button[128];
};

struct Report {
  double time;
  State state;
};

enum class Test : std::uint8_t { constant, below, above, bit, button, pov };

// One token as this program reads it: the controller (0 for a constant), the test, the
// axis (0..7: x y z rx ry rz u v) or a point of view's direction (u r d l), the operand
// (threshold, bit, button, point of view 1..4), and where the token stands in the text.
struct Entry {
  Test test = Test::constant;
  int controller = 0;
  int axis = 0;
  std::int32_t operand = 0;
  bool invert = false;
  bool value = false;
  std::size_t start = 0, end = 0;
};

struct Mapping {
  std::string text;
  std::size_t echo = 0;  // bytes before the first '/'
  bool refused = false;
  int count = 0;
  Entry entries[TABLE];
};

struct PadRun {
  vpad::PadShape shape;
  vpad::PadValues values;
  unsigned axes = 0;  // the six axes it has, bit per axis
  HANDLE feed = INVALID_HANDLE_VALUE;
  bool plugged = false;
  double plugged_at = -1e9, unplugged_at = -1e9, fed_at = -1e9;
  State initial{};           // what a new device gives before its first report
  std::vector<Report> ring;  // report k at ring[k % RING]
  std::uint64_t next = 0;    // reports 0 .. next - 1 were fed; next - 1 is the newest
  std::uint64_t plug_report = 0;  // the driver's first report after the last plug
};

// A plug timed to its pad's bits: seconds from the plug to the first frame whose bits its
// report decided, and from the plug (or the first report after it that set bits apart from
// a pad at rest, when later) to that frame; when a new device's first state showed (-1: it
// never set bits apart); the slowest poll between (the one that took the pad in) and when
// it began, from the plug; whether another event came between.
struct TakeIn {
  double bits = 0, decided = 0, first_state = -1, look = -1, look_cost = 0;
  bool alone = true;
};

struct SlotRun {
  int pad = -1;             // index into the pads, or -1: no pad, the slot stays 0
  std::uint64_t seen = 0;   // the oldest report the slot may still show
  bool lost = false;        // its pad went away since the configure
  bool back = false;        // and came back, or a pad with no slot came into it
  bool timed = false;       // the delay from that plug to a read was measured
  bool settled = false;     // its device read a report since it last could have been set up
  double rest_at = -1;      // when it last read as a pad at rest
  double first_state_at = -1;    // when it first showed a new device's first state since its plug
  std::uint64_t events_at = 0;   // Soak::happenings at its plug
  double look_at = -1, look_cost = 0;  // the slowest poll since its plug: when it began, how long
  double event = 0;         // the configure, unplug or plug that last touched it
  std::vector<int> entries;
};

struct Soak {
  DeviceFunction device = nullptr;
  std::string ctl, pads_file;
  std::vector<PadRun> pads;
  SlotRun slots[SLOTS];
  Mapping mapping;
  HWND host = nullptr, other = nullptr;
  bool in_front = true;
  double focus_at = 0, configured_at = 0;
  bool bits[TABLE + 1] = {}, kept[TABLE + 1] = {};
  std::uint64_t frames = 0, configures = 0, unplugs = 0, wrong_bits = 0, wrong_answers = 0, evicted = 0, initial_reads = 0,
                again_reads = 0;  // first states after the pad was read since its plug, then at rest
  std::uint64_t late_reads = 0;  // slot reads of a report superseded more than STALE ago
  std::uint64_t focus_losses = 0, plugs = 0, same_port = 0, into_free = 0;
  double longest_take_in = 0;  // seconds from a plug to the first frame its report decided
  std::uint64_t happenings = 0;  // configures, plugs, unplugs and changes of the foreground so far
  std::vector<TakeIn> take_ins;
  // Where the run's time went: seconds in the plug-in's polls and configures (and the
  // longest of each), in vpad_ctl's plugs and unplugs, and in changes of the foreground.
  double in_polls = 0, longest_poll = 0, in_configures = 0, longest_configure = 0, in_ctl = 0, in_focus = 0;
  double in_checks = 0, in_feeds = 0;  // the soak's own: its checks of the bits, feeding the reports
  double in_slow_polls = 0;            // polls over SLOW_POLL, and how many
  std::uint64_t slow_polls = 0;
  int shown = 0;
  LARGE_INTEGER frequency{}, zero{};
  Rng mappings, reports, events;
};

double now(const Soak& s) {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart - s.zero.QuadPart) / static_cast<double>(s.frequency.QuadPart);
}

int pick(Rng& r, int low, int high) { return std::uniform_int_distribution<int>(low, high)(r); }
double pick_time(Rng& r, double low, double high) { return std::uniform_real_distribution<double>(low, high)(r); }

// ---- the mapping language, as this program writes and reads it ----

const char* const AXIS_LETTERS[8] = {"x", "y", "z", "rx", "ry", "rz", "u", "v"};
const char POV_LETTERS[] = "urdl";
// Tokens the compiler refuses, each wherever it stands among the first 160.
const char* const REFUSED[] = {"",     "j0b1", "j9x",  "J1b1",   "j1",  "j1r",  "j1rq",  "jx",    "!!j1b1", "!",
                               "q",    "ab",   "j1w",  "!!a",    "j1h", "j1h1", "j1h0u", "j1h5u", "j1h1ur", "j1h1U",
                               "j1hu", "j1h1q"};

void append_number(std::string& text, long long value, bool plus) {
  char digits[32];
  std::snprintf(digits, sizeof digits, plus && value >= 0 ? "+%lld" : "%lld", value);
  text += digits;
}

long long threshold(Rng& r) {
  switch (pick(r, 0, 9)) {
    case 0: case 1: case 2: case 3: case 4: return pick(r, -33000, 33000);
    case 5: case 6: return pick(r, -300, 300);
    case 7: {
      const int edges[] = {-32768, -32767, -1, 0, 1, 32766, 32767};
      return edges[pick(r, 0, 6)];
    }
    default: return pick(r, -100000, 100000);  // kept modulo 65536
  }
}

// Appends one token that the compiler takes, and says in e what it means.
void append_token(Rng& r, std::string& text, Entry& e) {
  e = Entry{};
  e.start = text.size();
  bool junk_allowed = true;
  if (pick(r, 0, 99) < 6) {
    const char* constants[] = {"a", "p", "!a", "!p"};
    const char* c = constants[pick(r, 0, 3)];
    text += c;
    e.value = c[std::strlen(c) - 1] == 'p';
    junk_allowed = false;
  } else {
    e.invert = pick(r, 0, 3) == 0;
    if (e.invert) text += '!';
    e.controller = pick(r, 1, SLOTS);
    text += 'j';
    text += static_cast<char>('0' + e.controller);
    int what = pick(r, 0, 99);
    if (what < 50) {
      e.axis = pick(r, 0, 7);
      text += AXIS_LETTERS[e.axis];
      int form = pick(r, 0, 2);
      if (form < 2) {
        e.test = form == 0 ? Test::below : Test::above;
        text += form == 0 ? '<' : '>';
        long long n = threshold(r);
        append_number(text, n, pick(r, 0, 9) == 0);
        e.operand = static_cast<std::int16_t>(static_cast<std::uint16_t>(n & 0xFFFF));
      } else {
        e.test = Test::bit;
        if (pick(r, 0, 9) == 0) {
          e.operand = 0;  // no number: bit 0
        } else {
          int n = pick(r, -20, 40);
          append_number(text, n, false);
          e.operand = n & 0xF;
        }
      }
    } else if (what < 80) {
      e.test = Test::button;
      int n = pick(r, 0, 4) < 3 ? pick(r, 1, 32) : pick(r, 0, 400);
      text += 'b';
      if (pick(r, 0, 19)) append_number(text, n, pick(r, 0, 19) == 0);
      else n = 0;  // no number: button 0, the last byte
      e.operand = n & 0x7F;
    } else {
      e.test = Test::pov;
      e.operand = pick(r, 0, 3) ? 1 : pick(r, 1, 4);
      e.axis = pick(r, 0, 3);
      text += 'h';
      text += static_cast<char>('0' + e.operand);
      text += POV_LETTERS[e.axis];
      junk_allowed = false;  // nothing may follow the direction
    }
  }
  if (junk_allowed && pick(r, 0, 9) == 0) text += "q=#;"[pick(r, 0, 3)];  // ignored after the number
  if (pick(r, 0, 11) == 0)  // blanks and tabs anywhere are left out
    text.insert(e.start + static_cast<std::size_t>(pick(r, 0, static_cast<int>(text.size() - e.start))), 1,
                pick(r, 0, 1) ? ' ' : '\t');
  e.end = text.size();
}

// A random mapping: up to 170 tokens (those past the 160th are ignored), now and then a
// last comma or a comment, and when refused one refused token among the first 160.
void make_mapping(Rng& r, bool refused, Mapping& m) {
  m.text.clear();
  int tokens = pick(r, 0, 4) == 0 ? pick(r, 1, 12) : pick(r, 1, 170);
  int bad = refused ? pick(r, 0, std::min(tokens, TABLE) - 1) : -1;
  const char* bad_token = refused ? REFUSED[pick(r, 0, sizeof REFUSED / sizeof *REFUSED - 1)] : "";
  if (refused && !*bad_token && bad == tokens - 1) ++tokens;  // an empty last token is a last comma
  Entry ignored;
  for (int i = 0; i < tokens; ++i) {
    if (i) m.text += ',';
    if (i == bad) {
      m.text += bad_token;
    } else {
      append_token(r, m.text, i < TABLE ? m.entries[i] : ignored);
    }
  }
  if (pick(r, 0, 7) == 0) m.text += ',';
  m.echo = m.text.size();
  if (pick(r, 0, 3) == 0) m.text += pick(r, 0, 1) ? "/ soak, j9b1,,x" : "//";
  m.refused = refused;
  m.count = refused ? 0 : std::min(tokens, TABLE);
}

bool evaluate(const Entry& e, const State& s) {
  bool r = false;
  switch (e.test) {
    case Test::constant: return e.value;
    case Test::below: r = s.axis[e.axis] < e.operand; break;
    case Test::above: r = s.axis[e.axis] > e.operand; break;
    case Test::bit: r = (static_cast<std::uint32_t>(s.axis[e.axis]) >> e.operand) & 1; break;
    case Test::button: r = s.button[(e.operand - 1) & 0x7F]; break;
    case Test::pov: {
      std::uint32_t a = s.pov[e.operand - 1];
      if ((a & 0xFFFF) == 0xFFFF || a >= 36000) break;  // centred
      switch (e.axis) {
        case 0: r = a < 6750 || a >= 29250; break;
        case 1: r = a >= 2250 && a < 15750; break;
        case 2: r = a >= 11250 && a < 24750; break;
        default: r = a >= 20250 && a < 33750; break;
      }
      break;
    }
  }
  return r != e.invert;
}

// What DirectInput makes of a report: 16-bit axes unchanged, a slider in rglSlider in the
// order of the report, an eight-way hat in hundredths of a degree (8: centred), missing
// axes 0 and missing points of view centred.
State state_of(const vpad::PadShape& shape, const vpad::PadValues& v) {
  State s{};
  for (auto& p : s.pov) p = 0xFFFFFFFF;
  int sliders = 0;
  for (std::size_t i = 0; i < shape.axes.size(); ++i) {
    if (shape.axes[i] == vpad::SLIDER)
      s.axis[6 + sliders++] = v.axes[i];
    else
      s.axis[shape.axes[i] - vpad::X] = v.axes[i];
  }
  if (shape.hat) s.pov[0] = v.hat < 8 ? static_cast<std::uint32_t>(v.hat) * 4500 : 0xFFFFFFFF;
  for (unsigned b = 0; b < shape.buttons && b < 128; ++b) s.button[b] = v.buttons[b];
  return s;
}

// A pad at rest: axes 0, buttons up, points of view centred.
State rest_state() {
  State s{};
  for (auto& p : s.pov) p = 0xFFFFFFFF;
  return s;
}
const State REST = rest_state();

// ---- the pads ----

void record(PadRun& p, double t) {
  Report& r = p.ring[p.next % RING];
  r.time = t;
  r.state = state_of(p.shape, p.values);
  ++p.next;
}

bool feed(Soak& s, PadRun& p) {
  double t = now(s);
  int changes = pick(s.reports, 1, 3);
  for (int c = 0; c < changes; ++c) {
    int what = pick(s.reports, 0, 9);
    if (what < 5 && !p.shape.axes.empty()) {
      int& a = p.values.axes[static_cast<std::size_t>(pick(s.reports, 0, static_cast<int>(p.shape.axes.size()) - 1))];
      int how = pick(s.reports, 0, 9);
      const int edges[] = {-32768, -32767, -1, 0, 1, 32766, 32767};
      a = how < 6 ? pick(s.reports, -32768, 32767) : how < 8 ? pick(s.reports, -300, 300) : edges[pick(s.reports, 0, 6)];
    } else if (what < 8 && p.shape.buttons) {
      std::size_t b = static_cast<std::size_t>(pick(s.reports, 0, static_cast<int>(p.shape.buttons) - 1));
      p.values.buttons[b] = !p.values.buttons[b];
    } else if (p.shape.hat) {
      p.values.hat = pick(s.reports, 0, 8);
    }
  }
  if (!vpad::send_report(p.feed, p.shape.number, p.shape, p.values)) return false;
  record(p, t);
  p.fed_at = t;
  return true;
}

// Into the same port as the pad's last plug-same, or as a new device (another port).
bool plug(Soak& s, PadRun& p, bool same_port = false) {
  double t = now(s);
  const std::string how = same_port ? "plug-same" : "plug";
  const int status = vpad::run("\"" + s.ctl + "\" " + how + " \"" + s.pads_file + "\" " + std::to_string(p.shape.number), nullptr);
  s.in_ctl += now(s) - t;
  if (status != 0) return false;
  p.feed = vpad::open_pad(p.shape.number);
  if (p.feed == INVALID_HANDLE_VALUE) return false;
  // The driver's first report is all zeros (a hat at 0 is up).
  p.values.axes.assign(p.shape.axes.size(), 0);
  p.values.buttons.assign(p.shape.buttons, false);
  p.values.hat = 0;
  record(p, t);
  p.plug_report = p.next - 1;
  p.plugged = true;
  p.plugged_at = now(s);
  ++s.happenings;
  return feed(s, p);
}

bool take_in(Soak& s, PadRun& p, std::uint64_t seen);

// A plug while the host runs: the pad goes back into its old slot, or, when it had none,
// into the first slot with no pad.
bool plug_back(Soak& s, PadRun& p, bool same_port) {
  if (!plug(s, p, same_port)) return false;
  ++s.plugs;
  s.same_port += same_port;
  return take_in(s, p, p.next - 2);  // the plug's first report, all zeros, or the one fed after it
}

// The slot a pad plugged in while the host runs goes to; seen: the oldest report it may show.
bool take_in(Soak& s, PadRun& p, std::uint64_t seen) {
  SlotRun* into = nullptr;
  for (auto& slot : s.slots)
    if (slot.pad >= 0 && &s.pads[static_cast<std::size_t>(slot.pad)] == &p) into = &slot;
  for (auto& slot : s.slots)
    if (!into && slot.pad < 0) {
      into = &slot;
      into->pad = static_cast<int>(&p - s.pads.data());
      ++s.into_free;
    }
  if (!into) return true;
  into->lost = into->back = true;
  into->timed = into->settled = false;
  into->first_state_at = into->look_at = -1;
  into->look_cost = 0;
  into->events_at = s.happenings;
  into->seen = seen;
  into->event = PENDING;
  return true;
}

bool unplug(Soak& s, PadRun& p) {
  CloseHandle(p.feed);
  p.feed = INVALID_HANDLE_VALUE;
  p.plugged = false;
  const double t = now(s);
  const int status = vpad::run("\"" + s.ctl + "\" unplug " + std::to_string(p.shape.number), nullptr);
  s.in_ctl += now(s) - t;
  if (status != 0) return false;
  ++s.unplugs;
  ++s.happenings;
  p.unplugged_at = now(s);
  for (auto& slot : s.slots)
    if (slot.pad >= 0 && &s.pads[static_cast<std::size_t>(slot.pad)] == &p) {
      slot.lost = true;
      slot.back = false;
      slot.event = PENDING;
    }
  return true;
}

// ---- configure and frames ----

std::string bits_text(const SlotRun& slot, const bool* bits) {
  std::string t;
  for (int i : slot.entries) t += bits[i] ? '1' : '0';
  return t;
}

void wrong_answer(Soak& s, const char* answer, const std::string& why) {
  ++s.wrong_answers;
  if (s.shown++ < WRONG_SHOWN)
    std::printf("soak: wrong answer at %.3f s: %s\n  mapping: %s\n  answer:  %s\n", now(s), why.c_str(),
                s.mapping.text.c_str(), answer ? answer : "(null)");
}

bool skip(const char*& p, const char* word) {
  std::size_t n = std::strlen(word);
  if (std::strncmp(p, word, n) != 0) return false;
  p += n;
  return true;
}

// Reads the answer: echo, the refusal when refused, and a help list whose blocks name
// pads (by their axes) in slots 1, 2, ...; every plugged pad once, a pad plugged in the last
// two seconds perhaps not yet, one unplugged in the last two seconds perhaps still.
void read_answer(Soak& s, const char* answer) {
  const double t = now(s);
  for (auto& slot : s.slots) {
    slot.pad = -1;
    slot.entries.clear();
  }
  const Mapping& m = s.mapping;
  const char* p = answer;
  if (!p || std::strncmp(p, m.text.c_str(), m.echo) != 0) return wrong_answer(s, answer, "the echo differs");
  p += m.echo;
  if (m.refused && !skip(p, "//Sintax Error!")) return wrong_answer(s, answer, "no syntax error marked");
  if (!skip(p, "//help//a;p;")) return wrong_answer(s, answer, "no help list where it belongs");
  std::vector<bool> listed(s.pads.size(), false);
  for (int slot = 0; *p; ++slot) {
    char head[4] = {'j', static_cast<char>('1' + slot), ':', 0};
    if (slot >= SLOTS || !skip(p, head)) return wrong_answer(s, answer, "a help block out of place");
    unsigned axes = 0;
    while (!skip(p, "b[n];")) {
      int axis = -1;
      for (int a = 5; a >= 0 && axis < 0; --a)  // rx before x
        if (std::strncmp(p, AXIS_LETTERS[a], std::strlen(AXIS_LETTERS[a])) == 0) axis = a;
      if (axis < 0) return wrong_answer(s, answer, "an unknown help fragment");
      p += std::strlen(AXIS_LETTERS[axis]);
      if (!skip(p, "[<N,>N,n],") || axes & 1u << axis) return wrong_answer(s, answer, "a bad help fragment");
      axes |= 1u << axis;
    }
    int pad = -1;
    for (std::size_t i = 0; i < s.pads.size(); ++i)
      if (s.pads[i].axes == axes) pad = static_cast<int>(i);
    if (pad < 0 || listed[static_cast<std::size_t>(pad)]) return wrong_answer(s, answer, "a help block names no pad, or one twice");
    const PadRun& pr = s.pads[static_cast<std::size_t>(pad)];
    if (!pr.plugged && t - pr.unplugged_at > 2) return wrong_answer(s, answer, "an unplugged pad is listed");
    listed[static_cast<std::size_t>(pad)] = true;
    SlotRun& sr = s.slots[slot];
    sr.pad = pad;
    // A new device may start from a report fed shortly before the configure.
    sr.seen = pr.next ? pr.next - 1 : 0;
    while (sr.seen > 0 && pr.next - sr.seen < RING && pr.ring[sr.seen % RING].time > t - STALE) --sr.seen;
    sr.settled = false;
    sr.lost = !pr.plugged;
    sr.back = false;
    sr.event = PENDING;
  }
  for (std::size_t i = 0; i < s.pads.size(); ++i)
    if (s.pads[i].plugged && !listed[i] && t - s.pads[i].plugged_at > 2)
      return wrong_answer(s, answer, "a plugged pad is missing from the help list");
  // A pad the configure did not see yet is taken in by a poll.
  for (std::size_t i = 0; i < s.pads.size(); ++i)
    if (s.pads[i].plugged && !listed[i]) {
      const PadRun& pr = s.pads[i];
      std::uint64_t seen = pr.next - 1;
      while (seen > 0 && pr.next - seen < RING && pr.ring[seen % RING].time > t - STALE) --seen;
      take_in(s, s.pads[i], seen);
    }
  for (int i = 0; i < m.count; ++i)
    if (m.entries[i].controller) s.slots[m.entries[i].controller - 1].entries.push_back(i);
}

void configure(Soak& s) {
  const double t = now(s);
  const char* answer = reinterpret_cast<const char*>(s.device(CMD_CONFIGURE, reinterpret_cast<intptr_t>(s.mapping.text.c_str())));
  const double spent = now(s) - t;
  s.in_configures += spent;
  s.longest_configure = std::max(s.longest_configure, spent);
  ++s.configures;
  ++s.happenings;
  s.configured_at = PENDING;
  read_answer(s, answer);
  for (auto& b : s.kept) b = false;  // a configure writes every result bit 0
}

void show_wrong(Soak& s, int slot, const char* why, const std::string& want) {
  if (s.shown++ >= WRONG_SHOWN) return;
  const SlotRun& sr = s.slots[slot];
  std::printf("soak: wrong bits at frame %" PRIu64 ", %.3f s: j%d (pad %u), %s\n  printed %s\n  wanted  %s\n  kept    %s\n  tokens ",
              s.frames, now(s), slot + 1, sr.pad >= 0 ? s.pads[static_cast<std::size_t>(sr.pad)].shape.number : 0, why,
              bits_text(sr, s.bits).c_str(), want.c_str(), bits_text(sr, s.kept).c_str());
  for (int i : sr.entries)
    std::printf("%s,", s.mapping.text.substr(s.mapping.entries[i].start, s.mapping.entries[i].end - s.mapping.entries[i].start).c_str());
  std::printf("\n");
  if (sr.pad < 0) return;
  const PadRun& p = s.pads[static_cast<std::size_t>(sr.pad)];
  bool first[TABLE + 1];
  for (int i : sr.entries) first[i] = evaluate(s.mapping.entries[i], p.initial);
  const double t = now(s);
  std::printf("  first   %s; its last event %.3f s ago, plug %.3f s ago, at rest %.3f s ago%s%s\n", bits_text(sr, first).c_str(),
              t - sr.event, t - p.plugged_at, sr.rest_at < 0 ? -1.0 : t - sr.rest_at, sr.back ? ", plugged back" : "",
              sr.settled ? ", read since" : "");
}

int differing(const Soak& s, const SlotRun& sr, const bool* want) {
  int n = 0;
  for (int i : sr.entries) n += s.bits[i] != want[i];
  return n;
}

bool shows(const Soak& s, const SlotRun& sr, const State& state) {
  for (int i : sr.entries)
    if (evaluate(s.mapping.entries[i], state) != s.bits[i]) return false;
  return true;
}

// Whether the slot shows a report before low that was superseded less than LAG ago.
bool shows_late(const Soak& s, const SlotRun& sr, const PadRun& p, std::uint64_t low, double t) {
  const std::uint64_t oldest = p.next > RING ? p.next - RING : 0;
  for (std::uint64_t k = low; k > oldest && p.ring[k % RING].time > t - LAG; --k)
    if (shows(s, sr, p.ring[(k - 1) % RING].state)) return true;
  return false;
}

// The slot's pad, plugged while the host runs, shows report k at t, whose bits differ from
// rest, a pad at rest's: the plug is timed.
void time_take_in(Soak& s, SlotRun& sr, const PadRun& p, const bool* rest, std::uint64_t k, double t) {
  std::uint64_t first = std::max(p.plug_report, p.next > RING ? p.next - RING : 0);
  while (first < k) {
    bool apart = false;
    for (int i : sr.entries) apart = apart || evaluate(s.mapping.entries[i], p.ring[first % RING].state) != rest[i];
    if (apart) break;
    ++first;
  }
  const double decided_from = std::max(p.plugged_at, p.ring[first % RING].time);
  sr.timed = true;
  s.longest_take_in = std::max(s.longest_take_in, t - p.plugged_at);
  if (s.take_ins.size() < s.take_ins.capacity())  // reserved before the first sample
    s.take_ins.push_back({t - p.plugged_at, t - decided_from, sr.first_state_at < 0 ? -1 : sr.first_state_at - p.plugged_at,
                          sr.look_at < 0 ? -1 : sr.look_at - p.plugged_at, sr.look_cost, s.happenings == sr.events_at});
}

void check_slot(Soak& s, int index, double t) {
  SlotRun& sr = s.slots[index];
  if (sr.entries.empty()) return;
  bool rest[TABLE + 1];
  for (int i : sr.entries) rest[i] = evaluate(s.mapping.entries[i], REST);
  const bool at_rest = differing(s, sr, rest) == 0;
  if (sr.pad < 0) {
    if (!at_rest) s.wrong_bits += static_cast<std::uint64_t>(differing(s, sr, rest)), show_wrong(s, index, "a slot with no pad", bits_text(sr, rest));
    return;
  }
  PadRun& p = s.pads[static_cast<std::size_t>(sr.pad)];
  const bool keeps = differing(s, sr, s.kept) == 0;
  const double since_focus = t - s.focus_at, since_event = t - sr.event;
  const bool taking_in = sr.back && since_event < TAKE_IN + GRACE;
  const bool must_rest = (!s.in_front && since_focus >= GRACE) || (sr.lost && !sr.back && since_event >= GRACE);
  if (must_rest) {
    if (!at_rest) s.wrong_bits += static_cast<std::uint64_t>(differing(s, sr, rest)), show_wrong(s, index, s.in_front ? "its pad is unplugged" : "the host is in the background", bits_text(sr, rest));
    return;
  }
  const bool may_keep = !s.in_front || since_focus < GRACE || since_event < GRACE || taking_in;
  // After a plug, a slot at rest may be taking its pad in anew (see the header): it may
  // next show a new device's first state.
  if (at_rest) sr.rest_at = t, sr.settled = sr.settled && !sr.back;
  if (may_keep && (keeps || at_rest)) return;
  std::uint64_t oldest = p.next > RING ? p.next - RING : 0;
  if (sr.seen < oldest) sr.seen = oldest, ++s.evicted;
  std::uint64_t low = sr.seen;
  // Until a new device has read a report, it gives its first state; a pad taken in more
  // than TAKE_IN after its plug (under load) is late. A slot whose pad was plugged back
  // may have matched a report at rest before the take-in: only its pad's bits end that.
  if (!sr.settled && shows(s, sr, p.initial)) {
    if (sr.back && !sr.timed && sr.first_state_at < 0) sr.first_state_at = t;
    if (t - s.configured_at < GRACE || taking_in) {
      ++s.initial_reads;
      s.again_reads += sr.timed;
      return;
    }
    if (sr.back && since_event < LAG) return void(++s.late_reads);
  }
  if (since_focus >= STALE && since_event >= STALE)
    while (low + 1 < p.next && p.ring[(low + 1) % RING].time <= t - STALE) ++low;
  for (std::uint64_t k = low; k < p.next; ++k)
    if (shows(s, sr, p.ring[k % RING].state)) {
      sr.seen = k;
      sr.settled = sr.settled || !sr.back || !at_rest;
      if (sr.back && !sr.timed && !at_rest) time_take_in(s, sr, p, rest, k, t);
      return;
    }
  if (shows_late(s, sr, p, low, t) || (!sr.settled && !sr.back && since_event < CONFIGURE_LAG && shows(s, sr, p.initial))) {
    ++s.late_reads;
    return;
  }
  bool want[TABLE + 1];
  const State& newest = p.ring[(p.next - 1) % RING].state;
  for (int i : sr.entries) want[i] = evaluate(s.mapping.entries[i], newest);
  s.wrong_bits += static_cast<std::uint64_t>(std::max(1, differing(s, sr, want)));
  char why[160];
  std::snprintf(why, sizeof why, "no report from %" PRIu64 " to %" PRIu64 " matches (fed %.3f s ago)%s", low, p.next - 1,
                t - p.ring[(p.next - 1) % RING].time, may_keep ? ", nor the kept bits, nor a pad at rest" : "");
  show_wrong(s, index, why, bits_text(sr, want));
}

void frame(Soak& s) {
  const double t = now(s);
  if (s.configured_at == PENDING) s.configured_at = t;
  if (s.focus_at == PENDING) s.focus_at = t;
  for (auto& slot : s.slots)
    if (slot.event == PENDING) slot.event = t;
  intptr_t n = s.device(CMD_POLL, 0);
  const double spent = now(s) - t;
  s.in_polls += spent;
  s.longest_poll = std::max(s.longest_poll, spent);
  if (spent > SLOW_POLL) s.in_slow_polls += spent, ++s.slow_polls;
  for (auto& slot : s.slots)
    if (slot.back && !slot.timed && spent > slot.look_cost) slot.look_cost = spent, slot.look_at = t;
  ++s.frames;
  if (n != s.mapping.count) {
    char why[80];
    std::snprintf(why, sizeof why, "a poll answered %ld entries, not %d", static_cast<long>(n), s.mapping.count);
    wrong_answer(s, nullptr, why);
  }
  for (int i = 0; i < s.mapping.count; ++i) s.bits[i] = s.device(CMD_NEXT_BIT, 0) != 0;
  if (s.device(CMD_NEXT_BIT, 0) != 1) ++s.wrong_bits;  // past the end
  for (int i = 0; i < s.mapping.count; ++i) {
    const Entry& e = s.mapping.entries[i];
    if (!e.controller && s.bits[i] != e.value) ++s.wrong_bits;
  }
  const double checks = now(s);
  for (int slot = 0; slot < SLOTS; ++slot) check_slot(s, slot, t);
  s.in_checks += now(s) - checks;
  std::memcpy(s.kept, s.bits, sizeof s.bits);
  if (s.frames % 64 == 0) vpad::pump();
}

void maybe_feed(Soak& s) {
  if (pick(s.reports, 0, 5)) return;
  PadRun& p = s.pads[static_cast<std::size_t>(pick(s.reports, 0, static_cast<int>(s.pads.size()) - 1))];
  const double t = now(s);
  if (!p.plugged || t - p.fed_at < 0.001) return;
  if (!feed(s, p)) std::printf("soak: cannot feed pad %u\n", p.shape.number);
  s.in_feeds += now(s) - t;
}

// Every pad plugged, the host in front, the same mapping, half a second of frames.
bool settle(Soak& s) {
  for (auto& p : s.pads)
    if (!p.plugged && !plug(s, p)) return false;
  if (!s.in_front) {
    if (!vpad::to_foreground(s.host)) return false;
    s.in_front = true;
    s.focus_at = PENDING;
  }
  Rng fixed(20261209);
  make_mapping(fixed, false, s.mapping);
  configure(s);
  for (double end = now(s) + 0.5; now(s) < end;) {
    maybe_feed(s);
    frame(s);
  }
  return true;
}

long long private_kib() {
  long long bytes = 0;
  MEMORY_BASIC_INFORMATION info;
  for (char* a = nullptr; VirtualQuery(a, &info, sizeof info) == sizeof info; a = static_cast<char*>(info.BaseAddress) + info.RegionSize) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) bytes += static_cast<long long>(info.RegionSize);
    if (static_cast<char*>(info.BaseAddress) + info.RegionSize <= a) break;
  }
  return bytes / 1024;
}

// The bytes in use in every heap of the process (the C runtime's among them): finer than
// the committed pages, which heaps take in large steps.
long long heap_bytes() {
  HANDLE heaps[64];
  DWORD n = GetProcessHeaps(64, heaps);
  long long bytes = 0;
  for (DWORD i = 0; i < n && i < 64; ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heaps[i], &entry))
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) bytes += entry.cbData;
    HeapUnlock(heaps[i]);
  }
  return bytes;
}

// Wine answers GetProcessHandleCount with 0: the handles are counted by asking each value
// a handle can have (multiples of 4) whether it is one.
constexpr std::uintptr_t HANDLE_VALUES = 0x40000;

long long handles(std::vector<bool>& valid) {
  long long n = 0;
  DWORD flags = 0;
  valid.assign(HANDLE_VALUES / 4, false);  // the same size: no allocation
  for (std::uintptr_t h = 4; h < HANDLE_VALUES; h += 4)
    if (GetHandleInformation(reinterpret_cast<HANDLE>(h), &flags)) valid[h / 4] = true, ++n;
  return n;
}

// The handles in now but not in before, with their object types.
void show_new_handles(const std::vector<bool>& before, const std::vector<bool>& now_valid) {
  using QueryObject = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  auto query = reinterpret_cast<QueryObject>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
  for (std::size_t i = 0; i < now_valid.size() && i < before.size(); ++i) {
    if (!now_valid[i] || before[i]) continue;
    alignas(8) unsigned char info[1024] = {};
    std::string type = "?";
    if (query && query(reinterpret_cast<HANDLE>(i * 4), 2, info, sizeof info, nullptr) >= 0) {  // ObjectTypeInformation
      const UNICODE_STRING* name = reinterpret_cast<const UNICODE_STRING*>(info);
      type.assign(name->Buffer, name->Buffer + name->Length / 2);
    }
    std::printf("# a handle more: 0x%zx, %s\n", i * 4, type.c_str());
  }
}

// The fewest handles of five counts a tenth of a second apart (Wine's own threads open
// handles for a moment), and the memory then.
// valid and seen have their size already, so that the sample allocates nothing.
void sample(const char* when, long long& memory, long long& heap, long long& handle_count, std::vector<bool>& valid,
            std::vector<bool>& seen) {
  const ULONGLONG start = GetTickCount64();
  handle_count = -1;
  for (int i = 0; i < 5; ++i) {
    if (i) Sleep(100), vpad::pump();
    long long n = handles(seen);
    if (handle_count < 0 || n < handle_count) handle_count = n, valid = seen, memory = private_kib();
  }
  heap = heap_bytes();
  std::printf("# %s: private memory %lld KiB (heap blocks in use %lld bytes), %lld handles (counted in %.1f s)\n", when,
              memory, heap, handle_count, static_cast<double>(GetTickCount64() - start) / 1e3);
}

// The pads of the pads file, each with the state Wine 8.0 gives a new device before its
// first report: -1 on each axis it has, no button, hats centred.
bool load_pads(Soak& s, std::string& error) {
  std::ifstream in(s.pads_file);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("pad ", 0) != 0) continue;
    PadRun p;
    if (!vpad::parse_pad(line, p.shape, error)) return false;
    for (auto usage : p.shape.axes)
      if (usage != vpad::SLIDER) p.axes |= 1u << (usage - vpad::X);
    p.ring.resize(RING);
    vpad::PadValues first;
    first.axes.assign(p.shape.axes.size(), -1);
    first.buttons.assign(p.shape.buttons, false);
    p.initial = state_of(p.shape, first);
    s.pads.push_back(std::move(p));
  }
  if (s.pads.empty() || s.pads.size() > SLOTS) return error = "one to eight pads in " + s.pads_file, false;
  return true;
}

// When the next event of each sort is due, in seconds of the run, and after the warm-up
// not before so many frames either: a configure or a plug under Wine takes from a tenth of
// a second to seconds, as the machine's load goes, so that the run's frames, configures
// and plugs keep their proportions (about 1,000 frames a configure, 4,000 a plug or
// unplug). After every second plug the next configure, and the next loss of the
// foreground, wait until the pad's bits were read or TAKE_IN + GRACE passed, so that the
// take-in is timed (a configure would number the pad first).
struct Schedule {
  double next_configure = 0, next_plug = 0.5, next_focus = 1, next_report = 60, hold_until = 0;
  std::uint64_t configure_frame = 0, plug_frame = 0;
};

// A pad plugged while the host runs whose bits were not read yet.
bool taking_in(const Soak& s) {
  for (const auto& slot : s.slots)
    if (slot.back && !slot.timed) return true;
  return false;
}

// The configures, plugs and changes of the foreground that are due at t; why the run
// cannot go on, or "".
std::string next_events(Soak& s, Schedule& sched, double t, bool warm) {
  std::string failure;
  const bool holding = t < sched.hold_until && taking_in(s);
  if (t >= sched.next_configure && s.frames >= sched.configure_frame && !holding) {
    make_mapping(s.mappings, pick(s.mappings, 0, 7) == 0, s.mapping);
    configure(s);
    sched.next_configure = now(s) + pick_time(s.events, 0.05, 0.45);
    sched.configure_frame = warm ? s.frames + static_cast<std::uint64_t>(pick(s.events, 200, 1800)) : 0;
  }
  if (t >= sched.next_plug && s.frames >= sched.plug_frame) {
    PadRun* away = nullptr;
    for (auto& p : s.pads)
      if (!p.plugged) away = &p;
    PadRun& p = away ? *away : s.pads[static_cast<std::size_t>(pick(s.events, 0, static_cast<int>(s.pads.size()) - 1))];
    if (!(away ? plug_back(s, p, pick(s.events, 0, 1) == 0) : unplug(s, p))) failure = "cannot plug or unplug pad " + std::to_string(p.shape.number);
    sched.next_plug = now(s) + (warm ? pick_time(s.events, 1, 3) : pick_time(s.events, 0.5, 1.5));
    sched.plug_frame = warm ? s.frames + static_cast<std::uint64_t>(pick(s.events, 2000, 6000)) : 0;
    if (warm && away && s.plugs % 2 == 0) sched.hold_until = now(s) + TAKE_IN + GRACE;
  }
  if (t >= sched.next_focus && !(s.in_front && holding)) {
    const double before = now(s);
    if (!vpad::to_foreground(s.in_front ? s.other : s.host)) failure = "a window did not get the foreground";
    s.in_focus += now(s) - before;
    s.in_front = !s.in_front;
    s.focus_losses += !s.in_front;
    ++s.happenings;
    s.focus_at = PENDING;
    sched.next_focus = now(s) + (s.in_front ? (warm ? pick_time(s.events, 2, 5) : 0.5) : pick_time(s.events, 0.2, 1.0));
  }
  return failure;
}

// The memory and handles after the warm-up (0) and at the end (1).
struct Samples {
  long long memory0 = 0, handles0 = 0, heap0 = 0, memory1 = 0, handles1 = 0, heap1 = 0;
  std::vector<bool> valid0 = std::vector<bool>(HANDLE_VALUES / 4), valid1 = valid0, seen = valid0;
};

// The clock and the three random streams of the seed (one drawn when none is given).
void start(Soak& s, const char* seed_text, double seconds) {
  QueryPerformanceFrequency(&s.frequency);
  QueryPerformanceCounter(&s.zero);
  const std::uint64_t seed = seed_text ? std::strtoull(seed_text, nullptr, 10) : std::random_device{}() * 4294967296ull + std::random_device{}();
  s.mappings.seed(seed);
  s.reports.seed(seed ^ 0x5EED0001);
  s.events.seed(seed ^ 0x5EED0002);
  std::printf("soak: seed %" PRIu64 ", %.0f s (replay: vpad_soak DLL CTL PADS %.0f %" PRIu64 ")\n", seed, seconds, seconds, seed);
  std::fflush(stdout);
}

// The pads read, the library loaded, the two windows made and every pad plugged; why not, or "".
std::string set_up(Soak& s, const char* library_path) {
  std::string error;
  if (!load_pads(s, error)) return error;
  s.mapping.text.reserve(8192);
  s.take_ins.reserve(65536);
  for (auto& slot : s.slots) slot.entries.reserve(TABLE);
  HMODULE library = LoadLibraryA(library_path);
  s.device = library ? reinterpret_cast<DeviceFunction>(reinterpret_cast<void*>(GetProcAddress(library, "_pbplug_Device"))) : nullptr;
  if (!s.device) return std::string("cannot load ") + library_path;
  vpad::run("\"" + s.ctl + "\" unplug all", nullptr);  // pads an earlier run left behind
  s.other = vpad::make_window(L"another application");
  s.host = vpad::make_window(L"joybits soak host");
  if (!s.host || !s.other) return "the windows did not get the foreground";
  s.device(CMD_SET_WINDOW, reinterpret_cast<intptr_t>(s.host));
  for (auto& p : s.pads)
    if (!plug(s, p)) return "cannot plug the pads";
  return "";
}

// Frames and events until the end, with the warm-up's sample: a fifth of the run, at most
// ten seconds, and at least two unplugs and two losses of the foreground. Why it stopped early, or "".
std::string run(Soak& s, double seconds, Samples& m, bool& warm) {
  const double warm_up = std::min(10.0, seconds / 5);
  Schedule sched;
  std::string failure;
  for (double t = now(s); t < seconds && failure.empty(); t = now(s)) {
    if (!warm && t >= warm_up && s.unplugs >= 2 && s.focus_losses >= 2) {
      if (!settle(s)) failure = "cannot settle after the warm-up";
      sample("after the warm-up", m.memory0, m.heap0, m.handles0, m.valid0, m.seen);
      warm = true;
      sched.next_configure = now(s);
    }
    if (t >= sched.next_report) {
      std::printf("# %.0f s: %" PRIu64 " frames, %" PRIu64 " configures, %" PRIu64 " unplugs, %" PRIu64 " wrong bits\n", t,
                  s.frames, s.configures, s.unplugs, s.wrong_bits);
      std::fflush(stdout);
      sched.next_report += 60;
    }
    if (failure.empty()) failure = next_events(s, sched, t, warm);
    maybe_feed(s);
    frame(s);
  }
  return failure;
}

// The median and the longest of a list of seconds (sorted here), and how many exceed limit.
std::string spread(std::vector<double> v, double limit) {
  if (v.empty()) return "none";
  std::sort(v.begin(), v.end());
  char text[96];
  std::snprintf(text, sizeof text, "median %.3f s, longest %.3f s, %td over %.1f s", v[v.size() / 2], v.back(),
                v.end() - std::upper_bound(v.begin(), v.end(), limit), limit);
  return text;
}

// The timed plugs, those with no other event before their bits apart, and the slowest.
void report_take_ins(const Soak& s) {
  for (int alone = 0; alone < 2; ++alone) {
    std::vector<double> bits, decided, first, look, cost;
    for (const TakeIn& t : s.take_ins) {
      if (alone && !t.alone) continue;
      bits.push_back(t.bits);
      decided.push_back(t.decided);
      if (t.first_state >= 0) first.push_back(t.first_state);
      if (t.look >= 0) look.push_back(t.look), cost.push_back(t.look_cost);
    }
    std::printf("# %zu plugs timed%s: from the plug to its pad's bits %s; from the plug or the first report that set"
                " them apart from a pad at rest %s; a new device's first state shown from the plug in %zu, %s;"
                " the slowest poll between began %s and took %s\n",
                bits.size(), alone ? " with no other event before their bits" : "", spread(bits, 0.5).c_str(),
                spread(decided, 0.5).c_str(), first.size(), spread(first, 0.5).c_str(), spread(look, 0.5).c_str(),
                spread(cost, 0.2).c_str());
  }
  std::vector<TakeIn> slowest(s.take_ins);
  std::sort(slowest.begin(), slowest.end(), [](const TakeIn& a, const TakeIn& b) { return a.decided > b.decided; });
  for (std::size_t i = 0; i < slowest.size() && i < 5 && slowest[i].decided > 0.5; ++i)
    std::printf("#   slow: bits %.3f s after the plug, %.3f s after they were decided; first state at %.3f s;"
                " the slowest poll between at %.3f s for %.3f s; %s\n", slowest[i].bits, slowest[i].decided,
                slowest[i].first_state, slowest[i].look, slowest[i].look_cost,
                slowest[i].alone ? "nothing else between" : "another event between");
}

// The closing lines; the exit status.
int report(const Soak& s, const Samples& m, std::string failure, bool warm) {
  const long long memory = m.memory1 - m.memory0, handle_growth = m.handles1 - m.handles0;
  if (!warm) failure = "the run ended before its warm-up did";
  if (!failure.empty()) std::printf("soak: FAILED: %s\n", failure.c_str());
  if (s.wrong_answers) std::printf("soak: FAILED: %" PRIu64 " answers were wrong\n", s.wrong_answers);
  if (memory > MEMORY_GOAL_KIB) std::printf("soak: FAILED: private memory grew by %lld KiB (goal: %lld)\n", memory, MEMORY_GOAL_KIB);
  if (handle_growth > 0) std::printf("soak: FAILED: %lld handles more (goal: none)\n", handle_growth);
  if (s.initial_reads)
    std::printf("# %" PRIu64 " slot reads showed a new device's first state, %" PRIu64 " of them after a report and a rest since the plug\n",
                s.initial_reads, s.again_reads);
  if (s.late_reads)
    std::printf("# %" PRIu64 " slot reads were late: a report superseded %.0f to %.0f s before, or a new device's first"
                " state %.0f to %.0f s after its plug or %.0f to %.0f s after a configure\n", s.late_reads, STALE, LAG,
                TAKE_IN + GRACE, LAG, GRACE, CONFIGURE_LAG);
  if (s.evicted) std::printf("# %" PRIu64 " times a slot's oldest possible report had left the ring\n", s.evicted);
  std::printf("# %" PRIu64 " plugs: %" PRIu64 " into the same port, %" PRIu64 " into another, %" PRIu64
              " into a slot with no pad; ", s.plugs, s.same_port, s.plugs - s.same_port, s.into_free);
  if (s.longest_take_in > 0)
    std::printf("longest from a plug to its pad's bits %.2f s\n", s.longest_take_in);
  else
    std::printf("no pad was read before a configure numbered it\n");
  report_take_ins(s);
  std::printf("# time: polls %.1f s (%" PRIu64 " over 10 ms: %.1f s; longest %.1f ms), configures %.1f s (longest %.1f ms), vpad_ctl %.1f s, foreground %.1f s;"
              " the soak's checks %.1f s, its feeds %.1f s; of %.1f s\n", s.in_polls, s.slow_polls, s.in_slow_polls, s.longest_poll * 1e3, s.in_configures,
              s.longest_configure * 1e3, s.in_ctl, s.in_focus, s.in_checks, s.in_feeds, now(s));
  std::printf("soak: %" PRIu64 " frames, %" PRIu64 " configures, %" PRIu64 " unplugs, %" PRIu64 " wrong bits, memory %+lld KiB, handles %+lld\n",
              s.frames, s.configures, s.unplugs, s.wrong_bits, memory, handle_growth);
  return failure.empty() && !s.wrong_bits && !s.wrong_answers && memory <= MEMORY_GOAL_KIB && handle_growth <= 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: vpad_soak JOYBITS_DLL VPAD_CTL PADS SECONDS [SEED]\n");
    return 2;
  }
  static Soak s;
  s.ctl = argv[2];
  s.pads_file = argv[3];
  const double seconds = std::atof(argv[4]);
  start(s, argc > 5 ? argv[5] : nullptr, seconds);
  std::string failure = set_up(s, argv[1]);
  if (!failure.empty()) return std::printf("soak: FAILED: %s\n", failure.c_str()), 1;
  static Samples m;  // its bitmaps made before the first sample, so that no sample counts them
  bool warm = false;
  failure = run(s, seconds, m, warm);
  if (failure.empty() && !settle(s)) failure = "cannot settle at the end";
  sample("at the end", m.memory1, m.heap1, m.handles1, m.valid1, m.seen);
  if (m.handles1 > m.handles0) show_new_handles(m.valid0, m.valid1);
  s.device(CMD_RELEASE, 0);
  for (auto& p : s.pads)
    if (p.feed != INVALID_HANDLE_VALUE) CloseHandle(p.feed);
  vpad::run("\"" + s.ctl + "\" unplug all", nullptr);
  return report(s, m, failure, warm);
}
