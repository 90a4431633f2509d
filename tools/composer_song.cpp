// SPDX-License-Identifier: MIT
// tools/composer_song.cpp — the arrangement of "sorvan". Each order has a plan (chords,
// drum, bass and pad styles, melody, fill); the plans are written into one song-long grid
// of rows, so echoes and held notes can cross order boundaries, then cut into patterns.
#include "tools/composer.h"
#include "tools/synth.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstring>
#include <string>

namespace composer {
namespace {

// Sample numbers, 1-based as the pattern data names them.
enum Sample { sKick = 1, sSnare, sClap, sClosedHat, sOpenHat, sCrash, sTom, sRiser, sBass, sPad, sStab, sPluck, sLead, kSampleCount = sLead };

// MIDI note each sample sounds at when played as C-5, filled in with the samples.
std::array<int, kSampleCount + 1> gBaseNote{};

constexpr int kSongRows = kOrders * kRows;
constexpr int kDrumNote = 60; // drums play at their recorded rate
constexpr int kEchoDelayRows = 3;

struct Chord {
    int bass;    // MIDI, octave 1 to 2
    int pad[3];  // close voicing around middle C
};
const Chord kAm{33, {57, 60, 64}};
const Chord kF{29, {57, 60, 65}};
const Chord kC{36, {55, 60, 64}};
const Chord kG{31, {55, 59, 62}};
const Chord kDm{38, {57, 62, 65}};
const Chord kEm{28, {55, 59, 64}};
const Chord kE{28, {56, 59, 64}}; // the major dominant, pulling back to A minor

using Progression = std::array<const Chord*, 4>; // one chord a bar
const Progression kIntroA{&kAm, &kAm, &kF, &kF};
const Progression kIntroB{&kC, &kC, &kG, &kG};
const Progression kMain{&kAm, &kF, &kC, &kG};
const Progression kLift{&kF, &kG, &kEm, &kAm};
const Progression kGreet{&kDm, &kF, &kC, &kE};
const Progression kClose{&kAm, &kF, &kG, &kAm};
const Progression kFinal{&kAm, &kAm, &kAm, &kAm};

// A melody: one string a bar, one token a row: a note ("E5", "G#5"), "." to hold or rest,
// "^" to cut.
using Melody = std::array<const char*, 4>;
const Melody kThemeA{
    "A4 . . C5 . . E5 . . . D5 . C5 . D5 .",
    "C5 . . . . . A4 . . . . . ^ . . .",
    "G4 . . C5 . . E5 . . . G5 . E5 . D5 .",
    "D5 . . . . . . . B4 . . . ^ . . .",
};
const Melody kThemeB{
    "E5 . . . . . A5 . G5 . . . E5 . D5 .",
    "C5 . . . D5 . . . C5 . A4 . . . ^ .",
    "C5 . . E5 . . G5 . . . A5 . G5 . E5 .",
    "D5 . . . . . . . . . ^ . B4 . . .",
};
const Melody kThemeC{
    "A4 . . . C5 . . . F5 . . . E5 . . .",
    "D5 . . . . . B4 . . . G4 . . . ^ .",
    "E5 . . . G5 . . . B5 . . . A5 . G5 .",
    "A5 . . . . . . . . . . . ^ . . .",
};
const Melody kThemeD{
    "D5 . . F5 . . A5 . . . G5 . F5 . E5 .",
    "F5 . . . . . C5 . . . . . ^ . . .",
    "E5 . . G5 . . C6 . . . B5 . G5 . E5 .",
    "G#5 . . . . . . . B5 . . . ^ . . .",
};
const Melody kThemeEnd{ // its last note is held into the final order and faded there
    "E5 . . . . . . . C5 . . . . . . .",
    "A4 . . . . . . . C5 . . . . . . .",
    "B4 . . . . . . . D5 . . . . . . .",
    "A4 . . . . . . . . . . . . . . .",
};

enum class Kick { None, Four, Half, Drop, Final };
enum class Snare { None, Back, Half };
enum class Hats { None, Eighths, Sixteenths, Full };
enum class Bass { None, Long, Half, Quarter, Offbeat, Drive, Roll };
enum class Stabs { None, Accent, Offbeat };
enum class Fill { None, Snare, Toms, Roll, ShortRoll };
enum class Pad { Steady, FadeIn };

struct OrderPlan {
    const Progression* chords = &kMain;
    int level = 100; // percent, scales drums and bass as the intro builds and the close winds down
    Kick kick = Kick::None;
    Snare snare = Snare::None;
    bool clap = false;
    Hats hats = Hats::None;
    Bass bass = Bass::None;
    int pad = 22;    // pad volume, 0 for none
    Pad padShape = Pad::Steady;
    int arp = 0;     // arpeggio volume, 0 for none
    const Melody* lead = nullptr;
    bool echo = false;
    Stabs stabs = Stabs::None;
    Fill fill = Fill::None; // in the last bar, leading into the next section
    bool crash = false;     // on the first row: a section starts
    bool riser = false;     // over the last two bars
    bool fadeOut = false;   // the end: everything held fades to silence
};

// Orders 0-1: title picture; 2-7: title strips; 8-9: tumbling planes (accents on rows
// 9-15 of each bar); 10-11: meshes and tunnel; 12-15: corridor; 16-19: greetings;
// 20-22: credits; 23-25: cube runs; 26-31: closing titles.
const std::array<OrderPlan, kOrders> kPlan{{
    /* 0 */ {.chords = &kIntroA, .pad = 22, .padShape = Pad::FadeIn},
    /* 1 */ {.chords = &kIntroB, .pad = 22, .arp = 14, .riser = true},
    /* 2 */ {.level = 60, .kick = Kick::Four, .bass = Bass::Quarter, .arp = 20},
    /* 3 */ {.level = 70, .kick = Kick::Four, .hats = Hats::Eighths, .bass = Bass::Quarter, .arp = 20},
    /* 4 */ {.level = 80, .kick = Kick::Four, .snare = Snare::Back, .hats = Hats::Sixteenths,
             .bass = Bass::Offbeat, .arp = 24},
    /* 5 */ {.level = 85, .kick = Kick::Four, .snare = Snare::Back, .clap = true, .hats = Hats::Sixteenths,
             .bass = Bass::Offbeat, .arp = 26},
    /* 6 */ {.level = 90, .kick = Kick::Four, .snare = Snare::Back, .clap = true, .hats = Hats::Full,
             .bass = Bass::Drive, .arp = 26},
    /* 7 */ {.level = 95, .kick = Kick::Drop, .hats = Hats::Full, .bass = Bass::Drive, .arp = 26,
             .fill = Fill::Roll, .riser = true},
    /* 8 */ {.kick = Kick::Four, .snare = Snare::Back, .clap = true, .hats = Hats::Full, .bass = Bass::Drive,
             .arp = 18, .stabs = Stabs::Accent, .crash = true},
    /* 9 */ {.kick = Kick::Four, .snare = Snare::Back, .clap = true, .hats = Hats::Full, .bass = Bass::Drive,
             .arp = 18, .stabs = Stabs::Accent, .fill = Fill::Toms},
    /*10 */ {.chords = &kLift, .kick = Kick::Half, .snare = Snare::Half, .hats = Hats::Sixteenths,
             .bass = Bass::Half, .arp = 30, .crash = true},
    /*11 */ {.chords = &kLift, .kick = Kick::Half, .snare = Snare::Half, .hats = Hats::Sixteenths,
             .bass = Bass::Half, .arp = 30, .fill = Fill::Toms},
    /*12 */ {.kick = Kick::Four, .snare = Snare::Back, .clap = true, .hats = Hats::Full, .bass = Bass::Drive,
             .lead = &kThemeA, .crash = true},
    /*13 */ {.kick = Kick::Four, .snare = Snare::Back, .clap = true, .hats = Hats::Full, .bass = Bass::Drive,
             .lead = &kThemeB},
    /*14 */ {.kick = Kick::Four, .snare = Snare::Back, .clap = true, .hats = Hats::Full, .bass = Bass::Drive,
             .arp = 22, .lead = &kThemeA, .echo = true},
    /*15 */ {.kick = Kick::Four, .snare = Snare::Back, .clap = true, .hats = Hats::Full, .bass = Bass::Drive,
             .arp = 22, .lead = &kThemeB, .echo = true, .fill = Fill::Toms},
    /*16 */ {.chords = &kGreet, .hats = Hats::Eighths, .bass = Bass::Long, .pad = 26, .arp = 28,
             .lead = &kThemeD, .crash = true},
    /*17 */ {.chords = &kGreet, .hats = Hats::Eighths, .bass = Bass::Long, .pad = 26, .arp = 28,
             .lead = &kThemeD, .echo = true, .fill = Fill::ShortRoll, .riser = true},
    /*18 */ {.chords = &kGreet, .kick = Kick::Four, .snare = Snare::Back, .clap = true, .hats = Hats::Full,
             .bass = Bass::Offbeat, .lead = &kThemeD, .echo = true, .crash = true},
    /*19 */ {.chords = &kGreet, .kick = Kick::Four, .snare = Snare::Back, .clap = true, .hats = Hats::Full,
             .bass = Bass::Offbeat, .arp = 28, .stabs = Stabs::Offbeat, .fill = Fill::Toms},
    /*20 */ {.chords = &kLift, .kick = Kick::Four, .snare = Snare::Back, .hats = Hats::Sixteenths,
             .bass = Bass::Offbeat, .lead = &kThemeC, .crash = true},
    /*21 */ {.kick = Kick::Four, .snare = Snare::Back, .hats = Hats::Sixteenths, .bass = Bass::Offbeat,
             .arp = 28},
    /*22 */ {.chords = &kLift, .kick = Kick::Four, .snare = Snare::Back, .hats = Hats::Sixteenths,
             .bass = Bass::Offbeat, .lead = &kThemeC, .echo = true, .fill = Fill::Snare},
    /*23 */ {.kick = Kick::Four, .snare = Snare::Back, .clap = true, .hats = Hats::Full, .bass = Bass::Roll,
             .arp = 24, .stabs = Stabs::Offbeat, .crash = true},
    /*24 */ {.kick = Kick::Four, .snare = Snare::Back, .clap = true, .hats = Hats::Full, .bass = Bass::Roll,
             .arp = 20, .lead = &kThemeB, .echo = true},
    /*25 */ {.chords = &kLift, .kick = Kick::Four, .snare = Snare::Back, .clap = true, .hats = Hats::Full,
             .bass = Bass::Roll, .lead = &kThemeC, .echo = true, .stabs = Stabs::Offbeat, .fill = Fill::Toms},
    /*26 */ {.kick = Kick::Four, .snare = Snare::Back, .clap = true, .hats = Hats::Full, .bass = Bass::Drive,
             .arp = 20, .lead = &kThemeA, .echo = true, .crash = true},
    /*27 */ {.kick = Kick::Four, .snare = Snare::Back, .clap = true, .hats = Hats::Full, .bass = Bass::Drive,
             .arp = 20, .lead = &kThemeB, .echo = true, .fill = Fill::Snare},
    /*28 */ {.chords = &kLift, .kick = Kick::Four, .snare = Snare::Back, .clap = true, .hats = Hats::Full,
             .bass = Bass::Drive, .arp = 20, .stabs = Stabs::Accent, .crash = true},
    /*29 */ {.level = 80, .kick = Kick::Half, .hats = Hats::Eighths, .bass = Bass::Long, .arp = 24},
    /*30 */ {.chords = &kClose, .level = 70, .bass = Bass::Long, .pad = 26, .arp = 16, .lead = &kThemeEnd, .echo = true},
    /*31 */ {.chords = &kFinal, .kick = Kick::Final, .bass = Bass::Long, .pad = 26, .crash = true,
             .fadeOut = true},
}};

// The song as one long grid of rows, cut into patterns at the end.
struct Grid {
    std::vector<it::Cell> cells = std::vector<it::Cell>(std::size_t(kSongRows) * kChannelCount);

    it::Cell* at(int row, int ch)
    {
        if (row < 0 || row >= kSongRows)
            return nullptr; // an echo past the end of the song is dropped
        return &cells[std::size_t(row) * kChannelCount + std::size_t(ch)];
    }
    void note(int row, int ch, int sample, int midi, int volume)
    {
        const int itNote = 60 + midi - gBaseNote[std::size_t(sample)];
        assert(itNote >= 0 && itNote <= 119 && "note outside the tracker's range: transpose the part");
        if (it::Cell* c = at(row, ch))
            *c = it::Cell{itNote, sample, std::clamp(volume, 0, 64), 0, 0};
    }
    void drum(int row, int ch, int sample, int volume) { note(row, ch, sample, gBaseNote[std::size_t(sample)], volume); }
    void cut(int row, int ch)
    {
        if (it::Cell* c = at(row, ch))
            *c = it::Cell{it::kNoteCut, 0, it::kNoVolume, 0, 0};
    }
    void volume(int row, int ch, int v)
    {
        if (it::Cell* c = at(row, ch))
            c->volume = std::clamp(v, 0, 64);
    }
    void clear(int row, int ch)
    {
        if (it::Cell* c = at(row, ch))
            *c = it::Cell{};
    }
};

int scaled(int volume, int percent) { return (volume * percent + 50) / 100; }

int noteFromName(const std::string& name)
{
    static const int kSemitone[] = {9, 11, 0, 2, 4, 5, 7}; // A B C D E F G
    assert(name.size() >= 2 && name[0] >= 'A' && name[0] <= 'G' && "melody note like C5 or G#4");
    int n = kSemitone[name[0] - 'A'];
    std::size_t i = 1;
    if (name[i] == '#') {
        ++n;
        ++i;
    }
    const int octave = std::stoi(name.substr(i));
    return 12 * (octave + 1) + n; // C4 = 60, A4 = 69
}

void writeMelody(Grid& g, int start, const Melody& melody, int ch, int volume)
{
    for (int bar = 0; bar < 4; ++bar) {
        int row = start + bar * kRowsPerBar;
        const char* p = melody[std::size_t(bar)];
        while (*p) {
            while (*p == ' ')
                ++p;
            const char* end = p;
            while (*end && *end != ' ')
                ++end;
            const std::string token(p, end);
            p = end;
            if (token.empty())
                break;
            if (token == "^")
                g.cut(row, ch);
            else if (token != ".")
                g.note(row, ch, sLead, noteFromName(token), volume);
            ++row;
        }
        assert(row == start + (bar + 1) * kRowsPerBar && "a melody bar holds 16 tokens");
    }
}

// Copies a channel's notes later and quieter onto another: the tracker way to an echo.
void writeEcho(Grid& g, int start, int from, int to, int volume)
{
    for (int row = start; row < start + kRows; ++row) {
        const it::Cell* src = g.at(row, from);
        if (!src || src->empty())
            continue;
        const it::Cell copy = *src;
        if (it::Cell* dst = g.at(row + kEchoDelayRows, to)) {
            *dst = copy;
            if (copy.note != it::kNoteCut)
                dst->volume = volume;
        }
    }
}

void writeDrums(Grid& g, int start, const OrderPlan& plan, int order)
{
    const int lv = plan.level;
    for (int bar = 0; bar < 4; ++bar) {
        const int b = start + bar * kRowsPerBar;
        const bool lastBar = bar == 3;
        const bool tomFill = lastBar && plan.fill == Fill::Toms;
        for (int r = 0; r < kRowsPerBar; ++r) {
            const int row = b + r;
            const bool beat = r % 4 == 0;

            // Kick: four to the floor, with a pickup on the second bar of odd orders.
            bool kick = false;
            int kickVol = 52;
            switch (plan.kick) {
            case Kick::Four: kick = beat || (bar == 1 && order % 2 == 1 && r == 14); break;
            case Kick::Half: kick = r == 0 || r == 10; break;
            case Kick::Drop: kick = beat && !(lastBar && r >= 8); break; // the breath before the drop
            case Kick::Final: kick = bar == 0 && r == 0; break;
            case Kick::None: break;
            }
            if (r == 14 && !beat)
                kickVol = 38;
            if (tomFill && r >= 12)
                kick = false;
            if (kick)
                g.drum(row, kKick, sKick, scaled(kickVol, lv));

            // Snare and clap on the backbeat; ghost notes vary the bars.
            switch (plan.snare) {
            case Snare::Back:
                if (r == 4 || r == 12)
                    g.drum(row, kSnare, sSnare, scaled(56, lv));
                else if ((r == 7 && bar % 2 == 0) || (r == 15 && bar == 1))
                    g.drum(row, kSnare, sSnare, scaled(18, lv));
                break;
            case Snare::Half:
                if (r == 8)
                    g.drum(row, kSnare, sSnare, scaled(58, lv));
                break;
            case Snare::None: break;
            }
            if (plan.clap && (r == 4 || r == 12))
                g.drum(row, kClap, sClap, scaled(46, lv));

            switch (plan.hats) {
            case Hats::Eighths:
                if (r % 2 == 0)
                    g.drum(row, kHat, sClosedHat, scaled(beat ? 34 : 26, lv));
                break;
            case Hats::Sixteenths:
                g.drum(row, kHat, sClosedHat, scaled(beat ? 32 : r % 2 == 0 ? 24 : 16, lv));
                break;
            case Hats::Full:
                if (r % 4 == 2)
                    g.drum(row, kHat, sOpenHat, scaled(30, lv));
                else
                    g.drum(row, kHat, sClosedHat, scaled(beat ? 30 : 18, lv));
                break;
            case Hats::None: break;
            }
        }
    }

    const int last = start + 3 * kRowsPerBar;
    switch (plan.fill) {
    case Fill::Snare: // four sixteenths climbing into the next section
        for (int r = 12; r < 16; ++r)
            g.drum(last + r, kSnare, sSnare, 30 + 8 * (r - 12));
        break;
    case Fill::Toms: { // high to low across the second half of the bar
        static const int kTomNotes[8] = {67, 67, 64, 64, 60, 60, 55, 55};
        for (int r = 8; r < 16; ++r) {
            g.note(last + r, kPerc, sTom, kTomNotes[r - 8], 44 + r - 8);
            g.clear(last + r, kSnare);
        }
        g.drum(last + 15, kSnare, sSnare, 50);
        break;
    }
    case Fill::Roll: // the build into order 8: quarters, eighths, then sixteenths, rising
        for (int r = 0; r < kRows; ++r) {
            const int step = r < 32 ? 4 : r < 48 ? 2 : 1;
            if (r % step == 0)
                g.drum(start + r, kSnare, sSnare, 16 + (44 * r) / (kRows - 1));
        }
        break;
    case Fill::ShortRoll:
        for (int r = 0; r < kRowsPerBar; ++r)
            g.drum(last + r, kSnare, sSnare, 12 + 3 * r);
        break;
    case Fill::None: break;
    }

    if (plan.crash)
        g.drum(start, kCymbal, sCrash, 40);
    if (plan.riser)
        g.drum(start + 2 * kRowsPerBar, kCymbal, sRiser, order < 2 ? 20 : 34);
}

void writeBass(Grid& g, int start, const OrderPlan& plan)
{
    // One character a row: R root, O octave, 5 fifth, ^ cut, . nothing.
    const char* rhythm = nullptr;
    switch (plan.bass) {
    case Bass::Long:    rhythm = "R..............."; break;
    case Bass::Half:    rhythm = "R.....R^..5...O^"; break;
    case Bass::Quarter: rhythm = "R..^R..^R..^R..^"; break;
    case Bass::Offbeat: rhythm = "..R^..R^..R^..R^"; break;
    case Bass::Drive:   rhythm = "R^R^O^R^R^R^O^5^"; break;
    case Bass::Roll:    rhythm = "RRORRRORRRORRRO5"; break;
    case Bass::None:    g.cut(start, kBass); return;
    }
    const int bars = plan.fadeOut ? 1 : 4; // the last note rings while everything fades
    for (int bar = 0; bar < bars; ++bar) {
        const int root = (*plan.chords)[std::size_t(bar)]->bass;
        for (int r = 0; r < kRowsPerBar; ++r) {
            const int row = start + bar * kRowsPerBar + r;
            const int vol = scaled(r % 4 == 0 ? 50 : 44, plan.level);
            switch (rhythm[r]) {
            case 'R': g.note(row, kBass, sBass, root, vol); break;
            case 'O': g.note(row, kBass, sBass, root + 12, vol); break;
            case '5': g.note(row, kBass, sBass, root + 7, vol); break;
            case '^': g.cut(row, kBass); break;
            default: break;
            }
        }
    }
}

// Pads hold a chord until it changes; `held` carries the sounding chord across orders.
void writePad(Grid& g, int start, const OrderPlan& plan, const Chord*& held)
{
    static const int kPadChannel[3] = {kPad1, kPad2, kPad3};
    if (plan.pad == 0) {
        if (held)
            for (int ch : kPadChannel)
                g.cut(start, ch);
        held = nullptr;
        return;
    }
    auto level = [&](int r) {
        return plan.padShape == Pad::FadeIn ? 4 + ((plan.pad - 4) * r) / (kRows - 1) : plan.pad;
    };
    for (int ch : kPadChannel)
        g.volume(start, ch, level(0));
    for (int bar = 0; bar < 4; ++bar) {
        const Chord* chord = (*plan.chords)[std::size_t(bar)];
        const int row = start + bar * kRowsPerBar;
        if (chord != held)
            for (int v = 0; v < 3; ++v)
                g.note(row, kPadChannel[v], sPad, chord->pad[v], level(bar * kRowsPerBar));
        held = chord;
    }
    if (plan.padShape == Pad::FadeIn)
        for (int r = 2; r < kRows; r += 2)
            for (int ch : kPadChannel)
                g.volume(start + r, ch, level(r));
}

void writeArp(Grid& g, int start, const OrderPlan& plan)
{
    static const int kOrder[kRowsPerBar] = {0, 1, 2, 3, 2, 1, 2, 3, 0, 1, 2, 3, 2, 3, 2, 1};
    for (int bar = 0; bar < 4; ++bar) {
        const Chord* c = (*plan.chords)[std::size_t(bar)];
        const int tones[4] = {c->pad[0] + 12, c->pad[1] + 12, c->pad[2] + 12, c->pad[0] + 24};
        for (int r = 0; r < kRowsPerBar; ++r)
            g.note(start + bar * kRowsPerBar + r, kArp, sPluck, tones[kOrder[r]],
                   r % 4 == 0 ? plan.arp : (plan.arp * 3) / 4);
    }
}

void writeStabs(Grid& g, int start, const OrderPlan& plan)
{
    static const int kStabChannel[3] = {kStab1, kStab2, kStab3};
    for (int bar = 0; bar < 4; ++bar) {
        const Chord* c = (*plan.chords)[std::size_t(bar)];
        for (int r = 0; r < kRowsPerBar; ++r) {
            int vol = 0;
            if (plan.stabs == Stabs::Accent && r >= 9) // a stab run while the planes double their mesh
                vol = 44 + 2 * (r - 9);
            if (plan.stabs == Stabs::Offbeat && r % 4 == 2)
                vol = 30;
            if (vol > 0)
                for (int v = 0; v < 3; ++v)
                    g.note(start + bar * kRowsPerBar + r, kStabChannel[v], sStab, c->pad[v] + 12, vol);
        }
    }
}

// The last order: whatever still sounds fades out by row 48 and is cut at row 56, so the
// song ends in silence on the last row of order 31.
void writeFadeOut(Grid& g, int start)
{
    struct Held { int ch; int from; };
    const Held held[] = {{kBass, 50}, {kPad1, 26}, {kPad2, 26}, {kPad3, 26}, {kLead, 40}, {kEcho, 18}};
    for (const Held& h : held) {
        for (int r = 0; r <= 48; r += 2) {
            it::Cell* c = g.at(start + r, h.ch);
            const int v = (h.from * (48 - r)) / 48;
            if (c->note == it::kNoNote || c->note == it::kNoteCut)
                c->volume = v;
            else
                c->volume = std::min(c->volume == it::kNoVolume ? 64 : c->volume, v);
        }
        g.cut(start + 56, h.ch);
    }
}

std::vector<it::Pattern> arrange()
{
    Grid g;
    const Chord* padHeld = nullptr;
    bool leadSounding = false;
    bool echoSounding = false;
    for (int order = 0; order < kOrders; ++order) {
        const OrderPlan& plan = kPlan[std::size_t(order)];
        const int start = order * kRows;
        writeDrums(g, start, plan, order);
        writeBass(g, start, plan);
        writePad(g, start, plan, padHeld);
        if (plan.arp > 0)
            writeArp(g, start, plan);
        if (plan.stabs != Stabs::None)
            writeStabs(g, start, plan);
        if (plan.lead) {
            writeMelody(g, start, *plan.lead, kLead, 40);
            leadSounding = true;
        } else if (leadSounding && !plan.fadeOut) {
            g.cut(start, kLead);
            leadSounding = false;
        }
        // A melody may end on a held note; its echo must stop where the echo stops.
        const bool echo = plan.lead && plan.echo;
        if (echoSounding && !echo && !plan.fadeOut)
            g.cut(start + kEchoDelayRows, kEcho);
        echoSounding = echo;
    }
    // Echoes after all melodies are in, so a tail can run into the next order.
    for (int order = 0; order < kOrders; ++order)
        if (kPlan[std::size_t(order)].lead && kPlan[std::size_t(order)].echo)
            writeEcho(g, order * kRows, kLead, kEcho, 18);
    writeFadeOut(g, (kOrders - 1) * kRows);

    std::vector<it::Pattern> patterns;
    for (int order = 0; order < kOrders; ++order) {
        it::Pattern p(kRows, kChannelCount);
        for (int r = 0; r < kRows; ++r)
            for (int ch = 0; ch < kChannelCount; ++ch)
                p.at(r, ch) = *g.at(order * kRows + r, ch);
        patterns.push_back(p);
    }
    return patterns;
}

} // namespace

it::Module composeSong()
{
    const synth::Voice voices[kSampleCount] = {
        synth::kick(), synth::snare(), synth::clap(), synth::closedHat(), synth::openHat(),
        synth::crash(), synth::tom(), synth::riser(), synth::bass(), synth::pad(),
        synth::stab(), synth::pluck(), synth::lead(),
    };
    it::Module m;
    m.title = "sorvan";
    m.speed = 6;
    m.tempo = 125;
    m.globalVolume = 128;
    m.mixVolume = 72;
    m.separation = 128;
    m.channels = kChannelCount;
    m.channelPan = std::vector<int>(kChannelCount, 32);
    m.channelVolume = std::vector<int>(kChannelCount, 64);
    m.channelPan[kSnare] = 30;
    m.channelPan[kClap] = 36;
    m.channelPan[kHat] = 42;
    m.channelPan[kPerc] = 24;
    m.channelPan[kCymbal] = 40;
    m.channelPan[kPad1] = 16;
    m.channelPan[kPad3] = 48;
    m.channelPan[kStab1] = 20;
    m.channelPan[kStab3] = 44;
    m.channelPan[kArp] = 44;
    m.channelPan[kLead] = 28;
    m.channelPan[kEcho] = 42;
    for (int i = 0; i < kSampleCount; ++i) {
        m.samples.push_back(voices[i].sample);
        gBaseNote[std::size_t(i + 1)] = voices[i].baseNote;
    }
    m.patterns = arrange();
    for (int order = 0; order < kOrders; ++order)
        m.orders.push_back(order);
    return m;
}

} // namespace composer
