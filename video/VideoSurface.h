#pragma once
// Where the video component draws: the stand-in for the windows it was given. The desktop's
// picture controls implement it with widgets, the console client with files; the component
// calls it on the GUI thread only.

#include <QByteArray>

#include <cstdint>

// A rectangle as the component takes it: left, top, right, bottom.
struct tagVideoRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// One picture ready to draw: 32-bit pixels in memory order B, G, R, A (A is 255), rows top
// first, each row width * 4 bytes.
struct tagVideoPicture {
    int width = 0;
    int height = 0;
    QByteArray bgra;

    bool IsEmpty() const { return width <= 0 || height <= 0; }
    // Whether the bytes hold every pixel of the size.
    bool IsWhole() const { return !IsEmpty() && bgra.size() >= qsizetype{width} * height * 4; }
};

class IVideoSurface {
public:
    virtual ~IVideoSurface() = default;
    // A new picture; the surface scales it into its own rectangle.
    virtual void DrawPicture(const tagVideoPicture& picture) = 0;
    // The component shows or hides its video window.
    virtual void ShowVideo(bool show) {}
    // The video window's rectangle inside its parent, after the parent changed or moved.
    virtual void SetVideoRect(const tagVideoRect& rect) {}
};
