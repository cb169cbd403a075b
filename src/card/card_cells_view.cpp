#include "card/card_cells_view.h"

#include "connect/invite_links.h"
#include "store/screen_item.h"
#include "ui/symbol_icon.h"
#include "ui/text_style.h"
#include "ui/thumbnail_view.h"

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDrag>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace vesker {

namespace {

constexpr int kCopiedFlashMs = 1200;
// The start of `text` that fills at most `lines` lines of `perLine` characters each.
QString beginning(const QString& text, int lines, qsizetype perLine)
{
    qsizetype end = 0;
    qsizetype column = 0;
    int line = 0;
    for (; end < text.size() && line < lines; ++end) {
        if (text.at(end) == u'\n' || ++column >= perLine) {
            ++line;
            column = 0;
        }
    }
    if (end > 0 && end < text.size() && text.at(end - 1).isHighSurrogate())
        --end;
    return text.left(end);
}

// The whole text, laid out only when asked for, in a view that scrolls.
void showWholeText(const QString& text, QWidget* parent)
{
    auto* dialog = new QDialog(parent->window());
    dialog->setObjectName(QStringLiteral("wholeText"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("Text"));
    auto* column = new QVBoxLayout(dialog);
    auto* view = new QPlainTextEdit(dialog);
    view->setObjectName(QStringLiteral("wholeTextView"));
    view->setReadOnly(true);
    view->setPlainText(text);
    column->addWidget(view);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    column->addWidget(buttons);
    dialog->resize(640, 480);
    dialog->open();
}

} // namespace

QString buttonTitle(QString text)
{
    return text.replace(QLatin1Char('&'), QLatin1String("&&"));
}

ClickDragFilter::ClickDragFilter(
    QWidget* target, std::function<void()> onClick, std::function<QMimeData*()> makeData)
    : QObject(target)
    , m_target(target)
    , m_onClick(std::move(onClick))
    , m_makeData(std::move(makeData))
{
    target->installEventFilter(this);
    target->setCursor(Qt::PointingHandCursor);
}

bool ClickDragFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_target)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton)
            m_pressedAt = mouse->position().toPoint();
        return false;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!m_pressedAt || !m_makeData
            || (mouse->position().toPoint() - *m_pressedAt).manhattanLength()
                < QApplication::startDragDistance())
            return false;
        m_pressedAt.reset();
        auto* drag = new QDrag(m_target);
        drag->setMimeData(m_makeData());
        drag->exec(Qt::CopyAction);
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!m_pressedAt || mouse->button() != Qt::LeftButton)
            return false;
        m_pressedAt.reset();
        if (m_onClick && m_target->rect().contains(mouse->position().toPoint())) {
            // The click may rebuild the card that holds this filter.
            QTimer::singleShot(0, m_target, m_onClick);
        }
        return true;
    }
    default:
        return false;
    }
}

QMimeData* fileDragData(const QString& path)
{
    auto* data = new QMimeData;
    if (QFileInfo(path).isFile())
        data->setUrls({QUrl::fromLocalFile(path)});
    return data;
}

void openFile(const QString& path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void showInFiles(const QString& path)
{
    QDBusMessage call
        = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
            QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList {QUrl::fromLocalFile(path).toString()} << QString();
    auto* watcher
        = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), qApp);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
        [path](QDBusPendingCallWatcher* done) {
            // No file manager on the bus: the folder, at least.
            if (done->isError())
                QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
            done->deleteLater();
        });
}

QWidget* symbolLabel(const QString& symbol, const QString& text, TextStyle style,
    const QColor& colour, QWidget* parent)
{
    auto* box = new QWidget(parent);
    QPalette palette = box->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    box->setPalette(palette);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    auto* icon = new QLabel(box);
    const int side = QFontMetrics(font(style, box->font())).height();
    icon->setPixmap(symbolIcon(symbol, palette).pixmap(side, side));
    row->addWidget(icon, 0, Qt::AlignVCenter);
    auto* label = plainLabel(text, box);
    setTextStyle(*label, style);
    label->setObjectName(QStringLiteral("text"));
    row->addWidget(label, 1);
    return box;
}

PdfCell::PdfCell(
    ThumbnailLoader& loader, const QString& path, const QString& originalName, QWidget* parent)
    : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 4, 0, 4);
    row->setSpacing(14);

    auto* page = new ThumbnailView(loader, this);
    page->setObjectName(QStringLiteral("pdfThumbnail"));
    page->setFixedSize(160, 200);
    page->setSource(path, 400, ThumbnailView::ContentMode::fit);
    page->setToolTip(QStringLiteral("Click to open in Viewer — or drag it into another app"));
    new ClickDragFilter(
        page, [path] { openFile(path); }, [path] { return fileDragData(path); });
    row->addWidget(page, 0, Qt::AlignTop);

    auto* column = new QVBoxLayout;
    column->setSpacing(8);
    const QString name = originalName.isEmpty() ? QStringLiteral("Document.pdf") : originalName;
    auto* title = symbolLabel(QStringLiteral("doc.richtext"), name, TextStyle::headline,
        palette().color(QPalette::WindowText), this);
    title->setObjectName(QStringLiteral("pdfTitle"));
    auto* titleText = title->findChild<QLabel*>(QStringLiteral("text"));
    titleText->setWordWrap(true);
    titleText->setMaximumHeight(2 * titleText->fontMetrics().lineSpacing());
    column->addWidget(title);

    m_pages = new QLabel(this);
    m_pages->setObjectName(QStringLiteral("pdfPages"));
    setSecondary(*m_pages);
    m_pages->hide();
    column->addWidget(m_pages);

    auto* buttons = new QHBoxLayout;
    auto* open = new QPushButton(QStringLiteral("Open"), this);
    connect(open, &QPushButton::clicked, this, [path] { openFile(path); });
    auto* reveal = new QPushButton(QStringLiteral("Show in Files"), this);
    connect(reveal, &QPushButton::clicked, this, [path] { showInFiles(path); });
    buttons->addWidget(open);
    buttons->addWidget(reveal);
    buttons->addStretch();
    column->addLayout(buttons);
    column->addStretch();
    row->addLayout(column, 1);
}

void PdfCell::setPageCount(std::optional<int> pages)
{
    if (!pages) {
        m_pages->hide();
        return;
    }
    m_pages->setText(
        *pages == 1 ? QStringLiteral("1 page") : QStringLiteral("%1 pages").arg(*pages));
    m_pages->show();
}

TextCell::TextCell(const QByteArray& text, bool compact, std::function<void()> onInvite,
    QWidget* parent, QSize maxText)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("textCell"));
    auto* column = new QVBoxLayout(this);
    const int margin = compact ? 10 : 16;
    column->setContentsMargins(margin, margin, margin, margin);
    column->setSpacing(8);

    auto* label = plainLabel({}, this);
    label->setObjectName(QStringLiteral("cardText"));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    setTextStyle(*label, compact ? TextStyle::callout : TextStyle::title2);
    const QFontMetrics metrics = label->fontMetrics();
    const int lineSpacing = metrics.lineSpacing();
    int lines = compact ? 6 : kPreviewLines;
    if (maxText.height() > 0)
        lines = std::clamp(maxText.height() / lineSpacing, 2, lines);
    // Words wrap before a line is full: count lines a little short, so that what is shown fits.
    const int width = maxText.width() > 0 ? maxText.width() : 600;
    const qsizetype perLine
        = std::max<qsizetype>(16, width * 4 / (5 * std::max(1, metrics.averageCharWidth())));
    // One character more than the lines hold tells whether the text goes on.
    const QString start = utf8Start(text, lines * perLine + 1);
    const QString shown = beginning(start, lines, perLine);
    const bool cut = shown.size() < start.size();
    label->setText(cut ? shown + QStringLiteral("…") : shown);
    label->setMaximumHeight(lines * lineSpacing);
    showWholeLinesOnly(*label);
    column->addWidget(label);
    if (cut && !compact) {
        auto* more = new QPushButton(QStringLiteral("More"), this);
        more->setObjectName(QStringLiteral("moreTextButton"));
        more->setAccessibleName(QStringLiteral("More"));
        more->setToolTip(QStringLiteral("Show the whole text"));
        connect(more, &QPushButton::clicked, this,
            [this, text] { showWholeText(QString::fromUtf8(text), this); });
        column->addWidget(more, 0, Qt::AlignLeft);
    }

    if (onInvite && InviteLinks::extract(QString::fromUtf8(text))) {
        auto* connectButton = new QPushButton(QStringLiteral("Connect to their screen"), this);
        connectButton->setObjectName(QStringLiteral("connectButton"));
        connectButton->setIcon(symbolIcon(
            QStringLiteral("globe.badge.chevron.backward"), palette(), QPalette::ButtonText));
        connectButton->setDefault(true);
        connectButton->setToolTip(QStringLiteral("Asks you to confirm before connecting"));
        connect(connectButton, &QPushButton::clicked, this, onInvite);
        column->addWidget(connectButton, 0, Qt::AlignLeft);
    }
    if (!compact) {
        auto* copy = new QPushButton(QStringLiteral("Copy text"), this);
        copy->setObjectName(QStringLiteral("copyTextButton"));
        connect(copy, &QPushButton::clicked, this, [copy, text] {
            QGuiApplication::clipboard()->setText(QString::fromUtf8(text));
            copy->setText(QStringLiteral("Copied"));
            QTimer::singleShot(
                kCopiedFlashMs, copy, [copy] { copy->setText(QStringLiteral("Copy text")); });
        });
        column->addWidget(copy, 0, Qt::AlignLeft);
    }
    new ClickDragFilter(this, {}, [text] {
        auto* data = new QMimeData;
        data->setText(text);
        return data;
    });
    setCursor(Qt::ArrowCursor);
}

void TextCell::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor tint = accentColor(palette());
    tint.setAlphaF(0.08);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 8, 8);
    painter.fillPath(shape, tint);
}

} // namespace vesker
