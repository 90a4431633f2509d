// SPDX-License-Identifier: MIT
// web/fog.cpp — per-fragment fog in the page. glcompat's one drawing program always fogs by
// each fragment's eye distance from GL's own fog state, the look the native fragment program
// gives, so there is nothing to install and texture 0 already reads as white.
#include "engine/fog.h"

bool setupFragmentFog() { return true; }
