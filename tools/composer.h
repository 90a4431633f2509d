// SPDX-License-Identifier: MIT
// tools/composer.h — the demo's song, "sorvan": 32 orders of 64 rows at speed 6 and
// tempo 125 (7.68 s an order), arranged to the scenes the orders select.
#pragma once
#include "tools/it_writer.h"

namespace composer {

constexpr int kOrders = 32;
constexpr int kRows = 64;
constexpr int kRowsPerBar = 16;

// Channels by role; the scenes' beat test reads the song's rows, not these.
enum Channel {
    kKick, kSnare, kClap, kHat, kPerc, kCymbal, kBass,
    kPad1, kPad2, kPad3, kStab1, kStab2, kStab3, kArp, kLead, kEcho,
    kChannelCount
};

// The complete module, samples and all. Same result on every call.
it::Module composeSong();

} // namespace composer
