// SPDX-License-Identifier: MIT
// Writes a 32-order module that plays in about a second and a quarter, so a capture can run
// the whole demo, every scene's orders and the order-32 ending, in a test.
#include <cstdio>

#include "tests/support/tiny_module.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: capture_tiny_song OUT.it\n");
        return 2;
    }
    return writeTinyModule(argv[1], 32, 1, 255, 4) ? 0 : 1; // 128 rows of 2.5/255 s
}
