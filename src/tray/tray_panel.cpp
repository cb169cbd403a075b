#include "tray/tray_panel.h"

#include "platform/permissions.h"
#include "send/capture_overlay_view.h"
#include "send/screen_capture.h"
#include "ui/symbol_icon.h"
#include "ui/text_style.h"
#include "ui/thumbnail_view.h"
#include "window/window_manager.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QUrl>

namespace vesker {

namespace {

constexpr int kInset = 12;
constexpr int kSpacing = 8;
constexpr int kPicture = 44;
constexpr int kThumbnailPixels = 120;
constexpr int kBlurRadius = 6;

// One line of outside text, cut with an ellipsis at whatever width the row leaves it.
class ElidedLabel : public QLabel {
public:
    ElidedLabel(const QString& text, QWidget* parent)
        : QLabel(parent)
        , m_full(QString(text).replace(u'\n', u' '))
    {
        setTextFormat(Qt::PlainText);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        setText(m_full);
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QLabel::resizeEvent(event);
        setText(fontMetrics().elidedText(m_full, Qt::ElideRight, width()));
    }

private:
    QString m_full;
};

// A compact button, as the rows' Copy and Archive and the error's settings button are.
QToolButton* smallButton(const QString& text, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    setTextStyle(*button, TextStyle::caption);
    button->setAccessibleName(text);
    return button;
}

QLabel* captionLabel(QWidget* parent)
{
    QLabel* label = plainLabel({}, parent);
    setTextStyle(*label, TextStyle::caption);
    setSecondary(*label);
    label->setWordWrap(true);
    return label;
}

} // namespace

TrayPanel::TrayPanel(Services services, QWidget* parent)
    : QWidget(parent, Qt::Popup)
    , m_model(services.model)
    , m_thumbnails(services.thumbnails)
    , m_capture(services.capture)
    , m_windows(services.windows)
{
    setObjectName(QStringLiteral("trayPanel"));
    setFixedWidth(kWidth);
    setAutoFillBackground(true);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kInset, kInset, kInset, kInset);
    column->setSpacing(kSpacing);

    auto* header = new QHBoxLayout;
    auto* name = new QLabel(QStringLiteral("Vesker"), this);
    setTextStyle(*name, TextStyle::headline);
    m_dot = new QLabel(this);
    m_dot->setObjectName(QStringLiteral("serverDot"));
    m_count = captionLabel(this);
    m_count->setObjectName(QStringLiteral("inboxCount"));
    m_count->setWordWrap(false);
    header->addWidget(name);
    header->addStretch();
    header->addWidget(m_dot);
    header->addWidget(m_count);
    column->addLayout(header);
    column->addWidget(makeDivider(this));

    // The label on the left and the switch at the far right, as a settings switch stands.
    auto* doNotDisturb = new QHBoxLayout;
    doNotDisturb->setSpacing(6);
    m_bell = new QLabel(this);
    auto* label = new QLabel(QStringLiteral("Do Not Disturb"), this);
    m_doNotDisturb = new QCheckBox(this);
    m_doNotDisturb->setObjectName(QStringLiteral("doNotDisturb"));
    m_doNotDisturb->setAccessibleName(label->text());
    label->setBuddy(m_doNotDisturb);
    connect(m_doNotDisturb, &QCheckBox::toggled, this,
        [this](bool on) { m_model.setDoNotDisturb(on); });
    doNotDisturb->addWidget(m_bell);
    doNotDisturb->addWidget(label);
    doNotDisturb->addStretch();
    doNotDisturb->addWidget(m_doNotDisturb);
    column->addLayout(doNotDisturb);
    m_holdLine = captionLabel(this);
    m_holdLine->setObjectName(QStringLiteral("holdLine"));
    m_heldBackLine = captionLabel(this);
    m_heldBackLine->setObjectName(QStringLiteral("heldBackLine"));
    column->addWidget(m_holdLine);
    column->addWidget(m_heldBackLine);

    column->addWidget(makeDivider(this));
    auto* capture = new QPushButton(QStringLiteral("Capture an area…"), this);
    capture->setObjectName(QStringLiteral("captureButton"));
    capture->setFlat(true);
    capture->setIcon(symbolIcon(QStringLiteral("viewfinder"), palette()));
    capture->setToolTip(QStringLiteral("Drag a box on the screen and send what is inside it"));
    capture->setStyleSheet(QStringLiteral("text-align: left"));
    connect(capture, &QPushButton::clicked, this, &TrayPanel::startCapture);
    column->addWidget(capture, 0, Qt::AlignLeft);

    m_errorBox = new QWidget(this);
    auto* errorColumn = new QVBoxLayout(m_errorBox);
    errorColumn->setContentsMargins(0, 0, 0, 0);
    errorColumn->setSpacing(6);
    m_errorText = captionLabel(m_errorBox);
    m_errorText->setObjectName(QStringLiteral("captureError"));
    // This desktop has no Screen Recording pane; the button tries its own settings and says so
    // when there is no page to open.
    m_errorSettings = smallButton(QStringLiteral("Open screenshot settings"), m_errorBox);
    connect(m_errorSettings, &QToolButton::clicked, this, [this] {
        if (openPrivacySettings(QStringLiteral("Privacy_ScreenCapture")))
            return;
        m_errorSettings->setEnabled(false);
        m_errorSettings->setToolTip(
            QStringLiteral("This desktop has no settings page for screenshots"));
    });
    errorColumn->addWidget(m_errorText);
    errorColumn->addWidget(m_errorSettings, 0, Qt::AlignLeft);
    m_errorBox->hide();
    column->addWidget(m_errorBox);

    column->addWidget(makeDivider(this));
    m_empty = new QLabel(QStringLiteral("Nothing on screen"), this);
    m_empty->setObjectName(QStringLiteral("nothingOnScreen"));
    setSecondary(*m_empty);
    m_empty->setContentsMargins(0, 8, 0, 8);
    column->addWidget(m_empty);
    m_rows = new QVBoxLayout;
    m_rows->setSpacing(kSpacing);
    column->addLayout(m_rows);
    column->addWidget(makeDivider(this));

    auto* footer = new QHBoxLayout;
    auto* open = new QPushButton(QStringLiteral("Open window"), this);
    open->setObjectName(QStringLiteral("openWindow"));
    connect(open, &QPushButton::clicked, this, [this] {
        hide();
        if (m_windows)
            m_windows->show();
    });
    auto* quit = new QPushButton(QStringLiteral("Quit"), this);
    quit->setObjectName(QStringLiteral("quit"));
    // Nothing is torn down in order: the store writes as it goes.
    connect(quit, &QPushButton::clicked, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    footer->addWidget(open);
    footer->addStretch();
    footer->addWidget(quit);
    column->addLayout(footer);

    connect(&m_model, &TrayPanelModel::changed, this, &TrayPanel::scheduleRebuild);
    rebuild();
}

void TrayPanel::scheduleRebuild()
{
    // Hidden, it is rebuilt as it pops up again: until then an arrival costs it nothing.
    if (!isVisible())
        return;
    // A row's own Archive button is still on the stack when the store announces the change.
    m_rebuild.request();
}

void TrayPanel::rebuild()
{
    const bool receiving = m_model.receiving();
    m_dot->setPixmap(
        statusDot(receiving ? successColor() : destructiveColor(), 8, devicePixelRatioF()));
    m_dot->setToolTip(receiving ? QStringLiteral("Receiving") : QStringLiteral("Not receiving"));
    m_count->setText(m_model.inboxCountText());

    const bool doNotDisturb = m_model.doNotDisturb();
    {
        const QSignalBlocker quiet(m_doNotDisturb);
        m_doNotDisturb->setChecked(doNotDisturb);
    }
    m_bell->setPixmap(symbolIcon(
        doNotDisturb ? QStringLiteral("bell.slash.fill") : QStringLiteral("bell"), palette())
                          .pixmap(QSize(16, 16), devicePixelRatioF()));
    const auto hold = m_model.holdLine();
    m_holdLine->setText(hold.value_or(QString()));
    m_holdLine->setVisible(hold.has_value());
    const auto heldBack = m_model.heldBackLine();
    m_heldBackLine->setText(heldBack.value_or(QString()));
    m_heldBackLine->setVisible(heldBack.has_value());

    const QList<RecentRow> rows = m_model.recentRows();
    QHash<QUuid, Shown> kept;
    for (const RecentRow& row : rows) {
        Shown shown = m_shown.take(row.id);
        if (!shown.widget || shown.row != row) {
            delete shown.widget;
            shown = {row, makeRow(row)};
        }
        m_rows->removeWidget(shown.widget);
        m_rows->addWidget(shown.widget);
        kept.insert(row.id, shown);
    }
    // Gone rows go later: one of them may hold the Archive button being clicked.
    for (const Shown& gone : std::as_const(m_shown)) {
        if (gone.widget) {
            gone.widget->hide();
            gone.widget->deleteLater();
        }
    }
    m_shown = kept;
    m_empty->setVisible(rows.isEmpty());
    adjustSize();
}

QWidget* TrayPanel::makeRow(const RecentRow& row)
{
    auto* widget = new QWidget(this);
    widget->setObjectName(QStringLiteral("recentRow"));
    widget->setProperty("itemID", row.id);
    auto* line = new QHBoxLayout(widget);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(10);

    if (row.kind == ItemKind::photo) {
        auto* thumbnail = new ThumbnailView(m_thumbnails, widget);
        thumbnail->setFixedSize(kPicture, kPicture);
        thumbnail->setBlurRadius(row.blurred ? kBlurRadius : 0);
        thumbnail->setSource(row.picture, kThumbnailPixels, ThumbnailView::ContentMode::fill);
        line->addWidget(thumbnail);
    } else {
        auto* symbol = new QLabel(widget);
        symbol->setFixedSize(kPicture, kPicture);
        symbol->setAlignment(Qt::AlignCenter);
        symbol->setPixmap(
            symbolIcon(QStringLiteral("text.quote"), palette(), QPalette::PlaceholderText)
                .pixmap(QSize(24, 24), devicePixelRatioF()));
        line->addWidget(symbol);
    }

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto* title = new ElidedLabel(row.title, widget);
    title->setObjectName(QStringLiteral("rowTitle"));
    auto* caption = new ElidedLabel(row.caption, widget);
    setTextStyle(*caption, TextStyle::caption);
    setSecondary(*caption);
    texts->addWidget(title);
    texts->addWidget(caption);
    line->addLayout(texts, 1);

    if (row.barcode) {
        QToolButton* copy = smallButton(QStringLiteral("Copy"), widget);
        copy->setObjectName(QStringLiteral("copyButton"));
        connect(copy, &QToolButton::clicked, this,
            [code = *row.barcode] { TrayPanelModel::copyPayload(code); });
        line->addWidget(copy);
    }
    QToolButton* archive = smallButton(QStringLiteral("Archive"), widget);
    archive->setObjectName(QStringLiteral("archiveButton"));
    connect(archive, &QToolButton::clicked, this, [this, id = row.id] { m_model.archive(id); });
    line->addWidget(archive);
    return widget;
}

void TrayPanel::popUpNear(const QRect& anchor)
{
    m_anchor = anchor;
    rebuild();
    adjustSize();
    QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(QPoint(), size());
    // Below an icon in a top panel, above one in a bottom panel.
    QPoint at(anchor.center().x() - width() / 2, anchor.bottom() + 4);
    if (anchor.center().y() > area.center().y())
        at.setY(anchor.top() - height() - 4);
    at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - width())));
    at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - height())));
    move(at);
    show();
    raise();
    activateWindow();
}

void TrayPanel::startCapture()
{
    setCaptureError(std::nullopt);
    // The panel would cover what the user wants to capture.
    hide();
    m_capture.captureArea([self = QPointer(this)](const CaptureResult& result) {
        if (self)
            self->captureFinished(result);
    });
}

void TrayPanel::captureFinished(const CaptureResult& result)
{
    if (result.path) {
        if (m_windows)
            m_windows->show();
        Q_EMIT captureAndSendRequested(QUrl::fromLocalFile(*result.path));
        return;
    }
    const QString text = captureFailureText(result.failure);
    if (text.isEmpty())
        return;
    setCaptureError(text);
    // The panel went away for the capture; the user has to see why nothing happened.
    popUpNear(m_anchor);
}

void TrayPanel::setCaptureError(std::optional<QString> text)
{
    m_captureError = std::move(text);
    m_errorText->setText(m_captureError.value_or(QString()));
    m_errorBox->setVisible(m_captureError.has_value());
    m_errorSettings->setEnabled(true);
    m_errorSettings->setToolTip({});
}

} // namespace vesker
