// SPDX-License-Identifier: MIT
// Writes a module that plays in about a second and a quarter, so a capture can run the whole
// demo, every scene's orders and the order-32 ending, in a test. By default 32 orders; fewer
// make a song that ends before order 32, and a jump makes one that goes back and loops.
//   capture_tiny_song OUT.it [ORDERS [JUMP-ORDER JUMP-TARGET]]
#include <cstdio>
#include <cstdlib>

#include "tests/support/tiny_module.h"

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3 && argc != 5) {
        std::fprintf(stderr, "usage: capture_tiny_song OUT.it [ORDERS [JUMP-ORDER JUMP-TARGET]]\n");
        return 2;
    }
    const int orders = argc >= 3 ? std::atoi(argv[2]) : 32;
    TinyJump jump;
    if (argc == 5) {
        jump.order = std::atoi(argv[3]);
        jump.target = std::atoi(argv[4]);
    }
    return writeTinyModule(argv[1], orders, 1, 255, 4, jump) ? 0 : 1; // rows of 2.5/255 s, 4 an order
}
