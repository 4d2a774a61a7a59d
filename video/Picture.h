#pragma once
// Pictures between the camera, the encoder, the decoder and the surfaces: planar I420 as the
// codecs take it, scaling between the two sizes, conversion to the surfaces' 32-bit pixels
// and BMP snapshots. Scaling and conversion go through libswscale.

#include "video/VideoSurface.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

struct SwsContext;

// Planar Y, U, V at 4:2:0 in one buffer, each plane tightly packed.
struct tagI420Picture {
    int width = 0;
    int height = 0;
    QByteArray bytes;

    static int ByteSize(int width, int height) {
        return width * height + 2 * ((width + 1) / 2) * ((height + 1) / 2);
    }
    // A picture of that size, every byte zero.
    static tagI420Picture Make(int width, int height);
    bool IsEmpty() const { return width <= 0 || height <= 0; }
    // The planes and their strides.
    uint8_t* Plane(int i);
    const uint8_t* Plane(int i) const;
    int Stride(int i) const { return i == 0 ? width : (width + 1) / 2; }
};

// Keeps a scaling context for the sizes it was last asked for.
class CPictureScaler {
public:
    CPictureScaler() = default;
    ~CPictureScaler();
    CPictureScaler(const CPictureScaler&) = delete;
    CPictureScaler& operator=(const CPictureScaler&) = delete;

    // Scales an I420 picture into another size; false when the sizes are not usable.
    bool Scale(const tagI420Picture& from, tagI420Picture& to);
    // Converts planes of any I420 layout to 32-bit pixels of the same size.
    bool ToBgra(const uint8_t* const planes[3], const int strides[3], int width, int height,
                tagVideoPicture& to);
    bool ToBgra(const tagI420Picture& from, tagVideoPicture& to);

private:
    SwsContext* m_scale = nullptr;
    SwsContext* m_convert = nullptr;
};

// Writes a 24-bit BMP file (the picture drawn bottom row first, as BMP keeps it). 0, or -1
// when the picture is empty or the file cannot be written.
int WriteBmpFile(const QString& path, const tagVideoPicture& picture);
// Reads back a BMP file of 24 or 32 bits; false when it is not one.
bool ReadBmpFile(const QString& path, tagVideoPicture& picture);
