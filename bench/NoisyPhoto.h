#pragma once

// A photo-like 1600 x 2400 JPEG for the benchmarks: smooth gradients and soft
// rings with per-pixel noise, so that decoding costs what a real photo costs.

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QRandomGenerator>

#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace NoisyPhoto {

constexpr int Width = 1600;
constexpr int Height = 2400;

inline QByteArray make(int seed)
{
    QRandomGenerator random(quint32(seed) * 7919u + 1u);
    QImage image(Width, Height, QImage::Format_RGB888);
    const int r0 = random.bounded(40, 200), g0 = random.bounded(40, 200), b0 = random.bounded(40, 200);
    const int cx = random.bounded(Width), cy = random.bounded(Height);
    for (int y = 0; y < Height; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < Width; ++x) {
            const int dx = (x - cx) / 16, dy = (y - cy) / 16;
            const int ring = ((dx * dx + dy * dy) / 64) % 48;
            const quint32 noise = random.generate();
            line[3 * x + 0] = uchar(qBound(0, r0 + x / 20 + ring + int(noise & 15) - 8, 255));
            line[3 * x + 1] = uchar(qBound(0, g0 + y / 30 - ring + int((noise >> 8) & 15) - 8, 255));
            line[3 * x + 2] = uchar(qBound(0, b0 + (x + y) / 40 + int((noise >> 16) & 15) - 8, 255));
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 85);
    return bytes;
}

// libjpeg-turbo alone, at numerator/8, one row at a time; returns a checksum.
inline int decode(const QByteArray& bytes, unsigned numerator)
{
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(
        &cinfo, reinterpret_cast<const unsigned char*>(bytes.constData()), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    cinfo.scale_num = numerator;
    cinfo.scale_denom = 8;
    jpeg_start_decompress(&cinfo);
    std::vector<unsigned char> row(std::size_t(cinfo.output_width) * 3);
    int sum = 0;
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW line = row.data();
        jpeg_read_scanlines(&cinfo, &line, 1);
        sum += row[0];
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return sum;
}

} // namespace NoisyPhoto
