#include "PictureDecoder.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <cmath>

namespace PictureDecoder {

namespace {

constexpr int kBytesPerPixel = 4;

struct Probe {
    Header header;
    QSize raw;            // as stored, before the orientation is applied
    bool rotated = false; // the orientation swaps width and height
    bool dctScaling = false;
    int bytesPerPixel = kBytesPerPixel;
};

Probe probe(QImageReader& reader)
{
    Probe p;
    const QSize raw = reader.size();
    if (!raw.isValid() || raw.isEmpty())
        return p;
    p.raw = raw;
    p.rotated = reader.transformation() & QImageIOHandler::TransformationRotate90;
    // Deep formats (16 bits a channel) decode to 8 bytes a pixel.
    if (const QImage::Format format = reader.imageFormat(); format != QImage::Format_Invalid)
        p.bytesPerPixel = std::max(kBytesPerPixel, QImage::toPixelFormat(format).bitsPerPixel() / 8);
    p.header.size = p.rotated ? raw.transposed() : raw;
    p.header.fullCost = qint64(raw.width()) * raw.height() * p.bytesPerPixel;
    p.header.shrinksOnLoad = reader.supportsOption(QImageIOHandler::ScaledSize);
    p.dctScaling = reader.format() == "jpeg";
    return p;
}

// Bytes of pixels the decoder allocates to give `size` (oriented), the
// scaled result included.
qint64 cost(const Probe& p, const QSize& size)
{
    const qint64 result = qint64(size.width()) * size.height() * kBytesPerPixel;
    if (!p.header.shrinksOnLoad)
        return p.header.fullCost + (size == p.header.size ? 0 : result);
    if (!p.dctScaling)
        return result;
    // JPEG decodes at 1/1, 1/2, 1/4 or 1/8 of its size, the smallest that
    // still covers the request, and is scaled from there.
    const int ratio = std::min(p.header.size.width() / std::max(1, size.width()),
                               p.header.size.height() / std::max(1, size.height()));
    const int denominator = ratio >= 8 ? 8 : ratio >= 4 ? 4 : ratio >= 2 ? 2 : 1;
    const qint64 reduced = qint64((p.raw.width() + denominator - 1) / denominator)
                           * ((p.raw.height() + denominator - 1) / denominator) * kBytesPerPixel;
    return reduced + (denominator == 1 && size == p.header.size ? 0 : result);
}

QSize decodeSize(const QSize& full, const QSize& target, Fit fit)
{
    if (!target.isValid() || target.isEmpty())
        return full;
    switch (fit) {
    case Fit::exact: return target;
    case Fit::inside:
        if (full.width() <= target.width() && full.height() <= target.height())
            return full;
        return full.scaled(target, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    case Fit::covering: {
        const QSize covering = full.scaled(target, Qt::KeepAspectRatioByExpanding).expandedTo(QSize(1, 1));
        return covering.width() < full.width() ? covering : full;
    }
    }
    return full;
}

} // namespace

Header readHeader(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    if (!reader.canRead())
        return {};
    return probe(reader).header;
}

QSize largestWithinBudget(const Header& header, const QSize& box)
{
    if (!header.size.isValid())
        return {};
    Probe p;
    p.header = header;
    p.raw = header.size;
    p.dctScaling = header.shrinksOnLoad;
    QSize size = decodeSize(header.size, box.isValid() ? box : header.size, Fit::inside);
    // Shrink by a tenth at a time until the decode fits; formats that decode
    // at full size whatever is asked either fit at once or never.
    while (cost(p, size) > kBudgetBytes) {
        if (!header.shrinksOnLoad || size.width() <= 1 || size.height() <= 1)
            return {};
        size = QSize(std::max(1, size.width() * 9 / 10), std::max(1, size.height() * 9 / 10));
    }
    return size;
}

QImage decode(const QByteArray& bytes, const QSize& target, Fit fit)
{
    if (bytes.isEmpty())
        return {};
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    // Qt's own per-allocation check, in whole MiB, as a second line behind
    // the estimate below (and the only one for formats that cannot tell
    // their size up front).
    reader.setAllocationLimit(int(kBudgetBytes / (1024 * 1024)));
    const Probe p = probe(reader);
    QSize wanted = target;
    if (p.header.size.isValid()) {
        wanted = decodeSize(p.header.size, target, fit);
        if (cost(p, wanted) > kBudgetBytes)
            return {};
        // The reader scales before it applies the orientation.
        if (wanted != p.header.size)
            reader.setScaledSize(p.rotated ? wanted.transposed() : wanted);
    }
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (!p.header.size.isValid() && target.isValid() && !target.isEmpty())
        wanted = decodeSize(image.size(), target, fit);
    if (wanted.isValid() && image.size() != wanted)
        image = image.scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (fit == Fit::covering && target.isValid() && !target.isEmpty()) {
        const QRect crop((image.width() - target.width()) / 2, (image.height() - target.height()) / 2, target.width(),
                         target.height());
        if (crop.size() != image.size())
            image = image.copy(crop.intersected(image.rect()));
    }
    return image;
}

} // namespace PictureDecoder
