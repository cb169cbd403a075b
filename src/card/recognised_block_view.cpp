#include "card/recognised_block_view.h"

#include "card/card_cells_view.h"
#include "card/front_app_paste_view.h"
#include "store/recognizer.h"
#include "ui/symbol_icon.h"
#include "ui/text_style.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace vesker {

namespace {

constexpr qsizetype kMinRecognisedText = 12;
constexpr int kCollapsedLines = 2;
// Long enough to read; the value stays on the clipboard anyway.
constexpr int kPasteHintMs = 6000;

QLabel* symbolIconLabel(const QString& symbol, TextStyle style, QWidget* parent)
{
    auto* icon = new QLabel(parent);
    const int side = QFontMetrics(font(style, parent->font())).height();
    icon->setPixmap(symbolIcon(symbol, parent->palette()).pixmap(side, side));
    return icon;
}

QPushButton* smallButton(const QString& title, const char* name, QWidget* parent)
{
    auto* button = new QPushButton(title, parent);
    button->setObjectName(QLatin1String(name));
    setTextStyle(*button, TextStyle::callout);
    return button;
}

QLabel* greenCaption(const char* name, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    setTextStyle(*label, TextStyle::caption);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, successColor(palette, QPalette::Window));
    label->setPalette(palette);
    label->hide();
    return label;
}

// The first lines that hold anything, for the short view.
QString firstLines(const QString& text)
{
    QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.mid(0, kCollapsedLines).join(QLatin1Char('\n'));
}

} // namespace

RecognisedBlockView::RecognisedBlockView(
    Permissions& permissions, std::function<void()> onCopied, QWidget* parent)
    : QWidget(parent)
    , m_permissions(permissions)
    , m_onCopied(std::move(onCopied))
    , m_column(new QVBoxLayout(this))
    , m_chips(new QWidget(this))
    , m_textRow(new QWidget(this))
{
    setObjectName(QStringLiteral("recognisedBlock"));
    m_column->setContentsMargins(0, 0, 0, 0);
    m_column->setSpacing(6);
    auto* chips = new QVBoxLayout(m_chips);
    chips->setContentsMargins(0, 0, 0, 0);
    chips->setSpacing(6);
    m_column->addWidget(m_chips);

    auto* row = new QHBoxLayout(m_textRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(symbolIconLabel(QStringLiteral("text.viewfinder"), TextStyle::callout, this), 0,
        Qt::AlignTop);
    m_text = plainLabel({}, m_textRow);
    m_text->setObjectName(QStringLiteral("recognisedText"));
    m_text->setWordWrap(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    showWholeLinesOnly(*m_text);
    setTextStyle(*m_text, TextStyle::callout);
    row->addWidget(m_text, 1, Qt::AlignTop);
    m_more = smallButton(QStringLiteral("More"), "moreTextButton", m_textRow);
    connect(m_more, &QPushButton::clicked, this, [this] {
        if (!m_state)
            return;
        m_state->showAllText = !m_state->showAllText;
        showText();
    });
    row->addWidget(m_more, 0, Qt::AlignTop);
    auto* copyText = smallButton(QStringLiteral("Copy"), "copyRecognisedTextButton", m_textRow);
    connect(copyText, &QPushButton::clicked, this, [this] { copy(m_recognizedText); });
    row->addWidget(copyText, 0, Qt::AlignTop);
    m_column->addWidget(m_textRow);

    m_copied = greenCaption("copiedLabel", this);
    m_copied->setText(QStringLiteral("Copied"));
    m_column->addWidget(m_copied);
    m_pasteHint = greenCaption("pasteHint", this);
    m_pasteHint->setText(pasteByHandText());
    m_column->addWidget(m_pasteHint);
}

bool RecognisedBlockView::isWanted(const ScreenItem& item)
{
    return !item.barcodes.isEmpty() || item.recognizedText.size() >= kMinRecognisedText;
}

void RecognisedBlockView::refresh(const ScreenItem& item, std::shared_ptr<CardState> state)
{
    m_state = std::move(state);
    if (item.barcodes != m_barcodes)
        showChips(item.barcodes);
    m_recognizedText = item.recognizedText;
    m_textRow->setVisible(m_recognizedText.size() >= kMinRecognisedText);
    showText();
    // The hand-paste hint already says it was copied.
    m_copied->setVisible(m_state && m_state->copiedFlash && !m_pasteHint->isVisibleTo(this));
}

void RecognisedBlockView::showChips(const QStringList& barcodes)
{
    m_barcodes = barcodes;
    // A chip's own button may be what led here; its widget goes once its event is over.
    for (QWidget* old : m_chips->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        m_chips->layout()->removeWidget(old);
        old->hide();
        old->deleteLater();
    }
    for (const QString& barcode : barcodes)
        m_chips->layout()->addWidget(makeChip(Recognizer::payload(barcode)));
    m_chips->setVisible(!barcodes.isEmpty());
}

QWidget* RecognisedBlockView::makeChip(const QString& payload)
{
    auto* chip = new QWidget(m_chips);
    chip->setObjectName(QStringLiteral("barcodeChip"));
    auto* row = new QHBoxLayout(chip);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(symbolIconLabel(QStringLiteral("barcode"), TextStyle::body, chip));
    auto* value = plainLabel(payload, chip);
    value->setObjectName(QStringLiteral("barcodeValue"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(vesker::font(TextStyle::body, chip->font()).pointSizeF());
    value->setFont(mono);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setWordWrap(true);
    row->addWidget(value, 1);
    auto* copyButton = smallButton(QStringLiteral("Copy"), "copyBarcodeButton", chip);
    connect(copyButton, &QPushButton::clicked, this, [this, payload] { copy(payload); });
    row->addWidget(copyButton);
    auto* paste = smallButton(QStringLiteral("Paste into front app"), "pasteBarcodeButton", chip);
    paste->setToolTip(
        QStringLiteral("Copies the value, switches to the previous app, and presses %1")
            .arg(QKeySequence(Qt::CTRL | Qt::Key_V).toString(QKeySequence::NativeText)));
    connect(paste, &QPushButton::clicked, this, [this, payload] { pasteIntoFrontApp(payload); });
    row->addWidget(paste);
    return chip;
}

void RecognisedBlockView::showText()
{
    const bool all = m_state && m_state->showAllText;
    m_text->setText(all ? m_recognizedText : firstLines(m_recognizedText));
    // Wrapped lines count too: the short view never grows past two.
    m_text->setMaximumHeight(
        all ? QWIDGETSIZE_MAX : kCollapsedLines * m_text->fontMetrics().lineSpacing());
    m_more->setText(all ? QStringLiteral("Less") : QStringLiteral("More"));
}

void RecognisedBlockView::copy(const QString& value)
{
    QGuiApplication::clipboard()->setText(value);
    if (m_onCopied)
        m_onCopied();
}

void RecognisedBlockView::pasteIntoFrontApp(const QString& value)
{
    const bool typed = vesker::pasteIntoFrontApp(value, window(), m_permissions);
    if (m_onCopied)
        m_onCopied();
    if (typed)
        return;
    m_pasteHint->show();
    m_copied->hide();
    QTimer::singleShot(kPasteHintMs, m_pasteHint, [hint = m_pasteHint] { hint->hide(); });
}

} // namespace vesker
