#include "inbox/speed_review_sheet.h"

#include "platform/time_text.h"
#include "store/item_store.h"
#include "store/senders.h"
#include "ui/symbol_icon.h"
#include "ui/text_style.h"
#include "ui/thumbnail_view.h"

#include <QAbstractButton>
#include <QAction>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace vesker {

namespace {

void setColour(QWidget& widget, const QColor& colour)
{
    QPalette look = widget.palette();
    look.setColor(QPalette::WindowText, colour);
    look.setColor(QPalette::ButtonText, colour);
    widget.setPalette(look);
}

// Red that reads where the widget draws its text: on a button's face or on the window.
void setDestructive(QWidget& widget)
{
    QPalette look = widget.palette();
    look.setColor(QPalette::WindowText, destructiveColor(look, QPalette::Window));
    widget.setPalette(look);
    if (qobject_cast<QAbstractButton*>(&widget))
        markDestructive(widget);
}

// A key that acts wherever focus is inside the sheet, buttons included.
void bindKey(QDialog& sheet, const QList<QKeySequence>& keys, std::function<void()> act)
{
    auto* action = new QAction(&sheet);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(action, &QAction::triggered, &sheet, std::move(act));
    sheet.addAction(action);
}

} // namespace

SpeedReviewSheet::SpeedReviewSheet(
    ItemStore& store, ThumbnailLoader& thumbnails, QList<ScreenItem> items, QWidget* parent)
    : QDialog(parent)
    , m_store(store)
    , m_thumbnails(thumbnails)
    , m_review(std::move(items))
{
    setObjectName(QStringLiteral("speedReviewSheet"));
    setWindowTitle(QStringLiteral("Speed review"));
    setWindowModality(Qt::WindowModal);
    setMinimumSize(720, 560);
    resize(1000, 760);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(16, 10, 16, 10);
    auto* title = plainLabel(QStringLiteral("Speed review"), this);
    setTextStyle(*title, TextStyle::headline);
    header->addWidget(title);
    header->addStretch(1);
    m_progress = plainLabel({}, this);
    m_progress->setObjectName(QStringLiteral("reviewProgress"));
    setSecondary(*m_progress);
    header->addWidget(m_progress);
    header->addSpacing(4);
    m_marks = plainLabel({}, this);
    m_marks->setObjectName(QStringLiteral("reviewMarks"));
    setDestructive(*m_marks);
    header->addWidget(m_marks);
    column->addLayout(header);
    column->addWidget(makeDivider(this));

    m_area = new QStackedWidget(this);
    m_area->setContentsMargins(16, 16, 16, 16);
    column->addWidget(m_area, 1);
    column->addWidget(makeDivider(this));

    auto* controls = new QHBoxLayout;
    controls->setContentsMargins(16, 16, 16, 16);
    auto button = [this, controls](const QString& name, const QString& text, const QString& symbol,
                      const QString& help) {
        auto* b = new QPushButton(symbolIcon(symbol, palette()), text, this);
        b->setObjectName(name);
        b->setToolTip(help);
        // Return must never press whatever button happens to hold the focus.
        b->setAutoDefault(false);
        controls->addWidget(b);
        return b;
    };
    QPushButton* exit
        = button(QStringLiteral("exitButton"), QStringLiteral("Exit"), QStringLiteral("xmark"),
            QStringLiteral("Stop here (Esc). Anything marked is confirmed first."));
    m_back = button(QStringLiteral("backButton"), QStringLiteral("Back"),
        QStringLiteral("chevron.left"),
        QStringLiteral("Previous item (\u2190) \u2014 to change your mind"));
    controls->addStretch(1);
    const QString backspace = QKeySequence(Qt::Key_Backspace).toString(QKeySequence::NativeText);
    m_delete = button(QStringLiteral("deleteButton"), QStringLiteral("Delete"),
        QStringLiteral("trash"), QStringLiteral("Mark to delete and go on (%1)").arg(backspace));
    setDestructive(*m_delete);
    m_keep = button(QStringLiteral("keepButton"), QStringLiteral("Keep"),
        QStringLiteral("checkmark"), QStringLiteral("Keep it and go on (\u2192)"));
    m_finish = button(QStringLiteral("finishButton"), {}, {}, {});
    for (QPushButton* wide : {m_delete, m_keep, m_finish})
        wide->setMinimumWidth(90);
    column->addLayout(controls);

    connect(exit, &QPushButton::clicked, this, &SpeedReviewSheet::finish);
    connect(m_back, &QPushButton::clicked, this, &SpeedReviewSheet::previous);
    connect(m_delete, &QPushButton::clicked, this, [this] { decide(true); });
    connect(m_keep, &QPushButton::clicked, this, [this] { decide(false); });
    connect(m_finish, &QPushButton::clicked, this, &SpeedReviewSheet::finish);

    bindKey(*this, {Qt::Key_Right}, [this] { decide(false); });
    bindKey(*this, {Qt::Key_Backspace, Qt::Key_Delete}, [this] { decide(true); });
    bindKey(*this, {Qt::Key_Left}, [this] { previous(); });
    bindKey(*this, {Qt::Key_Return, Qt::Key_Enter}, [this] {
        if (m_review.atEnd())
            finish();
    });
    refresh();
}

QMessageBox* SpeedReviewSheet::confirmation() const
{
    return m_confirmation.data();
}

void SpeedReviewSheet::decide(bool remove)
{
    if (m_confirmation || m_review.atEnd())
        return;
    m_review.decide(remove);
    refresh();
}

void SpeedReviewSheet::previous()
{
    if (m_confirmation || m_review.index() == 0)
        return;
    m_review.previous();
    refresh();
}

void SpeedReviewSheet::reject()
{
    finish();
}

void SpeedReviewSheet::finish()
{
    if (m_confirmation)
        return;
    if (m_review.markedCount() == 0) {
        QDialog::reject();
        return;
    }
    auto* box = new QMessageBox(this);
    box->setObjectName(QStringLiteral("speedReviewConfirmation"));
    box->setIcon(QMessageBox::Warning);
    box->setWindowModality(Qt::WindowModal);
    box->setText(m_review.confirmTitle());
    shapeAlert(*box);
    box->setInformativeText(
        QStringLiteral("The files are removed from disk. Everything else stays in the Archive."));
    QPushButton* remove = box->addButton(
        QStringLiteral("Delete %1").arg(m_review.markedCount()), QMessageBox::DestructiveRole);
    QPushButton* keep = box->addButton(QStringLiteral("Keep reviewing"), QMessageBox::RejectRole);
    QPushButton* discard
        = box->addButton(QStringLiteral("Don't delete anything"), QMessageBox::ActionRole);
    remove->setObjectName(QStringLiteral("confirmDeleteButton"));
    discard->setObjectName(QStringLiteral("discardMarksButton"));
    // Return answers with the harmless choice, wherever the focus is.
    remove->setAutoDefault(false);
    discard->setAutoDefault(false);
    box->setDefaultButton(keep);
    box->setEscapeButton(keep);
    setDestructive(*remove);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::buttonClicked, this, [this, remove, discard](QAbstractButton* b) {
        if (b == remove) {
            m_review.deleteMarked(m_store);
            QDialog::accept();
        } else if (b == discard) {
            m_review.discardMarks();
            QDialog::reject();
        }
    });
    m_confirmation = box;
    box->open();
}

void SpeedReviewSheet::refresh()
{
    m_progress->setText(m_review.progressText());
    m_marks->setText(m_review.marksText());
    m_marks->setVisible(m_review.markedCount() > 0);
    m_back->setEnabled(m_review.index() > 0);
    const bool atEnd = m_review.atEnd();
    m_delete->setVisible(!atEnd);
    m_keep->setVisible(!atEnd);
    m_finish->setVisible(atEnd);
    m_finish->setText(m_review.finishTitle());
    if (m_review.markedCount() > 0)
        setDestructive(*m_finish);
    else
        setColour(*m_finish, palette().color(QPalette::ButtonText));

    // Each item gets a view of its own, so its picture loads afresh.
    while (QWidget* old = m_area->widget(0)) {
        m_area->removeWidget(old);
        old->deleteLater();
    }
    const std::optional<ScreenItem> item = m_review.current();
    QWidget* page = item ? makeItemView(*item) : makeEndCard();
    m_area->addWidget(page);
    m_area->setCurrentWidget(page);
}

QWidget* SpeedReviewSheet::makeItemView(const ScreenItem& item)
{
    auto* view = new QWidget(m_area);
    view->setObjectName(QStringLiteral("reviewItem"));
    auto* column = new QVBoxLayout(view);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(10);
    const bool marked = m_review.isMarked(item.id);

    auto* caption = new QHBoxLayout;
    // Written as the cards write it, in the computer's own time zone.
    const QLocale locale;
    auto* when
        = plainLabel(locale.toString(item.receivedAt.toLocalTime().date(), QLocale::ShortFormat)
                + QStringLiteral(", ") + platform::shortTimeText(item.receivedAt, locale),
            view);
    setTextStyle(*when, TextStyle::headline);
    caption->addWidget(when, 0, Qt::AlignBaseline);
    auto* from = plainLabel(
        QStringLiteral("from ") + Senders::displayName(item.sender, m_store.defaults()), view);
    from->setObjectName(QStringLiteral("reviewSender"));
    setSecondary(*from);
    caption->addWidget(from, 0, Qt::AlignBaseline);
    caption->addStretch(1);
    if (marked) {
        auto* icon = new QLabel(view);
        QPalette red = icon->palette();
        red.setColor(QPalette::WindowText, destructiveColor(red, QPalette::Window));
        icon->setPixmap(symbolIcon(QStringLiteral("trash"), red).pixmap(16, 16));
        caption->addWidget(icon);
        auto* label = plainLabel(QStringLiteral("Marked to delete"), view);
        label->setObjectName(QStringLiteral("markedLabel"));
        setTextStyle(*label, TextStyle::callout);
        setDestructive(*label);
        caption->addWidget(label);
    }
    column->addLayout(caption);

    QWidget* content = nullptr;
    if (item.kind == ItemKind::text) {
        auto* text = new QTextBrowser(view);
        text->setPlainText(QString::fromUtf8(item.text));
        text->setFont(vesker::font(TextStyle::title2, text->font()));
        text->setFocusPolicy(Qt::NoFocus);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        text->setFrameShape(QFrame::NoFrame);
        text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        text->document()->setDocumentMargin(16);
        QColor tint = accentColor(palette());
        tint.setAlphaF(0.08);
        text->setStyleSheet(QStringLiteral("QTextBrowser { background: %1; border-radius: 10px; }")
                                .arg(tint.name(QColor::HexArgb)));
        content = text;
    } else {
        auto* picture = new ThumbnailView(m_thumbnails, view);
        picture->setSource(m_store.fileURL(item), kMaxPixel, ThumbnailView::ContentMode::fit);
        content = picture;
    }
    content->setObjectName(QStringLiteral("reviewContent"));
    content->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    if (marked) {
        auto* dim = new QGraphicsOpacityEffect(content);
        dim->setOpacity(0.45);
        content->setGraphicsEffect(dim);
    }
    column->addWidget(content, 1);

    QString line;
    if (item.kind == ItemKind::pdf)
        line = item.originalName.isEmpty() ? QStringLiteral("Document.pdf") : item.originalName;
    else
        line = item.note;
    if (!line.isEmpty()) {
        auto* under = plainLabel(line, view);
        under->setObjectName(QStringLiteral("reviewLine"));
        setSecondary(*under);
        under->setWordWrap(true);
        under->setMaximumHeight(under->fontMetrics().lineSpacing() * 2 + 2);
        column->addWidget(under);
    }
    return view;
}

QWidget* SpeedReviewSheet::makeEndCard()
{
    auto* card = new QWidget(m_area);
    card->setObjectName(QStringLiteral("reviewEnd"));
    auto* column = new QVBoxLayout(card);
    column->setSpacing(12);
    column->addStretch(1);
    auto* symbol = new QLabel(card);
    QPalette green = symbol->palette();
    green.setColor(QPalette::WindowText, successColor(green, QPalette::Window));
    symbol->setPixmap(symbolIcon(QStringLiteral("checkmark.circle"), green).pixmap(56, 56));
    column->addWidget(symbol, 0, Qt::AlignHCenter);
    auto* title = plainLabel(QStringLiteral("That's everything"), card);
    QFont semibold = vesker::font(TextStyle::title2, title->font());
    semibold.setWeight(QFont::DemiBold);
    title->setFont(semibold);
    column->addWidget(title, 0, Qt::AlignHCenter);
    auto* detail = plainLabel(m_review.endText(), card);
    detail->setObjectName(QStringLiteral("reviewEndText"));
    setSecondary(*detail);
    column->addWidget(detail, 0, Qt::AlignHCenter);
    column->addStretch(1);
    return card;
}

} // namespace vesker
