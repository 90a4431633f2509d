// SPDX-License-Identifier: MIT
// tools/composer.cpp — writes the demo's music module: composer <output.it>.
// Written to a temporary name and renamed, so a failed run never leaves half a module.
#include "tools/composer.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: composer <output.it>\n");
        return 2;
    }
    const std::string path = argv[1];
    const it::Module song = composer::composeSong();
    const std::string why = it::problem(song);
    if (!why.empty()) {
        std::fprintf(stderr, "composer: the song cannot be written: %s\n", why.c_str());
        return 1;
    }
    const std::vector<std::uint8_t> bytes = it::write(song);

    const std::string temp = path + ".tmp";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        std::perror(("composer: " + temp).c_str());
        return 1;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !written || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::perror(("composer: " + path).c_str());
        std::remove(temp.c_str());
        return 1;
    }
    return 0;
}
