// SPDX-License-Identifier: MIT
// web/openmpt_formats.cpp — the page plays one Impulse Tracker module, so the wasm build of
// libopenmpt leaves out the loaders of the other module formats: each one's probe and read
// say "not this format" here instead, which saves a good part of the library's build time and
// size. The loaders that others share code with stay in: IT, S3M, MOD, AMS and DMF (their
// sample unpackers), and the tracker-only WAV, MID and UAX.
#include "stdafx.h"
#include "Loaders.h"

OPENMPT_NAMESPACE_BEGIN

#define RINTA_NO_FORMAT(F)                                                                                             \
    CSoundFile::ProbeResult CSoundFile::ProbeFileHeader##F(MemoryFileReader, const uint64*) { return ProbeFailure; } \
    bool CSoundFile::Read##F(FileReader&, ModLoadingFlags) { return false; }

RINTA_NO_FORMAT(669)
RINTA_NO_FORMAT(AMF_Asylum)
RINTA_NO_FORMAT(AMF_DSMI)
RINTA_NO_FORMAT(C67)
RINTA_NO_FORMAT(DBM)
RINTA_NO_FORMAT(DIGI)
RINTA_NO_FORMAT(DSM)
RINTA_NO_FORMAT(DSym)
RINTA_NO_FORMAT(DTM)
RINTA_NO_FORMAT(FAR)
RINTA_NO_FORMAT(FMT)
RINTA_NO_FORMAT(GDM)
RINTA_NO_FORMAT(IMF)
RINTA_NO_FORMAT(ITP)
RINTA_NO_FORMAT(MDL)
RINTA_NO_FORMAT(MED)
RINTA_NO_FORMAT(MO3)
RINTA_NO_FORMAT(MT2)
RINTA_NO_FORMAT(MTM)
RINTA_NO_FORMAT(MUS_KM)
RINTA_NO_FORMAT(OKT)
RINTA_NO_FORMAT(PLM)
RINTA_NO_FORMAT(PSM)
RINTA_NO_FORMAT(PSM16)
RINTA_NO_FORMAT(PTM)
RINTA_NO_FORMAT(SFX)
RINTA_NO_FORMAT(STM)
RINTA_NO_FORMAT(STX)
RINTA_NO_FORMAT(STP)
RINTA_NO_FORMAT(SymMOD)
RINTA_NO_FORMAT(ULT)
RINTA_NO_FORMAT(XM)

OPENMPT_NAMESPACE_END
