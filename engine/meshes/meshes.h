// SPDX-License-Identifier: MIT
// engine/meshes/meshes.h — the six meshes compiled into the program, and drawMesh.
#pragma once
#include <cstdint>

struct MeshRecord { // GL_T2F_V3F order, 20 bytes
    float u, v;
    float x, y, z;
};
static_assert(sizeof(MeshRecord) == 20, "records are stored back to back");

struct MeshSet {
    std::int32_t positionCount; // informational; never read by the drawing code
    std::int32_t triangleCount;
    const MeshRecord* records; // 3 x triangleCount records, no index list
};

extern const MeshSet MeshA, MeshB, MeshC, MeshD, MeshE, MeshF;

void drawMesh(const MeshSet& mesh);
