// SPDX-License-Identifier: MIT
// capture/picture.h — the captured picture: its output size, the 4:3 frame inside it (black
// bars beside a picture of another shape), multisampling, and reading a finished frame back.
// The classic 640 x 480 single-sampled capture draws straight into the pbuffer, as it always has.
#pragma once
#include <string>
#include <vector>

#include "engine/projection.h"

struct PictureSize {
    int width = kSceneWidth, height = kSceneHeight; // the output image
    int msaa = 0;                  // samples per pixel, 0 = none
};

// On the current context: builds the target the scenes draw into when the size or sampling is
// not the classic one. False with the reason in error.
bool setUpPicture(const PictureSize& size, std::string& error);
void tearDownPicture();

// The 4:3 picture's size within the output (the output itself for 4:3 sizes).
int pictureWidth();
int pictureHeight();
int pictureSamples();

// Reads the finished frame into out (width x height x 3 bytes, RGB, top row first), the
// picture centred between black bars.
void readPicture(std::vector<unsigned char>& out);
