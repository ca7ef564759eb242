#include "JsonText.h"

#include <algorithm>
#include <array>

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Each byte's value as a Base64 letter; kNotALetter for anything else ('=' too).
constexpr unsigned char kNotALetter = 0x80;
constexpr auto kBase64Values = [] {
    std::array<unsigned char, 256> values{};
    values.fill(kNotALetter);
    for (unsigned char v = 0; v < 64; ++v)
        values[static_cast<unsigned char>(kBase64Alphabet[v])] = v;
    return values;
}();

// Makes room for `extra` bytes at the end; returns where they start.
char* grow(QByteArray& out, qsizetype extra)
{
    const qsizetype used = out.size();
    if (out.capacity() < used + extra)
        out.reserve(std::max(used + extra, out.capacity() * 2));
    out.resize(used + extra);
    return out.data() + used;
}

} // namespace

void JsonText::appendEscaped(QByteArray& out, QStringView text)
{
    // At most six bytes per UTF-16 unit (\uxxxx); trimmed afterwards.
    const qsizetype start = out.size();
    char* const begin = grow(out, text.size() * 6);
    char* p = begin;
    const char16_t* src = text.utf16();
    const char16_t* const end = src + text.size();
    while (src != end) {
        const char16_t u = *src++;
        if (u < 0x80) {
            if (u >= 0x20 && u != u'"' && u != u'\\') {
                *p++ = char(u);
                continue;
            }
            *p++ = '\\';
            switch (u) {
            case u'"': *p++ = '"'; break;
            case u'\\': *p++ = '\\'; break;
            case 0x08: *p++ = 'b'; break;
            case 0x0c: *p++ = 'f'; break;
            case 0x0a: *p++ = 'n'; break;
            case 0x0d: *p++ = 'r'; break;
            case 0x09: *p++ = 't'; break;
            default:
                *p++ = 'u';
                *p++ = '0';
                *p++ = '0';
                *p++ = kHexDigits[u >> 4];
                *p++ = kHexDigits[u & 0xf];
            }
        } else if (u < 0x800) {
            *p++ = char(0xc0 | (u >> 6));
            *p++ = char(0x80 | (u & 0x3f));
        } else if (u < 0xd800 || u > 0xdfff) {
            *p++ = char(0xe0 | (u >> 12));
            *p++ = char(0x80 | ((u >> 6) & 0x3f));
            *p++ = char(0x80 | (u & 0x3f));
        } else if (u < 0xdc00 && src != end && *src >= 0xdc00 && *src <= 0xdfff) {
            const char32_t c = 0x10000 + ((char32_t(u) - 0xd800) << 10) + (char32_t(*src++) - 0xdc00);
            *p++ = char(0xf0 | (c >> 18));
            *p++ = char(0x80 | ((c >> 12) & 0x3f));
            *p++ = char(0x80 | ((c >> 6) & 0x3f));
            *p++ = char(0x80 | (c & 0x3f));
        } else {
            // An unpaired surrogate has no UTF-8 form.
            *p++ = '\\';
            *p++ = 'u';
            *p++ = kHexDigits[(u >> 12) & 0xf];
            *p++ = kHexDigits[(u >> 8) & 0xf];
            *p++ = kHexDigits[(u >> 4) & 0xf];
            *p++ = kHexDigits[u & 0xf];
        }
    }
    out.resize(start + (p - begin));
}

void JsonText::appendBase64(QByteArray& out, QByteArrayView bytes, bool escapeSlashes)
{
    const auto* src = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    const qsizetype groups = (n + 2) / 3;
    const qsizetype start = out.size();
    char* const begin = grow(out, groups * (escapeSlashes ? 8 : 4));
    char* p = begin;
    auto put = [&](unsigned value) {
        const char c = kBase64Alphabet[value & 0x3f];
        if (escapeSlashes && c == '/')
            *p++ = '\\';
        *p++ = c;
    };
    qsizetype i = 0;
    for (; i + 3 <= n; i += 3) {
        const unsigned v = unsigned(src[i]) << 16 | unsigned(src[i + 1]) << 8 | unsigned(src[i + 2]);
        put(v >> 18);
        put(v >> 12);
        put(v >> 6);
        put(v);
    }
    if (i < n) {
        const unsigned v = unsigned(src[i]) << 16 | (i + 1 < n ? unsigned(src[i + 1]) << 8 : 0u);
        put(v >> 18);
        put(v >> 12);
        if (i + 1 < n)
            put(v >> 6);
        else
            *p++ = '=';
        *p++ = '=';
    }
    out.resize(start + (p - begin));
}

bool JsonText::appendDecodedBase64(QByteArray& out, QByteArrayView text)
{
    const qsizetype n = text.size();
    if (n % 4 != 0)
        return false;
    if (n == 0)
        return true;
    const auto* src = reinterpret_cast<const unsigned char*>(text.data());
    const int padding = src[n - 1] != '=' ? 0 : src[n - 2] != '=' ? 1 : 2;
    const qsizetype start = out.size();
    char* const begin = grow(out, n / 4 * 3);
    char* p = begin;
    const auto value = [](unsigned char c) { return unsigned(kBase64Values[c]); };
    const qsizetype whole = padding ? n - 4 : n;
    for (qsizetype i = 0; i < whole; i += 4) {
        const unsigned a = value(src[i]), b = value(src[i + 1]), c = value(src[i + 2]), d = value(src[i + 3]);
        if ((a | b | c | d) & kNotALetter) {
            out.resize(start);
            return false;
        }
        const unsigned v = a << 18 | b << 12 | c << 6 | d;
        *p++ = char(v >> 16);
        *p++ = char(v >> 8);
        *p++ = char(v);
    }
    if (padding) {
        const unsigned a = value(src[whole]), b = value(src[whole + 1]);
        const unsigned c = padding == 1 ? value(src[whole + 2]) : 0;
        if ((a | b | c) & kNotALetter) {
            out.resize(start);
            return false;
        }
        const unsigned v = a << 18 | b << 12 | c << 6;
        *p++ = char(v >> 16);
        if (padding == 1)
            *p++ = char(v >> 8);
    }
    out.resize(start + (p - begin));
    return true;
}

JsonText::Base64Slices::Base64Slices(QByteArrayView text) : m_text(text)
{
    const qsizetype n = text.size();
    m_size = n % 4 != 0 ? -1 : n == 0 ? 0 : n / 4 * 3 - (text[n - 1] != '=' ? 0 : text[n - 2] != '=' ? 1 : 2);
}

bool JsonText::Base64Slices::next(QByteArrayView& piece)
{
    constexpr qsizetype kSliceText = 256 * 1024; // a multiple of four
    if (m_size < 0 || m_at == m_text.size())
        return false;
    const QByteArrayView slice = m_text.sliced(m_at, std::min(kSliceText, m_text.size() - m_at));
    m_at += slice.size();
    // Padding belongs only at the end of the whole text.
    if (m_at < m_text.size() && slice.back() == '=')
        return false;
    m_piece.resize(0);
    if (!appendDecodedBase64(m_piece, slice))
        return false;
    piece = m_piece;
    return true;
}
