// The mapping text every frame benchmark configures, over the simulated platform and
// over Wine's own DirectInput alike.
#pragma once

#include <string>

#include "controllers/controller_facts.h"

// Controller token i of a mixed mapping over the first `controllers` controllers: it
// watches controller i % controllers + 1 with kind i % 19 (every axis in its below, above
// and bit forms, then a button), and every third token is inverted. With XINPUT_LETTER for
// letter, the controllers are the XInput users.
inline std::string mixed_token(int i, int controllers, char letter = CONTROLLER_LETTER) {
    std::string text;
    if (i % 3 == 0) text += '!';
    text += letter;
    text += static_cast<char>('1' + i % controllers);
    int kind = i % 19;
    if (kind == 18) {
        text += 'b' + std::to_string(i % 127 + 1);
    } else {
        text += AXIS_NAMES[kind / 3].letters;
        switch (kind % 3) {
        case 0: text += '<' + std::to_string(-8000 + 97 * i); break;
        case 1: text += '>' + std::to_string(8000 - 89 * i); break;
        default: text += std::to_string(i % 16); break;
        }
    }
    return text;
}

// A mapping text of `tokens` controller tokens, mixed_token 0 to tokens - 1.
inline std::string mixed_mapping(int tokens, int controllers, char letter = CONTROLLER_LETTER) {
    std::string text;
    for (int i = 0; i < tokens; ++i) text += (i > 0 ? "," : "") + mixed_token(i, controllers, letter);
    return text;
}

// A mapping text of `groups` groups of 4 operands, mixed tokens 4g to 4g + 3, joined by
// '|' in even groups and '&' in odd ones; every third group inverted.
inline std::string group_mapping(int groups, int controllers) {
    std::string text;
    for (int g = 0; g < groups; ++g) {
        text += std::string(g > 0 ? "," : "") + (g % 3 == 0 ? "!(" : "(");
        for (int k = 0; k < 4; ++k) text += (k > 0 ? (g % 2 == 0 ? "|" : "&") : "") + mixed_token(4 * g + k, controllers);
        text += ')';
    }
    return text;
}
