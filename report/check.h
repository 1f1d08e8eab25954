// Warnings for mapping texts that the plug-in accepts but that probably do not mean what
// they say. Each is made in one place, check.cpp: `check_mapping` for the text as a whole
// and for its tokens in their order, `token_problems` for one token or a group's operand.
// It reads the tokens as the plug-in's own compiler cut them and changes nothing the
// plug-in does; it is not part of the plug-in's library (the host tool and the playground
// use it).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "controllers/controller_facts.h"
#include "mapping/compiler.h"

struct MappingWarning {
    int32_t token_index;  // from 0; the entry of the same number when below MAX_ENTRIES
    int32_t offset;       // byte offset of the token's start in the text as handed over (of
    int32_t length;       // the operand's, for a group's operand); its bytes as written, blanks included
    std::string message;  // one line
};

// What the platform says one attached controller has.
struct ControllerObjects {
    bool axes[MAPPED_AXIS_COUNT] = {};  // x, y, z, rx, ry, rz, then the sliders u and v
    int32_t povs = 0;
    int32_t buttons = 0;
};

// The attached controllers as far as the platform says: how many (-1 when that is not
// known) and, where it says what each has, one record per controller in the platform's
// order, which is slot order for a text without pins (empty when it does not); and the
// models of the attached controllers in that order, also those past the eighth (empty
// when not known), by which the pins of a text number them.
// And the XInput users as far as the platform says: whether XInput is there and which users
// are connected.
enum class XInputPresence : uint8_t { unknown, missing, present };
struct AttachedControllers {
    int32_t count = -1;
    std::vector<ControllerObjects> objects;
    std::vector<uint32_t> models = {};
    XInputPresence xinput = XInputPresence::unknown;
    bool xinput_connected[XINPUT_USER_COUNT] = {};
    bool xinput_guide = true;  // its DLL has the query that reports the guide button
};

// What every XInput pad has: the six axes, one point of view (the D-pad), XINPUT_BUTTON_COUNT
// buttons, no slider.
ControllerObjects xinput_pad_objects();

// The warnings of a mapping text, cut by mapping_tokens, in the order of its tokens;
// none for a text with a syntax error (the compiler's report says what is wrong there).
std::vector<MappingWarning> check_mapping(const std::string& text, const std::vector<TokenSpan>& tokens,
                                          const AttachedControllers& attached);

// The number of controllers a configure answer's help list names ("j3:" gives 3), or -1
// for an answer without a help list.
int controllers_in_answer(const std::string& answer);
