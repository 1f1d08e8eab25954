// A minimal Win32 host: loads joybits.dll by path, finds _pbplug_Device and drives it
// the way the host application does, with the system's own DirectInput. Without an
// attached controller the default mapping must answer with its text and the bare help
// list, and serve its constant bits. Exit status 0 when every check holds.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "plugin/joybits.h"

namespace {

using DeviceFunction = intptr_t (*)(int32_t, intptr_t);

int failures = 0;

void check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    if (!ok) ++failures;
}

}  // namespace

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "joybits.dll";
    HMODULE library = LoadLibraryA(path);
    if (library == nullptr) {
        std::printf("FAILED: cannot load %s (error %lu)\n", path, GetLastError());
        return 1;
    }
    auto device = reinterpret_cast<DeviceFunction>(reinterpret_cast<void*>(GetProcAddress(library, "_pbplug_Device")));
    if (device == nullptr) {
        std::printf("FAILED: %s exports no _pbplug_Device\n", path);
        return 1;
    }

    check(device(CMD_ALWAYS_ONE, 0) == 1, "command 10 answers 1");
    check(device(4, 0) == 0 && device(-1, 0) == 0 && device(11, 0) == 0, "unknown commands answer 0");
    check(device(CMD_SET_WINDOW, 0) == 0, "command 0 stores the window");

    const char* answer = reinterpret_cast<const char*>(device(CMD_CONFIGURE, 0));
    std::printf("answer: %s\n", answer);
    std::string expected = std::string(DEFAULT_MAPPING) + "//help//a;p;";
    check(answer != nullptr && expected == answer, "the default mapping's answer is its text and the bare help list");

    intptr_t count = device(CMD_POLL, 0);
    std::printf("poll: %ld\n", static_cast<long>(count));
    check(count == 32, "a poll returns 32");

    std::string bits;
    for (int i = 0; i < 32; ++i) bits += device(CMD_NEXT_BIT, 0) != 0 ? '1' : '0';
    std::printf("bits: %s %s\n", bits.substr(0, 16).c_str(), bits.substr(16).c_str());
    check(bits == "10000000000000001000000000000000", "the 32 reads give the constant bits");
    check(device(CMD_NEXT_BIT, 0) == 1 && device(CMD_NEXT_BIT, 0) == 1, "reads past the end give 1");

    check(device(CMD_RELEASE, 0) == 0, "command 1 releases the controllers");
    FreeLibrary(library);
    std::printf("%s\n", failures == 0 ? "all checks passed" : "some checks failed");
    return failures == 0 ? 0 : 1;
}
