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

// When an item came, as its card's header writes it: the locale's date and time.
QString receivedText(const QDateTime& at);

// Sender, time and the first words of the text (or the file's name): enough to tell which item
// a question is about.
QString itemSummary(const ScreenItem& item, const ItemStore& store);

// The line at the top of every card: when, from whom, seen, which of a set, how long ago.
QWidget* makeCardHeader(const ScreenItem& item, const ItemStore& store, QWidget* parent);

} // namespace vesker
