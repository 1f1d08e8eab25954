// The plug-in's boundary: the exported entry point, its commands and the global state.
#pragma once

#include <cstdint>

#include "controllers/controllers.h"
#include "mapping/mapping_entry.h"
#include "text/text_buffer.h"

#if defined(_WIN32)
#define JOYBITS_EXPORT
#else
#define JOYBITS_EXPORT __attribute__((visibility("default")))
#endif

extern "C" JOYBITS_EXPORT intptr_t _pbplug_Device(int32_t command, intptr_t argument);

enum Command : int32_t {
    CMD_SET_WINDOW = 0,
    CMD_RELEASE = 1,
    CMD_CONFIGURE = 7,
    CMD_POLL = 8,
    CMD_NEXT_BIT = 9,
    CMD_ALWAYS_ONE = 10,
};

inline constexpr const char DEFAULT_MAPPING[] =
    "p,a,a,j1y>8000,j1y<-8000,j1x>8000,j1x<-8000,j1b1,j1b2,j1b3,j1b5,j1b6,j1b8,j1b7,a,a,"
    "p,a,a,j2y>8000,j2y<-8000,j2x>8000,j2x<-8000,j2b1,j2b2,j2b3,j2b5,j2b6,j2b8,j2b7,a,a";

inline constexpr const char SYNTAX_ERROR_MARK[] = "//Sintax Error!";
inline constexpr const char OUT_OF_MEMORY_MESSAGE[] = "//Out of memory!//";

struct PluginState {
    HWND window = nullptr;
    ControllerSet controllers;
    MappingTable table;
    int32_t cursor = 0;  // index of the last bit handed out; -1 after each poll
    TextBuffer result;   // the text returned by the configure command
};

// The one process-wide state record.
extern PluginState plugin_state;
