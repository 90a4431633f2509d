// SPDX-License-Identifier: MIT
// engine/fog.cpp — per-fragment fog. Mesa fogs per vertex by |eye z| before clipping, so a
// quad that passes beside the viewer (the floor, the tumbling planes, the corridor) takes
// the distance of its far corners everywhere and comes out almost black. GL defines fog by
// each fragment's distance; under the demo's perspective projections the eye-plane distance
// is the fragment's clip w, the reciprocal of fragment.position.w. No scene call changes:
// the program reads GL_FOG_COLOR and GL_FOG_DENSITY from state every frame.
#include "engine/fog.h"

#include <cstdio>

#include "engine/gl.h"
#include "platform/platform.h"

#ifndef GL_FRAGMENT_PROGRAM_ARB
#define GL_FRAGMENT_PROGRAM_ARB 0x8804
#define GL_PROGRAM_FORMAT_ASCII_ARB 0x8875
#define GL_PROGRAM_ERROR_POSITION_ARB 0x864B
#define GL_PROGRAM_ERROR_STRING_ARB 0x8874
#endif

namespace {

// result = mix(fogColour, texel x colour, exp(-density x distance)); alpha untouched.
const char kProgram[] = "!!ARBfp1.0\n"
                        "TEMP texel, lit, f;\n"
                        "TEX texel, fragment.texcoord[0], texture[0], 2D;\n"
                        "MUL lit, texel, fragment.color;\n"
                        "RCP f.x, fragment.position.w;\n"
                        "MUL f.x, f.x, state.fog.params.x;\n"
                        "MUL f.x, f.x, -1.4426950408889634;\n" // exp(x) = 2^(x log2 e)
                        "EX2_SAT f.x, f.x;\n"
                        "LRP result.color.xyz, f.x, lit, state.fog.color;\n"
                        "MOV result.color.w, lit.w;\n"
                        "END\n";

using GenPrograms = void (*)(GLsizei, GLuint*);
using BindProgram = void (*)(GLenum, GLuint);
using ProgramString = void (*)(GLenum, GLenum, GLsizei, const void*);

} // namespace

bool setupFragmentFog()
{
    auto genPrograms = reinterpret_cast<GenPrograms>(glProc("glGenProgramsARB"));
    auto bindProgram = reinterpret_cast<BindProgram>(glProc("glBindProgramARB"));
    auto programString = reinterpret_cast<ProgramString>(glProc("glProgramStringARB"));
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (!hasExtension(extensions, "GL_ARB_fragment_program") || !genPrograms || !bindProgram || !programString) {
        std::fprintf(stderr, "fog: GL_ARB_fragment_program is not available; fog stays per vertex\n");
        return false;
    }

    GLuint program = 0;
    genPrograms(1, &program);
    bindProgram(GL_FRAGMENT_PROGRAM_ARB, program);
    programString(GL_FRAGMENT_PROGRAM_ARB, GL_PROGRAM_FORMAT_ASCII_ARB, sizeof kProgram - 1, kProgram);
    GLint errorAt = -1;
    glGetIntegerv(GL_PROGRAM_ERROR_POSITION_ARB, &errorAt);
    if (errorAt != -1) {
        std::fprintf(stderr, "fog: the fragment program was refused at %d (%s); fog stays per vertex\n", errorAt,
                     reinterpret_cast<const char*>(glGetString(GL_PROGRAM_ERROR_STRING_ARB)));
        bindProgram(GL_FRAGMENT_PROGRAM_ARB, 0);
        return false;
    }

    // The program samples whatever is bound; texture 0 must read as white, as the fixed
    // pipeline's "no texture" does.
    static const GLubyte kWhite[4] = {255, 255, 255, 255};
    glBindTexture(GL_TEXTURE_2D, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, kWhite);
    glEnable(GL_FRAGMENT_PROGRAM_ARB);
    return true;
}
