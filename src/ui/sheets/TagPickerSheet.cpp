#include "TagPickerSheet.h"

#include "SheetParts.h"
#include "TagDrag.h"
#include "TagListModel.h"
#include "TagRowDelegate.h"

#include "model/Item.h"
#include "model/SystemColors.h"
#include "model/Tag.h"
#include "platform/Symbols.h"
#include "store/ModelContext.h"
#include "ui/Style.h"

#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

// The row that takes dragged tags. It shows whether it would take what is
// being dragged: only a payload naming a tag of this library.
class TagDropZone final : public QFrame {
public:
    TagDropZone(std::function<bool(const QMimeData*)> accepts, std::function<bool(const QMimeData*)> drop,
                QWidget* parent)
        : QFrame(parent), m_accepts(std::move(accepts)), m_drop(std::move(drop))
    {
        const QString text = u"Sürükle bırak ile etiket ekle"_s;
        setObjectName(u"tagDropZone"_s);
        setAccessibleName(text);
        setAcceptDrops(true);
        setFrameShape(QFrame::StyledPanel);
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(12, 12, 12, 12);
        const QColor secondary = Style::secondaryText(palette());
        const QFont font = Style::font(Style::Text::subheadline);
        auto* icon = new QLabel(this);
        icon->setObjectName(u"tagDropZoneIcon"_s);
        const int side = QFontMetrics(font).height();
        icon->setPixmap(Symbols::icon(u"arrow.down.circle.dashed"_s, secondary).pixmap(side, side));
        auto* label = new QLabel(text, this);
        label->setObjectName(u"tagDropZoneText"_s);
        label->setTextFormat(Qt::PlainText);
        label->setFont(font);
        QPalette labelPalette = label->palette();
        labelPalette.setColor(QPalette::WindowText, secondary);
        label->setPalette(labelPalette);
        layout->addWidget(icon);
        layout->addWidget(label, 1);
    }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override { consider(event); }
    void dragMoveEvent(QDragMoveEvent* event) override { consider(event); }
    void dragLeaveEvent(QDragLeaveEvent*) override { setHighlighted(false); }
    void dropEvent(QDropEvent* event) override
    {
        setHighlighted(false);
        if (m_drop(event->mimeData())) {
            event->setDropAction(Qt::CopyAction);
            event->accept();
        } else {
            event->ignore();
        }
    }

private:
    void consider(QDropEvent* event)
    {
        const bool accepted = m_accepts(event->mimeData());
        setHighlighted(accepted);
        if (accepted) {
            event->setDropAction(Qt::CopyAction);
            event->accept();
        } else {
            event->ignore();
        }
    }
    void setHighlighted(bool on)
    {
        setFrameShadow(on ? QFrame::Sunken : QFrame::Plain);
        setBackgroundRole(on ? QPalette::AlternateBase : QPalette::Window);
        setAutoFillBackground(on);
    }

    std::function<bool(const QMimeData*)> m_accepts;
    std::function<bool(const QMimeData*)> m_drop;
};

} // namespace

TagPickerSheet::TagPickerSheet(ModelContext* context, Item* item, QWidget* parent)
    : QDialog(parent), m_context(context), m_item(item), m_model(new TagListModel(context, this))
{
    setObjectName(u"tagPickerSheet"_s);
    setWindowTitle(u"Tags"_s);
    setWindowModality(Qt::WindowModal);
    setMinimumSize(320, 400);
    m_model->setItem(item);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(10);

    auto* header = new QHBoxLayout;
    auto* title = new QLabel(u"Tags"_s, this);
    title->setFont(Style::font(Style::Text::headline));
    header->addWidget(title, 1);
    m_newTagButton = SheetParts::newTagButton(this);
    m_newTagButton->setCheckable(true);
    header->addWidget(m_newTagButton);
    layout->addLayout(header);

    m_newTagRow = new QWidget(this);
    m_newTagRow->setObjectName(u"newTagRow"_s);
    auto* rowLayout = new QHBoxLayout(m_newTagRow);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    m_newTagName = new QLineEdit(m_newTagRow);
    m_newTagName->setObjectName(u"tagNameField"_s);
    m_newTagName->setPlaceholderText(u"Tag name"_s);
    m_newTagName->setAccessibleName(u"Tag name"_s);
    m_add = new QPushButton(u"Add"_s, m_newTagRow);
    m_add->setObjectName(u"addTagButton"_s);
    m_add->setAccessibleName(u"Add"_s);
    m_add->setEnabled(false);
    rowLayout->addWidget(m_newTagName, 1);
    rowLayout->addWidget(m_add);
    m_newTagRow->hide();
    layout->addWidget(m_newTagRow);

    layout->addWidget(
        new TagDropZone([this](const QMimeData* mime) { return m_item && !TagDrag::tags(mime, *m_context).isEmpty(); },
                        [this](const QMimeData* mime) { return dropTags(mime); }, this));

    m_list = SheetParts::tagList(m_model, TagRowDelegate::Trailing::checkMark, this);
    m_list->setDragDropMode(QAbstractItemView::DragOnly);
    m_list->setDefaultDropAction(Qt::CopyAction);
    m_list->installEventFilter(this);
    layout->addWidget(m_list, 1);

    auto* buttons = new QDialogButtonBox(this);
    m_done = buttons->addButton(u"Done"_s, QDialogButtonBox::AcceptRole);
    m_done->setObjectName(u"doneButton"_s);
    m_done->setAccessibleName(u"Done"_s);
    m_done->setDefault(true);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_newTagButton, &QToolButton::toggled, this, &TagPickerSheet::setNewTagRowShown);
    connect(m_newTagName, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_add->setEnabled(!text.isEmpty()); });
    connect(m_add, &QPushButton::clicked, this, &TagPickerSheet::addNewTag);
    // A click toggles; the keyboard goes through the event filter. Activation
    // is not used: under single-click desktops it comes with the click.
    connect(m_list, &QListView::clicked, this, &TagPickerSheet::toggle);
    connect(context, &ModelContext::itemAboutToBeRemoved, this, [this](Item* gone) {
        if (gone == m_item) {
            m_item = nullptr;
            reject();
        }
    });
    m_list->setFocus();
    if (m_model->rowCount() > 0)
        m_list->setCurrentIndex(m_model->index(0));
}

TagPickerSheet* TagPickerSheet::present(ModelContext* context, Item* item, QWidget* parent)
{
    return SheetParts::present<TagPickerSheet>(parent, context, item);
}

bool TagPickerSheet::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool toggles = key->key() == Qt::Key_Space || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (toggles && !(key->modifiers() & ~Qt::KeypadModifier) && m_list->currentIndex().isValid()) {
            toggle(m_list->currentIndex());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TagPickerSheet::toggle(const QModelIndex& index)
{
    Tag* tag = m_model->tagAt(index.row());
    if (!m_item || !tag)
        return;
    if (m_item->hasTag(tag->id()))
        m_item->removeTag(tag);
    else
        m_item->addTag(tag);
    // Saved at once; a failure keeps the change pending and is reported by
    // the window, and the next save writes it.
    (void)m_context->save();
}

void TagPickerSheet::setNewTagRowShown(bool shown)
{
    m_newTagRow->setVisible(shown);
    if (m_newTagButton->isChecked() != shown)
        m_newTagButton->setChecked(shown);
    // Return in the name field adds; elsewhere it closes the sheet.
    m_add->setDefault(shown);
    m_done->setDefault(!shown);
    if (shown)
        m_newTagName->setFocus();
}

void TagPickerSheet::addNewTag()
{
    const QString name = m_newTagName->text().trimmed();
    if (name.isEmpty() || !m_item)
        return;
    Tag* tag = m_context->insert(std::make_unique<Tag>(name, SystemColors::blue()));
    m_item->addTag(tag);
    (void)m_context->save();
    m_newTagName->clear();
    setNewTagRowShown(false);
    const QModelIndex created = m_model->indexOf(tag);
    m_list->setCurrentIndex(created);
    m_list->scrollTo(created);
    m_list->setFocus();
}

bool TagPickerSheet::dropTags(const QMimeData* mime)
{
    const QList<Tag*> tags = TagDrag::tags(mime, *m_context);
    if (!m_item || tags.isEmpty())
        return false;
    for (Tag* tag : tags)
        m_item->addTag(tag);
    (void)m_context->save();
    return true;
}
