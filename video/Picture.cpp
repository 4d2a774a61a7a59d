#include "video/Picture.h"

#include <QFile>
#include <QSaveFile>

#include <cstring>

extern "C" {
#include <libswscale/swscale.h>
}

namespace {

constexpr int kMaxSide = 4096;

// Bytes of a 32-bit picture; sizes are bounded by kMaxSide, the arithmetic is wide anyway.
qsizetype BgraBytes(int width, int height) {
    return qsizetype{width} * height * 4;
}

bool UsableSize(int width, int height) {
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide;
}

void Put16(QByteArray& out, uint16_t v) {
    out.append(static_cast<char>(v & 0xff));
    out.append(static_cast<char>(v >> 8));
}
void Put32(QByteArray& out, uint32_t v) {
    Put16(out, static_cast<uint16_t>(v & 0xffff));
    Put16(out, static_cast<uint16_t>(v >> 16));
}
uint32_t Get32(const char* p) {
    const auto* u = reinterpret_cast<const uint8_t*>(p);
    return u[0] | (u[1] << 8) | (u[2] << 16) | (static_cast<uint32_t>(u[3]) << 24);
}
uint16_t Get16(const char* p) {
    const auto* u = reinterpret_cast<const uint8_t*>(p);
    return static_cast<uint16_t>(u[0] | (u[1] << 8));
}

}  // namespace

tagI420Picture tagI420Picture::Make(int width, int height) {
    tagI420Picture p;
    if (UsableSize(width, height)) {
        p.width = width;
        p.height = height;
        p.bytes = QByteArray(ByteSize(width, height), '\0');
    }
    return p;
}

uint8_t* tagI420Picture::Plane(int i) {
    return const_cast<uint8_t*>(static_cast<const tagI420Picture*>(this)->Plane(i));
}

const uint8_t* tagI420Picture::Plane(int i) const {
    const auto* base = reinterpret_cast<const uint8_t*>(bytes.constData());
    const int luma = width * height;
    const int chroma = Stride(1) * ((height + 1) / 2);
    return i == 0 ? base : i == 1 ? base + luma : base + luma + chroma;
}

CPictureScaler::~CPictureScaler() {
    sws_freeContext(m_scale);
    sws_freeContext(m_convert);
}

bool CPictureScaler::Scale(const tagI420Picture& from, tagI420Picture& to) {
    if (!UsableSize(from.width, from.height) || !UsableSize(to.width, to.height) ||
        from.bytes.size() < tagI420Picture::ByteSize(from.width, from.height) ||
        to.bytes.size() < tagI420Picture::ByteSize(to.width, to.height)) {
        return false;
    }
    m_scale =
        sws_getCachedContext(m_scale, from.width, from.height, AV_PIX_FMT_YUV420P, to.width,
                             to.height, AV_PIX_FMT_YUV420P, SWS_AREA, nullptr, nullptr, nullptr);
    if (!m_scale) {
        return false;
    }
    const uint8_t* src[3] = {from.Plane(0), from.Plane(1), from.Plane(2)};
    const int srcStride[3] = {from.Stride(0), from.Stride(1), from.Stride(2)};
    to.bytes.detach();
    uint8_t* dst[3] = {to.Plane(0), to.Plane(1), to.Plane(2)};
    const int dstStride[3] = {to.Stride(0), to.Stride(1), to.Stride(2)};
    return sws_scale(m_scale, src, srcStride, 0, from.height, dst, dstStride) == to.height;
}

bool CPictureScaler::ToBgra(const uint8_t* const planes[3], const int strides[3], int width,
                            int height, tagVideoPicture& to) {
    if (!UsableSize(width, height)) {
        return false;
    }
    m_convert = sws_getCachedContext(m_convert, width, height, AV_PIX_FMT_YUV420P, width, height,
                                     AV_PIX_FMT_BGRA, SWS_POINT, nullptr, nullptr, nullptr);
    if (!m_convert) {
        return false;
    }
    to.width = width;
    to.height = height;
    to.bgra.resize(BgraBytes(width, height));
    uint8_t* dst[1] = {reinterpret_cast<uint8_t*>(to.bgra.data())};
    const int dstStride[1] = {width * 4};
    return sws_scale(m_convert, planes, strides, 0, height, dst, dstStride) == height;
}

bool CPictureScaler::ToBgra(const tagI420Picture& from, tagVideoPicture& to) {
    if (from.bytes.size() < tagI420Picture::ByteSize(from.width, from.height)) {
        return false;
    }
    const uint8_t* planes[3] = {from.Plane(0), from.Plane(1), from.Plane(2)};
    const int strides[3] = {from.Stride(0), from.Stride(1), from.Stride(2)};
    return ToBgra(planes, strides, from.width, from.height, to);
}

int WriteBmpFile(const QString& path, const tagVideoPicture& picture) {
    if (!picture.IsWhole()) {
        return -1;
    }
    const int rowBytes = (picture.width * 3 + 3) & ~3;
    const uint32_t imageBytes = static_cast<uint32_t>(rowBytes) * picture.height;
    QByteArray out;
    out.reserve(54 + static_cast<int>(imageBytes));
    // BITMAPFILEHEADER
    out.append("BM", 2);
    Put32(out, 54 + imageBytes);
    Put32(out, 0);
    Put32(out, 54);
    // BITMAPINFOHEADER
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(picture.width));
    Put32(out, static_cast<uint32_t>(picture.height));
    Put16(out, 1);
    Put16(out, 24);
    Put32(out, 0);  // BI_RGB
    Put32(out, imageBytes);
    Put32(out, 2835);  // 72 dpi
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    QByteArray row(rowBytes, '\0');
    for (int y = picture.height - 1; y >= 0; --y) {
        const char* src = picture.bgra.constData() + BgraBytes(picture.width, y);
        for (int x = 0; x < picture.width; ++x) {
            const qsizetype at = qsizetype{x} * 3;
            const qsizetype from = qsizetype{x} * 4;
            row[at] = src[from];
            row[at + 1] = src[from + 1];
            row[at + 2] = src[from + 2];
        }
        out.append(row);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size() || !file.commit()) {
        return -1;
    }
    return 0;
}

bool ReadBmpFile(const QString& path, tagVideoPicture& picture) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray in = file.readAll();
    if (in.size() < 54 || !in.startsWith("BM")) {
        return false;
    }
    const char* d = in.constData();
    const uint32_t offset = Get32(d + 10);
    const auto width = static_cast<int32_t>(Get32(d + 18));
    const auto rawHeight = static_cast<int32_t>(Get32(d + 22));
    const int bits = Get16(d + 28);
    const bool bottomUp = rawHeight > 0;
    const int height = bottomUp ? rawHeight : -rawHeight;
    if ((bits != 24 && bits != 32) || Get32(d + 30) != 0 || !UsableSize(width, height)) {
        return false;
    }
    const int bytesPerPixel = bits / 8;
    const int rowBytes = (width * bytesPerPixel + 3) & ~3;
    if (offset > static_cast<uint32_t>(in.size()) ||
        static_cast<int64_t>(in.size()) - offset < static_cast<int64_t>(rowBytes) * height) {
        return false;
    }
    picture.width = width;
    picture.height = height;
    picture.bgra.resize(BgraBytes(width, height));
    for (int y = 0; y < height; ++y) {
        const char* src =
            d + offset + static_cast<int64_t>(bottomUp ? height - 1 - y : y) * rowBytes;
        char* dst = picture.bgra.data() + BgraBytes(width, y);
        for (qsizetype x = 0; x < width; ++x) {
            std::memcpy(dst + 4 * x, src + bytesPerPixel * x, 3);
            dst[4 * x + 3] = static_cast<char>(0xff);
        }
    }
    return true;
}
