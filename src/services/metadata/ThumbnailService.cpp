#include "ThumbnailService.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

#include <cmath>

namespace {

// Orientation-aware size of what the reader will produce.
QSize orientedSize(const QImageReader& reader, const QSize& raw)
{
    const QImageIOHandler::Transformations t = reader.transformation();
    return (t & QImageIOHandler::TransformationRotate90) ? raw.transposed() : raw;
}

} // namespace

QSize ThumbnailService::thumbnailSize(const QSize& size)
{
    const int longer = std::max(size.width(), size.height());
    if (longer <= kThumbnailSide)
        return size;
    // Both sides scale by the same factor; fractions round to the nearest
    // pixel and a side never drops below one pixel.
    const double scale = double(kThumbnailSide) / double(longer);
    return QSize(std::max(1, int(std::lround(size.width() * scale))),
                 std::max(1, int(std::lround(size.height() * scale))));
}

bool ThumbnailService::isImage(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    if (!reader.canRead())
        return false;
    const QSize size = reader.size();
    // Formats that cannot tell their size without decoding are checked by
    // decoding them.
    if (!size.isValid())
        return !decode(bytes).isNull();
    // A picture too large to ever decode is not one we keep.
    return !size.isEmpty() && qint64(size.width()) * size.height() <= kMaxPixels;
}

QImage ThumbnailService::decode(const QByteArray& bytes, const QSize& scaledTo)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(kAllocationLimitMB);
    reader.setAutoTransform(true);
    const QSize raw = reader.size();
    if (raw.isValid()) {
        if (raw.isEmpty() || qint64(raw.width()) * raw.height() > kMaxPixels)
            return {};
        if (scaledTo.isValid() && scaledTo != orientedSize(reader, raw)) {
            // The reader scales before it applies the orientation.
            const bool rotated = reader.transformation() & QImageIOHandler::TransformationRotate90;
            reader.setScaledSize(rotated ? scaledTo.transposed() : scaledTo);
        }
    }
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (scaledTo.isValid() && image.size() != scaledTo)
        image = image.scaled(scaledTo, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

std::optional<QByteArray> ThumbnailService::encodeJPEG(const QImage& image, double quality)
{
    if (image.isNull())
        return std::nullopt;
    QImage opaque = image;
    if (image.hasAlphaChannel()) {
        // JPEG has no transparency; paint over white rather than black.
        opaque = QImage(image.size(), QImage::Format_RGB32);
        opaque.setDevicePixelRatio(image.devicePixelRatio());
        opaque.fill(Qt::white);
        QPainter painter(&opaque);
        painter.drawImage(0, 0, image);
    }
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(std::clamp(int(std::lround(quality * 100.0)), 0, 100));
    writer.setOptimizedWrite(true);
    if (!writer.write(opaque))
        return std::nullopt;
    return out;
}

std::optional<QByteArray> ThumbnailService::generateThumbnail(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader probe(&buffer);
    probe.setAutoTransform(true);
    QSize target;
    if (const QSize raw = probe.size(); raw.isValid())
        target = thumbnailSize(orientedSize(probe, raw));
    QImage image = decode(bytes, target);
    if (image.isNull())
        return std::nullopt;
    // A format that could not tell its size up front is scaled now.
    if (!target.isValid() && std::max(image.width(), image.height()) > kThumbnailSide)
        image = image.scaled(thumbnailSize(image.size()), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return encodeJPEG(image, kThumbnailQuality);
}

std::optional<QByteArray> ThumbnailService::compressImage(const QByteArray& bytes)
{
    if (!isImage(bytes))
        return std::nullopt;
    if (bytes.size() <= kMaxImageBytes)
        return bytes;
    const QImage image = decode(bytes);
    if (image.isNull())
        return std::nullopt;
    double quality = 0.85;
    std::optional<QByteArray> result = encodeJPEG(image, quality);
    if (!result)
        return std::nullopt;
    while (result->size() > kMaxImageBytes && quality > 0.1) {
        quality -= 0.1;
        result = encodeJPEG(image, quality);
        if (!result)
            return std::nullopt;
    }
    return result;
}
