#include "update/update_alerts_view.h"

#include "ui/text_style.h"
#include "update/update_texts.h"
#include "update/updater.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocument>
#include <QUrl>

namespace vesker {

void openUpdateDownload(const UpdateRelease& release)
{
    const QUrl url(release.url, QUrl::StrictMode);
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

UpdateAlerts::UpdateAlerts(Updater& updater, QWidget* window)
    : QObject(window)
    , m_updater(updater)
    , m_window(window)
{
    connect(&m_updater, &Updater::resultToShow, this, &UpdateAlerts::show);
}

void UpdateAlerts::show()
{
    const UpdateStatus status = m_updater.status();
    const std::optional<update_text::Alert> content
        = update_text::resultAlert(status, m_updater.currentVersion());
    if (!content)
        return;
    // A second check's answer replaces the first rather than stacking on it.
    if (m_alert)
        m_alert->done(QMessageBox::Cancel);

    QWidget* over = m_window && m_window->isVisible() ? m_window.data() : nullptr;
    if (over) {
        over->raise();
        over->activateWindow();
    }
    auto* box = new QMessageBox(over);
    box->setObjectName(QStringLiteral("updateAlert"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(over ? Qt::WindowModal : Qt::ApplicationModal);
    box->setIcon(QMessageBox::Information);
    box->setWindowTitle(QStringLiteral("Vesker"));
    box->setTextFormat(Qt::PlainText);
    box->setText(content->message);
    // Release notes come from the server: text, never markup.
    box->setInformativeText(Qt::convertFromPlainText(content->informative, Qt::WhiteSpaceNormal));

    // One role for all keeps the buttons in their order (Download, Later, Skip); Escape is
    // "Later", or the only button.
    QList<QPushButton*> buttons;
    for (const QString& title : content->buttons)
        buttons.append(box->addButton(title, QMessageBox::ActionRole));
    box->setDefaultButton(buttons.first());
    box->setEscapeButton(buttons.value(1, buttons.first()));

    const bool offered = status.state == UpdateStatus::State::available;
    connect(box, &QMessageBox::finished, this, [this, box, buttons, offered, status] {
        if (!offered)
            return;
        if (box->clickedButton() == buttons.value(0))
            openUpdateDownload(status.release);
        else if (box->clickedButton() == buttons.value(2))
            m_updater.skipVersion(status.release);
    });
    shapeAlert(*box);
    m_alert = box;
    box->open();
}

} // namespace vesker
