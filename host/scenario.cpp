#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "controllers/controller_facts.h"
#include "mapping/compiler.h"
#include "text/text_buffer.h"
#include "sim/virtual_pad.h"
#include "host/scenario.h"
#include "host/text.h"
#include "report/report.h"

using json = nlohmann::ordered_json;

// Two virtual pads (sim/virtual_pad.h, the playground's too, added by default_scenario):
// the sticks sweep through the thresholds of the default mapping (exactly at them first,
// then one past), then the buttons are pressed one at a time, 1 to 8 on the first pad and
// 8 down to 1 on the second.
const char DEFAULT_SCENARIO_JSON[] = R"json({
  "length": 16,
  "frames": [
    {"frame": 2, "j1": {"y": 8000}, "j2": {"x": -8000}},
    {"frame": 3, "j1": {"y": 8001}, "j2": {"x": -8001}},
    {"frame": 4, "j1": {"y": -8001}, "j2": {"x": 8001}},
    {"frame": 5, "j1": {"y": 0, "x": 8001}, "j2": {"x": 0, "y": 8001}},
    {"frame": 6, "j1": {"x": -8001}, "j2": {"y": -8001}},
    {"frame": 7, "j1": {"x": 0, "b1": true}, "j2": {"y": 0, "b8": true}},
    {"frame": 8, "j1": {"b1": false, "b2": true}, "j2": {"b8": false, "b7": true}},
    {"frame": 9, "j1": {"b2": false, "b3": true}, "j2": {"b7": false, "b6": true}},
    {"frame": 10, "j1": {"b3": false, "b4": true}, "j2": {"b6": false, "b5": true}},
    {"frame": 11, "j1": {"b4": false, "b5": true}, "j2": {"b5": false, "b4": true}},
    {"frame": 12, "j1": {"b5": false, "b6": true}, "j2": {"b4": false, "b3": true}},
    {"frame": 13, "j1": {"b6": false, "b7": true}, "j2": {"b3": false, "b2": true}},
    {"frame": 14, "j1": {"b7": false, "b8": true}, "j2": {"b2": false, "b1": true}},
    {"frame": 15, "j1": {"b8": false}, "j2": {"b1": false}}
  ]
}
)json";

namespace {

constexpr int64_t MAX_FRAME = 1000000;
constexpr long MAX_FILE_MIB = 16;

// A value at a path of the document ("frames[3].j1.y") is wrong.
struct ScenarioProblem : std::runtime_error {
    std::string path;
    ScenarioProblem(std::string where, const std::string& what) : std::runtime_error(what), path(std::move(where)) {}
};

std::string member_path(const std::string& parent, const std::string& key) {
    return parent.empty() ? key : parent + "." + key;
}
std::string element_path(const std::string& parent, size_t index) {
    return parent + "[" + std::to_string(index) + "]";
}

size_t line_of(const std::string& text, size_t offset) {
    offset = std::min(offset, text.size());
    return 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

// A character iterator that remembers the last character the parser read, so the SAX
// events below know where in the text they stand.
struct TracingIterator {
    using iterator_category = std::forward_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    const char* at = nullptr;
    const char** last_read = nullptr;

    reference operator*() const {
        *last_read = at;
        return *at;
    }
    TracingIterator& operator++() {
        ++at;
        return *this;
    }
    TracingIterator operator++(int) {
        TracingIterator before = *this;
        ++at;
        return before;
    }
    bool operator==(const TracingIterator& other) const { return at == other.at; }
    bool operator!=(const TracingIterator& other) const { return at != other.at; }
};

// SAX handler that records the line of every value by its path.
struct LineRecorder {
    struct Level {
        bool array = false;
        size_t next_index = 0;
        std::string path;
        std::string key;
    };

    const std::string& text;
    const char* begin;
    const char* last_read;
    std::vector<Level> levels;
    std::map<std::string, size_t> lines;

    explicit LineRecorder(const std::string& t) : text(t), begin(t.data()), last_read(t.data()) {}

    size_t current_line() const { return line_of(text, static_cast<size_t>(last_read - begin)); }

    std::string value_path() {
        if (levels.empty()) return "";
        Level& top = levels.back();
        if (top.array) return element_path(top.path, top.next_index++);
        return member_path(top.path, top.key);
    }
    bool value() {
        lines.emplace(value_path(), current_line());
        return true;
    }
    bool open(bool array) {
        std::string path = value_path();
        lines.emplace(path, current_line());
        levels.push_back(Level{array, 0, std::move(path), {}});
        return true;
    }
    bool close() {
        if (!levels.empty()) levels.pop_back();
        return true;
    }

    bool null() { return value(); }
    bool boolean(bool) { return value(); }
    bool number_integer(json::number_integer_t) { return value(); }
    bool number_unsigned(json::number_unsigned_t) { return value(); }
    bool number_float(json::number_float_t, const json::string_t&) { return value(); }
    bool string(json::string_t&) { return value(); }
    bool binary(json::binary_t&) { return value(); }
    bool start_object(size_t) { return open(false); }
    bool end_object() { return close(); }
    bool start_array(size_t) { return open(true); }
    bool end_array() { return close(); }
    bool key(json::string_t& k) {
        if (!levels.empty()) levels.back().key = k;
        return true;
    }
    bool parse_error(size_t, const std::string&, const nlohmann::detail::exception&) { return false; }
};

size_t line_of_path(const std::string& text, const std::string& path) {
    LineRecorder recorder(text);
    TracingIterator first{text.data(), &recorder.last_read};
    TracingIterator last{text.data() + text.size(), &recorder.last_read};
    json::sax_parse(first, last, &recorder);
    // A missing member is reported at its object; walk up until a recorded path.
    std::string at = path;
    for (;;) {
        auto found = recorder.lines.find(at);
        if (found != recorder.lines.end()) return found->second;
        if (at.empty()) return 1;
        const size_t cut = at.find_last_of(".[");
        at = cut == std::string::npos ? "" : at.substr(0, cut);
    }
}

int64_t integer_in(const json& value, const std::string& path, int64_t low, int64_t high, const char* what) {
    if (!value.is_number_integer()) throw ScenarioProblem(path, std::string(what) + " must be a whole number");
    if (value.is_number_unsigned() && value.get<uint64_t>() > static_cast<uint64_t>(high)) {
        throw ScenarioProblem(path, std::string(what) + " must be " + std::to_string(low) + " to " + std::to_string(high));
    }
    const auto n = value.get<int64_t>();
    if (n < low || n > high) {
        throw ScenarioProblem(path, std::string(what) + " must be " + std::to_string(low) + " to " + std::to_string(high));
    }
    return n;
}

// An axis or slider by its letters in the mapping language; -1 for none.
int axis_number(const std::string& name) {
    for (int i = 0; i < MAPPED_AXIS_COUNT; ++i) {
        if (name == mapped_axis_letters(i)) return i;
    }
    return -1;
}

// "x, y, z, rx, ry, rz" and "u, v", as the messages list them.
std::string axes_named() { return joined(axis_letters("axis"), ", "); }
std::string sliders_named() { return joined(axis_letters("slider"), ", "); }

// "h1" -> 0; -1 when the key does not name a point of view.
int pov_number(const std::string& key) {
    if (key.size() != 2 || key[0] != POV_LETTER || key[1] < '1' || key[1] > '0' + POV_COUNT) return -1;
    return key[1] - '1';
}

void expect_object(const json& value, const std::string& path, const char* what) {
    if (!value.is_object()) throw ScenarioProblem(path, std::string(what) + " must be an object");
}

// "045E:028E", read as a pin of the mapping language reads it.
uint32_t read_model(const json& value, const std::string& path) {
    const std::vector<TokenSpan> pin =
        value.is_string() ? mapping_tokens(TextBuffer(("j1=" + value.get<std::string>()).c_str())) : std::vector<TokenSpan>{};
    if (pin.size() != 1 || pin[0].pin_slot != 0 || value.get<std::string>().find_first_of(" \t,/") != std::string::npos) {
        throw ScenarioProblem(path, "the model is the vendor and product IDs, four hex digits each: \"045E:028E\"");
    }
    return pin[0].pin_model;
}

ScenarioController read_controller(const json& value, const std::string& path, size_t index) {
    expect_object(value, path, "a controller");
    ScenarioController controller;
    controller.name = "Virtual Controller " + std::to_string(index + 1);
    for (const auto& [key, member] : value.items()) {
        const std::string at = member_path(path, key);
        if (key == "name") {
            if (!member.is_string()) throw ScenarioProblem(at, "the name must be a string");
            controller.name = member.get<std::string>();
            if (controller.name.size() >= 260) throw ScenarioProblem(at, "the name must be shorter than 260 bytes");
        } else if (key == "axes") {
            if (!member.is_array()) throw ScenarioProblem(at, "axes must be a list of axis names");
            for (size_t i = 0; i < member.size(); ++i) {
                const std::string axis_at = element_path(at, i);
                const int axis = member[i].is_string() ? axis_number(member[i].get<std::string>()) : -1;
                if (axis < 0) throw ScenarioProblem(axis_at, "an axis is one of " + axes_named() + ", or a slider " + sliders_named());
                if (std::find(controller.axes.begin(), controller.axes.end(), axis) != controller.axes.end()) {
                    throw ScenarioProblem(axis_at, std::string("axis ") + mapped_axis_letters(axis) + " is listed twice");
                }
                controller.axes.push_back(axis);
            }
        } else if (key == "povs") {
            controller.povs = static_cast<int>(integer_in(member, at, 0, POV_COUNT, "the point-of-view count"));
        } else if (key == "buttons") {
            controller.buttons = static_cast<int>(integer_in(member, at, 0, MAX_SCENARIO_BUTTONS, "the button count"));
        } else if (key == "model") {
            controller.model = read_model(member, at);
        } else if (key == "attached") {
            if (!member.is_boolean()) throw ScenarioProblem(at, "attached must be true or false");
            controller.attached = member.get<bool>();
        } else if (key == "xinput") {
            if (!member.is_boolean()) throw ScenarioProblem(at, "xinput must be true or false");
            controller.xinput = member.get<bool>();
        } else {
            throw ScenarioProblem(at, "unknown member \"" + key +
                                          "\" (a controller has name, model, axes, povs, buttons, attached, xinput)");
        }
    }
    if (controller.xinput) {
        for (const char* fixed : {"axes", "povs", "buttons", "model"}) {
            if (value.contains(fixed)) {
                throw ScenarioProblem(member_path(path, fixed), "an XInput pad's controls and model are XInput's own");
            }
        }
        for (int axis = 0; axis < AXIS_COUNT; ++axis) controller.axes.push_back(axis);
        controller.povs = XINPUT_POV_COUNT;
        controller.buttons = XINPUT_BUTTON_COUNT;
    }
    return controller;
}

// Each controller's label, j<n> and x<n> counted apart in the order they are listed; at
// most XINPUT_USER_COUNT XInput pads.
void label_controllers(Scenario& scenario) {
    int direct = 0, xinput = 0;
    for (size_t i = 0; i < scenario.controllers.size(); ++i) {
        ScenarioController& c = scenario.controllers[i];
        if (c.xinput && xinput == XINPUT_USER_COUNT) {
            throw ScenarioProblem(element_path("controllers", i),
                                  "at most " + std::to_string(XINPUT_USER_COUNT) + " XInput pads, x1 to x4");
        }
        c.label = c.xinput ? controller_name(static_cast<uint32_t>(SLOT_COUNT + ++xinput))
                           : CONTROLLER_LETTER + std::to_string(++direct);
    }
}

// An axis's value: a 16-bit axis's, but on an XInput pad the triggers z and rz 0 to 255.
int32_t axis_input_value(const json& member, const std::string& at, int axis, bool xinput) {
    const bool trigger = xinput && (axis == axis_number("z") || axis == axis_number("rz"));
    return static_cast<int32_t>(integer_in(member, at, trigger ? 0 : AXIS_MIN, trigger ? XINPUT_TRIGGER_MAX : AXIS_MAX,
                                           trigger ? "a trigger's value" : "an axis value"));
}

// A point of view's value, -1 for centred or an angle; on an XInput pad's D-pad one of its
// eight directions.
int32_t pov_input_value(const json& member, const std::string& at, bool xinput) {
    const auto value = static_cast<int32_t>(
        integer_in(member, at, POV_CENTRED, MAX_POV_ANGLE, "a point of view (-1 centred, or an angle)"));
    if (xinput && value % DPAD_STEP != 0 && value != POV_CENTRED) {
        throw ScenarioProblem(at, "an XInput pad's D-pad points at a multiple of " + std::to_string(DPAD_STEP) +
                                      " (or -1 centred)");
    }
    return value;
}

// Whether the key names a controller: j or x and a number.
bool names_controller(const std::string& key) {
    return key.size() >= 2 && key.size() <= 3 && (key[0] == CONTROLLER_LETTER || key[0] == XINPUT_LETTER) &&
           key.find_first_not_of("0123456789", 1) == std::string::npos && key[1] != '0';
}
// The controller the frames name so ("j2", "x1"); -1 for none.
int controller_index(const Scenario& scenario, const std::string& key) {
    for (size_t i = 0; i < scenario.controllers.size(); ++i) {
        if (scenario.controllers[i].label == key) return static_cast<int>(i);
    }
    return -1;
}

void read_inputs(const json& value, const std::string& path, int index, const Scenario& scenario,
                 std::vector<ScenarioInput>& inputs) {
    expect_object(value, path, "the inputs of a controller");
    const ScenarioController& controller = scenario.controllers[static_cast<size_t>(index)];
    for (const auto& [key, member] : value.items()) {
        const std::string at = member_path(path, key);
        ScenarioInput input;
        input.controller = index;
        const int axis = axis_number(key);
        const int pov = pov_number(key);
        if (key == "attached") {
            if (!member.is_boolean()) throw ScenarioProblem(at, "attached must be true or false");
            input.plug = true;
            input.value = member.get<bool>() ? 1 : 0;
        } else if (pov >= 0) {
            if (pov >= controller.povs) {
                throw ScenarioProblem(at, "controller " + controller.label + " has no point of view " + key);
            }
            input.pov = pov;
            input.value = pov_input_value(member, at, controller.xinput);
        } else if (axis >= 0) {
            if (std::find(controller.axes.begin(), controller.axes.end(), axis) == controller.axes.end()) {
                throw ScenarioProblem(at, "controller " + controller.label + " has no axis " + key);
            }
            input.axis = axis;
            input.value = axis_input_value(member, at, axis, controller.xinput);
        } else if (key.size() >= 2 && key[0] == BUTTON_LETTER && key.find_first_not_of("0123456789", 1) == std::string::npos &&
                   key.size() <= 4) {
            input.button = std::stoi(key.substr(1));
            if (input.button < 1 || input.button > controller.buttons) {
                throw ScenarioProblem(at, "controller " + controller.label + " has buttons b1 to b" +
                                              std::to_string(controller.buttons) + " only");
            }
            if (member.is_boolean()) {
                input.value = member.get<bool>() ? 1 : 0;
            } else {
                input.value = static_cast<int32_t>(integer_in(member, at, 0, 1, "a button (true, false, 1 or 0)"));
            }
        } else {
            throw ScenarioProblem(at, "unknown input \"" + key +
                                          "\" (an axis " + axes_named() + ", a slider " + sliders_named() +
                                          ", a point of view " + POV_LETTER + "1 to " + POV_LETTER + std::to_string(POV_COUNT) +
                                          ", a button b1, b2, ... or attached)");
        }
        inputs.push_back(input);
    }
}

void read_frame(const json& value, const std::string& path, Scenario& scenario, std::map<int, ScenarioFrame>& frames) {
    expect_object(value, path, "a frame");
    auto number = value.find("frame");
    if (number == value.end()) throw ScenarioProblem(path, "a frame needs its \"frame\" number");
    const int frame = static_cast<int>(integer_in(*number, member_path(path, "frame"), 0, MAX_FRAME, "the frame number"));
    ScenarioFrame& record = frames[frame];
    record.frame = frame;
    for (const auto& [key, member] : value.items()) {
        if (key == "frame") continue;
        const std::string at = member_path(path, key);
        if (!names_controller(key)) {
            throw ScenarioProblem(at, "unknown member \"" + key + "\" (a frame has frame, j1, j2, ..., x1, x2, ...)");
        }
        const int index = controller_index(scenario, key);
        if (index < 0) {
            const auto named = std::count_if(scenario.controllers.begin(), scenario.controllers.end(),
                                             [&key](const ScenarioController& c) { return c.label[0] == key[0]; });
            throw ScenarioProblem(at, "there is no controller " + key + " (the scenario has " + std::to_string(named) + ")");
        }
        read_inputs(member, at, index, scenario, record.inputs);
    }
}

void read_scenario(const json& document, Scenario& scenario) {
    expect_object(document, "", "the scenario");
    auto controllers = document.find("controllers");
    if (controllers == document.end()) throw ScenarioProblem("", "the scenario needs a \"controllers\" list");
    for (const auto& [key, member] : document.items()) {
        if (key != "controllers" && key != "frames" && key != "length") {
            throw ScenarioProblem(key, "unknown member \"" + key + "\" (a scenario has controllers, length, frames)");
        }
    }
    if (!controllers->is_array()) throw ScenarioProblem("controllers", "controllers must be a list");
    if (controllers->size() > static_cast<size_t>(MAX_SCENARIO_CONTROLLERS)) {
        throw ScenarioProblem("controllers", "at most " + std::to_string(MAX_SCENARIO_CONTROLLERS) + " controllers");
    }
    for (size_t i = 0; i < controllers->size(); ++i) {
        scenario.controllers.push_back(read_controller((*controllers)[i], element_path("controllers", i), i));
    }
    label_controllers(scenario);
    std::map<int, ScenarioFrame> frames;
    auto list = document.find("frames");
    if (list != document.end()) {
        if (!list->is_array()) throw ScenarioProblem("frames", "frames must be a list");
        for (size_t i = 0; i < list->size(); ++i) read_frame((*list)[i], element_path("frames", i), scenario, frames);
    }
    for (auto& [number, frame] : frames) scenario.frames.push_back(std::move(frame));
    auto length = document.find("length");
    if (length != document.end()) {
        scenario.length = static_cast<int>(integer_in(*length, "length", 0, MAX_FRAME, "the length"));
    } else {
        scenario.length = scenario.frames.empty() ? 3 : scenario.frames.back().frame + 1;
    }
}

// "[json.exception.parse_error.101] parse error at line 3, column 5: syntax error ..." -> "syntax error ...".
std::string parse_error_text(const char* what) {
    std::string text = what;
    const size_t colon = text.find(": ");
    return colon == std::string::npos ? text : text.substr(colon + 2);
}

// One line for each record of the frames list that a run of the scenario's length never
// reaches.
void note_records_past_length(const std::string& name, const std::string& text, const json& document,
                              Scenario& scenario) {
    const auto list = document.find("frames");
    if (list == document.end()) return;
    for (size_t i = 0; i < list->size(); ++i) {
        const int64_t frame = (*list)[i]["frame"].get<int64_t>();
        if (frame < scenario.length) continue;
        const std::string path = element_path("frames", i);
        scenario.records_past_length.push_back(
            name + ":" + std::to_string(line_of_path(text, path)) + ": " + path + ": frame " + std::to_string(frame) +
            " lies past the scenario's length of " + std::to_string(scenario.length) +
            " frames: it never applies");
    }
}

}  // namespace


std::string describe_input(const Scenario& scenario, const ScenarioInput& input) {
    std::string text = scenario.controllers.at(static_cast<size_t>(input.controller)).label + ' ';
    if (input.plug) return text + (input.value != 0 ? "plugged in" : "unplugged");
    if (input.axis >= 0) return text + mapped_axis_letters(input.axis) + "=" + std::to_string(input.value);
    if (input.pov >= 0) {
        text += "h" + std::to_string(input.pov + 1);
        return input.value == POV_CENTRED ? text + " centred" : text + "=" + std::to_string(input.value);
    }
    return text + "b" + std::to_string(input.button) + (input.value != 0 ? " down" : " up");
}

bool parse_scenario(const std::string& name, const std::string& text, Scenario& scenario, std::string& error) {
    scenario = Scenario{};
    json document;
    try {
        document = json::parse(text);
    } catch (const json::parse_error& e) {
        const size_t read = e.byte == 0 ? 0 : e.byte - 1;
        // The parser quotes what it last read, which may be any byte.
        error = name + ":" + std::to_string(line_of(text, read)) + ": " + escape_bytes(parse_error_text(e.what()));
        return false;
    }
    try {
        read_scenario(document, scenario);
        note_records_past_length(name, text, document, scenario);
    } catch (const ScenarioProblem& problem) {
        const std::string where = problem.path.empty() ? "" : problem.path + ": ";
        error = name + ":" + std::to_string(line_of_path(text, problem.path)) + ": " + where + problem.what();
        scenario = Scenario{};
        return false;
    }
    return true;
}

bool load_scenario(const std::string& path, Scenario& scenario, std::string& error) {
    std::string text;
    if (!read_file(path, "the scenario file", MAX_FILE_MIB, text, error)) return false;
    if (text.empty()) {
        error = path + ": the file is empty";
        return false;
    }
    return parse_scenario(path, text, scenario, error);
}

Scenario default_scenario() {
    json document = json::parse(DEFAULT_SCENARIO_JSON);
    json pad{{"axes", json::array()}, {"povs", VIRTUAL_PAD_POVS}, {"buttons", VIRTUAL_PAD_BUTTONS}};
    for (SimAxis axis : VIRTUAL_PAD_AXES) pad["axes"].push_back(mapped_axis_letters(static_cast<int>(axis)));
    for (int n = 1; n <= 2; ++n) {
        pad["name"] = std::string(VIRTUAL_PAD_NAME) + " " + std::to_string(n);
        document["controllers"].push_back(pad);
    }
    Scenario scenario;
    std::string error;
    if (!parse_scenario("built-in scenario", document.dump(), scenario, error)) throw std::logic_error(error);
    return scenario;
}
