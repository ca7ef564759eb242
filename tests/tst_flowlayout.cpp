#include "support/TestSupport.h"
#include "ui/components/FlowLayout.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace {

// A widget with a fixed ideal size, as a chip has.
class Box final : public QWidget {
public:
    Box(QSize size, QWidget* parent) : QWidget(parent), m_size(size) {}
    QSize sizeHint() const override { return m_size; }

private:
    QSize m_size;
};

using Sizes = QList<QSize>;
using Points = QList<QPoint>;

} // namespace

class TestFlowLayout : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void arrangement_data()
    {
        QTest::addColumn<Sizes>("sizes");
        QTest::addColumn<int>("spacing");
        QTest::addColumn<int>("width");
        QTest::addColumn<Points>("positions");
        QTest::addColumn<QSize>("size");

        QTest::newRow("empty layout is (0,0)") << Sizes{} << 8 << 100 << Points{} << QSize(0, 0);
        QTest::newRow("two chips share a row, the third wraps; width keeps the trailing spacing")
            << Sizes{{40, 20}, {40, 20}, {40, 20}} << 8 << 100 << Points{{0, 0}, {48, 0}, {0, 28}} << QSize(96, 48);
        QTest::newRow("a chip ending exactly at the edge stays on the row")
            << Sizes{{46, 10}, {54, 10}} << 0 << 100 << Points{{0, 0}, {46, 0}} << QSize(100, 10);
        QTest::newRow("a chip one pixel past the edge wraps")
            << Sizes{{46, 10}, {55, 10}} << 0 << 100 << Points{{0, 0}, {0, 10}} << QSize(55, 20);
        QTest::newRow("the spacing before a chip counts towards the edge")
            << Sizes{{50, 10}, {45, 10}} << 8 << 100 << Points{{0, 0}, {0, 18}} << QSize(58, 28);
        QTest::newRow("a chip wider than the width stays alone on its fresh row, unshrunk")
            << Sizes{{150, 10}, {20, 10}} << 4 << 100 << Points{{0, 0}, {0, 14}} << QSize(154, 24);
        QTest::newRow("a too-wide chip after others starts a row and the next chip another")
            << Sizes{{30, 10}, {150, 12}, {30, 10}} << 5 << 100 << Points{{0, 0}, {0, 15}, {0, 32}} << QSize(155, 42);
        QTest::newRow("a row is as high as its tallest chip")
            << Sizes{{30, 10}, {30, 24}, {30, 10}, {30, 6}} << 2 << 70 << Points{{0, 0}, {32, 0}, {0, 26}, {32, 26}}
            << QSize(64, 36);
        QTest::newRow("unbounded width keeps everything on one row")
            << Sizes{{500, 10}, {500, 10}} << 6 << FlowLayout::kUnbounded << Points{{0, 0}, {506, 0}}
            << QSize(1012, 10);
        QTest::newRow("zero width still places every chip, one per row")
            << Sizes{{10, 10}, {10, 10}} << 3 << 0 << Points{{0, 0}, {0, 13}} << QSize(13, 23);
        QTest::newRow("empty-sized chips take only their spacing")
            << Sizes{{0, 0}, {0, 0}} << 4 << 100 << Points{{0, 0}, {4, 0}} << QSize(8, 0);
    }

    void arrangement()
    {
        QFETCH(Sizes, sizes);
        QFETCH(int, spacing);
        QFETCH(int, width);
        QFETCH(Points, positions);
        QFETCH(QSize, size);
        const FlowLayout::Arrangement a = FlowLayout::arrange(sizes, spacing, width);
        QCOMPARE(a.positions, positions);
        QCOMPARE(a.size, size);
    }

    void layoutPlacesWidgetsAsTheArrangementSays()
    {
        QWidget host;
        auto* layout = new FlowLayout(&host, 8);
        QCOMPARE(layout->spacing(), 8);
        QList<Box*> boxes;
        for (const QSize s : {QSize(40, 20), QSize(40, 20), QSize(40, 20), QSize(150, 30), QSize(10, 10)}) {
            boxes.append(new Box(s, &host));
            layout->addWidget(boxes.last());
        }
        layout->setGeometry(QRect(0, 0, 100, 1000));
        const QList<QRect> expected{
            {0, 0, 40, 20}, {48, 0, 40, 20}, {0, 28, 40, 20}, {0, 56, 150, 30}, {0, 94, 10, 10}};
        for (int i = 0; i < boxes.size(); ++i)
            QCOMPARE(boxes.at(i)->geometry(), expected.at(i));
        QVERIFY(layout->hasHeightForWidth());
        QCOMPARE(layout->heightForWidth(100), 104);
        QCOMPARE(layout->heightForWidth(1000), 30);
        // Ideal size: one row without a limit.
        QCOMPARE(layout->sizeHint(), QSize(40 + 8 + 40 + 8 + 40 + 8 + 150 + 8 + 10 + 8, 30));
        // No narrower than the widest chip, which is never shrunk.
        QCOMPARE(layout->minimumSize(), QSize(150, 30));

        // Margins move the arrangement and shrink the width it has.
        layout->setContentsMargins(5, 7, 5, 3);
        layout->setGeometry(QRect(0, 0, 110, 1000));
        QCOMPARE(boxes.at(1)->geometry(), QRect(53, 7, 40, 20));
        QCOMPARE(layout->heightForWidth(110), 104 + 10);

        // Hidden widgets take no place.
        boxes.at(0)->hide();
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setGeometry(QRect(0, 0, 100, 1000));
        QCOMPARE(boxes.at(1)->geometry(), QRect(0, 0, 40, 20));
        QCOMPARE(boxes.at(2)->geometry(), QRect(48, 0, 40, 20));
    }

    void wrapsInsideAResizedWindow()
    {
        QWidget window;
        auto* layout = new FlowLayout(&window, 6);
        for (int i = 0; i < 6; ++i)
            layout->addWidget(new Box(QSize(50, 20), &window));
        window.resize(400, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QList<Box*> boxes = window.findChildren<Box*>();
        QCOMPARE(boxes.size(), 6);
        // 6 chips of 50 + 6 fit one 400 px row.
        QTRY_COMPARE(boxes.last()->geometry(), QRect(280, 0, 50, 20));

        window.resize(120, 200);
        // Two per row: 56 + 50 = 106 fits, 112 + 50 does not.
        QTRY_COMPARE(boxes.last()->geometry(), QRect(56, 52, 50, 20));
        QCOMPARE(window.layout()->heightForWidth(120), 72);

        // Taking an item out re-flows the rest.
        delete layout->takeAt(0);
        delete boxes.takeFirst();
        layout->activate();
        QTRY_COMPARE(boxes.last()->geometry(), QRect(0, 52, 50, 20));
    }
};

QTEST_MAIN(TestFlowLayout)
#include "tst_flowlayout.moc"
