#include "connect/qr_sheet.h"

#include "access/access_manager.h"
#include "platform/qr_code.h"
#include "receive/server_controller.h"
#include "ui/text_style.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesker {

namespace {
// Large enough for a phone held at arm's length, small enough for a laptop's sheet.
constexpr int kModuleSize = 6;

QLabel* sheetLabel(const QString& name, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignHCenter);
    return label;
}
} // namespace

QRSheet::QRSheet(ServerController& server, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("connectSheet"));
    setWindowTitle(QStringLiteral("Connect a phone"));
    setWindowModality(Qt::WindowModal);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(12);

    auto* title = sheetLabel(QStringLiteral("connectTitle"), this);
    title->setText(QStringLiteral("Connect a phone"));
    setTextStyle(*title, TextStyle::title3);
    layout->addWidget(title);

    auto* code = sheetLabel(QStringLiteral("qrCode"), this);
    code->setWordWrap(true);
    layout->addWidget(code, 0, Qt::AlignHCenter);

    auto* hint = sheetLabel(QStringLiteral("connectHint"), this);
    hint->setText(QStringLiteral("Point your phone's camera at the code."));
    setSecondary(*hint);
    layout->addWidget(hint);

    auto* addresses = sheetLabel(QStringLiteral("connectAddresses"), this);
    addresses->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(addresses);

    auto* accessCode = sheetLabel(QStringLiteral("accessCode"), this);
    accessCode->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(accessCode);

    auto* done = new QPushButton(QStringLiteral("Done"), this);
    done->setObjectName(QStringLiteral("connectDone"));
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(done, 0, Qt::AlignRight);

    const auto refresh = [this, &server, code, addresses, accessCode] {
        if (const std::optional<QString> url = server.pairingURL()) {
            QImage image = platform::qrCodeImage(
                url->toUtf8(), kModuleSize * std::max(1, qRound(devicePixelRatioF())));
            QPixmap pixmap = QPixmap::fromImage(image);
            pixmap.setDevicePixelRatio(std::max(1, qRound(devicePixelRatioF())));
            code->setPixmap(pixmap);
        } else {
            // Without an address there is nothing to scan; the status says why.
            code->setText(server.statusText());
        }
        addresses->setText(server.addresses().join(u'\n'));
        addresses->setVisible(!server.addresses().isEmpty());
        const bool codeRequired = server.access().codeRequired();
        accessCode->setText(codeRequired
                ? QStringLiteral("Access code: ") + server.access().accessCode()
                : QString());
        accessCode->setVisible(codeRequired);
    };
    refresh();
    connect(&server, &ServerController::addressesChanged, this, refresh);
    connect(&server, &ServerController::statusTextChanged, this, refresh);
}

} // namespace vesker
