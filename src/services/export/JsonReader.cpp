#include "JsonReader.h"

#include "JsonText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

// Length of the valid UTF-8 sequence at p (first byte >= 0x80), or 0.
int utf8SequenceLength(const unsigned char* p, const unsigned char* end)
{
    const unsigned char c = p[0];
    int n = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xbf;
    if (c >= 0xc2 && c <= 0xdf) {
        n = 2;
    } else if (c >= 0xe0 && c <= 0xef) {
        n = 3;
        if (c == 0xe0)
            low = 0xa0; // no overlong forms
        else if (c == 0xed)
            high = 0x9f; // no surrogates
    } else if (c >= 0xf0 && c <= 0xf4) {
        n = 4;
        if (c == 0xf0)
            low = 0x90;
        else if (c == 0xf4)
            high = 0x8f; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (end - p < n || p[1] < low || p[1] > high)
        return 0;
    for (int i = 2; i < n; ++i) {
        if (p[i] < 0x80 || p[i] > 0xbf)
            return 0;
    }
    return n;
}

// Past the characters from p on that need no look of their own: printable
// ASCII but the quote and the backslash. Eight at a time, which is what
// makes the Base64 of pictures quick to read.
const char* skipPlainAscii(const char* p, const char* end)
{
    constexpr quint64 kOnes = 0x0101010101010101ull;
    constexpr quint64 kHighs = 0x8080808080808080ull;
    const auto hasZeroByte = [](quint64 x) { return (x - kOnes) & ~x & kHighs; };
    while (end - p >= 8) {
        quint64 w;
        std::memcpy(&w, p, 8);
        // With every high bit clear, a byte below 0x20 borrows into its own high bit.
        if ((w & kHighs) || ((w - kOnes * 0x20) & ~w & kHighs) || hasZeroByte(w ^ (kOnes * '"'))
            || hasZeroByte(w ^ (kOnes * '\\')))
            break;
        p += 8;
    }
    return p;
}

void appendUtf8(QByteArray& out, char32_t c)
{
    if (c < 0x80) {
        out.append(char(c));
    } else if (c < 0x800) {
        out.append(char(0xc0 | (c >> 6))).append(char(0x80 | (c & 0x3f)));
    } else if (c < 0x10000) {
        out.append(char(0xe0 | (c >> 12))).append(char(0x80 | ((c >> 6) & 0x3f))).append(char(0x80 | (c & 0x3f)));
    } else {
        out.append(char(0xf0 | (c >> 18)))
            .append(char(0x80 | ((c >> 12) & 0x3f)))
            .append(char(0x80 | ((c >> 6) & 0x3f)))
            .append(char(0x80 | (c & 0x3f)));
    }
}

} // namespace

JsonReader::JsonReader(Source source) : m_begin(nullptr), m_at(nullptr), m_end(nullptr), m_source(std::move(source)) {}

void JsonReader::fail(const char* message) const
{
    throw Error{QString::fromLatin1(message), offset()};
}

bool JsonReader::refill(const char*& keep)
{
    if (!m_source || m_sourceEnded)
        return false;
    const qsizetype kept = m_end - keep;
    const qsizetype at = m_at - keep;
    const qsizetype dropped = keep - m_begin;
    // What was read goes; a long value keeps its place and the buffer
    // grows behind it, so a value is never moved more than once.
    if (dropped > 0 && kept > 0)
        std::memmove(m_buffer.data(), keep, size_t(kept));
    m_base += dropped;
    if (const qsizetype needed = kept + kPieceSize; m_buffer.size() < needed) {
        // A long value grows the buffer by half at a time, which leaves
        // less of it unused than doubling.
        if (needed > m_buffer.capacity())
            m_buffer.reserve(std::max(needed, m_buffer.capacity() + m_buffer.capacity() / 2));
        m_buffer.resize(needed);
    }
    const qsizetype got = m_source(m_buffer.data() + kept, m_buffer.size() - kept);
    m_begin = m_buffer.constData();
    keep = m_begin;
    m_at = m_begin + at;
    m_end = m_begin + kept + std::max<qsizetype>(got, 0);
    if (got <= 0)
        m_sourceEnded = true;
    return got > 0;
}

void JsonReader::ensure(qsizetype n)
{
    const char* keep = m_at;
    while (m_end - m_at < n && refill(keep)) {
    }
}

void JsonReader::skipSpace()
{
    for (;;) {
        while (m_at < m_end && isSpace(*m_at))
            ++m_at;
        const char* keep = m_at;
        if (m_at < m_end || !refill(keep))
            return;
    }
}

bool JsonReader::atEnd()
{
    skipSpace();
    return m_at == m_end;
}

JsonReader::Kind JsonReader::peek()
{
    skipSpace();
    if (m_at == m_end)
        fail("unexpected end of the document");
    switch (*m_at) {
    case '{': return Kind::object;
    case '[': return Kind::array;
    case '"': return Kind::string;
    case 't':
    case 'f': return Kind::boolean;
    case 'n': return Kind::null;
    default:
        if (*m_at == '-' || (*m_at >= '0' && *m_at <= '9'))
            return Kind::number;
    }
    fail("illegal value");
}

void JsonReader::open(char bracket)
{
    if (peek() != (bracket == '{' ? Kind::object : Kind::array))
        fail(bracket == '{' ? "expected an object" : "expected an array");
    if (m_open.size() >= kMaxDepth)
        fail("too deeply nested document");
    ++m_at;
    m_open.append(bracket);
    m_first = true;
}

void JsonReader::beginObject()
{
    open('{');
}

void JsonReader::beginArray()
{
    open('[');
}

bool JsonReader::nextMember(char close, const char* unterminated)
{
    skipSpace();
    if (m_at == m_end)
        fail(unterminated);
    if (*m_at == close) {
        ++m_at;
        m_open.removeLast();
        m_first = false;
        return false;
    }
    if (!m_first) {
        if (*m_at != ',')
            fail("missing value separator");
        ++m_at;
    }
    m_first = false;
    return true;
}

bool JsonReader::nextKey(QByteArrayView& key)
{
    if (!nextMember('}', "unterminated object"))
        return false;
    skipSpace();
    if (m_at == m_end || *m_at != '"')
        fail("expected a member name");
    key = scanString();
    if (m_source) {
        // The space after the key may need a refill, which moves the buffer.
        m_key.resize(0);
        m_key.append(key);
        key = m_key;
    }
    skipSpace();
    if (m_at == m_end || *m_at != ':')
        fail("missing name separator");
    ++m_at;
    return true;
}

bool JsonReader::nextElement()
{
    return nextMember(']', "unterminated array");
}

void JsonReader::appendEscape(QByteArray& out)
{
    // m_at is just past the backslash. The longest escape is a surrogate
    // pair: eleven more bytes.
    const char* keep = m_at - 1;
    while (m_end - m_at < 11 && refill(keep)) {
    }
    if (m_at == m_end)
        fail("unterminated string");
    const char c = *m_at++;
    switch (c) {
    case '"': out.append('"'); return;
    case '\\': out.append('\\'); return;
    case '/': out.append('/'); return;
    case 'b': out.append('\b'); return;
    case 'f': out.append('\f'); return;
    case 'n': out.append('\n'); return;
    case 'r': out.append('\r'); return;
    case 't': out.append('\t'); return;
    case 'u': break;
    default: --m_at; fail("illegal escape sequence");
    }
    auto readHex4 = [&]() -> int {
        if (m_end - m_at < 4)
            fail("illegal escape sequence");
        int value = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = JsonText::hexDigitValue(m_at[i]);
            if (digit < 0)
                fail("illegal escape sequence");
            value = value * 16 + digit;
        }
        m_at += 4;
        return value;
    };
    char32_t code = char32_t(readHex4());
    if (code >= 0xd800 && code <= 0xdbff && m_end - m_at >= 6 && m_at[0] == '\\' && m_at[1] == 'u') {
        const char* mark = m_at;
        m_at += 2;
        const char32_t low = char32_t(readHex4());
        if (low >= 0xdc00 && low <= 0xdfff)
            code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
        else
            m_at = mark; // the second escape stands on its own
    }
    // An unpaired surrogate has no UTF-8 form; it reads as U+FFFD, as the
    // store would write it anyway.
    if (code >= 0xd800 && code <= 0xdfff)
        code = 0xfffd;
    appendUtf8(out, code);
}

QByteArrayView JsonReader::scanString()
{
    // m_at is at the opening quote.
    const char* start = ++m_at;
    bool ascii = true;
    bool escaped = false;
    const char* p = start;
    // More of the text behind the string read so far; false at its end.
    const auto more = [&] {
        const qsizetype done = p - start;
        const bool got = refill(start);
        p = start + done;
        return got;
    };
    for (;;) {
        p = skipPlainAscii(p, m_end);
        if (p == m_end) {
            if (more())
                continue;
            m_at = p;
            fail("unterminated string");
        }
        const auto c = static_cast<unsigned char>(*p);
        if (c == '"')
            break;
        if (c == '\\') {
            escaped = true;
            break;
        }
        if (c < 0x20) {
            m_at = p;
            fail("control character in a string");
        }
        if (c < 0x80) {
            ++p;
            continue;
        }
        ascii = false;
        const int n = utf8SequenceLength(reinterpret_cast<const unsigned char*>(p),
                                         reinterpret_cast<const unsigned char*>(m_end));
        if (n == 0) {
            // A sequence cut by the end of the buffer is read again whole.
            if (m_end - p < 4 && more())
                continue;
            m_at = p;
            fail("invalid UTF-8 string");
        }
        p += n;
    }
    if (!escaped) {
        m_at = p + 1;
        m_stringAscii = ascii;
        return QByteArrayView(start, p - start);
    }

    // Slow path: copy the text with its escapes resolved.
    m_scratch.resize(0);
    m_scratch.append(start, p - start);
    m_at = p;
    for (;;) {
        if (m_at == m_end) {
            const char* keep = m_at;
            if (!refill(keep))
                fail("unterminated string");
            continue;
        }
        const auto c = static_cast<unsigned char>(*m_at);
        if (c == '"') {
            ++m_at;
            break;
        }
        if (c == '\\') {
            ++m_at;
            appendEscape(m_scratch);
            ascii = false; // escapes may stand for anything
            continue;
        }
        if (c < 0x20)
            fail("control character in a string");
        if (c < 0x80) {
            m_scratch.append(char(c));
            ++m_at;
            continue;
        }
        ascii = false;
        if (m_end - m_at < 4)
            ensure(4);
        const int n = utf8SequenceLength(reinterpret_cast<const unsigned char*>(m_at),
                                         reinterpret_cast<const unsigned char*>(m_end));
        if (n == 0)
            fail("invalid UTF-8 string");
        m_scratch.append(m_at, n);
        m_at += n;
    }
    m_stringAscii = ascii;
    return QByteArrayView(m_scratch);
}

QByteArrayView JsonReader::readStringBytes()
{
    if (peek() != Kind::string)
        fail("expected a string");
    return scanString();
}

QString JsonReader::readString()
{
    const QByteArrayView bytes = readStringBytes();
    return m_stringAscii ? QString::fromLatin1(bytes) : QString::fromUtf8(bytes);
}

double JsonReader::readNumber()
{
    if (peek() != Kind::number)
        fail("expected a number");
    // The byte k past m_at, or -1 past the end of the text.
    const auto at = [&](qsizetype k) -> int {
        while (m_end - m_at <= k) {
            const char* keep = m_at;
            if (!refill(keep))
                return -1;
        }
        return static_cast<unsigned char>(m_at[k]);
    };
    qsizetype n = 0;
    const auto digits = [&] {
        const qsizetype from = n;
        for (int c = at(n); c >= '0' && c <= '9'; c = at(n))
            ++n;
        return n - from;
    };
    if (at(n) == '-')
        ++n;
    if (at(n) == '0') {
        ++n; // no leading zeros
    } else if (digits() == 0) {
        fail("illegal number");
    }
    if (at(n) == '.') {
        ++n;
        if (digits() == 0)
            fail("illegal number");
    }
    if (at(n) == 'e' || at(n) == 'E') {
        ++n;
        if (at(n) == '+' || at(n) == '-')
            ++n;
        if (digits() == 0)
            fail("illegal number");
    }
    double value = 0;
    const auto [end, error] = std::from_chars(m_at, m_at + n, value);
    if (error == std::errc::result_out_of_range)
        value = *m_at == '-' ? -HUGE_VAL : HUGE_VAL;
    else if (error != std::errc() || end != m_at + n)
        fail("illegal number");
    m_at += n;
    return value;
}

bool JsonReader::readBool()
{
    skipSpace();
    ensure(5);
    if (m_end - m_at >= 4 && std::memcmp(m_at, "true", 4) == 0) {
        m_at += 4;
        return true;
    }
    if (m_end - m_at >= 5 && std::memcmp(m_at, "false", 5) == 0) {
        m_at += 5;
        return false;
    }
    fail("illegal value");
}

void JsonReader::readNull()
{
    skipSpace();
    ensure(4);
    if (m_end - m_at >= 4 && std::memcmp(m_at, "null", 4) == 0) {
        m_at += 4;
        return;
    }
    fail("illegal value");
}

void JsonReader::skipValue()
{
    const qsizetype base = m_open.size();
    for (;;) {
        switch (peek()) {
        case Kind::object: beginObject(); break;
        case Kind::array: beginArray(); break;
        case Kind::string: (void)scanString(); break;
        case Kind::number: (void)readNumber(); break;
        case Kind::boolean: (void)readBool(); break;
        case Kind::null: readNull(); break;
        }
        // On to the next value, closing the containers that end here.
        for (;;) {
            if (m_open.size() == base)
                return;
            QByteArrayView key;
            if (m_open.last() == '{' ? nextKey(key) : nextElement())
                break;
        }
    }
}
