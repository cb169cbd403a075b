#include "access/approval_banner.h"

#include "ui/text_style.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace vesker {

namespace {

constexpr int kMargin = 12;
constexpr int kSpacing = 8;
constexpr int kCardRadius = 10;
// A card's height until one is measured: the 56-point preview within its margins.
constexpr int kRowEstimate = 56 + 2 * kMargin;
// Cards made beyond each edge of the view, so that Tab has the next device's buttons to go to.
constexpr qsizetype kOverscan = 1;

class ApprovalCard : public QFrame {
public:
    ApprovalCard(const ApprovalCardContent& content, QWidget* parent)
        : QFrame(parent)
    {
        setObjectName(QStringLiteral("approvalCard"));
        m_row = new QHBoxLayout(this);
        m_row->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
        m_row->setSpacing(12);

        auto* texts = new QVBoxLayout;
        texts->setSpacing(2);
        m_headline = new QLabel(this);
        m_headline->setObjectName(QStringLiteral("approvalTitle"));
        m_headline->setTextFormat(Qt::PlainText);
        m_headline->setWordWrap(true);
        setTextStyle(*m_headline, TextStyle::headline);
        m_detail = new QLabel(this);
        m_detail->setObjectName(QStringLiteral("approvalDetail"));
        m_detail->setTextFormat(Qt::PlainText);
        m_detail->setWordWrap(true);
        setTextStyle(*m_detail, TextStyle::callout);
        setSecondary(*m_detail);
        texts->addWidget(m_headline);
        texts->addWidget(m_detail);
        m_row->addLayout(texts, 1);

        // Each calls what the card shows now: a card is filled anew while its device waits.
        for (const GrantDuration duration : allGrantDurations()) {
            addButton(toString(duration), false, [this, duration] {
                const auto allow = m_allow;
                allow(duration);
            });
        }
        addButton(QStringLiteral("Deny"), true, [this] {
            const auto deny = m_deny;
            deny();
        });
        addButton(QStringLiteral("Block"), true, [this] {
            const auto block = m_block;
            block();
        })->setToolTip(QStringLiteral("Refuse this device from now on"));
        fill(content);
    }

    // Shows `content`, of the same device when the card shows one already.
    void fill(const ApprovalCardContent& content)
    {
        m_key = content.key;
        m_allow = content.allow;
        m_deny = content.deny;
        m_block = content.block;
        delete m_leading; // a preview, nothing that is answering an event now
        m_leading = content.leading;
        m_leading->setParent(this);
        m_row->insertWidget(0, m_leading, 0, Qt::AlignVCenter);
        m_headline->setText(content.headline);
        m_detail->setText(content.detail);
        if (content.tint != m_tint || !m_tint.isValid()) {
            m_tint = content.tint;
            // Drawn on the card's tint, not on the window the secondary colour was made for.
            QPalette onTint = m_detail->palette();
            onTint.setColor(QPalette::WindowText,
                readableOn(
                    secondaryColor(onTint), blended(m_tint, onTint.color(QPalette::Window))));
            m_detail->setPalette(onTint);
            update();
        }
    }

    const QString& key() const { return m_key; }

    // The height the card needs at `width`, never less than its smallest.
    int heightAt(int width) const
    {
        const QSize smallest = minimumSizeHint();
        const int wide = std::max(width, smallest.width());
        const int height = hasHeightForWidth() ? heightForWidth(wide) : sizeHint().height();
        return std::max(height, smallest.height());
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_tint);
        painter.drawRoundedRect(rect(), kCardRadius, kCardRadius);
    }

private:
    QPushButton* addButton(const QString& label, bool destructive, std::function<void()> action)
    {
        auto* button = new QPushButton(label, this);
        button->setAccessibleName(label);
        if (destructive)
            markDestructive(*button);
        connect(button, &QPushButton::clicked, this, std::move(action));
        m_row->addWidget(button, 0, Qt::AlignVCenter);
        return button;
    }

    QHBoxLayout* m_row = nullptr;
    QWidget* m_leading = nullptr;
    QLabel* m_headline = nullptr;
    QLabel* m_detail = nullptr;
    QColor m_tint;
    QString m_key;
    std::function<void(GrantDuration)> m_allow;
    std::function<void()> m_deny;
    std::function<void()> m_block;
};

// The scrolling part of the banner. Its height follows its width, as wrapped headlines make a
// narrow card taller, so the window lays it out in one pass like any wrapped label.
class CardStack : public QAbstractScrollArea {
public:
    CardStack(std::function<int(int)> heightFor, QWidget* parent)
        : QAbstractScrollArea(parent)
        , m_heightFor(std::move(heightFor))
    {
        QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return m_heightFor(width); }
    QSize sizeHint() const override { return {minimumWidth(), m_heightFor(width())}; }
    QSize minimumSizeHint() const override { return {minimumWidth(), 0}; }

private:
    std::function<int(int)> m_heightFor;
};

} // namespace

ApprovalBanner::ApprovalBanner(QWidget* parent)
    : QFrame(parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_stack = new CardStack([this](int width) { return stackHeight(width); }, this);
    m_stack->setObjectName(QStringLiteral("approvalStack"));
    m_stack->setFrameShape(QFrame::NoFrame);
    // Tab goes straight to the cards' buttons; the stack follows the focus instead.
    m_stack->setFocusPolicy(Qt::NoFocus);
    m_stack->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The cards' texts are made readable on the window's colour, which shows through here.
    m_stack->viewport()->setBackgroundRole(QPalette::Window);
    m_stack->viewport()->setAutoFillBackground(false);
    m_stack->viewport()->installEventFilter(this);
    column->addWidget(m_stack);
    connect(m_stack->verticalScrollBar(), &QScrollBar::valueChanged, this,
        &ApprovalBanner::layoutCards);
    connect(qApp, &QApplication::focusChanged, this,
        [this](QWidget*, QWidget* now) { focusChanged(now); });
    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setForegroundRole(QPalette::Mid);
    column->addWidget(divider);
    // Qt puts a widget made later last in the window's Tab order, so cards made long after the
    // controls below them would be reached only after all of those. This hidden stand-in, made
    // with the banner, keeps its place in that order for the cards.
    m_tabPlace = new QWidget(this);
    m_tabPlace->setFocusPolicy(Qt::TabFocus);
    m_tabPlace->hide();
    hide();
}

void ApprovalBanner::scheduleRebuild()
{
    if (m_scheduled)
        return;
    m_scheduled = true;
    QTimer::singleShot(0, this, &ApprovalBanner::rebuild);
}

bool ApprovalBanner::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_stack->viewport() && event->type() == QEvent::Resize)
        layoutCards();
    return QFrame::eventFilter(watched, event);
}

void ApprovalBanner::rebuild()
{
    m_scheduled = false;
    // A focused button keeps the focus while its device waits. Once the device is answered the
    // focus goes above the cards, never on to another device's card: a second key press there
    // would answer for a device not looked at yet.
    QWidget* focused = QApplication::focusWidget();
    const bool hadFocus = focused && m_stack->viewport()->isAncestorOf(focused);
    const QString focusedKey = m_keys.value(focusedRow());
    QString focusedLabel;
    if (hadFocus) {
        focusedLabel = focused->accessibleName();
        focused->clearFocus();
    }
    // The cards of devices that still wait are filled anew rather than made anew: the style keeps
    // what it drew for every palette it met, and a destructive button has a palette of its own,
    // so new buttons for every change in the list would grow the program without end.
    for (QWidget* card : std::as_const(m_cards)) {
        card->hide();
        m_spareCards.insert(static_cast<ApprovalCard*>(card)->key(), card);
    }
    m_cards.clear();
    const auto dropSpares = qScopeGuard([this] {
        for (QWidget* card : std::as_const(m_spareCards))
            card->deleteLater();
        m_spareCards.clear();
    });
    m_keys = waitingKeys();
    m_stack->updateGeometry();
    setVisible(!m_keys.isEmpty());
    if (m_keys.isEmpty()) {
        m_rowHeight = 0;
        sizeStack();
        if (hadFocus)
            focusAbove();
        return;
    }
    const qsizetype refocusRow = focusedKey.isEmpty() ? -1 : m_keys.indexOf(focusedKey);
    sizeStack();
    if (refocusRow >= 0)
        showRow(refocusRow);
    layoutCards();
    QWidget* refocus = nullptr;
    if (QWidget* card = m_cards.value(refocusRow)) {
        for (QWidget* button : card->findChildren<QPushButton*>()) {
            if (button->accessibleName() == focusedLabel)
                refocus = button;
        }
    }
    if (refocus)
        refocus->setFocus(Qt::OtherFocusReason);
    else if (hadFocus)
        focusAbove();
}

int ApprovalBanner::rowPitch() const
{
    return (m_rowHeight > 0 ? m_rowHeight : kRowEstimate) + kSpacing;
}

int ApprovalBanner::rowHeightAt(int viewportWidth) const
{
    if (viewportWidth == m_measuredWidth && m_rowHeight > 0)
        return m_rowHeight;
    int tallest = 0;
    for (QWidget* card : std::as_const(m_cards))
        tallest = std::max(
            tallest, static_cast<ApprovalCard*>(card)->heightAt(viewportWidth - 2 * kMargin));
    return tallest > 0 ? tallest : kRowEstimate;
}

int ApprovalBanner::stackHeight(int width) const
{
    const qsizetype shown = std::min<qsizetype>(m_keys.size(), kShownCards);
    if (shown == 0)
        return 0;
    const int scrollBar = m_keys.size() > kShownCards
        ? m_stack->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_stack)
        : 0;
    return 2 * kMargin + int(shown) * rowHeightAt(width - scrollBar) + int(shown - 1) * kSpacing;
}

void ApprovalBanner::sizeStack()
{
    const int row = rowPitch() - kSpacing;
    const qsizetype count = m_keys.size();
    const int all = count == 0 ? 0 : 2 * kMargin + int(count) * row + int(count - 1) * kSpacing;
    const int shown = m_stack->viewport()->height();
    QScrollBar* bar = m_stack->verticalScrollBar();
    bar->setRange(0, std::max(0, all - shown));
    bar->setPageStep(shown);
    bar->setSingleStep(std::max(1, rowPitch() / 3));
}

void ApprovalBanner::layoutCards()
{
    // Sizing the stack may show its scroll bar, which narrows the cards' room: that resize
    // comes back here while the cards are being laid out, and is answered once they are.
    if (m_laying) {
        m_layOutAgain = true;
        return;
    }
    for (int turn = 0; turn < 3 && !m_keys.isEmpty(); ++turn) {
        m_layOutAgain = false;
        {
            const QScopedValueRollback laying(m_laying, true);
            layoutCardsOnce();
        }
        if (!m_layOutAgain)
            return;
    }
}

void ApprovalBanner::layoutCardsOnce()
{
    const int width = m_stack->viewport()->width();
    if (width != m_measuredWidth) {
        m_measuredWidth = width;
        m_rowHeight = 0;
    }
    const qsizetype count = m_keys.size();
    // The focused card stays, with its neighbours for Tab and Shift+Tab, wherever the view is.
    const qsizetype focused = focusedRow();
    bool made = false;
    // The rows in view depend on the height measured, which depends on the cards made: a second
    // pass settles it, as the height only grows.
    for (int pass = 0; pass < 3; ++pass) {
        sizeStack();
        const int pitch = rowPitch();
        const int top = m_stack->verticalScrollBar()->value();
        // Rows that show a pixel: from the first whose bottom is below the top edge to the last
        // whose top is above the bottom edge.
        const qsizetype first
            = std::max<qsizetype>(0, (top - kMargin + kSpacing) / pitch - kOverscan);
        const qsizetype end = std::min<qsizetype>(
            count, (top + m_stack->viewport()->height() - kMargin + pitch - 1) / pitch + kOverscan);
        const auto wanted = [&](qsizetype row) {
            return (row >= first && row < end)
                || (focused >= 0 && row >= std::max<qsizetype>(0, focused - 1) && row <= focused + 1
                    && row < count);
        };
        for (auto it = m_cards.begin(); it != m_cards.end();) {
            if (wanted(it.key())) {
                ++it;
                continue;
            }
            it.value()->hide();
            it.value()->deleteLater();
            it = m_cards.erase(it);
        }
        QList<qsizetype> rows;
        for (qsizetype row = first; row < end; ++row)
            rows.append(row);
        for (qsizetype row = focused - 1; focused >= 0 && row <= focused + 1; ++row)
            rows.append(row);
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        rows.removeIf([&](qsizetype row) { return !wanted(row) || m_cards.contains(row); });
        // Asked for in runs of neighbours, so a subclass looks its list up once a run.
        for (qsizetype at = 0; at < rows.size();) {
            qsizetype run = 1;
            while (at + run < rows.size() && rows[at + run] == rows[at] + run)
                ++run;
            qsizetype row = rows[at];
            for (const ApprovalCardContent& content : cards(row, run)) {
                auto* card = static_cast<ApprovalCard*>(m_spareCards.take(content.key));
                if (card)
                    card->fill(content);
                else
                    card = new ApprovalCard(content, m_stack->viewport());
                m_cards.insert(row++, card);
            }
            at += run;
            made = true;
        }
        int tallest = m_rowHeight;
        int widest = 0;
        for (QWidget* card : std::as_const(m_cards)) {
            tallest = std::max(
                tallest, static_cast<ApprovalCard*>(card)->heightAt(width - 2 * kMargin));
            widest = std::max(widest, card->minimumSizeHint().width());
        }
        // The window keeps room for a card's buttons, as it did before the stack scrolled.
        const int scrollBar = count > kShownCards
            ? m_stack->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_stack)
            : 0;
        m_stack->setMinimumWidth(widest + 2 * kMargin + scrollBar);
        if (tallest == m_rowHeight)
            break;
        m_rowHeight = tallest;
        m_stack->updateGeometry();
    }

    const int pitch = rowPitch();
    const int top = m_stack->verticalScrollBar()->value();
    for (auto it = m_cards.cbegin(); it != m_cards.cend(); ++it) {
        it.value()->setGeometry(
            kMargin, kMargin + int(it.key()) * pitch - top, width - 2 * kMargin, m_rowHeight);
        it.value()->show();
    }
    if (!made)
        return;
    QWidget* previous = m_tabPlace;
    for (QWidget* card : std::as_const(m_cards)) {
        for (QWidget* widget : card->findChildren<QWidget*>()) {
            if (widget->focusPolicy() & Qt::TabFocus) {
                setTabOrder(previous, widget);
                previous = widget;
            }
        }
    }
}

void ApprovalBanner::showRow(qsizetype row)
{
    const int height = rowPitch() - kSpacing;
    const int y = kMargin + int(row) * rowPitch();
    QScrollBar* bar = m_stack->verticalScrollBar();
    if (y - kMargin < bar->value())
        bar->setValue(y - kMargin);
    else if (y + height + kMargin > bar->value() + m_stack->viewport()->height())
        // A view shorter than the card (not laid out yet) shows at least its top.
        bar->setValue(std::min(y - kMargin, y + height + kMargin - m_stack->viewport()->height()));
}

qsizetype ApprovalBanner::focusedRow() const
{
    QWidget* focused = QApplication::focusWidget();
    if (!focused || !m_stack->viewport()->isAncestorOf(focused))
        return -1;
    for (auto it = m_cards.cbegin(); it != m_cards.cend(); ++it) {
        if (it.value()->isAncestorOf(focused))
            return it.key();
    }
    return -1;
}

ApprovalBanner::~ApprovalBanner()
{
    // ~QWidget still announces the focus leaving (a window closing, a focused card going), when
    // this banner and its subclass are already gone.
    disconnect(qApp, nullptr, this, nullptr);
}

void ApprovalBanner::focusChanged(QWidget* now)
{
    // Tab, Shift+Tab or a click: the card being answered comes into view whole.
    if (now && !m_laying && m_stack->viewport()->isAncestorOf(now)) {
        if (const qsizetype row = focusedRow(); row >= 0)
            showRow(row);
    }
}

void ApprovalBanner::focusAbove()
{
    for (QWidget* widget = m_tabPlace->previousInFocusChain(); widget != m_tabPlace;
         widget = widget->previousInFocusChain()) {
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisible() && widget->isEnabled()
            && !isAncestorOf(widget)) {
            widget->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

} // namespace vesker
