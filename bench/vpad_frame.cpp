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
// Exit status 0 when every pad count ran, with no allocation; 1 otherwise.
#include "bench/bench_counters.h"
#include "bench/bench_mapping.h"
#include "plugin/joybits.h"

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

// Runs a program to its end; its exit status, or -1.
int run(const std::string& command_line) {
    STARTUPINFOA start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION process{};
    std::string line = command_line;
    std::replace(line.begin(), line.end(), '/', '\\');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &process)) return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return static_cast<int>(status);
}

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

HWND make_window() {
    HWND w = CreateWindowExW(0, L"STATIC", L"joybits frame benchmark", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    for (int tries = 0; w && tries < 20; ++tries) {
        SetForegroundWindow(w);
        pump();
        if (GetForegroundWindow() == w) return w;
        Sleep(50);
    }
    return nullptr;
}

BOOL CALLBACK collect(const DIDEVICEINSTANCEW* instance, LPVOID context) {
    static_cast<std::vector<GUID>*>(context)->push_back(instance->guidInstance);
    return DIENUM_CONTINUE;
}

double seconds_per_tick() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1.0 / static_cast<double>(frequency.QuadPart);
}

int64_t now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
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
        pump();
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
    run("\"" + ctl + "\" unplug " + std::to_string(pads));
    slowest_poll(device, 1000, tick, slowest, at);
    run("\"" + ctl + "\" plug-same \"" + script + "\" " + std::to_string(pads));
    slowest_poll(device, TAKE_IN_MS, tick, slowest, at);
    std::printf("pads=%d configure_ms=%.2f take_in_poll_ms=%.2f at_s=%.2f\n", pads, configure_ms, slowest, at / 1e3);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: vpad_frame JOYBITS_DLL VPAD_CTL PADS_SCRIPT [SAMPLES [PADS...]]\n");
        return 2;
    }
    const std::string ctl = argv[2], script = argv[3];
    const int samples = argc > 4 ? std::atoi(argv[4]) : 500;
    std::vector<int> pad_counts;
    for (int i = 5; i < argc; ++i) pad_counts.push_back(std::atoi(argv[i]));
    if (pad_counts.empty()) pad_counts = {1, 2, 8};

    HMODULE library = LoadLibraryA(argv[1]);
    FARPROC found = library ? GetProcAddress(library, "_pbplug_Device") : nullptr;
    if (!found) return fail("cannot load the plug-in");
    DeviceFunction device = nullptr;
    std::memcpy(&device, &found, sizeof device);
    count_allocations_of(library);
    HWND window = make_window();
    if (!window) return fail("no foreground window");
    const double tick = seconds_per_tick();

    int status = 0;
    for (int pads : pad_counts) {
        std::string plug = "\"" + ctl + "\" plug \"" + script + "\"";
        for (int n = 1; n <= pads; ++n) plug += " " + std::to_string(n);
        if (run("\"" + ctl + "\" unplug all") != 0 || run(plug) != 0) {
            status = fail("cannot plug the pads");
            continue;
        }
        device(CMD_SET_WINDOW, reinterpret_cast<intptr_t>(window));
        const std::string mapping = std::getenv("VPAD_FRAME_GROUPS") != nullptr ? group_mapping(FRAME_ENTRIES, pads)
                                                                                : mixed_mapping(FRAME_ENTRIES, pads);
        const char* answer = reinterpret_cast<const char*>(device(CMD_CONFIGURE, reinterpret_cast<intptr_t>(mapping.c_str())));
        HostDevices host;
        if (!answer || std::strncmp(answer, mapping.c_str(), mapping.size()) != 0 || !host.open(window) ||
            static_cast<int>(host.devices.size()) != pads) {
            std::printf("FAILED: %d pads: the plug-in or the host's own devices do not see them all (%zu devices)\n", pads,
                        host.devices.size());
            host.close();
            status = 1;
            continue;
        }
        device(CMD_POLL, 0);  // acquires
        DIJOYSTATE2 state{};
        for (int warm = 0; warm < 100; ++warm) {
            device(CMD_POLL, 0);
            for (IDirectInputDevice8W* d : host.devices) d->Poll(), d->GetDeviceState(sizeof state, &state);
        }
        if (device(CMD_POLL, 0) != FRAME_ENTRIES) {
            std::printf("FAILED: %d pads: the poll does not answer the table's size\n", pads);
            host.close();
            status = 1;
            continue;
        }

        std::vector<double> frame, poll, platform;
        for (auto* v : {&frame, &poll, &platform}) v->reserve(static_cast<size_t>(samples));
        const int64_t allocations = allocations_so_far();
        intptr_t ones = 0;
        HRESULT failed = S_OK;
        for (int s = 0; s < samples; ++s) {
            for (int side = 0; side < 3; ++side) {
                const int which = (side + s) % 3;
                const int64_t start = now();
                for (int f = 0; f < FRAMES_PER_SAMPLE; ++f) {
                    if (which == 0) {
                        const intptr_t count = device(CMD_POLL, 0);
                        for (intptr_t i = 0; i < count; ++i) ones += device(CMD_NEXT_BIT, 0);
                    } else if (which == 1) {
                        ones += device(CMD_POLL, 0);
                    } else {
                        for (IDirectInputDevice8W* d : host.devices) {
                            // Poll answers DI_NOEFFECT (1) where there is nothing to poll.
                            const HRESULT polled = d->Poll(), read = d->GetDeviceState(sizeof state, &state);
                            if (FAILED(polled) || FAILED(read)) failed = FAILED(polled) ? polled : read;
                        }
                    }
                }
                const double ns = static_cast<double>(now() - start) * tick * 1e9 / FRAMES_PER_SAMPLE;
                (which == 0 ? frame : which == 1 ? poll : platform).push_back(ns);
            }
        }
        const int64_t made = allocations_so_far() - allocations;
        benchmark::DoNotOptimize(ones);
        host.close();
        if (failed != S_OK) {
            std::printf("FAILED: %d pads: the host's own Poll or GetDeviceState failed (0x%08lx)\n", pads,
                        static_cast<unsigned long>(failed));
            status = 1;
        }
        const double f = median(frame), p = median(poll), q = median(platform);
        std::printf("pads=%d frame_ns=%.0f poll_ns=%.0f platform_ns=%.0f ratio=%.2f frames=%d allocs=%lld\n", pads, f, p, q,
                    f / q, samples * FRAMES_PER_SAMPLE, static_cast<long long>(made));
        std::fflush(stdout);
        if (made != 0) status = 1;
        measure_take_in(device, ctl, script, pads, mapping, tick);
    }
    device(CMD_RELEASE, 0);
    run("\"" + ctl + "\" unplug all");
    return status;
}
