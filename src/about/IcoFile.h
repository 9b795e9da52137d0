#pragma once
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <optional>

namespace kr {

// Encodes images as an ICO container (ICONDIR, one ICONDIRENTRY per image, then
// the image data). Images up to 255 pixels are stored as 32-bit BMP DIBs with
// their AND mask, which every ICO reader understands; a 256-pixel image is
// stored as PNG, the usual form for that size. Returns std::nullopt for an
// empty list or an image that is null or larger than 256 pixels.
std::optional<QByteArray> encodeIco(const QList<QImage>& images);

// Writes encodeIco(images) to path, atomically. On failure returns false and
// puts the reason into *error when given.
bool writeIcoFile(const QString& path, const QList<QImage>& images, QString* error = nullptr);

} // namespace kr
