// SPDX-License-Identifier: MIT
// The six compiled-in meshes: their stored form, and the geometry recovered from the records
// (the benches, clusters, bars and spheres the scenes rely on), plus drawMesh's call stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "engine/meshes/mesh_blob.h"
#include "engine/meshes/meshes.h"
#include "tests/support/recording_gl.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTol = 1e-4; // positions are given to four decimals

using Pos = std::array<float, 3>;
Pos position(const MeshRecord& r) { return {r.x, r.y, r.z}; }

std::vector<Pos> distinctPositions(const MeshRecord* records, int recordCount)
{
    std::set<Pos> s;
    for (int k = 0; k < recordCount; ++k)
        s.insert(position(records[k]));
    return {s.begin(), s.end()};
}

std::array<double, 3> mean(const std::vector<Pos>& points)
{
    std::array<double, 3> m{0, 0, 0};
    for (const Pos& p : points)
        for (int a = 0; a < 3; ++a)
            m[a] += p[a] / points.size();
    return m;
}

// Each undirected edge of a closed surface belongs to exactly two of its triangles.
void expectClosedSurface(const MeshRecord* records, int triangleCount, const char* what)
{
    std::map<std::pair<Pos, Pos>, int> uses;
    for (int t = 0; t < triangleCount; ++t)
        for (int e = 0; e < 3; ++e) {
            Pos a = position(records[3 * t + e]), b = position(records[3 * t + (e + 1) % 3]);
            uses[std::minmax(a, b)]++;
        }
    int bad = 0;
    for (const auto& [edge, n] : uses)
        bad += n != 2;
    EXPECT_EQ(bad, 0) << what << ": edges not shared by exactly two triangles";
}

// An axis-aligned box of 12 triangles: its centre and size from its 8 corners.
void expectAxisBox(const MeshRecord* records, std::array<double, 3> centre, std::array<double, 3> size,
                   const char* what)
{
    const std::vector<Pos> corners = distinctPositions(records, 36);
    ASSERT_EQ(corners.size(), 8u) << what;
    for (int a = 0; a < 3; ++a) {
        float lo = corners[0][a], hi = corners[0][a];
        for (const Pos& p : corners) {
            lo = std::min(lo, p[a]);
            hi = std::max(hi, p[a]);
        }
        EXPECT_NEAR((double(lo) + hi) / 2, centre[a], kTol) << what << " centre, axis " << a;
        EXPECT_NEAR(double(hi) - lo, size[a], kTol) << what << " size, axis " << a;
    }
    expectClosedSurface(records, 12, what);
}

std::int32_t readInt32LE(const unsigned char* p) { return std::int32_t(p[0] | p[1] << 8 | p[2] << 16 | unsigned(p[3]) << 24); }

struct Expected {
    const MeshSet* mesh;
    int positionCount, triangleCount;
};
const Expected kAll[6] = {{&MeshA, 2736, 5328}, {&MeshB, 1536, 2304}, {&MeshC, 24, 36},
                          {&MeshD, 1944, 3840}, {&MeshE, 24, 36},   {&MeshF, 162, 320}};

} // namespace

// ---------------------------------------------------------------------------------------------

TEST(Meshes, StoredFormIsSixHeadersAndRecordsBackToBack)
{
    const auto bytes = meshBytes();
    ASSERT_EQ(bytes.size(), 711888u);
    size_t offset = 0;
    for (const Expected& e : kAll) {
        ASSERT_LE(offset + 8, bytes.size());
        EXPECT_EQ(readInt32LE(&bytes[offset]), e.positionCount);
        EXPECT_EQ(readInt32LE(&bytes[offset + 4]), e.triangleCount);
        EXPECT_EQ(e.mesh->positionCount, e.positionCount);
        EXPECT_EQ(e.mesh->triangleCount, e.triangleCount);
        EXPECT_EQ(reinterpret_cast<const unsigned char*>(e.mesh->records), &bytes[offset + 8]);
        offset += 8 + size_t(e.triangleCount) * 3 * 20;
    }
    EXPECT_EQ(offset, bytes.size());
    // Records are little-endian floats: every triangle's first u is 1.0f, bytes 00 00 80 3f.
    const unsigned char* firstF = reinterpret_cast<const unsigned char*>(MeshF.records);
    EXPECT_EQ(std::vector<unsigned char>(firstF, firstF + 4), (std::vector<unsigned char>{0x00, 0x00, 0x80, 0x3f}));
}

TEST(Meshes, PositionCountIsTheNumberOfDistinctPositions)
{
    for (const Expected& e : kAll)
        EXPECT_EQ(int(distinctPositions(e.mesh->records, 3 * e.mesh->triangleCount).size()), e.positionCount)
            << "mesh with " << e.triangleCount << " triangles";
}

TEST(Meshes, EveryTriangleMapsTheSameHalfOfTheTexture)
{
    for (const Expected& e : kAll) {
        int bad = 0;
        for (int t = 0; t < e.mesh->triangleCount; ++t) {
            const MeshRecord* r = &e.mesh->records[3 * t];
            bad += !(r[0].u == 1 && r[0].v == 1 && r[1].u == 0 && r[1].v == 1 && r[2].u == 0 && r[2].v == 0);
        }
        EXPECT_EQ(bad, 0) << "mesh with " << e.triangleCount << " triangles";
    }
}

// ---------------------------------------------------------------------------------------------
// MeshA: twelve benches of a slab and two legs (12 + 216 + 216 triangles).

namespace {
struct Bench {
    double slabX, slabY, yaw, leg1X, leg1Y, leg2X, leg2Y;
};
const Bench kBenches[12] = {
    {1.6615, 3.1322, 161.5, 2.0732, 2.9939, 1.2897, 3.2565},
    {2.8986, 1.7471, 113.0, 3.0678, 1.3471, 2.7453, 2.1079},
    {3.2318, 0.0210, 89.5, 3.2362, 0.4553, 3.2286, -0.3710},
    {2.9391, -1.6727, 72.0, 2.8044, -2.0856, 3.0601, -1.2998},
    {1.9830, -2.9914, 26.0, 1.5924, -3.1813, 2.3353, -2.8194},
    {-0.0916, -3.3382, 2.0, -0.5257, -3.3528, 0.3001, -3.3243},
    {-2.1210, -3.1980, 163.5, -2.5373, -3.0741, -1.7451, -3.3091},
    {-3.4057, -1.8569, 115.0, -3.5888, -1.4630, -3.2399, -2.2121},
    {-3.6576, -0.0567, 89.5, -3.6532, 0.3776, -3.6608, -0.4487},
    {-3.4488, 1.7845, 70.0, -3.2997, 2.1924, -3.5827, 1.4161},
    {-2.4472, 3.0691, 24.0, -2.0502, 3.2452, -2.8053, 2.9095},
    {-0.3618, 3.3432, 0.0, 0.0726, 3.3426, -0.7538, 3.3430},
};
constexpr int kBenchRecords = 3 * (12 + 2 * 216);
constexpr double kRings[6] = {-0.4773, -0.3331, -0.189, -0.0449, 0.0993, 0.2434};

void expectSlab(const MeshRecord* records, const Bench& b, int bench)
{
    const std::vector<Pos> corners = distinctPositions(records, 36);
    ASSERT_EQ(corners.size(), 8u) << "bench " << bench;
    const auto c = mean(corners);
    EXPECT_NEAR(c[0], b.slabX, kTol) << "bench " << bench;
    EXPECT_NEAR(c[1], b.slabY, kTol) << "bench " << bench;
    std::vector<Pos> bottom;
    for (const Pos& p : corners) {
        const bool low = std::abs(p[2] - 0.255) < kTol, high = std::abs(p[2] - 0.6735) < kTol;
        EXPECT_TRUE(low || high) << "bench " << bench << " corner z " << p[2];
        if (low)
            bottom.push_back(p);
    }
    ASSERT_EQ(bottom.size(), 4u) << "bench " << bench;
    // From one bottom corner: the short side, the long side and the diagonal.
    std::vector<std::pair<double, double>> sides; // length, direction in degrees
    for (int k = 1; k < 4; ++k) {
        const double dx = double(bottom[k][0]) - bottom[0][0], dy = double(bottom[k][1]) - bottom[0][1];
        sides.push_back({std::hypot(dx, dy), std::atan2(dy, dx) * 180 / kPi});
    }
    std::sort(sides.begin(), sides.end());
    EXPECT_NEAR(sides[0].first, 0.4184, kTol) << "bench " << bench;
    EXPECT_NEAR(sides[1].first, 1.2553, kTol) << "bench " << bench;
    const double turn = std::fmod(std::fmod(sides[1].second - b.yaw, 180) + 180, 180);
    EXPECT_LT(std::min(turn, 180 - turn), 0.01) << "bench " << bench << " long edge at " << sides[1].second;
    expectClosedSurface(records, 12, "slab");
}

void expectLeg(const MeshRecord* records, double x, double y, int bench)
{
    const std::vector<Pos> points = distinctPositions(records, 3 * 216);
    ASSERT_EQ(points.size(), 110u) << "bench " << bench;
    const auto axis = mean(points);
    EXPECT_NEAR(axis[0], x, kTol) << "bench " << bench;
    EXPECT_NEAR(axis[1], y, kTol) << "bench " << bench;
    std::map<float, int> perHeight;
    int onAxis = 0;
    for (const Pos& p : points) {
        const double r = std::hypot(p[0] - x, p[1] - y);
        if (r < kTol)
            ++onAxis;
        else {
            EXPECT_NEAR(r, 0.1644, kTol) << "bench " << bench;
            perHeight[p[2]]++;
        }
    }
    EXPECT_EQ(onAxis, 2) << "bench " << bench << ": one fan centre at each end";
    ASSERT_EQ(perHeight.size(), 6u) << "bench " << bench;
    int ring = 0;
    for (const auto& [z, n] : perHeight) {
        EXPECT_NEAR(z, kRings[ring++], kTol) << "bench " << bench;
        EXPECT_EQ(n, 18) << "bench " << bench << " ring at z " << z;
    }
    expectClosedSurface(records, 216, "leg");
}
} // namespace

TEST(MeshA, EachBenchIsASlabOnTwoLegsInTableOrder)
{
    for (int b = 0; b < 12; ++b) {
        const MeshRecord* bench = MeshA.records + b * kBenchRecords;
        expectSlab(bench, kBenches[b], b);
        expectLeg(bench + 36, kBenches[b].leg1X, kBenches[b].leg1Y, b);
        expectLeg(bench + 36 + 3 * 216, kBenches[b].leg2X, kBenches[b].leg2Y, b);
    }
}

// ---------------------------------------------------------------------------------------------
// MeshB: sixteen clusters of the same twelve boxes.

TEST(MeshB, EachClusterIsTheTemplateAtItsAnchor)
{
    constexpr double C = 1.2157, L = 1.8274, T = 0.2731;
    const std::array<double, 3> offsets[12] = {
        {-0.0125, -0.0409, 1.4211}, {1.4053, -0.0409, 0.0077},   {-0.0125, -1.4370, -0.0085},
        {-1.4308, -0.0011, 0.0077}, {0, 0, 0},                   {-0.0253, -0.0062, 0},
        {-0.0049, 0, 0.0158},       {-0.0125, 1.3991, 0.0314},   {0.0156, 1.3991, 0.0077},
        {-0.0125, -0.0011, -1.4150}, {-0.0243, -1.4370, 0.0077}, {-0.0049, -0.0062, -0.0095},
    };
    const std::array<double, 3> sizes[12] = {{C, C, C}, {C, C, C}, {C, C, C}, {C, C, C}, {L, T, T}, {T, L, T},
                                             {T, T, L}, {C, C, C}, {C, C, C}, {C, C, C}, {C, C, C}, {T, L, T}};
    const std::array<double, 3> anchors[16] = {
        {-3.9216, 4.0824, 2.0722},  {2.6374, 0.0095, 2.0722},   {-0.0088, 2.6992, 2.0722},
        {3.9160, 3.9869, 2.0722},   {-0.0013, -2.6121, 2.0722}, {-2.6831, 0.0574, 2.0722},
        {-4.1123, -3.7761, 2.0722}, {3.9243, -3.9581, 2.0722},  {-3.8940, 4.0824, -2.0505},
        {2.6649, 0.0095, -2.0505},  {0.0188, 2.6992, -2.0505},  {3.9435, 3.9869, -2.0505},
        {0.0263, -2.6121, -2.0505}, {-2.6555, 0.0574, -2.0505}, {-4.0847, -3.7761, -2.0505},
        {3.9519, -3.9581, -2.0505},
    };
    for (int c = 0; c < 16; ++c)
        for (int k = 0; k < 12; ++k) {
            SCOPED_TRACE(testing::Message() << "cluster " << c << " box " << k);
            const std::array<double, 3> centre{anchors[c][0] + offsets[k][0], anchors[c][1] + offsets[k][1],
                                               anchors[c][2] + offsets[k][2]};
            expectAxisBox(MeshB.records + 36 * (12 * c + k), centre, sizes[k], "MeshB box");
        }
}

// ---------------------------------------------------------------------------------------------
// MeshC and MeshE: three bars each.

TEST(MeshC, RecordsAreTheTabledTriangles)
{
    constexpr float a = 0.5604f, b = 5.7491f, h = 1.1623f;
    const float table[36][3][3] = {
        {{-a, -b, 0}, {-a, b, 0}, {a, b, 0}},       {{a, b, 0}, {a, -b, 0}, {-a, -b, 0}},
        {{-a, -b, h}, {a, -b, h}, {a, b, h}},       {{a, b, h}, {-a, b, h}, {-a, -b, h}},
        {{-a, -b, 0}, {a, -b, 0}, {a, -b, h}},      {{a, -b, h}, {-a, -b, h}, {-a, -b, 0}},
        {{a, -b, 0}, {a, b, 0}, {a, b, h}},         {{a, b, h}, {a, -b, h}, {a, -b, 0}},
        {{a, b, 0}, {-a, b, 0}, {-a, b, h}},        {{-a, b, h}, {a, b, h}, {a, b, 0}},
        {{-a, b, 0}, {-a, -b, 0}, {-a, -b, h}},     {{-a, -b, h}, {-a, b, h}, {-a, b, 0}},
        {{b, -a, 0}, {-b, -a, 0}, {-b, a, 0}},      {{-b, a, 0}, {b, a, 0}, {b, -a, 0}},
        {{b, -a, h}, {b, a, h}, {-b, a, h}},        {{-b, a, h}, {-b, -a, h}, {b, -a, h}},
        {{b, -a, 0}, {b, a, 0}, {b, a, h}},         {{b, a, h}, {b, -a, h}, {b, -a, 0}},
        {{b, a, 0}, {-b, a, 0}, {-b, a, h}},        {{-b, a, h}, {b, a, h}, {b, a, 0}},
        {{-b, a, 0}, {-b, -a, 0}, {-b, -a, h}},     {{-b, -a, h}, {-b, a, h}, {-b, a, 0}},
        {{-b, -a, 0}, {b, -a, 0}, {b, -a, h}},      {{b, -a, h}, {-b, -a, h}, {-b, -a, 0}},
        {{-0.5005f, -0.5213f, -5.7489f}, {-0.6009f, -0.5213f, 5.7489f}, {-0.6009f, 0.5995f, 5.7489f}},
        {{-0.6009f, 0.5995f, 5.7489f}, {-0.5005f, 0.5995f, -5.7489f}, {-0.5005f, -0.5213f, -5.7489f}},
        {{0.6617f, -0.5213f, -5.7388f}, {0.6617f, 0.5995f, -5.7388f}, {0.5614f, 0.5995f, 5.7591f}},
        {{0.5614f, 0.5995f, 5.7591f}, {0.5614f, -0.5213f, 5.7591f}, {0.6617f, -0.5213f, -5.7388f}},
        {{-0.5005f, -0.5213f, -5.7489f}, {-0.5005f, 0.5995f, -5.7489f}, {0.6617f, 0.5995f, -5.7388f}},
        {{0.6617f, 0.5995f, -5.7388f}, {0.6617f, -0.5213f, -5.7388f}, {-0.5005f, -0.5213f, -5.7489f}},
        {{-0.5005f, 0.5995f, -5.7489f}, {-0.6009f, 0.5995f, 5.7489f}, {0.5614f, 0.5995f, 5.7591f}},
        {{0.5614f, 0.5995f, 5.7591f}, {0.6617f, 0.5995f, -5.7388f}, {-0.5005f, 0.5995f, -5.7489f}},
        {{-0.6009f, 0.5995f, 5.7489f}, {-0.6009f, -0.5213f, 5.7489f}, {0.5614f, -0.5213f, 5.7591f}},
        {{0.5614f, -0.5213f, 5.7591f}, {0.5614f, 0.5995f, 5.7591f}, {-0.6009f, 0.5995f, 5.7489f}},
        {{-0.6009f, -0.5213f, 5.7489f}, {-0.5005f, -0.5213f, -5.7489f}, {0.6617f, -0.5213f, -5.7388f}},
        {{0.6617f, -0.5213f, -5.7388f}, {0.5614f, -0.5213f, 5.7591f}, {-0.6009f, -0.5213f, 5.7489f}},
    };
    for (int t = 0; t < 36; ++t)
        for (int k = 0; k < 3; ++k) {
            const MeshRecord& r = MeshC.records[3 * t + k];
            EXPECT_EQ(position(r), (Pos{table[t][k][0], table[t][k][1], table[t][k][2]}))
                << "triangle " << t << " vertex " << k;
        }
    for (int bar = 0; bar < 3; ++bar)
        expectClosedSurface(MeshC.records + 36 * bar, 12, "MeshC bar");
}

TEST(MeshE, ThreeOffCentreBarsAlongZYX)
{
    constexpr double L = 4.5148, T = 0.2158;
    expectAxisBox(MeshE.records, {29.0976, 0.9821, -4.4097}, {T, T, L}, "bar along z");
    expectAxisBox(MeshE.records + 36, {29.0968, 1.1069, -4.3018}, {T, L, T}, "bar along y");
    expectAxisBox(MeshE.records + 72, {29.0968, 0.9818, -4.2931}, {L, T, T}, "bar along x");
}

// ---------------------------------------------------------------------------------------------
// MeshF and MeshD: the geodesic sphere and its twelve small copies.

TEST(MeshF, GeodesicSphereOfFrequencyFour)
{
    constexpr double R = 0.9363;
    const std::vector<Pos> points = distinctPositions(MeshF.records, 960);
    ASSERT_EQ(points.size(), 162u);
    for (const Pos& p : points)
        EXPECT_NEAR(std::sqrt(double(p[0]) * p[0] + double(p[1]) * p[1] + double(p[2]) * p[2]), R, kTol);

    const double first[3][3] = {{0, 0, 0.9363}, {0.2559, 0, 0.9007}, {0.0791, 0.2433, 0.9007}};
    for (int k = 0; k < 3; ++k)
        for (int a = 0; a < 3; ++a)
            EXPECT_NEAR(position(MeshF.records[k])[a], first[k][a], kTol) << "position " << k;

    expectClosedSurface(MeshF.records, 320, "MeshF");

    // The icosahedron's twelve corners are the only points with five neighbours: the poles and
    // two rings at polar angle atan(2), the upper at azimuths 72k, the lower at 72k + 36.
    std::map<Pos, std::set<Pos>> neighbours;
    for (int t = 0; t < 320; ++t)
        for (int e = 0; e < 3; ++e)
            neighbours[position(MeshF.records[3 * t + e])].insert(position(MeshF.records[3 * t + (e + 1) % 3]));
    std::vector<Pos> corners;
    for (const auto& [p, n] : neighbours) {
        EXPECT_TRUE(n.size() == 5 || n.size() == 6);
        if (n.size() == 5)
            corners.push_back(p);
    }
    ASSERT_EQ(corners.size(), 12u);
    int poles = 0, upper = 0, lower = 0;
    for (const Pos& p : corners) {
        const double polar = std::atan2(std::hypot(p[0], p[1]), p[2]) * 180 / kPi;
        const double az = std::fmod(std::atan2(p[1], p[0]) * 180 / kPi + 360, 360);
        if (polar < 0.01 || polar > 179.99)
            ++poles;
        else if (std::abs(polar - 63.4349) < 0.01 && std::abs(std::remainder(az, 72.0)) < 0.01)
            ++upper;
        else if (std::abs(polar - 116.5651) < 0.01 && std::abs(std::remainder(az - 36, 72.0)) < 0.01)
            ++lower;
    }
    EXPECT_EQ(poles, 2);
    EXPECT_EQ(upper, 5);
    EXPECT_EQ(lower, 5);

    // The edge from the pole to the corner at azimuth 0 is cut into four equal arcs.
    for (int k = 1; k < 4; ++k) {
        const double angle = k * std::atan(2.0) / 4;
        bool found = false;
        for (const Pos& p : points)
            found |= std::abs(p[0] - R * std::sin(angle)) < kTol && std::abs(p[1]) < kTol &&
                     std::abs(p[2] - R * std::cos(angle)) < kTol;
        EXPECT_TRUE(found) << "no point at arc " << k << " of 4";
    }
}

TEST(MeshD, TwelveScaledCopiesOfMeshFOnTheRingInAngleOrder)
{
    const double angles[12] = {30, 330, 0, 60, 90, 120, 150, 180, 210, 240, 270, 300};
    const double scale = 0.4492 / 0.9363;
    for (int s = 0; s < 12; ++s) {
        SCOPED_TRACE(testing::Message() << "sphere " << s << " at " << angles[s] << " degrees");
        const MeshRecord* sphere = MeshD.records + 960 * s;
        const double cx = -0.0044 + 2.1679 * std::cos(angles[s] * kPi / 180);
        const double cy = 0.0410 + 2.1679 * std::sin(angles[s] * kPi / 180);

        // Centre recovered from the points alone.
        const auto c = mean(distinctPositions(sphere, 960));
        EXPECT_NEAR(c[0], cx, kTol);
        EXPECT_NEAR(c[1], cy, kTol);
        EXPECT_NEAR(c[2], 0, kTol);

        int off = 0;
        for (int k = 0; k < 960; ++k) {
            const MeshRecord &d = sphere[k], &f = MeshF.records[k];
            off += std::abs(d.x - (cx + scale * f.x)) > kTol || std::abs(d.y - (cy + scale * f.y)) > kTol ||
                   std::abs(d.z - scale * f.z) > kTol;
            off += std::abs(std::hypot(d.x - cx, d.y - cy, double(d.z)) - 0.4492) > kTol;
        }
        EXPECT_EQ(off, 0) << "records that are not MeshF scaled to radius 0.4492 at the centre";
    }
}

// ---------------------------------------------------------------------------------------------
// drawMesh

TEST(DrawMesh, SendsEveryRecordInStoredOrderAsTriangles)
{
    recgl::reset();
    drawMesh(MeshC);
    const auto& calls = recgl::calls();
    ASSERT_EQ(calls.size(), 2u + 2 * 108);
    EXPECT_EQ(calls.front(), recgl::call("glBegin", {GL_TRIANGLES}));
    EXPECT_EQ(calls.back(), recgl::call("glEnd"));
    for (int k = 0; k < 108; ++k) {
        const MeshRecord& r = MeshC.records[k];
        EXPECT_EQ(calls[1 + 2 * k], recgl::call("glTexCoord2f", {r.u, r.v})) << "record " << k;
        EXPECT_EQ(calls[2 + 2 * k], recgl::call("glVertex3f", {r.x, r.y, r.z})) << "record " << k;
    }
    // No normals, colours or state changes: the caller's colour and texture are what it shows.
    EXPECT_EQ(recgl::count("glColor4f") + recgl::count("glBindTexture") + recgl::count("glEnable"), 0u);
}

TEST(DrawMesh, EmptyMeshIsBeginAndEndOnly)
{
    recgl::reset();
    const MeshSet empty{0, 0, nullptr};
    drawMesh(empty);
    EXPECT_EQ(recgl::calls(), (std::vector<recgl::Call>{recgl::call("glBegin", {GL_TRIANGLES}), recgl::call("glEnd")}));
}
