// joybits-host: a stand-in for the host application. It drives the plug-in only through
// _pbplug_Device and its command codes, as a host does; the compiled table and the
// syntax-error position are diagnostics of its own, made with the mapping compiler.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

// Exit statuses of the tool.
inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_MAPPING_ERROR = 1;  // the mapping text has a syntax error
inline constexpr int EXIT_INPUT_ERROR = 2;    // bad command line, unreadable or malformed file
inline constexpr int EXIT_PLATFORM_ERROR = 3; // the plug-in could not be loaded or open the controllers
inline constexpr int EXIT_UNEXPECTED = 4;      // an exception reached the tool's top (a fault of the tool)

struct HostOptions {
    std::optional<std::string> mapping;  // none: the configure command gets a null argument
    std::optional<std::string> mapping_file;
    std::optional<std::string> scenario_file;
    std::optional<int> frames;
    std::optional<int> bits;
    std::string plugin_path;  // Windows: the library to load
    bool table = false;
    bool json = false;
    bool list = false;
    bool live = false;
    bool version = false;
    bool check = false;
};

// The whole tool: parses the command line, runs, returns the exit status. Never throws.
int host_main(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
