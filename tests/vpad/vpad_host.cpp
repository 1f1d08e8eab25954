#include "tests/vpad/vpad_host.h"

#include "tests/vpad/vpad_protocol.h"

#include <algorithm>
#include <sstream>

namespace vpad {

namespace {

std::wstring windows_path(const std::string& path) {
  std::wstring w(path.begin(), path.end());
  for (auto& c : w)
    if (c == L'/') c = L'\\';
  return w;
}

}  // namespace

void pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

bool to_foreground(HWND w) {
  for (int tries = 0; tries < 20; ++tries) {
    SetForegroundWindow(w);
    pump();
    if (GetForegroundWindow() == w) return true;
    Sleep(50);
  }
  return false;
}

HWND make_window(const wchar_t* title) {
  HWND w = CreateWindowExW(0, L"STATIC", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  return w && to_foreground(w) ? w : nullptr;
}

int run(const std::string& command_line, std::vector<std::string>* lines) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  CreatePipe(&read_end, &write_end, &inherit, 0);
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdOutput = write_end;
  start.hStdError = lines ? write_end : GetStdHandle(STD_ERROR_HANDLE);
  start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process{};
  std::wstring cmd = windows_path(command_line);
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &process)) {
    CloseHandle(read_end);
    CloseHandle(write_end);
    return -1;
  }
  CloseHandle(write_end);
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got) text.append(buffer, got);
  CloseHandle(read_end);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  if (lines) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines->push_back(line);
    }
  }
  return static_cast<int>(status);
}

bool send_report(HANDLE h, unsigned number, const PadShape& shape, const PadValues& values) {
  vpad_feed request{};
  std::vector<std::uint8_t> report = input_report(shape, values);
  request.pad = number;
  request.length = static_cast<unsigned>(report.size());
  std::copy(report.begin(), report.end(), request.report);
  DWORD got = 0;
  return h != INVALID_HANDLE_VALUE &&
         DeviceIoControl(h, VPAD_IOCTL_SET_REPORT, &request, sizeof request, nullptr, 0, &got, nullptr);
}

}  // namespace vpad
