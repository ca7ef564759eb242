#include "model/ItemType.h"
#include "support/TestSupport.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestItemType : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void detect_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<ItemType>("expected");
        QTest::newRow("plain page") << u"https://example.com/article"_s << ItemType::webLink;
        QTest::newRow("social host") << u"https://www.instagram.com/p/abc"_s << ItemType::socialPost;
        QTest::newRow("host merely containing x.com") << u"https://dropbox.com/s/file"_s << ItemType::socialPost;
        QTest::newRow("threads.net") << u"https://threads.net/@a/post/1"_s << ItemType::socialPost;
        QTest::newRow("fb.com") << u"https://fb.com/story"_s << ItemType::socialPost;
        QTest::newRow("host is lower-cased") << u"https://WWW.TikTok.COM/@a"_s << ItemType::socialPost;
        QTest::newRow("subdomain of youtube.com") << u"https://music.youtube.com/watch?v=1"_s << ItemType::video;
        QTest::newRow("youtu.be") << u"https://youtu.be/abc"_s << ItemType::video;
        QTest::newRow("video host wins over an image suffix") << u"https://youtube.com/thumb.png"_s << ItemType::video;
        QTest::newRow("social host wins over video host")
            << u"https://twitter.com.youtube.com/"_s << ItemType::socialPost;
        QTest::newRow("mp4 suffix") << u"https://cdn.example.com/clip.MP4"_s << ItemType::video;
        QTest::newRow("mov suffix") << u"https://cdn.example.com/clip.mov"_s << ItemType::video;
        QTest::newRow("jpeg suffix") << u"https://example.com/a/photo.jpeg"_s << ItemType::image;
        QTest::newRow("webp suffix") << u"https://example.com/a/photo.webp"_s << ItemType::image;
        QTest::newRow("query does not count") << u"https://example.com/page?f=photo.png"_s << ItemType::webLink;
        QTest::newRow("file URL with upper-case PDF") << u"file:///home/u/Report.PDF"_s << ItemType::document;
        QTest::newRow("file URL without a listed suffix") << u"file:///home/u/archive.zip"_s << ItemType::webLink;
        QTest::newRow("percent-encoded path is decoded") << u"https://example.com/notes%2Emd"_s << ItemType::document;
        QTest::newRow("svg is a document, not an image") << u"https://example.com/logo.svg"_s << ItemType::document;
        QTest::newRow("mail address") << u"mailto:someone@example.com"_s << ItemType::webLink;
    }
    void detect()
    {
        QFETCH(QString, url);
        QFETCH(ItemType, expected);
        QCOMPARE(ItemTypes::detect(QUrl(url)), expected);
    }

    void everyDocumentSuffixIsDetected()
    {
        const QList<QString>& suffixes = ItemTypes::documentSuffixes();
        QCOMPARE(suffixes.size(), 68);
        QCOMPARE(QSet<QString>(suffixes.begin(), suffixes.end()).size(), 68);
        for (const QString& suffix : suffixes) {
            QCOMPARE(ItemTypes::detect(QUrl(u"https://example.org/dir/file"_s + suffix)), ItemType::document);
            QCOMPARE(ItemTypes::detect(QUrl(u"https://example.org/FILE"_s + suffix.toUpper())), ItemType::document);
        }
    }

    void vocabulary()
    {
        const QStringList raws{u"web_link"_s, u"video"_s, u"social_post"_s, u"image"_s, u"screenshot"_s, u"document"_s};
        const QStringList names{u"Web Link"_s, u"Video"_s,      u"Social Post"_s,
                                u"Image"_s,    u"Screenshot"_s, u"Document"_s};
        QCOMPARE(ItemTypes::allCases().size(), 6);
        for (int i = 0; i < 6; ++i) {
            const ItemType type = ItemTypes::allCases()[i];
            QCOMPARE(ItemTypes::rawValue(type), raws[i]);
            QCOMPARE(ItemTypes::displayName(type), names[i]);
            QCOMPARE(ItemTypes::fromRawValue(raws[i]), std::optional<ItemType>(type));
        }
        QCOMPARE(ItemTypes::fromRawValue(u"Web_Link"), std::nullopt);
        QCOMPARE(ItemTypes::tintColor(ItemType::webLink), QColor(0x00, 0x7A, 0xFF));
        QCOMPARE(ItemTypes::iconName(ItemType::socialPost), u"bubble.left.and.bubble.right"_s);
    }
};

QTEST_GUILESS_MAIN(TestItemType)
#include "tst_itemtype.moc"
