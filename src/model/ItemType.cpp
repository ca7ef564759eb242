#include "ItemType.h"

#include "SystemColors.h"

using namespace Qt::StringLiterals;

const QList<ItemType>& ItemTypes::allCases()
{
    static const QList<ItemType> s_all{ItemType::webLink, ItemType::video,      ItemType::socialPost,
                                       ItemType::image,   ItemType::screenshot, ItemType::document};
    return s_all;
}

QString ItemTypes::rawValue(ItemType type)
{
    // Static strings, so records of the same type share one buffer.
    static const QString s_raw[] = {u"web_link"_s, u"video"_s,      u"social_post"_s,
                                    u"image"_s,    u"screenshot"_s, u"document"_s};
    return s_raw[int(type)];
}

std::optional<ItemType> ItemTypes::fromRawValue(QStringView raw)
{
    for (ItemType type : allCases()) {
        if (rawValue(type) == raw)
            return type;
    }
    return std::nullopt;
}

QString ItemTypes::displayName(ItemType type)
{
    switch (type) {
    case ItemType::webLink: return u"Web Link"_s;
    case ItemType::video: return u"Video"_s;
    case ItemType::socialPost: return u"Social Post"_s;
    case ItemType::image: return u"Image"_s;
    case ItemType::screenshot: return u"Screenshot"_s;
    case ItemType::document: return u"Document"_s;
    }
    return {};
}

QString ItemTypes::iconName(ItemType type)
{
    switch (type) {
    case ItemType::webLink: return u"link"_s;
    case ItemType::video: return u"play.rectangle"_s;
    case ItemType::socialPost: return u"bubble.left.and.bubble.right"_s;
    case ItemType::image: return u"photo"_s;
    case ItemType::screenshot: return u"camera.viewfinder"_s;
    case ItemType::document: return u"doc"_s;
    }
    return {};
}

QColor ItemTypes::tintColor(ItemType type)
{
    switch (type) {
    case ItemType::webLink: return SystemColors::blue();
    case ItemType::video: return SystemColors::red();
    case ItemType::socialPost: return SystemColors::purple();
    case ItemType::image: return SystemColors::green();
    case ItemType::screenshot: return SystemColors::orange();
    case ItemType::document: return SystemColors::gray();
    }
    return SystemColors::blue();
}

const QList<QString>& ItemTypes::documentSuffixes()
{
    static const QList<QString> s_suffixes{
        u".pdf"_s,     u".doc"_s,   u".docx"_s, u".xls"_s,   u".xlsx"_s,     u".ppt"_s,    u".pptx"_s, u".odt"_s,
        u".ods"_s,     u".odp"_s,   u".epub"_s, u".md"_s,    u".markdown"_s, u".txt"_s,    u".rtf"_s,  u".html"_s,
        u".htm"_s,     u".xhtml"_s, u".sh"_s,   u".bash"_s,  u".zsh"_s,      u".py"_s,     u".pyw"_s,  u".js"_s,
        u".ts"_s,      u".jsx"_s,   u".tsx"_s,  u".swift"_s, u".c"_s,        u".h"_s,      u".cpp"_s,  u".hpp"_s,
        u".m"_s,       u".mm"_s,    u".java"_s, u".kt"_s,    u".kts"_s,      u".rs"_s,     u".go"_s,   u".rb"_s,
        u".php"_s,     u".pl"_s,    u".r"_s,    u".lua"_s,   u".vue"_s,      u".svelte"_s, u".dart"_s, u".scala"_s,
        u".json"_s,    u".xml"_s,   u".csv"_s,  u".tex"_s,   u".rst"_s,      u".yml"_s,    u".yaml"_s, u".toml"_s,
        u".ini"_s,     u".cfg"_s,   u".conf"_s, u".env"_s,   u".css"_s,      u".scss"_s,   u".less"_s, u".sql"_s,
        u".graphql"_s, u".gql"_s,   u".log"_s,  u".svg"_s};
    return s_suffixes;
}

ItemType ItemTypes::detect(const QUrl& url)
{
    // The decoded path, as a file system or a browser would show it.
    return detect(url.host().toLower(), url.path(QUrl::FullyDecoded).toLower());
}

ItemType ItemTypes::detect(QStringView host, QStringView path)
{
    static const QList<QString> s_socialHosts{u"facebook.com"_s, u"fb.com"_s,     u"instagram.com"_s,
                                              u"twitter.com"_s,  u"x.com"_s,      u"linkedin.com"_s,
                                              u"tiktok.com"_s,   u"threads.net"_s};
    static const QList<QString> s_videoHosts{u"youtube.com"_s, u"youtu.be"_s, u"vimeo.com"_s, u"dailymotion.com"_s};
    for (const QString& domain : s_socialHosts) {
        if (host.contains(domain))
            return ItemType::socialPost;
    }
    for (const QString& domain : s_videoHosts) {
        if (host.contains(domain))
            return ItemType::video;
    }
    // Every suffix below is a dot and letters or digits, so a path ends with
    // one exactly when the part from its last dot is that suffix.
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot < 0)
        return ItemType::webLink;
    const QStringView suffix = path.sliced(dot);
    if (suffix == u".mp4" || suffix == u".mov")
        return ItemType::video;
    for (const auto image : {u".jpg", u".jpeg", u".png", u".gif", u".webp"}) {
        if (suffix == QStringView(image))
            return ItemType::image;
    }
    for (const QString& document : documentSuffixes()) {
        if (suffix == document)
            return ItemType::document;
    }
    return ItemType::webLink;
}
