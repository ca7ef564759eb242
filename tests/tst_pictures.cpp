#include "services/metadata/PictureDecoder.h"
#include "services/metadata/ThumbnailService.h"
#include "support/HostilePictures.h"
#include "support/TestSupport.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray realPng()
{
    QImage image(640, 480, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x % 256, y % 256, (x * y) % 256));
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "png").write(image);
    return out;
}

// What a process may grow by for one picture, whatever the picture.
constexpr long kGrowthLimitKiB = 256 * 1024;

} // namespace

// Pictures that declare far more pixels than they carry, cut-short files and
// files that are no picture at all: every path that decodes refuses them
// from the header or the data, and no process grows by more than 256 MB.
class TestPictures : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QHash<QString, long> m_baselineKiB; // per command, for an ordinary picture

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return {};
        return path;
    }

    HostilePictures::Measured runCommand(const QString& command, const QString& input)
    {
        QStringList args{command, input};
        if (command != u"add-image")
            args.append(m_dir.filePath(u"out.jpg"_s));
        // Memory and exit status are measured here; leaks are the other CLI
        // tests' business (and LeakSanitizer's own exit can fail under load).
        return HostilePictures::runMeasured(TestSupport::cliPath(), args,
                                            {u"FOLIONEST_CONTAINER="_s + m_dir.filePath(u"library"_s),
                                             u"ASAN_OPTIONS=detect_leaks=0:abort_on_error=1"_s});
    }

private Q_SLOTS:
    void initTestCase()
    {
        TestSupport::initTestEnvironment();
        QVERIFY(m_dir.isValid());
        const QString ordinary = writeFile(u"ordinary.png"_s, realPng());
        for (const QString& command : {u"thumbnail"_s, u"compress"_s, u"add-image"_s}) {
            const auto measured = runCommand(command, ordinary);
            QCOMPARE(measured.exitCode, 0);
            m_baselineKiB.insert(command, measured.peakKiB);
        }
    }

    void hostileFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("isPicture");
        const QByteArray png = realPng();
        QTest::newRow("GIF screen 15000 x 16000 around a 16 x 16 frame")
            << HostilePictures::gifScreen(15000, 16000) << false;
        QTest::newRow("PNG declaring 20000 x 20000") << HostilePictures::pngDeclaring(20000, 20000) << false;
        QTest::newRow("PNG declaring 50000 x 50000") << HostilePictures::pngDeclaring(50000, 50000) << false;
        QTest::newRow("JPEG declaring 65000 x 65000") << HostilePictures::jpegDeclaring(65000, 65000) << false;
        QTest::newRow("WebP declaring 16384 x 16384") << HostilePictures::webpDeclaring(16384, 16384) << false;
        QTest::newRow("GIF of 5000 frames") << HostilePictures::gifFrames(5000) << true;
        QTest::newRow("PNG cut in half") << png.left(png.size() / 2) << false;
        QTest::newRow("PNG cut after its header") << png.left(64) << false;
        QTest::newRow("text file") << QByteArray("just some words\n") << false;
        QTest::newRow("empty file") << QByteArray() << false;
    }

    void hostileFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, isPicture);

        // In this process: every decode the window and the services make.
        using PictureDecoder::Fit;
        QCOMPARE(!PictureDecoder::decode(bytes, QSize(400, 400), Fit::inside).isNull(), isPicture);
        QCOMPARE(!PictureDecoder::decode(bytes, QSize(200, 150), Fit::covering).isNull(), isPicture);
        QCOMPARE(!PictureDecoder::decode(bytes).isNull(), isPicture);
        QCOMPARE(ThumbnailService::isImage(bytes), isPicture);
        QCOMPARE(ThumbnailService::generateThumbnail(bytes).has_value(), isPicture);
        QCOMPARE(ThumbnailService::compressImage(bytes).has_value(), isPicture);

        // In a real process: refused with "not an image" (4), and small.
        const QString path = writeFile(u"input"_s, bytes);
        QVERIFY(!path.isEmpty());
        for (const QString& command : {u"thumbnail"_s, u"compress"_s, u"add-image"_s}) {
            const auto measured = runCommand(command, path);
            QVERIFY2(measured.exitCode == (isPicture ? 0 : 4),
                     qPrintable(u"%1 exited with %2: %3"_s.arg(command)
                                    .arg(measured.exitCode)
                                    .arg(QString::fromLocal8Bit(measured.errors))));
            const long growth = measured.peakKiB - m_baselineKiB.value(command);
            qInfo("%s: exit %d, grew by %ld KiB", qPrintable(command), measured.exitCode, growth);
            QVERIFY2(growth < kGrowthLimitKiB, qPrintable(u"%1 grew by %2 KiB"_s.arg(command).arg(growth)));
        }
    }

    // Ordinary large pictures still decode: a JPEG shrinks while decoding, so
    // a 100-megapixel photograph gets its thumbnail within the budget.
    void largeJpegShrinksWhileDecoding()
    {
        QImage big(10000, 10000, QImage::Format_RGB32);
        big.fill(QColor(20, 120, 60));
        QByteArray jpeg;
        {
            QBuffer buffer(&jpeg);
            buffer.open(QIODevice::WriteOnly);
            QImageWriter writer(&buffer, "jpeg");
            writer.setQuality(30);
            QVERIFY(writer.write(big));
        }
        big = QImage();
        const auto thumbnail = ThumbnailService::generateThumbnail(jpeg);
        QVERIFY(thumbnail);
        QCOMPARE(QImage::fromData(*thumbnail).size(), QSize(400, 400));
        const QImage screen = PictureDecoder::decode(jpeg, QSize(1920, 1080), PictureDecoder::Fit::inside);
        QCOMPARE(screen.size(), QSize(1080, 1080));
    }
};

QTEST_GUILESS_MAIN(TestPictures)
#include "tst_pictures.moc"
