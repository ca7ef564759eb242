// libFuzzer target for the HTML metadata extraction.
//
// The first byte chooses how the rest becomes text: UTF-8 (invalid sequences
// become U+FFFD, as the metadata service decodes pages), Latin-1, or raw
// UTF-16 (lone surrogates included). HtmlMetadataParser runs on every input;
// on inputs of at most kReferenceLimit code units its results must equal
// those of the literal QRegularExpression transcription, wherever that ran to
// completion (PCRE2 stops on invalid UTF-16 and on its match limits).
//
//   cmake --preset fuzz && cmake --build --preset fuzz --target html_fuzz
//   build/fuzz/fuzz/html_fuzz -dict=fuzz/html.dict fuzz/corpus/html

#include "services/metadata/HtmlMetadataParser.h"
#include "support/HtmlReferenceParser.h"

#include <QString>
#include <QUrl>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype kReferenceLimit = 4096;

QString textOf(const uint8_t* data, size_t size)
{
    if (size == 0)
        return {};
    const auto* bytes = reinterpret_cast<const char*>(data + 1);
    const auto length = qsizetype(size - 1);
    switch (data[0] % 3) {
    case 0: return QString::fromUtf8(bytes, length);
    case 1: return QString::fromLatin1(bytes, length);
    default: {
        QString text(length / 2, Qt::Uninitialized);
        std::memcpy(text.data(), bytes, std::size_t(text.size()) * 2);
        return text;
    }
    }
}

QByteArray show(const std::optional<QString>& value)
{
    return value ? '"' + value->toUtf8() + '"' : QByteArray("(absent)");
}

[[noreturn]] void disagree(const char* what, const QString& html, const QByteArray& actual, const QByteArray& expected)
{
    std::fprintf(stderr, "%s disagrees with the reference\ninput (%lld code units): %s\nactual:   %s\nexpected: %s\n",
                 what, static_cast<long long>(html.size()), html.toUtf8().constData(), actual.constData(),
                 expected.constData());
    std::abort();
}

void compare(const char* what, const QString& html, const std::optional<QString>& actual,
             const std::optional<QString>& expected)
{
    if (actual != expected)
        disagree(what, html, show(actual), show(expected));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString html = textOf(data, size);
    const QUrl page(u"https://example.com/a/b.html"_s);

    const FetchedMetadata actual = HtmlMetadataParser::parseHTML(html, page);
    const QString decoded = HtmlMetadataParser::decodeHTMLEntities(html);
    if (actual.publishDate)
        std::abort();
    if (html.size() > kReferenceLimit)
        return 0;

    HtmlReferenceParser::Status status;
    const FetchedMetadata expected = HtmlReferenceParser::parseHTML(html, page, &status);
    const QString expectedDecoded = HtmlReferenceParser::decodeHTMLEntities(html, &status);
    if (!status.complete)
        return 0;
    compare("title", html, actual.title, expected.title);
    compare("description", html, actual.description, expected.description);
    compare("imageURL", html, actual.imageURL, expected.imageURL);
    compare("siteName", html, actual.siteName, expected.siteName);
    compare("author", html, actual.author, expected.author);
    compare("decodeHTMLEntities", html, decoded, expectedDecoded);
    // The single lookups, including the fallbacks parseHTML may skip.
    for (const QString& key : {u"og:title"_s, u"og:description"_s, u"og:image"_s}) {
        compare("extractMetaProperty", html, HtmlMetadataParser::extractMetaProperty(html, key),
                HtmlReferenceParser::extractMetaProperty(html, key));
    }
    for (const QString& key : {u"twitter:title"_s, u"description"_s, u"author"_s}) {
        compare("extractMetaName", html, HtmlMetadataParser::extractMetaName(html, key),
                HtmlReferenceParser::extractMetaName(html, key));
    }
    compare("title element", html, HtmlMetadataParser::extractTitleElement(html),
            HtmlReferenceParser::extractTitleElement(html));
    return 0;
}
