#include "report/check.h"

#include <algorithm>
#include <map>

#include "text/text_buffer.h"

namespace {

std::string without_blanks(const std::string& text, int32_t from, int32_t to) {
    std::string bare;
    for (int32_t i = from; i < to; ++i) {
        const char c = text[static_cast<size_t>(i)];
        if (!is_mapping_blank(c)) bare += c;
    }
    return bare;
}

// What is wrong with a token's number as the compiler read it: "" when digits, and
// nothing after them, make it up.
std::string number_problem(const std::string& text, const TokenSpan& token) {
    const std::string written = without_blanks(text, token.number_start, token.end);
    if (written.empty()) return "there is no number: it reads as 0";
    if (token.number_end == token.number_start) return "\"" + written + "\" is not a number: it reads as 0";
    if (token.number_end == token.end) return "";
    return "\"" + written + "\" reads as " + std::to_string(token.number) + ": \"" +
           without_blanks(text, token.number_end, token.end) + "\" after the digits is ignored";
}

// What a number becomes in the entry word, when that is not what was read; shown: the
// number as the warning quotes it (as typed when it is digits alone).
std::string range_problem(MappingEntry word, int32_t read, const std::string& shown) {
    const EntryKind kind = entry_kind(word);
    if (kind == EntryKind::button) {
        if (entry_button(word) == read) return "";
        return "button " + shown + " reads button " + std::to_string(entry_button(word)) +
               " (buttons are 1 to " + std::to_string(BUTTON_COUNT) + ")";
    }
    if (kind_form(kind) == AxisForm::bit) {
        if (static_cast<int32_t>(entry_operand(word)) == read) return "";
        return "bit " + shown + " becomes bit " + std::to_string(entry_operand(word)) +
               " (bits are 0 to " + std::to_string(BIT_NUMBER_MASK) + ")";
    }
    if (entry_threshold(word) == read) return "";
    return "threshold " + shown + " becomes " + std::to_string(entry_threshold(word)) +
           " (thresholds are " + std::to_string(AXIS_MIN) + " to " + std::to_string(AXIS_MAX) + ")";
}

// A threshold test that no value from AXIS_MIN to AXIS_MAX turns: the comparisons are
// strict, so only "below the least" and "above the greatest" are never true.
std::string constant_test_problem(MappingEntry word) {
    const EntryKind kind = entry_kind(word);
    const int axis = kind_axis(kind);
    if (axis < 0 || kind_form(kind) == AxisForm::bit) return "";
    const bool below = kind_form(kind) == AxisForm::below;
    const int32_t threshold = entry_threshold(word);
    if (threshold != (below ? AXIS_MIN : AXIS_MAX)) return "";
    return std::string(mapped_axis_letters(axis)) + (below ? " < " : " > ") + std::to_string(threshold) +
           " is never true (values are " + std::to_string(AXIS_MIN) + " to " + std::to_string(AXIS_MAX) +
           "): the bit is always " + (entry_inverted(word) ? "1" : "0");
}

// "x, y", or "none".
std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text.empty() ? "none" : text;
}

// "4", or "none".
std::string counted(int32_t n) { return n == 0 ? "none" : std::to_string(n); }

// The control of its controller that a word reads, when the controller lacks it.
std::string missing_problem(MappingEntry word, const ControllerObjects& has) {
    const std::string pad = controller_name(entry_controller(word));
    const KindName* name = kind_name(entry_kind(word));
    if (name == nullptr) return "";
    switch (name->family) {
    case KindFamily::button:
        if (entry_button(word) <= has.buttons) return "";
        return pad + " has no button " + std::to_string(entry_button(word)) + " (it has " + counted(has.buttons) +
               "): it is never pressed";
    case KindFamily::pov:
        if (static_cast<int32_t>(entry_operand(word)) <= has.povs) return "";
        return pad + " has no point of view " + std::to_string(entry_operand(word)) + " (it has " + counted(has.povs) +
               "): it reads centred";
    case KindFamily::axis:
        break;
    case KindFamily::group:
        return "";
    }
    const int axis = kind_axis(entry_kind(word));
    if (has.axes[axis]) return "";
    const std::string noun = AXIS_NAMES[axis].noun;
    std::vector<std::string> same;
    for (int other = 0; other < MAPPED_AXIS_COUNT; ++other) {
        if (has.axes[other] && AXIS_NAMES[other].noun == noun) same.emplace_back(mapped_axis_letters(other));
    }
    return pad + " has no " + noun + " " + mapped_axis_letters(axis) + " (it has " + listed(same) + "): it reads 0";
}

// The control a controller entry's word reads: "j1 y", "j2 button 3", "j1 point of view 1".
std::string control_of(MappingEntry word) {
    const std::string pad = controller_name(entry_controller(word)) + " ";
    const KindName* name = kind_name(entry_kind(word));
    if (name == nullptr) return pad + "kind " + std::to_string(static_cast<int>(entry_kind(word)));
    switch (name->family) {
    case KindFamily::button:
        return pad + name->control + " " + std::to_string(entry_button(word));
    case KindFamily::pov:
        return pad + name->control + " " + std::to_string(entry_operand(word));
    case KindFamily::axis:
    case KindFamily::group:
        break;
    }
    return pad + name->control;
}

// The slots as the pins of a text give them to the attached controllers: the index of each
// slot's controller in attached.models, -1 for none.
struct SlotPads {
    uint32_t pins[SLOT_COUNT] = {};
    int32_t pad[SLOT_COUNT] = {-1, -1, -1, -1, -1, -1, -1, -1};
    bool pinned = false;  // the text has a pin and the platform said the models
};

SlotPads slot_pads(const std::vector<TokenSpan>& tokens, const AttachedControllers& attached) {
    SlotPads slots;
    for (const TokenSpan& token : tokens) {
        if (token.pin_slot >= 0) slots.pins[token.pin_slot] = token.pin_model;
        slots.pinned = slots.pinned || (token.pin_slot >= 0 && !attached.models.empty());
    }
    bool held[SLOT_COUNT] = {};
    for (size_t i = 0; slots.pinned && i < attached.models.size(); ++i) {
        const int32_t slot = slot_for_model(slots.pins, held, attached.models[i]);
        if (slot < 0) continue;
        held[slot] = true;
        slots.pad[slot] = static_cast<int32_t>(i);
    }
    return slots;
}

// What a slot that no controller takes under the pins reads; "" for a slot that one takes.
std::string empty_slot_problem(const SlotPads& slots, int32_t slot, const AttachedControllers& attached) {
    if (slots.pad[slot] >= 0) return "";
    const std::string pad = controller_name(static_cast<uint32_t>(slot + 1));
    const uint32_t model = slots.pins[slot];
    if (model == 0) return "no controller will take " + pad + ": it reads at rest";
    const bool attached_one = std::find(attached.models.begin(), attached.models.end(), model) != attached.models.end();
    return pad + " is kept for " + model_text(model).text +
           (attached_one ? ", of which no controller is left for it" : ", which is not attached") + ": it reads at rest";
}

// What an XInput user's word reads that its pad lacks, or that makes it read at rest.
std::vector<std::string> xinput_problems(MappingEntry word, const AttachedControllers& attached) {
    std::vector<std::string> problems;
    const std::string missing = missing_problem(word, xinput_pad_objects());
    if (!missing.empty()) problems.push_back(missing);
    const uint32_t user = entry_controller(word) - SLOT_COUNT - 1;
    const std::string pad = controller_name(entry_controller(word));
    if (attached.xinput == XInputPresence::missing) {
        problems.push_back("this system has no XInput (xinput1_4.dll, xinput1_3.dll or xinput9_1_0.dll): " + pad +
                           " reads at rest");
    } else if (attached.xinput == XInputPresence::present && !attached.xinput_connected[user]) {
        problems.push_back(pad + " is not connected (no XInput pad shows player light " + std::to_string(user + 1) +
                           "): it reads at rest until one is");
    }
    const bool guide = entry_kind(word) == EntryKind::button && entry_button(word) == XINPUT_BUTTON_COUNT;
    if (guide && attached.xinput == XInputPresence::present && !attached.xinput_guide) {
        problems.push_back("this system's XInput (xinput9_1_0.dll) does not report the guide button: " + pad + " b" +
                           std::to_string(XINPUT_BUTTON_COUNT) + " is never pressed");
    }
    return problems;
}

// The warnings of one compiled token of text.
std::vector<std::string> token_problems(const std::string& text, const TokenSpan& token,
                                        const AttachedControllers& attached, const SlotPads& slots) {
    std::vector<std::string> problems;
    const auto add = [&](const std::string& problem) {
        if (!problem.empty()) problems.push_back(problem);
    };
    if (entry_is_constant(token.word)) {
        if (without_blanks(text, token.start, token.end)[0] == '!') {
            add(std::string("'!' does nothing before a constant: this is \"") + (token.word == CONSTANT_0 ? "a" : "p") +
                "\"");
        }
        return problems;
    }
    // A point of view's number is one digit, which the compiler keeps to 1 to 4.
    if (kind_pov_direction(entry_kind(token.word)) < 0) {
        add(number_problem(text, token));
        const bool digits_alone = token.number_end != token.number_start && token.number_end == token.end;
        add(range_problem(token.word, token.number,
                          digits_alone ? without_blanks(text, token.number_start, token.end) : std::to_string(token.number)));
        add(constant_test_problem(token.word));
    }
    const auto controller = static_cast<int32_t>(entry_controller(token.word));
    if (is_xinput_controller(entry_controller(token.word))) {
        for (const std::string& problem : xinput_problems(token.word, attached)) add(problem);
    } else if (slots.pinned) {
        const int32_t pad = slots.pad[controller - 1];
        add(empty_slot_problem(slots, controller - 1, attached));
        if (pad >= 0 && pad < static_cast<int32_t>(attached.objects.size())) {
            add(missing_problem(token.word, attached.objects[static_cast<size_t>(pad)]));
        }
    } else if (attached.count >= 0 && controller > attached.count) {
        add(controller_name(static_cast<uint32_t>(controller)) + " is not attached (" +
            (attached.count == 0 ? std::string("no controller is") : std::to_string(attached.count) + " attached") + ")");
    } else if (attached.count >= 0 && static_cast<int32_t>(attached.objects.size()) == attached.count) {
        add(missing_problem(token.word, attached.objects[static_cast<size_t>(controller - 1)]));
    }
    return problems;
}

// The warnings of group token index: each operand's own, named by its number and marking
// its bytes, and an operand that reads the same control as one before it.
void warn_group(const std::string& text, const TokenSpan& token, int32_t index, const AttachedControllers& attached,
                const SlotPads& slots,
                std::vector<MappingWarning>& warnings) {
    std::map<std::string, size_t> first_with_control;
    for (size_t i = 0; i < token.operands.size(); ++i) {
        const TokenSpan& operand = token.operands[i];
        const std::string name = "operand " + std::to_string(i + 1);
        auto warn = [&](const std::string& message) {
            warnings.push_back({index, operand.start, operand.end - operand.start, name + ": " + message});
        };
        for (const std::string& problem : token_problems(text, operand, attached, slots)) warn(problem);
        const auto seen = first_with_control.emplace(control_of(operand.word), i);
        if (!seen.second) warn("reads " + seen.first->first + ", as operand " + std::to_string(seen.first->second + 1) + " does");
    }
}

}  // namespace

std::vector<MappingWarning> check_mapping(const std::string& text, const std::vector<TokenSpan>& tokens,
                                          const AttachedControllers& attached) {
    std::vector<MappingWarning> warnings;
    if (refused_token(tokens) != nullptr) return warnings;
    // A text that is not empty but holds no token: blanks alone, or blanks and a comment.
    if (tokens.empty() && !text.empty()) {
        const bool comment = text.find('/') != std::string::npos;
        warnings.push_back({0, 0, static_cast<int32_t>(text.size()),
                            std::string("the mapping text is only blanks") + (comment ? " before its comment" : "") +
                                ": no token, so no entry (not the default mapping, which only an empty text gives): "
                                "a poll counts 0 entries, and a bit read all the same is 1"});
        return warnings;
    }

    std::map<MappingEntry, int32_t> first_with_test;
    const SlotPads slots = slot_pads(tokens, attached);
    for (int32_t index = 0; index < static_cast<int32_t>(tokens.size()); ++index) {
        const TokenSpan& token = tokens[static_cast<size_t>(index)];
        auto warn = [&](const std::string& message) {
            warnings.push_back({index, token.start, token.end - token.start, message});
        };
        if (token.ignored) {
            warn("this token and the " + std::to_string(tokens.size() - static_cast<size_t>(index) - 1) +
                 " after it are ignored: only the first " + std::to_string(MAX_ENTRIES) + " tokens count");
            break;
        }
        if (token.pin_slot >= 0) {
            if (slots.pinned && slots.pad[token.pin_slot] < 0) warn(empty_slot_problem(slots, token.pin_slot, attached));
            continue;
        }
        if (entry_is_group(token.word)) {
            warn_group(text, token, index, attached, slots, warnings);
            continue;
        }
        for (const std::string& problem : token_problems(text, token, attached, slots)) warn(problem);
        if (entry_is_constant(token.word)) continue;
        const auto seen = first_with_test.emplace(token.word, index);
        if (!seen.second) warn("the same test as token " + std::to_string(seen.first->second + 1));
    }
    // The last token ends at a comma rather than at a '/' or the end of the text.
    if (!tokens.empty() && static_cast<size_t>(tokens.back().end) < text.size() &&
        text[static_cast<size_t>(tokens.back().end)] == ',') {
        warnings.push_back({static_cast<int32_t>(tokens.size()), tokens.back().end, 1,
                            "a comma at the end: accepted, but no token follows it"});
    }
    return warnings;
}

ControllerObjects xinput_pad_objects() {
    ControllerObjects pad;
    for (int axis = 0; axis < AXIS_COUNT; ++axis) pad.axes[axis] = true;
    pad.povs = XINPUT_POV_COUNT;
    pad.buttons = XINPUT_BUTTON_COUNT;
    return pad;
}

int controllers_in_answer(const std::string& answer) {
    const size_t help = answer.find(HELP_HEAD);
    if (help == std::string::npos) return -1;
    for (int32_t slot = SLOT_COUNT; slot > 0; --slot) {
        if (answer.find(help_slot_head(slot - 1).text, help) != std::string::npos) return slot;
    }
    return 0;
}
