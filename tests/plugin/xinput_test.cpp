// XInput users beside the controller slots, through the dispatch as a host drives it: what
// a pad's state reads as, when XInput is loaded and asked, and what stays as it was.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "plugin/plugin.h"
#include "sim/sim_platform.h"

namespace {

PluginState tested;

intptr_t device(int32_t command, intptr_t argument = 0) { return plugin_dispatch(tested, command, argument); }

std::string configure(const char* text) {
    return reinterpret_cast<const char*>(device(CMD_CONFIGURE, reinterpret_cast<intptr_t>(text)));
}

std::string frame() {
    const auto n = static_cast<int>(device(CMD_POLL));
    std::string bits;
    for (int i = 0; i < n; ++i) bits += device(CMD_NEXT_BIT) != 0 ? '1' : '0';
    return bits;
}

// The log's XInput lines since it was last cleared, joined by "; ".
std::string xinput_calls() {
    std::string calls;
    for (const std::string& line : sim_log()) {
        if (line.find("XInput") == std::string::npos && line.find("Library") == std::string::npos &&
            line.find("GetProcAddress") == std::string::npos) {
            continue;
        }
        calls += (calls.empty() ? "" : "; ") + line;
    }
    sim_clear_log();
    return calls;
}

class XInputUsers : public ::testing::Test {
protected:
    void SetUp() override {
        if (!SIM_HAS_XINPUT) GTEST_SKIP() << "XInput here is the system's own";
        device(CMD_RELEASE);
        sim_reset();
        pad = sim_add_gamepad("Pad");
        device(CMD_SET_WINDOW, 0x1234);
    }
    void TearDown() override {
        device(CMD_RELEASE);
        EXPECT_EQ(sim_xinput_loaded(), 0) << "command 1 lets XInput go";
        EXPECT_EQ(sim_problems(), "");
    }
    int pad = 0;
};

// Each line: the pad's buttons (hex), triggers and sticks, then the bits of the mapping
// below, which reads the values at their ends, the D-pad's directions and the buttons.
constexpr const char* VALUE_MAPPING =
    "x1z>0,x1z<128,x1z>16446,x1z>16447,x1rz>32766,x1z0,"   // the triggers scaled, rounded down
    "x1y>32766,x1y15,x1x<-32767,x1ry>0,"                   // y and ry down positive, saturating
    "x1h1u,x1h1r,x1h1d,x1h1l,"                              // the D-pad
    "x1b1,x1b5,x1b7,x1b8,x1b11,x1b12,x1u>-1,x1h2u";         // A, LB, Back, Start, the guide; absent controls
constexpr const char* VALUE_RULES = R"(0000 0 0 0 0 0 0 => 010000 0000 0000 00000 010
0000 1 255 0 -32768 0 -32768 => 100010 1001 0000 00000 010
0000 128 0 -32768 32767 0 1 => 101001 0110 0000 00000 010
0000 255 0 0 0 0 0 => 101101 0000 0000 00000 010
0009 0 0 0 0 0 0 => 010000 0000 1100 00000 010
000a 0 0 0 0 0 0 => 010000 0000 0110 00000 010
0003 0 0 0 0 0 0 => 010000 0000 0000 00000 010
000b 0 0 0 0 0 0 => 010000 0000 0100 00000 010
000f 0 0 0 0 0 0 => 010000 0000 0000 00000 010
0005 0 0 0 0 0 0 => 010000 0000 1001 00000 010
1000 0 0 0 0 0 0 => 010000 0000 0000 10000 010
0530 0 0 0 0 0 0 => 010000 0000 0000 01111 010
)";

TEST_F(XInputUsers, ValuesReadAsADirectInputPadsAtTheirEnds) {
    sim_xinput_connect(0, true);
    configure(VALUE_MAPPING);
    std::istringstream rules(VALUE_RULES);
    for (std::string line; std::getline(rules, line);) {
        std::istringstream fields(line);
        unsigned buttons = 0;
        int left = 0, right = 0, lx = 0, ly = 0, rx = 0, ry = 0;
        fields >> std::hex >> buttons >> std::dec >> left >> right >> lx >> ly >> rx >> ry;
        sim_xinput_set(0, XINPUT_GAMEPAD{static_cast<WORD>(buttons), static_cast<BYTE>(left), static_cast<BYTE>(right),
                                         static_cast<int16_t>(lx), static_cast<int16_t>(ly), static_cast<int16_t>(rx),
                                         static_cast<int16_t>(ry)});
        std::string bits = frame();
        for (size_t at : {6u, 11u, 16u, 22u}) bits.insert(at, " ");
        EXPECT_EQ(bits, line.substr(line.find("=> ") + 3)) << line;
    }
}

TEST_F(XInputUsers, LoadedAndAskedOnlyForTheUsersTheMappingReads) {
    // Without an x token: no XInput call at all, and the answer as ever.
    EXPECT_EQ(configure("j1b1,(j1b1|j1b2),p"), "j1b1,(j1b1|j1b2),p//help//a;p;j1:x[<N,>N,n],y[<N,>N,n],b[n];");
    frame();
    frame();
    EXPECT_EQ(xinput_calls(), "");
    // x1 and x3 are read from the first poll on (XInput has no acquire); x2 and x4 never.
    sim_xinput_connect(0, true);
    sim_xinput_set(0, XINPUT_GAMEPAD{0x1000, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(configure("x1b1,(x3b1|j1b1),x1b11"), "x1b1,(x3b1|j1b1),x1b11//help//a;p;j1:x[<N,>N,n],y[<N,>N,n],b[n];");
    EXPECT_EQ(xinput_calls(), "LoadLibraryW(xinput1_4.dll) -> 0x7100000; GetProcAddress(xinput1_4.dll, #100) -> found");
    EXPECT_EQ(frame(), "100");
    EXPECT_EQ(xinput_calls(), "XInputGetStateEx(user=0) -> ERROR_SUCCESS; XInputGetStateEx(user=2) -> ERROR_DEVICE_NOT_CONNECTED");
    // An empty user is asked again once a second, and a pad plugged in is read then.
    sim_xinput_connect(2, true);
    sim_xinput_set(2, XINPUT_GAMEPAD{0x1000, 0, 0, 0, 0, 0, 0});
    sim_advance_clock(999);
    EXPECT_EQ(frame(), "100");
    EXPECT_EQ(xinput_calls(), "XInputGetStateEx(user=0) -> ERROR_SUCCESS");
    sim_advance_clock(1);
    EXPECT_EQ(frame(), "110");
    EXPECT_EQ(xinput_calls(), "XInputGetStateEx(user=0) -> ERROR_SUCCESS; XInputGetStateEx(user=2) -> ERROR_SUCCESS");
    // Behind another program's window (looked at every 100 ms) every user reads at rest, unasked.
    sim_set_foreground(false);
    sim_advance_clock(100);
    EXPECT_EQ(frame(), "000");
    EXPECT_EQ(xinput_calls(), "");
    sim_set_foreground(true);
    sim_advance_clock(100);
    // A later configure loads nothing again; command 1 lets the DLL go.
    configure("x1b1");
    EXPECT_EQ(xinput_calls(), "");
    device(CMD_RELEASE);
    EXPECT_EQ(xinput_calls(), "FreeLibrary(xinput1_4.dll) -> TRUE");
}

TEST_F(XInputUsers, OlderOrNoXInputReadsWhatItCan) {
    sim_xinput_connect(0, true);
    sim_xinput_set(0, XINPUT_GAMEPAD{0x1400, 0, 0, 0, 0, 0, 0});  // A and the guide
    // The oldest DLL has no guide query: the plain one, which leaves the guide out.
    sim_set_xinput(SimXInput::xinput9_1_0);
    configure("x1b1,x1b11");
    EXPECT_EQ(xinput_calls(),
              "LoadLibraryW(xinput1_4.dll) -> null; LoadLibraryW(xinput1_3.dll) -> null; "
              "LoadLibraryW(xinput9_1_0.dll) -> 0x7120000; GetProcAddress(xinput9_1_0.dll, #100) -> null; "
              "GetProcAddress(xinput9_1_0.dll, XInputGetState) -> found");
    EXPECT_EQ(frame(), "10");
    device(CMD_RELEASE);
    // No XInput: the x tokens read at rest, the answer and the j tokens as ever.
    sim_set_xinput(SimXInput::none);
    sim_set_button(pad, 0, true);
    EXPECT_EQ(configure("!x1b1,j1b1,x1b1"), "!x1b1,j1b1,x1b1//help//a;p;j1:x[<N,>N,n],y[<N,>N,n],b[n];");
    frame();
    EXPECT_EQ(frame(), "110");
    // A host that handed over no window reads its pads whatever the foreground.
    device(CMD_RELEASE);
    sim_set_xinput(SimXInput::xinput1_3);
    device(CMD_SET_WINDOW, 0);
    sim_set_foreground(false);
    configure("x1b1,x1b11");
    EXPECT_EQ(frame(), "11");
}

}  // namespace
