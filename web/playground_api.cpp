// The playground's side in WebAssembly. The page drives the plug-in through its export,
// _pbplug_Device, exactly as a host does; these functions are the rest it needs: the
// simulated platform's virtual controllers, and the host tool's diagnostics of a mapping
// (its table of entries, its syntax error, its warnings), as JSON texts.
#include <emscripten/emscripten.h>

#include <cstdio>
#include <string>
#include <vector>

#include "controllers/controller_facts.h"
#include "mapping/check.h"
#include "mapping/compiler.h"
#include "plugin/chosen_mapping.h"
#include "plugin/joybits.h"
#include "sim/sim_platform.h"
#include "tools/joybits_host_mapping.h"

namespace {

// The last JSON text handed to the page; valid until the next call.
std::string answer_json;

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

const char* hand_over(std::string json) {
    answer_json = std::move(json);
    return answer_json.c_str();
}

}  // namespace

extern "C" {

// {"commands":{"set_window":N,...},"slots":N,"axes":["x",...],"axis_min":N,"axis_max":N}:
// what the page must agree on with the plug-in, from the plug-in's own headers.
EMSCRIPTEN_KEEPALIVE const char* playground_facts() {
    const auto number = [](int value) { return std::to_string(value); };
    std::string json = "{\"commands\":{\"set_window\":" + number(CMD_SET_WINDOW) + ",\"release\":" +
                       number(CMD_RELEASE) + ",\"configure\":" + number(CMD_CONFIGURE) + ",\"poll\":" +
                       number(CMD_POLL) + ",\"next_bit\":" + number(CMD_NEXT_BIT) + "},\"slots\":" +
                       number(SLOT_COUNT) + ",\"axes\":[";
    for (int axis = 0; axis < AXIS_COUNT; ++axis) json += (axis == 0 ? "" : ",") + quoted(AXIS_NAMES[axis].letters);
    return hand_over(json + "],\"axis_min\":" + number(AXIS_MIN) + ",\"axis_max\":" + number(AXIS_MAX) + "}");
}

// Puts the platform back to no controllers; the plug-in must have released its own first.
EMSCRIPTEN_KEEPALIVE void playground_reset() {
    sim_reset();
    sim_set_logging(false);
}

// A virtual controller with the six axes and the given number of buttons; its number.
EMSCRIPTEN_KEEPALIVE int playground_add_controller(int buttons) {
    const int id = sim_add_controller("Virtual pad");
    for (SimAxis axis : {SimAxis::x, SimAxis::y, SimAxis::z, SimAxis::rx, SimAxis::ry, SimAxis::rz}) {
        sim_add_axis(id, axis);
    }
    sim_add_buttons(id, buttons);
    return id;
}

// axis 0 to 5 (x, y, z, rx, ry, rz), position -32768 to 32767.
EMSCRIPTEN_KEEPALIVE void playground_set_axis(int controller, int axis, int position) {
    if (axis >= 0 && axis < AXIS_COUNT) sim_set_axis(controller, static_cast<SimAxis>(axis), position);
}

// button 1 to BUTTON_COUNT, as the mapping language numbers them.
EMSCRIPTEN_KEEPALIVE void playground_set_button(int controller, int button, int pressed) {
    if (button >= 1 && button <= BUTTON_COUNT) sim_set_button(controller, button - 1, pressed != 0);
}

// {"entries":[{"word":"0x...","meaning":"...","token":"..."}...],"error":null|{"index","offset","token","reason"},
//  "warnings":[{"index","offset","length","message"}...]} for the mapping text the plug-in
// compiles (the host's, or the default), the controllers' count as the answer lists them.
EMSCRIPTEN_KEEPALIVE const char* playground_describe(const char* host_text, int controllers) {
    const std::string mapping = chosen_mapping(host_text);
    MappingTable table;
    const TextBuffer text(mapping.c_str());
    compile_mapping(text, table);
    const std::vector<TokenSpan> tokens = mapping_tokens(text);
    std::string json = "{\"entries\":[";
    for (int32_t i = 0; i < table.count; ++i) {
        const TokenSpan& token = tokens[static_cast<size_t>(i)];
        json += std::string(i == 0 ? "" : ",") + "{\"word\":\"" + entry_word_text(table.entries[i]) +
                "\",\"meaning\":" + quoted(describe_entry(table.entries[i])) + ",\"token\":" +
                quoted(mapping.substr(static_cast<size_t>(token.start), static_cast<size_t>(token.end - token.start))) +
                "}";
    }
    json += "],\"error\":";
    const TokenError error = locate_syntax_error(mapping);
    if (error.found) {
        json += "{\"index\":" + std::to_string(error.index) + ",\"offset\":" + std::to_string(error.offset) +
                ",\"token\":" + quoted(error.token) + ",\"reason\":" + quoted(error.reason) + "}";
    } else {
        json += "null";
    }
    json += ",\"warnings\":[";
    // The host's own text, so that an empty or blank one is warned about.
    const std::vector<MappingWarning> warnings = check_mapping(host_text != nullptr ? host_text : mapping, controllers);
    for (size_t i = 0; i < warnings.size(); ++i) {
        const MappingWarning& w = warnings[i];
        json += std::string(i == 0 ? "" : ",") + "{\"index\":" + std::to_string(w.token_index + 1) +
                ",\"offset\":" + std::to_string(w.offset) + ",\"length\":" + std::to_string(w.length) +
                ",\"message\":" + quoted(w.message) + "}";
    }
    return hand_over(json + "]}");
}

}  // extern "C"
