#include "card/item_row.h"

#include "card/action_bar_view.h"
#include "card/card_cells_view.h"
#include "card/card_header_view.h"
#include "card/card_keys.h"
#include "card/item_actions.h"
#include "card/note_tags_view.h"
#include "card/recognised_block_view.h"
#include "card/zoom_controls_view.h"
#include "card/zoomable_image_view.h"
#include "connect/invite_handler.h"
#include "connect/invite_links.h"
#include "image_edit/image_edit_sheet.h"
#include "platform/defaults.h"
#include "platform/media.h"
#include "platform/quit_drained_pool.h"
#include "store/blur_rules.h"
#include "store/item_store.h"
#include "store/senders.h"
#include "ui/symbol_icon.h"
#include "ui/text_style.h"
#include "ui/thumbnail_view.h"

#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QPushButton>
#include <QThreadPool>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace vesker {

namespace {

constexpr int kCompactBox = 140;
constexpr int kMinViewport = 120;
constexpr int kUnfittedHeight = 900;
constexpr int kBlurredPixels = 24;
constexpr int kThumbnailPixels = 400;
constexpr int kBlurRadius = 6;
constexpr int kCopiedFlashMs = 1200;
const QString kSimpleModeKey = QString::fromLatin1(card_keys::kSimpleMode);

QBoxLayout* emptySlot(QBoxLayout* parent, int spacing)
{
    auto* slot = new QVBoxLayout;
    slot->setSpacing(spacing);
    parent->addLayout(slot);
    return slot;
}

// Turning and re-encoding a full photo takes a moment; one at a time, away from thumbnails and
// recognition.
QThreadPool& editPool()
{
    static QThreadPool* pool = platform::makeQuitDrainedPool("photo edits", 1);
    return *pool;
}

constexpr int kFrameRadius = 12;
constexpr int kFrameCorner = kFrameRadius + 1;
constexpr int kFrameSide = 2 * kFrameCorner + 1;

// The card frame's middle column repeated across (or its middle row repeated down) at least
// `length`: the straight edges, drawn as they are.
QPixmap frameEdges(
    const QPixmap& frame, const QString& key, int scale, int length, Qt::Orientation orientation)
{
    constexpr int kStep = 256;
    const int reach = (length + kStep - 1) / kStep * kStep;
    const QString edgesKey = key
        + (orientation == Qt::Horizontal ? QStringLiteral("-across-") : QStringLiteral("-down-"))
        + QString::number(reach);
    QPixmap edges;
    if (QPixmapCache::find(edgesKey, &edges))
        return edges;
    const QImage corners = frame.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int side = corners.width();
    const int middle = kFrameCorner * scale;
    const int extent = reach * scale;
    const bool across = orientation == Qt::Horizontal;
    QImage strip(
        across ? extent : side, across ? side : extent, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < strip.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(strip.scanLine(y));
        const auto* source
            = reinterpret_cast<const QRgb*>(corners.constScanLine(across ? y : middle));
        for (int x = 0; x < strip.width(); ++x)
            line[x] = across ? source[middle] : source[x];
    }
    edges = QPixmap::fromImage(strip);
    edges.setDevicePixelRatio(scale);
    QPixmapCache::insert(edgesKey, edges);
    return edges;
}

void saveEdited(
    ItemStore& store, const QUuid& id, CardState& state, const ImageEditOperations::Encoded& image)
{
    if (image.data.isEmpty())
        return;
    // The new photo is shown whole; set before the store tells the list, which redraws the card.
    state.zoom = 1.0;
    ItemActions::saveEditedImage(store, id, image);
}

} // namespace

ItemRow::ItemRow(const CardServices& services, const ScreenItem& item, const ItemRowLayout& layout,
    std::shared_ptr<CardState> state, QWidget* parent)
    : QFrame(parent)
    , m_services(services)
    , m_item(item)
    , m_layout(layout)
    , m_state(state ? std::move(state) : std::make_shared<CardState>())
{
    setObjectName(QStringLiteral("itemRow"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);

    // A change of named items leaves names and blurring as they were; a sender renamed or
    // marked known is announced as a change of the whole store.
    connect(&m_services.store, &ItemStore::changed, this, [this](const StoreChange& change) {
        if (change.whole)
            reviewSettings();
    });
    connect(&m_services.store.defaults(), &platform::Defaults::changed, this,
        [this](const QString& key) {
            if (key == kSimpleModeKey || BlurRules::readsSetting(key))
                reviewSettings();
        });
    connect(this, &ItemRow::copiedFlashChanged, this, &ItemRow::refreshParts);
    rebuild();
}

ItemRow::~ItemRow() = default;

void ItemRow::setItem(const ScreenItem& item, std::shared_ptr<CardState> state)
{
    if (!state)
        state = std::make_shared<CardState>();
    if (item == m_item && state == m_state)
        return;
    const ScreenItem previous = std::exchange(m_item, item);
    const bool sameState = state == m_state;
    m_state = std::move(state);
    if (!sameState && showsPhotoInPlace(previous)) {
        // Codes and recognised text keep what was shown of the last item (an open hint, the
        // text's fold): made again for this one.
        if (m_recognised) {
            m_recognised->hide();
            m_recognised->deleteLater();
            m_recognised = nullptr;
        }
        m_shownName = displayName();
    } else if (!sameState || !keepsShape(previous)) {
        rebuild();
        return;
    }
    refreshHeader(previous);
    refreshParts();
    followUnfinishedFile();
    updateGeometry();
}

bool ItemRow::showsPhotoInPlace(const ScreenItem& previous) const
{
    // Another photo on a card that looks the same keeps the card's widgets: building its few
    // dozen widgets again, and deleting the old ones, was most of what an arrival cost.
    return m_photo && m_header && m_body->layout() && m_layout.mode == ViewMode::large
        && previous.kind == ItemKind::photo && m_item.kind == ItemKind::photo && !m_shownBlurred
        && !isBlurred()
        && m_services.store.defaults().boolValue(kSimpleModeKey, false) == m_simpleMode;
}

bool ItemRow::keepsShape(const ScreenItem& previous) const
{
    // The content cells are made once per build; what they show of an item never changes
    // while it keeps its id, file and kind.
    return m_item.id == previous.id && m_item.kind == previous.kind
        && m_item.filename == previous.filename && m_item.text == previous.text
        && m_item.originalName == previous.originalName && isBlurred() == m_shownBlurred
        && m_services.store.defaults().boolValue(kSimpleModeKey, false) == m_simpleMode;
}

void ItemRow::refreshHeader(const ScreenItem& previous)
{
    if (!m_header || !m_body->layout()
        || (m_item.acknowledged == previous.acknowledged && m_item.sender == previous.sender
            && m_item.receivedAt == previous.receivedAt && m_item.groupIndex == previous.groupIndex
            && m_item.groupCount == previous.groupCount))
        return;
    QWidget* header = makeCardHeader(m_item, m_services.store, m_body);
    delete m_body->layout()->replaceWidget(m_header, header);
    m_header->hide();
    m_header->deleteLater();
    m_header = header;
}

void ItemRow::refreshParts()
{
    if (m_recognisedSlot) {
        const bool wanted = RecognisedBlockView::isWanted(m_item);
        if (wanted && !m_recognised) {
            m_recognised = new RecognisedBlockView(
                m_services.permissions, [this] { flashCopied(); }, m_body);
            m_recognisedSlot->addWidget(m_recognised);
        } else if (!wanted && m_recognised) {
            m_recognised->hide();
            m_recognised->deleteLater();
            m_recognised = nullptr;
        }
        if (m_recognised)
            m_recognised->refresh(m_item, m_state);
    }
    if (m_noteTags)
        m_noteTags->refresh(m_item, m_state);
    if (m_actionBar)
        m_actionBar->refresh(m_item);
    refreshPhoto();
}

bool ItemRow::takeLayout(const ItemRowLayout& layout)
{
    ItemRowLayout drawn = layout;
    drawn.isNewest = m_layout.isNewest;
    const bool redraws = !(drawn == m_layout);
    m_layout = layout;
    // Which card is the newest changes with every arrival and draws nothing different: a
    // rebuild for it would take apart the field being typed into on the card below.
    return redraws;
}

void ItemRow::setRowLayout(const ItemRowLayout& layout)
{
    if (takeLayout(layout))
        rebuild();
}

void ItemRow::reuseFor(
    const ScreenItem& item, std::shared_ptr<CardState> state, const ItemRowLayout& layout)
{
    if (!takeLayout(layout)) {
        setItem(item, std::move(state));
        return;
    }
    // Built once, for the item it is to show: the last item in the new look would be built only
    // to be taken apart, and that item may be gone from the store by now.
    m_item = item;
    m_state = state ? std::move(state) : std::make_shared<CardState>();
    rebuild();
}

bool ItemRow::isBlurred() const
{
    return m_item.kind == ItemKind::photo && !m_state->revealed
        && BlurRules(m_services.store.defaults()).shouldBlur(m_item.sender);
}

QString ItemRow::displayName() const
{
    return Senders::displayName(m_item.sender, m_services.store.defaults());
}

void ItemRow::reviewSettings()
{
    const bool simple = m_services.store.defaults().boolValue(kSimpleModeKey, false);
    if (isBlurred() != m_shownBlurred || simple != m_simpleMode || displayName() != m_shownName)
        rebuild();
}

QImage ItemRow::shownImage() const
{
    return m_photo ? m_photo->image() : QImage();
}

void ItemRow::later(std::function<void()> action)
{
    // The list may hand the card another item before the click's turn is over; what was asked
    // of one item is never done to the next.
    QMetaObject::invokeMethod(
        this,
        [this, id = m_item.id, action = std::move(action)] {
            if (m_item.id == id)
                action();
        },
        Qt::QueuedConnection);
}

void ItemRow::rebuild()
{
    m_shownBlurred = isBlurred();
    m_simpleMode = m_services.store.defaults().boolValue(kSimpleModeKey, false);
    m_shownName = displayName();
    // Every part below belongs to the body about to go; none may outlive it, whatever the new
    // body is built for.
    m_pdfCell = nullptr;
    m_header = nullptr;
    m_recognisedSlot = nullptr;
    m_noteSlot = nullptr;
    m_actionSlot = nullptr;
    m_recognised = nullptr;
    m_noteTags = nullptr;
    m_actionBar = nullptr;
    m_photo = nullptr;
    m_zoomControls = nullptr;
    // Rebuilds are queued behind the events of the card's own buttons, so the old widgets are
    // never in the middle of handling one.
    delete m_body;
    m_body = new QWidget(this);
    m_body->setObjectName(QStringLiteral("cardBody"));
    if (m_layout.mode == ViewMode::compact)
        fillCompact(m_body);
    else
        fillLarge(m_body);
    layout()->addWidget(m_body);
    refreshParts();
    // A child added to a card on screen stays hidden until the event loop shows it, and its
    // layout would measure the card as empty until then; the list measures it now.
    m_body->show();
    // Only the PDF cell of a large card shows a page count.
    if (m_pdfCell)
        countPages();
    followUnfinishedFile();
    update();
    updateGeometry();
}

void ItemRow::followUnfinishedFile()
{
    const QString path = m_services.store.fileURL(m_item);
    if (!path.endsWith(ItemStore::kUnfinishedSuffix))
        return;
    const auto follow = [this, id = m_item.id, path] {
        if (m_item.id != id || m_services.store.fileURL(m_item) == path)
            return;
        // A large photo follows its file in place; anything with a thumbnail is made again.
        if (m_photo && m_layout.mode == ViewMode::large)
            refreshPhoto();
        else
            rebuild();
    };
    // Not in the middle of the store's own bookkeeping: on the card's next turn.
    m_services.store.whenSaved([card = QPointer<ItemRow>(this), follow](const auto&) {
        if (card)
            QMetaObject::invokeMethod(card.data(), follow, Qt::QueuedConnection);
    });
}

void ItemRow::fillLarge(QWidget* body)
{
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(10);
    m_header = makeCardHeader(m_item, m_services.store, body);
    column->addWidget(m_header);

    switch (m_item.kind) {
    case ItemKind::pdf: {
        const QString path = m_services.store.fileURL(m_item);
        m_pdfCell = new PdfCell(m_services.thumbnails, path, m_item.originalName, body);
        column->addWidget(m_pdfCell);
        break;
    }
    case ItemKind::photo:
        column->addWidget(m_shownBlurred ? makeBlurredPlaceholder(body) : makePhoto(body));
        break;
    case ItemKind::text:
        column->addWidget(makeTextCell(false, body));
        break;
    }
    // Simple mode decides what goes into these; they stay empty until then.
    m_recognisedSlot = emptySlot(column, 6);
    m_noteSlot = emptySlot(column, 8);
    m_actionSlot = emptySlot(column, 8);
    if (!m_simpleMode) {
        m_noteTags = new NoteTagsView(m_services.store, body);
        m_noteSlot->addWidget(m_noteTags);
    }
    placeActions(body, m_simpleMode);
}

void ItemRow::fillCompact(QWidget* body)
{
    auto* row = new QHBoxLayout(body);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(14);

    QWidget* box
        = m_item.kind == ItemKind::text ? makeTextCell(true, body) : makeCompactThumbnail(body);
    box->setFixedSize(kCompactBox, kCompactBox);
    row->addWidget(box, 0, Qt::AlignTop);

    auto* column = new QVBoxLayout;
    column->setSpacing(8);
    m_header = makeCardHeader(m_item, m_services.store, body);
    column->addWidget(m_header);
    m_recognisedSlot = emptySlot(column, 6);
    m_noteSlot = emptySlot(column, 8);
    m_actionSlot = emptySlot(column, 8);
    // Compact cards keep the note whatever simple mode says.
    m_noteTags = new NoteTagsView(m_services.store, body);
    m_noteSlot->addWidget(m_noteTags);
    placeActions(body, false);
    column->addStretch(1);
    row->addLayout(column, 1);
}

QWidget* ItemRow::makePhoto(QWidget* parent)
{
    const double scale = m_layout.scale;
    const int width = std::max(int(std::lround(m_layout.availableWidth * scale)), kMinViewport);
    const int height = std::max(
        int(std::lround(scale * m_layout.fitHeight.value_or(kUnfittedHeight))), kMinViewport);
    auto* cell = new QWidget(parent);
    auto* column = new QVBoxLayout(cell);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);

    m_photo = new ZoomableImageView(m_services.thumbnails, cell);
    m_photo->setObjectName(QStringLiteral("cardPhoto"));
    m_photo->setViewport({width, height});
    m_photo->setMaxZoom(ZoomControls::kMaxZoom);
    // The card may show another photo by the time it is dragged.
    m_photo->setDragData([this] { return fileDragData(m_services.store.fileURL(m_item)); });
    connect(m_photo, &ZoomableImageView::openRequested, this, &ItemRow::previewRequested);
    connect(m_photo, &ZoomableImageView::zoomChanged, this, &ItemRow::zoomTo);
    column->addWidget(m_photo, 0, Qt::AlignHCenter);
    if (m_simpleMode)
        return cell;

    auto* controls = new QHBoxLayout;
    controls->setSpacing(14);
    controls->addStretch(1);
    m_zoomControls = new ZoomControls(cell);
    m_zoomControls->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(m_zoomControls, &ZoomControls::zoomChanged, this, &ItemRow::zoomTo);
    controls->addWidget(m_zoomControls);
    for (const bool clockwise : {false, true}) {
        auto* turn = new QToolButton(cell);
        turn->setObjectName(
            clockwise ? QStringLiteral("rotateRightButton") : QStringLiteral("rotateLeftButton"));
        turn->setIcon(symbolIcon(
            clockwise ? QStringLiteral("rotate.right") : QStringLiteral("rotate.left"), palette()));
        turn->setAutoRaise(true);
        turn->setToolTip(clockwise ? QStringLiteral("Rotate right (saves the photo)")
                                   : QStringLiteral("Rotate left (saves the photo)"));
        turn->setAccessibleName(
            clockwise ? QStringLiteral("Rotate right") : QStringLiteral("Rotate left"));
        // Saving may rebuild the card that holds the button.
        connect(turn, &QToolButton::clicked, this,
            [this, clockwise] { later([this, clockwise] { rotate(clockwise); }); });
        controls->addWidget(turn);
    }
    controls->addStretch(1);
    column->addLayout(controls);
    return cell;
}

void ItemRow::refreshPhoto()
{
    if (m_photo) {
        m_photo->setSource(m_services.store.fileURL(m_item));
        m_photo->setZoom(m_state->zoom);
    }
    if (m_zoomControls)
        m_zoomControls->setZoom(m_state->zoom);
}

void ItemRow::zoomTo(double zoom)
{
    m_state->zoom = zoom;
    refreshPhoto();
}

void ItemRow::openEditor()
{
    // The editor belongs to the window and saves through the store: an arrival may take this
    // card away, or hand it another item, while the user is still cropping.
    ItemStore& store = m_services.store;
    auto* sheet = new ImageEditSheet(
        m_services.thumbnails, store.fileURL(m_item), QStringLiteral("Edit photo"),
        [&store, id = m_item.id, state = m_state](
            const ImageEditOperations::Encoded& edited) { saveEdited(store, id, *state, edited); },
        window());
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->open();
}

QWidget* ItemRow::makeBlurredPlaceholder(QWidget* parent)
{
    auto* cell = new QWidget(parent);
    auto* row = new QHBoxLayout(cell);
    row->setContentsMargins(0, 6, 0, 6);
    row->setSpacing(14);

    auto* picture = new ThumbnailView(m_services.thumbnails, cell);
    picture->setObjectName(QStringLiteral("blurredPhoto"));
    picture->setFixedSize(160, 160);
    picture->setBlurRadius(kBlurRadius);
    picture->setSource(
        m_services.store.fileURL(m_item), kBlurredPixels, ThumbnailView::ContentMode::fill);
    row->addWidget(picture, 0, Qt::AlignVCenter);

    auto* column = new QVBoxLayout;
    column->setSpacing(6);
    column->addStretch(1);
    column->addWidget(
        symbolLabel(QStringLiteral("eye.slash"), QStringLiteral("Hidden until revealed"),
            TextStyle::headline, cell->palette().color(QPalette::WindowText), cell));
    const QString name = displayName();
    // The reason that holds: with every photo blurred, the sender's own rule changes nothing.
    auto* message = plainLabel(BlurRules(m_services.store.defaults()).blursEveryPhoto()
            ? QStringLiteral("Every photo is blurred by your settings.")
            : QStringLiteral("Photos from %1 are blurred by your settings.").arg(name),
        cell);
    message->setObjectName(QStringLiteral("blurredMessage"));
    message->setWordWrap(true);
    setSecondary(*message);
    column->addWidget(message);

    auto* buttons = new QHBoxLayout;
    auto* reveal = new QPushButton(QStringLiteral("Reveal"), cell);
    reveal->setObjectName(QStringLiteral("revealButton"));
    connect(reveal, &QPushButton::clicked, this, [this] { later([this] { this->reveal(); }); });
    auto* always = new QPushButton(buttonTitle(QStringLiteral("Always show from ") + name), cell);
    always->setObjectName(QStringLiteral("alwaysShowButton"));
    always->setToolTip(QStringLiteral(
        "Marks this sender as known. Their photos are never blurred, even with “Blur every "
        "photo” on. Undo in Settings ▸ Display or the sender's ⋯ menu."));
    connect(always, &QPushButton::clicked, this, [this] { later([this] { alwaysShow(); }); });
    buttons->addWidget(reveal);
    buttons->addWidget(always);
    buttons->addStretch(1);
    column->addLayout(buttons);
    column->addStretch(1);
    row->addLayout(column, 1);
    return cell;
}

QWidget* ItemRow::makeCompactThumbnail(QWidget* parent)
{
    auto* picture = new ThumbnailView(m_services.thumbnails, parent);
    picture->setObjectName(QStringLiteral("compactThumbnail"));
    const QString path = m_services.store.fileURL(m_item);
    picture->setBlurRadius(m_shownBlurred ? kBlurRadius : 0);
    picture->setSource(
        path, m_shownBlurred ? kBlurredPixels : kThumbnailPixels, ThumbnailView::ContentMode::fill);
    if (m_shownBlurred) {
        picture->setToolTip(QStringLiteral("Click to reveal"));
        auto* overlay = new QWidget(picture);
        overlay->setAttribute(Qt::WA_TransparentForMouseEvents);
        auto* stack = new QVBoxLayout(overlay);
        stack->setAlignment(Qt::AlignCenter);
        QPalette white = overlay->palette();
        white.setColor(QPalette::WindowText, Qt::white);
        auto* icon = new QLabel(overlay);
        const int side = QFontMetrics(vesker::font(TextStyle::title2, overlay->font())).height();
        icon->setPixmap(symbolIcon(QStringLiteral("eye.slash"), white).pixmap(side, side));
        stack->addWidget(icon, 0, Qt::AlignHCenter);
        auto* word = new QLabel(QStringLiteral("Reveal"), overlay);
        word->setObjectName(QStringLiteral("revealOverlay"));
        setTextStyle(*word, TextStyle::caption);
        word->setPalette(white);
        stack->addWidget(word, 0, Qt::AlignHCenter);
        overlay->setGeometry(0, 0, kCompactBox, kCompactBox);
    } else {
        picture->setToolTip(QStringLiteral("Click to enlarge — or drag it into another app"));
        picture->setFailureText(ZoomableImageView::unreadableText());
    }
    new ClickDragFilter(
        picture,
        [this] {
            if (isBlurred())
                reveal();
            else
                Q_EMIT previewRequested();
        },
        [path] { return fileDragData(path); });
    return picture;
}

QWidget* ItemRow::makeTextCell(bool compact, QWidget* parent)
{
    std::function<void()> onInvite;
    if (m_services.invites) {
        onInvite = [this] {
            const std::optional<QUrl> link = InviteLinks::extract(QString::fromUtf8(m_item.text));
            if (!link)
                return;
            const QString host = m_services.screenName ? m_services.screenName() : QString();
            m_services.invites->handle(link->toString(), host, m_item.id);
        };
    }
    // A third of the list leaves room for the header, note and actions beneath the text.
    return new TextCell(m_item.text, compact, onInvite, parent,
        {compact ? 0 : m_layout.availableWidth, m_layout.areaHeight / 3});
}

void ItemRow::reveal()
{
    m_state->revealed = true;
    rebuild();
}

void ItemRow::alwaysShow()
{
    BlurRules(m_services.store.defaults()).setKnown(m_item.sender, true);
    m_services.store.announceChange();
}

void ItemRow::countPages()
{
    if (!m_pdfCell)
        return;
    const QString path = m_services.store.fileURL(m_item);
    if (path == m_countedPath) {
        m_pdfCell->setPageCount(m_pageCount);
        return;
    }
    m_countedPath = path;
    m_pageCount.reset();
    m_pdfCell->setPageCount(std::nullopt);
    // Poppler reads the whole cross-reference table: never on the main thread.
    auto* watcher = new QFutureWatcher<std::optional<int>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, path] {
        watcher->deleteLater();
        if (path != m_countedPath)
            return;
        m_pageCount = watcher->result();
        if (m_pdfCell) {
            m_pdfCell->setPageCount(m_pageCount);
            updateGeometry();
        }
    });
    watcher->setFuture(QtConcurrent::run([path] { return platform::pdfPageCount(path); }));
}

int ItemRow::heightForWidth(int width) const
{
    QLayout* outer = layout();
    if (!outer)
        return -1;
    return outer->hasHeightForWidth() ? outer->totalHeightForWidth(width)
                                      : outer->totalSizeHint().height();
}

void ItemRow::paintEvent(QPaintEvent* event)
{
    if (m_layout.mode != ViewMode::large) {
        QFrame::paintEvent(event);
        return;
    }
    const QColor fill = palette().color(QPalette::Base);
    const QColor edge = separatorColor(palette());
    const auto drawShape = [&](QPainter& painter, const QRectF& area) {
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(area.adjusted(0.5, 0.5, -0.5, -0.5), kFrameRadius, kFrameRadius);
        painter.fillPath(shape, fill);
        painter.setPen(QPen(edge, 1));
        painter.drawPath(shape);
    };
    QPainter painter(this);
    const qreal ratio = devicePixelRatioF();
    const int scale = qRound(ratio);
    if (scale != ratio || width() < 2 * kFrameCorner || height() < 2 * kFrameCorner) {
        drawShape(painter, QRectF(rect()));
        return;
    }
    // Stroking the rounded outline cost more than the rest of a card's paint, and every card on
    // screen is painted again when an arrival moves them down: the corners are drawn once per
    // colours and pixel ratio, and the edges copied from that drawing's middle row and column.
    const QString key = QStringLiteral("vesker-card-frame-%1-%2-%3")
                            .arg(fill.rgba(), 0, 16)
                            .arg(edge.rgba(), 0, 16)
                            .arg(scale);
    QPixmap frame;
    if (!QPixmapCache::find(key, &frame)) {
        frame = QPixmap(QSize(kFrameSide, kFrameSide) * scale);
        frame.setDevicePixelRatio(scale);
        frame.fill(Qt::transparent);
        QPainter framePainter(&frame);
        drawShape(framePainter, QRectF(0, 0, kFrameSide, kFrameSide));
        framePainter.end();
        QPixmapCache::insert(key, frame);
    }
    const std::array<int, 4> xs {0, kFrameCorner, width() - kFrameCorner, width()};
    const std::array<int, 4> ys {0, kFrameCorner, height() - kFrameCorner, height()};
    constexpr std::array<int, 4> kFrom {0, kFrameCorner, kFrameCorner + 1, kFrameSide};
    const QPixmap across = frameEdges(frame, key, scale, width(), Qt::Horizontal);
    const QPixmap down = frameEdges(frame, key, scale, height(), Qt::Vertical);
    for (size_t column = 0; column < 3; ++column) {
        for (size_t row = 0; row < 3; ++row) {
            const QRect target(
                xs[column], ys[row], xs[column + 1] - xs[column], ys[row + 1] - ys[row]);
            if (column == 1 && row == 1) {
                painter.fillRect(target, fill);
                continue;
            }
            // Every piece is drawn at its own size: the raster engine stretches many times
            // slower than it copies.
            const QPixmap& from = column == 1 ? across : row == 1 ? down : frame;
            const QPoint at(column == 1 ? 0 : kFrom[column], row == 1 ? 0 : kFrom[row]);
            painter.drawPixmap(target, from, QRect(at * scale, target.size() * scale));
        }
    }
}

void ItemRow::confirmDelete(DeleteScope scope)
{
    askToDelete(this, m_services.store, m_item, scope == DeleteScope::set);
}

void ItemRow::placeActions(QWidget* body, bool compactBar)
{
    m_actionBar = new ActionBarView(*this, m_services, m_item, compactBar, body);
    m_actionSlot->addWidget(m_actionBar);
}

void ItemRow::flashCopied()
{
    m_state->copiedFlash = true;
    Q_EMIT copiedFlashChanged(true);
    // Each copy sets its own clock; the first to run out clears the flash.
    QTimer::singleShot(kCopiedFlashMs, this, [this, state = m_state] {
        if (!std::exchange(state->copiedFlash, false) || state != m_state)
            return;
        Q_EMIT copiedFlashChanged(false);
    });
}

void ItemRow::rotate(bool clockwise)
{
    if (m_item.kind != ItemKind::photo)
        return;
    const QString path = m_services.store.fileURL(m_item);
    if (path.isEmpty())
        return;
    // Held by the store rather than the card: a card scrolled away mid-turn still saves it.
    ItemStore& store = m_services.store;
    auto* watcher = new QFutureWatcher<std::optional<ImageEditOperations::Encoded>>(&store);
    connect(watcher, &QFutureWatcherBase::finished, &store,
        [watcher, &store, state = m_state, id = m_item.id, filename = m_item.filename] {
            watcher->deleteLater();
            const std::optional<ScreenItem> current = store.item(id);
            // Turned meanwhile (a second click): this turn was of a photo that is gone.
            if (!current || current->filename != filename || !watcher->result())
                return;
            saveEdited(store, id, *state, *watcher->result());
        });
    watcher->setFuture(QtConcurrent::run(
        &editPool(), [path, clockwise] { return ItemActions::quarterTurned(path, clockwise); }));
}

void ItemRow::saveEditedImage(const ImageEditOperations::Encoded& image)
{
    saveEdited(m_services.store, m_item.id, *m_state, image);
}

} // namespace vesker
