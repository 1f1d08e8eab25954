// joybits-host's scenarios: virtual controllers and the inputs that change, frame by
// frame, as JSON files describe them (docs/SCENARIOS.md).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "controllers/controller_facts.h"

inline constexpr int MAX_SCENARIO_CONTROLLERS = 16;
inline constexpr int MAX_SCENARIO_BUTTONS = BUTTON_COUNT;
// A point of view's value in a scenario: hundredths of a degree clockwise from up, or this
// for centred (the platform's 0xFFFFFFFF).
inline constexpr int32_t POV_CENTRED = -1;
inline constexpr int32_t MAX_POV_ANGLE = 35999;

struct ScenarioController {
    std::string name;
    // An XInput pad: its controls are XInput's (the sticks x, y, rx, ry with XInput's values,
    // up positive; the triggers z and rz 0 to 255; the D-pad h1; buttons b1 to b11, as
    // XINPUT_BUTTON_NAMES orders them), and it is the next XInput user; frames name it x1,
    // x2, ... in the order such pads are listed, the others j1, j2, ... in theirs.
    bool xinput = false;
    std::string label;      // "j2", "x1": as frames name it
    std::vector<int> axes;  // axis numbers 0 to 7 (x, y, z, rx, ry, rz, sliders u, v), in object order
    int povs = 0;           // points of view h1 to hN
    int buttons = 0;
    uint32_t model = 0;     // its vendor and product IDs (pad_model); 0 for the platform's own
    bool attached = true;   // false: plugged in by a later frame
};

struct ScenarioInput {
    int controller = 0;   // index into Scenario::controllers
    int axis = -1;        // 0 to 7, or -1 for a button or a point of view
    int pov = -1;         // 0 to povs - 1 (h1 is 0), or -1
    int button = 0;       // 1 to buttons, when axis and pov are -1
    int32_t value = 0;    // the axis value, the angle (POV_CENTRED for centred), or 1 pressed / 0 released
    bool plug = false;    // the controller is plugged in (value 1) or unplugged (value 0)
};

struct ScenarioFrame {
    int frame = 0;
    std::vector<ScenarioInput> inputs;  // applied just before this frame's poll
};

struct Scenario {
    std::vector<ScenarioController> controllers;
    std::vector<ScenarioFrame> frames;  // in ascending frame order, one record per frame number
    int length = 0;                     // frames to run when --frames is not given
    // Records at or past the length, which a run of that length never applies:
    // "NAME:LINE: frames[3]: ...".
    std::vector<std::string> records_past_length;
};

// The built-in scenario's frames as JSON, and the scenario: two virtual pads
// (sim/virtual_pad.h) and those frames.
extern const char DEFAULT_SCENARIO_JSON[];
Scenario default_scenario();

// Parses a scenario text; on failure returns false and sets error to "NAME:LINE: what".
bool parse_scenario(const std::string& name, const std::string& text, Scenario& scenario, std::string& error);
// Reads and parses a scenario file; an unreadable file is an error naming the file.
bool load_scenario(const std::string& path, Scenario& scenario, std::string& error);

// "j1 y=8001", "j1 h1=9000", "j1 h1 centred", "j2 b3 down", "j2 unplugged", "x1 plugged in".
std::string describe_input(const Scenario& scenario, const ScenarioInput& input);
// An XInput pad's trigger and D-pad values in a scenario.
inline constexpr int32_t XINPUT_TRIGGER_MAX = 255;
inline constexpr int32_t DPAD_STEP = 4500;
