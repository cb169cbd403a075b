#include "tray/tray_icon_view.h"

#include "platform/defaults.h"
#include "platform/log.h"
#include "tray/tray_panel.h"
#include "tray/tray_panel_model.h"
#include "ui/app_icon.h"
#include "ui/text_style.h"
#include "window/window_manager.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>

namespace vesker {

namespace {

// The badge keeps to this share of the icon's width, so the symbol stays in sight.
constexpr qreal kBadgeShare = 0.68;
constexpr int kSmallestBadgeText = 7;
// Past two digits the badge stays as it is; the tooltip has the number.
QString badgeText(int inboxCount)
{
    return inboxCount > 99 ? QStringLiteral("99+") : TrayPanelModel::label(inboxCount).title;
}

} // namespace
TrayIcon::TrayIcon(Services services, QObject* parent)
    : QObject(parent)
    , m_model(services.model)
    , m_defaults(services.defaults)
    , m_thumbnails(services.thumbnails)
    , m_capture(services.capture)
    , m_windows(services.windows)
{
    m_menu = std::make_unique<QMenu>();
    QAction* open = m_menu->addAction(QStringLiteral("Open window"));
    connect(open, &QAction::triggered, this, [this] {
        if (m_windows)
            m_windows->show();
    });
    m_doNotDisturb = m_menu->addAction(QStringLiteral("Do Not Disturb"));
    m_doNotDisturb->setCheckable(true);
    connect(
        m_doNotDisturb, &QAction::toggled, this, [this](bool on) { m_model.setDoNotDisturb(on); });
    QAction* capture = m_menu->addAction(QStringLiteral("Capture an area…"));
    connect(capture, &QAction::triggered, this, [this] {
        TrayPanel& panel = ensurePanel();
        // A failure is told in the panel, which opens where the icon is.
        panel.setAnchor(anchor());
        panel.startCapture();
    });
    m_menu->addSeparator();
    QAction* quit = m_menu->addAction(QStringLiteral("Quit"));
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    m_tray.setContextMenu(m_menu.get());

    connect(&m_tray, &QSystemTrayIcon::activated, this,
        [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Context)
                return;
            if (m_panel && m_panel->isVisible())
                m_panel->hide();
            else
                openPanel();
        });
    connect(&m_model, &TrayPanelModel::changed, this, &TrayIcon::updateLabel);
    connect(&m_defaults, &platform::Defaults::changed, this, [this](const QString& key) {
        if (key == QLatin1String(window_keys::kShowTrayIcon))
            applyShowTrayIcon();
    });
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        qCInfo(lcApp) << "[tray] this desktop shows no tray icons; the window is reached by "
                         "starting Vesker again";
    applyShowTrayIcon();
}

TrayIcon::~TrayIcon()
{
    delete m_panel;
}

QPixmap TrayIcon::iconPixmap(int inboxCount, int side)
{
    const TrayPanelModel::Label label = TrayPanelModel::label(inboxCount);
    // The program's own icon, so the tray shows what the launcher and the task bar show.
    QPixmap pixmap = appIcon().pixmap(side, side);
    if (pixmap.size() != QSize(side, side))
        pixmap = pixmap.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    pixmap.setDevicePixelRatio(1);
    if (label.title.isEmpty())
        return pixmap;

    // The count as a badge in the top corner, over no more than the icon's right part: a count
    // too long to read there at a small size becomes a plain dot, and the tooltip has it.
    const QString text = badgeText(inboxCount);
    const qreal widest = side * kBadgeShare;
    QFont font = QGuiApplication::font();
    font.setBold(true);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int pixels = qRound(side * 0.42); pixels >= kSmallestBadgeText; --pixels) {
        font.setPixelSize(pixels);
        const QFontMetricsF metrics(font);
        const qreal height = std::max<qreal>(metrics.height(), side * 0.5);
        const qreal width = std::max(height, metrics.horizontalAdvance(text) + height * 0.4);
        if (width > widest)
            continue;
        const QRectF badge(side - width, 0, width, height);
        painter.setBrush(destructiveColor());
        painter.drawRoundedRect(badge, height / 2, height / 2);
        painter.setPen(Qt::white);
        painter.setFont(font);
        painter.drawText(badge, Qt::AlignCenter, text);
        return pixmap;
    }
    const qreal dot = side * 0.4;
    painter.setBrush(destructiveColor());
    painter.drawEllipse(QRectF(side - dot, 0, dot, dot));
    return pixmap;
}

void TrayIcon::updateLabel()
{
    const QSignalBlocker quiet(m_doNotDisturb);
    m_doNotDisturb->setChecked(m_model.doNotDisturb());
    // Every arrival changes the model: where no tray shows the icon, drawing it is wasted.
    if (m_tray.isVisible())
        drawLabel();
}

void TrayIcon::drawLabel()
{
    const int count = m_model.inboxCount();
    if (count == m_shownCount)
        return;
    m_shownCount = count;
    m_tray.setToolTip(TrayPanelModel::label(count).toolTip);
    const QString badge = badgeText(count);
    if (!m_shownBadge.isNull() && badge == m_shownBadge)
        return;
    m_shownBadge = badge.isNull() ? QStringLiteral("") : badge;
    QIcon icon;
    // Sizes trays ask for, from a 16-pixel panel to a high-density one.
    for (const int side : appIconSides())
        icon.addPixmap(iconPixmap(count, side));
    m_tray.setIcon(icon);
}

void TrayIcon::applyShowTrayIcon()
{
    const bool show = m_defaults.boolValue(QLatin1String(window_keys::kShowTrayIcon), true)
        && QSystemTrayIcon::isSystemTrayAvailable();
    if (show)
        drawLabel(); // before it shows, so that it never shows an old count or no picture
    m_tray.setVisible(show);
    if (!show && m_panel)
        m_panel->hide();
}

TrayPanel& TrayIcon::ensurePanel()
{
    if (!m_panel) {
        m_panel = new TrayPanel({.model = m_model,
            .thumbnails = m_thumbnails,
            .capture = m_capture,
            .windows = m_windows});
        connect(
            m_panel, &TrayPanel::captureAndSendRequested, this, &TrayIcon::captureAndSendRequested);
    }
    return *m_panel;
}

void TrayIcon::openPanel()
{
    ensurePanel().popUpNear(anchor());
}

QRect TrayIcon::anchor() const
{
    // A tray that speaks over D-Bus tells us no geometry; the pointer is where the click was.
    const QRect geometry = m_tray.geometry();
    return geometry.isValid() ? geometry : QRect(QCursor::pos(), QSize(1, 1));
}

} // namespace vesker
