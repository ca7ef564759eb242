#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Small files that declare huge pictures, and a way to see what they cost a
// real process.
namespace HostilePictures {

// A PNG whose header declares width × height over a few bytes of data.
QByteArray pngDeclaring(quint32 width, quint32 height);
// A GIF whose logical screen is width × height around one empty 16 × 16
// frame (decoders allocate the whole screen).
QByteArray gifScreen(quint16 width, quint16 height);
// A small GIF with this many frames.
QByteArray gifFrames(int frames);
// A real 16 × 16 JPEG whose frame header is patched to width × height.
QByteArray jpegDeclaring(quint16 width, quint16 height);
// A lossless WebP header declaring width × height (at most 16384 each).
QByteArray webpDeclaring(quint32 width, quint32 height);

struct Measured {
    int exitCode = -1;
    long peakKiB = 0;  // the child's peak resident memory
    QByteArray errors; // the end of what it wrote on standard error
};
// Runs a program to its end with extra environment entries, its standard
// output discarded, and reports its peak resident memory.
Measured runMeasured(const QString& program, const QStringList& args, const QStringList& env = {});

} // namespace HostilePictures
