// The mapping text every frame benchmark configures, over the simulated platform and
// over Wine's own DirectInput alike.
#pragma once

#include <string>

#include "controllers/axes.h"

// A mapping text of `tokens` controller tokens over the first `controllers` controllers:
// token i watches controller i % controllers + 1 with kind i % 19 (every axis in its
// below, above and bit forms, then a button), and every third token is inverted.
inline std::string mixed_mapping(int tokens, int controllers) {
    std::string text;
    for (int i = 0; i < tokens; ++i) {
        if (i > 0) text += ',';
        if (i % 3 == 0) text += '!';
        text += 'j';
        text += static_cast<char>('1' + i % controllers);
        int kind = i % 19;
        if (kind == 18) {
            text += 'b' + std::to_string(i % 127 + 1);
        } else {
            text += AXES[kind / 3].letters;
            switch (kind % 3) {
            case 0: text += '<' + std::to_string(-8000 + 97 * i); break;
            case 1: text += '>' + std::to_string(8000 - 89 * i); break;
            default: text += std::to_string(i % 16); break;
            }
        }
    }
    return text;
}
