#include "app/AppNotifications.h"
#include "app/AppState.h"
#include "app/ItemListQuery.h"
#include "model/Folder.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "model/TagDragItem.h"
#include "platform/Settings.h"
#include "services/metadata/MetadataService.h"
#include "store/ModelContext.h"
#include "support/TestSupport.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"
#include "ui/components/TagChipView.h"
#include "ui/main/AddURLSheet.h"
#include "ui/main/DetailPane.h"
#include "ui/main/DetailSheets.h"
#include "ui/main/ItemActions.h"
#include "ui/main/ItemAdder.h"
#include "ui/main/ItemDelegates.h"
#include "ui/main/ItemListModel.h"
#include "ui/main/MiddleColumn.h"
#include "ui/main/SelectionPane.h"
#include "ui/main/SidebarModel.h"
#include "ui/main/SidebarView.h"
#include "ui/sheets/FolderEditorSheet.h"
#include "ui/sheets/TagDrag.h"
#include "ui/sheets/TagEditorSheet.h"
#include "ui/sheets/TagManagementView.h"
#include "ui/sheets/TagPickerSheet.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <array>

using namespace Qt::StringLiterals;

namespace {

// Answers the window's questions as the test says.
class ScriptedDialogs final : public Dialogs {
public:
    bool answer = true;
    int confirmations = 0;
    QString lastQuestion;
    QString file;
    QStringList errors;
    QString openFile(QWidget*, const QString&, const QStringList&) override { return file; }
    bool confirm(QWidget*, const QString&, const QString& text, const QString&) override
    {
        ++confirmations;
        lastQuestion = text;
        return answer;
    }
    void showError(QWidget*, const QString&, const QString& text) override { errors.append(text); }
};

QStringList shownTitles(MainWindow& window)
{
    QStringList titles;
    for (const Item* item : window.middle()->model()->items())
        titles.append(item->title());
    return titles;
}

// Runs `action` on the next modal dialog once it is open.
void onNextModal(std::function<void(QWidget*)> action)
{
    QTimer::singleShot(0, qApp, [action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) {
            onNextModal(action);
            return;
        }
        action(modal);
    });
}

QByteArray png()
{
    QImage image(300, 200, QImage::Format_RGB32);
    image.fill(Qt::darkBlue);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

// Stands in for the desktop: records what the window asks it to open.
class OpenedUrls final : public QObject {
    Q_OBJECT
public:
    static constexpr std::array kSchemes{"http", "https", "mailto", "file", "javascript", "vbscript", "data"};
    OpenedUrls()
    {
        for (const char* scheme : kSchemes)
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
    }
    ~OpenedUrls() override
    {
        for (const char* scheme : kSchemes)
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl& url) { urls.append(url); }
};

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<TestSupport::TempContainer> m_container;
    std::unique_ptr<ModelContext> m_ctx;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MetadataService> m_metadata;
    std::unique_ptr<MainWindow> m_window;
    ScriptedDialogs* m_dialogs = nullptr;
    Folder* m_projects = nullptr;
    Folder* m_sub = nullptr;
    Tag* m_red = nullptr;
    std::vector<std::unique_ptr<QAbstractItemModelTester>> m_testers;

    // The card or row of an item as the views paint it.
    QImage paintItem(QStyledItemDelegate* delegate, Item* item, QSize size)
    {
        ItemListModel* model = m_window->middle()->model();
        QImage image(size, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        QStyleOptionViewItem option;
        option.rect = QRect(QPoint(0, 0), size);
        option.palette = m_window->palette();
        delegate->paint(&painter, option, model->index(model->rowOf(item)));
        return image;
    }

    Item* addWebItem(const QString& title, const QString& url = u"https://example.com/"_s)
    {
        Item* item = m_ctx->insert(std::make_unique<Item>(ItemType::webLink, title, QUrl(url)));
        m_window->query()->refresh();
        m_window->middle()->model()->refresh();
        return item;
    }

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void init()
    {
        m_container = std::make_unique<TestSupport::TempContainer>();
        m_ctx = m_container->open();
        m_projects = m_ctx->insert(std::make_unique<Folder>(u"Projects"_s, u"folder"_s, QColor(Qt::red)));
        m_sub = m_ctx->insert(std::make_unique<Folder>(u"Sub"_s, u"folder"_s, QColor(Qt::red), m_projects));
        m_red = m_ctx->insert(std::make_unique<Tag>(u"red"_s, QColor(0xFF, 0x3B, 0x30)));
        auto add = [this](const QString& title, const QString& url, Folder* folder, int age) {
            Item* item =
                m_ctx->insert(std::make_unique<Item>(ItemType::webLink, title, QUrl(url), std::nullopt, folder));
            item->setCreatedAt(QDateTime::currentDateTimeUtc().addSecs(-age));
            return item;
        };
        add(u"Garden tips"_s, u"https://garden.example/tips"_s, nullptr, 10)->addTag(m_red);
        add(u"Project plan"_s, u"https://plans.example/p"_s, m_projects, 20)->toggleFavorite();
        add(u"Deep note"_s, u"file:///tmp/deep.pdf"_s, m_sub, 30);
        auto dialogs = std::make_unique<ScriptedDialogs>();
        m_dialogs = dialogs.get();
        Dialogs::setCurrent(std::move(dialogs));
        m_state = std::make_unique<AppState>();
        m_state->observe(m_ctx.get());
        m_metadata = std::make_unique<MetadataService>();
        m_window = std::make_unique<MainWindow>(m_ctx.get(), m_state.get(), nullptr, m_metadata.get());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        // Every model of the window is checked while each test runs.
        m_testers.clear();
        for (QAbstractItemModel* model : {static_cast<QAbstractItemModel*>(m_window->middle()->model()),
                                          static_cast<QAbstractItemModel*>(m_window->sidebar()->model())})
            m_testers.push_back(std::make_unique<QAbstractItemModelTester>(
                model, QAbstractItemModelTester::FailureReportingMode::QtTest));
    }

    void cleanup()
    {
        m_testers.clear();
        m_window.reset();
        // What a window remembers stays with its test.
        Settings::open()->clear();
        m_metadata.reset();
        m_state.reset();
        m_ctx.reset();
        Dialogs::setCurrent(nullptr);
    }

    void startsWithAllItemsAndNothingSelected()
    {
        QCOMPARE(m_window->objectName(), u"main"_s);
        QCOMPARE(shownTitles(*m_window), (QStringList{u"Garden tips"_s, u"Project plan"_s, u"Deep note"_s}));
        QCOMPARE(m_window->findChild<QLabel*>(u"navigationTitle"_s)->text(), u"All Items"_s);
        QCOMPARE(m_window->findChild<QLabel*>(u"itemCount"_s)->text(), u"3 items"_s);
        QCOMPARE(m_window->findChild<QStackedWidget*>(u"detailColumn"_s)->currentIndex(), 0); // "Select an Item"
        QCOMPARE(m_window->selectedItem(), nullptr);
        QAbstractItemModelTester tester(m_window->middle()->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        m_state->setSearchQuery(u"garden"_s);
        QTRY_COMPARE(shownTitles(*m_window), QStringList{u"Garden tips"_s});
        m_state->setSearchQuery({});
        QTRY_COMPARE(m_window->middle()->model()->rowCount(), 3);
    }

    void sidebarSelectsTheList()
    {
        SidebarView* sidebar = m_window->sidebar();
        SidebarModel* model = sidebar->model();
        QTreeView* tree = sidebar->view();
        // Counts beside the smart folders.
        const QModelIndex inbox = model->indexFor(SidebarModel::SmartFolderRow, u"inbox"_s);
        QCOMPARE(inbox.data(SidebarModel::CountRole).toString(), u"1"_s);
        const QModelIndex tag = model->indexForTag(m_red);
        QVERIFY(tag.isValid());

        m_window->selectItem(m_ctx->items().first());
        tree->scrollTo(inbox);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(inbox).center());
        QTRY_COMPARE(shownTitles(*m_window), QStringList{u"Garden tips"_s});
        QCOMPARE(m_window->selectedItem(), nullptr); // the sidebar clears the selection

        sidebar->activate(model->indexForFolder(m_projects));
        QTRY_COMPARE(shownTitles(*m_window), QStringList{u"Project plan"_s});
        QCOMPARE(m_window->findChild<QLabel*>(u"navigationTitle"_s)->text(), u"Projects"_s);

        // A child folder keeps the smart folder: favourites in Sub are none.
        sidebar->activate(model->indexFor(SidebarModel::SmartFolderRow, u"favorites"_s));
        tree->setExpanded(model->indexForFolder(m_projects), true);
        QTRY_VERIFY(tree->visualRect(model->indexForFolder(m_sub)).isValid());
        // By keyboard this time: Down from the parent, then Return.
        tree->setFocus();
        tree->setCurrentIndex(model->indexForFolder(m_projects));
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(tree->currentIndex(), model->indexForFolder(m_sub));
        QTest::keyClick(tree, Qt::Key_Return);
        QTRY_COMPARE(shownTitles(*m_window), QStringList{});
        QCOMPARE(m_window->findChild<QLabel*>(u"placeholderTitle"_s)->text(), u"No Items"_s);
        sidebar->activate(model->indexFor(SidebarModel::SmartFolderRow, u"allItems"_s));
        QTRY_COMPARE(m_window->middle()->model()->rowCount(), 3);

        // A tag row toggles the filter, once per click even where the desktop
        // activates on a single click.
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(model->indexForTag(m_red)).center());
        QTRY_COMPARE(shownTitles(*m_window), QStringList{u"Garden tips"_s});
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(model->indexForTag(m_red)).center());
        QTRY_COMPARE(m_window->middle()->model()->rowCount(), 3);
    }

    void sidebarFollowsTheLibraryRowByRow()
    {
        SidebarView* sidebar = m_window->sidebar();
        SidebarModel* model = sidebar->model();
        QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QTreeView* tree = sidebar->view();
        tree->setExpanded(model->indexForFolder(m_projects), true);
        tree->setCurrentIndex(model->indexForFolder(m_sub));
        QSignalSpy resets(model, &QAbstractItemModel::modelReset);

        m_projects->setName(u"Renamed"_s);
        Folder* later = m_ctx->insert(std::make_unique<Folder>(u"Later"_s, u"folder"_s, QColor(Qt::blue)));
        m_ctx->insert(std::make_unique<Tag>(u"blue"_s, QColor(Qt::blue)));
        QTRY_VERIFY(model->indexForFolder(later).isValid());
        QCOMPARE(model->indexForFolder(m_projects).data().toString(), u"Renamed"_s);
        // Expansion and the keyboard position survive.
        QVERIFY(tree->isExpanded(model->indexForFolder(m_projects)));
        QCOMPARE(tree->currentIndex(), model->indexForFolder(m_sub));
        // Reordering moves rows.
        later->setSortOrder(-1);
        QTRY_COMPARE(model->indexForFolder(later).row(), 0);
        QVERIFY(tree->isExpanded(model->indexForFolder(m_projects)));
        m_ctx->remove(m_red);
        QVERIFY(!model->indexForTag(m_red).isValid());
        QCOMPARE(resets.size(), 0);
    }

    void typingSearchesAndShowsNoResults()
    {
        QLineEdit* field = m_window->findChild<QLineEdit*>(u"searchField"_s);
        QCOMPARE(field->placeholderText(), u"Search..."_s);
        QTest::keyClicks(field, u"plan"_s);
        QTRY_COMPARE(shownTitles(*m_window), QStringList{u"Project plan"_s});
        QTest::keyClicks(field, u"zzz"_s);
        QTRY_COMPARE(m_window->findChild<QLabel*>(u"placeholderTitle"_s)->text(), u"No Results"_s);
        QCOMPARE(m_window->findChild<QLabel*>(u"placeholderDescription"_s)->text(), u"Try a different search term"_s);
        // Counts ignore the search.
        QCOMPARE(m_window->query()->count(SmartFolder::allItems), 3);
    }

    void contextMenuActions()
    {
        Item* garden = m_ctx->items().first();
        auto actionNamed = [](QMenu& menu, const QString& text) -> QAction* {
            for (QAction* a : menu.actions())
                if (a->text() == text)
                    return a;
            return nullptr;
        };
        {
            QMenu menu;
            ItemActions::fillContextMenu(menu, *m_ctx, *garden, m_window.get());
            QVERIFY(actionNamed(menu, u"Open in Browser"_s));
            QVERIFY(!actionNamed(menu, u"Show in Folder"_s));
            QVERIFY(actionNamed(menu, u"Refresh Metadata"_s) == nullptr); // no fetcher given
            QMenu* tags = menu.findChild<QMenu*>(u"tagsMenu"_s);
            QCOMPARE(tags->actions().size(), 1);
            tags->actions().first()->trigger(); // carries "red": removes it
            QVERIFY(garden->tags().isEmpty());
            actionNamed(menu, u"Add to Favorites"_s)->trigger();
            QVERIFY(garden->isFavorite());
            actionNamed(menu, u"Copy Link"_s)->trigger();
            QCOMPARE(QGuiApplication::clipboard()->text(), u"https://garden.example/tips"_s);
            actionNamed(menu, u"Archive"_s)->trigger();
        }
        QTRY_COMPARE(shownTitles(*m_window), (QStringList{u"Project plan"_s, u"Deep note"_s}));
        {
            QMenu menu;
            Item* deep = m_ctx->items().last();
            ItemActions::fillContextMenu(menu, *m_ctx, *deep, m_window.get());
            QVERIFY(actionNamed(menu, u"Show in Folder"_s));
            QVERIFY(!actionNamed(menu, u"Open in Browser"_s));
        }
        // No URL: no link entries.
        Item* bare = m_ctx->insert(std::make_unique<Item>(ItemType::screenshot, u"bare"_s));
        QMenu menu;
        ItemActions::fillContextMenu(menu, *m_ctx, *bare, m_window.get());
        QVERIFY(!actionNamed(menu, u"Copy Link"_s) && !actionNamed(menu, u"Open in Browser"_s));
    }

    void deleteAsksFirstWhenConfirmationIsOn()
    {
        Item* garden = m_ctx->items().first();
        m_dialogs->answer = false;
        QVERIFY(!ItemActions::deleteItem(*m_ctx, *garden, m_window.get()));
        QCOMPARE(m_dialogs->confirmations, 1);
        QVERIFY(m_dialogs->lastQuestion.contains(u"Garden tips"));
        QCOMPARE(m_ctx->items().size(), 3);

        // The Delete key in the list asks too; confirmed, the item goes.
        m_dialogs->answer = true;
        m_state->setViewMode(ViewMode::list);
        m_window->selectItem(garden);
        QListView* list = m_window->middle()->listView();
        QTRY_VERIFY(list->isVisible());
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(m_dialogs->confirmations, 2);
        QTRY_COMPARE(shownTitles(*m_window), (QStringList{u"Project plan"_s, u"Deep note"_s}));
        // The keyboard goes on from there: the next item is selected, the
        // list keeps the focus, Down moves on and Ctrl+F still finds the
        // search field.
        QCOMPARE(m_window->selectedItem()->title(), u"Project plan"_s);
        QCOMPARE(m_window->findChild<QStackedWidget*>(u"detailColumn"_s)->currentIndex(), 1);
        QCOMPARE(QApplication::focusWidget(), list);
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(m_window->selectedItem()->title(), u"Deep note"_s);
        QTest::keyClick(list, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), m_window->sidebar()->searchField());

        // With the setting off, deletion is immediate.
        Settings::setValue(SettingsKey::confirmBeforeDelete, false);
        QVERIFY(ItemActions::deleteItem(*m_ctx, *m_ctx->items().first(), m_window.get()));
        QCOMPARE(m_dialogs->confirmations, 2);
        Settings::remove(SettingsKey::confirmBeforeDelete);
    }

    void detailPaneEdits()
    {
        Item* garden = m_ctx->items().first();
        m_window->selectItem(garden);
        DetailPane* pane = m_window->detail();
        QCOMPARE(m_window->findChild<QStackedWidget*>(u"detailColumn"_s)->currentIndex(), 1);
        // Shown for a second, the item counts as viewed.
        QVERIFY(!garden->accessedAt().has_value());
        QTRY_VERIFY(garden->accessedAt().has_value());
        QVERIFY(garden->isRead());

        // Title and note sheet: Save disabled while empty; a title of spaces is kept.
        onNextModal([](QWidget* modal) {
            auto* sheet = qobject_cast<TitleNoteSheet*>(modal);
            sheet->titleField()->clear();
            QVERIFY(!sheet->saveButton()->isEnabled());
            sheet->titleField()->setText(u"   "_s);
            sheet->noteEditor()->setPlainText(u"A note"_s);
            QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
        });
        pane->openTitleNoteSheet();
        QCOMPARE(garden->title(), u"   "_s);
        QCOMPARE(garden->note(), std::optional<QString>(u"A note"_s));

        // The note section: an empty note clears it.
        QTest::mouseClick(pane->findChild<QPushButton*>(u"editNoteButton"_s), Qt::LeftButton);
        QVERIFY(pane->isEditingNote());
        pane->findChild<QPlainTextEdit*>(u"noteEditor"_s)->clear();
        QTest::mouseClick(pane->findChild<QPushButton*>(u"saveNoteButton"_s), Qt::LeftButton);
        QCOMPARE(garden->note(), std::nullopt);
        QCOMPARE(pane->findChild<QLabel*>(u"noteText"_s)->text(), u"Click to add a note..."_s);

        // The folder picker offers Inbox and root folders only.
        QComboBox* folders = pane->findChild<QComboBox*>(u"folderPicker"_s);
        QCOMPARE(folders->count(), 2);
        QCOMPARE(folders->itemText(1), u"Projects"_s);
        folders->activated(1);
        QCOMPARE(garden->folder(), m_projects);
        folders->activated(0);
        QCOMPARE(garden->folder(), nullptr);

        // A chip's remove button detaches the tag.
        garden->addTag(m_red);
        QTRY_VERIFY(pane->findChild<TagChipView*>());
        QTest::mouseClick(pane->findChild<QWidget*>(u"removeTagButton"_s), Qt::LeftButton);
        QVERIFY(garden->tags().isEmpty());
        QTRY_VERIFY(pane->findChild<QLabel*>(u"noTags"_s)->isVisible());
    }

    void addURLSheetEnablesOnlyUsableURLs_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("https address") << u"https://example.com/page"_s << true;
        QTest::newRow("no scheme") << u"example.com/page"_s << false;
        QTest::newRow("leading space is not trimmed") << u" https://example.com"_s << false;
        QTest::newRow("empty") << QString() << false;
    }
    void addURLSheetEnablesOnlyUsableURLs()
    {
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        AddURLSheet sheet;
        QTest::keyClicks(sheet.field(), text);
        QCOMPARE(sheet.addButton()->isEnabled(), enabled);
    }

    void addingItemsSelectsThem()
    {
        ItemAdder* adder = m_window->adder();
        // Two links dropped at once: two items, the second selected.
        QMimeData links;
        links.setUrls({QUrl(u"http://127.0.0.1:1/first"_s), QUrl(u"http://127.0.0.1:1/second"_s)});
        QVERIFY(adder->handleDrop(&links));
        QCOMPARE(m_ctx->items().size(), 5);
        QCOMPARE(m_window->selectedItem()->urlString(), std::optional<QString>(u"http://127.0.0.1:1/second"_s));

        // A dropped picture file: an image item named after the file, with pictures.
        QTemporaryDir dir;
        const QString file = dir.filePath(u"Harbour.at.Dusk.png"_s);
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(png());
        f.close();
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(file)});
        QVERIFY(adder->handleDrop(&files));
        Item* picture = m_window->selectedItem();
        QCOMPARE(picture->type(), ItemType::image);
        QCOMPARE(picture->title(), u"Harbour.at.Dusk"_s); // the name without its final extension
        QVERIFY(picture->hasThumbnail() && picture->hasImage());

        // Dropped text that is not a URL adds nothing; dropped image data does.
        QMimeData text;
        text.setText(u"just words"_s);
        adder->handleDrop(&text);
        QCOMPARE(m_ctx->items().size(), 6);
        QMimeData image;
        image.setData(u"image/png"_s, png());
        image.setImageData(QImage::fromData(png()));
        QVERIFY(adder->handleDrop(&image));
        QCOMPARE(m_window->selectedItem()->type(), ItemType::screenshot);

        // Paste: URL text wins over a picture; TIFF alone makes a screenshot.
        auto* clip = new QMimeData;
        clip->setText(u"http://127.0.0.1:1/pasted"_s);
        clip->setData(u"image/png"_s, png());
        QGuiApplication::clipboard()->setMimeData(clip);
        adder->pasteClipboardItem();
        QCOMPARE(m_window->selectedItem()->urlString(), std::optional<QString>(u"http://127.0.0.1:1/pasted"_s));
        QByteArray tiff;
        QBuffer buffer(&tiff);
        buffer.open(QIODevice::WriteOnly);
        QImage::fromData(png()).save(&buffer, "TIFF");
        auto* tiffClip = new QMimeData;
        tiffClip->setData(u"image/tiff"_s, tiff);
        QGuiApplication::clipboard()->setMimeData(tiffClip);
        adder->pasteClipboardItem();
        QCOMPARE(m_window->selectedItem()->type(), ItemType::screenshot);

        // The application-wide notifications reach the window.
        Q_EMIT AppNotifications::instance().createItemFromURL(QUrl(u"http://127.0.0.1:1/notified"_s));
        QCOMPARE(m_window->selectedItem()->urlString(), std::optional<QString>(u"http://127.0.0.1:1/notified"_s));
        QTRY_COMPARE(m_window->middle()->model()->rowCount(), 10);
    }

    void documentChooserNamesTheItemAfterTheFile()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(u"Tax.Return.pdf"_s);
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("%PDF-1.4\n");
        f.close();
        m_dialogs->file = file;
        m_window->adder()->chooseDocument();
        Item* doc = m_window->selectedItem();
        QCOMPARE(doc->title(), u"Tax.Return"_s);
        QCOMPARE(doc->type(), ItemType::document);
        QCOMPARE(doc->urlString(), std::optional<QString>(QUrl::fromLocalFile(file).toString()));
        QVERIFY(!doc->hasImage());
    }

    // Every list of tags and folders in the window orders them the same way,
    // as the command line does: sortOrder, then name regardless of case.
    void listsOrderTagsAndFoldersAlike()
    {
        m_ctx->insert(std::make_unique<Tag>(u"beta"_s, QColor(Qt::blue)));
        m_ctx->insert(std::make_unique<Tag>(u"Alpha"_s, QColor(Qt::blue)));
        m_ctx->insert(std::make_unique<Tag>(u"zeta"_s, QColor(Qt::blue)))->setSortOrder(-1);
        m_ctx->insert(std::make_unique<Folder>(u"archive"_s, u"folder"_s, QColor(Qt::red)));
        const QStringList tagOrder{u"zeta"_s, u"Alpha"_s, u"beta"_s, u"red"_s};
        const QStringList folderOrder{u"archive"_s, u"Projects"_s};

        SidebarModel* model = m_window->sidebar()->model();
        auto section = [model](const QString& header) {
            QStringList names;
            const QModelIndex parent = model->indexFor(SidebarModel::Header, header);
            for (int row = 0; row < model->rowCount(parent); ++row) {
                const QModelIndex index = model->index(row, 0, parent);
                if (index.data(SidebarModel::KindRole).toInt() != SidebarModel::NewFolderRow)
                    names.append(index.data().toString());
            }
            return names;
        };
        QTRY_COMPARE(section(u"tags"_s), tagOrder);
        QTRY_COMPARE(section(u"folders"_s), folderOrder);

        QMenu menu;
        ItemActions::fillContextMenu(menu, *m_ctx, *m_ctx->items().first(), m_window.get());
        QStringList menuTags;
        for (QAction* action : menu.findChild<QMenu*>(u"tagsMenu"_s)->actions())
            menuTags.append(action->text());
        QCOMPARE(menuTags, tagOrder);

        m_window->selectItem(m_ctx->items().first());
        auto* picker = m_window->findChild<QComboBox*>(u"folderPicker"_s);
        QVERIFY(picker);
        QStringList pickerFolders;
        for (int i = 1; i < picker->count(); ++i) // after "Inbox"
            pickerFolders.append(picker->itemText(i));
        QTRY_COMPARE(pickerFolders, folderOrder);
    }

    void openHandsOnlySafeAddressesToTheDesktop_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<ItemType>("type");
        QTest::addColumn<bool>("opened");
        QTest::newRow("https") << u"https://example.com/a"_s << ItemType::webLink << true;
        QTest::newRow("http") << u"http://example.com/a"_s << ItemType::webLink << true;
        QTest::newRow("mailto") << u"mailto:someone@example.com"_s << ItemType::webLink << true;
        QTest::newRow("javascript runs script") << u"javascript:alert(1)"_s << ItemType::webLink << false;
        QTest::newRow("vbscript runs script") << u"vbscript:msgbox(1)"_s << ItemType::webLink << false;
        QTest::newRow("data can carry a page") << u"data:text/html,hi"_s << ItemType::webLink << false;
        QTest::newRow("file of a document that exists") << u"EXISTING"_s << ItemType::document << true;
        QTest::newRow("file of a document that is gone") << u"MISSING"_s << ItemType::document << false;
        QTest::newRow("file of a web item") << u"EXISTING"_s << ItemType::webLink << false;
        QTest::newRow("file of an image item") << u"EXISTING"_s << ItemType::image << false;
    }
    void openHandsOnlySafeAddressesToTheDesktop()
    {
        QFETCH(QString, url);
        QFETCH(ItemType, type);
        QFETCH(bool, opened);
        QTemporaryDir dir;
        if (url == u"EXISTING" || url == u"MISSING") {
            const QString path = dir.filePath(u"report.pdf"_s);
            if (url == u"EXISTING") {
                QFile f(path);
                QVERIFY(f.open(QIODevice::WriteOnly));
            }
            url = QUrl::fromLocalFile(path).toString();
        }
        Item* item = m_ctx->insert(std::make_unique<Item>(type, u"target"_s, QUrl(url)));
        OpenedUrls desktop;
        QCOMPARE(ItemActions::open(*item, m_window.get()), opened);
        QCOMPARE(desktop.urls, opened ? QList<QUrl>{QUrl(url)} : QList<QUrl>{});
        QCOMPARE(m_dialogs->errors.size(), opened ? 0 : 1);

        // The detail pane's "Open" follows the same rule.
        m_window->selectItem(item);
        auto* action = m_window->findChild<QAction*>(u"openAction"_s);
        QVERIFY(action);
        action->trigger();
        QCOMPARE(desktop.urls.size(), opened ? 2 : 0);
        QCOMPARE(m_dialogs->errors.size(), opened ? 0 : 2);
    }

    void detailPaneStaysInItsColumn()
    {
        // An ordinary long title and a long unbroken note at the default size.
        Item* item = addWebItem(QString(u"An ordinary but rather long title of a saved page "_s).repeated(6));
        item->setNote(QString(60, u'x') + u" & "_s + QString(200, u'y'));
        item->moveToFolder(m_ctx->insert(std::make_unique<Folder>(QString(120, u'F'), u"folder"_s, QColor(Qt::blue))));
        m_window->resize(1200, 800);
        m_window->selectItem(item);
        auto* column = m_window->findChild<QStackedWidget*>(u"detailColumn"_s);
        QTRY_COMPARE(column->currentIndex(), 1);
        QApplication::processEvents();
        for (const QString& name :
             {u"addTagButton"_s, u"editNoteButton"_s, u"folderPicker"_s, u"detailTitle"_s, u"noteText"_s}) {
            auto* widget = m_window->detail()->findChild<QWidget*>(name);
            QVERIFY2(widget, qPrintable(name));
            const int right = widget->mapTo(column, QPoint(widget->width(), 0)).x();
            QVERIFY2(right <= column->width(),
                     qPrintable(u"%1 ends at %2 of %3"_s.arg(name).arg(right).arg(column->width())));
        }
        // The title wraps instead.
        auto* title = m_window->detail()->findChild<QLabel*>(u"detailTitle"_s);
        QVERIFY(title->height() > 2 * title->fontMetrics().height());
    }

    void userTextsShowExactlyAsStored_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("mark"); // drawn alone, it must leave a mark
        QTest::newRow("ampersand") << u"Pink & white"_s << u"&"_s;
        QTest::newRow("family") << u"Kids & Family"_s << u"&"_s;
        QTest::newRow("doubled") << u"R&&D"_s << u"&"_s;
        QTest::newRow("underscores") << u"Harbour_at_Dusk"_s << u"_"_s;
        QTest::newRow("markup") << u"<b>bold</b> &amp; <i>x"_s << u"<"_s;
    }

    void userTextsShowExactlyAsStored()
    {
        QFETCH(QString, text);
        QFETCH(QString, mark);
        auto stripMnemonics = [](QString shown) {
            QString out;
            for (qsizetype i = 0; i < shown.size(); ++i) {
                if (shown[i] == u'&' && i + 1 < shown.size())
                    ++i;
                out += shown[i];
            }
            return out;
        };
        Folder* folder = m_ctx->insert(std::make_unique<Folder>(text, u"folder"_s, QColor(Qt::blue), m_projects));
        Tag* tag = m_ctx->insert(std::make_unique<Tag>(text, QColor(Qt::green)));
        Item* item = addWebItem(text);
        item->setNote(text);
        item->addTag(tag);
        item->moveToFolder(folder);
        m_window->selectItem(item);

        // The detail pane.
        DetailPane* pane = m_window->detail();
        for (const QString& name : {u"detailTitle"_s, u"noteText"_s}) {
            auto* label = pane->findChild<QLabel*>(name);
            QCOMPARE(label->text(), text);
            QCOMPARE(label->textFormat(), Qt::PlainText);
        }
        QTRY_COMPARE(pane->findChild<TagChipView*>()->name(), text);
        QVERIFY(pane->findChild<QComboBox*>(u"folderPicker"_s)->currentText().endsWith(text));

        // Menus: the item's context menu and the selection pane's tag menu.
        QMenu menu;
        ItemActions::fillContextMenu(menu, *m_ctx, *item, m_window.get());
        QStringList tagEntries;
        for (QAction* action : menu.findChild<QMenu*>(u"tagsMenu"_s)->actions())
            tagEntries.append(stripMnemonics(action->text()));
        QVERIFY2(tagEntries.contains(text), qPrintable(tagEntries.join(u" | "_s)));

        // The sidebar, for the folder and the tag.
        SidebarModel* sidebar = m_window->sidebar()->model();
        QTRY_COMPARE(sidebar->indexForFolder(folder).data(Qt::DisplayRole).toString(), text);
        QTRY_COMPARE(sidebar->indexForTag(tag).data(Qt::DisplayRole).toString(), text);

        // Rows and cards paint the text's marks ("_" included).
        for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_window->middle()->listView()),
                                        static_cast<QAbstractItemView*>(m_window->middle()->gridView())}) {
            auto* delegate = qobject_cast<QStyledItemDelegate*>(view->itemDelegate());
            const QSize size = view == m_window->middle()->gridView() ? QSize(196, 180) : QSize(320, 60);
            item->setTitle(mark);
            const QImage marked = paintItem(delegate, item, size);
            item->setTitle(u" "_s);
            const QImage blank = paintItem(delegate, item, size);
            QVERIFY2(marked != blank, qPrintable(view->objectName()));
        }
    }

    void nestedFolderShowsInThePicker()
    {
        Item* deep = m_ctx->items().last(); // filed in Projects › Sub
        m_window->selectItem(deep);
        auto* picker = m_window->detail()->findChild<QComboBox*>(u"folderPicker"_s);
        QCOMPARE(picker->currentText(), u"Projects › Sub"_s);
        QCOMPARE(picker->currentData().toUuid(), m_sub->id());
        // Another item shows only the root folders again.
        m_window->selectItem(m_ctx->items().first());
        QCOMPARE(picker->count(), 2);
        QCOMPARE(picker->currentText(), u"Inbox"_s);
    }

    void newQueryStartsAtTheTop()
    {
        for (int i = 0; i < 150; ++i)
            m_ctx->insert(
                std::make_unique<Item>(ItemType::webLink, u"garden item %1"_s.arg(i), QUrl(u"https://g.example/"_s)));
        for (const ViewMode mode : {ViewMode::list, ViewMode::grid}) {
            m_state->setViewMode(mode);
            QListView* view = mode == ViewMode::list ? m_window->middle()->listView() : m_window->middle()->gridView();
            QTRY_VERIFY(view->isVisible() && view->verticalScrollBar()->maximum() > 0);
            view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
            m_state->setSearchQuery(mode == ViewMode::list ? u"garden"_s : u"item"_s);
            QTRY_COMPARE(view->verticalScrollBar()->value(), 0);
            m_state->setSearchQuery(QString());
        }
    }

    void gridSettlesInOnePass_data()
    {
        QTest::addColumn<int>("count");
        for (int count : {5, 6, 7, 8})
            QTest::addRow("%d items", count) << count;
    }

    void gridSettlesInOnePass()
    {
        QFETCH(int, count);
        for (int i = 3; i < count; ++i)
            addWebItem(u"card %1"_s.arg(i));
        m_window->resize(1200, 800);
        m_state->setViewMode(ViewMode::grid);
        QListView* grid = m_window->middle()->gridView();
        QTRY_VERIFY(grid->isVisible());
        QTest::qWait(100);
        // Idle, the grid lays out nothing more.
        int layouts = 0;
        struct Counter : QObject {
            int* n;
            explicit Counter(int* c) : n(c) {}
            bool eventFilter(QObject*, QEvent* e) override
            {
                if (e->type() == QEvent::Resize || e->type() == QEvent::LayoutRequest)
                    ++*n;
                return false;
            }
        } counter(&layouts);
        grid->viewport()->installEventFilter(&counter);
        grid->installEventFilter(&counter);
        const QSize gridSize = grid->gridSize();
        QTest::qWait(400);
        QCOMPARE(layouts, 0);
        QCOMPARE(grid->gridSize(), gridSize);
        // Every card is inside the viewport's width: no single column when two fit.
        QVERIFY(grid->visualRect(grid->model()->index(1, 0)).top()
                == grid->visualRect(grid->model()->index(0, 0)).top());
    }

    void hugeTitleIsDrawnFromAPrefix()
    {
        Item* item = addWebItem(QString(50 * 1024 * 1024, u'w'));
        m_window->selectItem(item);
        QVERIFY(m_window->detail()->findChild<QLabel*>(u"detailTitle"_s)->text().size() <= 2001);
        ItemListModel* model = m_window->middle()->model();
        QVERIFY(model->index(model->rowOf(item)).data(Qt::ToolTipRole).toString().size() <= 1001);
        // Painting a row and a card works on the prefix.
        for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_window->middle()->listView()),
                                        static_cast<QAbstractItemView*>(m_window->middle()->gridView())})
            QVERIFY(
                !paintItem(qobject_cast<QStyledItemDelegate*>(view->itemDelegate()), item, QSize(300, 180)).isNull());
    }

    void noteBeingTypedIsKept()
    {
        Item* garden = m_ctx->items().first();
        Item* plan = m_ctx->items().at(1);
        m_window->selectItem(garden);
        DetailPane* pane = m_window->detail();
        auto* editor = pane->findChild<QPlainTextEdit*>(u"noteEditor"_s);
        // Escape cancels, Ctrl+Return saves, Tab leaves the field.
        QTest::mouseClick(pane->findChild<QPushButton*>(u"editNoteButton"_s), Qt::LeftButton);
        QTest::keyClicks(editor, u"thrown away"_s);
        QTest::keyClick(editor, Qt::Key_Escape);
        QVERIFY(!pane->isEditingNote());
        QCOMPARE(garden->note(), std::nullopt);
        QTest::mouseClick(pane->findChild<QPushButton*>(u"editNoteButton"_s), Qt::LeftButton);
        QTest::keyClicks(editor, u"kept"_s);
        QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(garden->note(), std::optional<QString>(u"kept"_s));
        QTest::mouseClick(pane->findChild<QPushButton*>(u"editNoteButton"_s), Qt::LeftButton);
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_Tab);
        QVERIFY(!editor->toPlainText().contains(u'\t'));
        // Half-typed, then another item is chosen: the note is saved.
        editor->setPlainText(u"half-typed & kept"_s);
        m_window->selectItem(plan);
        QCOMPARE(garden->note(), std::optional<QString>(u"half-typed & kept"_s));
        QCOMPARE(plan->note(), std::nullopt);
        QVERIFY(!pane->isEditingNote());
    }

    void passingOverItemsIsNotViewingThem()
    {
        QList<Item*> items = m_ctx->items();
        m_state->setViewMode(ViewMode::list);
        QListView* list = m_window->middle()->listView();
        QTRY_VERIFY(list->isVisible());
        m_window->selectItem(m_window->middle()->model()->itemAt(0));
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Down);
        Item* last = m_window->selectedItem();
        QTRY_VERIFY(last->accessedAt().has_value());
        for (Item* item : items)
            QCOMPARE(item->accessedAt().has_value(), item == last);
    }

    void addImageFromFileChecksThePicture()
    {
        QTemporaryDir dir;
        const QString text = dir.filePath(u"notes.png"_s);
        QFile f(text);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("hello world\n");
        f.close();
        const qsizetype before = m_ctx->items().size();
        QVERIFY(!m_window->adder()->addItemFromImageFile(text));
        QCOMPARE(m_ctx->items().size(), before);
        QCOMPARE(m_dialogs->errors.size(), 1);
        QVERIFY(m_dialogs->errors.first().contains(u"not a picture"));

        const QString photo = dir.filePath(u"Harbour at Dusk.png"_s);
        QFile p(photo);
        QVERIFY(p.open(QIODevice::WriteOnly));
        p.write(png());
        p.close();
        m_dialogs->file = photo;
        m_window->action(u"addImageAction"_s)->trigger();
        QCOMPARE(m_ctx->items().size(), before + 1);
        QCOMPARE(m_window->selectedItem()->title(), u"Harbour at Dusk"_s);
        QVERIFY(m_window->selectedItem()->hasImage());
    }

    void titlesSortAsPeopleDo()
    {
        // The "C" locale, as on a machine without LANG.
        QLocale::setDefault(QLocale::c());
        for (const QString& title : {u"Tax"_s, u"budget"_s, u"item 10"_s, u"hello"_s, u"item 9"_s, u"Coastal"_s})
            addWebItem(title);
        m_state->setSortOrder(SortOrder::titleAscending);
        QTRY_COMPARE(shownTitles(*m_window).mid(0, 3), (QStringList{u"budget"_s, u"Coastal"_s, u"Deep note"_s}));
        QStringList titles = shownTitles(*m_window);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(titles, (QStringList{u"budget"_s, u"Coastal"_s, u"Deep note"_s, u"Garden tips"_s, u"hello"_s,
                                      u"item 9"_s, u"item 10"_s, u"Project plan"_s, u"Tax"_s}));
        // The Sort button names the order; both menus check the current choice.
        auto* sort = m_window->middle()->findChild<QToolButton*>(u"sortMenu"_s);
        QCOMPARE(sort->text(), SortOrders::displayName(SortOrder::titleAscending));
        QStringList checked;
        for (QAction* action : sort->menu()->actions())
            if (action->isChecked())
                checked.append(action->text());
        QCOMPARE(checked, QStringList{SortOrders::displayName(SortOrder::titleAscending)});
        m_state->setContentTypeFilter(ItemType::webLink);
        checked.clear();
        for (QAction* action : m_window->middle()->findChild<QToolButton*>(u"typeFilterMenu"_s)->menu()->actions())
            if (action->isChecked())
                checked.append(action->text());
        QCOMPARE(checked, QStringList{ItemTypes::displayName(ItemType::webLink)});
    }

    void linuxWordsForLinuxFeatures()
    {
        for (Item* item : m_ctx->items())
            m_ctx->remove(item);
        QTRY_VERIFY(m_window->middle()->findChild<QLabel*>(u"placeholderDescription"_s)->isVisible());
        const QString text = m_window->middle()->findChild<QLabel*>(u"placeholderDescription"_s)->text();
        QVERIFY2(!text.contains(u"Share Sheet") && text.contains(u"Open with Folionest"), qPrintable(text));
    }

    void failedFetchSaysWhyAndFetchesAgain()
    {
        // Nothing listens on this port: the fetch fails at once.
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        Item* item = m_window->adder()->addItemFromURL(QUrl(u"http://127.0.0.1:%1/page"_s.arg(port)));
        QVERIFY(item);
        DetailPane* pane = m_window->detail();
        auto* message = pane->findChild<QLabel*>(u"fetchMessage"_s);
        auto* again = pane->findChild<QPushButton*>(u"fetchAgainButton"_s);
        QTRY_VERIFY(message->isVisible() && message->text().contains(u"could not be read"));
        QVERIFY(again->isVisible() && again->isEnabled());
        QSignalSpy finished(m_metadata.get(), &MetadataService::itemFetchFinished);
        QTest::mouseClick(again, Qt::LeftButton);
        QVERIFY(finished.wait());
        QTRY_VERIFY(message->text().contains(u"could not be read"));
        // The context menu offers the same.
        QMenu menu;
        ItemActions::fillContextMenu(menu, *m_ctx, *item, m_window.get(), [](Item&) {});
        QVERIFY(menu.findChild<QAction*>(u"refreshMetadataAction"_s));
        // A file is no web page: nothing to fetch.
        m_window->selectItem(m_ctx->items().at(2));
        QVERIFY(!pane->findChild<QWidget*>(u"fetchRow"_s)->isVisible());
    }

    void keyboardPaths()
    {
        OpenedUrls desktop;
        m_state->setViewMode(ViewMode::list);
        QListView* list = m_window->middle()->listView();
        QTRY_VERIFY(list->isVisible());
        Item* garden = m_ctx->items().first();
        m_window->selectItem(garden);
        list->setFocus();
        // Return and double-click open the link.
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(desktop.urls, QList<QUrl>{QUrl(u"https://garden.example/tips"_s)});
        const QRect rect =
            list->visualRect(m_window->middle()->model()->index(m_window->middle()->model()->rowOf(garden)));
        QSignalSpy doubleClicked(list, &QAbstractItemView::doubleClicked);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(doubleClicked.size(), 1);
        QCOMPARE(desktop.urls.size(), 2);
        // Ctrl+C copies the link, and says so.
        QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"https://garden.example/tips"_s);
        QCOMPARE(m_window->toastText(), u"Link Copied"_s);
        // Ctrl+V adds what the clipboard holds.
        QGuiApplication::clipboard()->setText(u"https://pasted.example/x"_s);
        const qsizetype before = m_ctx->items().size();
        QTest::keyClick(list, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(m_ctx->items().size(), before + 1);
        QCOMPARE(m_window->selectedItem()->urlString(), std::optional<QString>(u"https://pasted.example/x"_s));
        // F2 edits the title.
        list->setFocus();
        bool sheetOpened = false;
        onNextModal([&sheetOpened](QWidget* modal) {
            sheetOpened = qobject_cast<TitleNoteSheet*>(modal) != nullptr;
            modal->close();
        });
        QTest::keyClick(list, Qt::Key_F2);
        QVERIFY(sheetOpened);
        m_window->activateWindow();
        QTRY_VERIFY(m_window->isActiveWindow());
        // Escape in the search field clears it; Down moves into the results.
        QLineEdit* search = m_window->sidebar()->searchField();
        search->setFocus();
        QTest::keyClicks(search, u"plan"_s);
        QTRY_COMPARE(shownTitles(*m_window), QStringList{u"Project plan"_s});
        QTest::keyClick(search, Qt::Key_Escape);
        QCOMPARE(search->text(), QString());
        QTest::keyClicks(search, u"plan"_s);
        QTRY_COMPARE(shownTitles(*m_window), QStringList{u"Project plan"_s});
        QTest::keyClick(search, Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), list);
        QCOMPARE(m_window->selectedItem()->title(), u"Project plan"_s);
    }

    void severalItemsAtOnce()
    {
        m_state->setViewMode(ViewMode::list);
        QListView* list = m_window->middle()->listView();
        QTRY_VERIFY(list->isVisible());
        list->setFocus();
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        auto* column = m_window->findChild<QStackedWidget*>(u"detailColumn"_s);
        QTRY_COMPARE(column->currentIndex(), 2);
        SelectionPane* pane = m_window->selectionPane();
        QCOMPARE(pane->findChild<QLabel*>(u"selectionTitle"_s)->text(), u"3 Items Selected"_s);
        pane->moveTo(m_projects->id());
        pane->addTag(m_red->id());
        for (Item* item : m_ctx->items())
            QVERIFY(item->folder() == m_projects && item->hasTag(m_red->id()));
        pane->removeTag(m_red->id());
        pane->toggleFavorite(); // one was a favourite: all become favourites
        for (Item* item : m_ctx->items())
            QVERIFY(!item->hasTag(m_red->id()) && item->isFavorite());
        pane->toggleFavorite();
        for (Item* item : m_ctx->items())
            QVERIFY(!item->isFavorite());
        // Deleting asks once for all of them.
        QTest::mouseClick(pane->findChild<QPushButton*>(u"deleteAllButton"_s), Qt::LeftButton);
        QCOMPARE(m_dialogs->confirmations, 1);
        QTRY_VERIFY(m_ctx->items().isEmpty());
        QTRY_COMPARE(column->currentIndex(), 0);
    }

    void itemsDragOntoSidebarFoldersAndTags()
    {
        ItemListModel* model = m_window->middle()->model();
        QModelIndexList rows{model->index(0), model->index(1)};
        std::unique_ptr<QMimeData> mime(model->mimeData(rows));
        SidebarModel* sidebar = m_window->sidebar()->model();
        QModelIndex folderRow, tagRow;
        std::function<void(const QModelIndex&)> walk = [&](const QModelIndex& parent) {
            for (int row = 0; row < sidebar->rowCount(parent); ++row) {
                const QModelIndex index = sidebar->index(row, 0, parent);
                if (sidebar->folderAt(index) == m_projects)
                    folderRow = index;
                if (sidebar->tagAt(index) == m_red)
                    tagRow = index;
                walk(index);
            }
        };
        walk({});
        QVERIFY(folderRow.isValid() && tagRow.isValid());
        for (const QModelIndex& target : {folderRow, tagRow}) {
            QVERIFY(sidebar->canDropMimeData(mime.get(), Qt::CopyAction, -1, -1, target));
            // The rows stay in the list: the drop reports nothing to remove.
            sidebar->dropMimeData(mime.get(), Qt::CopyAction, -1, -1, target);
        }
        for (int row : {0, 1}) {
            QCOMPARE(model->itemAt(row)->folder(), m_projects);
            QVERIFY(model->itemAt(row)->hasTag(m_red->id()));
        }
    }

    void stateIsKeptAcrossRestarts()
    {
        m_window->resize(1300, 850);
        m_state->setViewMode(ViewMode::list);
        m_state->setSortOrder(SortOrder::titleDescending);
        m_state->setContentTypeFilter(ItemType::webLink);
        m_window->query()->selectRootFolder(m_projects);
        m_window->sidebar()->setExpandedFolders({m_projects->id().toString(QUuid::WithoutBraces)});
        m_window->close();
        m_window.reset();

        m_state = std::make_unique<AppState>();
        m_state->observe(m_ctx.get());
        m_window = std::make_unique<MainWindow>(m_ctx.get(), m_state.get(), nullptr, m_metadata.get());
        m_window->restoreWindowState(true);
        m_window->show();
        QCOMPARE(m_window->size(), QSize(1300, 850));
        QCOMPARE(m_state->viewMode(), ViewMode::list);
        QCOMPARE(m_state->sortOrder(), SortOrder::titleDescending);
        QCOMPARE(m_state->contentTypeFilter(), std::optional<ItemType>(ItemType::webLink));
        QCOMPARE(m_window->query()->selection().folder, m_projects);
        QCOMPARE(m_window->sidebar()->expandedFolders(), QStringList{m_projects->id().toString(QUuid::WithoutBraces)});
    }

    void wideWindowsShowMoreCards()
    {
        m_state->setViewMode(ViewMode::grid);
        m_window->resize(1920, 1080);
        QTRY_VERIFY(m_window->middle()->width() > 600);
        auto* column = m_window->findChild<QStackedWidget*>(u"detailColumn"_s);
        QVERIFY(column->width() < m_window->width() * 45 / 100);
        const auto [columns, width] =
            ItemCardDelegate::columnsAndWidth(m_window->middle()->gridView()->viewport()->width());
        Q_UNUSED(width);
        QVERIFY(columns >= 4);
    }

    void organisingSheetsOpenFromTheWindow()
    {
        // The sheet of a type now open over the window, if any.
        auto openSheet = [this]<typename T>(T*) -> T* {
            for (T* sheet : m_window->findChildren<T*>())
                if (sheet->isVisible())
                    return sheet;
            return nullptr;
        };
        auto closeAll = [this] {
            for (QDialog* dialog : m_window->findChildren<QDialog*>())
                if (dialog->isVisible())
                    dialog->reject();
            QApplication::processEvents();
        };
        m_window->action(u"newFolderAction"_s)->trigger();
        FolderEditorSheet* folderSheet = nullptr;
        QTRY_VERIFY((folderSheet = openSheet(static_cast<FolderEditorSheet*>(nullptr))));
        QVERIFY(!folderSheet->isEditing());
        QCOMPARE(folderSheet->windowModality(), Qt::WindowModal);
        closeAll();
        QTRY_VERIFY(!m_state->showNewFolderSheet());
        // Twice in a row works: the flag was put back.
        m_window->middle()->findChild<QToolButton*>(u"addMenu"_s)->menu()->actions().last()->trigger();
        QTRY_VERIFY(openSheet(static_cast<FolderEditorSheet*>(nullptr)));
        closeAll();

        SidebarView* sidebar = m_window->sidebar();
        Q_EMIT sidebar->editFolderRequested(m_projects);
        QTRY_VERIFY((folderSheet = openSheet(static_cast<FolderEditorSheet*>(nullptr))));
        QCOMPARE(folderSheet->folder(), m_projects);
        closeAll();
        Q_EMIT sidebar->newTagRequested();
        QTRY_VERIFY(openSheet(static_cast<TagEditorSheet*>(nullptr)));
        closeAll();
        Q_EMIT sidebar->editTagRequested(m_red);
        TagEditorSheet* tagSheet = nullptr;
        QTRY_VERIFY((tagSheet = openSheet(static_cast<TagEditorSheet*>(nullptr))));
        QCOMPARE(tagSheet->tag(), m_red);
        closeAll();
        Q_EMIT sidebar->manageTagsRequested();
        QTRY_VERIFY(openSheet(static_cast<TagManagementDialog*>(nullptr)));
        closeAll();

        // "Add Tag" in the detail pane opens the picker for the item.
        Item* garden = m_ctx->items().first();
        m_window->selectItem(garden);
        QTest::mouseClick(m_window->detail()->findChild<QPushButton*>(u"addTagButton"_s), Qt::LeftButton);
        TagPickerSheet* picker = nullptr;
        QTRY_VERIFY((picker = openSheet(static_cast<TagPickerSheet*>(nullptr))));
        QCOMPARE(picker->item(), garden);
        closeAll();

        // Deleting a folder with a sub-folder and an item asks first, naming both.
        Q_EMIT sidebar->deleteFolderRequested(m_projects);
        QCOMPARE(m_dialogs->confirmations, 1);
        QVERIFY2(m_dialogs->lastQuestion.contains(u"2 items") && m_dialogs->lastQuestion.contains(u"1 sub-folder"),
                 qPrintable(m_dialogs->lastQuestion));
        QVERIFY(!m_ctx->folder(m_projects->id()));
    }

    void tagsDropOntoTheDetailPane()
    {
        Item* plan = m_ctx->items().at(1);
        m_window->selectItem(plan);
        DetailPane* pane = m_window->detail();
        auto drop = [pane](QMimeData* mime) {
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime, Qt::LeftButton, {});
            QApplication::sendEvent(pane, &enter);
            QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, mime, Qt::LeftButton, {});
            QApplication::sendEvent(pane, &dropped);
            return enter.isAccepted() && dropped.isAccepted();
        };
        // A payload naming no tag of this library changes nothing.
        QMimeData unknown;
        unknown.setData(TagDragItem::mimeType(), TagDragItem{QUuid::createUuid()}.toJson());
        const QDateTime modified = plan->modifiedAt();
        QVERIFY(!drop(&unknown));
        QVERIFY(plan->tags().isEmpty());
        QCOMPARE(plan->modifiedAt(), modified);
        std::unique_ptr<QMimeData> red(TagDrag::mimeData(*m_red));
        QVERIFY(drop(red.get()));
        QVERIFY(plan->hasTag(m_red->id()));
        // And onto a row of the list.
        Item* deep = m_ctx->items().at(2);
        ItemListModel* model = m_window->middle()->model();
        const QModelIndex row = model->index(model->rowOf(deep));
        QVERIFY(!model->canDropMimeData(&unknown, Qt::CopyAction, -1, -1, row));
        QVERIFY(model->canDropMimeData(red.get(), Qt::CopyAction, -1, -1, row));
        model->dropMimeData(red.get(), Qt::CopyAction, -1, -1, row);
        QVERIFY(deep->hasTag(m_red->id()));
    }

    void menuEntriesAnswerTheirShortcuts_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QKeySequence>("keys");
        const QList<std::pair<const char*, QKeySequence>> entries{
            {"newItemFromClipboardAction", QKeySequence(u"Ctrl+Shift+V"_s)},
            {"newFolderAction", QKeySequence(u"Ctrl+Shift+N"_s)},
            {"addURLAction", QKeySequence(u"Ctrl+N"_s)},
            {"closeWindowAction", QKeySequence(u"Ctrl+W"_s)},
            {"quitAction", QKeySequence(u"Ctrl+Q"_s)},
            {"copyAction", QKeySequence(u"Ctrl+C"_s)},
            {"pasteAction", QKeySequence(u"Ctrl+V"_s)},
            {"selectAllAction", QKeySequence(u"Ctrl+A"_s)},
            {"renameAction", QKeySequence(u"F2"_s)},
            {"settingsAction", QKeySequence(u"Ctrl+,"_s)},
            {"toggleSidebarAction", QKeySequence(u"Ctrl+Alt+S"_s)},
            {"toggleSidebarAction", QKeySequence(u"F9"_s)},
            {"showAllItemsAction", QKeySequence(u"Ctrl+1"_s)},
            {"showFavoritesAction", QKeySequence(u"Ctrl+2"_s)},
            {"searchAction", QKeySequence(u"Ctrl+F"_s)},
        };
        for (const auto& [name, keys] : entries)
            QTest::addRow("%s %s", name, qPrintable(keys.toString())) << QString::fromLatin1(name) << keys;
    }

    void menuEntriesAnswerTheirShortcuts()
    {
        QFETCH(QString, action);
        QFETCH(QKeySequence, keys);
        QAction* entry = m_window->action(action);
        QVERIFY(entry);
        QVERIFY(entry->shortcuts().contains(keys));
        // The shortcut works wherever the focus is in the window; the entry
        // itself does nothing here (its effects have tests of their own).
        entry->disconnect(SIGNAL(triggered(bool)));
        QSignalSpy triggered(entry, &QAction::triggered);
        m_window->activateWindow();
        QTRY_VERIFY(m_window->isActiveWindow());
        m_window->selectItem(m_ctx->items().first());
        const QList<QWidget*> places{m_window->middle()->listView(), m_window->sidebar()->view(),
                                     m_window->detail()->findChild<QComboBox*>(u"folderPicker"_s)};
        for (QWidget* place : places) {
            if (!place->isVisible())
                continue;
            place->setFocus();
            QTest::keySequence(m_window.get(), keys);
        }
        QVERIFY(triggered.size() >= 2);
    }

    void menuEntriesDoWhatTheySay()
    {
        m_window->action(u"toggleSidebarAction"_s)->trigger();
        QVERIFY(!m_window->sidebar()->isVisible());
        m_window->action(u"toggleSidebarAction"_s)->trigger();
        QVERIFY(m_window->sidebar()->isVisible());
        m_window->action(u"showFavoritesAction"_s)->trigger();
        QTRY_COMPARE(shownTitles(*m_window), QStringList{u"Project plan"_s});
        m_window->action(u"showAllItemsAction"_s)->trigger();
        m_state->setShowFavoritesOnly(false);
        QTRY_COMPARE(shownTitles(*m_window).size(), 3);
        m_window->action(u"listViewAction"_s)->trigger();
        QCOMPARE(m_state->viewMode(), ViewMode::list);
        m_window->action(u"gridViewAction"_s)->trigger();
        QCOMPARE(m_state->viewMode(), ViewMode::grid);
        QSignalSpy settings(m_window.get(), &MainWindow::settingsRequested);
        m_window->action(u"settingsAction"_s)->trigger();
        QCOMPARE(settings.size(), 1);
        m_window->action(u"closeWindowAction"_s)->trigger();
        QVERIFY(!m_window->isVisible());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
