// SPDX-License-Identifier: MIT
// engine/meshes/mesh_draw.cpp — drawMesh: the stored records in order, immediate mode.
#include "engine/meshes/meshes.h"

#include "engine/gl.h"

void drawMesh(const MeshSet& mesh)
{
    glBegin(GL_TRIANGLES);
    const int recordCount = 3 * mesh.triangleCount;
    for (int k = 0; k < recordCount; ++k) {
        const MeshRecord& r = mesh.records[k];
        glTexCoord2f(r.u, r.v);
        glVertex3f(r.x, r.y, r.z);
    }
    glEnd();
}
