// Expected-output files: what a test must see, written out as it is printed and compared
// whole. "> name" starts the section of that name; a line starting with '#' is a comment;
// a line marked "[native] " stands only where the simulated platform answers
// GetModuleHandleW (outside Windows); "{instance}" stands for the host instance handle
// that DirectInput8Create receives.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>

#include "sim/sim_platform.h"

inline std::map<std::string, std::string> expected_sections(const std::string& name, const std::string& instance = "") {
    const std::string path = std::string(JOYBITS_SOURCE_DIR "/tests/") + name;
    std::ifstream file(path);
    EXPECT_TRUE(file.good()) << "cannot read " << path;
    std::map<std::string, std::string> sections;
    std::string section, line;
    const std::string native = "[native] ";
    while (std::getline(file, line)) {
        if (line.rfind("> ", 0) == 0) {
            section = line.substr(2);
            sections[section];
            continue;
        }
        if (line.empty() || line[0] == '#') continue;
        if (line.rfind(native, 0) == 0) {
            if (!SIM_HAS_MODULE_HANDLE) continue;
            line.erase(0, native.size());
        }
        for (size_t at = line.find("{instance}"); at != std::string::npos; at = line.find("{instance}")) {
            line.replace(at, 10, instance);
        }
        sections[section] += line + "\n";
    }
    return sections;
}
