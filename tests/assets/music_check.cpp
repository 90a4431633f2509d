// SPDX-License-Identifier: MIT
// tests/assets/music_check.cpp — the generated sorvan.it against two players we did not
// write. Both load it, play orders 0 to 31 once each and stop, and agree on when every
// order starts; libopenmpt's rendering shows the sections as arranged.
#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.hpp>
#include <xmp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <numbers>
#include <set>
#include <vector>

namespace {

constexpr int kOrders = 32;
constexpr int kRows = 64;
constexpr int kRowsPerBar = 16;
constexpr double kRowSeconds = 0.12; // speed 6 x 2.5 s / tempo 125
constexpr double kOrderSeconds = kRows * kRowSeconds;
constexpr int kRate = 48000;
constexpr int kFramesPerRow = 5760; // kRowSeconds at kRate
constexpr int kChunk = 480;         // 10 ms: position queries far finer than a row

std::vector<std::uint8_t> moduleBytes()
{
    std::ifstream f(RINTA_MUSIC_MODULE, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

// What a player did from the start of the song until it stopped or came round again.
struct Playthrough {
    std::vector<int> orderSequence;                // each order as it was entered
    std::vector<double> orderStart = std::vector<double>(kOrders, -1.0); // seconds
    std::vector<std::set<int>> rowsSeen = std::vector<std::set<int>>(kOrders);
    double end = 0;      // seconds: the song came to its end
    double stopped = 0;  // seconds: the player produced no more sound
    bool loaded = false;

    void at(int order, int row, double seconds)
    {
        if (orderSequence.empty() || orderSequence.back() != order) {
            orderSequence.push_back(order);
            if (order >= 0 && order < kOrders && orderStart[std::size_t(order)] < 0)
                orderStart[std::size_t(order)] = seconds;
        }
        if (order >= 0 && order < kOrders)
            rowsSeen[std::size_t(order)].insert(row);
    }
};

// libopenmpt also gives the sound: energy and peak per song row, full band and above
// 300 Hz (where the stabs and snares are, beneath the kick and bass).
struct Rendered : Playthrough {
    std::vector<double> energy = std::vector<double>(kOrders * kRows, 0.0);     // mean square
    std::vector<double> energyHigh = std::vector<double>(kOrders * kRows, 0.0);
    std::vector<double> peak = std::vector<double>(kOrders * kRows, 0.0);
};

struct HighPass { // RBJ biquad at 300 Hz
    double b0, b1, b2, a1, a2, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    HighPass()
    {
        const double w = 2 * std::numbers::pi * 300.0 / kRate, alpha = std::sin(w) / (2 * 0.7071);
        const double c = std::cos(w), a0 = 1 + alpha;
        b0 = (1 + c) / 2 / a0; b1 = -(1 + c) / a0; b2 = b0; a1 = -2 * c / a0; a2 = (1 - alpha) / a0;
    }
    double run(double x)
    {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1; x1 = x; y2 = y1; y1 = y;
        return y;
    }
};

Rendered renderWithOpenMpt()
{
    Rendered r;
    const std::vector<std::uint8_t> bytes = moduleBytes();
    openmpt::module mod(reinterpret_cast<const std::byte*>(bytes.data()), bytes.size());
    r.loaded = true;
    mod.set_repeat_count(0);
    std::vector<float> buf(2 * kChunk);
    HighPass hp;
    std::size_t frame = 0;
    int lastOrder = -1;
    bool over = false;
    for (;;) {
        // Past the end libopenmpt reports order 0 again while it plays out its last
        // samples; a step back marks the end of the song, not a new start.
        const int order = mod.get_current_order();
        if (!over && order < lastOrder) {
            over = true;
            r.end = double(frame) / kRate;
        }
        if (!over)
            r.at(order, mod.get_current_row(), double(frame) / kRate);
        lastOrder = order;
        const std::size_t got = mod.read_interleaved_stereo(kRate, kChunk, buf.data());
        if (got == 0)
            break;
        for (std::size_t i = 0; i < got; ++i, ++frame) {
            const std::size_t row = frame / kFramesPerRow;
            if (row >= r.energy.size())
                continue;
            const double left = buf[2 * i], right = buf[2 * i + 1];
            const double high = hp.run(0.5 * (left + right));
            r.energy[row] += (left * left + right * right) / (2.0 * kFramesPerRow);
            r.energyHigh[row] += high * high / kFramesPerRow;
            r.peak[row] = std::max({r.peak[row], std::abs(left), std::abs(right)});
        }
        if (frame > std::size_t(400 * kRate))
            break; // a song that never ends: the sequence check reports it
    }
    if (!over)
        r.end = double(frame) / kRate;
    r.stopped = double(frame) / kRate;
    return r;
}

const Rendered& openmptRun()
{
    static const Rendered r = renderWithOpenMpt();
    return r;
}

Playthrough playWithXmp()
{
    Playthrough p;
    const std::vector<std::uint8_t> bytes = moduleBytes();
    xmp_context ctx = xmp_create_context();
    if (xmp_load_module_from_memory(ctx, bytes.data(), long(bytes.size())) == 0) {
        p.loaded = true;
        xmp_start_player(ctx, 22050, 0);
        xmp_frame_info fi;
        while (xmp_play_frame(ctx) == 0) {
            xmp_get_frame_info(ctx, &fi);
            if (fi.loop_count > 0 || fi.time > 400000)
                break; // came round to the start: the song is over
            p.at(fi.pos, fi.row, fi.time / 1000.0);
            p.end = (fi.time + fi.frame_time / 1000.0) / 1000.0;
            p.stopped = p.end;
        }
        xmp_end_player(ctx);
        xmp_release_module(ctx);
    }
    xmp_free_context(ctx);
    return p;
}

const Playthrough& xmpRun()
{
    static const Playthrough p = playWithXmp();
    return p;
}

int songRow(int order, int row) { return order * kRows + row; }

double db(double meanSquare) { return 10.0 * std::log10(std::max(meanSquare, 1e-20)); }

// Level in dBFS over song rows [from, to).
double levelDb(const std::vector<double>& energy, int from, int to)
{
    double sum = 0;
    for (int i = from; i < to; ++i)
        sum += energy[std::size_t(i)];
    return db(sum / (to - from));
}

double orderDb(int first, int last) { return levelDb(openmptRun().energy, songRow(first, 0), songRow(last + 1, 0)); }

} // namespace

TEST(SongModule, LoadsInBothPlayersAsWritten)
{
    const std::vector<std::uint8_t> bytes = moduleBytes();
    ASSERT_GT(bytes.size(), 1000u) << "no module at " << RINTA_MUSIC_MODULE;

    openmpt::module mod(reinterpret_cast<const std::byte*>(bytes.data()), bytes.size());
    EXPECT_EQ(mod.get_metadata("type"), "it");
    EXPECT_EQ(mod.get_num_orders(), kOrders);
    EXPECT_EQ(mod.get_num_subsongs(), 1);
    for (int o = 0; o < kOrders; ++o)
        EXPECT_EQ(mod.get_pattern_num_rows(mod.get_order_pattern(o)), kRows) << "order " << o;

    xmp_context ctx = xmp_create_context();
    ASSERT_EQ(xmp_load_module_from_memory(ctx, bytes.data(), long(bytes.size())), 0);
    xmp_module_info info;
    xmp_get_module_info(ctx, &info);
    EXPECT_EQ(info.mod->spd, 6);
    EXPECT_EQ(info.mod->bpm, 125);
    // libxmp's list keeps the end marker: 32 orders and the 255 after them.
    ASSERT_EQ(info.mod->len, kOrders + 1);
    EXPECT_EQ(info.mod->xxo[kOrders], 0xFF);
    EXPECT_EQ(info.num_sequences, 1);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
}

// The demo's timeline needs orders 0 to 31 in turn, every row of each, and then the end.
TEST(SongModule, BothPlayersPlayEachOrderOnceInTurnThenStop)
{
    std::vector<int> expected(kOrders);
    for (int o = 0; o < kOrders; ++o)
        expected[std::size_t(o)] = o;
    const Playthrough* runs[] = {&openmptRun(), &xmpRun()};
    const char* names[] = {"libopenmpt", "libxmp"};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(names[i]);
        const Playthrough& p = *runs[i];
        ASSERT_TRUE(p.loaded);
        EXPECT_EQ(p.orderSequence, expected);
        for (int o = 0; o < kOrders; ++o)
            EXPECT_EQ(p.rowsSeen[std::size_t(o)].size(), std::size_t(kRows)) << "order " << o;
        EXPECT_NEAR(p.end, kOrders * kOrderSeconds, kRowSeconds);
        EXPECT_LT(p.stopped, p.end + 0.5); // and then it stops: no way back into the song
    }
}

TEST(SongModule, PlayersAgreeOnEveryOrderStartWithinOneRow)
{
    for (int o = 0; o < kOrders; ++o) {
        const double a = openmptRun().orderStart[std::size_t(o)];
        const double b = xmpRun().orderStart[std::size_t(o)];
        EXPECT_NEAR(a, b, kRowSeconds) << "order " << o;
        EXPECT_NEAR(a, o * kOrderSeconds, kRowSeconds) << "order " << o;
    }
}

// The opening is quiet under the title picture and every order of the build adds to it.
TEST(SongSound, OpeningIsQuietAndTheBuildRisesOrderByOrder)
{
    EXPECT_LT(orderDb(0, 1), orderDb(8, 9) - 8.0);
    for (int o = 1; o <= 8; ++o)
        EXPECT_GT(orderDb(o, o), orderDb(o - 1, o - 1) + 0.2) << "order " << o;
}

// Where the tumbling planes double their mesh (rows 9 to 15 of each 16), the music hits
// harder above the bass line; elsewhere the halves of a bar balance.
TEST(SongSound, PlanesOrdersAccentRowsNineToFifteen)
{
    const std::vector<double>& high = openmptRun().energyHigh;
    for (int o : {8, 9})
        for (int bar = 0; bar < 4; ++bar) {
            const int b = songRow(o, bar * kRowsPerBar);
            EXPECT_GT(levelDb(high, b + 9, b + 16), levelDb(high, b + 1, b + 9) + 2.0)
                << "order " << o << " bar " << bar;
        }
    const int b = songRow(12, 0); // the corridor: no accent
    EXPECT_NEAR(levelDb(high, b + 9, b + 16), levelDb(high, b + 1, b + 9), 2.0);
}

// No order drops out, and the last one fades to silence before its final row.
TEST(SongSound, EveryOrderSoundsAndTheSongFadesToSilence)
{
    const Rendered& r = openmptRun();
    std::printf("level by section (libopenmpt, 48 kHz): RMS / peak dBFS\n");
    const struct { const char* name; int first, last; } sections[] = {
        {"opening", 0, 1}, {"build", 2, 7}, {"planes", 8, 9}, {"meshes+tunnel", 10, 11},
        {"corridor", 12, 15}, {"greetings", 16, 19}, {"credits", 20, 22}, {"cube runs", 23, 25},
        {"closing", 26, 31}, {"whole song", 0, 31}};
    for (const auto& s : sections) {
        const auto from = r.peak.begin() + songRow(s.first, 0), to = r.peak.begin() + songRow(s.last + 1, 0);
        std::printf("  %-14s orders %2d-%2d  %6.2f / %6.2f\n", s.name, s.first, s.last, orderDb(s.first, s.last),
                    20.0 * std::log10(*std::max_element(from, to)));
    }

    for (int o = 0; o < kOrders; ++o)
        EXPECT_GT(orderDb(o, o), -35.0) << "order " << o;
    const int last = songRow(kOrders - 1, 0);
    EXPECT_GT(levelDb(r.energy, last, last + 16), levelDb(r.energy, last + 16, last + 32));
    EXPECT_GT(levelDb(r.energy, last + 16, last + 32), levelDb(r.energy, last + 32, last + 48));
    const double tail = *std::max_element(r.peak.begin() + last + 58, r.peak.begin() + last + 64);
    EXPECT_LT(tail, 1e-4); // below -80 dBFS: nothing is cut off by the end of the song
}
