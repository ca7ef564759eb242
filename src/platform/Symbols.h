#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QString>

// Symbol names are stored data (folder icons) and keep their values; this
// maps each one to a glyph of the Material Icons font and draws it tinted.
namespace Symbols {

// The glyph for a symbol name; a neutral glyph for a name we do not know.
char32_t codepoint(const QString& name);
bool isKnown(const QString& name);
// The symbol font at a pixel size; loads it on first use.
QFont font(int pixelSize);
bool fontAvailable();
// A tinted icon; an invalid tint draws in the palette's text colour.
QIcon icon(const QString& name, const QColor& tint = {});
QString glyphText(const QString& name);

} // namespace Symbols
