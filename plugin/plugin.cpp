#include "plugin/plugin.h"

#include <limits>

#include "mapping/compiler.h"
#include "mapping/evaluation.h"
#include "plugin/chosen_mapping.h"

namespace {

// The one process-wide state record, for as long as the library is loaded.
PluginState plugin_state;

// Release and reset the controllers, choose the text, open the controllers, compile,
// compose the answer. The bit cursor is left where it was: only a poll starts the
// read-out again, which every host sends before it reads.
// Kept out of line so that the frame commands do not pay for its frame and unwinding.
[[gnu::noinline]] const char* configure(PluginState& state, intptr_t argument) {
    reset_controllers(state.controllers);
    TextBuffer mapping(chosen_mapping(reinterpret_cast<const char*>(argument)));
    state.table.count = 0;
    state.decoded.count = 0;
    // Compiled before the pads are numbered, which its pins decide; no host sees the
    // order, and a table whose controllers could not be opened is emptied again.
    CompileResult compiled = compile_mapping(mapping, state.table);
    for (int32_t i = 0; i < SLOT_COUNT; ++i) state.controllers.pins[i] = compiled.pins[i];
    decode_entries(state.table, state.decoded);
    const uint32_t read = slots_read(state.decoded);
    state.controllers.read_slots = read & ((1u << SLOT_COUNT) - 1);  // a poll looks for pads for these alone
    // Told of the pads that come from the enumeration on: kept until command 1.
    if (state.controllers.read_slots != 0) watch_devices(state.controllers);
    if (!open_controllers(state.controllers, state.controllers.window, state.result)) {
        state.table.count = 0;
        state.decoded.count = 0;
        return state.result.c_str();
    }
    configure_xinput(state.controllers.xinput, read >> SLOT_COUNT);
    if (compiled.syntax_error) state.result.assign(concat(SYNTAX_ERROR_MARK, state.result));
    state.result.assign(concat(compiled.echo, state.result));
    return state.result.c_str();
}

// Storage ran out somewhere in the configure: nothing half-built stays behind.
const char* configure_out_of_memory(PluginState& state) noexcept {
    state.table.count = 0;
    state.decoded.count = 0;
    reset_controllers(state.controllers);
    state.result.release();
    return OUT_OF_MEMORY_MESSAGE;
}

int32_t poll(PluginState& state) noexcept {
    state.cursor = -1;
    StateSnapshot snapshot;  // capture sets every fresh flag; a record is read only when fresh
    capture_states(state.controllers, snapshot);
    capture_xinput(state.controllers, snapshot);
    take_in_arrivals(state.controllers);  // read from the next polls on
    return evaluate_decoded(state.table, state.decoded, snapshot);
}

// The next entry's result bit, and 1 past the end. The cursor stops at the largest
// value instead of wrapping, so a host that reads without end keeps getting 1.
int32_t next_bit(PluginState& state) noexcept {
    const int32_t cursor = state.cursor + (state.cursor < std::numeric_limits<int32_t>::max() ? 1 : 0);
    state.cursor = cursor;
    return cursor < state.table.count ? static_cast<int32_t>(entry_result(state.table.entries[cursor])) : 1;
}

intptr_t dispatch(PluginState& state, int32_t command, intptr_t argument) {
    switch (command) {
    case CMD_SET_WINDOW:
        state.controllers.window = reinterpret_cast<HWND>(argument);
        return 0;
    case CMD_RELEASE:
        release_controllers(state.controllers);
        stop_watching_devices(state.controllers);
        release_xinput(state.controllers.xinput);
        return 0;
    case CMD_CONFIGURE:
        try {
            return reinterpret_cast<intptr_t>(configure(state, argument));
        } catch (...) {
            return reinterpret_cast<intptr_t>(configure_out_of_memory(state));
        }
    case CMD_POLL:
        return poll(state);
    case CMD_NEXT_BIT:
        return next_bit(state);
    case CMD_ALWAYS_ONE:
        return 1;
    default:
        return 0;
    }
}

// Every command but the next bit, behind the guard. Out of line, so that the next-bit
// path (160 calls a frame) takes no stack frame and no jump table. (The guard itself
// costs no instruction on any path: both mingw-w64 compilers unwind from tables, the
// i686 one DWARF-2, the x86_64 one SEH.)
[[gnu::noinline]] intptr_t guarded_dispatch(PluginState& state, int32_t command, intptr_t argument) noexcept {
    try {
        return dispatch(state, command, argument);
    } catch (...) {
        return 0;
    }
}

}  // namespace

intptr_t plugin_dispatch(PluginState& state, int32_t command, intptr_t argument) noexcept {
    if (command == CMD_NEXT_BIT) [[likely]] return next_bit(state);
    return guarded_dispatch(state, command, argument);
}

extern "C" intptr_t _pbplug_Device(int32_t command, intptr_t argument) {
    return plugin_dispatch(plugin_state, command, argument);
}

#if defined(_WIN32)
// The window of device notifications has this library's procedure: it must go before the
// library does, when a host unloads it without command 1. Not at the process's end, when
// the host's thread and its windows may be gone already.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) plugin_state.controllers.notices.module = instance;
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) stop_watching_devices(plugin_state.controllers);
    return TRUE;
}
#endif
