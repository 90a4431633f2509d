// SPDX-License-Identifier: MIT
// engine/meshes/mesh_blob.h — the six meshes' stored form as linked into the program: per mesh
// positionCount and triangleCount (little-endian int32), then its records, back to back.
// MeshA..MeshF point into these bytes; tests read them to check the stored form itself.
#pragma once
#include <cstddef>
#include <span>

extern "C" const unsigned char rintaMeshBytes[];
extern "C" const unsigned char rintaMeshBytesEnd[];

inline std::span<const unsigned char> meshBytes()
{
    return {rintaMeshBytes, static_cast<std::size_t>(rintaMeshBytesEnd - rintaMeshBytes)};
}
