#include "card/note_tags_view.h"

#include "card/card_cells_view.h"
#include "store/item_store.h"
#include "ui/flow_layout.h"
#include "ui/symbol_icon.h"
#include "ui/text_style.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QToolButton>

#include <algorithm>

namespace vesker {

namespace {

constexpr int kNoteMinWidth = 220;
constexpr int kNoteMaxWidth = 360;
constexpr int kNoteMaxLines = 4;
constexpr int kTagInputMinWidth = 90;

// A rounded rectangle behind its children: the tag box, outlined, and the tag chips, a tinted
// capsule.
class RoundedBox : public QWidget {
public:
    RoundedBox(bool capsule, QWidget* parent)
        : QWidget(parent)
        , m_capsule(capsule)
    { }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        const qreal radius = m_capsule ? box.height() / 2 : 6;
        QPainterPath shape;
        shape.addRoundedRect(box, radius, radius);
        if (m_capsule) {
            QColor tint = accentColor(palette());
            tint.setAlphaF(0.15);
            painter.fillPath(shape, tint);
            return;
        }
        painter.fillPath(shape, palette().color(QPalette::Base));
        painter.setPen(QPen(separatorColor(palette()), 1));
        painter.drawPath(shape);
    }

private:
    bool m_capsule;
};

} // namespace

NoteTagsView::NoteTagsView(ItemStore& store, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_note(new QPlainTextEdit(this))
    , m_tagBox(new RoundedBox(false, this))
{
    setObjectName(QStringLiteral("noteTags"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);

    m_note->setObjectName(QStringLiteral("noteField"));
    m_note->setAccessibleName(QStringLiteral("Note"));
    m_note->setPlaceholderText(QStringLiteral("Add a note…"));
    m_note->setTabChangesFocus(true);
    m_note->setMinimumWidth(kNoteMinWidth);
    m_note->setMaximumWidth(kNoteMaxWidth);
    m_note->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_note->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(m_note, &QPlainTextEdit::textChanged, this, &NoteTagsView::noteEdited);
    connect(m_note, &QPlainTextEdit::textChanged, this, &NoteTagsView::fitNoteHeight);
    m_note->viewport()->installEventFilter(this);
    row->addWidget(m_note, 0, Qt::AlignTop);

    auto* box = new QHBoxLayout(m_tagBox);
    box->setContentsMargins(8, 4, 8, 4);
    box->setSpacing(4);
    auto* icon = new QLabel(m_tagBox);
    const int side = QFontMetrics(font()).height();
    icon->setPixmap(
        symbolIcon(QStringLiteral("tag"), palette(), QPalette::PlaceholderText).pixmap(side, side));
    box->addWidget(icon, 0, Qt::AlignVCenter);
    auto* flowHolder = new QWidget(m_tagBox);
    m_flow = new FlowLayout(4, flowHolder);
    m_flow->setContentsMargins(0, 0, 0, 0);
    m_tagInput = new QLineEdit(flowHolder);
    m_tagInput->setObjectName(QStringLiteral("tagInput"));
    m_tagInput->setAccessibleName(QStringLiteral("Add tag"));
    m_tagInput->setFrame(false);
    m_tagInput->setMinimumWidth(kTagInputMinWidth);
    connect(m_tagInput, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (m_state)
            m_state->tagsText = text;
    });
    connect(m_tagInput, &QLineEdit::returnPressed, this, &NoteTagsView::commitTags);
    m_flow->addWidget(m_tagInput);
    box->addWidget(flowHolder, 1);
    // The field is as wide as its prompt; the box around it is where people click.
    m_tagBox->installEventFilter(this);
    flowHolder->installEventFilter(this);
    row->addWidget(m_tagBox, 1, Qt::AlignTop);
    fitNoteHeight();
}

void NoteTagsView::refresh(const ScreenItem& item, std::shared_ptr<CardState> state)
{
    const bool another = item.id != m_item.id || state != m_state;
    m_item = item;
    m_state = std::move(state);
    // The user's own typing comes back from the store a moment later; rewriting the field
    // then would move the cursor, so a focused note is left as it is.
    if (m_note->toPlainText() != item.note && (another || !m_note->hasFocus())) {
        m_filling = true;
        m_note->setPlainText(item.note);
        m_filling = false;
    }
    // A card handed another item: Undo never brings back what was typed for the last one.
    if (another && !m_note->hasFocus())
        m_note->document()->clearUndoRedoStacks();
    if (another)
        m_tagInput->setText(m_state ? m_state->tagsText : QString());
    if (item.tags != m_shownTags)
        showChips(item.tags);
    const QString prompt
        = item.tags.isEmpty() ? QStringLiteral("add tag, press return") : QStringLiteral("add tag");
    m_tagInput->setPlaceholderText(prompt);
    // Wide enough to read its prompt whole; the flow wraps it onto a row of its own if need be.
    const int promptWidth = m_tagInput->fontMetrics().horizontalAdvance(prompt)
        + m_tagInput->textMargins().left() + m_tagInput->textMargins().right() + 12;
    m_tagInput->setMinimumWidth(std::max(kTagInputMinWidth, promptWidth));
}

QStringList NoteTagsView::typedTags(const QString& text)
{
    QStringList tags;
    for (const QString& piece : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        // Spaces and tabs only: a line break is kept as typed, like the store keeps it.
        qsizetype start = 0;
        qsizetype end = piece.size();
        const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
        while (start < end && blank(piece.at(start)))
            ++start;
        while (end > start && blank(piece.at(end - 1)))
            --end;
        if (end > start)
            tags.append(piece.mid(start, end - start));
    }
    return tags;
}

bool NoteTagsView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_note->viewport() && event->type() == QEvent::Resize)
        fitNoteHeight();
    if ((watched == m_tagBox || watched == m_tagInput->parentWidget())
        && event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() == Qt::LeftButton) {
            // The caret goes where the click was, or to the end of what is typed past it.
            const QPoint at
                = m_tagInput->mapFrom(static_cast<QWidget*>(watched), press->position().toPoint());
            m_tagInput->setFocus(Qt::MouseFocusReason);
            m_tagInput->setCursorPosition(m_tagInput->cursorPositionAt(at));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void NoteTagsView::noteEdited()
{
    if (m_filling || m_item.id.isNull())
        return;
    m_store.setNote(m_item.id, m_note->toPlainText());
}

void NoteTagsView::fitNoteHeight()
{
    // Counted from the text itself: the editor lays its document out only once it is shown.
    const QFontMetrics metrics = m_note->fontMetrics();
    const int margin = int(2 * m_note->document()->documentMargin());
    const int width
        = std::max(m_note->viewport()->width(), kNoteMinWidth - 2 * m_note->frameWidth()) - margin;
    int lines = 0;
    for (const QString& line : m_note->toPlainText().split(QLatin1Char('\n'))) {
        const QRect wrapped = metrics.boundingRect(QRect(0, 0, std::max(width, 1), 1 << 20),
            Qt::TextWordWrap, line.isEmpty() ? QStringLiteral(" ") : line);
        lines
            += std::max(1, (wrapped.height() + metrics.lineSpacing() / 2) / metrics.lineSpacing());
    }
    m_note->setVerticalScrollBarPolicy(
        lines > kNoteMaxLines ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    const int height = std::min(lines, kNoteMaxLines) * metrics.lineSpacing() + margin
        + 2 * m_note->frameWidth() + 2;
    if (height != m_note->height())
        m_note->setFixedHeight(height);
}

void NoteTagsView::commitTags()
{
    const QStringList typed = typedTags(m_tagInput->text());
    if (typed.isEmpty())
        return;
    const QUuid id = m_item.id;
    const QStringList tags = m_item.tags + typed;
    m_tagInput->clear();
    if (m_state)
        m_state->tagsText.clear();
    m_store.setTags(tags, id);
}

void NoteTagsView::showChips(const QStringList& tags)
{
    m_shownTags = tags;
    m_flow->removeWidget(m_tagInput);
    // The remove button of a chip may be what led here; it goes once its click is over.
    while (QLayoutItem* old = m_flow->takeAt(0)) {
        if (QWidget* chip = old->widget()) {
            chip->hide();
            chip->deleteLater();
        }
        delete old;
    }
    for (const QString& tag : tags)
        m_flow->addWidget(makeChip(tag));
    m_flow->addWidget(m_tagInput);
}

QWidget* NoteTagsView::makeChip(const QString& tag)
{
    auto* chip = new RoundedBox(true, m_tagInput->parentWidget());
    chip->setObjectName(QStringLiteral("tagChip"));
    auto* row = new QHBoxLayout(chip);
    row->setContentsMargins(8, 3, 8, 3);
    row->setSpacing(3);
    auto* text = plainLabel(tag, chip);
    text->setObjectName(QStringLiteral("tagText"));
    setTextStyle(*text, TextStyle::callout);
    row->addWidget(text);
    auto* remove = new QToolButton(chip);
    remove->setObjectName(QStringLiteral("removeTagButton"));
    remove->setAutoRaise(true);
    const int side = QFontMetrics(vesker::font(TextStyle::caption, chip->font())).height();
    remove->setIcon(symbolIcon(
        QStringLiteral("xmark.circle.fill"), chip->palette(), QPalette::PlaceholderText));
    remove->setIconSize(QSize(side, side));
    remove->setToolTip(QStringLiteral("Remove tag"));
    remove->setAccessibleName(QStringLiteral("Remove tag %1").arg(tag));
    connect(remove, &QToolButton::clicked, this, [this, tag] {
        QStringList tags = m_item.tags;
        tags.removeAll(tag);
        m_store.setTags(tags, m_item.id);
    });
    row->addWidget(remove);
    chip->show();
    return chip;
}

} // namespace vesker
