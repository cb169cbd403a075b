#include "inbox/card_list_view.h"

#include <QHash>
#include <QResizeEvent>
#include <QScrollBar>
#include <QVBoxLayout>

namespace vesker {

// Every card made at once in a plain column.
struct CardListView::Private {
    CardFactory& factory;
    QList<ScreenItem> items;
    QWidget* content = nullptr;
    QVBoxLayout* column = nullptr;
    QHash<QUuid, QWidget*> cards;
};

CardListView::CardListView(CardFactory& factory, QWidget* parent)
    : QAbstractScrollArea(parent)
    , d(new Private {factory})
{
    setObjectName(QStringLiteral("cardList"));
    d->content = new QWidget(viewport());
    d->column = new QVBoxLayout(d->content);
}

CardListView::~CardListView() = default;

void CardListView::setItems(const QList<ScreenItem>& items)
{
    for (auto it = d->cards.begin(); it != d->cards.end(); ++it) {
        d->column->removeWidget(it.value());
        delete it.value();
    }
    for (const ScreenItem& old : d->items) {
        if (!std::any_of(items.begin(), items.end(),
                [&](const ScreenItem& item) { return item.id == old.id; }))
            d->factory.forget(old.id);
    }
    d->cards.clear();
    d->items = items;
    for (int i = 0; i < items.size(); ++i) {
        QWidget* card = d->factory.create(items[i], i == 0, d->content);
        d->cards.insert(items[i].id, card);
        d->column->addWidget(card);
    }
    d->content->resize(viewport()->width(), d->content->sizeHint().height());
    verticalScrollBar()->setRange(0, std::max(0, d->content->height() - viewport()->height()));
}

const QList<ScreenItem>& CardListView::items() const { return d->items; }
void CardListView::setMetrics(int, int, bool) { }
void CardListView::refreshAll() { setItems(d->items); }

void CardListView::scrollToId(const QUuid& id, bool)
{
    if (QWidget* card = d->cards.value(id)) {
        verticalScrollBar()->setValue(card->y());
        Q_EMIT scrolledTo(id);
    }
}

QUuid CardListView::topId() const
{
    for (const ScreenItem& item : d->items) {
        QWidget* card = d->cards.value(item.id);
        if (card->y() + card->height() > verticalScrollBar()->value())
            return item.id;
    }
    return {};
}

QWidget* CardListView::cardFor(const QUuid& id) const { return d->cards.value(id); }
int CardListView::cardWidgetCount() const { return int(d->cards.size()); }

void CardListView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    d->content->resize(viewport()->width(), d->content->sizeHint().height());
    verticalScrollBar()->setRange(0, std::max(0, d->content->height() - viewport()->height()));
}

void CardListView::scrollContentsBy(int, int)
{
    d->content->move(0, -verticalScrollBar()->value());
}

bool CardListView::eventFilter(QObject* watched, QEvent* event)
{
    return QAbstractScrollArea::eventFilter(watched, event);
}

bool CardListView::viewportEvent(QEvent* event) { return QAbstractScrollArea::viewportEvent(event); }

} // namespace vesker
