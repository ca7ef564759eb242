#include "app/AppNotifications.h"
#include "app/AppState.h"
#include "app/ItemCreation.h"
#include "model/Item.h"
#include "store/ModelContext.h"
#include "support/TestSupport.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {
QByteArray encoded(int w, int h, const char* format)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return out;
}

QByteArray png(int w, int h)
{
    return encoded(w, h, "png");
}
} // namespace

class TestItemCreation : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void addItemFromURL_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<ItemType>("type");
        QTest::addColumn<QString>("title");
        QTest::newRow("web page") << u"https://www.example.com/a"_s << ItemType::webLink << u"www.example.com"_s;
        QTest::newRow("video") << u"https://youtu.be/x"_s << ItemType::video << u"youtu.be"_s;
        QTest::newRow("file URL has no host") << u"file:///home/u/notes.pdf"_s << ItemType::document << u"Untitled"_s;
        QTest::newRow("mail address") << u"mailto:someone@example.com"_s << ItemType::webLink << u"Untitled"_s;
    }
    void addItemFromURL()
    {
        QFETCH(QString, url);
        QFETCH(ItemType, type);
        QFETCH(QString, title);
        TestSupport::TempContainer container;
        auto ctx = container.open();
        Item* selected = nullptr;
        const auto added = ItemCreation::addItemFromURL(*ctx, QUrl(url), nullptr, [&](Item* i) { selected = i; });
        QCOMPARE(selected, added.item);
        QCOMPARE(added.item->type(), type);
        QCOMPARE(added.item->title(), title);
        QCOMPARE(added.item->urlString(), std::optional<QString>(QUrl(url).toString(QUrl::FullyEncoded)));
        QCOMPARE(added.item->folder(), nullptr);
        QCOMPARE(added.item->note(), std::nullopt);
        // No duplicate check: the same address twice gives two items.
        ItemCreation::addItemFromURL(*ctx, QUrl(url), nullptr);
        QCOMPARE(ctx->items().size(), 2);
    }

    void addItemFromImageData()
    {
        TestSupport::TempContainer container;
        auto ctx = container.open();
        TestSupport::FixedClock clock(QDateTime(QDate(2026, 12, 10), QTime(13, 47), Qt::LocalTime).toUTC());
        const QByteArray picture = png(1200, 600);
        const auto added = ItemCreation::addItemFromImageData(*ctx, picture);
        QCOMPARE(added.item->type(), ItemType::screenshot);
        QCOMPARE(added.item->title(), u"Screenshot Dec 10, 1:47 PM"_s);
        QCOMPARE(added.item->urlString(), std::nullopt);
        QCOMPARE(added.item->sourceDomain(), std::nullopt);
        QCOMPARE(added.item->imageData(), std::optional<QByteArray>(picture));
        QCOMPARE(QImage::fromData(*added.item->thumbnailData()).size(), QSize(400, 200));

        // Bytes that are no picture: the item is still made, without thumbnail.
        const auto odd = ItemCreation::addItemFromImageData(*ctx, "not a picture");
        QVERIFY(!odd.item->hasThumbnail());
        QCOMPARE(odd.item->imageData(), std::optional<QByteArray>("not a picture"));
        QCOMPARE(ctx->items().size(), 2);
    }

    void screenshotTitleFollowsTheLocale_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("expected");
        QTest::newRow("English (US): month first, AM/PM")
            << QLocale(QLocale::English, QLocale::UnitedStates) << u"Screenshot Mar 5, 9:07 AM"_s;
        QTest::newRow("German: day first, 24 hours")
            << QLocale(QLocale::German, QLocale::Germany) << u"Screenshot 5 März, 09:07"_s;
    }
    void screenshotTitleFollowsTheLocale()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, expected);
        const QDateTime when(QDate(2026, 3, 5), QTime(9, 7), Qt::LocalTime);
        QCOMPARE(ItemCreation::screenshotTitle(when, locale), expected);
    }

    void clipboardIntake_data()
    {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("withPng");
        QTest::addColumn<QString>("expected"); // "url:<url>", "image" or ""
        QTest::newRow("URL entry wins over PNG")
            << QList<QUrl>{QUrl(u"https://example.com/"_s)} << QString() << true << u"url:https://example.com/"_s;
        QTest::newRow("text URL with scheme")
            << QList<QUrl>{} << u"https://example.org/page"_s << true << u"url:https://example.org/page"_s;
        QTest::newRow("bare domain falls through to PNG") << QList<QUrl>{} << u"example.org"_s << true << u"image"_s;
        QTest::newRow("bare domain without PNG does nothing")
            << QList<QUrl>{} << u"example.org"_s << false << QString();
        QTest::newRow("mail address is a URL")
            << QList<QUrl>{} << u"mailto:a@example.com"_s << false << u"url:mailto:a@example.com"_s;
        QTest::newRow("a sentence is no URL") << QList<QUrl>{} << u"note: buy milk"_s << false << QString();
        QTest::newRow("empty clipboard") << QList<QUrl>{} << QString() << false << QString();
    }
    void clipboardIntake()
    {
        QFETCH(QList<QUrl>, urls);
        QFETCH(QString, text);
        QFETCH(bool, withPng);
        QFETCH(QString, expected);
        auto* data = new QMimeData;
        if (!urls.isEmpty())
            data->setUrls(urls);
        else if (!text.isEmpty())
            data->setText(text);
        if (withPng)
            data->setData(u"image/png"_s, png(10, 10));
        QGuiApplication::clipboard()->setMimeData(data); // the real clipboard of the offscreen platform

        QSignalSpy url(&AppNotifications::instance(), &AppNotifications::createItemFromURL);
        QSignalSpy image(&AppNotifications::instance(), &AppNotifications::createItemFromImageData);
        AppState state;
        state.pasteFromClipboard();
        if (expected.startsWith(u"url:")) {
            QCOMPARE(url.size(), 1);
            QCOMPARE(url.first().first().toUrl(), QUrl(expected.mid(4)));
            QCOMPARE(image.size(), 0);
        } else if (expected == u"image") {
            QCOMPARE(image.size(), 1);
            QCOMPARE(image.first().first().toByteArray(), png(10, 10));
            QCOMPARE(url.size(), 0);
        } else {
            QCOMPARE(url.size() + image.size(), 0);
        }
    }

    // The menu command and the add menu read the clipboard by one set of
    // rules each, in one place.
    void clipboardRules_data()
    {
        QTest::addColumn<bool>("urlEntry");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("pngBytes");
        QTest::addColumn<QByteArray>("tiffBytes");
        QTest::addColumn<QString>("fromMenuCommand");
        QTest::addColumn<QString>("fromAddMenu");
        const QByteArray picture = png(8, 8);
        const QByteArray tiff = encoded(8, 8, "tiff");
        // Qt offers a URL entry as plain text too, so both read it.
        QTest::newRow("URL entry") << true << QString() << QByteArray() << QByteArray() << u"url"_s << u"url"_s;
        QTest::newRow("URL text wins over PNG")
            << false << u"https://a.example/x"_s << picture << QByteArray() << u"url"_s << u"url"_s;
        QTest::newRow("bare domain falls through to PNG")
            << false << u"a.example"_s << picture << QByteArray() << u"image"_s << u"image"_s;
        QTest::newRow("text with a leading space is not trimmed")
            << false << u" https://a.example/x"_s << QByteArray() << QByteArray() << u"none"_s << u"none"_s;
        QTest::newRow("TIFF alone: only the add menu takes it")
            << false << QString() << QByteArray() << tiff << u"none"_s << u"image"_s;
        QTest::newRow("TIFF bytes that are no picture")
            << false << QString() << QByteArray() << QByteArray("II*\0garbage") << u"none"_s << u"none"_s;
    }
    void clipboardRules()
    {
        QFETCH(bool, urlEntry);
        QFETCH(QString, text);
        QFETCH(QByteArray, pngBytes);
        QFETCH(QByteArray, tiffBytes);
        QFETCH(QString, fromMenuCommand);
        QFETCH(QString, fromAddMenu);
        QMimeData data;
        if (urlEntry)
            data.setUrls({QUrl(u"https://entry.example/"_s)});
        if (!text.isEmpty())
            data.setText(text);
        if (!pngBytes.isEmpty())
            data.setData(u"image/png"_s, pngBytes);
        if (!tiffBytes.isEmpty())
            data.setData(u"image/tiff"_s, tiffBytes);
        auto kind = [&data](ItemCreation::ClipboardRules rules) {
            const auto find = ItemCreation::findInClipboard(&data, rules);
            return !find.url.isEmpty() ? u"url"_s : !find.imageBytes.isEmpty() ? u"image"_s : u"none"_s;
        };
        QCOMPARE(kind(ItemCreation::ClipboardRules::menuCommand), fromMenuCommand);
        QCOMPARE(kind(ItemCreation::ClipboardRules::addMenu), fromAddMenu);
    }
};

QTEST_MAIN(TestItemCreation)
#include "tst_itemcreation.moc"
