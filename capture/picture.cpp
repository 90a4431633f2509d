// SPDX-License-Identifier: MIT
// capture/picture.cpp — frames at any output size. Larger or multisampled pictures are drawn
// into the render layer's frame target (the scenes' viewport and line widths scaled onto it,
// anisotropic filtering on, as the program's native mode has them); the classic capture keeps
// drawing straight into the 640 x 480 pbuffer, so its frames stay what they always were.
#include "capture/picture.h"

#include <cstring>

#include "engine/gl.h"
#include "engine/present.h"
#include "engine/projection.h"

namespace {

PictureSize output;
PresentRect picture{0, 0, kSceneWidth, kSceneHeight};
std::vector<unsigned char> readBack;

bool classic() { return output.width == kSceneWidth && output.height == kSceneHeight && output.msaa == 0; }

} // namespace

bool setUpPicture(const PictureSize& size, std::string& error)
{
    output = size;
    picture = fitTarget(kSceneWidth, kSceneHeight, size.width, size.height);
    readBack.assign(static_cast<size_t>(picture.width) * picture.height * 3, 0);
    if (classic())
        return true;
    GLint most = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &most);
    if (most > 0 && (picture.width > most || picture.height > most)) {
        error = "a " + std::to_string(picture.width) + "x" + std::to_string(picture.height) +
                " picture is larger than this GL's largest target (" + std::to_string(most) + ")";
        return false;
    }
    useAnisotropicFiltering();
    if (!createFrameTarget(picture.width, picture.height, size.msaa)) {
        error = "no framebuffer objects for a " + std::to_string(picture.width) + "x" +
                std::to_string(picture.height) + " picture";
        return false;
    }
    return true;
}

void tearDownPicture()
{
    if (frameTargetActive())
        destroyFrameTarget();
}

int pictureWidth() { return picture.width; }
int pictureHeight() { return picture.height; }
int pictureSamples() { return frameTargetActive() ? frameTargetSamples() : 0; }

void readPicture(std::vector<unsigned char>& out)
{
    if (frameTargetActive()) {
        readFrameTarget(readBack.data());
    } else {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, picture.width, picture.height, GL_RGB, GL_UNSIGNED_BYTE, readBack.data());
    }
    // GL rows run bottom up; the output's top row comes first. The bars stay as they were made:
    // black, since out is only ever written inside the picture.
    const size_t outStride = static_cast<size_t>(output.width) * 3, rowBytes = static_cast<size_t>(picture.width) * 3;
    out.resize(outStride * output.height);
    const int top = output.height - picture.y - picture.height; // picture.y counts from the bottom
    for (int y = 0; y < picture.height; ++y)
        std::memcpy(out.data() + (top + y) * outStride + static_cast<size_t>(picture.x) * 3,
                    readBack.data() + (picture.height - 1 - y) * rowBytes, rowBytes);
}
