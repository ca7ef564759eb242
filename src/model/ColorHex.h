#pragma once

#include <QColor>
#include <QString>

#include <optional>

// Conversions between colours and their "#RRGGBB" text, shared by folders,
// tags and every view that draws their colours.
namespace ColorHex {

// The system blue, used wherever a colour text does not parse.
inline constexpr QRgb kSystemBlue = 0xFF007AFF;
inline const char kSystemBlueHex[] = "#007AFF";

// "#RRGGBB" in upper case; none for a colour that has no red, green and blue
// components (an invalid QColor).
std::optional<QString> toHex(const QColor& color);

// Trims, drops every '#', then reads a hexadecimal number the way a scanner
// of hexadecimal integers does (optional 0x, digits up to the first other
// character, saturating on overflow). Bits 16-23, 8-15 and 0-7 become red,
// green and blue. Blue when nothing is read.
QColor fromHex(const QString& text);

// Reads a number as above; none when no digit was read.
std::optional<quint64> scanHexLongLong(QStringView text);

} // namespace ColorHex
