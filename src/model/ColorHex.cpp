#include "ColorHex.h"

#include <limits>

namespace {
int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// 16-bit channel to 0-255 by truncating channel/65535*255, computed exactly.
int truncatedByte(quint16 channel)
{
    return int((quint32(channel) * 255u) / 65535u);
}
} // namespace

std::optional<QString> ColorHex::toHex(const QColor& color)
{
    if (!color.isValid())
        return std::nullopt;
    const QRgba64 rgb = color.toRgb().rgba64();
    return QString::asprintf("#%02X%02X%02X", truncatedByte(rgb.red()), truncatedByte(rgb.green()),
                             truncatedByte(rgb.blue()));
}

std::optional<quint64> ColorHex::scanHexLongLong(QStringView text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i].isSpace())
        ++i;
    int digit = -1;
    if (i < n && text[i] == u'0') {
        ++i;
        if (i < n && (text[i] == u'x' || text[i] == u'X')) {
            ++i;
            digit = i < n ? hexValue(text[i]) : -1;
        } else {
            digit = i < n ? hexValue(text[i]) : -1;
            if (digit < 0)
                return 0; // a lone "0" is a number
        }
    } else {
        digit = i < n ? hexValue(text[i]) : -1;
    }
    if (digit < 0)
        return std::nullopt;

    quint64 value = 0;
    bool overflow = false;
    constexpr quint64 kMax = std::numeric_limits<quint64>::max();
    while (i < n && (digit = hexValue(text[i])) >= 0) {
        if (!overflow) {
            if (value > (kMax >> 4))
                overflow = true;
            else
                value = (value << 4) | quint64(digit);
        }
        ++i;
    }
    return overflow ? kMax : value;
}

QColor ColorHex::fromHex(const QString& text)
{
    QString cleaned = text.trimmed();
    cleaned.remove(u'#');
    const std::optional<quint64> number = scanHexLongLong(cleaned);
    if (!number)
        return QColor::fromRgba(kSystemBlue);
    const auto r = int((*number >> 16) & 0xFF);
    const auto g = int((*number >> 8) & 0xFF);
    const auto b = int(*number & 0xFF);
    return QColor(r, g, b);
}
