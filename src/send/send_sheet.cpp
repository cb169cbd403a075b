#include "send/send_sheet.h"

#include "image_edit/image_edit_sheet.h"
#include "platform/defaults.h"
#include "platform/private_temp.h"
#include "platform/thumbnail_loader.h"
#include "screens/remote_screens_manager.h"
#include "send/destination_list_view.h"
#include "send/device_id.h"
#include "send/dropped_files.h"
#include "send/screen_browser.h"
#include "send/uploader.h"
#include "ui/symbol_icon.h"
#include "ui/text_style.h"

#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStackedWidget>
#include <QTextLayout>
#include <QToolButton>
#include <QVBoxLayout>

namespace vesker {

namespace {

// The base of an item cell: a click on a photo or PDF opens the editor.
class CellBase : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> onClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (onClick && rect().contains(event->position().toPoint()))
            onClick();
        QLabel::mouseReleaseEvent(event);
    }
};

// The text as far as it fills `count` wrapped lines, so no line shows cut in half.
QString firstLines(const QString& text, const QFont& font, int width, int count)
{
    QString shown;
    int lines = 0;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        QTextLayout layout(paragraph, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            if (lines == count)
                return shown;
            if (lines > 0)
                shown += QLatin1Char('\n');
            shown += paragraph.mid(line.textStart(), line.textLength()).trimmed();
            ++lines;
        }
        layout.endLayout();
    }
    return shown;
}

QPixmap coverSquare(const QPixmap& source, int side)
{
    const QPixmap scaled
        = source.scaled(side, side, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    return scaled.copy((scaled.width() - side) / 2, (scaled.height() - side) / 2, side, side);
}

} // namespace

SendSheet::SendSheet(const QList<OutgoingItem>& items, Services services, QWidget* parent)
    : QDialog(parent)
    , m_services(std::move(services))
{
    setObjectName(QStringLiteral("sendSheet"));
    setWindowTitle(tr("Send"));
    setWindowModality(Qt::WindowModal);
    setAcceptDrops(true);

    SendSession::Services sessionServices = m_services.session;
    if (!sessionServices.uploader) {
        m_ownUploader = std::make_unique<Uploader>(Uploader::Options {
            .deviceID = thisDeviceID(
                m_services.deviceSettings ? *m_services.deviceSettings : sessionServices.defaults),
            .deviceName = sessionServices.screenName ? sessionServices.screenName() : QString(),
            .stats = m_services.usage});
        sessionServices.uploader = m_ownUploader.get();
    }
    if (RemoteScreensManager* remote = m_services.remote; remote && !sessionServices.remoteScreens)
        sessionServices.remoteScreens = [remote] { return remote->screens(); };
    m_session = std::make_unique<SendSession>(items, sessionServices);
    if (m_services.discover) {
        m_browser = std::make_unique<ScreenBrowser>();
        // Left out by the name the daemon gave this screen: after a clash it is not the screen
        // name, and the other computer that has the screen name is a screen to send to.
        m_browser->followOwnAdvertisement(sessionServices.defaults, sessionServices.screenName);
        connect(m_browser.get(), &ScreenBrowser::macsChanged, this,
            [this] { m_session->setDiscovered(m_browser->macs()); });
    }

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(14);
    auto* title = new QLabel(tr("Send to another screen"), this);
    QFont titleFont = vesker::font(TextStyle::title2, title->font());
    titleFont.setBold(true);
    title->setFont(titleFont);
    column->addWidget(title);

    m_destinations = new DestinationList({.session = *m_session,
                                             .browser = m_browser.get(),
                                             .directory = sessionServices.directory,
                                             .relayBook = sessionServices.relayBook,
                                             .remote = m_services.remote},
        this);
    column->addWidget(m_destinations);
    column->addWidget(makeDivider(this));
    column->addWidget(makeItemsArea());
    column->addWidget(makeCodePrompt());

    m_resultsBox = new QWidget(this);
    m_resultsBox->setObjectName(QStringLiteral("sendResults"));
    m_resultsBox->setAutoFillBackground(true);
    m_resultsBox->setBackgroundRole(QPalette::Base);
    m_resultLines = new QVBoxLayout(m_resultsBox);
    m_resultLines->setContentsMargins(8, 8, 8, 8);
    m_resultLines->setSpacing(2);
    column->addWidget(m_resultsBox);
    column->addStretch();
    column->addWidget(makeFooter());
    setMinimumWidth(560);

    // Ctrl+V alone, anywhere but in a text field, adds to the items; a field keeps its own
    // paste because it claims the key first.
    auto* paste = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_V), this);
    paste->setContext(Qt::WidgetWithChildrenShortcut);
    connect(paste, &QShortcut::activated, this, &SendSheet::pasteFromClipboard);

    connect(m_session.get(), &SendSession::itemsChanged, this, [this] {
        rebuildItems();
        loadThumbnails();
        refreshFooter();
    });
    connect(m_session.get(), &SendSession::selectedChanged, this, &SendSheet::refreshFooter);
    connect(m_session.get(), &SendSession::sendingChanged, this, [this] {
        refreshFooter();
        refreshResults();
    });
    connect(m_session.get(), &SendSession::textDraftChanged, this, &SendSheet::refreshFooter);
    connect(m_session.get(), &SendSession::codePromptChanged, this, &SendSheet::refreshCodePrompt);
    connect(m_session.get(), &SendSession::resultsChanged, this, [this] {
        m_pasteMessage.clear();
        refreshResults();
    });
    connect(m_session.get(), &SendSession::delivered, this, &QDialog::accept);

    rebuildItems();
    refreshCodePrompt();
    refreshResults();
    refreshFooter();
}

SendSheet::~SendSheet()
{
    // The session goes before the uploader it sends through, and its last signals find no
    // views to update.
    m_session->disconnect(this);
    m_session.reset();
}

QWidget* SendSheet::makeItemsArea()
{
    auto* area = new QWidget(this);
    auto* layout = new QVBoxLayout(area);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    auto* header = new QHBoxLayout;
    auto* heading = new QLabel(tr("What to send"), area);
    setTextStyle(*heading, TextStyle::headline);
    header->addWidget(heading);
    header->addStretch();
    auto* paste = new QPushButton(tr("Paste"), area);
    paste->setObjectName(QStringLiteral("sendPaste"));
    paste->setToolTip(tr("Paste an image or text from the clipboard (Ctrl+V)"));
    paste->setAutoDefault(false);
    connect(paste, &QPushButton::clicked, this, &SendSheet::pasteFromClipboard);
    header->addWidget(paste);
    auto* add = new QPushButton(tr("Add photos…"), area);
    add->setObjectName(QStringLiteral("sendAddPhotos"));
    add->setAutoDefault(false);
    connect(add, &QPushButton::clicked, this, &SendSheet::addPhotos);
    header->addWidget(add);
    layout->addLayout(header);

    m_itemsBox = new QStackedWidget(area);
    auto* hint = new QLabel(tr("Drop photos here, click “Add photos…”, or type text below."), area);
    hint->setObjectName(QStringLiteral("sendItemsHint"));
    hint->setAlignment(Qt::AlignCenter);
    hint->setMinimumHeight(60);
    hint->setAutoFillBackground(true);
    hint->setBackgroundRole(QPalette::Base);
    setSecondary(*hint);
    m_itemsBox->addWidget(hint);
    auto* scroll = new QScrollArea(area);
    scroll->setObjectName(QStringLiteral("sendItems"));
    scroll->setFixedHeight(96 + scroll->horizontalScrollBar()->sizeHint().height());
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    auto* strip = new QWidget(scroll);
    m_cells = new QHBoxLayout(strip);
    m_cells->setContentsMargins(4, 4, 4, 4);
    m_cells->setSpacing(8);
    scroll->setWidget(strip);
    m_itemsBox->addWidget(scroll);
    layout->addWidget(m_itemsBox);

    auto* textRow = new QHBoxLayout;
    m_textField = new QLineEdit(area);
    m_textField->setObjectName(QStringLiteral("sendTextDraft"));
    m_textField->setPlaceholderText(tr("Text to send"));
    connect(m_textField, &QLineEdit::textEdited, m_session.get(), &SendSession::setTextDraft);
    m_textField->installEventFilter(this);
    connect(m_session.get(), &SendSession::textDraftChanged, this, [this] {
        if (m_textField->text() != m_session->textDraft())
            m_textField->setText(m_session->textDraft());
    });
    textRow->addWidget(m_textField);
    m_addText = new QPushButton(tr("Add text"), area);
    m_addText->setObjectName(QStringLiteral("sendAddText"));
    m_addText->setAutoDefault(false);
    connect(m_addText, &QPushButton::clicked, m_session.get(), &SendSession::addText);
    textRow->addWidget(m_addText);
    layout->addLayout(textRow);

    m_noteField = new QLineEdit(area);
    m_noteField->setObjectName(QStringLiteral("sendNote"));
    m_noteField->setPlaceholderText(tr("Note (optional)"));
    connect(m_noteField, &QLineEdit::textEdited, m_session.get(), &SendSession::setNote);
    layout->addWidget(m_noteField);
    return area;
}

QWidget* SendSheet::makeCodePrompt()
{
    m_codePrompt = new QWidget(this);
    m_codePrompt->setObjectName(QStringLiteral("codePrompt"));
    auto* layout = new QVBoxLayout(m_codePrompt);
    layout->setContentsMargins(0, 0, 0, 0);
    m_codeTitle = plainLabel(QString(), m_codePrompt);
    setTextStyle(*m_codeTitle, TextStyle::headline);
    layout->addWidget(m_codeTitle);
    layout->addWidget(new QLabel(tr("That screen requires an access code."), m_codePrompt));
    auto* row = new QHBoxLayout;
    m_codeField = new QLineEdit(m_codePrompt);
    m_codeField->setObjectName(QStringLiteral("codeField"));
    m_codeField->setPlaceholderText(tr("Code"));
    m_codeField->setAccessibleName(tr("Code"));
    row->addWidget(m_codeField);
    auto* submit = new QPushButton(tr("Send"), m_codePrompt);
    submit->setObjectName(QStringLiteral("codeSend"));
    submit->setAutoDefault(false);
    auto* dismiss = new QPushButton(tr("Cancel"), m_codePrompt);
    dismiss->setObjectName(QStringLiteral("codeCancel"));
    dismiss->setAutoDefault(false);
    row->addWidget(submit);
    row->addWidget(dismiss);
    layout->addLayout(row);
    auto submitCode = [this] { m_session->submitCode(m_codeField->text()); };
    connect(submit, &QPushButton::clicked, this, submitCode);
    connect(m_codeField, &QLineEdit::returnPressed, this, submitCode);
    connect(dismiss, &QPushButton::clicked, m_session.get(), &SendSession::dismissCodePrompt);
    return m_codePrompt;
}

QWidget* SendSheet::makeFooter()
{
    auto* footer = new QWidget(this);
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(0, 0, 0, 0);
    m_cancel = new QPushButton(tr("Cancel"), footer);
    m_cancel->setObjectName(QStringLiteral("sendCancel"));
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    row->addWidget(m_cancel);
    row->addStretch();
    m_send = new QPushButton(footer);
    m_send->setObjectName(QStringLiteral("sendButton"));
    m_send->setIcon(symbolIcon(QStringLiteral("paperplane"), palette(), QPalette::ButtonText));
    m_send->setDefault(true);
    connect(m_send, &QPushButton::clicked, m_session.get(), &SendSession::send);
    row->addWidget(m_send);
    return footer;
}

QWidget* SendSheet::makeCell(const OutgoingItem& item)
{
    auto* cell = new QWidget;
    cell->setFixedSize(kCellSize + 8, kCellSize + 8);
    auto* base = new CellBase(cell);
    base->setGeometry(0, 8, kCellSize, kCellSize);
    base->setObjectName(QStringLiteral("sendItemCell"));
    const QColor accent = accentColor(palette());
    if (item.imageURL.isEmpty()) {
        base->setTextFormat(Qt::PlainText);
        base->setWordWrap(true);
        base->setAlignment(Qt::AlignTop | Qt::AlignLeft);
        base->setMargin(6);
        setTextStyle(*base, TextStyle::caption);
        base->setText(firstLines(item.text, base->font(), kCellSize - 12, 4));
        base->setStyleSheet(QStringLiteral("background: rgba(%1,%2,%3,26); border-radius: 8px;")
                                .arg(accent.red())
                                .arg(accent.green())
                                .arg(accent.blue()));
    } else {
        base->setToolTip(tr("Click to crop or rotate").toHtmlEscaped());
        const auto thumb = m_thumbs.constFind(item.id);
        if (thumb != m_thumbs.cend()) {
            base->setPixmap(coverSquare(*thumb, kCellSize));
        } else {
            base->setStyleSheet(
                QStringLiteral("background: rgba(128,128,128,51); border-radius: 8px;"));
        }
        base->setCursor(Qt::PointingHandCursor);
        base->onClick = [this, id = item.id] { editItem(id); };
    }
    auto* remove = new QToolButton(cell);
    remove->setObjectName(QStringLiteral("sendItemRemove"));
    remove->setAutoRaise(true);
    remove->setIcon(symbolIcon(QStringLiteral("xmark.circle.fill"), palette()));
    remove->setAccessibleName(tr("Remove"));
    remove->setToolTip(tr("Remove from what is sent"));
    remove->setGeometry(kCellSize - 12, 0, 20, 20);
    connect(remove, &QToolButton::clicked, this, [this, id = item.id] {
        QList<OutgoingItem> items = m_session->items();
        items.removeIf([&](const OutgoingItem& i) { return i.id == id; });
        m_session->setItems(items);
    });
    return cell;
}

void SendSheet::rebuildItems()
{
    while (QLayoutItem* old = m_cells->takeAt(0)) {
        if (QWidget* widget = old->widget()) {
            // The remove button may be the sender of the signal that brought us here.
            widget->hide();
            widget->deleteLater();
        }
        delete old;
    }
    for (const OutgoingItem& item : m_session->items())
        m_cells->addWidget(makeCell(item));
    m_cells->addStretch();
    m_itemsBox->setCurrentIndex(m_session->items().isEmpty() ? 0 : 1);
}

void SendSheet::loadThumbnails()
{
    if (!m_services.thumbnails)
        return;
    for (const OutgoingItem& item : m_session->items()) {
        if (item.imageURL.isEmpty() || m_thumbs.contains(item.id))
            continue;
        m_services.thumbnails->loadRetrying(item.imageURL.toLocalFile(),
            kThumbnailPixels * devicePixelRatio(), this, [this, id = item.id](const QImage& image) {
                if (image.isNull())
                    return;
                QPixmap pixmap = QPixmap::fromImage(image);
                m_thumbs.insert(id, pixmap);
                rebuildItems();
            });
    }
}

void SendSheet::pasteFromClipboard()
{
    const QList<OutgoingItem> found
        = OutgoingItem::fromPasteboard(QGuiApplication::clipboard()->mimeData());
    if (found.isEmpty()) {
        m_pasteMessage = {tr("Nothing on the clipboard I can send (image, image file or text).")};
        refreshResults();
        return;
    }
    m_session->setItems(m_session->items() + found);
}

void SendSheet::addPhotos()
{
    const QStringList paths = m_services.pickFiles
        ? m_services.pickFiles(this)
        : QFileDialog::getOpenFileNames(this, tr("Add photos"), QString(),
            tr("Photos and PDFs (*.jpg *.jpeg *.png *.heic *.heif *.gif *.webp *.tif *.tiff "
               "*.bmp *.pdf)"));
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    addFiles(urls);
}

void SendSheet::addFiles(const QList<QUrl>& urls)
{
    QList<OutgoingItem> items = m_session->items();
    for (const QUrl& url : urls) {
        OutgoingItem item;
        item.imageURL = url;
        items.append(item);
    }
    if (items.size() != m_session->items().size())
        m_session->setItems(items);
}

void SendSheet::editItem(const QUuid& id)
{
    const auto& items = m_session->items();
    const auto it = std::find_if(
        items.begin(), items.end(), [&](const OutgoingItem& i) { return i.id == id; });
    if (it == items.end() || it->imageURL.isEmpty() || !m_services.thumbnails)
        return;
    auto* editor = new ImageEditSheet(
        *m_services.thumbnails, it->imageURL.toLocalFile(), tr("Edit before sending"),
        [this, id](const ImageEditOperations::Encoded& encoded) { applyEdit(id, encoded.data); },
        this);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    editor->open();
}

void SendSheet::applyEdit(const QUuid& id, const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    QList<OutgoingItem> items = m_session->items();
    const auto it = std::find_if(
        items.begin(), items.end(), [&](const OutgoingItem& i) { return i.id == id; });
    if (it == items.end())
        return;
    const bool png
        = QFileInfo(it->imageURL.toLocalFile()).suffix().compare(u"png", Qt::CaseInsensitive) == 0;
    const QString name
        = QStringLiteral("Edited %1.%2")
              .arg(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().left(8),
                  png ? QStringLiteral("png") : QStringLiteral("jpg"));
    const std::optional<QString> path = platform::writePrivateTempFile(name, bytes);
    if (!path)
        return;
    it->imageURL = QUrl::fromLocalFile(*path);
    m_thumbs.remove(id);
    m_session->setItems(items);
    rebuildItems();
    loadThumbnails();
}

void SendSheet::refreshCodePrompt()
{
    const std::optional<QString>& name = m_session->codePromptFor();
    m_codePrompt->setVisible(name.has_value());
    if (!name)
        return;
    m_codeTitle->setText(tr("Access code for %1").arg(*name));
    m_codeField->setText(m_session->codeInput());
    // Asked again after a code that did not work: typing replaces it.
    m_codeField->selectAll();
    m_codeField->setFocus();
}

void SendSheet::refreshResults()
{
    while (QLayoutItem* old = m_resultLines->takeAt(0)) {
        delete old->widget();
        delete old;
    }
    QStringList lines = m_pasteMessage;
    if (lines.isEmpty() && m_session->isSending()) {
        // One line per screen while sending, its latest.
        for (const SendSession::ScreenStatus& status : m_session->statuses())
            lines.append(
                status.lines.isEmpty() ? tr("%1: sending…").arg(status.name) : status.lines.last());
    } else if (lines.isEmpty()) {
        lines = m_session->results();
    }
    for (const QString& line : lines) {
        QLabel* label = plainLabel(line, m_resultsBox);
        label->setObjectName(QStringLiteral("sendResultLine"));
        setTextStyle(*label, TextStyle::callout);
        label->setWordWrap(true);
        m_resultLines->addWidget(label);
    }
    m_resultsBox->setVisible(!lines.isEmpty());
}

void SendSheet::refreshFooter()
{
    const int pending
        = int(m_session->items().size()) + (m_session->textDraft().trimmed().isEmpty() ? 0 : 1);
    const bool sending = m_session->isSending();
    m_send->setText(sending ? tr("Sending…")
            : pending == 1  ? tr("Send 1 item")
                            : tr("Send %1 items").arg(pending));
    m_send->setEnabled(pending > 0 && !m_session->selected().isEmpty() && !sending);
    const QString draft = m_session->textDraft();
    m_addText->setEnabled(!draft.trimmed().isEmpty() || draft.contains(QLatin1Char('\n')));
}

void SendSheet::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    if (m_browser) {
        m_browser->setRunning(true);
        m_browser->startPathMonitor();
        m_browser->start();
    }
    loadThumbnails();
}

bool SendSheet::eventFilter(QObject* watched, QEvent* event)
{
    // Return in the text field adds the text and stops there: the field ignores the key, and the
    // sheet's default button would otherwise send everything before a person has finished. With
    // nothing typed there is nothing to add, and Return is the default button's, as it reads.
    if (watched == m_textField && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (!m_textField->text().trimmed().isEmpty())
                m_session->addText();
            else if (m_send->isEnabled())
                m_send->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void SendSheet::dragEnterEvent(QDragEnterEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); })) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
}

void SendSheet::dropEvent(QDropEvent* event)
{
    if (!event->mimeData()->hasUrls())
        return;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    addFiles(sendableDroppedFiles(event->mimeData()->urls()));
}

void SendSheet::done(int result)
{
    // Nothing sent on after the sheet is gone, also while it waits to be deleted; the views
    // keep the last lines they showed.
    m_session->disconnect(this);
    m_session->cancel();
    QDialog::done(result);
}

} // namespace vesker
