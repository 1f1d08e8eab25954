// joybits-host: a stand-in for the host application. It drives the plug-in only through
// _pbplug_Device and its command codes, as a host does; the compiled table and the
// syntax-error position are diagnostics of its own, made with the mapping compiler.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "mapping/mapping_entry.h"

using DeviceFunction = intptr_t (*)(int32_t command, intptr_t argument);

// Exit statuses of the tool.
inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_MAPPING_ERROR = 1;  // the mapping text has a syntax error
inline constexpr int EXIT_INPUT_ERROR = 2;    // bad command line, unreadable or malformed file
inline constexpr int EXIT_PLATFORM_ERROR = 3; // the plug-in could not be loaded or open the controllers

inline constexpr int MAX_SCENARIO_CONTROLLERS = 16;
inline constexpr int MAX_SCENARIO_BUTTONS = 128;

// ---- Scenarios: virtual controllers and the inputs that change, frame by frame ----

struct ScenarioController {
    std::string name;
    std::vector<int> axes;  // axis numbers 0 to 5 (x, y, z, rx, ry, rz), in object order
    int buttons = 0;
};

struct ScenarioInput {
    int controller = 0;   // index into Scenario::controllers
    int axis = -1;        // 0 to 5, or -1 for a button
    int button = 0;       // 1 to buttons, when axis is -1
    int32_t value = 0;    // the axis value, or 1 pressed / 0 released
};

struct ScenarioFrame {
    int frame = 0;
    std::vector<ScenarioInput> inputs;  // applied just before this frame's poll
};

struct Scenario {
    std::vector<ScenarioController> controllers;
    std::vector<ScenarioFrame> frames;  // in ascending frame order, one record per frame number
    int length = 0;                     // frames to run when --frames is not given
};

// The built-in scenario's JSON text and the scenario parsed from it.
extern const char DEFAULT_SCENARIO_JSON[];
Scenario default_scenario();

// Parses a scenario text; on failure returns false and sets error to "NAME:LINE: what".
bool parse_scenario(const std::string& name, const std::string& text, Scenario& scenario, std::string& error);
// Reads and parses a scenario file; an unreadable file is an error naming the file.
bool load_scenario(const std::string& path, Scenario& scenario, std::string& error);

// "j1 y=8001", "j2 b3 down".
std::string describe_input(const ScenarioInput& input);

// ---- Texts ----

// "1000000000000000 1000000000000000": bits in groups of 16, separated by a blank.
std::string group_bits(const std::string& bits);
// The meaning of one entry word: "constant 1", "j1 y > 8000", "!j2 button 3", "j1 x bit 4".
std::string describe_entry(MappingEntry entry);
// One --table line per entry: index, hex word, meaning.
std::string format_table(const MappingTable& table);
// Bytes that are not printable ASCII written as \t, \r, \n or \xNN; a backslash doubled.
std::string escape_bytes(const std::string& text);
// Reads a whole file of at most max_mib MiB into text; what names it in the error ("the
// mapping file"), which also names the path.
bool read_file(const std::string& path, const char* what, long max_mib, std::string& text, std::string& error);
std::string utf16_to_utf8(const char16_t* text, size_t max_units);

// ---- The answer and the mapping text ----

enum class AnswerShape { success, syntax_error, failure };
AnswerShape answer_shape(const std::string& answer);

struct TokenError {
    bool found = false;
    int index = 0;       // token number, from 1
    size_t offset = 0;   // byte offset of the token's first byte in the mapping text
    size_t line = 1;     // line and column (from 1) of that byte
    size_t column = 1;
    std::string token;   // the token as written, blanks included
    std::string reason;
};
// The token of the mapping text that the compiler refuses, as the compiler reports it.
TokenError locate_syntax_error(const std::string& mapping);

// Compiles the text as the plug-in would for this host argument.
void compile_for_table(const std::optional<std::string>& mapping, MappingTable& table);

// ---- Runs ----

struct HostOptions {
    std::optional<std::string> mapping;  // none: the configure command gets a null argument
    std::optional<std::string> mapping_file;
    std::optional<std::string> scenario_file;
    std::optional<int> frames;
    std::optional<int> bits;
    std::string plugin_path;  // Windows: the library to load
    bool table = false;
    bool json = false;
    bool list = false;
    bool live = false;
    bool version = false;
};

// The whole tool: parses the command line, runs, returns the exit status. Never throws.
int host_main(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// ---- Platform side: the simulated platform natively, the real one on Windows ----

struct HostPlatform {
    DeviceFunction device = nullptr;
    intptr_t window = 0;  // sent with command 0 when not 0
};

// Makes the platform ready for a run: loads the plug-in on Windows (plugin_path), or puts
// the scenario's virtual controllers in place natively. False with error set on failure.
bool platform_open(const HostOptions& options, const Scenario& scenario, HostPlatform& platform, std::string& error);
// Natively: sets the frame's inputs on the virtual controllers. Windows: nothing.
void platform_apply(const ScenarioFrame& frame);
// Windows: pumps the window's messages and waits for the next 60 Hz tick; true when a key
// was pressed (live runs stop then). Natively: false at once.
bool platform_wait_frame(const HostOptions& options);
void platform_close(HostPlatform& platform);
// Whether this build scripts virtual controllers.
bool platform_has_scenarios();
// The version of the plug-in this platform drives, and where it was found: on Windows
// read from the version resource of the library loaded as for a run; natively the
// linked-in plug-in's, which is the tool's own. False with error set on failure.
bool platform_plugin_version(const HostOptions& options, std::string& version, std::string& where, std::string& error);

// Lists the attached game controllers as the plug-in numbers them; false with error set
// when DirectInput could not be created or the enumeration failed.
bool list_controllers(std::ostream& out, bool json, std::string& error);
