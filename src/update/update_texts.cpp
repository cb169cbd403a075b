#include "update/update_texts.h"

#include "platform/time_text.h"

namespace vesker::update_text {

QString availableTitle(const UpdateRelease& release)
{
    return QStringLiteral("Version %1 is available").arg(release.version);
}

QString downloadTitle(const UpdateRelease& release)
{
    const QString size = release.sizeText();
    return size.isEmpty() ? QStringLiteral("Download") : QStringLiteral("Download (%1)").arg(size);
}

QString statusLine(const UpdateStatus& status)
{
    switch (status.state) {
    case UpdateStatus::State::checking:
        return QStringLiteral("Checking…");
    case UpdateStatus::State::upToDate:
        return QStringLiteral("Up to date — checked ") + platform::shortTimeText(status.checkedAt);
    case UpdateStatus::State::unreachable:
        return QStringLiteral("Couldn't reach the update server. The app works normally; it will "
                              "try again later.");
    case UpdateStatus::State::idle:
    case UpdateStatus::State::available:
        break;
    }
    return {};
}

std::optional<Alert> resultAlert(const UpdateStatus& status, const QString& currentVersion)
{
    const QStringList ok {QStringLiteral("OK")};
    switch (status.state) {
    case UpdateStatus::State::upToDate:
        return Alert {QStringLiteral("You're up to date"),
            QStringLiteral("Version %1 is the latest.").arg(currentVersion), ok};
    case UpdateStatus::State::unreachable:
        return Alert {QStringLiteral("Couldn't check for updates"),
            QStringLiteral("The update server could not be reached. The app works normally; it "
                           "will try again later."),
            ok};
    case UpdateStatus::State::available: {
        QString text = status.release.notes;
        if (const QString size = status.release.sizeText(); !size.isEmpty())
            text += (text.isEmpty() ? QString() : QStringLiteral("\n\n")) + size
                + QStringLiteral(" download.");
        if (text.isEmpty())
            text = QStringLiteral("You are on %1.").arg(currentVersion);
        return Alert {availableTitle(status.release), text,
            {QStringLiteral("Download"), QStringLiteral("Later"),
                QStringLiteral("Skip This Version")}};
    }
    case UpdateStatus::State::idle:
    case UpdateStatus::State::checking:
        break;
    }
    return std::nullopt;
}

} // namespace vesker::update_text
