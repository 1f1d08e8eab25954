// joybits-host's bytes in and out: the bits it prints, the UTF-16 it converts and the
// files it reads.
#pragma once

#include <cstddef>
#include <string>

// "1000000000000000 1000000000000000": bits in groups of 16, separated by a blank.
std::string group_bits(const std::string& bits);
// Reads a whole file of at most max_mib MiB into text; what names it in the error ("the
// mapping file"), which also names the path. A UTF-16 file is refused, with how to save it.
bool read_file(const std::string& path, const char* what, long max_mib, std::string& text, std::string& error);
std::string utf16_to_utf8(const char16_t* text, size_t max_units);
