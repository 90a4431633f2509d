// SPDX-License-Identifier: MIT
// engine/fog.h — exponential fog per fragment, by each fragment's distance from the eye.
#pragma once

// Where the context offers GL_ARB_fragment_program, installs a fragment program that does
// what the fixed pipeline does here (texture modulated by colour) and fogs per fragment
// from GL's own fog colour and density; texture 0 becomes 1 x 1 white so untextured draws
// keep their plain colour. Otherwise leaves the fixed pipeline and says so on stderr.
// Returns whether the program is in use.
bool setupFragmentFog();
