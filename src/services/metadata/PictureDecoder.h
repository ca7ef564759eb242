#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

// The one place that turns picture bytes into pixels. Every decode has a
// memory budget: what the decoder would allocate is worked out from the
// header (the size, the pixel format, whether the format can shrink while
// decoding) and a picture that would exceed it is refused before a pixel
// is allocated. Pure functions, safe on any thread.
namespace PictureDecoder {

// At most this many bytes of pixels per decode, counting what the decoder
// allocates before any scaling (a JPEG shrinks while it decodes, other
// formats decode at full size). 96 MiB is a 24-megapixel picture at full
// size, or any JPEG shrunk to a thumbnail or a screen; with one scaled copy
// and the input, a decode stays well under 256 MB.
inline constexpr qint64 kBudgetBytes = 96 * 1024 * 1024;

enum class Fit {
    exact,    // exactly the target size (aspect as the caller chose)
    inside,   // within the target, aspect kept, never enlarged
    covering, // covering the target, aspect kept, then cropped to it
};

// What the header says, without decoding.
struct Header {
    QSize size;           // oriented as the file says; invalid when unknown
    qint64 fullCost = -1; // bytes of pixels at full size; -1 when unknown
    bool shrinksOnLoad = false;
};
Header readHeader(const QByteArray& bytes);

// Decoded and scaled to `target` as `fit` says, or at full size without a
// target; oriented as the file says. Null when the bytes are not a picture,
// are cut short, or would exceed the budget.
QImage decode(const QByteArray& bytes, const QSize& target = {}, Fit fit = Fit::exact);

// The largest size within `box` (aspect kept, never enlarged) whose decode
// fits the budget, for a picture of this header; invalid when none does.
QSize largestWithinBudget(const Header& header, const QSize& box);

} // namespace PictureDecoder
