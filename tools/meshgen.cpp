// SPDX-License-Identifier: MIT
// tools/meshgen.cpp — builds the six meshes the program carries from their description and
// writes their stored form (per mesh: positionCount and triangleCount as little-endian int32,
// then 20-byte u, v, x, y, z float records, meshes back to back), plus a C++ source that links
// those bytes into the program, so nothing is read at run time.
//
// Usage: meshgen <meshes.bin> <mesh_data.cpp>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
double radians(double degrees) { return degrees * kPi / 180.0; }

struct Vec3 {
    double x, y, z;
};
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a) { return {-a.x, -a.y, -a.z}; }
Vec3 operator*(double s, Vec3 a) { return {s * a.x, s * a.y, s * a.z}; }
double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 normalize(Vec3 a) { return (1.0 / std::sqrt(dot(a, a))) * a; }

// ---------------------------------------------------------------------------------------------
// A mesh under construction: triangles in record order, grouped into parts that share no
// vertices. positionCount is the sum of each part's distinct stored positions.

struct Mesh {
    const char* name = "";
    std::vector<std::array<Vec3, 3>> triangles;
    int positionCount = 0;
    size_t partStart = 0;
};

void beginPart(Mesh& m) { m.partStart = m.triangles.size(); }

void endPart(Mesh& m)
{
    std::map<std::tuple<float, float, float>, int> seen;
    for (size_t t = m.partStart; t < m.triangles.size(); ++t)
        for (const Vec3& p : m.triangles[t])
            seen[{float(p.x), float(p.y), float(p.z)}] = 1;
    m.positionCount += int(seen.size());
}

void addTriangle(Mesh& m, Vec3 a, Vec3 b, Vec3 c) { m.triangles.push_back({a, b, c}); }

// A quad a, b, c, d as (a, b, c), (c, d, a).
void addQuad(Mesh& m, Vec3 a, Vec3 b, Vec3 c, Vec3 d)
{
    addTriangle(m, a, b, c);
    addTriangle(m, c, d, a);
}

// A box from its eight corners, corner[ix][iy][iz] with 0 = low side: bottom, top, then the
// -y, +x, +y and -x sides, every face wound outwards (the order the tabled bars use).
using Corners = Vec3[2][2][2];
void addBox(Mesh& m, const Corners& c)
{
    beginPart(m);
    addQuad(m, c[0][0][0], c[0][1][0], c[1][1][0], c[1][0][0]);
    addQuad(m, c[0][0][1], c[1][0][1], c[1][1][1], c[0][1][1]);
    addQuad(m, c[0][0][0], c[1][0][0], c[1][0][1], c[0][0][1]);
    addQuad(m, c[1][0][0], c[1][1][0], c[1][1][1], c[1][0][1]);
    addQuad(m, c[1][1][0], c[0][1][0], c[0][1][1], c[1][1][1]);
    addQuad(m, c[0][1][0], c[0][0][0], c[0][0][1], c[0][1][1]);
    endPart(m);
}

void addAxisBox(Mesh& m, Vec3 centre, Vec3 size)
{
    Corners c;
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            for (int k = 0; k < 2; ++k)
                c[i][j][k] = {centre.x + (i ? 0.5 : -0.5) * size.x, centre.y + (j ? 0.5 : -0.5) * size.y,
                              centre.z + (k ? 0.5 : -0.5) * size.z};
    addBox(m, c);
}

// ---------------------------------------------------------------------------------------------
// MeshA: twelve benches, each a slab turned by its yaw and two capped cylinder legs.

constexpr double kSlabLength = 1.2553;
constexpr double kSlabWidth = 0.4184;
constexpr double kSlabBottom = 0.255;
constexpr double kSlabTop = 0.6735;
constexpr double kLegRadius = 0.1644;
constexpr int kLegSides = 18;
constexpr double kLegRings[6] = {-0.4773, -0.3331, -0.189, -0.0449, 0.0993, 0.2434};

struct Bench {
    double slabX, slabY, yawDegrees;
    double leg1X, leg1Y, leg2X, leg2Y;
};
constexpr Bench kBenches[12] = {
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

void addSlab(Mesh& m, const Bench& b)
{
    const double c = std::cos(radians(b.yawDegrees)), s = std::sin(radians(b.yawDegrees));
    Corners corners;
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            for (int k = 0; k < 2; ++k) {
                const double along = (i ? 0.5 : -0.5) * kSlabLength;
                const double across = (j ? 0.5 : -0.5) * kSlabWidth;
                corners[i][j][k] = {b.slabX + along * c - across * s, b.slabY + along * s + across * c,
                                    k ? kSlabTop : kSlabBottom};
            }
    addBox(m, corners);
}

// A capped cylinder: bottom fan, the five bands from the bottom up, top fan; wound outwards.
void addLeg(Mesh& m, double x, double y)
{
    auto ring = [&](int r, int side) {
        const double a = radians(360.0 * (side % kLegSides) / kLegSides);
        return Vec3{x + kLegRadius * std::cos(a), y + kLegRadius * std::sin(a), kLegRings[r]};
    };
    beginPart(m);
    const Vec3 bottom{x, y, kLegRings[0]}, top{x, y, kLegRings[5]};
    for (int i = 0; i < kLegSides; ++i)
        addTriangle(m, bottom, ring(0, i + 1), ring(0, i));
    for (int r = 0; r < 5; ++r)
        for (int i = 0; i < kLegSides; ++i)
            addQuad(m, ring(r, i), ring(r, i + 1), ring(r + 1, i + 1), ring(r + 1, i));
    for (int i = 0; i < kLegSides; ++i)
        addTriangle(m, top, ring(5, i), ring(5, i + 1));
    endPart(m);
}

Mesh buildMeshA()
{
    Mesh m;
    m.name = "MeshA";
    for (const Bench& b : kBenches) {
        addSlab(m, b);
        addLeg(m, b.leg1X, b.leg1Y);
        addLeg(m, b.leg2X, b.leg2Y);
    }
    return m;
}

// ---------------------------------------------------------------------------------------------
// MeshB: sixteen clusters, each the same twelve boxes moved to its anchor.

constexpr double kCube = 1.2157, kBarLong = 1.8274, kBarThin = 0.2731;
struct TemplateBox {
    Vec3 offset, size;
};
const TemplateBox kClusterTemplate[12] = {
    {{-0.0125, -0.0409, 1.4211}, {kCube, kCube, kCube}},
    {{1.4053, -0.0409, 0.0077}, {kCube, kCube, kCube}},
    {{-0.0125, -1.4370, -0.0085}, {kCube, kCube, kCube}},
    {{-1.4308, -0.0011, 0.0077}, {kCube, kCube, kCube}},
    {{0, 0, 0}, {kBarLong, kBarThin, kBarThin}},
    {{-0.0253, -0.0062, 0}, {kBarThin, kBarLong, kBarThin}},
    {{-0.0049, 0, 0.0158}, {kBarThin, kBarThin, kBarLong}},
    {{-0.0125, 1.3991, 0.0314}, {kCube, kCube, kCube}},
    {{0.0156, 1.3991, 0.0077}, {kCube, kCube, kCube}},
    {{-0.0125, -0.0011, -1.4150}, {kCube, kCube, kCube}},
    {{-0.0243, -1.4370, 0.0077}, {kCube, kCube, kCube}},
    {{-0.0049, -0.0062, -0.0095}, {kBarThin, kBarLong, kBarThin}},
};
const Vec3 kClusterAnchors[16] = {
    {-3.9216, 4.0824, 2.0722}, {2.6374, 0.0095, 2.0722},   {-0.0088, 2.6992, 2.0722},
    {3.9160, 3.9869, 2.0722},  {-0.0013, -2.6121, 2.0722}, {-2.6831, 0.0574, 2.0722},
    {-4.1123, -3.7761, 2.0722}, {3.9243, -3.9581, 2.0722}, {-3.8940, 4.0824, -2.0505},
    {2.6649, 0.0095, -2.0505}, {0.0188, 2.6992, -2.0505},  {3.9435, 3.9869, -2.0505},
    {0.0263, -2.6121, -2.0505}, {-2.6555, 0.0574, -2.0505}, {-4.0847, -3.7761, -2.0505},
    {3.9519, -3.9581, -2.0505},
};

Mesh buildMeshB()
{
    Mesh m;
    m.name = "MeshB";
    for (const Vec3& anchor : kClusterAnchors)
        for (const TemplateBox& box : kClusterTemplate)
            addAxisBox(m, anchor + box.offset, box.size);
    return m;
}

// ---------------------------------------------------------------------------------------------
// MeshC: three crossed bars, record for record as tabled (the bar along z is slightly skewed).

const double kMeshC[36][3][3] = {
    {{-0.5604, -5.7491, 0}, {-0.5604, 5.7491, 0}, {0.5604, 5.7491, 0}},
    {{0.5604, 5.7491, 0}, {0.5604, -5.7491, 0}, {-0.5604, -5.7491, 0}},
    {{-0.5604, -5.7491, 1.1623}, {0.5604, -5.7491, 1.1623}, {0.5604, 5.7491, 1.1623}},
    {{0.5604, 5.7491, 1.1623}, {-0.5604, 5.7491, 1.1623}, {-0.5604, -5.7491, 1.1623}},
    {{-0.5604, -5.7491, 0}, {0.5604, -5.7491, 0}, {0.5604, -5.7491, 1.1623}},
    {{0.5604, -5.7491, 1.1623}, {-0.5604, -5.7491, 1.1623}, {-0.5604, -5.7491, 0}},
    {{0.5604, -5.7491, 0}, {0.5604, 5.7491, 0}, {0.5604, 5.7491, 1.1623}},
    {{0.5604, 5.7491, 1.1623}, {0.5604, -5.7491, 1.1623}, {0.5604, -5.7491, 0}},
    {{0.5604, 5.7491, 0}, {-0.5604, 5.7491, 0}, {-0.5604, 5.7491, 1.1623}},
    {{-0.5604, 5.7491, 1.1623}, {0.5604, 5.7491, 1.1623}, {0.5604, 5.7491, 0}},
    {{-0.5604, 5.7491, 0}, {-0.5604, -5.7491, 0}, {-0.5604, -5.7491, 1.1623}},
    {{-0.5604, -5.7491, 1.1623}, {-0.5604, 5.7491, 1.1623}, {-0.5604, 5.7491, 0}},
    {{5.7491, -0.5604, 0}, {-5.7491, -0.5604, 0}, {-5.7491, 0.5604, 0}},
    {{-5.7491, 0.5604, 0}, {5.7491, 0.5604, 0}, {5.7491, -0.5604, 0}},
    {{5.7491, -0.5604, 1.1623}, {5.7491, 0.5604, 1.1623}, {-5.7491, 0.5604, 1.1623}},
    {{-5.7491, 0.5604, 1.1623}, {-5.7491, -0.5604, 1.1623}, {5.7491, -0.5604, 1.1623}},
    {{5.7491, -0.5604, 0}, {5.7491, 0.5604, 0}, {5.7491, 0.5604, 1.1623}},
    {{5.7491, 0.5604, 1.1623}, {5.7491, -0.5604, 1.1623}, {5.7491, -0.5604, 0}},
    {{5.7491, 0.5604, 0}, {-5.7491, 0.5604, 0}, {-5.7491, 0.5604, 1.1623}},
    {{-5.7491, 0.5604, 1.1623}, {5.7491, 0.5604, 1.1623}, {5.7491, 0.5604, 0}},
    {{-5.7491, 0.5604, 0}, {-5.7491, -0.5604, 0}, {-5.7491, -0.5604, 1.1623}},
    {{-5.7491, -0.5604, 1.1623}, {-5.7491, 0.5604, 1.1623}, {-5.7491, 0.5604, 0}},
    {{-5.7491, -0.5604, 0}, {5.7491, -0.5604, 0}, {5.7491, -0.5604, 1.1623}},
    {{5.7491, -0.5604, 1.1623}, {-5.7491, -0.5604, 1.1623}, {-5.7491, -0.5604, 0}},
    {{-0.5005, -0.5213, -5.7489}, {-0.6009, -0.5213, 5.7489}, {-0.6009, 0.5995, 5.7489}},
    {{-0.6009, 0.5995, 5.7489}, {-0.5005, 0.5995, -5.7489}, {-0.5005, -0.5213, -5.7489}},
    {{0.6617, -0.5213, -5.7388}, {0.6617, 0.5995, -5.7388}, {0.5614, 0.5995, 5.7591}},
    {{0.5614, 0.5995, 5.7591}, {0.5614, -0.5213, 5.7591}, {0.6617, -0.5213, -5.7388}},
    {{-0.5005, -0.5213, -5.7489}, {-0.5005, 0.5995, -5.7489}, {0.6617, 0.5995, -5.7388}},
    {{0.6617, 0.5995, -5.7388}, {0.6617, -0.5213, -5.7388}, {-0.5005, -0.5213, -5.7489}},
    {{-0.5005, 0.5995, -5.7489}, {-0.6009, 0.5995, 5.7489}, {0.5614, 0.5995, 5.7591}},
    {{0.5614, 0.5995, 5.7591}, {0.6617, 0.5995, -5.7388}, {-0.5005, 0.5995, -5.7489}},
    {{-0.6009, 0.5995, 5.7489}, {-0.6009, -0.5213, 5.7489}, {0.5614, -0.5213, 5.7591}},
    {{0.5614, -0.5213, 5.7591}, {0.5614, 0.5995, 5.7591}, {-0.6009, 0.5995, 5.7489}},
    {{-0.6009, -0.5213, 5.7489}, {-0.5005, -0.5213, -5.7489}, {0.6617, -0.5213, -5.7388}},
    {{0.6617, -0.5213, -5.7388}, {0.5614, -0.5213, 5.7591}, {-0.6009, -0.5213, 5.7489}},
};

Mesh buildMeshC()
{
    Mesh m;
    m.name = "MeshC";
    for (int bar = 0; bar < 3; ++bar) {
        beginPart(m);
        for (int t = 12 * bar; t < 12 * bar + 12; ++t) {
            const auto& v = kMeshC[t];
            addTriangle(m, {v[0][0], v[0][1], v[0][2]}, {v[1][0], v[1][1], v[1][2]}, {v[2][0], v[2][1], v[2][2]});
        }
        endPart(m);
    }
    return m;
}

// ---------------------------------------------------------------------------------------------
// MeshF: the geodesic sphere. An icosahedron whose edges are each cut into four equal arcs and
// whose faces are cut into 16 triangles, every vertex on the sphere. Built indexed, so that the
// points two faces share are computed once and stored identically in both.

constexpr double kSphereRadius = 0.9363;
constexpr int kFrequency = 4;

struct Geodesic {
    std::vector<Vec3> points;                  // unit vectors
    std::vector<std::array<int, 3>> triangles; // outward-wound, record order
};

Vec3 slerp(Vec3 a, Vec3 b, double t)
{
    const double omega = std::acos(dot(a, b));
    return (1.0 / std::sin(omega)) * (std::sin((1 - t) * omega) * a + std::sin(t * omega) * b);
}

Geodesic buildGeodesic()
{
    Geodesic g;
    // Pole, the five round it at azimuths 0, 72, ... 288 and polar angle atan(2) (63.43
    // degrees, the icosahedron's own), then the opposite five and pole through the centre.
    const double polar = std::atan(2.0);
    g.points.push_back({0, 0, 1});
    for (int k = 0; k < 5; ++k) {
        const double az = radians(72.0 * k);
        g.points.push_back({std::sin(polar) * std::cos(az), std::sin(polar) * std::sin(az), std::cos(polar)});
    }
    for (int k = 0; k < 6; ++k)
        g.points.push_back(-g.points[k]);
    const int top = 0, bottom = 6;
    auto upper = [](int k) { return 1 + k % 5; };
    auto lower = [](int k) { return 7 + (k + 3) % 5; }; // the lower vertex at azimuth 72k + 36

    std::vector<std::array<int, 3>> faces;
    for (int k = 0; k < 5; ++k)
        faces.push_back({top, upper(k), upper(k + 1)});
    for (int k = 0; k < 5; ++k) {
        faces.push_back({upper(k), lower(k), upper(k + 1)});
        faces.push_back({lower(k), lower(k + 1), upper(k + 1)});
    }
    for (int k = 0; k < 5; ++k)
        faces.push_back({bottom, lower(k + 1), lower(k)});

    // Edge points are keyed by the edge's lower index and counted from that end.
    std::map<std::tuple<int, int, int>, int> edgePoint;
    auto onEdge = [&](int a, int b, int stepFromA) {
        if (stepFromA == 0)
            return a;
        if (stepFromA == kFrequency)
            return b;
        if (a > b) {
            std::swap(a, b);
            stepFromA = kFrequency - stepFromA;
        }
        const auto key = std::make_tuple(a, b, stepFromA);
        if (auto it = edgePoint.find(key); it != edgePoint.end())
            return it->second;
        g.points.push_back(slerp(g.points[a], g.points[b], double(stepFromA) / kFrequency));
        return edgePoint[key] = int(g.points.size()) - 1;
    };

    for (auto [a, b, c] : faces) {
        const Vec3 A = g.points[a], B = g.points[b], C = g.points[c]; // copies: points grows below
        // Point (i, j): row i from corner a (row 4 is edge bc), j steps towards c.
        int grid[kFrequency + 1][kFrequency + 1];
        for (int i = 0; i <= kFrequency; ++i)
            for (int j = 0; j <= i; ++j) {
                if (j == 0)
                    grid[i][j] = onEdge(a, b, i);
                else if (j == i)
                    grid[i][j] = onEdge(a, c, i);
                else if (i == kFrequency)
                    grid[i][j] = onEdge(b, c, j);
                else {
                    const double wa = kFrequency - i, wb = i - j, wc = j;
                    g.points.push_back(normalize(wa * A + wb * B + wc * C));
                    grid[i][j] = int(g.points.size()) - 1;
                }
            }
        for (int i = 0; i < kFrequency; ++i)
            for (int j = 0; j <= i; ++j) {
                g.triangles.push_back({grid[i][j], grid[i + 1][j], grid[i + 1][j + 1]});
                if (j < i)
                    g.triangles.push_back({grid[i][j], grid[i + 1][j + 1], grid[i][j + 1]});
            }
    }
    return g;
}

void addSphere(Mesh& m, const Geodesic& g, double radius, Vec3 centre)
{
    beginPart(m);
    for (const auto& t : g.triangles)
        addTriangle(m, centre + radius * g.points[t[0]], centre + radius * g.points[t[1]],
                    centre + radius * g.points[t[2]]);
    endPart(m);
}

Mesh buildMeshF(const Geodesic& g)
{
    Mesh m;
    m.name = "MeshF";
    addSphere(m, g, kSphereRadius, {0, 0, 0});
    return m;
}

// MeshD: MeshF scaled down, twelve times round a circle, in this angle order.
constexpr double kRingSphereRadius = 0.4492;
constexpr double kRingRadius = 2.1679;
constexpr Vec3 kRingCentre{-0.0044, 0.0410, 0};
constexpr double kRingAngles[12] = {30, 330, 0, 60, 90, 120, 150, 180, 210, 240, 270, 300};

Mesh buildMeshD(const Geodesic& g)
{
    Mesh m;
    m.name = "MeshD";
    for (double angle : kRingAngles) {
        const Vec3 centre = kRingCentre + kRingRadius * Vec3{std::cos(radians(angle)), std::sin(radians(angle)), 0};
        addSphere(m, g, kSphereRadius * (kRingSphereRadius / kSphereRadius), centre);
    }
    return m;
}

// MeshE: three bars crossing off-centre; carried but not drawn by any scene.
constexpr double kEBarLong = 4.5148, kEBarThin = 0.2158;

Mesh buildMeshE()
{
    Mesh m;
    m.name = "MeshE";
    addAxisBox(m, {29.0976, 0.9821, -4.4097}, {kEBarThin, kEBarThin, kEBarLong});
    addAxisBox(m, {29.0968, 1.1069, -4.3018}, {kEBarThin, kEBarLong, kEBarThin});
    addAxisBox(m, {29.0968, 0.9818, -4.2931}, {kEBarLong, kEBarThin, kEBarThin});
    return m;
}

// ---------------------------------------------------------------------------------------------
// The stored form.

void putU32(std::vector<unsigned char>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void putFloat(std::vector<unsigned char>& out, double v)
{
    const float f = static_cast<float>(v);
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    putU32(out, bits);
}

// Every triangle shows the same half of the texture: (1, 1), (0, 1), (0, 0).
constexpr float kTriangleUV[3][2] = {{1, 1}, {0, 1}, {0, 0}};

void appendStored(std::vector<unsigned char>& out, const Mesh& m)
{
    putU32(out, static_cast<std::uint32_t>(m.positionCount));
    putU32(out, static_cast<std::uint32_t>(m.triangles.size()));
    for (const auto& t : m.triangles)
        for (int k = 0; k < 3; ++k) {
            putFloat(out, kTriangleUV[k][0]);
            putFloat(out, kTriangleUV[k][1]);
            putFloat(out, t[k].x);
            putFloat(out, t[k].y);
            putFloat(out, t[k].z);
        }
}

std::uint64_t fnv1a(const std::vector<unsigned char>& bytes)
{
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char b : bytes)
        h = (h ^ b) * 1099511628211ull;
    return h;
}

std::string escapeQuoted(const std::string& text)
{
    std::string out;
    for (char ch : text) {
        if (ch == '"' || ch == '\\')
            out += '\\';
        out += ch;
    }
    return out;
}

// The linking source: the bytes come in through .incbin, with a label on each mesh's records.
// The checksum in the text changes with the bytes, so no compiler cache can serve stale data.
std::string linkingSource(const std::vector<Mesh>& meshes, const std::string& binPath, std::uint64_t checksum,
                          size_t total)
{
    // .incbin "path": escaped once for the assembler's string, once for the C++ literal.
    const std::string escaped = escapeQuoted("\"" + escapeQuoted(binPath) + "\"");

    char buf[256];
    std::string s;
    s += "// Generated by tools/meshgen.cpp at build time; do not edit.\n";
    s += "#include \"engine/meshes/mesh_blob.h\"\n#include \"engine/meshes/meshes.h\"\n\n";
    s += "#include <bit>\n";
    s += "static_assert(std::endian::native == std::endian::little, \"the records are stored little-endian\");\n\n";
    s += "__asm__(\n";
    std::snprintf(buf, sizeof buf, "    \"# meshgen: %zu bytes, fnv1a64 %016llx\\n\"\n", total,
                  static_cast<unsigned long long>(checksum));
    s += buf;
    s += "    \".pushsection .rodata.rinta_meshes,\\\"a\\\",@progbits\\n\"\n";
    s += "    \".balign 16\\n\"\n";
    s += "    \".globl rintaMeshBytes\\n\"\n    \".type rintaMeshBytes, @object\\n\"\n    \"rintaMeshBytes:\\n\"\n";
    size_t offset = 0;
    for (const Mesh& m : meshes) {
        const size_t recordBytes = m.triangles.size() * 3 * 20;
        s += "    \".incbin " + escaped + ", " + std::to_string(offset) + ", 8\\n\"\n";
        offset += 8;
        std::snprintf(buf, sizeof buf, "    \".globl rinta%sRecords\\n\"\n    \"rinta%sRecords:\\n\"\n", m.name,
                      m.name);
        s += buf;
        if (recordBytes) {
            s += "    \".incbin " + escaped + ", " + std::to_string(offset) + ", " + std::to_string(recordBytes) +
                 "\\n\"\n";
        }
        offset += recordBytes;
    }
    s += "    \".globl rintaMeshBytesEnd\\n\"\n    \"rintaMeshBytesEnd:\\n\"\n";
    s += "    \".size rintaMeshBytes, rintaMeshBytesEnd - rintaMeshBytes\\n\"\n";
    s += "    \".popsection\\n\");\n\n";
    for (const Mesh& m : meshes) {
        std::snprintf(buf, sizeof buf, "extern \"C\" const MeshRecord rinta%sRecords[];\n", m.name);
        s += buf;
    }
    s += "\n";
    for (const Mesh& m : meshes) {
        std::snprintf(buf, sizeof buf, "const MeshSet %s{%d, %zu, rinta%sRecords};\n", m.name, m.positionCount,
                      m.triangles.size(), m.name);
        s += buf;
    }
    return s;
}

bool writeFile(const char* path, const void* data, size_t size)
{
    FILE* f = std::fopen(path, "wb");
    if (!f) {
        std::fprintf(stderr, "meshgen: cannot open %s for writing\n", path);
        return false;
    }
    const bool ok = std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "meshgen: writing %s failed\n", path);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: meshgen <meshes.bin> <mesh_data.cpp>\n");
        return 2;
    }
    const Geodesic sphere = buildGeodesic();
    const std::vector<Mesh> meshes = {buildMeshA(), buildMeshB(), buildMeshC(),
                                      buildMeshD(sphere), buildMeshE(), buildMeshF(sphere)};
    std::vector<unsigned char> bytes;
    for (const Mesh& m : meshes)
        appendStored(bytes, m);

    const std::string source = linkingSource(meshes, argv[1], fnv1a(bytes), bytes.size());
    if (!writeFile(argv[1], bytes.data(), bytes.size()) || !writeFile(argv[2], source.data(), source.size()))
        return 1;
    return 0;
}
