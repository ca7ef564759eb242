// Commands over the metadata service and the HTML extractor.

#include "Cli.h"

#include "services/metadata/HtmlMetadataParser.h"
#include "services/metadata/MetadataService.h"

#include <QFile>
#include <QJsonObject>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace Cli {
namespace {

QJsonObject metadataJson(const FetchedMetadata& m)
{
    QJsonObject o;
    auto put = [&o](const char16_t* key, const std::optional<QString>& value) {
        if (value)
            o.insert(QString::fromUtf16(key), *value);
    };
    put(u"title", m.title);
    put(u"description", m.description);
    put(u"imageURL", m.imageURL);
    put(u"siteName", m.siteName);
    put(u"author", m.author);
    if (m.publishDate)
        o.insert(u"publishDate"_s, isoDate(*m.publishDate));
    return o;
}

QUrl webUrl(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        throw Failed{UsageError, u"“%1” is not a URL with a scheme (such as https://%1)"_s.arg(text)};
    return url;
}

int metadata(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(argv, {}, {});
    args.expectPositional(1, 1);
    const QUrl url = webUrl(args.positional(0, "URL"));
    QFuture<MetadataFetch> future = MetadataService::shared().fetchMetadata(url);
    waitFor(QFuture<void>(future));
    const MetadataFetch result = future.result();
    if (!result.metadata)
        throw Failed{Failure, result.error ? result.error->description() : u"Failed to fetch metadata"_s};
    s.out() << jsonLine(metadataJson(*result.metadata)) << '\n';
    return Success;
}

int parseHtml(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(argv, {u"--url"_s}, {});
    args.expectPositional(1, 1);
    const auto urlText = args.value(u"--url"_s);
    if (!urlText)
        throw Failed{UsageError, u"parse-html needs --url, the address the page came from"_s};
    const QUrl url = webUrl(*urlText);
    QFile file(args.positional(0, "FILE"));
    if (!file.open(QIODevice::ReadOnly))
        throw Failed{Failure, u"cannot read %1: %2"_s.arg(file.fileName(), file.errorString())};
    const QByteArray bytes = file.readAll();
    // Decoded as the service decodes pages: UTF-8, else ISO Latin-1.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    s.out() << jsonLine(metadataJson(HtmlMetadataParser::parseHTML(text, url))) << '\n';
    return Success;
}

} // namespace

void registerMetadataCommands()
{
    registerCommand(u"metadata"_s, u"metadata URL              (fetch a page's metadata as JSON)"_s, metadata);
    registerCommand(u"parse-html"_s, u"parse-html FILE --url URL (extract metadata from a saved page)"_s, parseHtml);
}

} // namespace Cli
