// Which mapping text the plug-in compiles for what a host hands over.
#pragma once

#include "plugin/joybits.h"

// The host's text, unless it gives none: a null pointer, an empty text or one that
// starts with '/' (a comment, such as a failure answer handed back) selects the default.
inline const char* chosen_mapping(const char* host_text) noexcept {
    if (host_text == nullptr || host_text[0] == '\0' || host_text[0] == '/') return DEFAULT_MAPPING;
    return host_text;
}
