#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QString>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "model/effects/image_tools.h"
#include "model/platform/picture.h"

// Generated pictures and small file helpers for the reading and encoding tests.
namespace vividra::test {

// Smooth gradients with a little fixed-seed noise: photo-like enough to show
// banding and codec error, and the same on every run.
inline QImage photoLike(int width, int height, quint32 seed = 7) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    QRandomGenerator noise(seed);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / std::max(1, width - 1);
            const double v = double(y) / std::max(1, height - 1);
            const int n = static_cast<int>(noise.bounded(7)) - 3;
            const int r = std::clamp(static_cast<int>(40 + 180 * u) + n, 0, 255);
            const int g = std::clamp(static_cast<int>(90 + 120 * v) + n, 0, 255);
            const int b = std::clamp(static_cast<int>(200 - 120 * u * v) + n, 0, 255);
            row[x] = qRgb(r, g, b);
        }
    }
    return image;
}

// Four alpha bands (0, 64, 160, 255) over photo-like colours.
inline QImage withAlphaBands(int width, int height) {
    QImage straight = photoLike(width, height).convertToFormat(QImage::Format_ARGB32);
    const int alphas[4] = {0, 64, 160, 255};
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(straight.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = qRgba(qRed(row[x]), qGreen(row[x]), qBlue(row[x]), alphas[x * 4 / width]);
    }
    return straight.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

struct Difference {
    double mean = 0; // average over all channels
    int max = 0;
};

// Compares straight colours of visible pixels and every alpha value.
inline Difference compare(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    Difference d;
    double total = 0;
    long samples = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            int channels[4] = {qAlpha(p) - qAlpha(q), qRed(p) - qRed(q), qGreen(p) - qGreen(q),
                               qBlue(p) - qBlue(q)};
            const int used = qAlpha(p) == 0 && qAlpha(q) == 0 ? 1 : 4;
            for (int c = 0; c < used; ++c) {
                d.max = std::max(d.max, std::abs(channels[c]));
                total += std::abs(channels[c]);
                ++samples;
            }
        }
    }
    d.mean = samples ? total / samples : 0;
    return d;
}

inline quint32 crc32(const QByteArray& data) {
    quint32 crc = 0xffffffffu;
    for (const char c : data) {
        crc ^= static_cast<quint8>(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline QByteArray pngChunk(const char* type, const QByteArray& data) {
    const QByteArray body = QByteArray(type, 4) + data;
    QByteArray length(4, '\0'), crc(4, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(data.size()), length.data());
    qToBigEndian<quint32>(crc32(body), crc.data());
    return length + body + crc;
}

// An 8-bit grey PNG whose header claims `width` × `height`; its rows, compressed here,
// are `rows` of `value` (all of them by default, none for a header alone).
inline QByteArray greyPng(quint32 width, quint32 height, char value = '\x80', qint64 rows = -1) {
    const qsizetype row = static_cast<qsizetype>(width) + 1;
    QByteArray raw(row * (rows < 0 ? height : rows), value);
    for (qsizetype at = 0; at < raw.size(); at += row)
        raw[at] = 0; // no filter
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(width, header.data());
    qToBigEndian<quint32>(height, header.data() + 4);
    header[8] = 8; // bits; colour type 0 is grey
    // qCompress puts the length before the zlib stream.
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) +
           pngChunk("IDAT", qCompress(raw, 1).mid(4)) + pngChunk("IEND", QByteArray());
}

// An 8-bit BMP of mid grey, rows padded to four bytes, bottom row first.
inline QByteArray greyBmp(qint32 width, qint32 height) {
    const qsizetype row = (static_cast<qsizetype>(width) + 3) / 4 * 4;
    const qsizetype offset = 54 + 256 * 4;
    QByteArray bmp(offset, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
    qToLittleEndian<quint32>(static_cast<quint32>(offset + row * height), bmp.data() + 2);
    qToLittleEndian<quint32>(static_cast<quint32>(offset), bmp.data() + 10);
    qToLittleEndian<quint32>(40, bmp.data() + 14);
    qToLittleEndian<qint32>(width, bmp.data() + 18);
    qToLittleEndian<qint32>(height, bmp.data() + 22);
    qToLittleEndian<quint16>(1, bmp.data() + 26);
    qToLittleEndian<quint16>(8, bmp.data() + 28);
    qToLittleEndian<quint32>(256, bmp.data() + 46);
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c)
            bmp[54 + 4 * i + c] = static_cast<char>(i);
    return bmp.append(QByteArray(row * height, '\x80'));
}

// A JPEG written by Qt's own writer (not our encoder), baseline or progressive.
inline QByteArray qtJpeg(const QImage& image, int quality, bool progressive) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

// An Exif segment holding only the orientation, right after the start marker.
inline QByteArray withOrientation(const QByteArray& jpeg, quint16 orientation) {
    QByteArray tiff("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 18);
    QByteArray value(8, '\0');
    qToLittleEndian<quint16>(orientation, value.data());
    tiff.append(value);
    QByteArray segment("\xff\xe1\0\0Exif\0\0", 10);
    segment.append(tiff);
    qToBigEndian<quint16>(static_cast<quint16>(segment.size() - 2), segment.data() + 2);
    return jpeg.left(2) + segment + jpeg.mid(2);
}

inline QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Makes the folders on the way.
inline bool writeAll(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Our own encoder's file of `picture` in format `code`; empty where it has none.
inline QByteArray encoded(const Picture& picture, int code, double factor = 1.0) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("encoded"));
    return ImageTools::writeImage(picture, path, code, factor) ? readAll(path) : QByteArray();
}

// The bare codestream inside a JP2 file's "jp2c" box.
inline QByteArray codestreamOf(const QByteArray& jp2) {
    const qsizetype box = jp2.indexOf("jp2c");
    return box < 0 ? QByteArray() : jp2.mid(box + 4);
}

} // namespace vividra::test
