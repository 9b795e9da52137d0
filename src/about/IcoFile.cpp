#include "about/IcoFile.h"

#include <QBuffer>
#include <QSaveFile>
#include <QtEndian>

namespace kr {
namespace {

constexpr int kDirSize = 6;
constexpr int kEntrySize = 16;
constexpr int kBmpHeaderSize = 40;
constexpr int kMaxSide = 256;
constexpr int kDotsPerMeter96Dpi = 3780;

void putU8(QByteArray& out, int v)
{
    out.append(static_cast<char>(v & 0xFF));
}

void putU16(QByteArray& out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void putU32(QByteArray& out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

// A 32-bit DIB as ICO wants it: BITMAPINFOHEADER with the height doubled (the
// colour rows and the mask rows count together), the colour rows bottom-up in
// BGRA without premultiplication, then the 1-bit AND mask (1 = transparent),
// its rows padded to 32 bits. Readers that ignore alpha use the mask.
QByteArray encodeDib(const QImage& source)
{
    const QImage img = source.convertToFormat(QImage::Format_ARGB32);
    const int w = img.width();
    const int h = img.height();
    const int maskStride = ((w + 31) / 32) * 4;
    const quint32 colourBytes = static_cast<quint32>(w) * static_cast<quint32>(h) * 4;
    const quint32 maskBytes = static_cast<quint32>(maskStride) * static_cast<quint32>(h);

    QByteArray out;
    out.reserve(kBmpHeaderSize + static_cast<int>(colourBytes + maskBytes));
    putU32(out, kBmpHeaderSize);
    putU32(out, static_cast<quint32>(w));
    putU32(out, static_cast<quint32>(2 * h));
    putU16(out, 1);  // planes
    putU16(out, 32); // bits per pixel
    putU32(out, 0);  // BI_RGB
    putU32(out, colourBytes + maskBytes);
    putU32(out, 0); // pixels per metre, x and y
    putU32(out, 0);
    putU32(out, 0); // colours used, important
    putU32(out, 0);

    for (int y = h - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            putU8(out, qBlue(line[x]));
            putU8(out, qGreen(line[x]));
            putU8(out, qRed(line[x]));
            putU8(out, qAlpha(line[x]));
        }
    }
    for (int y = h - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        QByteArray row(maskStride, '\0');
        for (int x = 0; x < w; ++x) {
            if (qAlpha(line[x]) == 0)
                row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
        }
        out.append(row);
    }
    return out;
}

std::optional<QByteArray> encodePng(const QImage& img)
{
    QImage png = img.convertToFormat(QImage::Format_ARGB32);
    // The resolution would otherwise follow the screen (or its absence), and
    // the same artwork would give different files.
    png.setDotsPerMeterX(kDotsPerMeter96Dpi);
    png.setDotsPerMeterY(kDotsPerMeter96Dpi);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!png.save(&buffer, "PNG"))
        return std::nullopt;
    return data;
}

} // namespace

std::optional<QByteArray> encodeIco(const QList<QImage>& images)
{
    if (images.isEmpty() || images.size() > 0xFFFF)
        return std::nullopt;

    QList<QByteArray> blobs;
    for (const QImage& img : images) {
        if (img.isNull() || img.width() > kMaxSide || img.height() > kMaxSide)
            return std::nullopt;
        if (img.width() == kMaxSide || img.height() == kMaxSide) {
            auto png = encodePng(img);
            if (!png)
                return std::nullopt;
            blobs.append(*png);
        } else {
            blobs.append(encodeDib(img));
        }
    }

    QByteArray out;
    putU16(out, 0); // reserved
    putU16(out, 1); // 1 = icon
    putU16(out, static_cast<quint16>(images.size()));

    quint32 offset = kDirSize + kEntrySize * static_cast<quint32>(images.size());
    for (int i = 0; i < images.size(); ++i) {
        const QImage& img = images.at(i);
        // A side of 256 is written as 0: the field is one byte.
        putU8(out, img.width() == kMaxSide ? 0 : img.width());
        putU8(out, img.height() == kMaxSide ? 0 : img.height());
        putU8(out, 0); // no palette
        putU8(out, 0); // reserved
        putU16(out, 1);
        putU16(out, 32);
        putU32(out, static_cast<quint32>(blobs.at(i).size()));
        putU32(out, offset);
        offset += static_cast<quint32>(blobs.at(i).size());
    }
    for (const QByteArray& blob : blobs)
        out.append(blob);
    return out;
}

bool writeIcoFile(const QString& path, const QList<QImage>& images, QString* error)
{
    const auto data = encodeIco(images);
    if (!data) {
        if (error)
            *error = QStringLiteral("no image, or an image larger than 256 pixels");
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*data) != data->size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace kr
