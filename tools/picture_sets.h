// SPDX-License-Identifier: MIT
// tools/picture_sets.h — the eighteen pictures the demo loads, each drawn into an image of the
// size picturegen gives it. Tiles are seamless; titles are laid out for the quad they are
// shown on, so a picture squeezed by its geometry is drawn stretched to match.
#pragma once
#include "tools/picture_canvas.h"

// Seamless tiles (picture_textures.cpp).
void drawTarvel(Image& img); // the floor slabs; also the mesh skin and the trail squares
void drawTex2(Image& img);   // riveted plates: first corridor segment, gate, ring, cubes
void drawTex3(Image& img);   // lit ribs and rails: the corridor beyond the gate
void drawTex4(Image& img);   // ripples on the tumbling planes
void drawShade(Image& img);  // shaded cells lining the rolling tunnel

// Titles and pictures with text (picture_titles.cpp).
void drawMade(Image& img);   // title picture: the group presents "rinta"
void drawWorld(Image& img);  // low title strip
void drawStyle(Image& img);  // upright strip, letters stacked
void drawLomb(Image& img);   // high title strip
void drawGate(Image& img);   // strip of the tunnel scene
void drawEnd(Image& img);    // closing strip
void drawShot(Image& img);   // framed picture on the corridor wall
void drawGreets(Image& img);
void drawCredit(Image& img, int member); // 0 rinta, 1 pasko, 2 mirel, 3 olvek
void drawFenro(Image& img);  // closing picture
