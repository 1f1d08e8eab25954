// vpad_frame: the host's frame through the shipped joybits.dll over the system's own
// dinput8.dll, with 1, 2 and 8 virtual pads plugged by vpad_ctl, beside the platform's own
// cost for the same pads: Poll and GetDeviceState called by this program, the host, on
// devices of its own. Run by tools/run-bench.sh in the virtual pads' prefix.
//   vpad_frame JOYBITS_DLL VPAD_CTL PADS_SCRIPT [SAMPLES [PADS...]]
// The mapping is 160 mixed tokens, or with VPAD_FRAME_GROUPS set in the environment 160
// groups of 4 of them.
// A sample is FRAMES_PER_SAMPLE frames of each side, timed together (Wine's clock ticks in
// tenths of a microsecond, a frame takes about one); the sides take turns to go first.
// Prints one line per pad count with the medians over the samples, per frame:
//   pads=N frame_ns=F poll_ns=P platform_ns=Q ratio=F/Q frames=K allocs=A
// where frame is a poll (command 8) and a next-bit call (command 9) per entry, poll the
// poll alone, and allocs what the library allocated over all the frames. Then, with the
// same pads, the time of a configure, and the take-in: the last pad is unplugged, polled
// for a second, plugged again into another port (vpad_ctl plug-same: a device path of its
// own; a plain plug would take the freed instance ID again, the same path, which Wine's
// device reopens at the next Acquire with no take-in), and polled every millisecond for
// TAKE_IN_MS; the slowest of those polls (the one that took the pad in) and when it came:
//   pads=N configure_ms=C take_in_poll_ms=T at_s=S
// With VPAD_FRAME_STEADY set in the environment it measures instead what a host sees while
// no pad comes or goes: 600 polls at 60 Hz (after 3 s of them, past the look 2 s after the
// pads' plug), pumping the host's messages between them, with the default mapping and one
// pad (j2 is read and free), then
// with three pads and 160 mixed tokens over four slots (j4 is read and free):
//   steady pads=N polls=600 slowest_ms=S over_1ms=K
// Exit status 0 when every pad count ran, with no allocation; 1 otherwise.
#include "bench/bench_counters.h"
#include "bench/bench_mapping.h"
#include "bench/wall_clock.h"
#include "plugin/joybits.h"
#include "tests/vpad/vpad_host.h"

#include <windows.h>
#define DIRECTINPUT_VERSION 0x0800
#include <dinput.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using DeviceFunction = intptr_t (*)(int32_t, intptr_t);

constexpr int FRAME_ENTRIES = 160;
constexpr int FRAMES_PER_SAMPLE = 10;
constexpr int TAKE_IN_MS = 4000;

int fail(const char* what) {
    std::printf("FAILED: %s (error %lu)\n", what, GetLastError());
    return 1;
}

BOOL CALLBACK collect(const DIDEVICEINSTANCEW* instance, LPVOID context) {
    static_cast<std::vector<GUID>*>(context)->push_back(instance->guidInstance);
    return DIENUM_CONTINUE;
}

// The host's own devices for the attached pads, acquired in the background without
// exclusive access (the plug-in holds that), so that both read the same pads side by side.
struct HostDevices {
    IDirectInput8W* direct_input = nullptr;
    std::vector<IDirectInputDevice8W*> devices;

    bool open(HWND window) {
        if (FAILED(DirectInput8Create(GetModuleHandleW(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8W,
                                      reinterpret_cast<void**>(&direct_input), nullptr)))
            return false;
        std::vector<GUID> found;
        if (FAILED(direct_input->EnumDevices(DI8DEVCLASS_GAMECTRL, collect, &found, DIEDFL_ATTACHEDONLY))) return false;
        for (const GUID& guid : found) {
            IDirectInputDevice8W* device = nullptr;
            if (FAILED(direct_input->CreateDevice(guid, &device, nullptr))) return false;
            devices.push_back(device);
            if (FAILED(device->SetDataFormat(&c_dfDIJoystick2)) ||
                FAILED(device->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND)) ||
                FAILED(device->Acquire()))
                return false;
        }
        return true;
    }
    void close() {
        for (IDirectInputDevice8W* device : devices) {
            device->Unacquire();
            device->Release();
        }
        devices.clear();
        if (direct_input) direct_input->Release();
        direct_input = nullptr;
    }
};

// Polls every millisecond for ms; the slowest poll's time and when it came, in ms.
void slowest_poll(DeviceFunction device, int ms, double tick, double& slowest, double& at) {
    slowest = at = 0;
    const int64_t start = now();
    while (static_cast<double>(now() - start) * tick * 1e3 < ms) {
        const int64_t before = now();
        device(CMD_POLL, 0);
        const double took = static_cast<double>(now() - before) * tick * 1e3;
        if (took > slowest) slowest = took, at = static_cast<double>(before - start) * tick * 1e3;
        vpad::pump();
        Sleep(1);
    }
}

// A configure's time with the pads plugged, then the poll that takes the last pad in again.
void measure_take_in(DeviceFunction device, const std::string& ctl, const std::string& script, int pads,
                     const std::string& mapping, double tick) {
    const int64_t start = now();
    device(CMD_CONFIGURE, reinterpret_cast<intptr_t>(mapping.c_str()));
    const double configure_ms = static_cast<double>(now() - start) * tick * 1e3;
    double slowest = 0, at = 0;
    slowest_poll(device, 500, tick, slowest, at);
    vpad::run("\"" + ctl + "\" unplug " + std::to_string(pads), nullptr);
    slowest_poll(device, 1000, tick, slowest, at);
    vpad::run("\"" + ctl + "\" plug-same \"" + script + "\" " + std::to_string(pads), nullptr);
    slowest_poll(device, TAKE_IN_MS, tick, slowest, at);
    std::printf("pads=%d configure_ms=%.2f take_in_poll_ms=%.2f at_s=%.2f\n", pads, configure_ms, slowest, at / 1e3);
    std::fflush(stdout);
}

// Polls at 60 Hz for count polls, pumping the host's messages between them; the slowest
// poll in ms and how many took over 1 ms.
void polls_at_60_hz(DeviceFunction device, int count, double tick, double& slowest, int& over_1ms) {
    slowest = 0;
    over_1ms = 0;
    const auto frame = static_cast<int64_t>(1.0 / 60 / tick);
    int64_t next = now();
    for (int i = 0; i < count; ++i) {
        while (now() < next) Sleep(1);
        next += frame;
        const int64_t before = now();
        device(CMD_POLL, 0);
        const double took = static_cast<double>(now() - before) * tick * 1e3;
        slowest = std::max(slowest, took);
        over_1ms += took > 1.0 ? 1 : 0;
        vpad::pump();
    }
}

// What every pad count's run needs: the plug-in, the pads' tools, the host's window.
struct Bench {
    DeviceFunction device = nullptr;
    std::string ctl, script;
    int samples = 500;
    HWND window = nullptr;
    double tick = 0;
};

// Plugs pads 1..pads alone, configures the mapping and opens the host's own devices; false,
// said, when the plug-in or the host does not see them all.
bool plug_and_configure(const Bench& bench, int pads, const std::string& mapping, HostDevices& host) {
    std::string plug = "\"" + bench.ctl + "\" plug \"" + bench.script + "\"";
    for (int n = 1; n <= pads; ++n) plug += " " + std::to_string(n);
    if (vpad::run("\"" + bench.ctl + "\" unplug all", nullptr) != 0 || vpad::run(plug, nullptr) != 0) {
        fail("cannot plug the pads");
        return false;
    }
    bench.device(CMD_SET_WINDOW, reinterpret_cast<intptr_t>(bench.window));
    const char* answer =
        reinterpret_cast<const char*>(bench.device(CMD_CONFIGURE, reinterpret_cast<intptr_t>(mapping.c_str())));
    if (answer && std::strncmp(answer, mapping.c_str(), mapping.size()) == 0 && host.open(bench.window) &&
        static_cast<int>(host.devices.size()) == pads)
        return true;
    std::printf("FAILED: %d pads: the plug-in or the host's own devices do not see them all (%zu devices)\n", pads,
                host.devices.size());
    return false;
}

// The first poll acquires; a hundred frames of both sides settle the pads' reports.
bool warm_up(const Bench& bench, int pads, HostDevices& host) {
    bench.device(CMD_POLL, 0);
    DIJOYSTATE2 state{};
    for (int warm = 0; warm < 100; ++warm) {
        bench.device(CMD_POLL, 0);
        for (IDirectInputDevice8W* d : host.devices) d->Poll(), d->GetDeviceState(sizeof state, &state);
    }
    if (bench.device(CMD_POLL, 0) == FRAME_ENTRIES) return true;
    std::printf("FAILED: %d pads: the poll does not answer the table's size\n", pads);
    return false;
}

struct Samples {
    std::vector<double> frame, poll, platform;  // ns per frame, one per sample
    int64_t allocations = 0;                    // what the library allocated over them all
    HRESULT failed = S_OK;                      // the host's own Poll or GetDeviceState
};

// One side's FRAMES_PER_SAMPLE frames: 0 the host's frame, 1 the poll alone, 2 the platform.
void run_side(const Bench& bench, int which, HostDevices& host, Samples& out, intptr_t& ones) {
    DIJOYSTATE2 state{};
    for (int f = 0; f < FRAMES_PER_SAMPLE; ++f) {
        if (which == 0) {
            const intptr_t count = bench.device(CMD_POLL, 0);
            for (intptr_t i = 0; i < count; ++i) ones += bench.device(CMD_NEXT_BIT, 0);
        } else if (which == 1) {
            ones += bench.device(CMD_POLL, 0);
        } else {
            for (IDirectInputDevice8W* d : host.devices) {
                // Poll answers DI_NOEFFECT (1) where there is nothing to poll.
                const HRESULT polled = d->Poll(), read = d->GetDeviceState(sizeof state, &state);
                if (FAILED(polled) || FAILED(read)) out.failed = FAILED(polled) ? polled : read;
            }
        }
    }
}

Samples measure_frames(const Bench& bench, HostDevices& host) {
    Samples out;
    for (auto* v : {&out.frame, &out.poll, &out.platform}) v->reserve(static_cast<size_t>(bench.samples));
    const int64_t allocations = allocations_so_far();
    intptr_t ones = 0;
    for (int s = 0; s < bench.samples; ++s) {
        for (int side = 0; side < 3; ++side) {
            const int which = (side + s) % 3;
            const int64_t start = now();
            run_side(bench, which, host, out, ones);
            const double ns = static_cast<double>(now() - start) * bench.tick * 1e9 / FRAMES_PER_SAMPLE;
            (which == 0 ? out.frame : which == 1 ? out.poll : out.platform).push_back(ns);
        }
    }
    out.allocations = allocations_so_far() - allocations;
    benchmark::DoNotOptimize(ones);
    return out;
}

// One pad count: the frame's line, then the configure's and the take-in's; 0 when it ran
// with no allocation.
int run_pads(const Bench& bench, int pads) {
    const std::string mapping = std::getenv("VPAD_FRAME_GROUPS") != nullptr ? group_mapping(FRAME_ENTRIES, pads)
                                                                            : mixed_mapping(FRAME_ENTRIES, pads);
    HostDevices host;
    if (!plug_and_configure(bench, pads, mapping, host) || !warm_up(bench, pads, host)) {
        host.close();
        return 1;
    }
    const Samples samples = measure_frames(bench, host);
    host.close();
    int status = 0;
    if (samples.failed != S_OK) {
        std::printf("FAILED: %d pads: the host's own Poll or GetDeviceState failed (0x%08lx)\n", pads,
                    static_cast<unsigned long>(samples.failed));
        status = 1;
    }
    const double f = median(samples.frame), p = median(samples.poll), q = median(samples.platform);
    std::printf("pads=%d frame_ns=%.0f poll_ns=%.0f platform_ns=%.0f ratio=%.2f frames=%d allocs=%lld\n", pads, f, p, q,
                f / q, bench.samples * FRAMES_PER_SAMPLE, static_cast<long long>(samples.allocations));
    std::fflush(stdout);
    if (samples.allocations != 0) status = 1;
    measure_take_in(bench.device, bench.ctl, bench.script, pads, mapping, bench.tick);
    return status;
}

// The steady polls with pads 1..pads plugged and the mapping configured; 0 when they ran.
int run_steady(const Bench& bench, int pads, const std::string& mapping) {
    std::string plug = "\"" + bench.ctl + "\" plug \"" + bench.script + "\"";
    for (int n = 1; n <= pads; ++n) plug += " " + std::to_string(n);
    if (vpad::run("\"" + bench.ctl + "\" unplug all", nullptr) != 0 || vpad::run(plug, nullptr) != 0) {
        return fail("cannot plug the pads");
    }
    bench.device(CMD_SET_WINDOW, reinterpret_cast<intptr_t>(bench.window));
    bench.device(CMD_CONFIGURE, reinterpret_cast<intptr_t>(mapping.c_str()));
    double slowest = 0;
    int over_1ms = 0;
    polls_at_60_hz(bench.device, 180, bench.tick, slowest, over_1ms);
    polls_at_60_hz(bench.device, 600, bench.tick, slowest, over_1ms);
    std::printf("steady pads=%d polls=600 slowest_ms=%.3f over_1ms=%d\n", pads, slowest, over_1ms);
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: vpad_frame JOYBITS_DLL VPAD_CTL PADS_SCRIPT [SAMPLES [PADS...]]\n");
        return 2;
    }
    Bench bench;
    bench.ctl = argv[2], bench.script = argv[3];
    if (argc > 4) bench.samples = std::atoi(argv[4]);
    std::vector<int> pad_counts;
    for (int i = 5; i < argc; ++i) pad_counts.push_back(std::atoi(argv[i]));
    if (pad_counts.empty()) pad_counts = {1, 2, 8};

    HMODULE library = LoadLibraryA(argv[1]);
    FARPROC found = library ? GetProcAddress(library, "_pbplug_Device") : nullptr;
    if (!found) return fail("cannot load the plug-in");
    std::memcpy(&bench.device, &found, sizeof bench.device);
    count_allocations_of(library);
    bench.window = vpad::make_window(L"joybits frame benchmark");
    if (!bench.window) return fail("no foreground window");
    bench.tick = seconds_per_tick();

    int status = 0;
    if (std::getenv("VPAD_FRAME_STEADY") != nullptr) {
        status |= run_steady(bench, 1, "");
        status |= run_steady(bench, 3, mixed_mapping(FRAME_ENTRIES, 4));
        pad_counts.clear();
    }
    for (int pads : pad_counts) status |= run_pads(bench, pads);
    bench.device(CMD_RELEASE, 0);
    vpad::run("\"" + bench.ctl + "\" unplug all", nullptr);
    return status;
}
