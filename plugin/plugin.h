// The plug-in's inside: the state record the export works on, and the dispatch of the
// commands on a state, which tests, fuzzers and benchmarks drive with a state of their
// own. The host's view is plugin/joybits.h.
#pragma once

#include <cstdint>

#include "controllers/controllers.h"
#include "mapping/evaluation.h"
#include "mapping/mapping_entry.h"
#include "plugin/joybits.h"
#include "text/text_buffer.h"

struct PluginState {
    ControllerSet controllers;  // with the host's window, which command 0 gives
    MappingTable table;
    DecodedTable decoded;  // the table's words decoded, rebuilt with them by every configure
    // Index of the last bit handed out; -1 after each poll. It starts at 0, not -1, which
    // hosts rely on: a next-bit command before any poll reads entry 1.
    int32_t cursor = 0;
    TextBuffer result;   // the text returned by the configure command
};

// Runs one command on the state, as _pbplug_Device does on the process-wide one. Never
// throws.
intptr_t plugin_dispatch(PluginState& state, int32_t command, intptr_t argument) noexcept;
