#include "inbox/card_list_view.h"

#include "inbox/card_list_model.h"
#include "ui/text_style.h"

#include <QApplication>
#include <QEasingCurve>
#include <QElapsedTimer>
#include <QEvent>
#include <QFocusEvent>
#include <QHash>
#include <QKeyEvent>
#include <QLayout>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QSet>
#include <QTimer>
#include <QVariantAnimation>

#include <algorithm>
#include <optional>
#include <vector>

namespace vesker {

namespace {

constexpr int kSingleStep = 40;
constexpr int kScrollMs = 250;
// Hidden cards kept for reuse; a quick scroll back finds them ready.
constexpr size_t kSpareCards = 4;
// Measuring cards that came into range can move the range again; a few rounds settle it.
constexpr int kLayoutRounds = 4;
// Room kept above and below a control that takes the focus, for its focus frame.
constexpr int kFocusMargin = 8;
// An edit shown less than this after the one before waits for the rest of it: a screen shows
// no more frames than that, and in a burst of arrivals every card would otherwise be made,
// measured and painted for the few milliseconds before the next one covers it.
constexpr int kFrameMs = 16;

bool takesTabFocus(const QWidget* widget)
{
    return (widget->focusPolicy() & Qt::TabFocus) && widget->isEnabled() && widget->isVisible()
        && !widget->focusProxy();
}

// A card made or refilled a moment ago has its layouts pending until the event loop runs them,
// and its controls still sit where the last item had them; the focus and the scroll need them
// where they are drawn.
void layOutNow(QWidget* card)
{
    if (card->layout())
        card->layout()->activate();
    // Parents come before their children, so each layout is given its final size.
    for (QWidget* child : card->findChildren<QWidget*>()) {
        if (child->layout() && child->isVisibleTo(card))
            child->layout()->activate();
    }
}

// A card's controls in reading order: by rows from the top, left to right within a row.
QList<QWidget*> controlsOf(QWidget* card)
{
    layOutNow(card);
    struct Placed {
        QWidget* widget;
        QRect rect;
    };
    std::vector<Placed> placed;
    for (QWidget* child : card->findChildren<QWidget*>()) {
        if ((child->focusPolicy() & Qt::TabFocus) && child->isEnabled() && child->isVisibleTo(card)
            && !child->focusProxy())
            placed.push_back({child, QRect(child->mapTo(card, QPoint()), child->size())});
    }
    std::stable_sort(placed.begin(), placed.end(),
        [](const Placed& a, const Placed& b) { return a.rect.center().y() < b.rect.center().y(); });
    // Those whose middles lie within the first one's height share its row.
    QList<QWidget*> ordered;
    for (size_t start = 0; start < placed.size();) {
        size_t end = start + 1;
        while (end < placed.size() && placed[end].rect.center().y() <= placed[start].rect.bottom())
            ++end;
        std::stable_sort(placed.begin() + qsizetype(start), placed.begin() + qsizetype(end),
            [](const Placed& a, const Placed& b) { return a.rect.x() < b.rect.x(); });
        for (size_t i = start; i < end; ++i)
            ordered.append(placed[i].widget);
        start = end;
    }
    return ordered;
}

struct Row {
    QUuid id;
    int height = 0;
    bool measured = false;
    QWidget* card = nullptr;
};

// Where the content sits under the top edge of the viewport, kept across height changes.
struct Anchor {
    QUuid id;
    qint64 offset = 0;
};

} // namespace

struct CardListView::Private {
    CardListView& q;
    CardFactory& factory;
    CardListModel model;
    std::vector<Row> rows;
    // tops[i]: where row i starts; tops[n]: past the last row and its spacing. Only the first
    // validTops entries are current; they are recomputed on demand from the first stale one.
    std::vector<qint64> tops;
    size_t validTops = 0;
    QHash<QWidget*, QUuid> live;
    std::vector<QWidget*> spare;
    // Rows removed by the edit being applied, until it is known whether they come back moved.
    QHash<QUuid, Row> leaving;
    // Cards that kept their look under the keyboard focus and take the new one once it leaves.
    QSet<QUuid> refillWhenLeft;
    QUuid firstId;
    int spacing = 16;
    int inset = 16;
    bool dividers = false;
    int cardWidth = 0;
    bool inLayout = false;
    // An edit is being applied: cards of rows already gone may still be live, and a layout
    // would place them by rows that are not theirs. A focus hand-over asked for meanwhile (a
    // focused card or control hidden as it goes) is made once the edit is over; forward or not.
    bool editing = false;
    std::optional<bool> handOverOwed;
    bool layoutQueued = false;
    // Edits applied to the rows whose cards are placed at the next frame.
    bool editPending = false;
    QElapsedTimer sinceEditShown;
    QTimer frame;
    QVariantAnimation animation;
    QUuid scrollTarget;
    int scrollStart = 0;
    std::function<void(bool)> leaveFocus;
    // The control the focus was brought to; kept on screen while the cards around it are
    // measured, until the person scrolls away from it.
    QPointer<QWidget> followed;

    Private(CardListView& view, CardFactory& cards)
        : q(view)
        , factory(cards)
    { }

    QScrollBar* bar() const { return q.verticalScrollBar(); }
    int count() const { return int(rows.size()); }
    int slot(int i) const { return rows[size_t(i)].height + (dividers ? 1 : 0); }
    const ScreenItem& item(int i) const { return model.items()[i]; }

    void invalidateFrom(int row) { validTops = std::min(validTops, size_t(std::max(row, 0)) + 1); }

    void ensureTops()
    {
        const size_t n = rows.size();
        tops.resize(n + 1);
        tops[0] = inset;
        for (size_t i = std::max<size_t>(validTops, 1); i <= n; ++i)
            tops[i] = tops[i - 1] + slot(int(i - 1)) + spacing;
        validTops = n + 1;
    }

    qint64 contentHeight() const { return rows.empty() ? 0 : tops.back() - spacing + inset; }

    // The first row whose slot reaches below y.
    int rowAt(qint64 y) const
    {
        const auto it = std::partition_point(
            tops.begin() + 1, tops.end(), [this, y](qint64 next) { return next - spacing <= y; });
        return std::min(int(it - tops.begin()) - 1, count() - 1);
    }

    // The last row starting above y.
    int lastRowBefore(qint64 y) const
    {
        const auto it = std::partition_point(
            tops.begin(), tops.end() - 1, [y](qint64 top) { return top < y; });
        return int(it - tops.begin()) - 1;
    }

    void updateRange()
    {
        const int page = q.viewport()->height();
        bar()->setRange(0, int(std::max<qint64>(0, contentHeight() - page)));
        bar()->setPageStep(page);
        bar()->setSingleStep(kSingleStep);
    }

    // At the very top nothing is anchored: what is inserted there is meant to be seen.
    std::optional<Anchor> captureAnchor()
    {
        ensureTops();
        const int value = bar()->value();
        if (rows.empty() || value <= 0)
            return std::nullopt;
        const int row = rowAt(value);
        return Anchor {rows[size_t(row)].id, value - tops[size_t(row)]};
    }

    void restoreAnchor(const std::optional<Anchor>& anchor)
    {
        ensureTops();
        updateRange();
        if (!anchor)
            return;
        const int row = model.indexOf(anchor->id);
        if (row >= 0)
            setValue(int(tops[size_t(row)] + anchor->offset));
    }

    void setValue(int value)
    {
        const bool wasInLayout = std::exchange(inLayout, true);
        bar()->setValue(value);
        inLayout = wasInLayout;
    }

    bool holdsFocus(QWidget* card) const
    {
        const QWidget* focus = q.window()->focusWidget();
        return focus && (focus == card || card->isAncestorOf(focus));
    }

    int estimate(int i) const { return std::max(0, factory.estimateHeight(item(i), cardWidth)); }

    void attachCard(int i)
    {
        Row& row = rows[size_t(i)];
        QWidget* card = nullptr;
        if (!spare.empty()) {
            card = spare.back();
            spare.pop_back();
            factory.reuse(card, item(i), i == 0);
        } else {
            card = factory.create(item(i), i == 0, q.viewport());
            card->installEventFilter(&q);
        }
        row.card = card;
        row.measured = false;
        live.insert(card, row.id);
    }

    void releaseCard(Row& row)
    {
        live.remove(row.card);
        row.card->hide();
        spare.push_back(row.card);
        row.card = nullptr;
    }

    void dropCard(QWidget* card)
    {
        live.remove(card);
        card->removeEventFilter(&q);
        // Hiding asks for the keyboard focus to be handed on before the card goes; it may be
        // inside its own handler (a button that archived its item), hence later.
        card->hide();
        card->deleteLater();
    }

    bool measure(int i)
    {
        Row& row = rows[size_t(i)];
        QWidget* card = row.card;
        int height = card->hasHeightForWidth() ? card->heightForWidth(cardWidth) : -1;
        if (height < 0)
            height = card->sizeHint().height();
        height = std::max(0, height);
        row.measured = true;
        if (height == row.height)
            return false;
        row.height = height;
        invalidateFrom(i);
        return true;
    }

    void layoutCards()
    {
        if (inLayout)
            return;
        inLayout = true;
        editPending = false;
        frame.stop();
        const int page = q.viewport()->height();
        for (int round = 0; round < kLayoutRounds; ++round) {
            const std::optional<Anchor> anchor = captureAnchor();
            updateRange();
            const int value = bar()->value();
            int first = 0;
            int last = -1;
            if (!rows.empty()) {
                first = rowAt(std::max(0, value - page));
                last = lastRowBefore(qint64(value) + 2 * page);
            }
            const auto cards = live.keys();
            for (QWidget* card : cards) {
                const int i = model.indexOf(live.value(card));
                if ((i < first || i > last) && !holdsFocus(card))
                    releaseCard(rows[size_t(i)]);
            }
            bool changed = false;
            for (int i = first; i <= last; ++i) {
                if (!rows[size_t(i)].card)
                    attachCard(i);
                if (!rows[size_t(i)].measured)
                    changed |= measure(i);
            }
            if (!changed)
                break;
            restoreAnchor(anchor);
        }
        ensureTops();
        updateRange();
        const int value = bar()->value();
        for (auto it = live.cbegin(); it != live.cend(); ++it) {
            const int i = model.indexOf(it.value());
            it.key()->setGeometry(
                inset, int(tops[size_t(i)] - value), cardWidth, rows[size_t(i)].height);
            it.key()->show();
        }
        while (spare.size() > kSpareCards) {
            dropCard(spare.back());
            spare.pop_back();
        }
        // A card that moves, comes or goes repaints where it was and where it is; only the
        // dividers between cards are the viewport's own, drawn below each card's edge.
        if (dividers)
            q.viewport()->update();
        inLayout = false;
    }

    // Lays out now, or at the next frame when the last edit was shown less than a frame ago.
    void showEdit()
    {
        if (sinceEditShown.isValid() && sinceEditShown.elapsed() < kFrameMs) {
            editPending = true;
            if (!frame.isActive())
                frame.start(int(kFrameMs - sinceEditShown.elapsed()));
            return;
        }
        sinceEditShown.start();
        layoutCards();
    }

    // What asks for cards or their places sees the edits applied so far.
    void flushEdits()
    {
        if (editPending)
            layoutAndFollow();
    }

    void layoutAndFollow()
    {
        layoutCards();
        // Cards above the focus measured taller than estimated push it down.
        if (followed && followed == QApplication::focusWidget())
            reveal(followed);
    }

    void scheduleLayout()
    {
        if (std::exchange(layoutQueued, true))
            return;
        QMetaObject::invokeMethod(
            &q,
            [this] {
                layoutQueued = false;
                // A card measured again goes with the edits waiting for their frame.
                if (!editPending)
                    layoutAndFollow();
            },
            Qt::QueuedConnection);
    }

    // Everything measured so far was for another width or look.
    void remeasureAll()
    {
        for (int i = 0; i < count(); ++i) {
            Row& row = rows[size_t(i)];
            row.measured = false;
            if (!row.card)
                row.height = estimate(i);
        }
        validTops = 0;
    }

    void onRemoved(const QList<int>& oldRows)
    {
        for (const int r : oldRows) {
            const Row& row = rows[size_t(r)];
            leaving.insert(row.id, row);
        }
        if (oldRows.size() == 1) {
            rows.erase(rows.begin() + oldRows.first());
            invalidateFrom(oldRows.first());
            return;
        }
        std::vector<Row> remaining;
        remaining.reserve(rows.size() - size_t(oldRows.size()));
        qsizetype next = 0;
        for (int i = 0; i < count(); ++i) {
            if (next < oldRows.size() && oldRows[next] == i)
                ++next;
            else
                remaining.push_back(rows[size_t(i)]);
        }
        rows = std::move(remaining);
        invalidateFrom(oldRows.first());
    }

    Row rowFor(int j)
    {
        const QUuid id = item(j).id;
        if (const auto moved = leaving.find(id); moved != leaving.end()) {
            const Row row = *moved;
            leaving.erase(moved);
            return row;
        }
        return Row {id, 0, false, nullptr};
    }

    void onInserted(const QList<int>& newRows)
    {
        if (newRows.size() == 1) {
            const int j = newRows.first();
            rows.insert(rows.begin() + j, rowFor(j));
            if (!rows[size_t(j)].card && !rows[size_t(j)].measured)
                rows[size_t(j)].height = estimate(j);
            invalidateFrom(j);
            return;
        }
        std::vector<Row> merged;
        merged.reserve(size_t(model.count()));
        qsizetype next = 0;
        size_t kept = 0;
        for (int j = 0; j < model.count(); ++j) {
            if (next < newRows.size() && newRows[next] == j) {
                ++next;
                merged.push_back(rowFor(j));
            } else {
                merged.push_back(rows[kept++]);
            }
        }
        rows = std::move(merged);
        for (const int j : newRows) {
            if (!rows[size_t(j)].card && !rows[size_t(j)].measured)
                rows[size_t(j)].height = estimate(j);
        }
        invalidateFrom(newRows.first());
    }

    // `sameItem`: the row's own item changed, as opposed to the card's role or look.
    void refill(int i, bool sameItem = false)
    {
        Row& row = rows[size_t(i)];
        row.measured = false;
        if (!row.card)
            row.height = estimate(i);
        else if (sameItem)
            factory.update(row.card, item(i), i == 0);
        else if (holdsFocus(row.card)) {
            // A new role or look could rebuild the field being typed into: it waits until the
            // focus has left the card.
            factory.update(row.card, item(i), i == 0);
            refillWhenLeft.insert(row.id);
        } else
            factory.reuse(row.card, item(i), i == 0);
    }

    void focusMoved()
    {
        if (refillWhenLeft.isEmpty())
            return;
        // The focus may be moving inside the event of a control on the card: after it.
        QMetaObject::invokeMethod(
            &q,
            [this] {
                for (auto it = refillWhenLeft.begin(); it != refillWhenLeft.end();) {
                    const int i = model.indexOf(*it);
                    if (i >= 0 && rows[size_t(i)].card && holdsFocus(rows[size_t(i)].card)) {
                        ++it;
                        continue;
                    }
                    if (i >= 0)
                        refill(i);
                    it = refillWhenLeft.erase(it);
                }
                scheduleLayout();
            },
            Qt::QueuedConnection);
    }

    void onUpdated(const QList<int>& changedRows)
    {
        for (const int j : changedRows)
            refill(j, true);
    }

    // Ids that left for good are forgotten; a new first card takes the newest card's role.
    void finishEdit()
    {
        for (auto it = leaving.cbegin(); it != leaving.cend(); ++it) {
            factory.forget(it.key());
            if (it->card)
                dropCard(it->card);
        }
        leaving.clear();
        const QUuid newFirst = rows.empty() ? QUuid() : rows.front().id;
        if (newFirst == firstId)
            return;
        if (const int old = model.indexOf(firstId); old > 0 && rows[size_t(old)].card)
            refill(old);
        if (!rows.empty() && rows.front().card)
            refill(0);
        firstId = newFirst;
    }

    qint64 targetFor(int row) const
    {
        return std::clamp<qint64>(tops[size_t(row)] - inset, 0, bar()->maximum());
    }

    // Lays out until the row's place stops moving under cards measured on the way.
    void settleAt(int row)
    {
        for (int round = 0; round < kLayoutRounds; ++round) {
            ensureTops();
            updateRange();
            const qint64 target = targetFor(row);
            if (bar()->value() == target && round > 0)
                return;
            setValue(int(target));
            layoutCards();
        }
    }

    void animationStep(double progress)
    {
        const int row = model.indexOf(scrollTarget);
        if (row < 0) {
            animation.stop();
            return;
        }
        ensureTops();
        updateRange();
        const qint64 target = targetFor(row);
        bar()->setValue(int(scrollStart + (target - scrollStart) * progress));
    }

    void animationFinished()
    {
        const QUuid id = std::exchange(scrollTarget, QUuid());
        const int row = model.indexOf(id);
        if (row < 0)
            return;
        settleAt(row);
        Q_EMIT q.scrolledTo(id);
    }

    // Makes row i's card, scrolled into view, and gives it the focus at its first or last control;
    // false when the card has none.
    bool focusRow(int i, bool first)
    {
        ensureTops();
        const int page = q.viewport()->height();
        const qint64 top = tops[size_t(i)];
        const qint64 bottom = top + rows[size_t(i)].height;
        const int value = bar()->value();
        if (top < value || bottom > value + page || !rows[size_t(i)].card) {
            setValue(int(
                first || bottom - top > page ? top - kFocusMargin : bottom - page + kFocusMargin));
            layoutCards();
        }
        QWidget* card = rows[size_t(i)].card;
        if (!card)
            return false;
        const QList<QWidget*> controls = controlsOf(card);
        if (controls.isEmpty())
            return false;
        (first ? controls.first() : controls.last())
            ->setFocus(first ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return true;
    }

    bool focusFromRow(int i, bool forward)
    {
        for (int j = i; j >= 0 && j < count(); j += forward ? 1 : -1) {
            if (focusRow(j, forward))
                return true;
        }
        return false;
    }

    // On to the next control outside the list, as the window's chain has it.
    void leave(bool forward)
    {
        if (leaveFocus) {
            leaveFocus(forward);
            return;
        }
        QWidget* next = &q;
        do
            next = forward ? next->nextInFocusChain() : next->previousInFocusChain();
        while (next != &q && (q.isAncestorOf(next) || !takesTabFocus(next)));
        if (next != &q)
            next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    }

    // The live card the widget is on; none when it is on no card or on one that went.
    QWidget* cardHolding(const QWidget* widget) const
    {
        for (auto it = live.cbegin(); widget && it != live.cend(); ++it) {
            if (it.key()->isAncestorOf(widget))
                return it.key();
        }
        return nullptr;
    }

    // Tab, Backtab, or the focused control hidden: on from the control that has the focus.
    void moveFocus(bool next)
    {
        flushEdits();
        QWidget* focus = QApplication::focusWidget();
        QWidget* card = cardHolding(focus);
        if (!card) {
            q.enterFocus(next);
            return;
        }
        const int row = model.indexOf(live.value(card));
        const QList<QWidget*> controls = controlsOf(card);
        qsizetype at = controls.indexOf(focus);
        for (qsizetype i = 0; at < 0 && i < controls.size(); ++i) {
            if (controls[i]->isAncestorOf(focus))
                at = i;
        }
        const qsizetype to = at + (next ? 1 : -1);
        if (at >= 0 && to >= 0 && to < controls.size())
            controls[to]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        else if (!focusFromRow(row + (next ? 1 : -1), next))
            leave(next);
    }

    void handOver()
    {
        const std::optional<bool> forward = std::exchange(handOverOwed, std::nullopt);
        if (!forward)
            return;
        // Unless something placed the focus meanwhile, it is still on a control that went.
        const QWidget* focus = QApplication::focusWidget();
        if (focus && q.viewport()->isAncestorOf(focus)
            && (!focus->isVisible() || !cardHolding(focus)))
            moveFocus(*forward);
    }

    // Spans an edit, from the model's change to the layout after it.
    class Edit {
    public:
        explicit Edit(Private& d)
            : m_d(d)
            , m_outer(!std::exchange(d.editing, true))
        { }
        ~Edit()
        {
            if (!m_outer)
                return;
            m_d.editing = false;
            m_d.handOver();
        }
        Edit(const Edit&) = delete;
        Edit& operator=(const Edit&) = delete;

    private:
        Private& m_d;
        bool m_outer;
    };

    // Scrolls the least that shows the focused control whole.
    void reveal(QWidget* focused)
    {
        if (editing) {
            followed = focused;
            scheduleLayout();
            return;
        }
        const QRect rect(focused->mapTo(q.viewport(), QPoint()), focused->size());
        const int page = q.viewport()->height();
        int by = 0;
        if (rect.top() < kFocusMargin)
            by = rect.top() - kFocusMargin;
        else if (rect.bottom() > page - kFocusMargin)
            by = std::min(rect.bottom() - page + kFocusMargin, rect.top() - kFocusMargin);
        if (by != 0) {
            animation.stop();
            setValue(bar()->value() + by);
            layoutCards();
        }
        followed = focused;
    }

    bool handleKey(QKeyEvent* event)
    {
        static constexpr std::pair<int, QAbstractSlider::SliderAction> kKeys[] = {
            {Qt::Key_PageUp, QAbstractSlider::SliderPageStepSub},
            {Qt::Key_PageDown, QAbstractSlider::SliderPageStepAdd},
            {Qt::Key_Home, QAbstractSlider::SliderToMinimum},
            {Qt::Key_End, QAbstractSlider::SliderToMaximum},
        };
        for (const auto& [key, action] : kKeys) {
            if (event->key() == key) {
                followed = nullptr;
                animation.stop();
                bar()->triggerAction(action);
                return true;
            }
        }
        return false;
    }

    void paintDividers()
    {
        if (!dividers || rows.empty())
            return;
        QPainter painter(q.viewport());
        painter.setPen(separatorColor(q.palette()));
        const int value = bar()->value();
        const int last = lastRowBefore(qint64(value) + q.viewport()->height());
        for (int i = rowAt(value); i <= last; ++i) {
            const int y = int(tops[size_t(i)] + rows[size_t(i)].height - value);
            painter.drawLine(inset, y, inset + cardWidth - 1, y);
        }
    }
};

CardListView::CardListView(CardFactory& factory, QWidget* parent)
    : QAbstractScrollArea(parent)
    , d(std::make_unique<Private>(*this, factory))
{
    setObjectName(QStringLiteral("cardList"));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    verticalScrollBar()->setSingleStep(kSingleStep);
    connect(
        verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] { d->followed = nullptr; });
    d->cardWidth = std::max(0, viewport()->width() - 2 * d->inset);

    connect(&d->model, &CardListModel::removed, this,
        [this](const QList<int>& rows) { d->onRemoved(rows); });
    connect(&d->model, &CardListModel::inserted, this,
        [this](const QList<int>& rows) { d->onInserted(rows); });
    connect(&d->model, &CardListModel::updated, this,
        [this](const QList<int>& rows) { d->onUpdated(rows); });

    d->frame.setSingleShot(true);
    connect(&d->frame, &QTimer::timeout, this, [this] {
        d->sinceEditShown.start();
        d->layoutAndFollow();
    });

    d->animation.setDuration(kScrollMs);
    d->animation.setEasingCurve(QEasingCurve::OutCubic);
    d->animation.setStartValue(0.0);
    d->animation.setEndValue(1.0);
    connect(&d->animation, &QVariantAnimation::valueChanged, this,
        [this](const QVariant& progress) { d->animationStep(progress.toDouble()); });
    connect(&d->animation, &QVariantAnimation::finished, this, [this] { d->animationFinished(); });
    // A control that takes the focus is brought on screen, however it got it.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && now != viewport() && viewport()->isAncestorOf(now))
            d->reveal(now);
        d->focusMoved();
    });
}

CardListView::~CardListView()
{
    // The cards outlive this object's own members by a moment (the viewport deletes them), and
    // closing the window moves the focus after they are gone.
    disconnect(qApp, nullptr, this, nullptr);
    d->animation.stop();
    for (QWidget* card : d->live.keys())
        card->removeEventFilter(this);
    for (QWidget* card : d->spare)
        card->removeEventFilter(this);
}

void CardListView::setItems(const QList<ScreenItem>& items)
{
    d->flushEdits();
    const Private::Edit edit(*d);
    const std::optional<Anchor> anchor = d->captureAnchor();
    d->model.setItems(items);
    d->finishEdit();
    d->restoreAnchor(anchor);
    d->layoutCards();
}

void CardListView::placeItem(const QUuid& id, const std::optional<ScreenItem>& item,
    const std::function<bool(const ScreenItem&, const ScreenItem&)>& before)
{
    const Private::Edit edit(*d);
    const std::optional<Anchor> anchor = d->captureAnchor();
    if (d->model.place(id, item, before).isEmpty())
        return;
    d->finishEdit();
    // The card being read stays in place, and the scroll bar's range is the list's, at once;
    // only the cards wait for their frame.
    d->restoreAnchor(anchor);
    d->showEdit();
}

int CardListView::rowOf(const QUuid& id) const
{
    return d->model.indexOf(id);
}

const QList<ScreenItem>& CardListView::items() const
{
    return d->model.items();
}

void CardListView::setMetrics(int spacing, int inset, bool dividers)
{
    if (spacing == d->spacing && inset == d->inset && dividers == d->dividers)
        return;
    d->flushEdits();
    const std::optional<Anchor> anchor = d->captureAnchor();
    d->spacing = spacing;
    d->inset = inset;
    d->dividers = dividers;
    d->cardWidth = std::max(0, viewport()->width() - 2 * inset);
    d->remeasureAll();
    d->restoreAnchor(anchor);
    d->layoutCards();
    // The gaps between the cards change too, and dividers drawn there before are no card's to
    // repaint.
    viewport()->update();
}

void CardListView::refreshAll()
{
    d->flushEdits();
    const std::optional<Anchor> anchor = d->captureAnchor();
    for (int i = 0; i < d->count(); ++i)
        d->refill(i);
    // Spare cards would show their old look when reused.
    for (QWidget* card : d->spare)
        d->dropCard(card);
    d->spare.clear();
    d->validTops = 0;
    d->restoreAnchor(anchor);
    d->layoutCards();
}

void CardListView::scrollToId(const QUuid& id, bool animated)
{
    d->flushEdits();
    const int row = d->model.indexOf(id);
    if (row < 0)
        return;
    d->animation.stop();
    d->followed = nullptr;
    d->scrollTarget = id;
    if (!animated) {
        d->animationFinished();
        return;
    }
    d->ensureTops();
    d->updateRange();
    // Eased across thousands of cards, the item would come into view only in the last frame, and
    // every frame would make cards nobody sees; from far away the scroll starts two screens short.
    const qint64 target = d->targetFor(row);
    const qint64 reach = 2 * qint64(viewport()->height());
    d->scrollStart
        = int(std::clamp<qint64>(verticalScrollBar()->value(), target - reach, target + reach));
    d->animation.start();
}

QUuid CardListView::topId() const
{
    d->flushEdits();
    if (d->rows.empty())
        return {};
    d->ensureTops();
    return d->rows[size_t(d->rowAt(verticalScrollBar()->value()))].id;
}

QWidget* CardListView::cardFor(const QUuid& id) const
{
    d->flushEdits();
    const int row = d->model.indexOf(id);
    return row < 0 ? nullptr : d->rows[size_t(row)].card;
}

int CardListView::cardWidgetCount() const
{
    d->flushEdits();
    return int(d->live.size() + d->spare.size());
}

void CardListView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    d->flushEdits();
    const std::optional<Anchor> anchor = d->captureAnchor();
    const int width = std::max(0, viewport()->width() - 2 * d->inset);
    if (width != d->cardWidth) {
        d->cardWidth = width;
        d->remeasureAll();
    }
    d->restoreAnchor(anchor);
    d->layoutCards();
}

void CardListView::scrollContentsBy(int, int)
{
    if (!d->inLayout)
        d->layoutCards();
}

bool CardListView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::LayoutRequest) {
        // The card's own layout runs after this filter; measure once it has.
        const int row = d->model.indexOf(d->live.value(static_cast<QWidget*>(watched)));
        if (row >= 0) {
            d->rows[size_t(row)].measured = false;
            d->scheduleLayout();
        }
    }
    return QAbstractScrollArea::eventFilter(watched, event);
}

bool CardListView::viewportEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::Paint:
        d->paintDividers();
        return true;
    case QEvent::Wheel:
        d->followed = nullptr;
        d->animation.stop();
        break;
    case QEvent::KeyPress:
        if (d->handleKey(static_cast<QKeyEvent*>(event)))
            return true;
        break;
    default:
        break;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void CardListView::enterFocus(bool forward)
{
    if (d->editing) {
        d->handOverOwed = forward;
        return;
    }
    d->flushEdits();
    d->ensureTops();
    if (d->rows.empty()) {
        d->leave(forward);
        return;
    }
    const int value = verticalScrollBar()->value();
    const int from = forward ? d->rowAt(value)
                             : std::max(0, d->lastRowBefore(qint64(value) + viewport()->height()));
    if (!d->focusFromRow(from, forward))
        d->leave(forward);
}

void CardListView::setLeaveFocus(std::function<void(bool)> leave)
{
    d->leaveFocus = std::move(leave);
}

QUuid CardListView::focusedId() const
{
    return d->live.value(d->cardHolding(QApplication::focusWidget()));
}

bool CardListView::focusItem(const QUuid& id, const QString& control)
{
    d->flushEdits();
    const int row = d->model.indexOf(id);
    if (row < 0 || !d->focusRow(row, true))
        return false;
    QWidget* card = d->rows[size_t(row)].card;
    if (control.isEmpty())
        return true;
    for (QWidget* candidate : controlsOf(card)) {
        if (candidate->objectName() == control) {
            candidate->setFocus(Qt::OtherFocusReason);
            break;
        }
    }
    return true;
}

void CardListView::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    // The list is one stop in the window's chain; its controls are on the cards.
    if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason)
        enterFocus(event->reason() == Qt::TabFocusReason);
}

bool CardListView::focusNextPrevChild(bool next)
{
    if (d->editing)
        d->handOverOwed = next;
    else
        d->moveFocus(next);
    return true;
}

void CardListView::keyPressEvent(QKeyEvent* event)
{
    if (!d->handleKey(event))
        QAbstractScrollArea::keyPressEvent(event);
}

} // namespace vesker
