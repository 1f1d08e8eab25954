#include <cstdio>
#include <iostream>

#include "host/host.h"

int main(int argc, char** argv) {
    try {
        return host_main(argc, argv, std::cout, std::cerr);
    } catch (...) {
        std::fputs("joybits-host: unexpected failure\n", stderr);
        return EXIT_UNEXPECTED;
    }
}
