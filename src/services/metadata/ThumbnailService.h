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

    // JPEG bytes of the image with its longer side at most 400 pixels; none
    // when the bytes are not an image or exceed the decoding budget.
    static std::optional<QByteArray> generateThumbnail(const QByteArray& bytes);
    // The input itself when it is an image of at most 10 MiB; otherwise a
    // JPEG re-encoding at falling qualities until it fits (or the lowest
    // quality was tried), shrunk first when a full-size decode would exceed
    // the decoding budget. None when the bytes are not an image.
    static std::optional<QByteArray> compressImage(const QByteArray& bytes);
    // JPEG at a quality from 0 to 1; transparent areas become white.
    static std::optional<QByteArray> encodeJPEG(const QImage& image, double quality);

    // The size generateThumbnail gives an image of this size.
    static QSize thumbnailSize(const QSize& size);
    // Whether the bytes are a whole picture that decodes within the memory
    // budget of PictureDecoder (a cut-short file is not).
    static bool isImage(const QByteArray& bytes);
};
