#include "HtmlReferenceParser.h"

#include <QRegularExpression>

#include <initializer_list>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace HtmlReferenceParser {
namespace {

// The pattern fragments, quoted exactly.
const QString kPropertyPrefix = u"<meta[^>]+property=[\"']"_s;
const QString kNamePrefix = u"<meta[^>]+name=[\"']"_s;
const QString kContentSuffix = u"[\"'][^>]+content=[\"']([^\"']+)[\"']"_s;
const QString kContentFirstProperty = u"<meta[^>]+content=[\"']([^\"']+)[\"'][^>]+property=[\"']"_s;
const QString kContentFirstName = u"<meta[^>]+content=[\"']([^\"']+)[\"'][^>]+name=[\"']"_s;
const QString kClosingQuote = u"[\"']"_s;
const QString kTitlePattern = u"<title[^>]*>([^<]+)</title>"_s;
const QString kDecimalReference = u"&#(\\d+);"_s;

void markIncomplete(Status* status)
{
    if (status)
        status->complete = false;
}

std::optional<QString> firstCapture(const QString& pattern, const QString& text, Status* status)
{
    const QRegularExpression re(pattern, QRegularExpression::CaseInsensitiveOption);
    if (!re.isValid())
        return std::nullopt;
    const QRegularExpressionMatch match = re.match(text);
    if (!match.isValid()) {
        markIncomplete(status);
        return std::nullopt;
    }
    if (!match.hasMatch() || match.capturedStart(1) < 0)
        return std::nullopt;
    return match.captured(1);
}

std::optional<QString> metaLookup(const QString& html, const QString& patternA, const QString& patternB, Status* status)
{
    for (const QString& pattern : {patternA, patternB}) {
        if (const auto captured = firstCapture(pattern, html, status))
            return decodeHTMLEntities(*captured, status);
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> extractMetaProperty(const QString& html, const QString& key, Status* status)
{
    return metaLookup(html, kPropertyPrefix + key + kContentSuffix, kContentFirstProperty + key + kClosingQuote,
                      status);
}

std::optional<QString> extractMetaName(const QString& html, const QString& key, Status* status)
{
    return metaLookup(html, kNamePrefix + key + kContentSuffix, kContentFirstName + key + kClosingQuote, status);
}

std::optional<QString> extractTitleElement(const QString& html, Status* status)
{
    if (const auto captured = firstCapture(kTitlePattern, html, status))
        return decodeHTMLEntities(*captured, status);
    return std::nullopt;
}

QString decodeHTMLEntities(const QString& text, Status* status)
{
    QString s = text;
    const std::pair<QString, QString> replacements[] = {
        {u"&amp;"_s, u"&"_s},  {u"&lt;"_s, u"<"_s},   {u"&gt;"_s, u">"_s},   {u"&quot;"_s, u"\""_s},
        {u"&apos;"_s, u"'"_s}, {u"&#39;"_s, u"'"_s},  {u"&nbsp;"_s, u" "_s}, {u"&#x27;"_s, u"'"_s},
        {u"&#x2F;"_s, u"/"_s}, {u"&#x60;"_s, u"`"_s}, {u"&#x3D;"_s, u"="_s},
    };
    for (const auto& [from, to] : replacements)
        s.replace(from, to, Qt::CaseSensitive);

    const QRegularExpression re(kDecimalReference);
    if (!re.isValid())
        return s;
    std::vector<QRegularExpressionMatch> matches;
    for (qsizetype offset = 0;;) {
        QRegularExpressionMatch match = re.match(s, offset);
        if (!match.isValid()) {
            markIncomplete(status);
            break;
        }
        if (!match.hasMatch())
            break;
        offset = match.capturedEnd(0);
        matches.push_back(std::move(match));
    }
    // Last to first, so that earlier ranges stay valid.
    for (auto it = matches.rbegin(); it != matches.rend(); ++it) {
        if (it->capturedStart(0) < 0 || it->capturedStart(1) < 0)
            continue;
        bool ok = false;
        const uint value = it->captured(1).toUInt(&ok, 10);
        if (!ok || value >= 0x110000 || (value >= 0xD800 && value <= 0xDFFF))
            continue;
        const auto scalar = char32_t(value);
        s.replace(it->capturedStart(0), it->capturedLength(0), QString::fromUcs4(&scalar, 1));
    }
    return s;
}

FetchedMetadata parseHTML(const QString& html, const QUrl& pageURL, Status* status)
{
    FetchedMetadata m;
    m.title = extractMetaProperty(html, u"og:title"_s, status);
    m.description = extractMetaProperty(html, u"og:description"_s, status);
    std::optional<QString> image = extractMetaProperty(html, u"og:image"_s, status);
    m.siteName = extractMetaProperty(html, u"og:site_name"_s, status);
    if (!m.title)
        m.title = extractMetaName(html, u"twitter:title"_s, status);
    if (!m.description)
        m.description = extractMetaName(html, u"twitter:description"_s, status);
    if (!image)
        image = extractMetaName(html, u"twitter:image"_s, status);
    if (!m.description)
        m.description = extractMetaName(html, u"description"_s, status);
    m.author = extractMetaName(html, u"author"_s, status);
    if (!m.title)
        m.title = extractTitleElement(html, status);
    if (image && !image->startsWith(u"http"_s)) {
        const QUrl reference(*image, QUrl::StrictMode);
        if (reference.isValid())
            image = pageURL.resolved(reference).toString(QUrl::FullyEncoded);
    }
    m.imageURL = image;
    if (m.title)
        m.title = m.title->trimmed();
    if (m.description)
        m.description = m.description->trimmed();
    return m;
}

} // namespace HtmlReferenceParser
