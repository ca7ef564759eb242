#include "LibraryGenerator.h"

#include "model/Clock.h"
#include "model/Folder.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "store/ModelContext.h"

#include <QRandomGenerator>
#include <QStringList>
#include <QTimeZone>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

const QStringList& vocabulary()
{
    // Syllable combinations give a few thousand distinct, pronounceable
    // words; a handful of real common words sit at the top ranks.
    static const QStringList s_words = [] {
        QStringList words{u"the"_s,     u"guide"_s,    u"how"_s,    u"rust"_s,    u"design"_s,
                          u"data"_s,    u"python"_s,   u"review"_s, u"video"_s,   u"news"_s,
                          u"system"_s,  u"learning"_s, u"web"_s,    u"history"_s, u"music"_s,
                          u"science"_s, u"recipe"_s,   u"travel"_s, u"photo"_s,   u"interview"_s};
        const QStringList a{u"ka"_s, u"lo"_s,  u"mi"_s,  u"ner"_s, u"pa"_s,  u"qui"_s, u"ra"_s,  u"sto"_s,
                            u"tu"_s, u"vel"_s, u"wen"_s, u"zor"_s, u"bri"_s, u"cal"_s, u"dun"_s, u"fen"_s};
        const QStringList b{u"an"_s,  u"ber"_s, u"cor"_s, u"dil"_s, u"ex"_s,  u"fo"_s,  u"gam"_s, u"hul"_s,
                            u"ist"_s, u"jor"_s, u"kel"_s, u"lum"_s, u"mor"_s, u"nix"_s, u"ost"_s, u"pry"_s};
        const QStringList c{u""_s,   u"a"_s,    u"er"_s,  u"ing"_s,  u"on"_s,    u"ics"_s, u"ity"_s, u"ous"_s,
                            u"ly"_s, u"ment"_s, u"ist"_s, u"ware"_s, u"scape"_s, u"ful"_s, u"ism"_s, u"ade"_s};
        for (const QString& x : a)
            for (const QString& y : b)
                for (const QString& z : c)
                    words.append(x + y + z);
        return words;
    }();
    return s_words;
}

// Zipf-like rank: small ranks are far more common.
int zipfRank(QRandomGenerator& random, int size)
{
    const double u = random.generateDouble();
    return std::min(size - 1, int(std::pow(double(size), u)) - 1);
}

QString sentence(QRandomGenerator& random, int minWords, int maxWords, bool capitalise)
{
    const QStringList& words = vocabulary();
    const int n = minWords + int(random.bounded(maxWords - minWords + 1));
    QString text;
    for (int i = 0; i < n; ++i) {
        QString w = words[zipfRank(random, int(words.size()))];
        if (capitalise && (i == 0 || random.bounded(4) == 0))
            w[0] = w[0].toUpper();
        if (i)
            text += u' ';
        text += w;
    }
    return text;
}

} // namespace

QString LibraryGenerator::word(int rank)
{
    return vocabulary().value(rank);
}

void LibraryGenerator::populate(ModelContext& context, const Options& options)
{
    QRandomGenerator random(options.seed);
    const QStringList tlds{u"com"_s, u"org"_s, u"net"_s, u"io"_s, u"dev"_s, u"co.uk"_s, u"de"_s};
    QStringList hosts;
    for (int i = 0; i < options.hosts; ++i) {
        QString host = vocabulary()[int(random.bounded(vocabulary().size()))] + QString::number(i % 97) + u'.'
                       + tlds[int(random.bounded(tlds.size()))];
        if (random.bounded(3) == 0)
            host.prepend(u"www."_s);
        hosts.append(host);
    }
    // A few well-known kinds so every item type shows up.
    hosts[0] = u"www.youtube.com"_s;
    hosts[1] = u"twitter.com"_s;
    hosts[2] = u"github.com"_s;

    const QList<QColor> colors{QColor(0xFF, 0x3B, 0x30), QColor(0xFF, 0x95, 0x00), QColor(0x34, 0xC7, 0x59),
                               QColor(0x00, 0x7A, 0xFF), QColor(0xAF, 0x52, 0xDE), QColor(0x8E, 0x8E, 0x93)};
    QList<Tag*> tags;
    for (int i = 0; i < options.tags; ++i)
        tags.append(context.insert(std::make_unique<Tag>(sentence(random, 1, 2, true), colors[i % colors.size()])));
    QList<Folder*> folders;
    for (int i = 0; i < options.folders; ++i) {
        Folder* parent = (i >= 10 && random.bounded(2) == 0) ? folders[int(random.bounded(10))] : nullptr;
        folders.append(context.insert(
            std::make_unique<Folder>(sentence(random, 1, 3, true), u"folder"_s, colors[i % colors.size()], parent)));
    }

    const QDateTime end = QDateTime(QDate(2026, 12, 1), QTime(12, 0), QTimeZone::utc());
    const qint64 span = qint64(3) * 365 * 24 * 3600 * 1000;
    const QStringList suffixes{u""_s, u""_s, u""_s, u""_s, u".html"_s, u".pdf"_s, u".png"_s, u".mp4"_s};
    for (int i = 0; i < options.items; ++i) {
        const QString& host = hosts[zipfRank(random, int(hosts.size()))];
        QString path;
        const int segments = 1 + int(random.bounded(3));
        for (int s = 0; s < segments; ++s)
            path += u'/' + vocabulary()[int(random.bounded(vocabulary().size()))];
        path += suffixes[int(random.bounded(suffixes.size()))];
        const QUrl url(u"https://"_s + host + path + (random.bounded(4) == 0 ? u"?id=%1"_s.arg(i) : QString()));
        std::optional<QString> note;
        if (random.bounded(3) == 0)
            note = sentence(random, 5, 30, false);
        Folder* folder = random.bounded(5) == 0 ? folders[int(random.bounded(folders.size()))] : nullptr;
        auto item = std::make_unique<Item>(ItemTypes::detect(url), sentence(random, 2, 10, true), url, note, folder);
        const QDateTime created = end.addMSecs(-qint64(random.generateDouble() * double(span)));
        item->setCreatedAt(created);
        item->setModifiedAt(created.addSecs(qint64(random.bounded(86400))));
        const int tagCount = int(random.bounded(5));
        QList<Tag*> itemTags;
        for (int t = 0; t < tagCount; ++t) {
            Tag* tag = tags[int(random.bounded(tags.size()))];
            if (!itemTags.contains(tag))
                itemTags.append(tag);
        }
        item->setTags(itemTags);
        item->setFavorite(random.bounded(12) == 0);
        item->setArchived(random.bounded(15) == 0);
        if (random.bounded(20) == 0)
            item->setAccessedAt(end.addSecs(-qint64(random.bounded(30 * 86400))));
        context.insert(std::move(item));
    }
}

std::unique_ptr<ModelContext> LibraryGenerator::create(const QString& storePath, const Options& options)
{
    auto opened = ModelContext::open(storePath);
    if (!opened)
        qFatal("cannot create %s: %s", qPrintable(storePath), qPrintable(opened.error()));
    std::unique_ptr<ModelContext> context = std::move(opened).value();
    populate(*context, options);
    if (Status s = context->save(); !s)
        qFatal("cannot save %s: %s", qPrintable(storePath), qPrintable(s.error()));
    return context;
}
