#pragma once

#include <QByteArray>
#include <QStringView>

// Pieces of JSON text written straight into a byte buffer, for documents too
// large to build as a QJsonDocument first.
namespace JsonText {

// Appends the text as a JSON string body (no quotes), escaped exactly as
// QJsonDocument writes it: '"', '\\' and control characters escaped (\b \f
// \n \r \t, others as \u00xx), everything else as UTF-8, an unpaired
// surrogate as \uxxxx. '/' is not escaped.
void appendEscaped(QByteArray& out, QStringView text);

// The value of a hexadecimal digit, -1 for anything else.
inline int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Appends standard Base64 (with padding, no line breaks) of the bytes. When
// escapeSlashes is set, every '/' of the Base64 text is written as "\/".
void appendBase64(QByteArray& out, QByteArrayView bytes, bool escapeSlashes = false);

// Appends the bytes of strict standard Base64: letters of the standard
// alphabet only, a length that is a multiple of four, at most two '=' at
// the very end (the bits they leave over are not looked at). Anything else
// appends nothing and gives false.
bool appendDecodedBase64(QByteArray& out, QByteArrayView text);

// Strict Base64 decoded a slice at a time, for texts too long to decode
// whole: the same bytes as appendDecodedBase64 in the same cases.
class Base64Slices {
public:
    explicit Base64Slices(QByteArrayView text);
    // The length of the bytes; -1 when the text's length is no Base64 length.
    qsizetype size() const { return m_size; }
    // Decodes the next slice into `piece`; false at the end of the text or
    // when the slice is not strict Base64.
    bool next(QByteArrayView& piece);

private:
    QByteArrayView m_text;
    qsizetype m_at = 0;
    qsizetype m_size;
    QByteArray m_piece;
};

} // namespace JsonText
