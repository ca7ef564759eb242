// Times the HTML metadata extraction on one file, for bench/html_extract_bench.sh:
//   html_extract FILE [--url URL] [--seconds S] [--print] [--reference]
// Repeats UTF-8 decoding + parseHTML for at least S seconds (at least once) and
// prints "MBPS <rate> PARSE_MBPS <rate without decoding> RUNS <n> SECONDS <t>"
// (MB = 10^6 bytes of the file). --print adds the fields as one JSON object;
// --reference runs the literal regular expressions of the extraction instead and says
// when PCRE2 gave up on one of them.

#include "services/metadata/HtmlMetadataParser.h"
#include "support/HtmlReferenceParser.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

QJsonValue json(const std::optional<QString>& value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: html_extract FILE [--url URL] [--seconds S] [--print] [--reference]\n");
        return 1;
    }
    QUrl url(u"https://news.example.com/2024/06/11/council-library-budget"_s);
    double seconds = 2.0;
    for (qsizetype i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == u"--url")
            url = QUrl(args[i + 1]);
        else if (args[i] == u"--seconds")
            seconds = args[i + 1].toDouble();
    }
    const bool reference = args.contains(u"--reference"_s);
    QFile file(args[0]);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(args[0]));
        return 1;
    }
    const QByteArray bytes = file.readAll();
    const double megabytes = double(bytes.size()) / 1e6;

    // The reference reports whether PCRE2 ran every match to completion.
    HtmlReferenceParser::Status status;
    auto extract = [&](const QString& html) {
        return reference ? HtmlReferenceParser::parseHTML(html, url, &status)
                         : HtmlMetadataParser::parseHTML(html, url);
    };

    FetchedMetadata result;
    qint64 runs = 0;
    QElapsedTimer timer;
    timer.start();
    do {
        result = extract(QString::fromUtf8(bytes));
        ++runs;
    } while (double(timer.nsecsElapsed()) / 1e9 < seconds);
    const double elapsed = double(timer.nsecsElapsed()) / 1e9;

    // Extraction alone, on text decoded once (not for a single timed run).
    const QString html = QString::fromUtf8(bytes);
    qint64 parseRuns = runs;
    double parseElapsed = elapsed;
    if (seconds > 0) {
        parseRuns = 0;
        timer.restart();
        do {
            extract(html);
            ++parseRuns;
        } while (double(timer.nsecsElapsed()) / 1e9 < seconds);
        parseElapsed = double(timer.nsecsElapsed()) / 1e9;
    }

    std::printf("MBPS %.2f PARSE_MBPS %.2f RUNS %lld SECONDS %.3f\n", megabytes * double(runs) / elapsed,
                megabytes * double(parseRuns) / parseElapsed, static_cast<long long>(runs), elapsed / double(runs));
    if (reference && !status.complete)
        std::printf("INCOMPLETE: a match stopped with an error (PCRE2 limit or invalid UTF-16)\n");
    if (args.contains(u"--print"_s)) {
        const QJsonObject fields{{u"title"_s, json(result.title)},
                                 {u"description"_s, json(result.description)},
                                 {u"image"_s, json(result.imageURL)},
                                 {u"siteName"_s, json(result.siteName)},
                                 {u"author"_s, json(result.author)}};
        std::printf("%s\n", QJsonDocument(fields).toJson(QJsonDocument::Compact).constData());
    }
    return 0;
}
