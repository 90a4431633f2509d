// FIXME: placeholder until the mesh generator lands.
#include "engine/meshes/meshes.h"
const MeshSet MeshA{0, 0, nullptr}, MeshB{0, 0, nullptr}, MeshC{0, 0, nullptr}, MeshD{0, 0, nullptr},
    MeshE{0, 0, nullptr}, MeshF{0, 0, nullptr};
