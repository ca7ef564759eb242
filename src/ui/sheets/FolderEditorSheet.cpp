#include "FolderEditorSheet.h"

#include "SheetParts.h"

#include "model/Clock.h"
#include "model/Folder.h"
#include "store/ModelContext.h"
#include "ui/components/ColorPickerGrid.h"
#include "ui/components/IconPickerGrid.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

FolderEditorSheet::FolderEditorSheet(ModelContext* context, Folder* folder, QWidget* parent)
    : QDialog(parent), m_context(context), m_folderId(folder ? folder->id() : QUuid()), m_editing(folder)
{
    setObjectName(u"folderEditorSheet"_s);
    setMinimumWidth(380);
    QVBoxLayout* layout = SheetParts::editorLayout(this, m_editing ? u"Edit Folder"_s : u"New Folder"_s);
    m_name = SheetParts::addNameSection(layout, u"Folder Name"_s, this);

    layout->addWidget(SheetParts::sectionTitle(u"Icon"_s, this));
    m_icons = new IconPickerGrid(IconPickerGrid::folderIcons(), this);
    m_icons->setAccessibleName(u"Icon"_s);
    m_icons->setSelectedIcon(u"folder"_s);
    SheetParts::showWholeGrid(m_icons);
    layout->addWidget(m_icons);
    layout->addSpacing(8);

    m_colors = SheetParts::addColorSection(layout, this);
    layout->addSpacing(8);

    layout->addWidget(SheetParts::sectionTitle(u"Parent Folder"_s, this));
    auto* form = new QFormLayout;
    m_parents = new QComboBox(this);
    m_parents->setObjectName(u"parentPicker"_s);
    m_parents->setAccessibleName(u"Parent"_s);
    auto* parentLabel = new QLabel(u"Parent"_s, this);
    parentLabel->setBuddy(m_parents);
    form->addRow(parentLabel, m_parents);
    layout->addLayout(form);
    layout->addStretch();

    m_confirm = SheetParts::addEditorButtons(layout, this, m_editing ? u"Save"_s : u"Create"_s, m_name);
    connect(m_confirm, &QPushButton::clicked, this, &FolderEditorSheet::saveFolder);

    loadFolder();
    refreshParents();

    // Follow the library: another window or process may change the tree.
    connect(context, &ModelContext::folderAboutToBeRemoved, this, [this](Folder* gone) {
        if (m_editing && gone->id() == m_folderId)
            reject();
    });
    connect(context, &ModelContext::folderInserted, this, &FolderEditorSheet::refreshParents);
    connect(context, &ModelContext::folderRemoved, this, &FolderEditorSheet::refreshParents);
    connect(context, &ModelContext::folderUpdated, this, [this](Folder*, quint32 fields) {
        if (fields & (FolderField::Name | FolderField::SortOrder | FolderField::Parent))
            refreshParents();
    });
    m_name->setFocus();
}

FolderEditorSheet* FolderEditorSheet::present(ModelContext* context, Folder* folder, QWidget* parent)
{
    return SheetParts::present<FolderEditorSheet>(parent, context, folder);
}

Folder* FolderEditorSheet::folder() const
{
    return m_folderId.isNull() ? nullptr : m_context->folder(m_folderId);
}

void FolderEditorSheet::loadFolder()
{
    const Folder* edited = folder();
    if (!edited)
        return;
    m_name->setText(edited->name());
    m_icons->setSelectedIcon(edited->iconName());
    m_colors->setSelectedColor(edited->color());
}

Folder* FolderEditorSheet::chosenParent() const
{
    const QUuid id = m_parents->currentData().toUuid();
    return id.isNull() ? nullptr : m_context->folder(id);
}

void FolderEditorSheet::refreshParents()
{
    const Folder* edited = m_editing ? folder() : nullptr;
    // The first fill shows the folder's parent; later fills keep the choice.
    QUuid current;
    if (m_parents->count() > 0)
        current = m_parents->currentData().toUuid();
    else if (edited && edited->parent())
        current = edited->parent()->id();

    m_parents->clear();
    m_parents->addItem(u"None (Root)"_s, QUuid());
    bool currentListed = current.isNull();
    for (Folder* candidate : m_context->fetchFolders(Folder::displayOrder)) {
        if (candidate->parent() || candidate == edited || (edited && edited->isAncestorOf(candidate)))
            continue;
        m_parents->addItem(candidate->name(), candidate->id());
        currentListed = currentListed || candidate->id() == current;
    }
    // A parent below the top level, which this editor would not offer, is
    // still what the folder has: show it rather than pretend it is something else.
    if (!currentListed) {
        const Folder* deep = m_context->folder(current);
        if (deep && deep != edited && !(edited && edited->isAncestorOf(deep))) {
            m_parents->insertSeparator(m_parents->count());
            m_parents->addItem(deep->name(), deep->id());
        }
    }
    const int index = m_parents->findData(current);
    m_parents->setCurrentIndex(index < 0 ? 0 : index);
}

void FolderEditorSheet::saveFolder()
{
    const QString name = m_name->text();
    if (name.isEmpty())
        return;
    Folder* parent = chosenParent();
    if (!m_editing) {
        Folder* created = m_context->insert(
            std::make_unique<Folder>(name, m_icons->selectedIcon(), m_colors->selectedColor(), parent));
        m_folderId = created->id();
        Q_EMIT folderSaved(created);
        accept();
        return;
    }
    Folder* edited = folder();
    if (!edited) {
        reject();
        return;
    }
    // The list follows every change of the tree, so it offers neither the
    // folder nor one below it; should one slip through, change nothing.
    if (parent && (parent == edited || edited->isAncestorOf(parent))) {
        refreshParents();
        return;
    }
    edited->setName(name);
    edited->setIconName(m_icons->selectedIcon());
    edited->setColorHex(Folder::hexForColor(m_colors->selectedColor()));
    if (edited->parent() != parent)
        (void)edited->setParent(parent);
    edited->setModifiedAt(Clock::now());
    Q_EMIT folderSaved(edited);
    accept();
}
