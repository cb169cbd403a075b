#include "access/approval_banner.h"

#include "ui/text_style.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace vesker {

namespace {

constexpr int kMargin = 12;
constexpr int kCardRadius = 10;

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

} // namespace

ApprovalBanner::ApprovalBanner(QWidget* parent)
    : QFrame(parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
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

void ApprovalBanner::rebuild()
{
    m_scheduled = false;
    // A focused button keeps the focus while its device waits. Once the device is answered the
    // focus goes above the cards, never on to another device's card: a second key press there
    // would answer for a device not looked at yet.
    QWidget* focused = QApplication::focusWidget();
    const bool hadFocus = m_stack && focused && m_stack->isAncestorOf(focused);
    QString focusedKey;
    QString focusedLabel;
    if (hadFocus) {
        for (QWidget* widget = focused; widget != m_stack; widget = widget->parentWidget()) {
            if (const auto* card = dynamic_cast<const ApprovalCard*>(widget))
                focusedKey = card->key();
        }
        focusedLabel = focused->accessibleName();
        focused->clearFocus();
    }
    if (m_stack) {
        m_stack->hide();
        m_stack->deleteLater();
        m_stack = nullptr;
    }
    const QList<ApprovalCardContent> contents = cards();
    setVisible(!contents.isEmpty());
    if (contents.isEmpty()) {
        if (hadFocus)
            focusAbove();
        return;
    }
    m_stack = new QWidget(this);
    auto* stack = new QVBoxLayout(m_stack);
    stack->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    stack->setSpacing(8);
    QWidget* refocus = nullptr;
    for (const ApprovalCardContent& content : contents) {
        auto* card = new ApprovalCard(content, m_stack);
        stack->addWidget(card);
        if (hadFocus && !content.key.isEmpty() && content.key == focusedKey) {
            for (QWidget* button : card->findChildren<QPushButton*>()) {
                if (button->accessibleName() == focusedLabel)
                    refocus = button;
            }
        }
    }
    if (const qsizetype more = waiting() - contents.size(); more > 0) {
        auto* line = new QLabel(QStringLiteral("%1 more waiting").arg(more), m_stack);
        line->setObjectName(QStringLiteral("approvalMore"));
        setSecondary(*line);
        stack->addWidget(line);
    }
    static_cast<QVBoxLayout*>(layout())->insertWidget(0, m_stack);
    m_stack->show();
    QWidget* previous = m_tabPlace;
    for (QWidget* widget : m_stack->findChildren<QWidget*>()) {
        if (widget->focusPolicy() & Qt::TabFocus) {
            setTabOrder(previous, widget);
            previous = widget;
        }
    }
    if (refocus)
        refocus->setFocus(Qt::OtherFocusReason);
    else if (hadFocus)
        focusAbove();
}

void ApprovalBanner::focusAbove()
{
    for (QWidget* widget = m_tabPlace->previousInFocusChain(); widget != m_tabPlace;
         widget = widget->previousInFocusChain()) {
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisible() && widget->isEnabled()) {
            widget->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

} // namespace vesker
