// SPDX-License-Identifier: MIT
// tools/synth.h — the module's instruments, synthesized: drums from swept sines and
// filtered noise, tones additively (band-limited, and with loops that hold an exact
// whole number of every partial's cycles, so they repeat without a click).
// Deterministic: the noise comes from a fixed-seed generator of our own.
#pragma once
#include "tools/it_writer.h"

namespace synth {

constexpr int kRate = 44100;

// A pitched sample sounds at `baseNote` (MIDI numbering, A4 = 69) when played as C-5;
// the composer transposes from there. Unpitched drums have baseNote 60.
struct Voice {
    it::Sample sample;
    int baseNote = 60;
};

Voice kick();
Voice snare();
Voice clap();
Voice closedHat();
Voice openHat();
Voice crash();
Voice tom();
Voice riser();   // noise sweeping upwards for two bars
Voice bass();    // plucked, then a steady looped tone
Voice pad();     // three detuned saws, slow attack, looped
Voice stab();    // short bright chord-hit voice
Voice pluck();   // decaying, for arpeggios
Voice lead();    // pulse-like tone with delayed vibrato, looped

// Scales to a peak of `peak` (0..1 of full scale) and converts to 16 bit.
std::vector<std::int16_t> toPcm(const std::vector<double>& signal, double peak);

} // namespace synth
