#include "HtmlMetadataParser.h"

#include <algorithm>
#include <array>
#include <span>
#include <vector>

using namespace Qt::StringLiterals;

// How the scanner reproduces the extraction's regular expressions (T is the text, n its
// length, a "segment" a maximal run of characters other than ">", E(i) the
// first ">" at or after i, or n; NQ(i) the first quote at or after i, or n).
//
// Pattern A  <meta[^>]+ATTR=Q KEY Q[^>]+content=Q([^"']+)Q
//   "<meta", ATTR=Q KEY Q and content=Q hold no ">", so everything up to the
//   opening quote of the value lies in the segment [s, E(s)) of its "<meta";
//   the value [^"']+ may run past E. The value group can only end at NQ, so it
//   succeeds at r (the position of "content=") iff T[r+9] is no quote and
//   NQ(r+9) < n. Backtracking tries the first [^>]+ longest first, then the
//   second longest first: the capture comes from the last such r of the
//   segment (R) whenever some ATTR=Q KEY Q at p >= s+6 fits before it
//   (p + length + 1 <= R). A match at a later "<meta" of the same segment
//   implies one at the first, so the leftmost match is the first segment
//   (searching on from the first "<meta" after the previous segment) where
//   this holds.
// Pattern B  <meta[^>]+content=Q([^"']+)Q[^>]+ATTR=Q KEY Q
//   The value is forced: [c+9, Z) with its closing quote Z = NQ(c+9). Then
//   [^>]+ runs from Z+1 to at most E(Z+1), so the candidate c (the position of
//   "content=") succeeds iff ATTR=Q KEY Q starts somewhere in [Z+2, E(Z+1)).
//   The longest first [^>]+ wins: the last successful c of the segment. Only the last c can have its closing quote
//   beyond the segment (every other one is closed at the latest by the opening quote of the next), so a segment needs
//   at most one look into a later segment.
// Title  <title[^>]*>([^<]+)</title>
//   No backtracking choice at all: ">" is E(s+6), the text runs to the next
//   "<", which must start "</title>". Occurrences before that ">" share it and
//   fail alike.
//
// Every position is looked at a bounded number of times, so the time is
// linear in the text for any input.

namespace HtmlMetadataParser {
namespace {

// One element of a literal pattern: the code units that match it.
// Case-insensitive matching of the platform (PCRE2 in UTF mode, ICU alike)
// follows Unicode case folding, which adds U+017F (long s) to s and U+212A
// (Kelvin sign) to k; no other code point folds to an ASCII character. The
// quote class ["'] is an element too.
struct Unit {
    char16_t a, b, c;
    bool matches(char16_t t) const { return t == a || t == b || t == c; }
};

constexpr Unit caseless(char16_t ch)
{
    if (ch >= u'A' && ch <= u'Z')
        ch = char16_t(ch + 32);
    if (ch < u'a' || ch > u'z')
        return {ch, ch, ch};
    const auto upper = char16_t(ch - 32);
    if (ch == u's')
        return {ch, upper, u'\u017F'};
    if (ch == u'k')
        return {ch, upper, u'\u212A'};
    return {ch, upper, ch};
}

constexpr Unit kQuote{u'"', u'\'', u'"'};

class Literal {
public:
    Literal& text(QStringView s)
    {
        for (const QChar ch : s)
            m_units.push_back(caseless(ch.unicode()));
        return *this;
    }
    Literal& quote()
    {
        m_units.push_back(kQuote);
        return *this;
    }
    qsizetype size() const { return qsizetype(m_units.size()); }
    bool matchAt(const char16_t* d, qsizetype n, qsizetype i) const
    {
        if (i < 0 || n - i < size())
            return false;
        for (std::size_t j = 0; j < m_units.size(); ++j) {
            if (!m_units[j].matches(d[i + qsizetype(j)]))
                return false;
        }
        return true;
    }

private:
    std::vector<Unit> m_units;
};

const Literal& metaOpen()
{
    static const Literal s_literal = Literal().text(u"<meta");
    return s_literal;
}
const Literal& titleOpen()
{
    static const Literal s_literal = Literal().text(u"<title");
    return s_literal;
}
const Literal& titleClose()
{
    static const Literal s_literal = Literal().text(u"</title>");
    return s_literal;
}
const Literal& contentPrefix()
{
    static const Literal s_literal = Literal().text(u"content=").quote();
    return s_literal;
}

enum class Attribute { Property, Name };

const Literal& attributePrefix(Attribute attribute)
{
    static const Literal s_property = Literal().text(u"property=").quote();
    static const Literal s_name = Literal().text(u"name=").quote();
    return attribute == Attribute::Property ? s_property : s_name;
}

bool isQuote(char16_t c)
{
    return c == u'"' || c == u'\'';
}

struct Range {
    qsizetype begin = 0;
    qsizetype end = 0;
};

// Keys are literal text here and regular-expression source in the patterns; the
// two agree for these characters, and none of them is ">" or a quote, which
// the analysis above relies on.
[[maybe_unused]] bool isPlainKey(QStringView key)
{
    return std::all_of(key.begin(), key.end(), [](QChar ch) {
        return ch.unicode() < 0x80 && (ch.isLetterOrNumber() || ch == u':' || ch == u'_' || ch == u'-');
    });
}

// One meta lookup: its two patterns share the attribute and the key.
struct Lookup {
    Lookup(Attribute attr, QStringView key, std::vector<int> superseders = {})
        : attribute(attr), keyQuote(Literal().text(key).quote()),
          length(attributePrefix(attr).size() + keyQuote.size()), supersededBy(std::move(superseders))
    {
        Q_ASSERT(isPlainKey(key));
    }

    Attribute attribute;
    Literal keyQuote;
    qsizetype length; // of ATTR=Q KEY Q
    // Lookups whose finding makes this one useless to parseHTML.
    std::vector<int> supersededBy;

    std::optional<Range> patternA;
    std::optional<Range> patternB;
    bool needed = true;

    // Within the segment being scanned.
    qsizetype firstMatch = -1;
    qsizetype lastMatch = -1;
    bool matchBeyond = false;

    bool found() const { return patternA || patternB; }
    bool done() const { return patternA || !needed; }
    std::optional<Range> result() const { return patternA ? patternA : patternB; }
};

class MetaScanner {
public:
    MetaScanner(QStringView text, std::span<Lookup> lookups)
        : m_d(text.utf16()), m_n(text.size()), m_text(text), m_lookups(lookups)
    {}

    void run()
    {
        qsizetype pos = 0;
        while (!allDone()) {
            const qsizetype start = findLiteral(metaOpen(), pos);
            if (start < 0)
                return;
            const qsizetype end = nextOf(u'>', start + 5);
            scanSegment(start, end);
            updateNeeds();
            if (end >= m_n)
                return;
            pos = end + 1;
        }
    }

private:
    bool allDone() const
    {
        for (const Lookup& lookup : m_lookups) {
            if (!lookup.done())
                return false;
        }
        return true;
    }

    void updateNeeds()
    {
        for (Lookup& lookup : m_lookups) {
            for (const int other : lookup.supersededBy) {
                if (m_lookups[std::size_t(other)].found())
                    lookup.needed = false;
            }
        }
    }

    qsizetype nextOf(char16_t ch, qsizetype from) const
    {
        if (from >= m_n)
            return m_n;
        const qsizetype i = m_text.indexOf(QChar(ch), from);
        return i < 0 ? m_n : i;
    }

    qsizetype nextQuote(qsizetype from) const
    {
        for (qsizetype i = from; i < m_n; ++i) {
            if (isQuote(m_d[i]))
                return i;
        }
        return m_n;
    }

    // First occurrence at or after `from` of a literal that starts with "<".
    qsizetype findLiteral(const Literal& literal, qsizetype from) const
    {
        while (from < m_n) {
            const qsizetype i = m_text.indexOf(u'<', from);
            if (i < 0)
                return -1;
            if (literal.matchAt(m_d, m_n, i))
                return i;
            from = i + 1;
        }
        return -1;
    }

    // Visits [from, to): reports ATTR=Q KEY Q of each active lookup and, when
    // asked, collects the content=Q positions whose value can start.
    template <typename OnMatch>
    void scanSites(qsizetype from, qsizetype to, bool collectContents, OnMatch onMatch)
    {
        const Literal& property = attributePrefix(Attribute::Property);
        const Literal& name = attributePrefix(Attribute::Name);
        for (qsizetype i = from; i < to; ++i) {
            // Only p, n and c (either case) start the three attributes.
            switch (m_d[i] | 0x20) {
            case u'c':
                if (collectContents && contentPrefix().matchAt(m_d, m_n, i) && i + 9 < m_n && !isQuote(m_d[i + 9]))
                    m_contents.push_back(i);
                break;
            case u'p':
                if (property.matchAt(m_d, m_n, i))
                    reportKeys(Attribute::Property, i, i + property.size(), onMatch);
                break;
            case u'n':
                if (name.matchAt(m_d, m_n, i))
                    reportKeys(Attribute::Name, i, i + name.size(), onMatch);
                break;
            default: break;
            }
        }
    }

    template <typename OnMatch>
    void reportKeys(Attribute attribute, qsizetype at, qsizetype keyAt, OnMatch& onMatch)
    {
        for (Lookup& lookup : m_lookups) {
            if (!lookup.done() && lookup.attribute == attribute && lookup.keyQuote.matchAt(m_d, m_n, keyAt))
                onMatch(lookup, at);
        }
    }

    // NQ(c + 9) of the content position with this index, computed once.
    qsizetype closingQuote(std::size_t index)
    {
        if (m_closing[index] < 0)
            m_closing[index] = nextQuote(m_contents[index] + 9);
        return m_closing[index];
    }

    void scanSegment(qsizetype start, qsizetype end)
    {
        m_contents.clear();
        for (Lookup& lookup : m_lookups) {
            lookup.firstMatch = -1;
            lookup.lastMatch = -1;
        }
        // The first [^>]+ takes at least one character.
        scanSites(start + 6, end, true, [](Lookup& lookup, qsizetype at) {
            if (lookup.firstMatch < 0)
                lookup.firstMatch = at;
            lookup.lastMatch = at;
        });
        if (m_contents.empty())
            return;
        m_closing.assign(m_contents.size(), -1);

        // Pattern A: the last content position whose value is closed. Only the
        // last one of all can be unclosed; closingQuote() is computed once.
        auto lastClosed = [this]() -> std::optional<std::size_t> {
            const std::size_t last = m_contents.size() - 1;
            if (closingQuote(last) < m_n)
                return last;
            if (last > 0)
                return last - 1;
            return std::nullopt;
        };
        for (Lookup& lookup : m_lookups) {
            if (lookup.done() || lookup.firstMatch < 0)
                continue;
            const std::optional<std::size_t> k = lastClosed();
            if (k && lookup.firstMatch + lookup.length + 1 <= m_contents[*k])
                lookup.patternA = Range{m_contents[*k] + 9, closingQuote(*k)};
        }

        // Pattern B: the last content position followed by the attribute.
        bool beyondScanned = false;
        for (Lookup& lookup : m_lookups) {
            if (lookup.done() || lookup.patternB)
                continue;
            for (std::size_t k = m_contents.size(); k-- > 0;) {
                const qsizetype z = closingQuote(k);
                if (z >= m_n)
                    continue;
                bool ok = false;
                if (z + 1 < end) {
                    ok = lookup.lastMatch >= z + 2;
                } else if (z > end) {
                    // Only the last content position gets here.
                    if (!beyondScanned) {
                        scanBeyond(z);
                        beyondScanned = true;
                    }
                    ok = lookup.matchBeyond;
                }
                if (ok) {
                    lookup.patternB = Range{m_contents[k] + 9, z};
                    break;
                }
            }
        }
    }

    // Marks the lookups whose attribute starts in [z+2, E(z+1)).
    void scanBeyond(qsizetype z)
    {
        for (Lookup& lookup : m_lookups)
            lookup.matchBeyond = false;
        const qsizetype end = nextOf(u'>', z + 1);
        scanSites(z + 2, end, false, [](Lookup& lookup, qsizetype) { lookup.matchBeyond = true; });
    }

    const char16_t* m_d;
    qsizetype m_n;
    QStringView m_text;
    std::span<Lookup> m_lookups;
    std::vector<qsizetype> m_contents;
    std::vector<qsizetype> m_closing;
};

std::optional<QString> decodedValue(const QString& html, const std::optional<Range>& range)
{
    if (!range)
        return std::nullopt;
    return decodeHTMLEntities(html.sliced(range->begin, range->end - range->begin));
}

std::optional<QString> lookupOne(const QString& html, Attribute attribute, QStringView key)
{
    std::array<Lookup, 1> lookups{Lookup(attribute, key)};
    MetaScanner(html, lookups).run();
    return decodedValue(html, lookups[0].result());
}

std::optional<Range> findTitleElement(QStringView text)
{
    const char16_t* d = text.utf16();
    const qsizetype n = text.size();
    qsizetype pos = 0;
    while (pos < n) {
        qsizetype start = text.indexOf(u'<', pos);
        while (start >= 0 && !titleOpen().matchAt(d, n, start))
            start = text.indexOf(u'<', start + 1);
        if (start < 0)
            return std::nullopt;
        const qsizetype close = text.indexOf(u'>', start + 6);
        if (close < 0)
            return std::nullopt;
        const qsizetype value = close + 1;
        if (value >= n)
            return std::nullopt;
        const qsizetype end = text.indexOf(u'<', value);
        if (end < 0)
            return std::nullopt;
        if (end > value && titleClose().matchAt(d, n, end))
            return Range{value, end};
        // Every "<title" before `close` fails the same way; the next "<" is `end`.
        pos = end;
    }
    return std::nullopt;
}

QString replaceAmpersands(const QString& text)
{
    static constexpr QStringView amp = u"&amp;";
    if (!text.contains(amp))
        return text;
    QString out;
    out.reserve(text.size());
    qsizetype pos = 0;
    for (qsizetype i = text.indexOf(amp); i >= 0; i = text.indexOf(amp, pos)) {
        out.append(QStringView(text).sliced(pos, i - pos));
        out.append(u'&');
        pos = i + amp.size();
    }
    out.append(QStringView(text).sliced(pos));
    return out;
}

struct Replacement {
    QStringView from;
    char16_t to;
};

// The literal replacements that follow "&amp;" in the first pass.
constexpr std::array<Replacement, 10> kReplacements{{
    {u"&lt;", u'<'},
    {u"&gt;", u'>'},
    {u"&quot;", u'"'},
    {u"&apos;", u'\''},
    {u"&#39;", u'\''},
    {u"&nbsp;", u' '},
    {u"&#x27;", u'\''},
    {u"&#x2F;", u'/'},
    {u"&#x60;", u'`'},
    {u"&#x3D;", u'='},
}};

} // namespace

QString decodeHTMLEntities(const QString& text)
{
    if (!text.contains(u'&'))
        return text;
    // "&amp;" on its own first: the ampersands it makes start the references
    // that the later replacements and the decimal pass see ("&amp;lt;"
    // becomes "<").
    const QString s = replaceAmpersands(text);
    // The other literal replacements and the decimal references in one scan.
    // All their matches start at an ampersand and hold no other one, and no
    // replacement makes a character of any match, so each match is replaced
    // independently of the others, as the pattern-by-pattern sequence of
    // passes does.
    const char16_t* d = QStringView(s).utf16();
    const qsizetype n = s.size();
    QString out;
    out.reserve(n);
    qsizetype copied = 0;
    qsizetype i = s.indexOf(u'&');
    while (i >= 0) {
        qsizetype next = i + 1;
        const QStringView rest = QStringView(s).sliced(i);
        bool replaced = false;
        for (const Replacement& r : kReplacements) {
            if (rest.startsWith(r.from)) {
                out.append(QStringView(s).sliced(copied, i - copied));
                out.append(QChar(r.to));
                next = i + r.from.size();
                copied = next;
                replaced = true;
                break;
            }
        }
        if (!replaced && i + 1 < n && d[i + 1] == u'#') {
            // &#(\d+); with ASCII digits, as \d is without Unicode properties.
            qsizetype j = i + 2;
            char32_t value = 0;
            while (j < n && d[j] >= u'0' && d[j] <= u'9') {
                // Anything above the last scalar value is skipped, overflow included.
                value = std::min<char32_t>(value * 10 + char32_t(d[j] - u'0'), 0x110000);
                ++j;
            }
            if (j > i + 2 && j < n && d[j] == u';') {
                next = j + 1;
                if (value < 0x110000 && (value < 0xD800 || value > 0xDFFF)) {
                    out.append(QStringView(s).sliced(copied, i - copied));
                    out.append(QString::fromUcs4(&value, 1));
                    copied = next;
                }
            }
        }
        i = next < n ? s.indexOf(u'&', next) : -1;
    }
    if (copied == 0)
        return s;
    out.append(QStringView(s).sliced(copied));
    return out;
}

std::optional<QString> extractMetaProperty(const QString& html, QStringView key)
{
    return lookupOne(html, Attribute::Property, key);
}

std::optional<QString> extractMetaName(const QString& html, QStringView key)
{
    return lookupOne(html, Attribute::Name, key);
}

std::optional<QString> extractTitleElement(const QString& html)
{
    return decodedValue(html, findTitleElement(html));
}

QString resolveImageAddress(const QString& image, const QUrl& pageURL)
{
    if (image.startsWith(u"http"_s))
        return image;
    const QUrl reference(image, QUrl::StrictMode);
    if (!reference.isValid())
        return image;
    return pageURL.resolved(reference).toString(QUrl::FullyEncoded);
}

FetchedMetadata parseHTML(const QString& html, const QUrl& pageURL)
{
    // The nine lookups, all in one pass. A fallback lookup stops
    // as soon as what it falls back from is found.
    enum { OgTitle, OgDescription, OgImage, OgSiteName, TwTitle, TwDescription, TwImage, Description, Author };
    std::array<Lookup, 9> lookups{
        Lookup(Attribute::Property, u"og:title"),
        Lookup(Attribute::Property, u"og:description"),
        Lookup(Attribute::Property, u"og:image"),
        Lookup(Attribute::Property, u"og:site_name"),
        Lookup(Attribute::Name, u"twitter:title", {OgTitle}),
        Lookup(Attribute::Name, u"twitter:description", {OgDescription}),
        Lookup(Attribute::Name, u"twitter:image", {OgImage}),
        Lookup(Attribute::Name, u"description", {OgDescription, TwDescription}),
        Lookup(Attribute::Name, u"author"),
    };
    MetaScanner(html, lookups).run();
    auto value = [&](int index) { return decodedValue(html, lookups[std::size_t(index)].result()); };

    FetchedMetadata metadata;
    metadata.title = value(OgTitle);
    metadata.description = value(OgDescription);
    metadata.imageURL = value(OgImage);
    metadata.siteName = value(OgSiteName);
    if (!metadata.title)
        metadata.title = value(TwTitle);
    if (!metadata.description)
        metadata.description = value(TwDescription);
    if (!metadata.imageURL)
        metadata.imageURL = value(TwImage);
    if (!metadata.description)
        metadata.description = value(Description);
    metadata.author = value(Author);
    if (!metadata.title)
        metadata.title = extractTitleElement(html);
    if (metadata.imageURL)
        metadata.imageURL = resolveImageAddress(*metadata.imageURL, pageURL);
    if (metadata.title)
        metadata.title = metadata.title->trimmed();
    if (metadata.description)
        metadata.description = metadata.description->trimmed();
    return metadata;
}

} // namespace HtmlMetadataParser
