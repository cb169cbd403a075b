#include "inbox/sidebar_view.h"

#include "inbox/inbox_state.h"
#include "store/item_queries.h"
#include "store/item_store.h"
#include "store/senders.h"
#include "ui/symbol_icon.h"
#include "ui/text_style.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace vesker {

namespace {

constexpr auto kSenderMime = "application/x-vesker-sender";
constexpr int kIconSize = 16;

// Outside text in a menu title: a single "&" would otherwise become a mnemonic.
QString menuTitle(const QString& text)
{
    return QString(text).replace(u'&', QStringLiteral("&&"));
}

QLabel* sectionHeader(const QString& text, QWidget* parent)
{
    auto* label = plainLabel(text, parent);
    QFont bold = vesker::font(TextStyle::caption, label->font());
    bold.setWeight(QFont::DemiBold);
    label->setFont(bold);
    setSecondary(*label);
    label->setContentsMargins(8, 12, 8, 2);
    return label;
}

QLabel* caption(const QString& text, QWidget* parent)
{
    auto* label = plainLabel(text, parent);
    setTextStyle(*label, TextStyle::caption);
    setSecondary(*label);
    label->setWordWrap(true);
    label->setContentsMargins(8, 2, 8, 2);
    return label;
}

// A row's title: a name too long for the column ends in "…" and shows whole in its tooltip,
// rather than being cut through a letter.
class RowTitle : public QLabel {
public:
    RowTitle(const QString& text, QWidget* parent)
        : QLabel(parent)
        , m_full(text)
    {
        setTextFormat(Qt::PlainText);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        setText(m_full);
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QLabel::resizeEvent(event);
        const QString shown = fontMetrics().elidedText(m_full, Qt::ElideRight, width());
        setText(shown);
        setToolTip(shown == m_full ? QString() : m_full.toHtmlEscaped());
    }

private:
    QString m_full;
};

} // namespace

// One line of the list: what it selects, a symbol, a title and a count. Sender rows also carry
// their menu and take part in dragging one sender onto another.
class SidebarView::Row : public QFrame {
public:
    Row(SidebarView& view, ItemFilter filter, QWidget* parent)
        : QFrame(parent)
        , m_view(view)
        , m_filter(std::move(filter))
    {
        setAutoFillBackground(true);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);
        if (const auto* sender = std::get_if<ItemFilter::Sender>(&m_filter.value)) {
            m_sender = sender->name;
            setAcceptDrops(true);
        }
    }

    const ItemFilter& filter() const { return m_filter; }
    QLabel* count = nullptr;

    void setSelected(bool selected)
    {
        QPalette look = palette();
        QColor fill = look.color(QPalette::Highlight);
        fill.setAlphaF(selected ? 0.22 : 0.0);
        look.setColor(QPalette::Window, fill);
        setPalette(look);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton)
            m_pressedAt = event->position().toPoint();
        QFrame::mousePressEvent(event);
    }

    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (m_sender.isEmpty() || !(event->buttons() & Qt::LeftButton) || !m_pressedAt
            || (event->position().toPoint() - *m_pressedAt).manhattanLength()
                < QApplication::startDragDistance())
            return;
        m_pressedAt.reset();
        auto* data = new QMimeData;
        data->setData(QString::fromLatin1(kSenderMime), m_sender.toUtf8());
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        drag->setPixmap(grab());
        drag->exec(Qt::CopyAction);
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && std::exchange(m_pressedAt, std::nullopt)
            && rect().contains(event->position().toPoint()))
            m_view.m_state.setFilter(m_filter);
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return)
            m_view.m_state.setFilter(m_filter);
        else if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)
            step(event->key() == Qt::Key_Down);
        else
            QFrame::keyPressEvent(event);
    }

    void paintEvent(QPaintEvent* event) override
    {
        QFrame::paintEvent(event);
        if (!hasFocus())
            return;
        // A row has no frame of its own to show the keyboard's place.
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 4, 4);
    }

    // The arrow keys go from row to row, as in any list.
    void step(bool down)
    {
        std::vector<Row*> rows;
        for (QWidget* widget : m_view.findChildren<QWidget*>()) {
            if (auto* row = dynamic_cast<Row*>(widget); row && row->isVisible())
                rows.push_back(row);
        }
        std::sort(rows.begin(), rows.end(), [this](const Row* a, const Row* b) {
            return a->mapTo(&m_view, QPoint()).y() < b->mapTo(&m_view, QPoint()).y();
        });
        const auto at = std::find(rows.begin(), rows.end(), this);
        if (at == rows.end())
            return;
        if (down && at + 1 != rows.end())
            (*(at + 1))->setFocus(Qt::OtherFocusReason);
        else if (!down && at != rows.begin())
            (*(at - 1))->setFocus(Qt::OtherFocusReason);
    }

    void contextMenuEvent(QContextMenuEvent* event) override
    {
        if (m_sender.isEmpty())
            return;
        QMenu* menu = m_view.senderMenu(m_sender, this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(event->globalPos());
    }

    void dragEnterEvent(QDragEnterEvent* event) override
    {
        const QByteArray from = event->mimeData()->data(QString::fromLatin1(kSenderMime));
        if (!from.isEmpty() && QString::fromUtf8(from) != m_sender) {
            event->setDropAction(Qt::CopyAction);
            event->accept();
        }
    }

    void dropEvent(QDropEvent* event) override
    {
        const QString from
            = QString::fromUtf8(event->mimeData()->data(QString::fromLatin1(kSenderMime)));
        event->setDropAction(Qt::CopyAction);
        event->accept();
        // The rows are rebuilt by the change; this one must outlive its own drop.
        QTimer::singleShot(
            0, &m_view, [view = &m_view, from, into = m_sender] { view->combine(from, into); });
    }

private:
    SidebarView& m_view;
    ItemFilter m_filter;
    QString m_sender;
    std::optional<QPoint> m_pressedAt;
};

// "Rename sender": a nickname for every raw name of one sender, saved with Return or "Save".
class SidebarView::RenamePopover : public QFrame {
public:
    RenamePopover(SidebarView& view, const SenderRow& row)
        : QFrame(&view, Qt::Popup)
    {
        setObjectName(QStringLiteral("renamePopover"));
        setAttribute(Qt::WA_DeleteOnClose);
        setFrameShape(QFrame::StyledPanel);
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(14, 14, 14, 14);
        column->setSpacing(10);
        auto* title = plainLabel(QStringLiteral("Rename sender"), this);
        setTextStyle(*title, TextStyle::headline);
        column->addWidget(title);
        const QString names = row.rawNames.size() > 1
            ? QStringLiteral("Devices: ") + row.rawNames.join(QStringLiteral(", "))
            : QStringLiteral("Broadcast name: ") + row.rawNames.value(0, row.name);
        column->addWidget(caption(names, this));
        m_field = new QLineEdit(Sidebar::renameStartText(row), this);
        m_field->setObjectName(QStringLiteral("nicknameField"));
        m_field->setPlaceholderText(QStringLiteral("Nickname"));
        m_field->setFixedWidth(220);
        column->addWidget(m_field);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch(1);
        auto* clear = new QPushButton(QStringLiteral("Clear"), this);
        auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
        auto* save = new QPushButton(QStringLiteral("Save"), this);
        clear->setObjectName(QStringLiteral("clearNicknameButton"));
        save->setObjectName(QStringLiteral("saveNicknameButton"));
        for (QPushButton* button : {clear, cancel, save}) {
            button->setAutoDefault(false);
            buttons->addWidget(button);
        }
        save->setDefault(true);
        column->addLayout(buttons);

        auto finish = [this, &view, name = row.name](const QString& nickname) {
            close();
            view.saveRename(name, nickname);
        };
        connect(save, &QPushButton::clicked, this, [this, finish] { finish(m_field->text()); });
        connect(
            m_field, &QLineEdit::returnPressed, this, [this, finish] { finish(m_field->text()); });
        connect(clear, &QPushButton::clicked, this, [finish] { finish(QString()); });
        connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    }

private:
    QLineEdit* m_field = nullptr;
};

SidebarView::SidebarView(InboxState& state, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
{
    setObjectName(QStringLiteral("sidebar"));
    setMinimumWidth(kMinWidth);
    setMaximumWidth(kMaxWidth);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The rows take the focus, each with its frame; the area around them shows none.
    scroll->setFocusPolicy(Qt::NoFocus);
    m_content = new QWidget(scroll);
    m_rows = new QVBoxLayout(m_content);
    m_rows->setContentsMargins(6, 6, 6, 6);
    m_rows->setSpacing(1);
    scroll->setWidget(m_content);
    outer->addWidget(scroll);

    connect(&m_state.store(), &ItemStore::changed, this, &SidebarView::storeChanged);
    connect(&m_state, &InboxState::changed, this, &SidebarView::showSelection);
    rebuild();
}

QWidget* SidebarView::senderRow(const QString& displayName) const
{
    return m_senderRows.value(displayName);
}

QWidget* SidebarView::tagRow(const QString& tag) const
{
    return m_tagRows.value(tag);
}

void SidebarView::storeChanged(const StoreChange& change)
{
    if (!m_rebuildQueued && !followChange(change))
        scheduleRebuild();
}

bool SidebarView::followChange(const StoreChange& change)
{
    if (change.whole)
        return false;
    const ItemStore& store = m_state.store();
    QHash<QUuid, Counted> counted;
    for (const QUuid& id : change.ids) {
        const std::optional<ScreenItem> item = store.item(id);
        // A removal may empty a row, which then goes.
        if (!item)
            return false;
        Counted now {Senders::displayName(item->sender, store.defaults()), item->sender, item->tags,
            item->receivedAt};
        const auto known = m_counted.constFind(id);
        if (known != m_counted.cend()) {
            // An edit of what the rows count by is rare enough to count again.
            if (known->shownName != now.shownName || known->rawName != now.rawName
                || known->tags != now.tags || known->receivedAt != now.receivedAt)
                return false;
            continue;
        }
        // A new sender, a new device of one or a new tag is a new row or a new tooltip.
        Row* row = m_senderRows.value(now.shownName);
        const auto shown = std::find_if(m_senders.cbegin(), m_senders.cend(),
            [&now](const SenderRow& sender) { return sender.name == now.shownName; });
        if (!row || !row->count || shown == m_senders.cend()
            || !shown->rawNames.contains(now.rawName))
            return false;
        for (const QString& tag : now.tags) {
            if (!m_tagRows.value(tag))
                return false;
        }
        counted.insert(id, now);
    }

    for (auto it = counted.cbegin(); it != counted.cend(); ++it) {
        m_counted.insert(it.key(), *it);
        const auto shown = std::find_if(m_senders.begin(), m_senders.end(),
            [&it](const SenderRow& sender) { return sender.name == it->shownName; });
        ++shown->count;
        m_senderRows.value(it->shownName)->count->setText(QString::number(shown->count));
        QDateTime& latest = m_latest[it->shownName];
        latest = std::max(latest, it->receivedAt);
        for (const QString& tag : it->tags) {
            QLabel* label = m_tagRows.value(tag)->count;
            label->setText(QString::number(label->text().toInt() + 1));
        }
    }
    m_allRow->count->setText(QString::number(store.items().size()));

    // The sender of the newest item first, as a rebuild would order them.
    QList<SenderRow> ordered = m_senders;
    std::stable_sort(
        ordered.begin(), ordered.end(), [this](const SenderRow& a, const SenderRow& b) {
            return m_latest.value(a.name) > m_latest.value(b.name);
        });
    if (ordered != m_senders) {
        int at = m_rows->indexOf(m_senderRows.value(m_senders.first().name));
        for (const SenderRow& sender : std::as_const(ordered)) {
            Row* row = m_senderRows.value(sender.name);
            m_rows->removeWidget(row);
            m_rows->insertWidget(at++, row);
        }
        m_senders = ordered;
    }
    // What the rows show no longer matches what they were built from.
    m_builtKey.clear();
    return true;
}

void SidebarView::scheduleRebuild()
{
    if (std::exchange(m_rebuildQueued, true))
        return;
    QTimer::singleShot(0, this, [this] {
        m_rebuildQueued = false;
        rebuild();
    });
}

void SidebarView::rebuild()
{
    ItemStore& store = m_state.store();
    // What each item adds, for the arrivals that follow to be counted one by one.
    const SenderAliases aliases(store.defaults());
    m_counted.clear();
    m_counted.reserve(store.items().size());
    m_latest.clear();
    for (const ScreenItem& item : store.items()) {
        const QString shown = aliases.displayName(item.sender);
        QDateTime& latest = m_latest[shown];
        latest = std::max(latest, item.receivedAt);
        m_counted.insert(item.id, {shown, item.sender, item.tags, item.receivedAt});
    }
    const QList<SenderRow> senders = Sidebar::senderRows(store);
    const QList<TagEntry> tags = tagsOf(store.items());
    // "All" counts every item kept, whatever the tab, as the sender rows beneath it do.
    const int all = int(store.items().size());
    QStringList keyParts {QString::number(all)};
    for (const SenderRow& row : senders) {
        keyParts << row.name << row.rawNames << QString::number(row.count) << row.symbol
                 << row.tooltip;
    }
    for (const TagEntry& tag : tags)
        keyParts << tag.tag << QString::number(tag.count);
    const QString key = keyParts.join(QChar(0));
    if (key == m_builtKey)
        return;
    m_builtKey = key;
    m_senders = senders;

    // A row may be the one whose menu or drop started this change: it goes once that is over.
    while (QLayoutItem* item = m_rows->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    m_shown.clear();
    m_senderRows.clear();
    m_tagRows.clear();

    m_allRow = addRow(ItemFilter::all(), QStringLiteral("tray.full"), QStringLiteral("All"), all);

    m_rows->addWidget(sectionHeader(QStringLiteral("Senders"), m_content));
    if (senders.isEmpty())
        m_rows->addWidget(caption(QStringLiteral("No one yet"), m_content));
    for (const SenderRow& sender : senders) {
        Row* row
            = addRow(ItemFilter::sender(sender.name), sender.symbol, sender.name, sender.count);
        row->setToolTip(sender.tooltip.toHtmlEscaped());
        auto* more = new QToolButton(row);
        more->setObjectName(QStringLiteral("senderMenuButton"));
        more->setAutoRaise(true);
        more->setIcon(symbolIcon(QStringLiteral("ellipsis.circle"), palette()));
        more->setToolTip(QStringLiteral("Rename, or choose what happens when they send"));
        more->setAccessibleName(QStringLiteral("Sender menu"));
        more->setPopupMode(QToolButton::InstantPopup);
        more->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
        more->setMenu(senderMenu(sender.name, more));
        row->layout()->addWidget(more);
        m_senderRows.insert(sender.name, row);
    }
    m_rows->addWidget(
        caption(QStringLiteral("\u22ef or right-click a sender to rename, combine or quiet them"),
            m_content));

    m_rows->addWidget(sectionHeader(QStringLiteral("Tags"), m_content));
    if (tags.isEmpty())
        m_rows->addWidget(caption(QStringLiteral("Add tags to items to see them here"), m_content));
    for (const TagEntry& tag : tags)
        m_tagRows.insert(
            tag.tag, addRow(ItemFilter::tag(tag.tag), QStringLiteral("tag"), tag.tag, tag.count));
    m_rows->addStretch(1);
    showSelection();
}

SidebarView::Row* SidebarView::addRow(
    const ItemFilter& filter, const QString& symbol, const QString& title, int count)
{
    auto* row = new Row(*this, filter, m_content);
    row->setAccessibleName(title);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(8, 4, 4, 4);
    line->setSpacing(6);
    auto* icon = new QLabel(row);
    icon->setPixmap(symbolIcon(symbol, palette()).pixmap(kIconSize, kIconSize));
    line->addWidget(icon);
    auto* name = new RowTitle(title, row);
    name->setObjectName(QStringLiteral("rowTitle"));
    line->addWidget(name, 1);
    auto* number = plainLabel(QString::number(count), row);
    number->setObjectName(QStringLiteral("rowCount"));
    setTextStyle(*number, TextStyle::caption);
    setSecondary(*number);
    line->addWidget(number);
    row->count = number;
    m_rows->addWidget(row);
    m_shown.append(row);
    return row;
}

void SidebarView::showSelection()
{
    for (Row* row : std::as_const(m_shown))
        row->setSelected(row->filter() == m_state.filter());
}

QMenu* SidebarView::senderMenu(const QString& displayName, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    const auto found = std::find_if(m_senders.cbegin(), m_senders.cend(),
        [&displayName](const SenderRow& row) { return row.name == displayName; });
    const SenderRow sender = found != m_senders.cend()
        ? *found
        : SenderRow {.name = displayName, .rawNames = {displayName}};
    // Every action looks the sender up again: the menu may outlive a change of the store.
    menu->addAction(
        QStringLiteral("Rename\u2026"), this, [this, displayName] { startRename(displayName); });
    if (m_senders.size() > 1) {
        QMenu* others = menu->addMenu(QStringLiteral("Combine with\u2026"));
        for (const SenderRow& other : std::as_const(m_senders)) {
            if (other.name == displayName)
                continue;
            others->addAction(menuTitle(other.name), this,
                [this, displayName, into = other.name] { combine(displayName, into); });
        }
    }
    if (sender.rawNames.size() > 1) {
        menu->addAction(QStringLiteral("Separate into %1 senders").arg(sender.rawNames.size()),
            this, [this, displayName] {
                m_state.setFilter(
                    Sidebar::separate(displayName, m_state.store(), m_state.filter()));
            });
    }
    menu->addSeparator();
    const std::pair<SenderArrival, QString> modes[] = {
        {SenderArrival::normal, QStringLiteral("Bring the window forward")},
        {SenderArrival::quiet, QStringLiteral("Quiet \u2014 just add it")},
    };
    for (const auto& [mode, title] : modes) {
        QAction* action = menu->addAction(title, this, [this, mode, displayName] {
            Sidebar::setArrivalMode(mode,
                Senders(m_state.store(), m_state.store().defaults()).rawNames(displayName),
                m_state.store());
        });
        if (sender.arrival == mode)
            action->setIcon(symbolIcon(QStringLiteral("checkmark"), palette()));
    }
    menu->addSeparator();
    QAction* known
        = menu->addAction(sender.known ? QStringLiteral("Known sender \u2014 never blurred")
                                       : QStringLiteral("Known sender \u2014 never blur"),
            this, [this, displayName, flip = !sender.known] {
                Sidebar::setKnown(flip,
                    Senders(m_state.store(), m_state.store().defaults()).rawNames(displayName),
                    m_state.store());
            });
    if (sender.known)
        known->setIcon(symbolIcon(QStringLiteral("checkmark"), palette()));
    return menu;
}

void SidebarView::startRename(const QString& displayName)
{
    const auto found = std::find_if(m_senders.cbegin(), m_senders.cend(),
        [&displayName](const SenderRow& row) { return row.name == displayName; });
    if (found == m_senders.cend())
        return;
    if (m_popover)
        m_popover->close();
    m_popover = new RenamePopover(*this, *found);
    QWidget* anchor = senderRow(displayName);
    m_popover->move(
        anchor ? anchor->mapToGlobal(QPoint(0, anchor->height())) : mapToGlobal(QPoint()));
    m_popover->show();
    m_popover->findChild<QLineEdit*>()->setFocus();
}

QWidget* SidebarView::renamePopover() const
{
    return m_popover.data();
}

void SidebarView::saveRename(const QString& displayName, const QString& nickname)
{
    m_state.setFilter(Sidebar::rename(displayName, nickname, m_state.store(), m_state.filter()));
}

void SidebarView::combine(const QString& from, const QString& into)
{
    m_state.setFilter(Sidebar::combine(from, into, m_state.store(), m_state.filter()));
}

} // namespace vesker
