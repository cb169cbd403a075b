#include "card/card_header_view.h"

#include "card/card_cells_view.h"
#include "platform/time_text.h"
#include "store/item_store.h"
#include "store/senders.h"
#include "ui/text_style.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLocale>
#include <QTimer>

namespace vesker {

namespace {

// One timer for every card on screen: a few dozen labels re-set once a second costs nothing,
// a timer per card would wake the program a few dozen times instead.
QTimer& sharedTicker()
{
    static QTimer* ticker = [] {
        auto* timer = new QTimer(QCoreApplication::instance());
        timer->setInterval(1000);
        timer->start();
        return timer;
    }();
    return *ticker;
}

} // namespace

QString receivedText(const QDateTime& at)
{
    const QLocale locale;
    return locale.toString(at.toLocalTime().date(), QStringLiteral("MMM d, yyyy"))
        + QStringLiteral(", ") + platform::shortTimeText(at, locale);
}

QString itemSummary(const ScreenItem& item, const ItemStore& store)
{
    constexpr int kWords = 8;
    // Far more than eight words take; the rest of a long text is not read.
    constexpr qsizetype kRead = 2000;
    QString what;
    if (item.kind == ItemKind::text) {
        const QString start = utf8Start(item.text, kRead + 1);
        const QStringList words = start.simplified().split(u' ', Qt::SkipEmptyParts);
        const bool more = words.size() > kWords || start.size() > kRead;
        what = u'“' + QStringList(words.mid(0, kWords)).join(u' ')
            + (more ? QStringLiteral("…”") : QStringLiteral("”"));
    } else {
        what = item.originalName.isEmpty() ? item.filename : item.originalName;
    }
    QStringList parts {
        Senders::displayName(item.sender, store.defaults()), receivedText(item.receivedAt), what};
    parts.removeAll(QString());
    return parts.join(QStringLiteral(" · "));
}

RelativeTimeLabel::RelativeTimeLabel(const QDateTime& at, QWidget* parent)
    : QLabel(parent)
    , m_at(at)
{
    connect(&sharedTicker(), &QTimer::timeout, this, &RelativeTimeLabel::refresh);
    refresh();
}

QString RelativeTimeLabel::text(const QDateTime& at, const QDateTime& now)
{
    const qint64 seconds = std::max<qint64>(0, at.secsTo(now));
    const qint64 minutes = seconds / 60;
    const qint64 hours = minutes / 60;
    const qint64 days = hours / 24;
    QString span;
    if (seconds < 60)
        span = QStringLiteral("%1 sec").arg(seconds);
    else if (minutes < 60)
        span = QStringLiteral("%1 min").arg(minutes);
    else if (hours < 24)
        span = QStringLiteral("%1 hr, %2 min").arg(hours).arg(minutes % 60);
    else
        span = QStringLiteral("%1 %2, %3 hr")
                   .arg(days)
                   .arg(days == 1 ? QStringLiteral("day") : QStringLiteral("days"))
                   .arg(hours % 24);
    return span + QStringLiteral(" ago");
}

void RelativeTimeLabel::refresh()
{
    const QString now = text(m_at, QDateTime::currentDateTime());
    if (now != QLabel::text())
        setText(now);
}

QWidget* makeCardHeader(const ScreenItem& item, const ItemStore& store, QWidget* parent)
{
    auto* header = new QWidget(parent);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);

    auto* time = plainLabel(receivedText(item.receivedAt), header);
    time->setObjectName(QStringLiteral("cardTime"));
    setTextStyle(*time, TextStyle::headline);
    row->addWidget(time, 0, Qt::AlignBaseline);

    const QString name = Senders::displayName(item.sender, store.defaults());
    auto* from = plainLabel(QStringLiteral("from ") + name, header);
    from->setObjectName(QStringLiteral("cardSender"));
    setSecondary(*from);
    if (name != item.sender)
        from->setToolTip((QStringLiteral("Broadcast name: ") + item.sender).toHtmlEscaped());
    row->addWidget(from, 0, Qt::AlignBaseline);

    if (item.acknowledged) {
        auto* seen = symbolLabel(QStringLiteral("checkmark.circle.fill"), QStringLiteral("Seen"),
            // Green is this label's own colour: the theme has no role for "done".
            TextStyle::caption, successColor(header->palette(), QPalette::Window), header);
        seen->setObjectName(QStringLiteral("cardSeen"));
        row->addWidget(seen);
    }
    if (item.groupCount >= 2) {
        auto* set = symbolLabel(QStringLiteral("square.stack"),
            QStringLiteral("Set %1 of %2").arg(item.groupIndex).arg(item.groupCount),
            TextStyle::caption, secondaryColor(header->palette()), header);
        set->setObjectName(QStringLiteral("cardSet"));
        row->addWidget(set);
    }
    row->addStretch(1);

    auto* ago = new RelativeTimeLabel(item.receivedAt, header);
    ago->setObjectName(QStringLiteral("cardAgo"));
    setTextStyle(*ago, TextStyle::callout);
    setSecondary(*ago);
    row->addWidget(ago, 0, Qt::AlignBaseline);
    return header;
}

} // namespace vesker
