// SPDX-License-Identifier: MIT
// tests/e2e/make_module.cpp — writes the short module the end-to-end runs play: all 32
// orders in a few seconds, so the demo reaches its own ending quickly. With a jump
// (ORDER:ROW:TARGET, effect B), a song that loops or leaves its order list early.
#include <cstdio>
#include <cstdlib>

#include "tests/support/tiny_module.h"

int main(int argc, char** argv)
{
    TinyJump jump;
    if ((argc != 3 && argc != 4) ||
        (argc == 4 && std::sscanf(argv[3], "%d:%d:%d", &jump.order, &jump.row, &jump.target) != 3)) {
        std::fprintf(stderr, "usage: make_module PATH ROWS-PER-ORDER [JUMP-ORDER:ROW:TARGET]\n");
        return 2;
    }
    return writeTinyModule(argv[1], 32, 1, 255, std::atoi(argv[2]), jump) ? 0 : 1;
}
