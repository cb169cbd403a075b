#include "shots.h"

#include "platform/clock.h"
#include "platform/defaults.h"
#include "update/update_alerts_view.h"
#include "update/update_banner.h"
#include "update/update_settings_row_view.h"
#include "update/updater.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

namespace vesker::shots {

namespace {

// The manifest host on 127.0.0.1, answering with `reply`; an empty reply never answers, so the
// check stays under way.
class Manifest : public QTcpServer {
public:
    explicit Manifest(QByteArray reply)
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this, reply] {
            QTcpSocket* socket = nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [socket, reply] {
                if (!reply.isEmpty() && socket->readAll().contains("\r\n\r\n"))
                    socket->write(reply);
            });
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(serverPort())); }
};

QByteArray answer(const QByteArray& status, const QByteArray& body)
{
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\n\r\n" + body;
}

void waitWhileChecking(Updater& updater)
{
    const QDeadlineTimer deadline(5000);
    while (updater.status().state == UpdateStatus::State::checking && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

} // namespace

void updateShots()
{
    const QByteArray offer = answer("200 OK",
        "{\"version\":\"1.12\",\"url\":\"https://www.vesker.example/get\",\"size\":18400000,"
        "\"notes\":\"Faster recognition of barcodes on dark photos, and the Inbox remembers "
        "where you were. Fixes a crash when a PDF had no pages.\\nMore on the web site.\"}");
    const struct {
        const char* name;
        QByteArray reply;
        bool reachable;
    } states[] = {
        {"available", offer, true},
        {"up_to_date", answer("204 No Content", {}), true},
        {"failed", {}, false},
        {"checking", {}, true},
    };
    for (const auto& state : states) {
        QTemporaryDir dir;
        platform::Defaults defaults(
            dir.filePath(QStringLiteral("defaults.json")), platform::Clock::system());
        Manifest manifest(state.reply);
        Updater updater(defaults, platform::Clock::system(),
            {.manifestUrl = state.reachable ? manifest.url() : QUrl(),
                .currentVersion = QStringLiteral("1.11.4")});
        updater.check(false);
        if (state.reply.size() || !state.reachable)
            waitWhileChecking(updater);

        UpdateSettingsRowView row(updater);
        row.resize(520, row.heightForWidth(520));
        save(row, QStringLiteral("update_row_") + QLatin1String(state.name));
        if (updater.pendingRelease()) {
            UpdateBanner banner(updater);
            banner.resize(760, banner.sizeHint().height());
            save(banner, QStringLiteral("update_banner_available"));
            banner.resize(420, banner.sizeHint().height());
            save(banner, QStringLiteral("update_banner_narrow"));
        }
        if (updater.status().state == UpdateStatus::State::checking)
            continue;
        UpdateAlerts alerts(updater, nullptr);
        updater.checkNow();
        waitWhileChecking(updater);
        if (alerts.alert())
            save(*alerts.alert(), QStringLiteral("update_alert_") + QLatin1String(state.name));
    }
}

} // namespace vesker::shots
