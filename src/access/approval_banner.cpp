#include "access/approval_banner.h"

#include "ui/text_style.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
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
        , m_tint(content.tint)
        , m_key(content.key)
    {
        setObjectName(QStringLiteral("approvalCard"));
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
        row->setSpacing(12);
        content.leading->setParent(this);
        row->addWidget(content.leading, 0, Qt::AlignVCenter);

        auto* texts = new QVBoxLayout;
        texts->setSpacing(2);
        auto* headline = new QLabel(content.headline, this);
        headline->setObjectName(QStringLiteral("approvalTitle"));
        headline->setTextFormat(Qt::PlainText);
        headline->setWordWrap(true);
        setTextStyle(*headline, TextStyle::headline);
        auto* detail = new QLabel(content.detail, this);
        detail->setObjectName(QStringLiteral("approvalDetail"));
        detail->setTextFormat(Qt::PlainText);
        detail->setWordWrap(true);
        setTextStyle(*detail, TextStyle::callout);
        setSecondary(*detail);
        // Drawn on the card's tint, not on the window the secondary colour was made for.
        QPalette onTint = detail->palette();
        onTint.setColor(QPalette::WindowText,
            readableOn(secondaryColor(onTint), blended(m_tint, onTint.color(QPalette::Window))));
        detail->setPalette(onTint);
        texts->addWidget(headline);
        texts->addWidget(detail);
        row->addLayout(texts, 1);

        for (const GrantDuration duration : allGrantDurations()) {
            addButton(row, toString(duration), false,
                [allow = content.allow, duration] { allow(duration); });
        }
        addButton(row, QStringLiteral("Deny"), true, content.deny);
        addButton(row, QStringLiteral("Block"), true, content.block)
            ->setToolTip(QStringLiteral("Refuse this device from now on"));
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
    QPushButton* addButton(
        QHBoxLayout* row, const QString& label, bool destructive, std::function<void()> action)
    {
        auto* button = new QPushButton(label, this);
        button->setAccessibleName(label);
        if (destructive)
            markDestructive(*button);
        connect(button, &QPushButton::clicked, this, std::move(action));
        row->addWidget(button, 0, Qt::AlignVCenter);
        return button;
    }

    QColor m_tint;
    QString m_key;
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
    for (QWidget* card : std::as_const(m_cards)) {
        card->hide();
        card->deleteLater();
    }
    m_cards.clear();
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
            for (const ApprovalCardContent& content : cards(row, run))
                m_cards.insert(row++, new ApprovalCard(content, m_stack->viewport()));
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
