#include "ThumbnailService.h"

#include "PictureDecoder.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>

#include <cmath>

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
    const PictureDecoder::Header header = PictureDecoder::readHeader(bytes);
    if (!header.size.isValid())
        return !PictureDecoder::decode(bytes).isNull();
    // A small decode reads the whole file, so a file cut short is caught;
    // JPEG shrinks while decoding and costs little.
    const QSize probe = header.shrinksOnLoad ? header.size.scaled(QSize(64, 64), Qt::KeepAspectRatio) : header.size;
    return !PictureDecoder::decode(bytes, probe.expandedTo(QSize(1, 1))).isNull();
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
    const PictureDecoder::Header header = PictureDecoder::readHeader(bytes);
    QImage image = header.size.isValid() ? PictureDecoder::decode(bytes, thumbnailSize(header.size))
                                         : PictureDecoder::decode(bytes);
    if (image.isNull())
        return std::nullopt;
    // A format that could not tell its size up front is scaled now.
    if (!header.size.isValid() && std::max(image.width(), image.height()) > kThumbnailSide)
        image = image.scaled(thumbnailSize(image.size()), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return encodeJPEG(image, kThumbnailQuality);
}

std::optional<QByteArray> ThumbnailService::compressImage(const QByteArray& bytes)
{
    if (!isImage(bytes))
        return std::nullopt;
    if (bytes.size() <= kMaxImageBytes)
        return bytes;
    const PictureDecoder::Header header = PictureDecoder::readHeader(bytes);
    const QSize size = PictureDecoder::largestWithinBudget(header, header.size);
    const QImage image = PictureDecoder::decode(bytes, size, PictureDecoder::Fit::inside);
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
