// The plug-in as a host sees it: the one export, its command codes, the built-in
// mapping and the messages its answers carry. Nothing here needs DirectInput.
#pragma once

#include <cstdint>

#include "controllers/controller_facts.h"

#if defined(_WIN32)
#define JOYBITS_EXPORT
#else
#define JOYBITS_EXPORT __attribute__((visibility("default")))
#endif

// command: one of the codes below (any other answers 0); argument: a window handle, a
// mapping text or nothing, by command. Never throws.
extern "C" JOYBITS_EXPORT intptr_t _pbplug_Device(int32_t command, intptr_t argument);

enum Command : int32_t {
    CMD_SET_WINDOW = 0,  // argument: the host's window; answers 0
    CMD_RELEASE = 1,     // lets the controllers go; answers 0
    CMD_CONFIGURE = 7,   // argument: the mapping text or null; answers the answer text
    CMD_POLL = 8,        // reads the controllers; answers the entry count
    CMD_NEXT_BIT = 9,    // answers the next entry's bit, 1 past the end
    CMD_ALWAYS_ONE = 10, // answers 1
};

// The mapping used when the host gives none (a null or empty text, or one that starts
// with '/'): two controllers in two groups of 16 bits.
inline constexpr const char DEFAULT_MAPPING[] =
    "p,a,a,j1y>8000,j1y<-8000,j1x>8000,j1x<-8000,j1b1,j1b2,j1b3,j1b5,j1b6,j1b8,j1b7,a,a,"
    "p,a,a,j2y>8000,j2y<-8000,j2x>8000,j2x<-8000,j2b1,j2b2,j2b3,j2b5,j2b6,j2b8,j2b7,a,a";

// The answer to a configure: the mapping as compiled, SYNTAX_ERROR_MARK if a token was
// refused, and the help list, which starts with HELP_HEAD; or one failure message alone.
// Its characters stay valid until the next configure has read its text (so the answer
// itself may be handed back as that text) or the library is unloaded; command 1 leaves
// them. Every marker starts with '/', so the answer handed back compiles as the mapping.
// HELP_HEAD and the controller set's messages come from controllers/controller_facts.h.
// "Sintax" is spelt so because hosts and stored mapping texts look for these bytes.
inline constexpr const char SYNTAX_ERROR_MARK[] = "//Sintax Error!";
inline constexpr const char OUT_OF_MEMORY_MESSAGE[] = "//Out of memory!//";
