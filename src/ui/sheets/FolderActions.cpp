#include "FolderActions.h"

#include "model/Folder.h"
#include "platform/Settings.h"
#include "store/ModelContext.h"
#include "ui/Dialogs.h"

#include <QUuid>

using namespace Qt::StringLiterals;

namespace {

QString counted(qsizetype n, const QString& one, const QString& many)
{
    return u"%1 %2"_s.arg(n).arg(n == 1 ? one : many);
}

} // namespace

namespace FolderActions {

bool deleteFolder(ModelContext& context, Folder& folder, QWidget* parent)
{
    const QList<Folder*> subFolders = folder.allDescendants();
    qsizetype items = folder.items().size();
    for (const Folder* sub : subFolders)
        items += sub->items().size();

    if ((items > 0 || !subFolders.isEmpty()) && Settings::boolValue(SettingsKey::confirmBeforeDelete, true)) {
        QStringList consequences;
        if (items > 0)
            consequences.append(counted(items, u"item becomes"_s, u"items become"_s) + u" unfiled"_s);
        if (!subFolders.isEmpty())
            consequences.append(counted(subFolders.size(), u"sub-folder is"_s, u"sub-folders are"_s) + u" deleted"_s);
        const QString text =
            u"Delete “%1”? %2. This cannot be undone."_s.arg(folder.name(), consequences.join(u" and "_s));
        const QUuid id = folder.id();
        const bool confirmed = Dialogs::current().confirm(parent, u"Delete Folder"_s, text, u"Delete"_s);
        // The folder may have gone while the question was open.
        if (!confirmed || !context.folder(id))
            return false;
    }
    context.remove(&folder);
    return true;
}

} // namespace FolderActions
