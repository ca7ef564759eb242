// What the main window remembers between runs, in the settings file: its
// geometry, the column widths, the sidebar's visibility, expanded folders
// and chosen row, and the list's view, order and type filter.

#include "MainWindow.h"

#include "main/MiddleColumn.h"
#include "main/SidebarView.h"

#include "app/AppState.h"
#include "app/ItemListQuery.h"
#include "app/Vocabulary.h"
#include "model/Folder.h"
#include "platform/Settings.h"
#include "store/ModelContext.h"

#include <QSplitter>

using namespace Qt::StringLiterals;

namespace {
const QString kGroup = u"mainWindow"_s;

QString sidebarRow(const ItemListQuery::Selection& selection)
{
    if (selection.folder)
        return (selection.folder->parent() ? u"child:"_s : u"folder:"_s)
               + selection.folder->id().toString(QUuid::WithoutBraces);
    if (selection.smartFolder)
        return u"smart:"_s + SmartFolders::rawValue(*selection.smartFolder);
    return {};
}
} // namespace

void MainWindow::saveWindowState() const
{
    const auto settings = Settings::open();
    settings->beginGroup(kGroup);
    settings->setValue(u"geometry"_s, saveGeometry());
    settings->setValue(u"columns"_s, m_splitter->saveState());
    settings->setValue(u"sidebarVisible"_s, m_sidebar->isVisibleTo(this));
    settings->setValue(u"expandedFolders"_s, m_sidebar->expandedFolders());
    settings->setValue(u"sidebarRow"_s, sidebarRow(m_query->selection()));
    const auto type = m_state->contentTypeFilter();
    settings->setValue(u"typeFilter"_s, type ? ItemTypes::rawValue(*type) : QString());
    settings->endGroup();
    settings->setValue(SettingsKeys::rawValue(SettingsKey::preferredViewMode),
                       ViewModes::rawValue(m_state->viewMode()));
    settings->setValue(SettingsKeys::rawValue(SettingsKey::preferredSortOrder),
                       SortOrders::rawValue(m_state->sortOrder()));
}

void MainWindow::restoreWindowState(bool withSidebarRow)
{
    // The view comes back through "Default View", which the constructor reads.
    const auto settings = Settings::open();
    if (const auto order = SortOrders::fromRawValue(
            settings->value(SettingsKeys::rawValue(SettingsKey::preferredSortOrder)).toString()))
        m_state->setSortOrder(*order);
    settings->beginGroup(kGroup);
    if (const QByteArray geometry = settings->value(u"geometry"_s).toByteArray(); !geometry.isEmpty())
        restoreGeometry(geometry);
    if (const QByteArray columns = settings->value(u"columns"_s).toByteArray(); !columns.isEmpty())
        m_splitter->restoreState(columns);
    m_sidebar->setVisible(settings->value(u"sidebarVisible"_s, true).toBool());
    m_sidebar->setExpandedFolders(settings->value(u"expandedFolders"_s).toStringList());
    const QString type = settings->value(u"typeFilter"_s).toString();
    m_state->setContentTypeFilter(type.isEmpty() ? std::nullopt : ItemTypes::fromRawValue(type));
    const QString row = settings->value(u"sidebarRow"_s).toString();
    settings->endGroup();
    if (!withSidebarRow)
        return;
    const qsizetype colon = row.indexOf(u':');
    const QStringView kind = QStringView(row).left(colon);
    const QStringView value = QStringView(row).mid(colon + 1);
    if (kind == u"smart") {
        if (const auto smart = SmartFolders::fromRawValue(value))
            m_query->selectSmartFolder(*smart);
    } else if (Folder* folder = m_context->folder(QUuid(value)); folder && (kind == u"folder" || kind == u"child")) {
        if (folder->parent())
            m_query->selectChildFolder(folder);
        else
            m_query->selectRootFolder(folder);
    }
}
