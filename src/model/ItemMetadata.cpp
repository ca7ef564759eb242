#include "ItemMetadata.h"

#include "Clock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include <cmath>

using namespace Qt::StringLiterals;

double ReferenceDate::secondsSinceReference(const QDateTime& date)
{
    return double(date.toMSecsSinceEpoch()) / 1000.0 - double(kUnixOffsetSeconds);
}

QDateTime ReferenceDate::fromSecondsSinceReference(double seconds)
{
    const double ms = std::round((seconds + double(kUnixOffsetSeconds)) * 1000.0);
    return Clock::fromMSecsUtc(qint64(ms));
}

QByteArray ItemMetadata::toJson() const
{
    QJsonObject o;
    auto putString = [&o](const char16_t* key, const std::optional<QString>& v) {
        if (v)
            o.insert(QString::fromUtf16(key), *v);
    };
    putString(u"author", author);
    if (publishDate)
        o.insert(u"publishDate"_s, ReferenceDate::secondsSinceReference(*publishDate));
    putString(u"description", description);
    if (duration)
        o.insert(u"duration"_s, *duration);
    putString(u"platform", platform);
    putString(u"ogImageURL", ogImageURL);
    putString(u"siteName", siteName);
    putString(u"articleType", articleType);
    if (keywords)
        o.insert(u"keywords"_s, QJsonArray::fromStringList(*keywords));
    putString(u"videoId", videoId);
    if (customFields) {
        QJsonObject fields;
        for (auto it = customFields->cbegin(); it != customFields->cend(); ++it)
            fields.insert(it.key(), it.value());
        o.insert(u"customFields"_s, fields);
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

namespace {
// Decoding helpers: true when the key is absent or null (value none), or the
// value has the right type; false on a type mismatch.
bool readString(const QJsonObject& o, QLatin1StringView key, std::optional<QString>& out)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return true;
    if (!v.isString())
        return false;
    out = v.toString();
    return true;
}

bool readDouble(const QJsonObject& o, QLatin1StringView key, std::optional<double>& out)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return true;
    if (!v.isDouble())
        return false;
    out = v.toDouble();
    return true;
}
} // namespace

std::optional<ItemMetadata> ItemMetadata::fromJson(const QByteArray& json)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();

    ItemMetadata m;
    std::optional<double> publish;
    bool ok = readString(o, "author"_L1, m.author) && readDouble(o, "publishDate"_L1, publish)
              && readString(o, "description"_L1, m.description) && readDouble(o, "duration"_L1, m.duration)
              && readString(o, "platform"_L1, m.platform) && readString(o, "ogImageURL"_L1, m.ogImageURL)
              && readString(o, "siteName"_L1, m.siteName) && readString(o, "articleType"_L1, m.articleType)
              && readString(o, "videoId"_L1, m.videoId);
    if (!ok)
        return std::nullopt;
    if (publish) {
        if (!std::isfinite(*publish))
            return std::nullopt;
        m.publishDate = ReferenceDate::fromSecondsSinceReference(*publish);
    }

    const QJsonValue keywords = o.value("keywords"_L1);
    if (!keywords.isUndefined() && !keywords.isNull()) {
        if (!keywords.isArray())
            return std::nullopt;
        QStringList list;
        for (const QJsonValue& k : keywords.toArray()) {
            if (!k.isString())
                return std::nullopt;
            list.append(k.toString());
        }
        m.keywords = list;
    }

    const QJsonValue custom = o.value("customFields"_L1);
    if (!custom.isUndefined() && !custom.isNull()) {
        if (!custom.isObject())
            return std::nullopt;
        QMap<QString, QString> fields;
        const QJsonObject co = custom.toObject();
        for (auto it = co.constBegin(); it != co.constEnd(); ++it) {
            if (!it.value().isString())
                return std::nullopt;
            fields.insert(it.key(), it.value().toString());
        }
        m.customFields = fields;
    }
    return m;
}
