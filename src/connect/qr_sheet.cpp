#include "connect/qr_sheet.h"

#include "access/access_manager.h"
#include "platform/defaults.h"
#include "platform/qr_code.h"
#include "receive/browser_screen.h"
#include "receive/server_controller.h"
#include "ui/symbol_icon.h"
#include "ui/text_style.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace vesker {

namespace {

// Large enough for a phone held at arm's length, small enough for a laptop's sheet.
constexpr int kModuleSize = 6;

// What the sheet shows follows these settings while it is open.
const QStringList kFollowedKeys {QStringLiteral("allowBrowserScreens"), QStringLiteral("viewerPIN"),
    QStringLiteral("accessPolicy"), QStringLiteral("accessCode")};

QLabel* sheetLabel(const QString& name, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignHCenter);
    return label;
}

QLabel* wrappedLabel(const QString& name, const QString& text, QWidget* parent)
{
    QLabel* label = sheetLabel(name, parent);
    label->setText(text);
    label->setWordWrap(true);
    return label;
}

QString noAddressText()
{
    return QStringLiteral("No network address found. Connect this computer to a network.");
}

// The link as a code to scan; without one the label goes, and the sheet says why there is none.
void showCode(QLabel& label, const std::optional<QString>& url)
{
    label.setVisible(url.has_value());
    if (!url) {
        label.setPixmap({});
        label.setMinimumSize(0, 0);
        return;
    }
    const int ratio = std::max(1, qRound(label.devicePixelRatioF()));
    QPixmap pixmap = QPixmap::fromImage(platform::qrCodeImage(url->toUtf8(), kModuleSize * ratio));
    pixmap.setDevicePixelRatio(ratio);
    label.setPixmap(pixmap);
    // Never squeezed: a code cut short cannot be scanned.
    label.setMinimumSize(pixmap.deviceIndependentSize().toSize());
}

} // namespace

QRSheet::QRSheet(ServerController& server, platform::Defaults& defaults, QWidget* parent)
    : QDialog(parent)
    , m_server(server)
    , m_defaults(defaults)
{
    setObjectName(QStringLiteral("connectSheet"));
    setWindowTitle(QStringLiteral("Connect"));
    setWindowModality(Qt::WindowModal);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(12);
    // Grows to the code when browser screens are allowed while the sheet is open.
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    auto* tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("connectTabs"));
    // Wide enough for the browser screen's link beside its button, whichever tab opens first.
    tabs->setMinimumWidth(fontMetrics().averageCharWidth() * 64);
    tabs->addTab(makePhonesTab(), QStringLiteral("Phones"));
    tabs->addTab(makeBrowserScreenTab(), QStringLiteral("Browser screen"));
    layout->addWidget(tabs);

    auto* done = new QPushButton(QStringLiteral("Done"), this);
    done->setObjectName(QStringLiteral("connectDone"));
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(done, 0, Qt::AlignRight);

    // A code for an address the computer left since the last look would send phones nowhere.
    server.refreshAddresses();
    refresh();
    connect(&server, &ServerController::addressesChanged, this, &QRSheet::refresh);
    connect(&server, &ServerController::statusTextChanged, this, &QRSheet::refresh);
    connect(&defaults, &platform::Defaults::changed, this, [this](const QString& key) {
        if (kFollowedKeys.contains(key))
            refresh();
    });
}

QWidget* QRSheet::makePhonesTab()
{
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("phonesTab"));
    auto* layout = new QVBoxLayout(page);
    layout->setSpacing(12);

    auto* title = sheetLabel(QStringLiteral("connectTitle"), page);
    title->setText(QStringLiteral("Connect a phone"));
    setTextStyle(*title, TextStyle::title3);
    layout->addWidget(title);

    m_phoneCode = sheetLabel(QStringLiteral("qrCode"), page);
    m_phoneCode->setAccessibleName(QStringLiteral("QR code for phones"));
    layout->addWidget(m_phoneCode, 0, Qt::AlignHCenter);
    // Across the whole width: a wrapped label laid out at its own width loses its last line.
    m_phoneNoAddress = wrappedLabel(QStringLiteral("connectNoAddress"), noAddressText(), page);
    layout->addWidget(m_phoneNoAddress);
    m_phoneStatus = wrappedLabel(QStringLiteral("connectStatus"), {}, page);
    setSecondary(*m_phoneStatus);
    layout->addWidget(m_phoneStatus);

    m_phoneHint = sheetLabel(QStringLiteral("connectHint"), page);
    m_phoneHint->setText(QStringLiteral("Point your phone's camera at the code."));
    setSecondary(*m_phoneHint);
    layout->addWidget(m_phoneHint);

    m_addresses = sheetLabel(QStringLiteral("connectAddresses"), page);
    m_addresses->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_addresses);

    m_accessCode = sheetLabel(QStringLiteral("accessCode"), page);
    m_accessCode->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_accessCode);
    layout->addStretch();
    return page;
}

QWidget* QRSheet::makeBrowserScreenTab()
{
    m_screenPages = new QStackedWidget(this);
    m_screenPages->setObjectName(QStringLiteral("browserScreenTab"));

    auto* on = new QWidget(m_screenPages);
    on->setObjectName(QStringLiteral("browserScreenOn"));
    auto* layout = new QVBoxLayout(on);
    layout->setSpacing(12);
    auto* title = sheetLabel(QStringLiteral("browserScreenTitle"), on);
    title->setText(QStringLiteral("Show this Inbox in a browser"));
    setTextStyle(*title, TextStyle::title3);
    layout->addWidget(title);
    m_screenCode = sheetLabel(QStringLiteral("screenQrCode"), on);
    m_screenCode->setAccessibleName(QStringLiteral("QR code for the browser screen"));
    layout->addWidget(m_screenCode, 0, Qt::AlignHCenter);
    m_screenNoAddress = wrappedLabel(QStringLiteral("screenNoAddress"), noAddressText(), on);
    layout->addWidget(m_screenNoAddress);
    m_screenStatus = wrappedLabel(QStringLiteral("screenStatus"), {}, on);
    setSecondary(*m_screenStatus);
    layout->addWidget(m_screenStatus);
    m_screenHint = wrappedLabel(QStringLiteral("browserScreenHint"),
        QStringLiteral("Open this link in any web browser on the same network \u2014 a TV, a "
                       "tablet or another computer \u2014 to show this Inbox there as items "
                       "arrive."),
        on);
    setSecondary(*m_screenHint);
    layout->addWidget(m_screenHint);
    auto* linkRow = new QHBoxLayout;
    m_screenLink = sheetLabel(QStringLiteral("screenLink"), on);
    m_screenLink->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_copyScreenLink = new QPushButton(QStringLiteral("Copy Link"), on);
    m_copyScreenLink->setObjectName(QStringLiteral("copyScreenLink"));
    m_copyScreenLink->setAccessibleName(QStringLiteral("Copy the browser screen's link"));
    connect(m_copyScreenLink, &QPushButton::clicked, this, [this] {
        if (const std::optional<QString> url = m_server.browserScreenURL())
            QGuiApplication::clipboard()->setText(*url);
    });
    linkRow->addStretch();
    linkRow->addWidget(m_screenLink);
    linkRow->addWidget(m_copyScreenLink);
    linkRow->addStretch();
    layout->addLayout(linkRow);
    m_viewerPin = wrappedLabel(QStringLiteral("viewerPinNote"),
        QStringLiteral("Viewers type the viewer PIN set in Settings \u25B8 Access before they can "
                       "act on an item."),
        on);
    setSecondary(*m_viewerPin);
    layout->addWidget(m_viewerPin);
    layout->addStretch();
    m_screenPages->addWidget(on);

    auto* off = new QWidget(m_screenPages);
    off->setObjectName(QStringLiteral("browserScreenOff"));
    auto* offLayout = new QVBoxLayout(off);
    offLayout->setSpacing(12);
    offLayout->addStretch();
    auto* symbol = new QLabel(off);
    const int side = 3 * symbol->fontMetrics().height();
    symbol->setPixmap(
        symbolIcon(QStringLiteral("safari"), off->palette(), QPalette::PlaceholderText)
            .pixmap(side, side));
    offLayout->addWidget(symbol, 0, Qt::AlignHCenter);
    auto* offTitle = sheetLabel(QStringLiteral("browserScreenOffTitle"), off);
    offTitle->setText(QStringLiteral("Browser screens are off"));
    setTextStyle(*offTitle, TextStyle::title3);
    offLayout->addWidget(offTitle);
    offLayout->addWidget(wrappedLabel(QStringLiteral("browserScreenExplained"),
        QStringLiteral("A browser screen shows this Inbox live in any web browser on the "
                       "network \u2014 a TV, a tablet or another computer \u2014 each item large "
                       "as it arrives."),
        off));
    QLabel* where = wrappedLabel(QStringLiteral("browserScreenWhere"),
        QStringLiteral("Allow them in Settings \u25B8 Access \u25B8 Browser screens; their link "
                       "and QR code then appear here."),
        off);
    setSecondary(*where);
    offLayout->addWidget(where);
    offLayout->addStretch();
    m_screenPages->addWidget(off);
    return m_screenPages;
}

void QRSheet::refresh()
{
    const QStringList addresses = m_server.addresses();
    // Without an address there is nothing to scan: the sheet says so, and what the server does.
    const std::optional<QString> pairing = m_server.pairingURL();
    showCode(*m_phoneCode, pairing);
    m_phoneHint->setVisible(pairing.has_value());
    m_phoneNoAddress->setVisible(!pairing);
    m_phoneStatus->setText(m_server.statusText());
    m_phoneStatus->setVisible(!pairing);
    m_addresses->setText(addresses.join(u'\n'));
    m_addresses->setVisible(!addresses.isEmpty());
    const bool codeRequired = m_server.access().codeRequired();
    m_accessCode->setText(codeRequired
            ? QStringLiteral("Access code: ") + m_server.access().accessCode()
            : QString());
    m_accessCode->setVisible(codeRequired);

    const bool allowed = m_defaults.boolValue(QStringLiteral("allowBrowserScreens"), false);
    m_screenPages->setCurrentIndex(allowed ? 0 : 1);
    const std::optional<QString> screen = m_server.browserScreenURL();
    // Drawn while the page is hidden too, so that the sheet has its room when it is allowed.
    showCode(*m_screenCode, screen);
    m_screenHint->setVisible(screen.has_value());
    m_screenNoAddress->setVisible(!screen);
    m_screenStatus->setText(m_server.statusText());
    m_screenStatus->setVisible(!screen);
    m_screenLink->setText(screen.value_or(QString()));
    m_screenLink->setVisible(screen.has_value());
    m_copyScreenLink->setVisible(screen.has_value());
    m_viewerPin->setVisible(!m_server.browserScreen().viewerPIN().isEmpty());
}

} // namespace vesker
