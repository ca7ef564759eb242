#include "DetailPane.h"

#include "DetailSheets.h"
#include "ItemActions.h"

#include "app/AppState.h"
#include "model/Clock.h"
#include "model/Folder.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "platform/Symbols.h"
#include "services/metadata/MetadataService.h"
#include "services/metadata/PictureDecoder.h"
#include "store/ModelContext.h"
#include "ui/Style.h"
#include "ui/components/FlowLayout.h"
#include "ui/components/TagChipView.h"
#include "ui/sheets/TagDrag.h"
#include "ui/sheets/TagPickerSheet.h"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
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

// A label for a user's text: plain text (never markup, never a mnemonic),
// wrapped to the width it is given rather than widening the pane.
QLabel* textLabel(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setMinimumWidth(1);
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

DetailPane::DetailPane(ModelContext* context, AppState* state, QWidget* parent, MetadataService* metadata)
    : QWidget(parent), m_context(context), m_state(state), m_metadata(metadata)
{
    setObjectName(u"detailPane"_s);
    // A tag dragged from the sidebar or the tag picker lands on the item.
    setAcceptDrops(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_toolbar = new QToolBar(this);
    m_toolbar->setObjectName(u"detailToolbar"_s);
    m_toolbar->setIconSize(QSize(18, 18));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_editAction = m_toolbar->addAction(Symbols::icon(u"pencil"_s), u"Edit Title && Note"_s, this,
                                        &DetailPane::openTitleNoteSheet);
    m_tagAction = m_toolbar->addAction(Symbols::icon(u"tag.fill"_s), u"Add Tag"_s, this, &DetailPane::showTagMenu);
    m_openAction = m_toolbar->addAction(u"Open"_s, this, [this] {
        if (Item* i = item())
            ItemActions::open(*i, this);
    });
    m_copyAction = m_toolbar->addAction(Symbols::icon(u"doc.on.doc"_s), u"Copy Link"_s, this, [this] {
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
    // The overflow button of a narrow toolbar has no text of its own.
    if (auto* more = m_toolbar->findChild<QToolButton*>(u"qt_toolbar_ext_button"_s))
        more->setAccessibleName(u"More Actions"_s);
    layout->addWidget(m_toolbar);

    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidget(buildContent());
    m_scroll->viewport()->installEventFilter(this);
    layout->addWidget(m_scroll, 1);

    m_viewedTimer = new QTimer(this);
    m_viewedTimer->setSingleShot(true);
    m_viewedTimer->setInterval(kViewedAfterMs);
    connect(m_viewedTimer, &QTimer::timeout, this, &DetailPane::markViewed);
    if (m_metadata)
        connect(m_metadata, &MetadataService::itemFetchFinished, this, [this](const QUuid& id) {
            if (id == m_fetching)
                m_fetching = QUuid();
            if (id == m_itemId)
                refreshFetchState();
        });

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
    connect(context, &ModelContext::allRemoved, this, [this] {
        refreshFolders();
        refreshTags();
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
    m_title = textLabel(content);
    m_title->setObjectName(u"detailTitle"_s);
    m_title->setAccessibleName(u"Title"_s);
    m_title->setToolTip(u"Click to edit the title (F2)"_s);
    m_title->setCursor(Qt::PointingHandCursor);
    m_title->setFont(Style::font(Style::Text::title2, QFont::Bold));
    m_title->installEventFilter(this);
    m_star = new QLabel(content);
    m_star->setAccessibleName(u"Favorite"_s);
    m_star->setPixmap(
        Symbols::icon(u"star.fill"_s, QColor(0xFF, 0xCC, 0x00)).pixmap(QSize(18, 18), devicePixelRatioF()));
    titleRow->addWidget(m_title, 1);
    titleRow->addWidget(m_star, 0, Qt::AlignTop);
    header->addLayout(titleRow);
    m_link = flatButton(content);
    m_link->setObjectName(u"detailLink"_s);
    m_link->setAccessibleName(u"Link"_s);
    // The address is elided to the pane's width; it never widens the pane.
    m_link->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
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
    // A web page that could not be read says why, and offers to try again.
    m_fetchRow = new QWidget(content);
    m_fetchRow->setObjectName(u"fetchRow"_s);
    auto* fetchLayout = new QHBoxLayout(m_fetchRow);
    fetchLayout->setContentsMargins(0, 0, 0, 0);
    m_fetchMessage = textLabel(m_fetchRow);
    m_fetchMessage->setObjectName(u"fetchMessage"_s);
    m_fetchMessage->setFont(Style::font(Style::Text::caption));
    m_fetchButton = new QPushButton(Symbols::icon(u"arrow.clockwise"_s), u"Fetch Again"_s, m_fetchRow);
    m_fetchButton->setObjectName(u"fetchAgainButton"_s);
    connect(m_fetchButton, &QPushButton::clicked, this, &DetailPane::fetchAgain);
    fetchLayout->addWidget(m_fetchMessage, 1);
    fetchLayout->addWidget(m_fetchButton, 0, Qt::AlignTop);
    header->addWidget(m_fetchRow);
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
    pencil->setAccessibleName(u"Edit Note"_s);
    connect(pencil, &QPushButton::clicked, this, [this] {
        if (Item* i = item())
            beginNoteEdit(i->note().value_or(QString()));
    });
    noteHeader->addWidget(pencil);
    layout->addLayout(noteHeader);
    m_noteStack = new QStackedWidget(content);
    m_noteText = textLabel(content);
    m_noteText->setObjectName(u"noteText"_s);
    m_noteText->setAccessibleName(u"Note"_s);
    m_noteText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_noteText->installEventFilter(this);
    m_noteStack->addWidget(m_noteText);
    auto* editor = new QWidget(content);
    auto* editorLayout = new QVBoxLayout(editor);
    editorLayout->setContentsMargins(0, 0, 0, 0);
    m_noteEditor = new QPlainTextEdit(editor);
    m_noteEditor->setObjectName(u"noteEditor"_s);
    m_noteEditor->setMinimumHeight(80);
    m_noteEditor->setAccessibleName(u"Note"_s);
    // Tab leaves the field; Escape cancels and Ctrl+Return saves.
    m_noteEditor->setTabChangesFocus(true);
    m_noteEditor->installEventFilter(this);
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
    connect(cancel, &QPushButton::clicked, this, &DetailPane::cancelNoteEdit);
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
    m_folderPicker->setAccessibleName(u"Folder"_s);
    // A long folder name does not widen the pane.
    m_folderPicker->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_folderPicker->setMinimumContentsLength(12);
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
    // A note being typed belongs to the item shown so far: keep it.
    if (m_editingNote)
        saveNote();
    m_itemId = id;
    m_editingNote = false;
    // Passing over an item with the arrow keys is not viewing it.
    if (item)
        m_viewedTimer->start();
    else
        m_viewedTimer->stop();
    refreshPicture();
    refresh();
    refreshFolders();
}

void DetailPane::markViewed()
{
    // Viewing an item is not an edit of it.
    if (Item* i = item()) {
        i->setAccessedAt(Clock::now());
        i->setRead(true);
    }
}

void DetailPane::refreshLink()
{
    Item* i = item();
    const auto url = i ? ItemActions::parsedUrl(*i) : std::nullopt;
    m_link->setVisible(url.has_value());
    if (!url)
        return;
    const bool file = url->isLocalFile();
    m_link->setIcon(Symbols::icon(file ? u"folder"_s : u"link"_s, palette().color(QPalette::Link)));
    const QString text = Style::displayText(
        file ? url->toLocalFile() : i->sourceDomain().value_or(url->toString(QUrl::FullyEncoded)), 2000);
    const int room = std::max(60, m_scroll->viewport()->width() - 32 - m_link->iconSize().width() - 8);
    m_link->setText(Style::mnemonicSafe(QFontMetrics(m_link->font()).elidedText(text, Qt::ElideMiddle, room), 2000));
    m_link->setToolTip(Style::displayText(file ? url->toLocalFile() : url->toString(), 2000));
}

void DetailPane::refreshFetchState()
{
    Item* i = item();
    const bool web = i && m_metadata && ItemActions::isWebItem(*i);
    m_fetchRow->setVisible(web);
    if (!web)
        return;
    const bool busy = m_fetching == i->id();
    const QString failure = m_metadata->lastFailure(i->id());
    m_fetchMessage->setVisible(busy || !failure.isEmpty());
    m_fetchMessage->setText(busy ? u"Fetching the page…"_s : u"The page could not be read: %1"_s.arg(failure));
    m_fetchButton->setEnabled(!busy);
}

void DetailPane::fetchAgain()
{
    Item* i = item();
    if (!i || !m_metadata || !ItemActions::isWebItem(*i))
        return;
    m_fetching = i->id();
    refreshFetchState();
    m_metadata->applyFetchedMetadata(*m_context, *i, *ItemActions::parsedUrl(*i));
}

void DetailPane::refresh()
{
    Item* i = item();
    if (!i)
        return;
    m_title->setText(i->title().isEmpty() ? u"Untitled"_s : Style::displayText(i->title(), 2000));
    m_star->setVisible(i->isFavorite());
    refreshLink();
    refreshFetchState();
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
    // The folder picker follows the item's folder. It offers root folders;
    // an item filed deeper shows its own folder as one more entry, so the
    // picker never names a folder the item is not in.
    m_updatingFolders = true;
    const int nested = m_folderPicker->findData(u"nested"_s, Qt::UserRole + 1);
    if (nested >= 0)
        m_folderPicker->removeItem(nested);
    const Folder* folder = i->folder();
    int index = m_folderPicker->findData(folder ? folder->id() : QUuid());
    if (index < 0 && folder) {
        QStringList path{folder->name()};
        for (const Folder* up = folder->parent(); up; up = up->parent())
            path.prepend(up->name());
        m_folderPicker->addItem(Symbols::icon(folder->iconName(), folder->color()),
                                Style::displayText(path.join(u" › "_s), 300), folder->id());
        index = m_folderPicker->count() - 1;
        m_folderPicker->setItemData(index, u"nested"_s, Qt::UserRole + 1);
    }
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
    m_noteText->setText(hasNote ? Style::displayText(*i->note(), 20000) : u"Click to add a note..."_s);
    m_noteText->setCursor(hasNote ? Qt::IBeamCursor : Qt::PointingHandCursor);
    QPalette p = m_noteText->palette();
    p.setColor(QPalette::WindowText, hasNote ? Style::secondaryText(palette()) : Style::tertiaryText(palette()));
    m_noteText->setPalette(p);
}

void DetailPane::beginNoteEdit(const QString& text)
{
    m_editingNote = true;
    m_noteEditor->setPlainText(text);
    refreshNote();
    m_noteEditor->setFocus();
}

void DetailPane::cancelNoteEdit()
{
    m_editingNote = false;
    refreshNote();
}

void DetailPane::saveNote()
{
    Item* i = item();
    m_editingNote = false;
    if (i) {
        const QString text = m_noteEditor->toPlainText();
        if (text != i->note().value_or(QString())) {
            i->setNote(text.isEmpty() ? std::nullopt : std::optional<QString>(text));
            i->setModifiedAt(Clock::now());
        }
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
    if (Item* i = item())
        TagPickerSheet::present(m_context, i, window());
}

void DetailPane::dragEnterEvent(QDragEnterEvent* event)
{
    if (item() && !TagDrag::tags(event->mimeData(), *m_context).isEmpty())
        event->acceptProposedAction();
}

void DetailPane::dropEvent(QDropEvent* event)
{
    Item* i = item();
    const QList<Tag*> tags = i ? TagDrag::tags(event->mimeData(), *m_context) : QList<Tag*>();
    if (tags.isEmpty()) {
        event->ignore();
        return;
    }
    for (Tag* tag : tags)
        i->addTag(tag);
    event->acceptProposedAction();
}

bool DetailPane::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_picture && event->type() == QEvent::MouseButtonRelease)
        openFullImage();
    if (watched == m_title && event->type() == QEvent::MouseButtonRelease)
        openTitleNoteSheet();
    if (watched == m_noteText && event->type() == QEvent::MouseButtonRelease) {
        Item* i = item();
        if (i && (!i->note() || i->note()->isEmpty()))
            beginNoteEdit(QString());
    }
    if (watched == m_noteEditor && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            cancelNoteEdit();
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && (key->modifiers() & Qt::ControlModifier)) {
            saveNote();
            return true;
        }
    }
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize) {
        refreshLink();
        if (!m_pictureImage.isNull())
            renderPicture();
    }
    return QWidget::eventFilter(watched, event);
}
