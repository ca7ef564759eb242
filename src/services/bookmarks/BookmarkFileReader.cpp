#include "BookmarkFileReader.h"

#include <QHash>
#include <QStringDecoder>
#include <QUtf8StringView>

#include <cstring>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype kProgressStep = 4 << 20;
// How far into the file a META charset is looked for, as browsers do.
constexpr qsizetype kCharsetPrescan = 4096;

// Windows-1252's characters for 0x80-0x9F; where it has none, the C1 control.
constexpr char16_t kWindows1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

struct NamedEntity {
    const char16_t* name;
    char16_t value;
};
// The first four are the names read even without their ';'.
constexpr NamedEntity kEntities[] = {
    {u"amp", u'&'},      {u"lt", u'<'},       {u"gt", u'>'},       {u"quot", u'"'},     {u"apos", u'\''},
    {u"nbsp", 0x00A0},   {u"copy", 0x00A9},   {u"reg", 0x00AE},    {u"trade", 0x2122},  {u"hellip", 0x2026},
    {u"mdash", 0x2014},  {u"ndash", 0x2013},  {u"lsquo", 0x2018},  {u"rsquo", 0x2019},  {u"ldquo", 0x201C},
    {u"rdquo", 0x201D},  {u"laquo", 0x00AB},  {u"raquo", 0x00BB},  {u"bull", 0x2022},   {u"middot", 0x00B7},
    {u"euro", 0x20AC},   {u"pound", 0x00A3},  {u"yen", 0x00A5},    {u"cent", 0x00A2},   {u"sect", 0x00A7},
    {u"deg", 0x00B0},    {u"times", 0x00D7},  {u"divide", 0x00F7}, {u"eacute", 0x00E9}, {u"egrave", 0x00E8},
    {u"aacute", 0x00E1}, {u"agrave", 0x00E0}, {u"auml", 0x00E4},   {u"ouml", 0x00F6},   {u"uuml", 0x00FC},
    {u"Auml", 0x00C4},   {u"Ouml", 0x00D6},   {u"Uuml", 0x00DC},   {u"szlig", 0x00DF},  {u"ccedil", 0x00E7},
    {u"ntilde", 0x00F1}, {u"oslash", 0x00F8}, {u"aring", 0x00E5},  {u"iexcl", 0x00A1},  {u"iquest", 0x00BF},
};

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool isAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Whether `text` equals the lower-case ASCII `word`, ignoring case.
bool is(QByteArrayView text, const char* word)
{
    const auto n = qsizetype(std::strlen(word));
    if (text.size() != n)
        return false;
    for (qsizetype i = 0; i < n; ++i) {
        if (asciiLower(text[i]) != word[i])
            return false;
    }
    return true;
}

qsizetype indexOfIgnoringCase(QByteArrayView text, const char* word)
{
    const auto n = qsizetype(std::strlen(word));
    for (qsizetype i = 0; i + n <= text.size(); ++i) {
        if (is(text.sliced(i, n), word))
            return i;
    }
    return -1;
}

enum class Charset { utf8, windows1252 };

// "charset=NAME" in a META tag's CONTENT or its CHARSET attribute.
QByteArray charsetName(QByteArrayView text)
{
    qsizetype at = indexOfIgnoringCase(text, "charset");
    if (at < 0)
        return {};
    at += 7;
    while (at < text.size() && (isSpace(text[at]) || text[at] == '=' || text[at] == '"' || text[at] == '\''))
        ++at;
    qsizetype end = at;
    while (end < text.size() && !isSpace(text[end]) && text[end] != ';' && text[end] != '"' && text[end] != '\''
           && text[end] != '>')
        ++end;
    return text.sliced(at, end - at).toByteArray().toLower();
}

bool isWindows1252(const QByteArray& name)
{
    return name == "windows-1252" || name == "cp1252" || name == "iso-8859-1" || name == "iso8859-1" || name == "latin1"
           || name == "latin-1" || name == "l1" || name == "us-ascii" || name == "ascii";
}

QString fromWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = uchar(bytes[i]);
        out[i] = (c >= 0x80 && c < 0xA0) ? kWindows1252[c - 0x80] : char16_t(c);
    }
    return text;
}

// A text may start with U+FEFF: it is a character there, not a byte-order
// mark to drop (as QString::fromUtf8 would).
QString fromUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

void appendCodePoint(QString& out, char32_t cp)
{
    // Numeric references to the C1 range mean windows-1252, as in HTML.
    if (cp >= 0x80 && cp < 0xA0)
        cp = kWindows1252[cp - 0x80];
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp > 0xFFFF) {
        out.append(QChar::highSurrogate(cp));
        out.append(QChar::lowSurrogate(cp));
    } else {
        out.append(QChar(char16_t(cp)));
    }
}

// Collapses runs of white space into one space and trims, as browsers show
// titles; in place.
QString simplified(QString text)
{
    return std::move(text).simplified();
}

// Line breaks of any kind become "\n"; the ends are trimmed.
QString noteText(QString text)
{
    text.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
    return text.trimmed();
}

QString truncated(QString text, qsizetype limit)
{
    if (text.size() > limit) {
        qsizetype cut = limit;
        if (text[cut - 1].isHighSurrogate())
            --cut;
        text.truncate(cut);
    }
    return text;
}

class Reader {
public:
    Reader(QByteArrayView bytes, Charset charset, const BookmarkFileReader::Progress& progress,
           BookmarkTreeBuilder::LinkBatches batches)
        : m_begin(bytes.data()), m_p(bytes.data()), m_end(bytes.data() + bytes.size()), m_charset(charset),
          m_progress(progress)
    {
        if (batches)
            m_tree.handOnLinks(BookmarkFileReader::kBatchSize, std::move(batches));
    }

    Result<BookmarkTree, BookmarkError> run();

private:
    enum class Collect { nothing, ignored, heading, link, note };
    struct Attributes {
        QByteArrayView href, addDate, lastModified, tags, content, charset;
        bool hasHref = false;
    };

    QString text(QByteArrayView bytes) const
    {
        const QString raw = m_charset == Charset::windows1252 ? fromWindows1252(bytes) : fromUtf8(bytes);
        return raw.contains(u'&') ? BookmarkFileReader::decodeEntities(raw) : raw;
    }
    void appendText(const char* from, const char* to);
    void finishText();
    // The names of a TAGS value, in order, without repeats.
    QStringList tags(QByteArrayView value);
    void startTag(QByteArrayView name, const Attributes& attributes);
    void endTag(QByteArrayView name);
    void openList();
    void closeList();
    const char* readTag(const char* p, bool end);

    const char* m_begin;
    const char* m_p;
    const char* m_end;
    Charset m_charset;
    const BookmarkFileReader::Progress& m_progress;

    BookmarkTreeBuilder m_tree{BookmarkFileReader::kMaxDepth};
    qsizetype m_openLists = 0;
    qsizetype m_lastLink = -1;
    std::optional<BookmarkTree::Folder> m_heading; // an <H3> waiting for its <DL>
    Collect m_collect = Collect::nothing;
    QByteArray m_text;
    qsizetype m_textLimit = 0;
    Attributes m_linkAttributes;
    bool m_noteTarget = false; // the last entry was a link: a <DD> describes it
    // Tag names by their bytes: a file spells the same few tags over and
    // over, and each spelling is decoded once (per charset).
    QHash<QByteArray, QString> m_tagNames;

    bool m_netscapeDoctype = false;
    bool m_otherDoctype = false;
    bool m_sawList = false;
    bool m_afterTerm = false;
    bool m_sawEntry = false;
};

void Reader::appendText(const char* from, const char* to)
{
    if (m_collect == Collect::nothing || m_collect == Collect::ignored || from >= to)
        return;
    // Enough bytes for the longest text in any spelling (a character
    // reference takes at most ten bytes per UTF-16 unit, "&#x10FFFF;" for
    // two); the decoded text is cut exactly later.
    const qsizetype room = m_textLimit * 10 - m_text.size();
    if (room > 0)
        m_text.append(from, std::min<qsizetype>(room, to - from));
}

void Reader::finishText()
{
    const Collect collected = m_collect;
    m_collect = Collect::nothing;
    if (collected == Collect::heading) {
        m_heading->name = truncated(simplified(text(m_text)), BookmarkFileReader::kMaxTitleLength);
    } else if (collected == Collect::link) {
        m_noteTarget = false;
        if (!m_linkAttributes.hasHref)
            return;
        BookmarkTree::Link link;
        link.url = text(m_linkAttributes.href).trimmed();
        link.title = truncated(simplified(text(m_text)), BookmarkFileReader::kMaxTitleLength);
        link.addDate = BookmarkFileReader::parseDate(m_linkAttributes.addDate);
        link.lastModified = BookmarkFileReader::parseDate(m_linkAttributes.lastModified);
        if (!m_linkAttributes.tags.isEmpty())
            link.tags = tags(m_linkAttributes.tags);
        m_lastLink = m_tree.add(std::move(link));
        m_noteTarget = true;
    } else if (collected == Collect::note) {
        if (m_noteTarget) {
            QString note = truncated(noteText(text(m_text)), BookmarkFileReader::kMaxNoteLength);
            if (!note.isEmpty())
                m_tree.link(m_lastLink).note = std::move(note);
        }
        m_noteTarget = false;
    }
    m_text.resize(0); // keeps the buffer for the next text
}

QStringList Reader::tags(QByteArrayView value)
{
    QStringList names;
    const auto add = [&](const QString& name) {
        if (!name.isEmpty() && !names.contains(name))
            names.append(name);
    };
    // An entity may spell a comma, and bytes that are not UTF-8 may decode
    // differently next to one: such values are decoded whole, then split.
    if (value.contains('&') || (m_charset == Charset::utf8 && !QUtf8StringView(value).isValidUtf8())) {
        for (const QString& tag : text(value).split(u','))
            add(tag.simplified());
        return names;
    }
    for (qsizetype from = 0; from <= value.size();) {
        qsizetype comma = value.indexOf(',', from);
        if (comma < 0)
            comma = value.size();
        const QByteArrayView spelling = value.sliced(from, comma - from);
        from = comma + 1;
        // Looked up without a copy of the bytes.
        auto it = m_tagNames.constFind(QByteArray::fromRawData(spelling.data(), spelling.size()));
        if (it == m_tagNames.cend())
            it = m_tagNames.insert(spelling.toByteArray(), simplified(text(spelling)));
        add(*it);
    }
    return names;
}

void Reader::openList()
{
    m_sawList = true;
    ++m_openLists;
    // A list without a heading belongs to the folder around it.
    if (m_heading)
        m_tree.open(std::move(*m_heading));
    else
        m_tree.openTransparent();
    m_heading.reset();
}

void Reader::closeList()
{
    m_heading.reset(); // a heading without a list is an empty folder
    m_noteTarget = false;
    if (m_openLists == 0)
        return; // a stray </DL>
    --m_openLists;
    m_tree.close();
}

void Reader::startTag(QByteArrayView name, const Attributes& attributes)
{
    const bool afterTerm = std::exchange(m_afterTerm, false);
    if (is(name, "a")) {
        finishText();
        m_sawEntry = m_sawEntry || (afterTerm && m_openLists > 0);
        m_heading.reset();
        m_linkAttributes = attributes;
        m_collect = Collect::link;
        m_textLimit = BookmarkFileReader::kMaxTitleLength;
    } else if (is(name, "dt")) {
        finishText();
        m_afterTerm = true;
    } else if (is(name, "dd")) {
        finishText();
        m_collect = Collect::note;
        m_textLimit = BookmarkFileReader::kMaxNoteLength;
    } else if (is(name, "h3")) {
        finishText();
        m_sawEntry = m_sawEntry || (afterTerm && m_openLists > 0);
        m_noteTarget = false;
        BookmarkTree::Folder folder;
        folder.addDate = BookmarkFileReader::parseDate(attributes.addDate);
        folder.lastModified = BookmarkFileReader::parseDate(attributes.lastModified);
        m_heading = std::move(folder);
        m_collect = Collect::heading;
        m_textLimit = BookmarkFileReader::kMaxTitleLength;
    } else if (is(name, "dl")) {
        finishText();
        openList();
    } else if (is(name, "h1") || is(name, "title")) {
        // The file's own name, not a folder.
        finishText();
        m_noteTarget = false;
        m_collect = Collect::ignored;
    } else if (is(name, "meta")) {
        QByteArray charset = attributes.charset.trimmed().toByteArray().toLower();
        if (charset.isEmpty())
            charset = charsetName(attributes.content);
        if (isWindows1252(charset) && m_charset != Charset::windows1252) {
            m_charset = Charset::windows1252;
            m_tagNames.clear();
        }
    }
}

void Reader::endTag(QByteArrayView name)
{
    if (is(name, "dl")) {
        finishText();
        closeList();
    } else if (is(name, "a") || is(name, "h3") || is(name, "h1") || is(name, "title")) {
        if (m_collect != Collect::note)
            finishText();
    }
}

// Reads the tag at p (just after "<" or "</"), its name and the attributes
// the reader needs; returns the position after its '>'.
const char* Reader::readTag(const char* p, bool end)
{
    const char* nameStart = p;
    while (p < m_end && !isSpace(*p) && *p != '>' && *p != '/')
        ++p;
    const QByteArrayView name(nameStart, p - nameStart);
    Attributes attributes;
    while (p < m_end && *p != '>') {
        if (isSpace(*p) || *p == '/') {
            ++p;
            continue;
        }
        const char* attrStart = p;
        while (p < m_end && !isSpace(*p) && *p != '>' && *p != '=' && *p != '/')
            ++p;
        const QByteArrayView attr(attrStart, p - attrStart);
        if (attr.isEmpty()) // a lone '=' or '/'
            ++p;
        while (p < m_end && isSpace(*p))
            ++p;
        QByteArrayView value;
        bool hasValue = false;
        if (p < m_end && *p == '=') {
            ++p;
            while (p < m_end && isSpace(*p))
                ++p;
            hasValue = true;
            if (p < m_end && (*p == '"' || *p == '\'')) {
                const char quote = *p++;
                const auto* close = static_cast<const char*>(std::memchr(p, quote, size_t(m_end - p)));
                const char* valueEnd = close ? close : m_end;
                value = QByteArrayView(p, valueEnd - p);
                p = close ? close + 1 : m_end;
            } else {
                const char* valueStart = p;
                while (p < m_end && !isSpace(*p) && *p != '>')
                    ++p;
                value = QByteArrayView(valueStart, p - valueStart);
            }
        }
        if (end || attr.isEmpty())
            continue;
        if (is(attr, "href")) {
            attributes.href = value;
            attributes.hasHref = hasValue;
        } else if (is(attr, "add_date")) {
            attributes.addDate = value;
        } else if (is(attr, "last_modified")) {
            attributes.lastModified = value;
        } else if (is(attr, "tags")) {
            attributes.tags = value;
        } else if (is(attr, "content")) {
            attributes.content = value;
        } else if (is(attr, "charset")) {
            attributes.charset = value;
        }
    }
    // A tag cut off by the end of the file is dropped, as browsers drop it.
    if (p >= m_end)
        return m_end;
    if (end)
        endTag(name);
    else
        startTag(name, attributes);
    return p + 1;
}

Result<BookmarkTree, BookmarkError> Reader::run()
{
    using R = Result<BookmarkTree, BookmarkError>;
    const qsizetype total = m_end - m_begin;
    qsizetype nextReport = kProgressStep;
    while (m_p < m_end) {
        if (m_progress && m_p - m_begin >= nextReport) {
            nextReport = (m_p - m_begin) + kProgressStep;
            if (!m_progress(m_p - m_begin, total))
                return R::failure(BookmarkError::canceled());
        }
        const auto* lt = static_cast<const char*>(std::memchr(m_p, '<', size_t(m_end - m_p)));
        if (!lt) {
            appendText(m_p, m_end);
            break;
        }
        appendText(m_p, lt);
        const char* p = lt + 1;
        if (m_end - p >= 3 && p[0] == '!' && p[1] == '-' && p[2] == '-') {
            const void* close = nullptr;
            if (m_end - p > 3)
                close = memmem(p + 3, size_t(m_end - p - 3), "-->", 3);
            m_p = close ? static_cast<const char*>(close) + 3 : m_end;
            continue;
        }
        if (p < m_end && (*p == '!' || *p == '?')) {
            const auto* close = static_cast<const char*>(std::memchr(p, '>', size_t(m_end - p)));
            const QByteArrayView declaration(p + 1, (close ? close : m_end) - (p + 1));
            if (indexOfIgnoringCase(declaration.first(std::min<qsizetype>(declaration.size(), 64)),
                                    "netscape-bookmark-file")
                >= 0)
                m_netscapeDoctype = true;
            else if (!m_sawList && declaration.size() >= 7 && is(declaration.first(7), "doctype"))
                m_otherDoctype = true;
            m_p = close ? close + 1 : m_end;
            continue;
        }
        const bool end = p < m_end && *p == '/';
        if (end)
            ++p;
        if (p >= m_end || !isAlpha(*p)) {
            // A '<' that starts no tag is text.
            appendText(lt, lt + 1);
            m_p = lt + 1;
            continue;
        }
        m_p = readTag(p, end);
    }
    finishText();
    // Without the format's doctype, a page is taken for a bookmark file only
    // when it has no other doctype and holds a <DT><A> or <DT><H3> inside a
    // <DL>: ordinary pages have other doctypes, and their definition lists
    // hold terms, not links.
    const bool bookmarkFile = m_netscapeDoctype || (!m_otherDoctype && m_sawList && m_sawEntry);
    if (!bookmarkFile)
        return R::failure(BookmarkError::notBookmarkFile());
    return R(m_tree.take());
}

} // namespace

Result<BookmarkTree, BookmarkError> BookmarkFileReader::read(QByteArrayView bytes, const Progress& progress,
                                                             BookmarkTreeBuilder::LinkBatches batches)
{
    // A byte-order mark decides the encoding; then a charset named near the
    // top. Encodings that are not ASCII-compatible single bytes or UTF-8 are
    // converted to UTF-8 first, so the reader only ever meets ASCII markup.
    QByteArray converted;
    Charset charset = Charset::utf8;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        bytes = bytes.sliced(3);
    } else if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder utf16(QStringDecoder::Utf16);
        const QString decoded = utf16(bytes);
        converted = decoded.toUtf8();
        bytes = converted;
    } else {
        const QByteArray name = charsetName(bytes.first(std::min(bytes.size(), kCharsetPrescan)));
        if (isWindows1252(name)) {
            charset = Charset::windows1252;
        } else if (!name.isEmpty() && name != "utf-8" && name != "utf8") {
            QStringDecoder decoder(name.constData());
            if (decoder.isValid()) {
                const QString decoded = decoder(bytes);
                converted = decoded.toUtf8();
                bytes = converted;
            }
        }
    }
    return Reader(bytes, charset, progress, std::move(batches)).run();
}

QString BookmarkFileReader::decodeEntities(QStringView text)
{
    qsizetype amp = text.indexOf(u'&');
    if (amp < 0)
        return text.toString();
    QString out;
    out.reserve(text.size());
    qsizetype from = 0;
    while (amp >= 0) {
        out.append(text.sliced(from, amp - from));
        qsizetype p = amp + 1;
        bool decoded = false;
        if (p < text.size() && text[p] == u'#') {
            ++p;
            const bool hex = p < text.size() && (text[p] == u'x' || text[p] == u'X');
            if (hex)
                ++p;
            char32_t value = 0;
            const qsizetype digitsStart = p;
            while (p < text.size()) {
                const char16_t c = text[p].unicode();
                int digit = -1;
                if (c >= u'0' && c <= u'9')
                    digit = c - u'0';
                else if (hex && c >= u'a' && c <= u'f')
                    digit = c - u'a' + 10;
                else if (hex && c >= u'A' && c <= u'F')
                    digit = c - u'A' + 10;
                if (digit < 0)
                    break;
                value = std::min<char32_t>(value * (hex ? 16 : 10) + char32_t(digit), 0x110000);
                ++p;
            }
            if (p > digitsStart) {
                if (p < text.size() && text[p] == u';')
                    ++p;
                appendCodePoint(out, value);
                decoded = true;
            }
        } else {
            qsizetype nameEnd = p;
            while (nameEnd < text.size() && nameEnd - p < 8 && text[nameEnd].isLetterOrNumber()
                   && text[nameEnd].unicode() < 0x80)
                ++nameEnd;
            const QStringView name = text.sliced(p, nameEnd - p);
            const bool semicolon = nameEnd < text.size() && text[nameEnd] == u';';
            if (semicolon) {
                for (const NamedEntity& entity : kEntities) {
                    if (name == QStringView(entity.name)) {
                        out.append(QChar(entity.value));
                        p = nameEnd + 1;
                        decoded = true;
                        break;
                    }
                }
            }
            // The oldest names are read without their ';', even when letters follow.
            for (qsizetype i = 0; !decoded && i < 4; ++i) {
                const QStringView legacy(kEntities[i].name);
                if (name.startsWith(legacy)) {
                    out.append(QChar(kEntities[i].value));
                    p += legacy.size();
                    decoded = true;
                }
            }
        }
        if (!decoded) {
            out.append(u'&');
            p = amp + 1;
        }
        from = p;
        amp = text.indexOf(u'&', from);
    }
    out.append(text.sliced(from));
    return out;
}

std::optional<qint64> BookmarkFileReader::parseDate(QByteArrayView text)
{
    text = text.trimmed();
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    qint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value == 0)
        return std::nullopt;
    constexpr qint64 kLargestSeconds = 100'000'000'000; // the year 5138
    if (value < kLargestSeconds)
        return value * 1000;
    if (value < kLargestSeconds * 1000)
        return value; // milliseconds
    if (value < kLargestSeconds * 1000 * 1000)
        return value / 1000; // microseconds
    return std::nullopt;
}
