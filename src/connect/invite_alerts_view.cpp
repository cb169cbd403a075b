#include "connect/invite_alerts_view.h"

#include "connect/invite_handler.h"
#include "ui/text_style.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTextDocument>

#include <utility>

namespace vesker {

InviteAlerts::InviteAlerts(InviteHandler& invites, QWidget* window)
    : QObject(window)
    , m_invites(invites)
    , m_window(window)
{
    connect(&m_invites, &InviteHandler::pendingChanged, this, &InviteAlerts::updateConfirmation);
    connect(&m_invites, &InviteHandler::resultChanged, this, &InviteAlerts::updateResult);
    updateConfirmation();
    updateResult();
}

QString InviteAlerts::confirmationTitle() const
{
    return QStringLiteral("Connect to %1?")
        .arg(m_invites.screenName().value_or(QStringLiteral("this screen")));
}

void InviteAlerts::updateConfirmation()
{
    if (!m_invites.pending()) {
        if (m_confirmation)
            m_confirmation->done(QMessageBox::Cancel);
        return;
    }
    if (m_confirmation) {
        // Another link, or the looked-up name of the screen: the open alert follows.
        m_confirmation->setText(confirmationTitle());
        return;
    }
    auto* box = new QMessageBox(m_window);
    box->setObjectName(QStringLiteral("inviteConfirmation"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Question);
    box->setWindowTitle(QStringLiteral("Vesker"));
    box->setTextFormat(Qt::PlainText);
    box->setText(confirmationTitle());
    box->setInformativeText(QStringLiteral("You were sent an invite link. Connecting lets this "
                                           "computer send to that screen over the internet."));
    QPushButton* connectButton = box->addButton(QStringLiteral("Connect"), QMessageBox::AcceptRole);
    box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(connectButton);
    connect(box, &QMessageBox::finished, this, [this, box, connectButton] {
        m_confirmation = nullptr;
        // The alert is gone whichever way it went: Connect accepts, anything else forgets it.
        if (box->clickedButton() == connectButton && m_invites.pending())
            m_invites.accept();
        else
            m_invites.cancelPending();
    });
    shapeAlert(*box);
    m_confirmation = box;
    box->open();
}

void InviteAlerts::updateResult()
{
    // A new result replaces the alert on screen; none closes it.
    // The old alert is let go first: closing it would otherwise read as the new result read.
    if (QPointer<QMessageBox> shown = std::exchange(m_result, nullptr))
        shown->done(QMessageBox::Ok);
    if (!m_invites.result())
        return;
    QString message = *m_invites.result();
    if (m_invites.joined())
        message
            += QStringLiteral("\n\nThey can't send to this computer yet. Sharing your screen back "
                              "sends them an invite \u2014 they choose whether to accept.");
    auto* box = new QMessageBox(m_window);
    box->setObjectName(QStringLiteral("inviteResult"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Information);
    box->setWindowTitle(QStringLiteral("Vesker"));
    box->setTextFormat(Qt::PlainText);
    box->setText(QStringLiteral("Internet"));
    // The result names screens, which their owners named: shown as text, never as markup.
    box->setInformativeText(Qt::convertFromPlainText(message, Qt::WhiteSpaceNormal));
    QPushButton* share = nullptr;
    if (m_invites.joined())
        share
            = box->addButton(QStringLiteral("Share my screen with them"), QMessageBox::AcceptRole);
    QPushButton* ok = box->addButton(QMessageBox::Ok);
    box->setDefaultButton(ok);
    connect(box, &QMessageBox::finished, this, [this, box, share] {
        if (box != m_result)
            return;
        m_result = nullptr;
        if (share && box->clickedButton() == share)
            m_invites.offerBack();
        else
            m_invites.dismissResult();
    });
    shapeAlert(*box);
    m_result = box;
    box->open();
}

} // namespace vesker
