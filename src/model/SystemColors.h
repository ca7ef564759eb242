#pragma once

#include <QColor>

// The desktop's named system colours in their light appearance.
namespace SystemColors {
inline QColor blue()
{
    return QColor(0x00, 0x7A, 0xFF);
}
inline QColor indigo()
{
    return QColor(0x58, 0x56, 0xD6);
}
inline QColor purple()
{
    return QColor(0xAF, 0x52, 0xDE);
}
inline QColor pink()
{
    return QColor(0xFF, 0x2D, 0x55);
}
inline QColor red()
{
    return QColor(0xFF, 0x3B, 0x30);
}
inline QColor orange()
{
    return QColor(0xFF, 0x95, 0x00);
}
inline QColor yellow()
{
    return QColor(0xFF, 0xCC, 0x00);
}
inline QColor green()
{
    return QColor(0x34, 0xC7, 0x59);
}
inline QColor mint()
{
    return QColor(0x00, 0xC7, 0xBE);
}
inline QColor teal()
{
    return QColor(0x30, 0xB0, 0xC7);
}
inline QColor cyan()
{
    return QColor(0x32, 0xAD, 0xE6);
}
inline QColor gray()
{
    return QColor(0x8E, 0x8E, 0x93);
}
} // namespace SystemColors
