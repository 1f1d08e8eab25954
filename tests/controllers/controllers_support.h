// Shared set-up for the controller set and state capture tests over the simulated platform.
#pragma once

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "controllers/controllers.h"
#include "sim/sim_platform.h"

// The host instance handle that DirectInput8Create receives, as the call log writes it:
// the simulation's stand-in outside Windows, the test program's module on Windows.
inline std::string host_instance_text() {
#if defined(_WIN32)
    char text[24];
    std::snprintf(text, sizeof text, "0x%" PRIxPTR, reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)));
    return text;
#else
    return "0x400000";
#endif
}

inline HWND test_window() { return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234)); }

inline const char* const X_FRAGMENT = "x[<N,>N,n],";
inline const char* const Y_FRAGMENT = "y[<N,>N,n],";

class ControllersTest : public ::testing::Test {
protected:
    void SetUp() override { sim_reset(); }
    void TearDown() override {
        release_controllers(set);
        EXPECT_EQ(sim_problems(), "");
    }

    bool open(HWND window = test_window()) { return open_controllers(set, window, text); }

    int devices_held() const {
        int n = 0;
        for (const ControllerSlot& slot : set.slots) n += slot.device != nullptr ? 1 : 0;
        return n;
    }

    std::string help() const { return text.c_str(); }

    ControllerSet set;
    TextBuffer text;
};

// The recorded calls made on an object ("" for any), of one method when given, in order.
inline std::vector<SimCall> recorded(const std::string& object, std::optional<SimMethod> method = std::nullopt) {
    std::vector<SimCall> out;
    for (const SimCall& call : sim_call_record()) {
        if ((object.empty() || object == call.object) && (!method || call.method == *method)) out.push_back(call);
    }
    return out;
}

inline std::vector<std::string> results(const std::vector<SimCall>& calls) {
    std::vector<std::string> names;
    for (const SimCall& call : calls) names.push_back(sim_result_name(call.result));
    return names;
}

// The controllers whose devices were created, in order.
inline std::vector<int> created_controllers() {
    std::vector<int> created;
    for (const SimCall& call : recorded("", SimMethod::CreateDevice)) {
        if (SUCCEEDED(call.result)) created.push_back(call.controller);
    }
    return created;
}
