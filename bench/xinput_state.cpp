// xinput_state: what a call of Wine's own XInput state query costs (XInputGetState of
// xinput1_4.dll, loaded as the plug-in loads it, with LoadLibrary), over the XInput pads of
// tests/vpad/ (the XInput pads' bus), for a connected user and for an empty one, with one
// pad plugged by vpad_ctl and then four. Run by tools/run-bench.sh in the virtual pads'
// prefix.
//   xinput_state VPAD_CTL PADS_SCRIPT [CALLS]
// Each line gives the median of CALLS samples of 100 calls timed together (Wine's clock
// ticks in tenths of a microsecond, about what a call takes), per call, and the slowest of
// CALLS calls timed one by one:
//   xinput pads=N user=U connected|empty calls=C median_us=M slowest_us=S
// and the four users asked in turn, as a frame that reads them all asks them:
//   xinput pads=N users=0-3 calls=C median_us=M slowest_us=S
// where a call is the four queries. Exit status 0 when every line ran; 1 otherwise.
#include "bench/wall_clock.h"
#include "tests/vpad/vpad_host.h"

#include <windows.h>
#include <xinput.h>

#include <algorithm>
#include <cstdio>
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

// Waits up to 2 s until XInput reads the first users as connected and the others as not.
bool wait_for_users(GetState get_state, DWORD connected) {
    XINPUT_STATE state{};
    for (int tries = 0; tries < 200; ++tries, Sleep(10)) {
        bool all = true;
        for (DWORD user = 0; user < XUSER_MAX_COUNT; ++user)
            all = all && (get_state(user, &state) == ERROR_SUCCESS) == (user < connected);
        if (all) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: xinput_state VPAD_CTL PADS_SCRIPT [CALLS]\n");
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
    vpad::run(ctl + "unplug all", nullptr);
    return 0;
}
