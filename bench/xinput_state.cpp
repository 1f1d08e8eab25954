// xinput_state: what a call of Wine's own XInput state query costs (XInputGetState of
// xinput1_4.dll, loaded as the plug-in loads it, with LoadLibrary), over the XInput pads of
// tests/vpad/ (the XInput pads' bus), for a connected user and for an empty one, with one
// pad plugged by vpad_ctl and then four. Run by tools/run-bench.sh in the virtual pads'
// prefix.
//   xinput_state VPAD_CTL PADS_SCRIPT [CALLS [JOYBITS_DLL]]
// Each line gives the median of CALLS samples of 100 calls timed together (Wine's clock
// ticks in tenths of a microsecond, about what a call takes), per call, and the slowest of
// CALLS calls timed one by one:
//   xinput pads=N user=U connected|empty calls=C median_us=M slowest_us=S
// and the four users asked in turn, as a frame that reads them all asks them:
//   xinput pads=N users=0-3 calls=C median_us=M slowest_us=S
// where a call is the four queries. With JOYBITS_DLL, then the plug-in's frame over the same
// pads (a poll and 160 next-bit calls, 160 mixed tokens over x1 alone and over x1..x4, its
// host's window in the foreground), beside the XInput queries of the same users, per frame:
//   frame pads=N users=U frame_ns=F poll_ns=P queries_ns=Q
// and, with one pad, 600 polls at 60 Hz of a mapping that reads its DirectInput side j1
// alone, of one that reads x1 alone, and of one that also reads x2, whose user is empty
// (asked once a second):
//   polls pads=1 mapping=M polls=600 median_us=D slowest_us=S
// Exit status 0 when every line ran; 1 otherwise.
#include "bench/bench_mapping.h"
#include "bench/wall_clock.h"
#include "plugin/joybits.h"
#include "tests/vpad/vpad_host.h"

#include <windows.h>
#include <xinput.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using GetState = DWORD(WINAPI*)(DWORD, XINPUT_STATE*);

constexpr int BATCH = 100;

int fail(const char* what) {
    std::printf("FAILED: %s (error %lu)\n", what, GetLastError());
    return 1;
}

// Times the users' queries, all of them a call: the median of calls samples of BATCH calls
// each (a call takes about as long as a tick), and the slowest of calls calls timed alone.
void measure(GetState get_state, int pads, const std::vector<DWORD>& users, int calls, const char* what) {
    std::vector<double> batches, alone;
    XINPUT_STATE state{};
    for (int i = 0; i < calls; ++i) {
        int64_t start = now();
        for (int k = 0; k < BATCH; ++k)
            for (DWORD user : users) get_state(user, &state);
        batches.push_back(static_cast<double>(now() - start) * seconds_per_tick() * 1e6 / BATCH);
    }
    for (int i = 0; i < calls; ++i) {
        int64_t start = now();
        for (DWORD user : users) get_state(user, &state);
        alone.push_back(static_cast<double>(now() - start) * seconds_per_tick() * 1e6);
    }
    std::printf("xinput pads=%d %s calls=%d median_us=%.3f slowest_us=%.1f\n", pads, what, calls, median(batches),
                *std::max_element(alone.begin(), alone.end()));
    std::fflush(stdout);
}

// Waits up to 6 s until XInput reads the first users as connected and the others as not.
bool wait_for_users(GetState get_state, DWORD connected) {
    XINPUT_STATE state{};
    for (int tries = 0; tries < 600; ++tries, Sleep(10)) {
        bool all = true;
        for (DWORD user = 0; user < XUSER_MAX_COUNT; ++user)
            all = all && (get_state(user, &state) == ERROR_SUCCESS) == (user < connected);
        if (all) return true;
    }
    return false;
}

using DeviceFunction = intptr_t (*)(int32_t, intptr_t);
constexpr int FRAME_ENTRIES = 160;
constexpr int FRAMES_PER_SAMPLE = 10;

// The plug-in configured with mapping for its host's window; false, said, when it answered
// anything but the mapping and a help list.
bool configure(DeviceFunction device, HWND window, const std::string& mapping) {
    device(CMD_SET_WINDOW, reinterpret_cast<intptr_t>(window));
    const auto* answer = reinterpret_cast<const char*>(device(CMD_CONFIGURE, reinterpret_cast<intptr_t>(mapping.c_str())));
    if (answer != nullptr && std::strncmp(answer, mapping.c_str(), mapping.size()) == 0) return true;
    std::printf("FAILED: the plug-in answered %s\n", answer ? answer : "null");
    return false;
}

// The frame of 160 mixed tokens over users x1..xU beside the queries of those users; the
// two sides take turns to go first, FRAMES_PER_SAMPLE frames a sample.
bool measure_frame(DeviceFunction device, HWND window, GetState get_state, int pads, int users, int samples) {
    if (!configure(device, window, mixed_mapping(FRAME_ENTRIES, users, 'x'))) return false;
    for (int warm = 0; warm < 100; ++warm) device(CMD_POLL, 0);
    std::vector<double> frame, poll, queries;
    XINPUT_STATE state{};
    intptr_t ones = 0;
    for (int s = 0; s < samples; ++s) {
        for (int side = 0; side < 3; ++side) {
            const int which = (side + s) % 3;
            const int64_t start = now();
            for (int f = 0; f < FRAMES_PER_SAMPLE; ++f) {
                if (which == 2) {
                    for (int u = 0; u < users; ++u) get_state(static_cast<DWORD>(u), &state);
                    continue;
                }
                const intptr_t count = device(CMD_POLL, 0);
                for (intptr_t i = 0; which == 0 && i < count; ++i) ones += device(CMD_NEXT_BIT, 0);
            }
            const double ns = static_cast<double>(now() - start) * seconds_per_tick() * 1e9 / FRAMES_PER_SAMPLE;
            (which == 0 ? frame : which == 1 ? poll : queries).push_back(ns);
        }
    }
    std::printf("frame pads=%d users=%d frame_ns=%.0f poll_ns=%.0f queries_ns=%.0f (bits on: %ld)\n", pads, users,
                median(frame), median(poll), median(queries), static_cast<long>(ones));
    std::fflush(stdout);
    return true;
}

// 600 polls at 60 Hz of mapping, pumping the host's messages between them.
bool measure_polls(DeviceFunction device, HWND window, const std::string& mapping) {
    if (!configure(device, window, mapping)) return false;
    std::vector<double> took;
    const auto frame = static_cast<int64_t>(1.0 / 60 / seconds_per_tick());
    int64_t next = now();
    for (int i = 0; i < 600; ++i) {
        while (now() < next) Sleep(1);
        next += frame;
        const int64_t before = now();
        device(CMD_POLL, 0);
        took.push_back(static_cast<double>(now() - before) * seconds_per_tick() * 1e6);
        vpad::pump();
    }
    std::printf("polls pads=1 mapping=%s polls=600 median_us=%.1f slowest_us=%.1f\n", mapping.c_str(), median(took),
                *std::max_element(took.begin(), took.end()));
    std::fflush(stdout);
    return true;
}

// The plug-in's side: its frame with one pad and with four, and the polls with an empty user.
int measure_plugin(const char* dll, GetState get_state, const std::string& ctl, const std::string& script, int samples) {
    HMODULE plugin = LoadLibraryA(dll);
    FARPROC entry = plugin ? GetProcAddress(plugin, "_pbplug_Device") : nullptr;
    if (entry == nullptr) return fail("cannot load the plug-in");
    DeviceFunction device;
    std::memcpy(&device, &entry, sizeof device);
    HWND window = vpad::make_window(L"xinput_state");
    if (window == nullptr) return fail("no foreground window");
    vpad::run(ctl + "unplug all", nullptr);
    if (vpad::run(ctl + "plug " + script + " 1", nullptr) != 0 || !wait_for_users(get_state, 1)) return fail("one pad");
    bool ran = measure_frame(device, window, get_state, 1, 1, samples) &&
               measure_polls(device, window, "j1b1") && measure_polls(device, window, "x1b1") &&
               measure_polls(device, window, "x1b1,x2b1");
    if (ran && (vpad::run(ctl + "plug " + script + " 2 3 4", nullptr) != 0 || !wait_for_users(get_state, 4))) {
        return fail("four pads");
    }
    ran = ran && measure_frame(device, window, get_state, 4, 1, samples) && measure_frame(device, window, get_state, 4, 4, samples);
    device(CMD_RELEASE, 0);
    DestroyWindow(window);
    FreeLibrary(plugin);
    return ran ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: xinput_state VPAD_CTL PADS_SCRIPT [CALLS [JOYBITS_DLL]]\n");
        return 2;
    }
    const std::string ctl = std::string("\"") + argv[1] + "\" ";
    const std::string script = std::string("\"") + argv[2] + "\"";
    const int calls = argc > 3 ? std::max(1, std::atoi(argv[3])) : 600;
    HMODULE xinput = LoadLibraryW(L"xinput1_4.dll");
    auto* query = xinput ? reinterpret_cast<void*>(GetProcAddress(xinput, "XInputGetState")) : nullptr;
    auto get_state = reinterpret_cast<GetState>(query);
    if (!get_state) return fail("no XInputGetState in xinput1_4.dll");
    vpad::run(ctl + "unplug all", nullptr);
    if (vpad::run(ctl + "plug " + script + " 1", nullptr) != 0) return fail("cannot plug pad 1");
    if (!wait_for_users(get_state, 1)) return fail("XInput did not read one pad");
    measure(get_state, 1, {0}, calls, "user=0 connected");
    measure(get_state, 1, {1}, calls, "user=1 empty");
    measure(get_state, 1, {0, 1, 2, 3}, calls, "users=0-3");
    if (vpad::run(ctl + "plug " + script + " 2 3 4", nullptr) != 0) return fail("cannot plug pads 2 to 4");
    if (!wait_for_users(get_state, 4)) return fail("XInput did not read four pads");
    measure(get_state, 4, {0}, calls, "user=0 connected");
    measure(get_state, 4, {3}, calls, "user=3 connected");
    measure(get_state, 4, {0, 1, 2, 3}, calls, "users=0-3");
    const int status = argc > 4 ? measure_plugin(argv[4], get_state, ctl, script, calls) : 0;
    vpad::run(ctl + "unplug all", nullptr);
    return status;
}
