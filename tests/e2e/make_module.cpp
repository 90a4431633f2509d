// SPDX-License-Identifier: MIT
// tests/e2e/make_module.cpp — writes the short module the end-to-end runs play: all 32
// orders in a few seconds, so the demo reaches its own ending quickly.
#include <cstdio>
#include <cstdlib>

#include "tests/support/tiny_module.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_module PATH ROWS-PER-ORDER\n");
        return 2;
    }
    return writeTinyModule(argv[1], 32, 1, 255, std::atoi(argv[2])) ? 0 : 1;
}
