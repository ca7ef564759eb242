#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <optional>

// The two image operations that decide what picture bytes an item stores: a
// small JPEG preview, and a full image bounded to 10 MiB. Both are pure
// functions of their input, safe to call from any thread.
class ThumbnailService {
public:
    static constexpr int kThumbnailSide = 400;
    static constexpr qint64 kMaxImageBytes = 10'485'760;
    static constexpr double kThumbnailQuality = 0.7;
    // Decoding refuses images with more pixels than this (a photograph of
    // 100 megapixels passes; a decompression bomb does not).
    static constexpr qint64 kMaxPixels = 250'000'000;
    // Qt's own per-image allocation limit, raised from its 256 MB default so
    // such photographs decode at full size when they must.
    static constexpr int kAllocationLimitMB = 1024;

    // JPEG bytes of the image with its longer side at most 400 pixels; none
    // when the bytes are not an image.
    static std::optional<QByteArray> generateThumbnail(const QByteArray& bytes);
    // The input itself when it is an image of at most 10 MiB; otherwise a
    // JPEG re-encoding at falling qualities until it fits (or the lowest
    // quality was tried). None when the bytes are not an image.
    static std::optional<QByteArray> compressImage(const QByteArray& bytes);
    // JPEG at a quality from 0 to 1; transparent areas become white.
    static std::optional<QByteArray> encodeJPEG(const QImage& image, double quality);

    // The size generateThumbnail gives an image of this size.
    static QSize thumbnailSize(const QSize& size);
    // Whether the bytes are an image this service can read (header check).
    static bool isImage(const QByteArray& bytes);
    // Decodes with the limits above, oriented as the file says; scaled while
    // decoding when a size is given (JPEG decodes at a reduced scale).
    static QImage decode(const QByteArray& bytes, const QSize& scaledTo = {});
};
