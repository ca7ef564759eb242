#include "model/ColorHex.h"
#include "model/Folder.h"
#include "model/Tag.h"
#include "support/TestSupport.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

class TestColorHex : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void textToColor_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QRgb>("expected");
        const QRgb orange = qRgb(0xFF, 0x95, 0x00);
        const QRgb blue = ColorHex::kSystemBlue;
        QTest::newRow("six digits with hash") << u"#FF9500"_s << orange;
        QTest::newRow("six digits without hash") << u"FF9500"_s << orange;
        QTest::newRow("lower case") << u"#ff9500"_s << orange;
        QTest::newRow("surrounding white space") << u"  #FF9500\t"_s << orange;
        QTest::newRow("final line break") << u"#FF9500\n"_s << orange;
        QTest::newRow("doubled hash is removed") << u"##FF9500"_s << orange;
        QTest::newRow("hash in the middle is removed") << u"FF#9500"_s << orange;
        QTest::newRow("0x prefix") << u"0xFF9500"_s << orange;
        QTest::newRow("0X prefix") << u"0XFF9500"_s << orange;
        QTest::newRow("space after hash is skipped") << u"# FF9500"_s << orange;
        QTest::newRow("digits stop at the first other character") << u"#FF9500zz"_s << orange;
        QTest::newRow("three-digit hex is one number") << u"#FFF"_s << qRgb(0, 0x0F, 0xFF);
        QTest::newRow("eight digits keep the low 24 bits") << u"#80FF9500"_s << orange;
        QTest::newRow("lone zero is black") << u"0"_s << qRgb(0, 0, 0);
        QTest::newRow("overflow saturates to white") << u"FFFFFFFFFFFFFFFFFFFF"_s << qRgb(0xFF, 0xFF, 0xFF);
        QTest::newRow("empty text is blue") << QString() << blue;
        QTest::newRow("only a hash is blue") << u"#"_s << blue;
        QTest::newRow("no hexadecimal digits is blue") << u"#GGHHII"_s << blue;
        QTest::newRow("0x without digits is blue") << u"0x"_s << blue;
        QTest::newRow("a sign is not a digit") << u"-FF9500"_s << blue;
    }
    void textToColor()
    {
        QFETCH(QString, text);
        QFETCH(QRgb, expected);
        const QColor color = ColorHex::fromHex(text);
        QCOMPARE(color.rgb(), expected);
        QCOMPARE(color.alpha(), 255);
    }

    void colorToText_data()
    {
        QTest::addColumn<QColor>("color");
        QTest::addColumn<QString>("expected");
        QTest::newRow("system orange") << QColor(0xFF, 0x95, 0x00) << u"#FF9500"_s;
        QTest::newRow("upper-case digits, two each") << QColor(0x0A, 0x0B, 0x0C) << u"#0A0B0C"_s;
        QTest::newRow("components are truncated, not rounded") << QColor::fromRgbF(0.999f, 0.5f, 0.0f) << u"#FE7F00"_s;
        QTest::newRow("alpha is ignored") << QColor(1, 2, 3, 4) << u"#010203"_s;
        QTest::newRow("HSV colours convert") << QColor::fromHsv(0, 255, 255) << u"#FF0000"_s;
    }
    void colorToText()
    {
        QFETCH(QColor, color);
        QFETCH(QString, expected);
        QCOMPARE(ColorHex::toHex(color), std::optional<QString>(expected));
    }

    void colorWithoutComponentsHasNoText()
    {
        QCOMPARE(ColorHex::toHex(QColor()), std::nullopt);
        // Folders and tags store the system blue for it.
        QCOMPARE(Folder(u"F"_s, u"folder"_s, QColor()).colorHex(), u"#007AFF"_s);
        QCOMPARE(Tag(u"T"_s, QColor()).colorHex(), u"#007AFF"_s);
    }

    // The two rules are independent per channel, so every value of every
    // channel plus random colours covers the round trip.
    void everyColorSurvivesTextColorText()
    {
        auto roundTrip = [](quint32 rgb) {
            const QString text = QString::asprintf("#%06X", rgb);
            return ColorHex::toHex(ColorHex::fromHex(text)).value_or(QString()) == text;
        };
        for (quint32 v = 0; v < 256; ++v) {
            QVERIFY2(roundTrip(v << 16), qPrintable(QString::number(v)));
            QVERIFY2(roundTrip(v << 8), qPrintable(QString::number(v)));
            QVERIFY2(roundTrip(v), qPrintable(QString::number(v)));
        }
        QRandomGenerator random(42);
        for (int i = 0; i < 20000; ++i) {
            const quint32 rgb = random.bounded(1u << 24);
            QVERIFY2(roundTrip(rgb), qPrintable(QString::number(rgb, 16)));
        }
    }
};

QTEST_GUILESS_MAIN(TestColorHex)
#include "tst_colorhex.moc"
