// The plug-in's one export as the end-to-end tests reach it. On Windows that is the
// shipped joybits.dll itself, copied unmodified beside the test program, loaded with
// LoadLibrary and found with GetProcAddress; it imports dinput8.dll, and so meets the
// simulated one that sits there too, the same the test program scripts. Elsewhere it is
// the export linked into the test program over the simulated platform.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstdio>

#if defined(_WIN32)
#include <windows.h>

#include <cstring>
#include <string>
#else
#include "plugin/joybits.h"
#endif

using PluginEntry = intptr_t (*)(int32_t command, intptr_t argument);

inline PluginEntry shipped_plugin_entry() {
#if defined(_WIN32)
    static PluginEntry entry = [] {
        wchar_t path[MAX_PATH];
        const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring dll(path, length);
        dll = dll.substr(0, dll.find_last_of(L"\\/") + 1) + L"joybits.dll";
        HMODULE library = LoadLibraryW(dll.c_str());
        FARPROC found = library == nullptr ? nullptr : GetProcAddress(library, "_pbplug_Device");
        if (found == nullptr) {
            std::fprintf(stderr, "FAILED: joybits.dll beside the test program cannot be loaded (error %lu)\n",
                         GetLastError());
            std::abort();
        }
        PluginEntry function = nullptr;
        static_assert(sizeof found == sizeof function);
        std::memcpy(&function, &found, sizeof function);
        return function;
    }();
    return entry;
#else
    return _pbplug_Device;
#endif
}
