#pragma once
// What the video tests and benchmarks share: the test-pattern camera, the reference pictures
// of that pattern made by GStreamer alone, and the PSNR between two pictures.

#include "tests/support/TestSupport.h"
#include "video/H264Encoder.h"
#include "video/Picture.h"
#include "video/VideoSurface.h"

#include <QString>

#include <vector>

namespace tavotest {

// The camera of the tests: a live moving ball at 15 frames per second, so that frame n of a
// sender running at 15 frames per second shows the pattern's picture n - 1.
inline constexpr int kPatternFps = 15;
QString PatternSource(int fps = kPatternFps);

// The pattern's first count pictures, taken at 352 x 288 and scaled to width x height by
// GStreamer, as 32-bit pixels.
std::vector<tagVideoPicture> PatternPictures(int count, int width, int height);
// The same pictures in I420, as the encoder takes them.
std::vector<tagI420Picture> PatternI420(int count, int width, int height);
// The pattern's first count pictures at 176 x 144, encoded as the sender encodes them; the
// frames at the indexes in keys are key frames.
std::vector<tagEncodedFrame> EncodePattern(int count, const std::vector<int>& keys);

// PSNR in dB over the R, G and B of two pictures of one size; 0 when the sizes differ, 99
// for identical pictures.
double Psnr(const tagVideoPicture& a, const tagVideoPicture& b);

// A surface that keeps every picture drawn on it.
class CKeptSurface : public IVideoSurface {
public:
    void DrawPicture(const tagVideoPicture& picture) override { pictures.push_back(picture); }
    void ShowVideo(bool show) override { shown = show; }
    std::vector<tagVideoPicture> pictures;
    bool shown = false;
};

}  // namespace tavotest
