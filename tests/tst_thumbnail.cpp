#include "model/Item.h"
#include "services/metadata/ThumbnailService.h"
#include "support/HostilePictures.h"
#include "support/TestSupport.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {

// A picture with detail, so encoders have real work.
QImage photoLike(int width, int height, bool alpha = false)
{
    QImage image(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, width, height);
    g.setColorAt(0, QColor(30, 90, 160, alpha ? 0 : 255));
    g.setColorAt(1, QColor(240, 200, 80));
    p.fillRect(image.rect(), g);
    p.setPen(Qt::white);
    for (int i = 0; i < 40; ++i)
        p.drawEllipse(QPoint(width * i / 40, height / 2), width / 20, height / 10);
    return image;
}

QByteArray encode(const QImage& image, const char* format, int quality = -1)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.write(image);
    return out;
}

QSize decodedSize(const QByteArray& bytes, QByteArray* format = nullptr)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    if (format)
        *format = reader.format();
    return reader.read().size();
}

} // namespace

class TestThumbnail : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void thumbnailSizes_data()
    {
        QTest::addColumn<QSize>("input");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("landscape JPEG is scaled to 400 wide")
            << QSize(4000, 3000) << QByteArray("jpeg") << QSize(400, 300);
        QTest::newRow("portrait PNG is scaled to 400 high") << QSize(300, 1200) << QByteArray("png") << QSize(100, 400);
        QTest::newRow("small image is never enlarged") << QSize(200, 100) << QByteArray("png") << QSize(200, 100);
        QTest::newRow("exactly 400 is not scaled") << QSize(400, 400) << QByteArray("jpeg") << QSize(400, 400);
        QTest::newRow("fractional side rounds to nearest") << QSize(1000, 333) << QByteArray("png") << QSize(400, 133);
        QTest::newRow("thin strip keeps one pixel") << QSize(5000, 3) << QByteArray("png") << QSize(400, 1);
        QTest::newRow("WebP") << QSize(800, 600) << QByteArray("webp") << QSize(400, 300);
        QTest::newRow("GIF") << QSize(800, 600) << QByteArray("gif") << QSize(400, 300);
        QTest::newRow("TIFF") << QSize(800, 600) << QByteArray("tiff") << QSize(400, 300);
        QTest::newRow("BMP") << QSize(600, 800) << QByteArray("bmp") << QSize(300, 400);
    }
    void thumbnailSizes()
    {
        QFETCH(QSize, input);
        QFETCH(QByteArray, format);
        QFETCH(QSize, expected);
        QByteArray bytes;
        if (format == "gif") {
            // Qt reads GIF but cannot write it: a fixture made elsewhere.
            QFile file(TestSupport::testDataPath(u"gradient-800x600.gif"_s));
            QVERIFY(file.open(QIODevice::ReadOnly));
            bytes = file.readAll();
        } else {
            bytes = encode(photoLike(input.width(), input.height()), format.constData());
        }
        QVERIFY(!bytes.isEmpty());
        const auto thumbnail = ThumbnailService::generateThumbnail(bytes);
        QVERIFY(thumbnail);
        QByteArray outFormat;
        QCOMPARE(decodedSize(*thumbnail, &outFormat), expected);
        QCOMPARE(outFormat, QByteArray("jpeg"));
        QCOMPARE(ThumbnailService::thumbnailSize(input), expected);
    }

    void thumbnailKeepsThePicture()
    {
        // Shrinking while decoding must still look like the original.
        const QImage original = photoLike(4000, 3000);
        const auto thumbnail = ThumbnailService::generateThumbnail(encode(original, "jpeg", 90));
        QVERIFY(thumbnail);
        QImage small = QImage::fromData(*thumbnail).convertToFormat(QImage::Format_RGB32);
        const QImage reference = original.scaled(400, 300, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        qint64 difference = 0;
        for (int y = 0; y < 300; y += 7)
            for (int x = 0; x < 400; x += 7) {
                const QRgb a = small.pixel(x, y), b = reference.pixel(x, y);
                difference += qAbs(qRed(a) - qRed(b)) + qAbs(qGreen(a) - qGreen(b)) + qAbs(qBlue(a) - qBlue(b));
            }
        const double perChannel = double(difference) / (3.0 * (300 / 7 + 1) * (400 / 7 + 1));
        QVERIFY2(perChannel < 8.0, qPrintable(QString::number(perChannel)));
    }

    void transparencyBecomesWhite()
    {
        QImage image(100, 100, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        const auto thumbnail = ThumbnailService::generateThumbnail(encode(image, "png"));
        QVERIFY(thumbnail);
        const QRgb pixel = QImage::fromData(*thumbnail).pixel(50, 50);
        QVERIFY2(qRed(pixel) > 245 && qGreen(pixel) > 245 && qBlue(pixel) > 245,
                 qPrintable(QString::number(pixel, 16)));
    }

    void badInputGivesNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("an HTML page") << QByteArray("<!doctype html><html><head><title>x</title></head></html>");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("random bytes") << [] {
            QByteArray b(4096, '\0');
            QRandomGenerator(3).fillRange(reinterpret_cast<quint32*>(b.data()), b.size() / 4);
            return b;
        }();
        QTest::newRow("PNG signature only") << QByteArray("\x89PNG\r\n\x1a\n", 8);
        QTest::newRow("decompression bomb 50000 x 50000") << HostilePictures::pngDeclaring(50000, 50000);
        // 400 MB of pixels, and PNG cannot shrink while decoding.
        QTest::newRow("PNG of 100 megapixels") << HostilePictures::pngDeclaring(10000, 10000);
    }
    void badInputGivesNothing()
    {
        QFETCH(QByteArray, bytes);
        QCOMPARE(ThumbnailService::generateThumbnail(bytes), std::nullopt);
        QCOMPARE(ThumbnailService::compressImage(bytes), std::nullopt);
    }

    void truncatedImageNeverCrashes_data()
    {
        QTest::addColumn<QByteArray>("format");
        QTest::newRow("JPEG cut in half") << QByteArray("jpeg");
        QTest::newRow("PNG cut in half") << QByteArray("png");
        QTest::newRow("GIF cut in half") << QByteArray("gif");
    }
    void truncatedImageNeverCrashes()
    {
        QFETCH(QByteArray, format);
        QByteArray whole;
        if (format == "gif") {
            QFile file(TestSupport::testDataPath(u"gradient-800x600.gif"_s));
            QVERIFY(file.open(QIODevice::ReadOnly));
            whole = file.readAll();
        } else {
            whole = encode(photoLike(800, 600), format.constData());
        }
        QVERIFY(!whole.isEmpty());
        const QByteArray half = whole.left(whole.size() / 2);
        // Either nothing or the decodable part, as a proper thumbnail.
        if (const auto thumbnail = ThumbnailService::generateThumbnail(half))
            QCOMPARE(decodedSize(*thumbnail), QSize(400, 300));
    }

    void compressKeepsSmallImagesByteForByte()
    {
        // About 2 MiB of PNG: returned unchanged, still PNG.
        QImage noise(900, 800, QImage::Format_RGB32);
        QRandomGenerator(9).fillRange(reinterpret_cast<quint32*>(noise.bits()), int(noise.sizeInBytes() / 4));
        const QByteArray png = encode(noise, "png");
        QVERIFY(png.size() > 2 * 1024 * 1024 && png.size() < 10'485'760);
        QCOMPARE(ThumbnailService::compressImage(png), std::optional<QByteArray>(png));
    }

    void compressLimitIsTenMebibytes_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("unchanged");
        QTest::newRow("exactly 10,485,760 bytes is kept") << qint64(10'485'760) << true;
        QTest::newRow("10,485,761 bytes is re-encoded") << qint64(10'485'761) << false;
    }
    void compressLimitIsTenMebibytes()
    {
        QFETCH(qint64, size);
        QFETCH(bool, unchanged);
        // A real JPEG padded after its end marker, which decoders ignore.
        QByteArray bytes = encode(photoLike(2000, 1500), "jpeg", 95);
        bytes.append(QByteArray(int(size - bytes.size()), '\0'));
        QCOMPARE(bytes.size(), size);
        const auto result = ThumbnailService::compressImage(bytes);
        QVERIFY(result);
        if (unchanged) {
            QVERIFY(*result == bytes);
        } else {
            QVERIFY(result->size() <= 10'485'760);
            QByteArray format;
            QCOMPARE(decodedSize(*result, &format), QSize(2000, 1500)); // never scaled
            QCOMPARE(format, QByteArray("jpeg"));
            // The first quality is 0.85: the same bytes as encoding at 85.
            QCOMPARE(*result, *ThumbnailService::encodeJPEG(QImage::fromData(bytes), 0.85));
        }
    }

    void compressLowersQualityUntilItFits()
    {
        // Noise this large does not fit in 10 MiB at quality 0.85. BMP keeps
        // the input quick to write.
        QImage noise(5000, 3500, QImage::Format_RGB32);
        QRandomGenerator(5).fillRange(reinterpret_cast<quint32*>(noise.bits()), int(noise.sizeInBytes() / 4));
        const QByteArray bmp = encode(noise, "bmp");
        const auto high = ThumbnailService::encodeJPEG(noise, 0.85);
        QVERIFY2(high->size() > 10'485'760, qPrintable(QString::number(high->size())));
        const auto result = ThumbnailService::compressImage(bmp);
        QVERIFY(result);
        QVERIFY(result->size() <= 10'485'760);
        QVERIFY(result->size() < high->size());
        QCOMPARE(decodedSize(*result), QSize(5000, 3500));
    }

    void itemOperationsUseTheService()
    {
        TestSupport::FixedClock clock(QDateTime(QDate(2026, 5, 1), QTime(9, 0), QTimeZone::utc()));
        Item item(ItemType::image, u"x"_s);
        const QDateTime before = item.modifiedAt();
        clock.advance(1000);
        item.setThumbnail("not an image");
        item.setImage("not an image");
        QVERIFY(!item.hasThumbnail() && !item.hasImage());
        QCOMPARE(item.modifiedAt(), before);

        const QByteArray png = encode(photoLike(800, 400), "png");
        item.setThumbnail(png);
        item.setImage(png);
        QCOMPARE(decodedSize(*item.thumbnailData()), QSize(400, 200));
        QCOMPARE(item.imageData(), std::optional<QByteArray>(png));
        QCOMPARE(item.modifiedAt(), clock.now());
    }
};

QTEST_GUILESS_MAIN(TestThumbnail)
#include "tst_thumbnail.moc"
