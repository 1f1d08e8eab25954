// What the programs that stand in for the host under Wine share: windows and the
// foreground, the message pump, starting a program (vpad_ctl, the tool), and feeding a
// pad's report. Used by the case runner and the soak.
#pragma once

#include "tests/vpad/vpad_pad.h"

#include <windows.h>

#include <string>
#include <vector>

namespace vpad {

void pump();
// Gives w the foreground and waits up to a second until it has it.
bool to_foreground(HWND w);
// A visible window with the title, given the foreground; null when it did not get it.
HWND make_window(const wchar_t* title);
// Runs a program and returns its exit status, its output lines in lines (when given).
int run(const std::string& command_line, std::vector<std::string>* lines);
// Sets pad N's input report through its HID device h (vpad::open_pad).
bool send_report(HANDLE h, unsigned number, const PadShape& shape, const PadValues& values);

}  // namespace vpad
