#include "card/action_bar_view.h"

#include "card/card_cells_view.h"
#include "card/card_header_view.h"
#include "card/item_actions.h"
#include "platform/defaults.h"
#include "platform/thumbnail_loader.h"
#include "store/item_store.h"
#include "ui/symbol_icon.h"
#include "ui/text_style.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTextDocument>

namespace vesker {

namespace {

// Never enlarged: the photo at its own size, bounded only by what decoding allows.
constexpr int kFullSize = 1 << 14;
constexpr int kSpacing = 8;
const QString kConfirmDeleteKey = QStringLiteral("confirmDelete");

QString keyText(QKeyCombination key)
{
    return QKeySequence(key).toString(QKeySequence::NativeText);
}

void makeDestructive(QPushButton& button)
{
    markDestructive(button);
    button.setAutoDefault(false);
}

} // namespace

ActionBarView::ActionBarView(ItemRow& card, const CardServices& services, const ScreenItem& item,
    bool compact, QWidget* parent)
    : QWidget(parent)
    , m_card(card)
    , m_services(services)
    , m_item(item)
    , m_compact(compact)
{
    setObjectName(compact ? QStringLiteral("compactActionBar") : QStringLiteral("actionBar"));
    // No layout of its own: a layout would answer for the bar's height in place of
    // heightForWidth(), and it knows nothing of the bar folding onto two lines.
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    connect(&m_services.store.defaults(), &platform::Defaults::changed, this,
        [this](const QString& key) {
            if (key == kConfirmDeleteKey)
                fill();
        });
    connect(&m_card, &ItemRow::copiedFlashChanged, this, [this](bool shown) {
        if (m_copied)
            m_copied->setVisible(shown);
        // "Copied" widens the bar, which may now fold onto two lines.
        updateGeometry();
    });
    fill();
}

void ActionBarView::refresh(const ScreenItem& item)
{
    if (item == m_item)
        return;
    const bool sameButtons = buttonsKey(item) == buttonsKey(m_item);
    m_item = item;
    if (!sameButtons) {
        fill();
        return;
    }
    if (m_copied && m_copied->isVisibleTo(this) != m_card.copiedFlash()) {
        m_copied->setVisible(m_card.copiedFlash());
        updateGeometry();
    }
}

QString ActionBarView::buttonsKey(const ScreenItem& item) const
{
    const ItemActions::Offered offered = ItemActions::offered(item, m_compact);
    QString key;
    for (const bool on :
        {offered.gotIt, offered.reply, offered.skip, offered.backToInbox, offered.archive,
            offered.wholeSet, offered.location, item.acknowledged, item.deviceID.isEmpty(),
            item.status == ItemStatus::inbox, m_services.store.fileURL(item).isEmpty()})
        key += on ? u'1' : u'0';
    key += QString::number(int(item.kind));
    if (offered.location)
        key += ItemActions::locationHelp(*item.lat, *item.lon);
    return key;
}

void ActionBarView::later(std::function<void()> action)
{
    // A bar kept for another item alike acts on what it shows when the action runs: what was
    // clicked on one item is dropped once the card shows another.
    QMetaObject::invokeMethod(
        &m_card,
        [bar = QPointer<ActionBarView>(this), id = m_item.id, action = std::move(action)] {
            if (bar && bar->m_item.id == id && bar->m_card.item().id == id)
                action();
        },
        Qt::QueuedConnection);
}

void ActionBarView::fill()
{
    // The old row may hold the button being clicked: it goes once that click is over.
    if (m_row) {
        m_row->hide();
        m_row->deleteLater();
    }
    m_copied = nullptr;
    m_row = new QWidget(this);
    m_rowLayout = new QBoxLayout(QBoxLayout::LeftToRight, m_row);
    m_rowLayout->setContentsMargins(0, 0, 0, 0);
    m_rowLayout->setSpacing(kSpacing);
    const auto group = [this] {
        auto* box = new QWidget(m_row);
        auto* line = new QHBoxLayout(box);
        line->setContentsMargins(0, 0, 0, 0);
        line->setSpacing(kSpacing);
        return box;
    };
    m_first = group();
    m_second = group();
    m_group = m_first;
    if (m_compact)
        fillCompact();
    else
        fillFull();
    m_rowLayout->addWidget(m_first, 0, Qt::AlignLeft);
    m_rowLayout->addStretch(1);
    m_rowLayout->addWidget(m_second, 0, Qt::AlignLeft);
    m_row->setGeometry(rect());
    arrange(width());
    m_row->show();
    updateGeometry();
}

int ActionBarView::oneRowWidth() const
{
    return m_first->sizeHint().width() + kSpacing + m_second->sizeHint().width();
}

void ActionBarView::arrange(int width)
{
    const auto direction
        = width >= oneRowWidth() ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom;
    if (m_rowLayout->direction() != direction)
        m_rowLayout->setDirection(direction);
}

int ActionBarView::heightForWidth(int width) const
{
    const int first = m_first->sizeHint().height();
    const int second = m_second->sizeHint().height();
    return width >= oneRowWidth() ? std::max(first, second) : first + kSpacing + second;
}

QSize ActionBarView::sizeHint() const
{
    return {oneRowWidth(), heightForWidth(oneRowWidth())};
}

QSize ActionBarView::minimumSizeHint() const
{
    const int narrowest
        = std::max(m_first->minimumSizeHint().width(), m_second->minimumSizeHint().width());
    return {narrowest, heightForWidth(narrowest)};
}

void ActionBarView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    arrange(width());
    m_row->setGeometry(rect());
}

QPushButton* ActionBarView::button(const QString& name, const QString& title, const QString& symbol,
    const QString& help, std::function<void(const ScreenItem&)> action)
{
    auto* button = new QPushButton(title, m_group);
    button->setObjectName(name);
    button->setAccessibleName(title.isEmpty() ? help : title);
    if (!symbol.isEmpty())
        button->setIcon(symbolIcon(symbol, palette(), QPalette::ButtonText));
    button->setToolTip(help.toHtmlEscaped());
    button->setAutoDefault(false);
    if (action) {
        connect(button, &QPushButton::clicked, this,
            [this, action] { later([action, item = m_item] { action(item); }); });
    }
    m_group->layout()->addWidget(button);
    return button;
}

void ActionBarView::addGotIt(bool offered)
{
    ItemStore& store = m_services.store;
    // Once said, the card's header shows "Seen" instead.
    if (offered) {
        QPushButton* gotIt = button(QStringLiteral("gotItButton"), QStringLiteral("Got it"),
            QStringLiteral("hand.thumbsup"),
            QStringLiteral("Tell the sender's phone you've seen this (%1)")
                .arg(keyText(Qt::CTRL | Qt::Key_G)),
            [&store](const ScreenItem& item) { ItemActions::gotIt(store, item); });
        connect(gotIt, &QPushButton::clicked, this, [this, gotIt] {
            m_saidHere = m_item.id;
            m_saidSize = gotIt->size();
        });
    } else if (m_item.acknowledged && m_saidHere == m_item.id) {
        // Said from here: its place stays, empty, so that the buttons after it do not slide
        // under a pointer that clicks twice.
        auto* gap = new QWidget(m_group);
        gap->setObjectName(QStringLiteral("gotItGap"));
        gap->setFixedSize(m_saidSize);
        m_group->layout()->addWidget(gap);
    }
}

void ActionBarView::fillFull()
{
    ItemStore& store = m_services.store;
    const ScreenItem item = m_item;
    const ItemActions::Offered offered = ItemActions::offered(item, false);
    const QString path = store.fileURL(item);
    // What the buttons are and say is read from `item` here; what they do, from the item shown
    // when one is clicked (see buttonsKey()).

    addGotIt(offered.gotIt);
    if (offered.reply) {
        auto* reply = button(QStringLiteral("replyButton"), QStringLiteral("Reply"),
            QStringLiteral("arrowshape.turn.up.left"),
            QStringLiteral("Send a short reply back to whoever sent this"), {});
        reply->setFlat(true);
        auto* menu = new QMenu(reply);
        for (const AckAction action : ItemActions::relayReplies()) {
            const ItemActions::AckLook look = ItemActions::look(action);
            menu->addAction(symbolIcon(look.symbol, menu->palette()), buttonTitle(look.label), this,
                [this, &store, action] {
                    later([&store, item = m_item, action] {
                        ItemActions::reply(store, item, action);
                    });
                });
        }
        reply->setMenu(menu);
    }
    if (offered.skip)
        button(QStringLiteral("skipButton"), QStringLiteral("Skip"), {},
            QStringLiteral("Leave it for later (%1)").arg(keyText(Qt::CTRL | Qt::Key_L)),
            [&store](const ScreenItem& shown) { ItemActions::skip(store, shown); });
    if (offered.backToInbox)
        button(QStringLiteral("backToInboxButton"), QStringLiteral("Back to Inbox"), {}, {},
            [&store](const ScreenItem& shown) { ItemActions::backToInbox(store, shown); });
    if (offered.archive)
        button(QStringLiteral("archiveButton"), QStringLiteral("Archive"), {},
            item.status == ItemStatus::inbox
                ? QStringLiteral("Move to Archive (%1)").arg(keyText(Qt::CTRL | Qt::Key_E))
                : QString(),
            [&store](const ScreenItem& shown) { ItemActions::archive(store, shown); });

    const bool asks = ItemActions::asksBeforeDelete(store.defaults());
    QString deleteHelp = QStringLiteral("Delete (%1)").arg(keyText(Qt::CTRL | Qt::Key_Backspace));
    if (asks)
        deleteHelp += QStringLiteral(" — asks first; change in Settings ▸ General");
    makeDestructive(*button(QStringLiteral("deleteButton"), QStringLiteral("Delete"), {},
        deleteHelp, [this](const ScreenItem&) { askDelete(ItemRow::DeleteScope::one); }));

    if (offered.wholeSet) {
        auto* set
            = button(QStringLiteral("wholeSetButton"), QStringLiteral("Whole set"), {}, {}, {});
        auto* menu = new QMenu(set);
        menu->addAction(QStringLiteral("Archive set"), this, [this, &store] {
            later([&store, item = m_item] { ItemActions::archiveSet(store, item); });
        });
        menu->addAction(QStringLiteral("Delete set"), this,
            [this] { later([this] { askDelete(ItemRow::DeleteScope::set); }); });
        set->setMenu(menu);
    }
    m_group = m_second;

    button(QStringLiteral("forwardButton"), QStringLiteral("Forward"),
        QStringLiteral("arrowshape.turn.up.right"),
        QStringLiteral("Send this on to another screen"), [this, &store](const ScreenItem& shown) {
            Q_EMIT m_card.forwardRequested(ItemActions::forward(store, shown));
        });
    if (offered.location) {
        button(QStringLiteral("locationButton"), QStringLiteral("View location"),
            QStringLiteral("mappin.and.ellipse"), ItemActions::locationHelp(*item.lat, *item.lon),
            [](const ScreenItem& shown) {
                if (!shown.lat || !shown.lon)
                    return;
                if (const std::optional<QUrl> link
                    = ItemActions::locationLink(*shown.lat, *shown.lon))
                    QDesktopServices::openUrl(*link);
            });
    }
    const auto open = [&store](const ScreenItem& shown) { openFile(store.fileURL(shown)); };
    if (item.kind == ItemKind::pdf)
        button(QStringLiteral("openButton"), QStringLiteral("Open"), {}, {}, open);
    if (item.kind == ItemKind::photo) {
        button(QStringLiteral("rotateRightButton"), {}, QStringLiteral("rotate.right"),
            QStringLiteral("Rotate right (saves the photo)"),
            [this](const ScreenItem&) { m_card.rotate(true); });
        button(QStringLiteral("editButton"), QStringLiteral("Edit…"), {},
            QStringLiteral("Crop or rotate"), [this](const ScreenItem&) { m_card.openEditor(); });
        button(QStringLiteral("copyButton"), QStringLiteral("Copy"), {},
            QStringLiteral("Copy image to clipboard"), [this](const ScreenItem&) { copy(); });
        button(QStringLiteral("openButton"), QStringLiteral("Open"), {},
            QStringLiteral("Open in Viewer"), open);
    } else {
        button(QStringLiteral("copyButton"), QStringLiteral("Copy"), {}, {},
            [this](const ScreenItem&) { copy(); });
    }
    if (!path.isEmpty())
        button(QStringLiteral("showInFilesButton"), QStringLiteral("Show in Files"), {}, {},
            [&store](const ScreenItem& shown) { showInFiles(store.fileURL(shown)); });
}

void ActionBarView::fillCompact()
{
    ItemStore& store = m_services.store;
    const ScreenItem item = m_item;

    addGotIt(ItemActions::offered(item, true).gotIt);
    button(QStringLiteral("archiveButton"), QStringLiteral("Archive"), {},
        QStringLiteral("Move to Archive (%1)").arg(keyText(Qt::CTRL | Qt::Key_E)),
        [&store](const ScreenItem& shown) { ItemActions::archive(store, shown); });
    makeDestructive(*button(QStringLiteral("deleteButton"), QStringLiteral("Delete"), {},
        QStringLiteral("Delete (%1)").arg(keyText(Qt::CTRL | Qt::Key_Backspace)),
        [this](const ScreenItem&) { askDelete(ItemRow::DeleteScope::one); }));
    m_group = m_second;
    if (item.kind == ItemKind::pdf)
        button(QStringLiteral("openButton"), QStringLiteral("Open"), {}, {},
            [&store](const ScreenItem& shown) { openFile(store.fileURL(shown)); });
    else if (item.kind == ItemKind::photo)
        button(QStringLiteral("copyButton"), QStringLiteral("Copy"), {},
            QStringLiteral("Copy image to clipboard"), [this](const ScreenItem&) { copy(); });

    m_copied = new QLabel(QStringLiteral("Copied"), m_group);
    m_copied->setObjectName(QStringLiteral("copiedLabel"));
    setTextStyle(*m_copied, TextStyle::caption);
    QPalette green = m_copied->palette();
    green.setColor(QPalette::WindowText, successColor(green, QPalette::Window));
    m_copied->setPalette(green);
    m_copied->setVisible(m_card.copiedFlash());
    m_group->layout()->addWidget(m_copied);
}

void ActionBarView::askDelete(ItemRow::DeleteScope scope)
{
    ItemStore& store = m_services.store;
    // A copy: deleting rebuilds the card, and this bar with it.
    const ScreenItem item = m_item;
    if (ItemActions::asksBeforeDelete(store.defaults()))
        m_card.confirmDelete(scope);
    else if (scope == ItemRow::DeleteScope::set)
        ItemActions::deleteSet(store, item);
    else
        ItemActions::delete_(store, item);
}

void ActionBarView::copy()
{
    const QString path = m_services.store.fileURL(m_item);
    QClipboard* clipboard = QGuiApplication::clipboard();
    switch (m_item.kind) {
    case ItemKind::text:
        clipboard->setText(QString::fromUtf8(m_item.text));
        m_card.flashCopied();
        return;
    case ItemKind::pdf: {
        // The document itself, as a file manager or a mail program takes it, not a picture.
        QFile file(path);
        if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
            return;
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(path)});
        data->setData(QStringLiteral("application/pdf"), file.readAll());
        clipboard->setMimeData(data);
        m_card.flashCopied();
        return;
    }
    case ItemKind::photo: {
        if (path.isEmpty())
            return;
        // Decoded on the loader's pool: a large photo would hold the window for a moment.
        const QPointer<ItemRow> card(&m_card);
        m_services.thumbnails.load(
            path, kFullSize, &m_card, [card, id = m_item.id](const QImage& image) {
                if (image.isNull() || !card)
                    return;
                QGuiApplication::clipboard()->setImage(image);
                // "Copied" belongs to the photo copied, not to whatever the card shows now.
                if (card->item().id == id)
                    card->flashCopied();
            });
        return;
    }
    }
}

QMessageBox* askToDelete(QWidget* parent, ItemStore& store, const ScreenItem& item, bool wholeSet)
{
    auto* box = new QMessageBox(parent);
    box->setObjectName(QStringLiteral("deleteConfirmation"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Warning);
    box->setTextFormat(Qt::PlainText);
    box->setText(wholeSet ? QStringLiteral("Delete all %1 items in this set?").arg(item.groupCount)
                          : QStringLiteral("Delete this item?"));
    // Named under the question: the keys may act on a card scrolled out of sight. The name
    // is the sender's, shown as text, never as markup.
    box->setInformativeText(Qt::convertFromPlainText(itemSummary(item, store)
            + QStringLiteral("\n\nThe file is removed from disk. Archive keeps it "
                             "instead. Turn this warning off in Settings ▸ General."),
        Qt::WhiteSpaceNormal));
    QPushButton* remove
        = box->addButton(wholeSet ? QStringLiteral("Delete set") : QStringLiteral("Delete"),
            QMessageBox::DestructiveRole);
    remove->setAutoDefault(false);
    QPushButton* cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    shapeAlert(*box);
    // The store is asked again on "Delete": a set may have lost members meanwhile.
    const QPointer<ItemStore> guarded(&store);
    QObject::connect(box, &QMessageBox::buttonClicked, box,
        [remove, guarded, item, wholeSet](QAbstractButton* pressed) {
            if (pressed != remove || !guarded)
                return;
            if (wholeSet)
                ItemActions::deleteSet(*guarded, item);
            else
                ItemActions::delete_(*guarded, item);
        });
    box->open();
    return box;
}

} // namespace vesker
