#include "TagEditorSheet.h"

#include "SheetParts.h"

#include "model/Clock.h"
#include "model/Tag.h"
#include "store/ModelContext.h"
#include "ui/components/ColorPickerGrid.h"

#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

TagEditorSheet::TagEditorSheet(ModelContext* context, Tag* tag, QWidget* parent)
    : QDialog(parent), m_context(context), m_tagId(tag ? tag->id() : QUuid()), m_editing(tag)
{
    setObjectName(u"tagEditorSheet"_s);
    setMinimumWidth(340);
    QVBoxLayout* layout = SheetParts::editorLayout(this, m_editing ? u"Edit Tag"_s : u"New Tag"_s);
    m_name = SheetParts::addNameSection(layout, u"Tag Name"_s, this);
    m_colors = SheetParts::addColorSection(layout, this);
    layout->addStretch();

    if (const Tag* edited = this->tag()) {
        m_name->setText(edited->name());
        m_colors->setSelectedColor(edited->color());
    }

    QPushButton* confirm = SheetParts::addEditorButtons(layout, this, m_editing ? u"Save"_s : u"Create"_s, m_name);
    connect(confirm, &QPushButton::clicked, this, &TagEditorSheet::saveTag);

    connect(context, &ModelContext::tagAboutToBeRemoved, this, [this](Tag* gone) {
        if (m_editing && gone->id() == m_tagId)
            reject();
    });
    m_name->setFocus();
}

TagEditorSheet* TagEditorSheet::present(ModelContext* context, Tag* tag, QWidget* parent)
{
    return SheetParts::present<TagEditorSheet>(parent, context, tag);
}

Tag* TagEditorSheet::tag() const
{
    return m_tagId.isNull() ? nullptr : m_context->tag(m_tagId);
}

void TagEditorSheet::saveTag()
{
    const QString name = m_name->text();
    if (name.isEmpty())
        return;
    Tag* saved = nullptr;
    if (m_editing) {
        saved = tag();
        if (!saved) {
            reject();
            return;
        }
        saved->setName(name);
        saved->setColorHex(Tag::hexForColor(m_colors->selectedColor()));
        saved->setModifiedAt(Clock::now());
    } else {
        saved = m_context->insert(std::make_unique<Tag>(name, m_colors->selectedColor()));
        m_tagId = saved->id();
    }
    Q_EMIT tagSaved(saved);
    accept();
}
