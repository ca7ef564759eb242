#include "model/AppConstants.h"
#include "model/SystemColors.h"
#include "model/Tag.h"
#include "platform/Symbols.h"
#include "store/ModelContext.h"
#include "support/TestSupport.h"
#include "ui/Style.h"
#include "ui/components/ColorPickerGrid.h"
#include "ui/components/IconPickerGrid.h"
#include "ui/components/LoadingView.h"
#include "ui/components/SecureFieldWithToggle.h"
#include "ui/components/TagChipView.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

// The colour seen where `over` at an opacity lies on `under`.
QColor blend(const QColor& over, qreal opacity, const QColor& under)
{
    auto mix = [opacity](int a, int b) { return qRound(a * opacity + b * (1 - opacity)); };
    return QColor(mix(over.red(), under.red()), mix(over.green(), under.green()), mix(over.blue(), under.blue()));
}

bool near(const QColor& a, const QColor& b, int tolerance = 3)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
           && std::abs(a.blue() - b.blue()) <= tolerance;
}

QString describe(const QColor& c)
{
    return u"(%1, %2, %3)"_s.arg(c.red()).arg(c.green()).arg(c.blue());
}

#define VERIFY_COLOR(actual, expected)                                                                                 \
    QVERIFY2(near(actual, expected), qPrintable(describe(actual) + u" != "_s + describe(expected)))

// A widget's pixel in logical coordinates, rendered at scale 1.
QColor pixel(QWidget* widget, QPoint at)
{
    return widget->grab().toImage().pixelColor(at);
}

// Chips live inside other views; show one in a host at its ideal size.
void showInHost(QWidget* chip)
{
    chip->adjustSize();
    chip->window()->show();
    QVERIFY(QTest::qWaitForWindowExposed(chip->window()));
}

QColor background(const QWidget* widget)
{
    return widget->palette().color(QPalette::Window);
}

} // namespace

class TestComponents : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void tagChipShowsTheTagsColourAndPadding_data()
    {
        QTest::addColumn<TagChipSize>("size");
        QTest::addColumn<QString>("colorHex");
        QTest::addColumn<QColor>("color");
        QTest::addColumn<QMargins>("padding");
        QTest::newRow("small red") << TagChipSize::small << u"#FF3B30"_s << QColor(255, 59, 48) << QMargins(6, 2, 6, 2);
        QTest::newRow("medium green, no hash")
            << TagChipSize::medium << u"34C759"_s << QColor(52, 199, 89) << QMargins(8, 4, 8, 4);
        QTest::newRow("large with an unreadable colour is blue")
            << TagChipSize::large << u"not a colour"_s << SystemColors::blue() << QMargins(12, 6, 12, 6);
    }

    void tagChipShowsTheTagsColourAndPadding()
    {
        QFETCH(TagChipSize, size);
        QFETCH(QString, colorHex);
        QFETCH(QColor, color);
        QFETCH(QMargins, padding);
        Tag tag(u"Reading"_s, Qt::black);
        tag.setColorHex(colorHex);
        QWidget host;
        TagChipView& chip = *new TagChipView(&tag, size, false, {}, &host);
        showInHost(&chip);
        QCOMPARE(chip.objectName(), u"tagChip"_s);
        QCOMPARE(chip.color(), color);

        auto* label = chip.findChild<QLabel*>();
        QVERIFY(label);
        QCOMPARE(label->text(), u"Reading"_s);
        QCOMPARE(label->palette().color(QPalette::WindowText), color);
        QCOMPARE(label->font().weight(), QFont::Medium);
        // The name sits inside the paddings, which make up the rest of the chip.
        QCOMPARE(label->geometry().topLeft(), QPoint(padding.left(), padding.top()));
        QCOMPARE(chip.size(), label->sizeHint().grownBy(padding));

        // Background: the colour at 15 % over the window, inside the capsule;
        // outside its rounded ends, the window alone.
        VERIFY_COLOR(pixel(&chip, QPoint(chip.width() / 2, 1)), blend(color, 0.15, background(&chip)));
        VERIFY_COLOR(pixel(&chip, QPoint(0, 0)), background(&chip));
    }

    void tagChipFontsGrowWithTheSize()
    {
        const qreal small = TagChipView::font(TagChipSize::small).pointSizeF();
        const qreal medium = TagChipView::font(TagChipSize::medium).pointSizeF();
        const qreal large = TagChipView::font(TagChipSize::large).pointSizeF();
        QVERIFY(small < medium && medium < large);
        QVERIFY(large < QApplication::font().pointSizeF());
    }

    void tagChipShowsANameAsTextNotMarkup()
    {
        Tag tag(u"<b>bold</b> & co"_s, Qt::red);
        TagChipView chip(&tag, TagChipSize::medium, false);
        auto* label = chip.findChild<QLabel*>();
        QCOMPARE(label->text(), u"<b>bold</b> & co"_s);
        // Rendered as markup, the tags would vanish and the label would be narrower.
        QVERIFY(label->sizeHint().width() >= QFontMetrics(label->font()).horizontalAdvance(label->text()));
    }

    void removeButtonOnlyWithShowRemove()
    {
        Tag tag(u"Work"_s, Qt::blue);
        int removed = 0;
        TagChipView without(&tag, TagChipSize::small, false, [&removed] { ++removed; });
        QCOMPARE(without.findChild<QToolButton*>(u"removeTagButton"_s), nullptr);

        QWidget host;
        TagChipView& with = *new TagChipView(
            &tag, TagChipSize::small, true, [&removed] { ++removed; }, &host);
        showInHost(&with);
        auto* button = with.findChild<QToolButton*>(u"removeTagButton"_s);
        QVERIFY(button);
        // The button follows the name, 4 apart, inside the right padding.
        auto* label = with.findChild<QLabel*>();
        QCOMPARE(button->geometry().left(), label->geometry().right() + 1 + 4);
        QCOMPARE(with.width() - 1 - button->geometry().right(), 6);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(removed, 1);

        // A remove button without an action does nothing when clicked.
        TagChipView noAction(&tag, TagChipSize::small, true);
        QTest::mouseClick(noAction.findChild<QToolButton*>(u"removeTagButton"_s), Qt::LeftButton);
        QCOMPARE(removed, 1);
    }

    void tagChipFollowsItsTag()
    {
        TestSupport::TempContainer container;
        auto ctx = container.open();
        Tag* tag = ctx->insert(std::make_unique<Tag>(u"Draft"_s, SystemColors::red()));

        // Without a context the owner refreshes.
        TagChipView manual(tag, TagChipSize::medium, false);
        tag->setName(u"Final"_s);
        QCOMPARE(manual.name(), u"Draft"_s);
        manual.refresh();
        QCOMPARE(manual.name(), u"Final"_s);
        QCOMPARE(manual.findChild<QLabel*>()->text(), u"Final"_s);

        TagChipView observing(tag, TagChipSize::medium, true);
        observing.observe(ctx.get());
        tag->setColorHex(u"#34C759"_s);
        QCOMPARE(observing.color(), QColor(52, 199, 89));
        tag->setName(u"Done"_s);
        QCOMPARE(observing.name(), u"Done"_s);

        // Deleted: the chip lets go and keeps showing what it had; nothing
        // reads the freed tag afterwards (the sanitizer build checks).
        ctx->remove(tag);
        QCOMPARE(observing.tag(), nullptr);
        QVERIFY(ctx->save().ok());
        observing.refresh();
        observing.grab();
        QCOMPARE(observing.name(), u"Done"_s);
    }

    void iconGridSelectsByClick()
    {
        const QStringList& icons = IconPickerGrid::folderIcons();
        QCOMPARE(icons.size(), 35);
        QCOMPARE(icons.first(), u"folder"_s);
        QCOMPARE(icons.last(), u"ellipsis.bubble"_s);
        for (const QString& icon : icons)
            QVERIFY2(Symbols::isKnown(icon), qPrintable(icon));

        IconPickerGrid grid(icons);
        grid.resize(304, grid.heightForWidth(304));
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        // 304 px: six columns of 44 with 8 between, cells centred, 12 between
        // rows, 4 above and below the grid for shadows and the focus ring.
        QCOMPARE(grid.columnCount(), 6);
        QCOMPARE(grid.cellRect(7), QRect(52 + 4, 4 + 36 + 12, 36, 36));
        QCOMPARE(grid.height(), 4 + 6 * 36 + 5 * 12 + 4);

        QSignalSpy changed(&grid, &IconPickerGrid::selectedIconChanged);
        QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.cellRect(7).center());
        QCOMPARE(grid.selectedIcon(), icons.at(7));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.first().first().toString(), icons.at(7));
        // Between cells nothing is picked.
        QTest::mouseClick(&grid, Qt::LeftButton, {}, QPoint(grid.cellRect(0).right() + 3, 10));
        QCOMPARE(grid.selectedIcon(), icons.at(7));
        // Pressed on one cell and released on another is no click.
        QTest::mousePress(&grid, Qt::LeftButton, {}, grid.cellRect(1).center());
        QTest::mouseRelease(&grid, Qt::LeftButton, {}, grid.cellRect(2).center());
        QCOMPARE(grid.selectedIcon(), icons.at(7));
        QCOMPARE(changed.size(), 1);
    }

    void iconGridHighlightsTheSelectedIcon()
    {
        IconPickerGrid grid(IconPickerGrid::folderIcons());
        grid.setSelectedIcon(u"folder"_s); // a new folder's icon
        grid.resize(304, grid.heightForWidth(304));
        // Near the left edge of a cell, inside its circle and clear of the glyph.
        const auto probe = [&grid](int index) { return grid.cellRect(index).topLeft() + QPoint(3, 18); };
        const QColor highlight = blend(SystemColors::blue(), 0.2, background(&grid));
        const QImage image = grid.grab().toImage();
        VERIFY_COLOR(image.pixelColor(probe(0)), highlight);
        VERIFY_COLOR(image.pixelColor(probe(1)), background(&grid));

        grid.setSelectedIcon(u"star"_s);
        const QImage moved = grid.grab().toImage();
        VERIFY_COLOR(moved.pixelColor(probe(0)), background(&grid));
        VERIFY_COLOR(moved.pixelColor(probe(2)), highlight);

        // A name that is not offered highlights nothing.
        grid.setSelectedIcon(u"no.such.symbol"_s);
        VERIFY_COLOR(grid.grab().toImage().pixelColor(probe(2)), background(&grid));
    }

    void iconGridKeyboard()
    {
        const QStringList& icons = IconPickerGrid::folderIcons();
        IconPickerGrid grid(icons);
        grid.resize(304, grid.heightForWidth(304)); // six columns
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.setFocus(Qt::TabFocusReason);
        QSignalSpy changed(&grid, &IconPickerGrid::selectedIconChanged);

        QTest::keyClick(&grid, Qt::Key_Right);
        QTest::keyClick(&grid, Qt::Key_Right);
        QTest::keyClick(&grid, Qt::Key_Down);
        QCOMPARE(changed.size(), 0); // moving is not choosing
        QTest::keyClick(&grid, Qt::Key_Space);
        QCOMPARE(grid.selectedIcon(), icons.at(2 + 6));

        QTest::keyClick(&grid, Qt::Key_Up);
        QTest::keyClick(&grid, Qt::Key_Up); // already on the top row
        QTest::keyClick(&grid, Qt::Key_Left);
        QTest::keyClick(&grid, Qt::Key_Return);
        QCOMPARE(grid.selectedIcon(), icons.at(1));

        QTest::keyClick(&grid, Qt::Key_End);
        QTest::keyClick(&grid, Qt::Key_Down);  // no cell below the last row
        QTest::keyClick(&grid, Qt::Key_Right); // nor past the last cell
        QTest::keyClick(&grid, Qt::Key_Enter);
        QCOMPARE(grid.selectedIcon(), icons.last());
        // 35 icons in rows of six: the last row holds five, so Down from the
        // second-to-last row's last column stays put.
        QTest::keyClick(&grid, Qt::Key_Home);
        QCOMPARE(grid.currentIndex(), 0);
        for (int i = 0; i < 5; ++i)
            QTest::keyClick(&grid, Qt::Key_Right);
        for (int i = 0; i < 6; ++i)
            QTest::keyClick(&grid, Qt::Key_Down);
        QCOMPARE(grid.currentIndex(), 4 * 6 + 5);
        QCOMPARE(changed.size(), 3);
    }

    void adaptiveColumns_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("columns");
        QTest::newRow("narrower than one column") << 10 << 1;
        QTest::newRow("exactly one column") << 44 << 1;
        QTest::newRow("one pixel short of two") << 95 << 1;
        QTest::newRow("exactly two with their spacing") << 96 << 2;
        QTest::newRow("six") << 304 << 6;
    }

    void adaptiveColumns()
    {
        QFETCH(int, width);
        QFETCH(int, columns);
        QCOMPARE(IconPickerGrid::columnsForWidth(width), columns);
    }

    void colorGridSelectsAndRingsTheTappedColour()
    {
        ColorPickerGrid grid;
        QCOMPARE(grid.colors(), AppConstants::colorPalette());
        QVERIFY(!grid.selectedColor().isValid());
        grid.resize(304, grid.heightForWidth(304));
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QSignalSpy changed(&grid, &ColorPickerGrid::selectedColorChanged);

        const int red = 4;
        const int green = 7;
        QCOMPARE(grid.colors().at(red), SystemColors::red());
        // The ring's line crosses the vertical through the centre 4 px below the top.
        const auto ring = [&grid](int index) {
            const QRect cell = grid.cellRect(index);
            return QPoint(cell.center().x(), cell.top() + 4);
        };
        QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.cellRect(red).center());
        QCOMPARE(grid.selectedColor(), SystemColors::red());
        QImage image = grid.grab().toImage();
        VERIFY_COLOR(image.pixelColor(ring(red)), QColor(Qt::white));
        VERIFY_COLOR(image.pixelColor(ring(green)), SystemColors::green());

        // Tapping the chosen colour again keeps it.
        QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.cellRect(red).center());
        QCOMPARE(grid.selectedColor(), SystemColors::red());
        QCOMPARE(changed.size(), 1);

        // The ring moves to the newly tapped colour.
        QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.cellRect(green).center());
        QCOMPARE(grid.selectedColor(), SystemColors::green());
        QCOMPARE(changed.size(), 2);
        image = grid.grab().toImage();
        VERIFY_COLOR(image.pixelColor(ring(green)), QColor(Qt::white));
        VERIFY_COLOR(image.pixelColor(ring(red)), SystemColors::red());

        // Every disc casts a shadow in its own colour just below its edge.
        const QRect cell = grid.cellRect(red);
        const QColor shadow = image.pixelColor(cell.center().x(), cell.bottom() + 2);
        QVERIFY2(!near(shadow, background(&grid)), qPrintable(describe(shadow)));
        QVERIFY2(shadow.red() > shadow.green() && shadow.red() > shadow.blue(), qPrintable(describe(shadow)));
    }

    void colorGridComparesByRgb()
    {
        ColorPickerGrid grid;
        grid.setSelectedColor(SystemColors::teal());
        QSignalSpy changed(&grid, &ColorPickerGrid::selectedColorChanged);
        // Read back from a tag's colour text, the same colour is the same choice.
        grid.setSelectedColor(QColor::fromRgb(0x30, 0xB0, 0xC7, 128));
        QCOMPARE(changed.size(), 0);
        grid.setSelectedColor(QColor(0x12, 0x34, 0x56));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(grid.selectedColor(), QColor(0x12, 0x34, 0x56));
    }

    void secureFieldTogglesAndKeepsTheText()
    {
        SecureFieldWithToggle field(u"Passphrase"_s);
        field.show();
        QVERIFY(QTest::qWaitForWindowExposed(&field));
        auto* edit = field.findChild<QLineEdit*>(u"secureField"_s);
        auto* toggle = field.findChild<QToolButton*>(u"secureToggle"_s);
        QVERIFY(edit && toggle);
        QCOMPARE(edit->placeholderText(), u"Passphrase"_s);
        QVERIFY(field.isSecure());
        QCOMPARE(edit->echoMode(), QLineEdit::Password);
        const auto showsSymbol = [toggle](const QString& name) {
            const QColor tint = Style::secondaryText(toggle->palette());
            return toggle->icon().pixmap(16).toImage() == Symbols::icon(name, tint).pixmap(16).toImage();
        };
        QVERIFY(showsSymbol(u"eye"_s));

        QSignalSpy changed(&field, &SecureFieldWithToggle::textChanged);
        edit->setFocus();
        QTest::keyClicks(edit, u"s3cret pass"_s);
        QCOMPARE(changed.size(), 11);
        QCOMPARE(changed.last().first().toString(), u"s3cret pass"_s);

        QApplication::setActiveWindow(&field);
        QTRY_COMPARE(QApplication::focusWidget(), edit);
        QTest::mouseClick(toggle, Qt::LeftButton);
        QVERIFY(!field.isSecure());
        // The field keeps the focus, so typing goes on where it was.
        QCOMPARE(QApplication::focusWidget(), edit);
        QCOMPARE(edit->echoMode(), QLineEdit::Normal);
        QCOMPARE(field.text(), u"s3cret pass"_s);
        QVERIFY(showsSymbol(u"eye.slash"_s));
        QTest::keyClicks(edit, u"!"_s);
        QCOMPARE(field.text(), u"s3cret pass!"_s);

        QTest::mouseClick(toggle, Qt::LeftButton);
        QVERIFY(field.isSecure());
        QCOMPARE(edit->echoMode(), QLineEdit::Password);
        QCOMPARE(field.text(), u"s3cret pass!"_s);
        QVERIFY(showsSymbol(u"eye"_s));

        field.setText(u"other"_s);
        QCOMPARE(edit->text(), u"other"_s);
        QCOMPARE(changed.last().first().toString(), u"other"_s);
    }

    void loadingViewCoversItsParent()
    {
        QWidget parent;
        parent.resize(300, 200);
        auto* button = new QPushButton(u"Below"_s, &parent);
        button->setGeometry(100, 80, 100, 40);
        auto* loading = new LoadingView(u"Importing..."_s, &parent);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QCOMPARE(loading->geometry(), parent.rect());
        QCOMPARE(loading->findChild<QLabel*>(u"loadingMessage"_s)->text(), u"Importing..."_s);
        QCOMPARE(loading->findChild<QWidget*>(u"busyIndicator"_s)->size(), QSize(48, 48));

        parent.resize(500, 400);
        QTRY_COMPARE(loading->geometry(), QRect(0, 0, 500, 400));

        // Clicks meant for what lies below land on the overlay.
        QSignalSpy clicked(button, &QPushButton::clicked);
        QWidget* hit = parent.childAt(button->geometry().center());
        QVERIFY(hit == loading || loading->isAncestorOf(hit));
        QTest::mouseClick(hit, Qt::LeftButton, {}, hit->mapFrom(&parent, button->geometry().center()));
        QCOMPARE(clicked.size(), 0);

        loading->setMessage(u"Exporting..."_s);
        QCOMPARE(loading->message(), u"Exporting..."_s);

        // Moved to another parent, it covers that one instead.
        QWidget other;
        other.resize(120, 90);
        loading->setParent(&other);
        loading->show();
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        QCOMPARE(loading->geometry(), other.rect());
        other.resize(140, 100);
        QTRY_COMPARE(loading->geometry(), other.rect());
        parent.resize(320, 240);
        QCOMPARE(loading->geometry(), other.rect());
    }
};

QTEST_MAIN(TestComponents)
#include "tst_components.moc"
