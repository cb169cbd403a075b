#pragma once

#include <QDateTime>
#include <QLabel>
#include <QWidget>

namespace vesker {

class ItemStore;
struct ScreenItem;

// "5 min ago" beside a card's time, kept current by one timer that every such label shares.
class RelativeTimeLabel : public QLabel {
    Q_OBJECT
public:
    RelativeTimeLabel(const QDateTime& at, QWidget* parent);
    static QString text(const QDateTime& at, const QDateTime& now);

private:
    void refresh();
    QDateTime m_at;
};

// The line at the top of every card: when, from whom, seen, which of a set, how long ago.
QWidget* makeCardHeader(const ScreenItem& item, const ItemStore& store, QWidget* parent);

} // namespace vesker
