#include "DetailPane.h"

#include "DetailSheets.h"
#include "ItemActions.h"

#include "app/AppState.h"
#include "model/Clock.h"
#include "model/Folder.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "platform/Symbols.h"
#include "services/metadata/PictureDecoder.h"
#include "store/ModelContext.h"
#include "ui/Style.h"
#include "ui/components/FlowLayout.h"
#include "ui/components/TagChipView.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStackedWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

using namespace Qt::StringLiterals;

namespace {

QLabel* headline(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(Style::font(Style::Text::headline));
    return label;
}

QPushButton* flatButton(QWidget* parent)
{
    auto* button = new QPushButton(parent);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(u"QPushButton { text-align: left; padding: 0; border: none; }"_s);
    return button;
}

} // namespace

DetailPane::DetailPane(ModelContext* context, AppState* state, QWidget* parent)
    : QWidget(parent), m_context(context), m_state(state)
{
    setObjectName(u"detailPane"_s);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_toolbar = new QToolBar(this);
    m_toolbar->setObjectName(u"detailToolbar"_s);
    m_toolbar->setIconSize(QSize(18, 18));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_editAction =
        m_toolbar->addAction(Symbols::icon(u"pencil"_s), u"Edit Title & Note"_s, this, &DetailPane::openTitleNoteSheet);
    m_tagAction = m_toolbar->addAction(Symbols::icon(u"tag.fill"_s), u"Add Tag"_s, this, &DetailPane::showTagMenu);
    m_openAction = m_toolbar->addAction(u"Open"_s, this, [this] {
        if (Item* i = item())
            ItemActions::open(*i, this);
    });
    m_copyAction = m_toolbar->addAction(Symbols::icon(u"doc.on.doc"_s), u"Copy"_s, this, [this] {
        if (Item* i = item())
            ItemActions::copyLink(*i);
    });
    m_fullSizeAction =
        m_toolbar->addAction(Symbols::icon(u"photo"_s), u"View Full Size"_s, this, &DetailPane::openFullImage);
    m_favoriteAction = m_toolbar->addAction(u"Favorite"_s, this, [this] {
        if (Item* i = item())
            i->toggleFavorite();
    });
    m_archiveAction = m_toolbar->addAction(u"Archive"_s, this, [this] {
        if (Item* i = item())
            i->toggleArchived();
    });
    const QList<QAction*> actions{m_editAction,     m_tagAction,      m_openAction,   m_copyAction,
                                  m_fullSizeAction, m_favoriteAction, m_archiveAction};
    const QStringList names{u"editAction"_s,     u"tagAction"_s,      u"openAction"_s,   u"copyAction"_s,
                            u"fullSizeAction"_s, u"favoriteAction"_s, u"archiveAction"_s};
    for (int i = 0; i < actions.size(); ++i)
        actions[i]->setObjectName(names[i]);
    layout->addWidget(m_toolbar);

    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidget(buildContent());
    m_scroll->viewport()->installEventFilter(this);
    layout->addWidget(m_scroll, 1);

    m_decoder = new QFutureWatcher<std::pair<QImage, bool>>(this);
    connect(m_decoder, &QFutureWatcherBase::finished, this, [this] {
        const auto [image, isFull] = m_decoder->result();
        m_pictureImage = image;
        m_pictureIsFull = isFull;
        renderPicture();
    });

    connect(context, &ModelContext::itemUpdated, this, [this](Item* changed, quint32 fields) {
        if (changed->id() != m_itemId)
            return;
        if (fields & (ItemField::Thumbnail | ItemField::Image))
            refreshPicture();
        refresh();
    });
    connect(context, &ModelContext::folderInserted, this, &DetailPane::refreshFolders);
    connect(context, &ModelContext::folderRemoved, this, &DetailPane::refreshFolders);
    connect(context, &ModelContext::folderUpdated, this, &DetailPane::refreshFolders);
    connect(context, &ModelContext::tagUpdated, this, &DetailPane::refreshTags);
    connect(context, &ModelContext::tagRemoved, this, &DetailPane::refreshTags);
}

QWidget* DetailPane::buildContent()
{
    auto* content = new QWidget(this);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(20);

    m_picture = new QLabel(content);
    m_picture->setObjectName(u"detailPicture"_s);
    m_picture->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_picture->setCursor(Qt::PointingHandCursor);
    m_picture->installEventFilter(this);
    layout->addWidget(m_picture);

    auto* header = new QVBoxLayout;
    header->setSpacing(8);
    auto* titleRow = new QHBoxLayout;
    m_title = flatButton(content);
    m_title->setObjectName(u"detailTitle"_s);
    m_title->setFont(Style::font(Style::Text::title2, QFont::Bold));
    connect(m_title, &QPushButton::clicked, this, &DetailPane::openTitleNoteSheet);
    m_star = new QLabel(content);
    m_star->setPixmap(
        Symbols::icon(u"star.fill"_s, QColor(0xFF, 0xCC, 0x00)).pixmap(QSize(18, 18), devicePixelRatioF()));
    titleRow->addWidget(m_title, 1);
    titleRow->addWidget(m_star);
    header->addLayout(titleRow);
    m_link = flatButton(content);
    m_link->setObjectName(u"detailLink"_s);
    m_link->setFont(Style::font(Style::Text::subheadline));
    m_link->setStyleSheet(m_link->styleSheet() + u" QPushButton { color: palette(link); }"_s);
    connect(m_link, &QPushButton::clicked, this, [this] {
        Item* i = item();
        const auto url = i ? ItemActions::parsedUrl(*i) : std::nullopt;
        if (!url)
            return;
        if (url->isLocalFile())
            ItemActions::reveal(*url);
        else
            ItemActions::open(*i, this);
    });
    header->addWidget(m_link);
    layout->addLayout(header);

    auto* divider = new QFrame(content);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    layout->addWidget(divider);

    auto* info = new QHBoxLayout;
    m_typeLabel = new QLabel(content);
    m_typeLabel->setObjectName(u"detailType"_s);
    m_typeLabel->setFont(Style::font(Style::Text::caption));
    info->addWidget(m_typeLabel);
    info->addStretch();
    m_added = new QLabel(content);
    m_added->setObjectName(u"detailAdded"_s);
    m_added->setFont(Style::font(Style::Text::caption));
    QPalette dim = m_added->palette();
    dim.setColor(QPalette::WindowText, Style::secondaryText(palette()));
    m_added->setPalette(dim);
    info->addWidget(m_added);
    layout->addLayout(info);

    // Note: shown, or edited with Cancel and Save.
    auto* noteHeader = new QHBoxLayout;
    noteHeader->addWidget(headline(u"Note"_s, content));
    noteHeader->addStretch();
    auto* pencil = flatButton(content);
    pencil->setObjectName(u"editNoteButton"_s);
    pencil->setIcon(Symbols::icon(u"pencil"_s));
    pencil->setToolTip(u"Edit Note"_s);
    connect(pencil, &QPushButton::clicked, this, [this] {
        if (Item* i = item())
            beginNoteEdit(i->note().value_or(QString()));
    });
    noteHeader->addWidget(pencil);
    layout->addLayout(noteHeader);
    m_noteStack = new QStackedWidget(content);
    m_noteText = flatButton(content);
    m_noteText->setObjectName(u"noteText"_s);
    connect(m_noteText, &QPushButton::clicked, this, [this] {
        Item* i = item();
        if (i && (!i->note() || i->note()->isEmpty()))
            beginNoteEdit(QString());
    });
    m_noteStack->addWidget(m_noteText);
    auto* editor = new QWidget(content);
    auto* editorLayout = new QVBoxLayout(editor);
    editorLayout->setContentsMargins(0, 0, 0, 0);
    m_noteEditor = new QPlainTextEdit(editor);
    m_noteEditor->setObjectName(u"noteEditor"_s);
    m_noteEditor->setMinimumHeight(80);
    editorLayout->addWidget(m_noteEditor);
    auto* noteButtons = new QHBoxLayout;
    noteButtons->addStretch();
    auto* cancel = new QPushButton(u"Cancel"_s, editor);
    cancel->setObjectName(u"cancelNoteButton"_s);
    auto* save = new QPushButton(u"Save"_s, editor);
    save->setObjectName(u"saveNoteButton"_s);
    save->setDefault(true);
    noteButtons->addWidget(cancel);
    noteButtons->addWidget(save);
    editorLayout->addLayout(noteButtons);
    connect(cancel, &QPushButton::clicked, this, [this] {
        m_editingNote = false;
        refreshNote();
    });
    connect(save, &QPushButton::clicked, this, &DetailPane::saveNote);
    m_noteStack->addWidget(editor);
    layout->addWidget(m_noteStack);

    auto* tagHeader = new QHBoxLayout;
    tagHeader->addWidget(headline(u"Tags"_s, content));
    tagHeader->addStretch();
    auto* addTag = new QPushButton(Symbols::icon(u"plus.circle.fill"_s), u"Add Tag"_s, content);
    addTag->setObjectName(u"addTagButton"_s);
    connect(addTag, &QPushButton::clicked, this, &DetailPane::showTagMenu);
    tagHeader->addWidget(addTag);
    layout->addLayout(tagHeader);
    m_noTags = new QLabel(u"No tags"_s, content);
    m_noTags->setObjectName(u"noTags"_s);
    m_noTags->setFont(Style::font(Style::Text::subheadline));
    layout->addWidget(m_noTags);
    m_tagArea = new QWidget(content);
    m_tagArea->setObjectName(u"tagArea"_s);
    m_tagFlow = new FlowLayout(m_tagArea, 6);
    layout->addWidget(m_tagArea);

    layout->addWidget(headline(u"Folder"_s, content));
    m_folderPicker = new QComboBox(content);
    m_folderPicker->setObjectName(u"folderPicker"_s);
    connect(m_folderPicker, &QComboBox::activated, this, [this](int index) {
        Item* i = item();
        if (!i || m_updatingFolders)
            return;
        Folder* target = m_context->folder(m_folderPicker->itemData(index).toUuid());
        if (target != i->folder())
            i->moveToFolder(target);
    });
    layout->addWidget(m_folderPicker);
    layout->addStretch();
    return content;
}

Item* DetailPane::item() const
{
    return m_itemId.isNull() ? nullptr : m_context->item(m_itemId);
}

void DetailPane::setItem(Item* item)
{
    const QUuid id = item ? item->id() : QUuid();
    if (id == m_itemId)
        return;
    m_itemId = id;
    m_editingNote = false;
    if (item) {
        // Opening an item is viewing it; this is not an edit of it.
        item->setAccessedAt(Clock::now());
        item->setRead(true);
    }
    refreshPicture();
    refresh();
    refreshFolders();
}

void DetailPane::refresh()
{
    Item* i = item();
    if (!i)
        return;
    m_title->setText(i->title().isEmpty() ? u"Untitled"_s : i->title());
    m_star->setVisible(i->isFavorite());
    const auto url = ItemActions::parsedUrl(*i);
    m_link->setVisible(url.has_value());
    if (url) {
        const bool file = url->isLocalFile();
        m_link->setIcon(Symbols::icon(file ? u"folder"_s : u"link"_s, palette().color(QPalette::Link)));
        const QString text = file ? url->toLocalFile() : i->sourceDomain().value_or(url->toString(QUrl::FullyEncoded));
        m_link->setText(QFontMetrics(m_link->font()).elidedText(text, Qt::ElideMiddle, std::max(120, width() - 60)));
        m_link->setToolTip(file ? url->toLocalFile() : url->toString());
    }
    const ItemType type = i->type();
    const QColor tint = ItemTypes::tintColor(type);
    m_typeLabel->setText(ItemTypes::displayName(type));
    m_typeLabel->setStyleSheet(
        u"QLabel { color: %1; background: rgba(%2,%3,%4,26); padding: 4px 8px; border-radius: 5px; }"_s.arg(tint.name())
            .arg(tint.red())
            .arg(tint.green())
            .arg(tint.blue()));
    m_added->setText(u"Added "_s + QLocale().toString(i->createdAt().toLocalTime().date(), u"MMM d, yyyy"_s));
    refreshNote();
    refreshTags();
    refreshToolbar();
    // The folder picker follows the item's folder.
    m_updatingFolders = true;
    const int index = m_folderPicker->findData(i->folder() ? i->folder()->id() : QUuid());
    m_folderPicker->setCurrentIndex(std::max(0, index));
    m_updatingFolders = false;
}

void DetailPane::refreshToolbar()
{
    Item* i = item();
    if (!i)
        return;
    const auto url = ItemActions::parsedUrl(*i);
    const bool file = url && url->isLocalFile();
    m_openAction->setVisible(url.has_value());
    m_openAction->setText(file ? u"Open File"_s : u"Open"_s);
    m_openAction->setIcon(Symbols::icon(file ? u"doc"_s : u"safari"_s));
    m_copyAction->setVisible(url.has_value());
    m_fullSizeAction->setVisible(i->hasImage() || i->hasThumbnail());
    m_favoriteAction->setText(i->isFavorite() ? u"Unfavorite"_s : u"Favorite"_s);
    m_favoriteAction->setIcon(Symbols::icon(i->isFavorite() ? u"star.fill"_s : u"star"_s));
    m_archiveAction->setText(i->isArchived() ? u"Unarchive"_s : u"Archive"_s);
    m_archiveAction->setIcon(Symbols::icon(i->isArchived() ? u"tray.and.arrow.up"_s : u"archivebox"_s));
    for (QAction* action : m_toolbar->actions())
        action->setToolTip(action->text());
}

void DetailPane::refreshPicture()
{
    Item* i = item();
    const bool any = i && (i->hasImage() || i->hasThumbnail());
    m_picture->setVisible(any);
    m_pictureImage = QImage();
    m_picture->setPixmap(QPixmap());
    if (!any)
        return;
    // Bytes are read here; decoding runs off the main thread, at most at the
    // size of the screen, which is also what "View Full Size" shows.
    const QByteArray image = i->hasImage() ? i->imageData().value_or(QByteArray()) : QByteArray();
    const QByteArray thumbnail = i->hasThumbnail() ? i->thumbnailData().value_or(QByteArray()) : QByteArray();
    const QSize box = screenPixels();
    m_decoder->setFuture(QtConcurrent::run([image, thumbnail, box]() -> std::pair<QImage, bool> {
        using PictureDecoder::Fit;
        if (QImage full = PictureDecoder::decode(image, box, Fit::inside); !full.isNull())
            return {full, true};
        return {PictureDecoder::decode(thumbnail, box, Fit::inside), false};
    }));
}

QSize DetailPane::screenPixels() const
{
    const QScreen* s = screen();
    const QSize size = s ? s->size() * s->devicePixelRatio() : QSize(1920, 1080);
    return size.expandedTo(QSize(1, 1));
}

void DetailPane::renderPicture()
{
    const int width = std::max(120, m_scroll->viewport()->width() - 32);
    const qreal ratio = devicePixelRatioF();
    QImage canvas;
    if (m_pictureImage.isNull()) {
        canvas = QImage(QSize(width, 120) * ratio, QImage::Format_ARGB32_Premultiplied);
        canvas.setDevicePixelRatio(ratio);
        canvas.fill(Qt::transparent);
        if (Item* i = item()) {
            QPainter p(&canvas);
            const QColor tint = ItemTypes::tintColor(i->type());
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(Qt::NoPen);
            p.setBrush(Style::withOpacity(tint, 0.1));
            p.drawRoundedRect(QRectF(0, 0, width, 120), 12, 12);
            Symbols::icon(ItemTypes::iconName(i->type()), tint).paint(&p, QRect(width / 2 - 20, 40, 40, 40));
        }
    } else {
        // The image fits the pane's width; a thumbnail stays at most 200 high.
        const QSize target =
            m_pictureImage.size().scaled(QSize(width, m_pictureIsFull ? 1 << 20 : 200), Qt::KeepAspectRatio);
        QImage scaled = m_pictureImage.scaled(target * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        scaled.setDevicePixelRatio(ratio);
        canvas = QImage(scaled.size(), QImage::Format_ARGB32_Premultiplied);
        canvas.setDevicePixelRatio(ratio);
        canvas.fill(Qt::transparent);
        QPainter p(&canvas);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath clip;
        clip.addRoundedRect(QRectF(QPointF(0, 0), scaled.deviceIndependentSize()), 12, 12);
        p.setClipPath(clip);
        p.drawImage(QPointF(0, 0), scaled);
    }
    m_picture->setPixmap(QPixmap::fromImage(canvas));
}

void DetailPane::refreshNote()
{
    Item* i = item();
    if (!i)
        return;
    // The stack takes the height of the page it shows, not the tallest.
    const int page = m_editingNote ? 1 : 0;
    for (int index = 0; index < m_noteStack->count(); ++index)
        m_noteStack->widget(index)->setSizePolicy(QSizePolicy::Preferred,
                                                  index == page ? QSizePolicy::Preferred : QSizePolicy::Ignored);
    m_noteStack->setCurrentIndex(page);
    m_noteStack->adjustSize();
    if (m_editingNote)
        return;
    const bool hasNote = i->note() && !i->note()->isEmpty();
    QFont font = Style::font(Style::Text::body);
    font.setItalic(!hasNote);
    m_noteText->setFont(font);
    m_noteText->setText(hasNote ? *i->note() : u"Click to add a note..."_s);
    QPalette p = m_noteText->palette();
    const QColor color = hasNote ? Style::secondaryText(palette()) : Style::tertiaryText(palette());
    p.setColor(QPalette::ButtonText, color);
    m_noteText->setPalette(p);
    m_noteText->setStyleSheet(
        u"QPushButton { text-align: left; padding: 0; border: none; color: %1; }"_s.arg(color.name(QColor::HexArgb)));
}

void DetailPane::beginNoteEdit(const QString& text)
{
    m_editingNote = true;
    m_noteEditor->setPlainText(text);
    refreshNote();
    m_noteEditor->setFocus();
}

void DetailPane::saveNote()
{
    Item* i = item();
    m_editingNote = false;
    if (i) {
        const QString text = m_noteEditor->toPlainText();
        i->setNote(text.isEmpty() ? std::nullopt : std::optional<QString>(text));
        i->setModifiedAt(Clock::now());
    }
    refreshNote();
}

void DetailPane::refreshTags()
{
    Item* i = item();
    while (QLayoutItem* child = m_tagFlow->takeAt(0)) {
        delete child->widget();
        delete child;
    }
    if (!i)
        return;
    const QList<Tag*> tags = i->sortedTags();
    m_noTags->setVisible(tags.isEmpty());
    m_tagArea->setVisible(!tags.isEmpty());
    for (Tag* tag : tags) {
        const QUuid tagId = tag->id();
        m_tagFlow->addWidget(new TagChipView(
            tag, TagChipSize::medium, true,
            [this, tagId] {
                Item* current = item();
                Tag* t = m_context->tag(tagId);
                if (current && t)
                    current->removeTag(t);
            },
            m_tagArea));
    }
}

void DetailPane::refreshFolders()
{
    m_updatingFolders = true;
    m_folderPicker->clear();
    m_folderPicker->addItem(Symbols::icon(u"tray"_s), u"Inbox"_s, QUuid());
    const QList<Folder*> folders = m_context->fetchFolders(Folder::displayOrder);
    for (const Folder* folder : folders) {
        if (!folder->parent())
            m_folderPicker->addItem(Symbols::icon(folder->iconName(), folder->color()), folder->name(), folder->id());
    }
    m_updatingFolders = false;
    refresh();
}

void DetailPane::openTitleNoteSheet()
{
    Item* i = item();
    if (!i)
        return;
    TitleNoteSheet sheet(i->title(), i->note().value_or(QString()), window());
    if (sheet.exec() != QDialog::Accepted)
        return;
    if (Item* current = item()) {
        current->setTitle(sheet.editedTitle());
        const QString note = sheet.editedNote();
        current->setNote(note.isEmpty() ? std::nullopt : std::optional<QString>(note));
        current->setModifiedAt(Clock::now());
    }
}

void DetailPane::openFullImage()
{
    // The picture decoded for the pane is already as large as the screen;
    // nothing is decoded here, on the main thread.
    if (m_pictureImage.isNull())
        return;
    FullImageSheet sheet(m_pictureImage, window());
    sheet.exec();
}

void DetailPane::showTagMenu()
{
    Item* i = item();
    if (!i)
        return;
    Q_EMIT tagPickerRequested(i);
    // Until the tag picker sheet exists, a menu toggles the library's tags.
    QMenu menu(this);
    menu.setObjectName(u"tagMenu"_s);
    const QList<Tag*> all = m_context->fetchTags(Tag::displayOrder);
    if (all.isEmpty())
        menu.addAction(u"No tags yet"_s)->setEnabled(false);
    for (Tag* tag : all) {
        const bool carries = i->hasTag(tag->id());
        const QUuid tagId = tag->id();
        menu.addAction(Symbols::icon(carries ? u"checkmark"_s : u"circle"_s, tag->color()), tag->name(), this,
                       [this, tagId, carries] {
                           Item* current = item();
                           Tag* t = m_context->tag(tagId);
                           if (!current || !t)
                               return;
                           if (carries)
                               current->removeTag(t);
                           else
                               current->addTag(t);
                       });
    }
    menu.exec(QCursor::pos());
}

bool DetailPane::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_picture && event->type() == QEvent::MouseButtonRelease)
        openFullImage();
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize && !m_pictureImage.isNull())
        renderPicture();
    return QWidget::eventFilter(watched, event);
}
