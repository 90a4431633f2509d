// SPDX-License-Identifier: MIT
// tests/assets/music_writer_test.cpp — the module writer and the instruments, read back by
// players we did not write: packed cells in libopenmpt, sample data in libxmp.
#include "tools/it_writer.h"
#include "tools/synth.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.hpp>
#include <xmp.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

it::Sample rampSample(int length, int loopBegin = -1, int loopEnd = -1)
{
    it::Sample s;
    s.name = "ramp";
    for (int i = 0; i < length; ++i)
        s.data.push_back(std::int16_t((i * 977) % 65536 - 32768)); // every byte pattern, both signs
    s.loopBegin = loopBegin;
    s.loopEnd = loopEnd;
    return s;
}

it::Module smallModule(int channels, int patterns)
{
    it::Module m;
    m.title = "writer test";
    m.channels = channels;
    m.samples = {rampSample(1000), rampSample(3000, 1000, 2500)}; // data after a loop's end is legal
    for (int p = 0; p < patterns; ++p) {
        m.patterns.emplace_back(64, channels);
        m.orders.push_back(p);
    }
    return m;
}

// openmpt numbers notes from 1 (C-0) and keeps 254 for a cut.
int openmptNote(int itNote) { return itNote >= 0 && itNote <= 119 ? itNote + 1 : itNote; }

openmpt::module loadOpenMpt(const std::vector<std::uint8_t>& bytes)
{
    return openmpt::module(reinterpret_cast<const std::byte*>(bytes.data()), bytes.size());
}

} // namespace

// Repeated values take the packed format's "same as before" bits, and a channel that
// repeats its mask omits it: the reader must still see every cell as written.
TEST(ItWriter, PackedCellsReadBackInOpenMpt)
{
    it::Module m = smallModule(5, 2);
    it::Pattern& p = m.patterns[0];
    for (int row = 0; row < 64; row += 3) {
        p.at(row, 0) = {60 + row % 5, 1, 20 + row % 2, 0, 0};         // note changes, volume repeats often
        p.at(row, 4) = {48, 2, 64, 0, 0};                               // identical cell every time
    }
    p.at(1, 1) = {it::kNoteCut, 0, it::kNoVolume, 0, 0};
    p.at(2, 1) = {it::kNoNote, 0, 33, 0, 0};                            // volume alone
    p.at(3, 2) = {0, 2, 0, 0, 0};                                       // lowest note, volume 0
    p.at(4, 2) = {119, 1, it::kNoVolume, 0, 0};                         // highest note
    p.at(63, 3) = {72, 2, 64, 0, 0};                                    // last row
    m.patterns[1].at(0, 4) = {48, 2, 64, 0, 0};                         // same cell opens the next pattern

    ASSERT_EQ(it::problem(m), "");
    openmpt::module mod = loadOpenMpt(it::write(m));
    ASSERT_EQ(mod.get_num_patterns(), 2);
    for (int pat = 0; pat < 2; ++pat)
        for (int row = 0; row < 64; ++row)
            for (int ch = 0; ch < 5; ++ch) {
                const it::Cell& c = m.patterns[std::size_t(pat)].at(row, ch);
                SCOPED_TRACE(testing::Message() << "pattern " << pat << " row " << row << " channel " << ch);
                const int note = mod.get_pattern_row_channel_command(pat, row, ch, openmpt::module::command_note);
                const int sample = mod.get_pattern_row_channel_command(pat, row, ch, openmpt::module::command_instrument);
                const int volType = mod.get_pattern_row_channel_command(pat, row, ch, openmpt::module::command_volumeffect);
                const int vol = mod.get_pattern_row_channel_command(pat, row, ch, openmpt::module::command_volume);
                EXPECT_EQ(note, c.note == it::kNoNote ? 0 : openmptNote(c.note));
                EXPECT_EQ(sample, c.sample);
                if (c.volume == it::kNoVolume) {
                    EXPECT_EQ(volType, 0);
                } else {
                    EXPECT_NE(volType, 0);
                    EXPECT_EQ(vol, c.volume);
                }
            }
}

// The effect column: "A03" (speed 3) on the first row, repeated on other channels so the
// repeat bit is used, halves the pattern's length in both players.
TEST(ItWriter, EffectColumnReachesBothPlayers)
{
    it::Module m = smallModule(3, 1);
    for (int ch = 0; ch < 3; ++ch)
        m.patterns[0].at(0, ch) = {60, 1, it::kNoVolume, 1, 3};
    m.patterns[0].at(32, 0) = {it::kNoNote, 0, it::kNoVolume, 1, 3};
    const std::vector<std::uint8_t> bytes = it::write(m);

    // 64 rows x 3 ticks x 20 ms.
    EXPECT_NEAR(loadOpenMpt(bytes).get_duration_seconds(), 3.84, 0.01);

    xmp_context ctx = xmp_create_context();
    ASSERT_EQ(xmp_load_module_from_memory(ctx, bytes.data(), long(bytes.size())), 0);
    xmp_module_info info;
    xmp_get_module_info(ctx, &info);
    ASSERT_GE(info.num_sequences, 1);
    EXPECT_NEAR(info.seq_data[0].duration, 3840, 10);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
}

// 16-bit data, lengths and loops arrive exactly; the order list ends in its marker.
TEST(ItWriter, SamplesAndOrdersReadBackExactlyInLibxmp)
{
    it::Module m = smallModule(2, 3);
    m.orders = {2, 0, 1, 0};
    m.patterns[0].at(0, 0) = {60, 2, 64, 0, 0};
    const std::vector<std::uint8_t> bytes = it::write(m);

    xmp_context ctx = xmp_create_context();
    ASSERT_EQ(xmp_load_module_from_memory(ctx, bytes.data(), long(bytes.size())), 0);
    xmp_module_info info;
    xmp_get_module_info(ctx, &info);
    const xmp_module& mod = *info.mod;
    ASSERT_EQ(mod.smp, 2);
    for (int s = 0; s < 2; ++s) {
        const it::Sample& want = m.samples[std::size_t(s)];
        const xmp_sample& got = mod.xxs[s];
        SCOPED_TRACE(s);
        EXPECT_EQ(got.len, int(want.data.size()));
        EXPECT_TRUE(got.flg & XMP_SAMPLE_16BIT);
        EXPECT_EQ(bool(got.flg & XMP_SAMPLE_LOOP), want.loopBegin >= 0);
        if (want.loopBegin >= 0) {
            EXPECT_EQ(got.lps, want.loopBegin);
            EXPECT_EQ(got.lpe, want.loopEnd);
        }
        // Players never read past a loop's end, and libxmp reuses that space.
        const auto* data = reinterpret_cast<const std::int16_t*>(got.data);
        const auto end = want.loopEnd >= 0 ? want.data.begin() + want.loopEnd : want.data.end();
        const auto diff = std::mismatch(want.data.begin(), end, data);
        EXPECT_EQ(diff.first, end) << "first difference at frame " << (diff.first - want.data.begin())
                                               << ": " << *diff.first << " read as " << *diff.second;
    }
    // libxmp keeps the 255 end marker as the last entry of its order list.
    ASSERT_EQ(mod.len, 5);
    EXPECT_EQ(std::vector<int>(mod.xxo, mod.xxo + 4), m.orders);
    EXPECT_EQ(mod.xxo[4], 0xFF);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
}

TEST(ItWriter, ProblemNamesWhatCannotBeWritten)
{
    EXPECT_EQ(it::problem(smallModule(4, 2)), "");

    it::Module m = smallModule(4, 2);
    m.patterns[1].at(3, 2).note = 120;
    EXPECT_NE(it::problem(m).find("pattern 1 row 3 channel 2"), std::string::npos) << it::problem(m);

    m = smallModule(4, 2);
    m.patterns[0].at(5, 0).sample = 3; // two samples exist
    EXPECT_NE(it::problem(m).find("sample 3 does not exist"), std::string::npos) << it::problem(m);

    m = smallModule(4, 2);
    m.patterns[0].at(5, 0).volume = 65;
    EXPECT_NE(it::problem(m), "");

    m = smallModule(4, 2);
    m.samples[1].loopEnd = 3001; // one past the data
    EXPECT_NE(it::problem(m).find("loop"), std::string::npos) << it::problem(m);

    m = smallModule(4, 2);
    m.orders.push_back(2);
    EXPECT_NE(it::problem(m).find("missing pattern 2"), std::string::npos) << it::problem(m);

    m = smallModule(4, 2);
    m.patterns[1] = it::Pattern(64, 3);
    EXPECT_NE(it::problem(m), "");

    m = smallModule(4, 2);
    m.orders.clear();
    EXPECT_NE(it::problem(m), "");
}

namespace {

// The lag of the first autocorrelation peak that comes within 10% of the highest: a
// whole period, not a multiple, and not a strong partial's shorter period.
double periodFrames(const std::vector<std::int16_t>& s, std::size_t from, std::size_t count, int maxLag)
{
    std::vector<double> r(std::size_t(maxLag) + 1, 0.0);
    for (int lag = 1; lag <= maxLag; ++lag)
        for (std::size_t i = from; i < from + count; ++i)
            r[std::size_t(lag)] += double(s[i]) * double(s[i + std::size_t(lag)]);
    const double best = *std::max_element(r.begin() + 1, r.end());
    for (int lag = 2; lag < maxLag; ++lag)
        if (r[std::size_t(lag)] >= 0.9 * best && r[std::size_t(lag)] >= r[std::size_t(lag) - 1] &&
            r[std::size_t(lag)] >= r[std::size_t(lag) + 1])
            return lag;
    return 0;
}

double midiHz(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

} // namespace

// A voice out of tune with its base note would put every part of the song out of tune.
TEST(Synth, PitchedVoicesSoundAtTheirBaseNote)
{
    const synth::Voice voices[] = {synth::bass(), synth::pad(), synth::stab(), synth::pluck(), synth::lead()};
    for (const synth::Voice& v : voices) {
        SCOPED_TRACE(v.sample.name);
        const double expected = double(v.sample.c5Speed) / midiHz(v.baseNote);
        const std::size_t from = v.sample.loopBegin >= 0 ? std::size_t(v.sample.loopBegin) : 2000;
        const std::size_t count = 4000;
        ASSERT_LE(from + count + std::size_t(3 * expected), v.sample.data.size());
        EXPECT_NEAR(periodFrames(v.sample.data, from, count, int(2.5 * expected)), expected, expected * 0.01);
    }
}

// A loop whose end does not meet its start clicks at every repeat of a held note.
TEST(Synth, LoopsJoinWithoutAStep)
{
    const synth::Voice voices[] = {synth::bass(), synth::pad(), synth::lead()};
    for (const synth::Voice& v : voices) {
        SCOPED_TRACE(v.sample.name);
        const auto& d = v.sample.data;
        ASSERT_GT(v.sample.loopBegin, 0);
        ASSERT_EQ(v.sample.loopEnd, int(d.size()));
        int largestStep = 0;
        for (int i = v.sample.loopBegin; i + 1 < v.sample.loopEnd; ++i)
            largestStep = std::max(largestStep, std::abs(d[std::size_t(i) + 1] - d[std::size_t(i)]));
        const int seam = std::abs(d[std::size_t(v.sample.loopBegin)] - d[std::size_t(v.sample.loopEnd) - 1]);
        EXPECT_LE(seam, largestStep);
        // And the sound inside the loop is steady: both halves carry the same energy.
        double first = 0, second = 0;
        const int half = (v.sample.loopEnd - v.sample.loopBegin) / 2;
        for (int i = 0; i < half; ++i) {
            first += std::pow(d[std::size_t(v.sample.loopBegin + i)], 2.0);
            second += std::pow(d[std::size_t(v.sample.loopBegin + half + i)], 2.0);
        }
        EXPECT_NEAR(first / second, 1.0, 0.1);
    }
}

// Every instrument fills the 16-bit range without being flattened against it, and a
// sample that is not looped ends at zero, so a note running out never clicks.
TEST(Synth, SamplesUseTheRangeAndOneShotsEndSilent)
{
    const synth::Voice voices[] = {synth::kick(), synth::snare(), synth::clap(), synth::closedHat(),
                                   synth::openHat(), synth::crash(), synth::tom(), synth::riser(),
                                   synth::bass(), synth::pad(), synth::stab(), synth::pluck(), synth::lead()};
    for (const synth::Voice& v : voices) {
        SCOPED_TRACE(v.sample.name);
        const auto& d = v.sample.data;
        ASSERT_GT(d.size(), 1000u);
        int peak = 0, atFullScale = 0;
        for (std::int16_t x : d) {
            peak = std::max(peak, std::abs(int(x)));
            atFullScale += std::abs(int(x)) >= 32767;
        }
        EXPECT_GE(peak, int(0.75 * 32767));
        EXPECT_EQ(atFullScale, 0);
        if (v.sample.loopBegin < 0) {
            EXPECT_EQ(d.back(), 0);
        }
    }
}
