#include "model/ColorHex.h"
#include "model/Folder.h"
#include "model/Item.h"
#include "model/SystemColors.h"
#include "model/Tag.h"
#include "model/TagDragItem.h"
#include "platform/Settings.h"
#include "store/ModelContext.h"
#include "support/TestSupport.h"
#include "ui/Dialogs.h"
#include "ui/components/ColorPickerGrid.h"
#include "ui/components/IconPickerGrid.h"
#include "ui/sheets/FolderActions.h"
#include "ui/sheets/FolderEditorSheet.h"
#include "ui/sheets/TagDrag.h"
#include "ui/sheets/TagEditorSheet.h"
#include "ui/sheets/TagListModel.h"
#include "ui/sheets/TagManagementView.h"
#include "ui/sheets/TagPickerSheet.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

// Answers the questions as the test says and remembers them.
class ScriptedDialogs final : public Dialogs {
public:
    bool answer = true;
    QStringList questions;
    QString openFile(QWidget*, const QString&, const QStringList&) override { return {}; }
    bool confirm(QWidget*, const QString&, const QString& text, const QString&) override
    {
        questions.append(text);
        return answer;
    }
    void showError(QWidget*, const QString&, const QString&) override {}
};

QStringList comboTexts(const QComboBox* combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i) {
        if (!combo->itemText(i).isEmpty())
            texts.append(combo->itemText(i));
    }
    return texts;
}

QStringList rowNames(const QAbstractItemModel* model)
{
    QStringList names;
    for (int row = 0; row < model->rowCount(); ++row)
        names.append(model->index(row, 0).data().toString());
    return names;
}

QStringList namesInStore(const ModelContext& context)
{
    QStringList names;
    for (const Tag* tag : context.fetchTags(Tag::displayOrder))
        names.append(tag->name());
    return names;
}

void showSheet(QDialog* sheet)
{
    sheet->open();
    QVERIFY(QTest::qWaitForWindowExposed(sheet));
}

// Clicks the cell of a picker grid that holds `index`.
void clickCell(QWidget* grid, int index, const QRect& cell)
{
    QVERIFY2(cell.isValid(), qPrintable(u"no cell %1"_s.arg(index)));
    QTest::mouseClick(grid, Qt::LeftButton, {}, cell.center());
}

void pickIcon(QDialog* sheet, const QString& icon)
{
    auto* grid = sheet->findChild<IconPickerGrid*>();
    const int index = int(grid->icons().indexOf(icon));
    clickCell(grid, index, grid->cellRect(index));
    QCOMPARE(grid->selectedIcon(), icon);
}

void pickColor(QDialog* sheet, const QColor& color)
{
    auto* grid = sheet->findChild<ColorPickerGrid*>();
    const int index = int(grid->colors().indexOf(color));
    clickCell(grid, index, grid->cellRect(index));
    QCOMPARE(grid->selectedColor(), color);
}

// A drag entering and dropping on a widget, as the desktop would send it.
bool drop(QWidget* target, QMimeData* data)
{
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent dropEvent(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropEvent);
    return dropEvent.isAccepted();
}

} // namespace

class TestSheets : public QObject {
    Q_OBJECT

    std::unique_ptr<TestSupport::TempContainer> m_container;
    std::unique_ptr<ModelContext> m_ctx;
    std::unique_ptr<TestSupport::FixedClock> m_clock;
    ScriptedDialogs* m_dialogs = nullptr;
    Folder* m_archive = nullptr;
    Folder* m_research = nullptr;
    Folder* m_papers = nullptr;
    Folder* m_drafts = nullptr;
    QList<Tag*> m_tags;
    Item* m_item = nullptr;
    Item* m_archived = nullptr;
    // Built for every test so that each model runs under the tester.
    std::unique_ptr<TagPickerSheet> m_picker;
    std::unique_ptr<TagManagementDialog> m_manager;
    std::vector<std::unique_ptr<QAbstractItemModelTester>> m_testers;

    Tag* tagNamed(const QString& name) const
    {
        for (Tag* tag : m_ctx->tags()) {
            if (tag->name() == name)
                return tag;
        }
        return nullptr;
    }

    // What another process sees: the store file opened anew.
    std::unique_ptr<ModelContext> reopened()
    {
        if (!m_ctx->save())
            qFatal("save failed");
        return m_container->open();
    }

    // Reads the open message box and cancels it.
    void answerNextQuestion(QString* text, Qt::TextFormat* format)
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            QTimer::singleShot(0, this, [=, this] { answerNextQuestion(text, format); });
            return;
        }
        *text = box->text();
        *format = box->textFormat();
        box->button(QMessageBox::Cancel)->click();
    }

    QListView* pickerList() const { return m_picker->findChild<QListView*>(u"tagList"_s); }
    QListView* managerList() const { return m_manager->findChild<QListView*>(u"tagList"_s); }

    // The tag editor the management view opened over its window.
    TagEditorSheet* openEditor() const
    {
        for (auto* sheet : m_manager->findChildren<TagEditorSheet*>()) {
            if (sheet->isVisible())
                return sheet;
        }
        return nullptr;
    }

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void init()
    {
        Settings::remove(SettingsKey::confirmBeforeDelete);
        m_clock = std::make_unique<TestSupport::FixedClock>(QDateTime(QDate(2025, 3, 1), QTime(9, 0), Qt::UTC));
        m_container = std::make_unique<TestSupport::TempContainer>();
        m_ctx = m_container->open();
        // Roots in sortOrder: Archive, then Research; Research > Papers > Drafts.
        m_research = m_ctx->insert(std::make_unique<Folder>(u"Research"_s, u"book"_s, SystemColors::green()));
        m_research->setSortOrder(1);
        m_archive = m_ctx->insert(std::make_unique<Folder>(u"Archive"_s, u"folder"_s, SystemColors::gray()));
        m_papers = m_ctx->insert(std::make_unique<Folder>(u"Papers"_s, u"doc"_s, SystemColors::blue(), m_research));
        m_drafts = m_ctx->insert(std::make_unique<Folder>(u"Drafts"_s, u"doc"_s, SystemColors::blue(), m_papers));
        m_tags.clear();
        const QStringList names{u"red"_s, u"green"_s, u"R&D <b>"_s, u"later"_s};
        const QList<QColor> colors{SystemColors::red(), SystemColors::green(), SystemColors::purple(),
                                   SystemColors::orange()};
        for (int i = 0; i < names.size(); ++i) {
            Tag* tag = m_ctx->insert(std::make_unique<Tag>(names[i], colors[i]));
            tag->setSortOrder(i);
            m_tags.append(tag);
        }
        auto add = [this](const QString& title, Folder* folder) {
            return m_ctx->insert(std::make_unique<Item>(ItemType::webLink, title,
                                                        QUrl(u"https://example.com/"_s + title), std::nullopt, folder));
        };
        m_item = add(u"plain"_s, nullptr);
        m_item->addTag(m_tags[0]);
        m_archived = add(u"archived"_s, nullptr);
        m_archived->addTag(m_tags[0]);
        m_archived->addTag(m_tags[1]);
        m_archived->toggleArchived();
        add(u"research"_s, m_research)->addTag(m_tags[0]);
        add(u"paper"_s, m_papers);
        QVERIFY(m_ctx->save());

        auto dialogs = std::make_unique<ScriptedDialogs>();
        m_dialogs = dialogs.get();
        Dialogs::setCurrent(std::move(dialogs));

        m_picker = std::make_unique<TagPickerSheet>(m_ctx.get(), m_item);
        m_manager = std::make_unique<TagManagementDialog>(m_ctx.get());
        for (TagListModel* model : {m_picker->model(), m_manager->view()->model()})
            m_testers.push_back(std::make_unique<QAbstractItemModelTester>(
                model, QAbstractItemModelTester::FailureReportingMode::QtTest));
    }

    void cleanup()
    {
        m_testers.clear();
        m_picker.reset();
        m_manager.reset();
        m_ctx.reset();
        m_container.reset();
        m_clock.reset();
        Dialogs::setCurrent(nullptr);
    }

    // Folder editor --------------------------------------------------------

    void folderEditorCreatesAFolder()
    {
        FolderEditorSheet sheet(m_ctx.get(), nullptr);
        showSheet(&sheet);
        QCOMPARE(sheet.windowTitle(), u"New Folder"_s);
        QCOMPARE(sheet.windowModality(), Qt::WindowModal);
        auto* name = sheet.findChild<QLineEdit*>(u"nameField"_s);
        auto* confirm = sheet.findChild<QPushButton*>(u"confirmButton"_s);
        QTRY_COMPARE(QApplication::focusWidget(), name);
        QCOMPARE(name->placeholderText(), u"Name"_s);
        QCOMPARE(confirm->text(), u"Create"_s);
        QVERIFY(!confirm->isEnabled());
        QCOMPARE(sheet.findChild<IconPickerGrid*>()->selectedIcon(), u"folder"_s);
        QCOMPARE(sheet.findChild<ColorPickerGrid*>()->selectedColor(), SystemColors::blue());

        QTest::keyClicks(name, u"Reading & <i>notes</i>"_s);
        pickIcon(&sheet, u"lightbulb"_s);
        pickColor(&sheet, SystemColors::orange());
        auto* parents = sheet.findChild<QComboBox*>(u"parentPicker"_s);
        parents->setCurrentIndex(parents->findText(u"Research"_s));
        name->setFocus();
        QTest::keyClick(name, Qt::Key_Return);
        QCOMPARE(sheet.result(), int(QDialog::Accepted));

        const auto other = reopened();
        const QList<Folder*> children = other->folder(m_research->id())->children();
        QCOMPARE(children.size(), 2);
        const Folder* created = children.last();
        QCOMPARE(created->name(), u"Reading & <i>notes</i>"_s);
        QCOMPARE(created->iconName(), u"lightbulb"_s);
        QCOMPARE(created->colorHex(), u"#FF9500"_s);
        QCOMPARE(created->id(), sheet.folder()->id());
    }

    // Both editors: confirm only with a name; Return then confirms, Escape
    // and Cancel change nothing.
    void editorsNeedANameAndCancelChangesNothing_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::addColumn<bool>("editing");
        QTest::newRow("new folder") << true << false;
        QTest::newRow("editing a folder") << true << true;
        QTest::newRow("new tag") << false << false;
        QTest::newRow("editing a tag") << false << true;
    }
    void editorsNeedANameAndCancelChangesNothing()
    {
        QFETCH(bool, folder);
        QFETCH(bool, editing);
        std::unique_ptr<QDialog> sheet;
        if (folder)
            sheet = std::make_unique<FolderEditorSheet>(m_ctx.get(), editing ? m_research : nullptr);
        else
            sheet = std::make_unique<TagEditorSheet>(m_ctx.get(), editing ? m_tags[0] : nullptr);
        showSheet(sheet.get());
        const qsizetype folders = m_ctx->folders().size();
        const qsizetype tags = m_ctx->tags().size();
        auto* name = sheet->findChild<QLineEdit*>(u"nameField"_s);
        auto* confirm = sheet->findChild<QPushButton*>(u"confirmButton"_s);
        QCOMPARE(confirm->text(), editing ? u"Save"_s : u"Create"_s);
        QCOMPARE(confirm->isEnabled(), editing);

        name->clear();
        QVERIFY(!confirm->isEnabled());
        QTest::keyClick(name, Qt::Key_Return);
        QVERIFY(sheet->isVisible());
        QTest::keyClicks(name, u" "_s); // spaces are a name
        QVERIFY(confirm->isEnabled());
        QTest::keyClick(name, Qt::Key_Escape);
        QVERIFY(!sheet->isVisible());
        QCOMPARE(sheet->result(), int(QDialog::Rejected));
        QCOMPARE(m_ctx->folders().size(), folders);
        QCOMPARE(m_ctx->tags().size(), tags);
        QCOMPARE(m_research->name(), u"Research"_s);
        QCOMPARE(m_tags[0]->name(), u"red"_s);
        QVERIFY(!m_ctx->hasChanges());
    }

    void folderEditorRenamesRecoloursAndMoves()
    {
        m_clock->advance(60'000);
        FolderEditorSheet sheet(m_ctx.get(), m_papers);
        showSheet(&sheet);
        QCOMPARE(sheet.windowTitle(), u"Edit Folder"_s);
        auto* name = sheet.findChild<QLineEdit*>(u"nameField"_s);
        QCOMPARE(name->text(), u"Papers"_s);
        QCOMPARE(sheet.findChild<IconPickerGrid*>()->selectedIcon(), u"doc"_s);
        QCOMPARE(sheet.findChild<ColorPickerGrid*>()->selectedColor(), SystemColors::blue());
        auto* parents = sheet.findChild<QComboBox*>(u"parentPicker"_s);
        QCOMPARE(parents->currentText(), u"Research"_s);

        name->selectAll();
        QTest::keyClicks(name, u"Preprints "_s);
        pickColor(&sheet, SystemColors::teal());
        parents->setFocus();
        QTest::keyClick(parents, Qt::Key_Up); // Archive, the root above Research
        QCOMPARE(parents->currentText(), u"Archive"_s);
        QTest::mouseClick(sheet.findChild<QPushButton*>(u"confirmButton"_s), Qt::LeftButton);
        QCOMPARE(sheet.result(), int(QDialog::Accepted));

        const auto other = reopened();
        const Folder* saved = other->folder(m_papers->id());
        QCOMPARE(saved->name(), u"Preprints "_s); // as typed
        QCOMPARE(saved->colorHex(), u"#30B0C7"_s);
        QCOMPARE(saved->iconName(), u"doc"_s);
        QCOMPARE(saved->parent()->id(), m_archive->id());
        QCOMPARE(saved->children().size(), 1); // Drafts came along
        QCOMPARE(saved->modifiedAt(), m_clock->now());
        QVERIFY(other->folder(m_research->id())->children().isEmpty());
    }

    // The parent picker: "None (Root)", then root folders in sortOrder, never
    // the folder itself or below it; a deeper parent shows as it is.
    void parentPickerOffersNoCycle_data()
    {
        QTest::addColumn<QString>("edited");
        QTest::addColumn<QStringList>("choices");
        QTest::addColumn<QString>("current");
        QTest::newRow("new folder: every root")
            << QString() << QStringList{u"None (Root)"_s, u"Archive"_s, u"Research"_s} << u"None (Root)"_s;
        QTest::newRow("a root with children offers neither itself nor them")
            << u"Research"_s << QStringList{u"None (Root)"_s, u"Archive"_s} << u"None (Root)"_s;
        QTest::newRow("a child shows its parent")
            << u"Papers"_s << QStringList{u"None (Root)"_s, u"Archive"_s, u"Research"_s} << u"Research"_s;
        QTest::newRow("a third-level folder shows its real parent")
            << u"Drafts"_s << QStringList{u"None (Root)"_s, u"Archive"_s, u"Research"_s, u"Papers"_s} << u"Papers"_s;
    }
    void parentPickerOffersNoCycle()
    {
        QFETCH(QString, edited);
        QFETCH(QStringList, choices);
        QFETCH(QString, current);
        Folder* folder = nullptr;
        for (Folder* f : m_ctx->folders())
            folder = f->name() == edited ? f : folder;
        FolderEditorSheet sheet(m_ctx.get(), folder);
        showSheet(&sheet);
        auto* parents = sheet.findChild<QComboBox*>(u"parentPicker"_s);
        QCOMPARE(comboTexts(parents), choices);
        QCOMPARE(parents->currentText(), current);
        // Saving without touching the picker keeps the tree as it was.
        if (folder) {
            Folder* parentBefore = folder->parent();
            QTest::mouseClick(sheet.findChild<QPushButton*>(u"confirmButton"_s), Qt::LeftButton);
            QCOMPARE(folder->parent(), parentBefore);
        }
    }

    void folderEditorFollowsTheLibrary()
    {
        FolderEditorSheet sheet(m_ctx.get(), m_papers);
        showSheet(&sheet);
        auto* parents = sheet.findChild<QComboBox*>(u"parentPicker"_s);
        m_ctx->insert(std::make_unique<Folder>(u"Inbox Zero"_s, u"folder"_s, SystemColors::red()));
        QCOMPARE(comboTexts(parents), (QStringList{u"None (Root)"_s, u"Archive"_s, u"Inbox Zero"_s, u"Research"_s}));
        QCOMPARE(parents->currentText(), u"Research"_s);
        m_archive->setName(u"Old"_s);
        QVERIFY(comboTexts(parents).contains(u"Old"_s));
        // Its parent deleted takes the folder along: the sheet closes.
        m_ctx->remove(m_research);
        QVERIFY(!sheet.isVisible());
        QCOMPARE(sheet.result(), int(QDialog::Rejected));
        QCOMPARE(sheet.folder(), nullptr);
    }

    // Both editors show a stored colour text as its colour, blue when it does not read.
    void editorsShowTheStoredColour_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QColor>("shown");
        QTest::newRow("folder orange") << true << u"#FF9500"_s << QColor(255, 149, 0);
        QTest::newRow("folder unreadable") << true << u"orange"_s << SystemColors::blue();
        QTest::newRow("tag green, lower case") << false << u"#34c759"_s << QColor(52, 199, 89);
        QTest::newRow("tag unreadable") << false << u"zz"_s << SystemColors::blue();
    }
    void editorsShowTheStoredColour()
    {
        QFETCH(bool, folder);
        QFETCH(QString, hex);
        QFETCH(QColor, shown);
        std::unique_ptr<QDialog> sheet;
        if (folder) {
            m_archive->setColorHex(hex);
            sheet = std::make_unique<FolderEditorSheet>(m_ctx.get(), m_archive);
        } else {
            m_tags[1]->setColorHex(hex);
            sheet = std::make_unique<TagEditorSheet>(m_ctx.get(), m_tags[1]);
        }
        showSheet(sheet.get());
        QCOMPARE(sheet->findChild<ColorPickerGrid*>()->selectedColor().rgb(), shown.rgb());
        // Saving writes the colour back as upper-case "#RRGGBB".
        QTest::mouseClick(sheet->findChild<QPushButton*>(u"confirmButton"_s), Qt::LeftButton);
        const QString saved = folder ? m_archive->colorHex() : m_tags[1]->colorHex();
        QCOMPARE(saved, ColorHex::toHex(shown).value());
    }

    // Deleting a folder ------------------------------------------------------

    void deleteFolderAsksWhenItHoldsSomething_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("confirmSetting");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("question");
        QTest::addColumn<bool>("deleted");
        QTest::newRow("items and sub-folders: asks")
            << u"Research"_s << true << true
            << u"Delete “Research”? 2 items become unfiled and 2 sub-folders are deleted. This cannot be undone."_s
            << true;
        QTest::newRow("answered no: nothing changes") << u"Research"_s << true << false << u"*"_s << false;
        QTest::newRow("one item and one sub-folder")
            << u"Papers"_s << true << true
            << u"Delete “Papers”? 1 item becomes unfiled and 1 sub-folder is deleted. This cannot be undone."_s << true;
        QTest::newRow("an empty folder goes without asking") << u"Archive"_s << true << false << QString() << true;
        QTest::newRow("confirmation off") << u"Research"_s << false << false << QString() << true;
    }
    void deleteFolderAsksWhenItHoldsSomething()
    {
        QFETCH(QString, folder);
        QFETCH(bool, confirmSetting);
        QFETCH(bool, answer);
        QFETCH(QString, question);
        QFETCH(bool, deleted);
        Settings::setValue(SettingsKey::confirmBeforeDelete, confirmSetting);
        m_dialogs->answer = answer;
        Folder* target = nullptr;
        for (Folder* f : m_ctx->folders())
            target = f->name() == folder ? f : target;
        const QList<QUuid> doomed = [&] {
            QList<QUuid> ids{target->id()};
            for (const Folder* f : target->allDescendants())
                ids.append(f->id());
            return ids;
        }();

        QCOMPARE(FolderActions::deleteFolder(*m_ctx, *target, nullptr), deleted);
        if (question.isEmpty())
            QVERIFY(m_dialogs->questions.isEmpty());
        else if (question != u"*"_s)
            QCOMPARE(m_dialogs->questions, QStringList{question});
        else
            QCOMPARE(m_dialogs->questions.size(), 1);

        const auto other = reopened();
        for (const QUuid& id : doomed)
            QCOMPARE(other->folder(id) == nullptr, deleted);
        // Items are never deleted with a folder.
        QCOMPARE(other->items().size(), 4);
    }

    // The desktop's own question quotes a name as typed, never as markup.
    void deleteQuestionShowsTheNameAsPlainText()
    {
        Dialogs::setCurrent(nullptr);
        m_research->setName(u"<b>R&D</b>"_s);
        QString shown;
        Qt::TextFormat format = Qt::AutoText;
        QTimer::singleShot(0, this, [&] { answerNextQuestion(&shown, &format); });
        QVERIFY(!FolderActions::deleteFolder(*m_ctx, *m_research, nullptr));
        QCOMPARE(format, Qt::PlainText);
        QVERIFY2(shown.startsWith(u"Delete “<b>R&D</b>”?"_s), qPrintable(shown));
        QVERIFY(m_ctx->folder(m_research->id()));
    }

    // Tag picker -------------------------------------------------------------

    void pickerTogglesByClickAndKeyboardAndSaves()
    {
        showSheet(m_picker.get());
        QCOMPARE(m_picker->windowTitle(), u"Tags"_s);
        QVERIFY(m_picker->minimumWidth() >= 320 && m_picker->minimumHeight() >= 400);
        QCOMPARE(m_picker->windowModality(), Qt::WindowModal);
        QListView* list = pickerList();
        QCOMPARE(rowNames(list->model()), (QStringList{u"red"_s, u"green"_s, u"R&D <b>"_s, u"later"_s}));
        auto checked = [list](int row) { return list->model()->index(row, 0).data(Qt::CheckStateRole).toInt(); };
        QCOMPARE(checked(0), int(Qt::Checked));
        QCOMPARE(checked(1), int(Qt::Unchecked));

        const QModelIndex green = list->model()->index(1, 0);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(green).center());
        QVERIFY(m_item->hasTag(m_tags[1]->id()));
        QCOMPARE(checked(1), int(Qt::Checked));
        QVERIFY(!m_ctx->hasChanges()); // saved at once
        QVERIFY(m_container->open()->item(m_item->id())->hasTag(m_tags[1]->id()));

        list->setCurrentIndex(green);
        QTest::keyClick(list, Qt::Key_Space);
        QVERIFY(!m_item->hasTag(m_tags[1]->id()));
        QVERIFY(!m_container->open()->item(m_item->id())->hasTag(m_tags[1]->id()));
        QTest::keyClick(list, Qt::Key_Return);
        QVERIFY(m_item->hasTag(m_tags[1]->id()));
        QVERIFY(m_picker->isVisible()); // Return toggles, it does not close

        // A change made elsewhere shows at once.
        m_item->removeTag(m_tags[0]);
        QCOMPARE(checked(0), int(Qt::Unchecked));
        QTest::mouseClick(m_picker->findChild<QPushButton*>(u"doneButton"_s), Qt::LeftButton);
        QVERIFY(!m_picker->isVisible());
    }

    void pickerCreatesATag_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("created");
        QTest::newRow("trimmed") << u"  urgent \t"_s << u"urgent"_s;
        QTest::newRow("kept as written") << u"a&b <i>"_s << u"a&b <i>"_s;
        QTest::newRow("spaces only create nothing") << u"   "_s << QString();
    }
    void pickerCreatesATag()
    {
        QFETCH(QString, typed);
        QFETCH(QString, created);
        showSheet(m_picker.get());
        auto* row = m_picker->findChild<QWidget*>(u"newTagRow"_s);
        auto* field = m_picker->findChild<QLineEdit*>(u"tagNameField"_s);
        auto* add = m_picker->findChild<QPushButton*>(u"addTagButton"_s);
        QVERIFY(!row->isVisible());
        QTest::mouseClick(m_picker->findChild<QToolButton*>(u"newTagButton"_s), Qt::LeftButton);
        QVERIFY(row->isVisible());
        QCOMPARE(field->placeholderText(), u"Tag name"_s);
        QCOMPARE(QApplication::focusWidget(), field);
        QVERIFY(!add->isEnabled());
        QTest::keyClicks(field, typed);
        QVERIFY(add->isEnabled());
        QTest::keyClick(field, Qt::Key_Return);

        if (created.isEmpty()) {
            QCOMPARE(m_ctx->tags().size(), 4);
            QVERIFY(row->isVisible());
            QCOMPARE(field->text(), typed);
            QVERIFY(m_picker->isVisible());
            return;
        }
        QVERIFY(!row->isVisible());
        QVERIFY(field->text().isEmpty());
        QVERIFY(m_picker->isVisible());
        Tag* tag = tagNamed(created);
        QVERIFY(tag);
        QCOMPARE(tag->colorHex(), u"#007AFF"_s);
        QVERIFY(m_item->hasTag(tag->id()));
        const QModelIndex shown = m_picker->model()->indexOf(tag);
        QCOMPARE(shown.data().toString(), created);
        QCOMPARE(shown.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        const auto other = m_container->open(); // saved at once
        QVERIFY(other->tag(tag->id()));
        QVERIFY(other->item(m_item->id())->hasTag(tag->id()));
    }

    // The drop zone takes the payload the rows drag, and only a tag of this library.
    void pickerDropZoneTakesOnlyThisLibrarysTags_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("payload"); // a tag's name: what its row drags
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<bool>("adds");
        const QString type = TagDragItem::mimeType();
        QTest::newRow("a tag it lacks") << type << QByteArray("green") << true << true;
        QTest::newRow("a tag it carries: accepted, unchanged") << type << QByteArray("red") << true << false;
        QTest::newRow("an id of no tag here") << type << TagDragItem{QUuid::createUuid()}.toJson() << false << false;
        QTest::newRow("a deleted tag") << type << QByteArray("later") << false << false;
        QTest::newRow("no tagId key") << type << QByteArray(R"({"id":"x"})") << false << false;
        QTest::newRow("not JSON") << type << QByteArray("{\"tagId\":") << false << false;
        QTest::newRow("another type") << u"text/plain"_s << QByteArray("green") << false << false;
    }
    void pickerDropZoneTakesOnlyThisLibrarysTags()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, payload);
        QFETCH(bool, accepted);
        QFETCH(bool, adds);
        showSheet(m_picker.get());
        if (Tag* tag = tagNamed(QString::fromLatin1(payload))) {
            std::unique_ptr<QMimeData> dragged(m_picker->model()->mimeData({m_picker->model()->indexOf(tag)}));
            QVERIFY(TagDrag::hasPayload(dragged.get()));
            payload = dragged->data(TagDragItem::mimeType());
            QCOMPARE(payload, "{\"tagId\":\"" + UuidText::toString(tag->id()).toLatin1() + "\"}");
            if (tag->name() == u"later"_s)
                m_ctx->remove(tag);
        }
        const qsizetype tagsBefore = m_item->tags().size();
        m_clock->advance(1000);
        const QDateTime modifiedBefore = m_item->modifiedAt();

        QMimeData data;
        data.setData(format, payload);
        QCOMPARE(drop(m_picker->findChild<QWidget*>(u"tagDropZone"_s), &data), accepted);
        QCOMPARE(m_item->tags().size(), tagsBefore + (adds ? 1 : 0));
        if (!adds)
            QCOMPARE(m_item->modifiedAt(), modifiedBefore); // not even the date
        const auto other = reopened();
        QCOMPARE(other->item(m_item->id())->tags().size(), m_item->tags().size());
    }

    void pickerShowsTheDropZoneText()
    {
        auto* text = m_picker->findChild<QLabel*>(u"tagDropZoneText"_s);
        QCOMPARE(text->text(), u"Sürükle bırak ile etiket ekle"_s);
        QCOMPARE(text->textFormat(), Qt::PlainText);
        QVERIFY(!m_picker->findChild<QLabel*>(u"tagDropZoneIcon"_s)->pixmap().isNull());
        // Every control can be named by assistive technology.
        for (const char* name :
             {"newTagButton", "tagNameField", "addTagButton", "tagDropZone", "tagList", "doneButton"})
            QVERIFY2(!m_picker->findChild<QWidget*>(QString::fromLatin1(name))->accessibleName().isEmpty(), name);
    }

    void pickerClosesWhenItsItemIsDeleted()
    {
        showSheet(m_picker.get());
        m_ctx->remove(m_item);
        QVERIFY(!m_picker->isVisible());
        QCOMPARE(m_picker->item(), nullptr);
        QMimeData data;
        data.setData(TagDragItem::mimeType(), TagDragItem{m_tags[1]->id()}.toJson());
        QVERIFY(!m_picker->dropTags(&data));
    }

    // Tag editor and tag management -----------------------------------------

    void managementCreatesAndEditsTags()
    {
        showSheet(m_manager.get());
        TagManagementView* view = m_manager->view();
        QTest::mouseClick(view->findChild<QToolButton*>(u"newTagButton"_s), Qt::LeftButton);
        QTRY_VERIFY(openEditor());
        TagEditorSheet* editor = openEditor();
        QCOMPARE(editor->windowTitle(), u"New Tag"_s);
        QCOMPARE(editor->windowModality(), Qt::WindowModal);
        QTRY_COMPARE(QApplication::focusWidget(), editor->findChild<QLineEdit*>(u"nameField"_s));
        QTest::keyClicks(editor->findChild<QLineEdit*>(u"nameField"_s), u"Alpha"_s);
        pickColor(editor, SystemColors::mint());
        QTest::keyClick(editor->findChild<QLineEdit*>(u"nameField"_s), Qt::Key_Return);
        QTRY_VERIFY(!openEditor());
        // sortOrder 0 ties with "red": the name decides.
        QCOMPARE(rowNames(view->model()), (QStringList{u"Alpha"_s, u"red"_s, u"green"_s, u"R&D <b>"_s, u"later"_s}));

        // A click on a row opens it; Save renames and recolours.
        m_clock->advance(5000);
        QListView* list = managerList();
        const QModelIndex green = view->model()->indexOf(m_tags[1]);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(green).center());
        QTRY_VERIFY(openEditor());
        editor = openEditor();
        QCOMPARE(editor->windowTitle(), u"Edit Tag"_s);
        QCOMPARE(editor->tag(), m_tags[1]);
        auto* name = editor->findChild<QLineEdit*>(u"nameField"_s);
        QCOMPARE(name->text(), u"green"_s);
        QCOMPARE(editor->findChild<ColorPickerGrid*>()->selectedColor(), SystemColors::green());
        name->setText(u"Green & growing"_s);
        pickColor(editor, SystemColors::yellow());
        QTest::mouseClick(editor->findChild<QPushButton*>(u"confirmButton"_s), Qt::LeftButton);
        QTRY_VERIFY(!openEditor());
        QCOMPARE(green.data().toString(), u"Green & growing"_s);
        QCOMPARE(green.data(TagListModel::ColorRole).value<QColor>(), SystemColors::yellow());

        // Return opens the current row too.
        list->setCurrentIndex(view->model()->indexOf(m_tags[3]));
        QTest::keyClick(list, Qt::Key_Return);
        QTRY_VERIFY(openEditor());
        QCOMPARE(openEditor()->tag(), m_tags[3]);
        QTest::keyClick(openEditor(), Qt::Key_Escape);
        QTRY_VERIFY(!openEditor());

        const auto other = reopened();
        const Tag* saved = other->tag(m_tags[1]->id());
        QCOMPARE(saved->name(), u"Green & growing"_s);
        QCOMPARE(saved->colorHex(), u"#FFCC00"_s);
        QCOMPARE(saved->modifiedAt(), m_clock->now());
        QCOMPARE(namesInStore(*other), rowNames(view->model()));
        QCOMPARE(other->tags().size(), 5);
    }

    void managementShowsCountsAndTheEmptyState()
    {
        showSheet(m_manager.get());
        TagManagementView* view = m_manager->view();
        auto count = [view](Tag* tag) { return view->model()->indexOf(tag).data(TagListModel::ItemCountTextRole); };
        // red: two items and an archived one; green: only an archived one.
        QCOMPARE(count(m_tags[0]).toString(), u"2 items"_s);
        QCOMPARE(count(m_tags[1]).toString(), u"0 items"_s);
        m_archived->toggleArchived();
        QTRY_COMPARE(count(m_tags[1]).toString(), u"1 items"_s);
        QTRY_COMPARE(count(m_tags[0]).toString(), u"3 items"_s);

        auto* pages = view->findChild<QStackedWidget*>();
        QCOMPARE(pages->currentWidget(), managerList());
        // Delete by key, by the context menu, and as another window would.
        QListView* list = managerList();
        list->setCurrentIndex(view->model()->indexOf(m_tags[0]));
        QTest::keyClick(list, Qt::Key_Delete);
        QMenu menu;
        view->fillContextMenu(menu, m_tags[1]);
        auto* remove = menu.findChild<QAction*>(u"deleteTagAction"_s);
        QCOMPARE(remove->text(), u"Delete"_s);
        remove->trigger();
        m_ctx->remove(m_tags[2]);
        m_ctx->remove(m_tags[3]);
        QVERIFY(m_dialogs->questions.isEmpty()); // never asks
        QCOMPARE(pages->currentWidget()->objectName(), u"emptyState"_s);
        QCOMPARE(view->findChild<QLabel*>(u"emptyTitle"_s)->text(), u"No Tags"_s);
        QCOMPARE(view->findChild<QLabel*>(u"emptyDescription"_s)->text(), u"Create tags to organize your items"_s);

        const auto other = reopened();
        QVERIFY(other->tags().isEmpty());
        QCOMPARE(other->items().size(), 4);
        QVERIFY(other->item(m_item->id())->tags().isEmpty());

        // "+" still creates one, and the list comes back.
        QTest::mouseClick(view->findChild<QToolButton*>(u"newTagButton"_s), Qt::LeftButton);
        QTRY_VERIFY(openEditor());
        QTest::keyClicks(openEditor()->findChild<QLineEdit*>(u"nameField"_s), u"fresh"_s);
        QTest::keyClick(openEditor()->findChild<QLineEdit*>(u"nameField"_s), Qt::Key_Return);
        QTRY_COMPARE(pages->currentWidget(), managerList());
        QCOMPARE(rowNames(view->model()), QStringList{u"fresh"_s});
    }

    // Reordering writes sortOrder 0..n-1 in the new order, and it lasts.
    void managementReorders_data()
    {
        QTest::addColumn<bool>("equalSortOrders");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to"); // the row the tag is dropped before
        QTest::newRow("last to the top") << false << 3 << 0;
        QTest::newRow("first to the bottom") << false << 0 << 4;
        QTest::newRow("down by one") << false << 1 << 3;
        QTest::newRow("onto itself: no change") << false << 1 << 2;
        // Sorted by name until the move gives every tag a place of its own.
        QTest::newRow("equal sort orders") << true << 3 << 0;
    }
    void managementReorders()
    {
        QFETCH(bool, equalSortOrders);
        QFETCH(int, from);
        QFETCH(int, to);
        TagListModel* model = m_manager->view()->model();
        if (equalSortOrders) {
            for (Tag* tag : m_tags)
                tag->setSortOrder(0);
            QTRY_COMPARE(rowNames(model), namesInStore(*m_ctx));
        }
        QStringList expected = rowNames(model);
        expected.insert(to > from ? to - 1 : to, expected.takeAt(from));

        QSignalSpy resets(model, &QAbstractItemModel::modelReset);
        // What the list view does with a row dropped inside it.
        model->moveRow({}, from, {}, to);
        QCOMPARE(rowNames(model), expected);
        QTRY_COMPARE(rowNames(m_picker->model()), expected); // every list follows
        QCOMPARE(resets.count(), 0);
        const auto other = reopened();
        QCOMPARE(namesInStore(*other), expected);
        const QList<Tag*> stored = other->fetchTags(Tag::displayOrder);
        for (int i = 0; i < stored.size(); ++i)
            QCOMPARE(stored[i]->sortOrder(), i);
    }

    void managementReordersFromTheKeyboard()
    {
        showSheet(m_manager.get());
        QListView* list = managerList();
        list->setFocus();
        list->setCurrentIndex(m_manager->view()->model()->index(3, 0));
        QTest::keyClick(list, Qt::Key_Up, Qt::AltModifier);
        QTest::keyClick(list, Qt::Key_Up, Qt::AltModifier);
        QCOMPARE(rowNames(list->model()), (QStringList{u"red"_s, u"later"_s, u"green"_s, u"R&D <b>"_s}));
        QCOMPARE(list->currentIndex().row(), 1);
        QTest::keyClick(list, Qt::Key_Down, Qt::AltModifier);
        QCOMPARE(rowNames(list->model()), (QStringList{u"red"_s, u"green"_s, u"later"_s, u"R&D <b>"_s}));
        QCOMPARE(namesInStore(*reopened()), rowNames(list->model()));
    }

    // The list follows the library one row at a time, never by a reset.
    void tagListFollowsTheLibraryRowByRow()
    {
        TagListModel* model = m_manager->view()->model();
        QSignalSpy resets(model, &QAbstractItemModel::modelReset);
        QSignalSpy moves(model, &QAbstractItemModel::rowsMoved);
        QSignalSpy inserts(model, &QAbstractItemModel::rowsInserted);
        Tag* added = m_ctx->insert(std::make_unique<Tag>(u"between"_s, SystemColors::cyan()));
        added->setSortOrder(1);
        QTRY_COMPARE(rowNames(model), (QStringList{u"red"_s, u"between"_s, u"green"_s, u"R&D <b>"_s, u"later"_s}));
        QCOMPARE(inserts.count(), 1);
        m_tags[3]->setSortOrder(-1);
        QTRY_COMPARE(rowNames(model).first(), u"later"_s);
        QCOMPARE(resets.count(), 0);
        QVERIFY(moves.count() >= 1);
        const QModelIndex red = model->indexOf(m_tags[0]);
        QCOMPARE(red.data(Qt::DisplayRole).toString(), u"red"_s);
        QCOMPARE(red.data(Qt::AccessibleTextRole).toString(), u"red, 2 items"_s);
    }
};

QTEST_MAIN(TestSheets)
#include "tst_sheets.moc"
