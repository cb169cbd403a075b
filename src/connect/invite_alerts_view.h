#pragma once

#include <QObject>
#include <QPointer>

#include <QMessageBox>
class QWidget;

namespace vesker {

class InviteHandler;

// The two questions of an opened invite link, over the main window: "Connect to …?" while a
// link waits for confirmation, and the outcome ("Internet") once there is one.
class InviteAlerts : public QObject {
    Q_OBJECT
public:
    InviteAlerts(InviteHandler& invites, QWidget* window);

    QMessageBox* confirmation() const { return m_confirmation; }
    QMessageBox* resultAlert() const { return m_result; }

private:
    void updateConfirmation();
    void updateResult();
    QString confirmationTitle() const;

    InviteHandler& m_invites;
    QPointer<QWidget> m_window;
    QPointer<QMessageBox> m_confirmation;
    QPointer<QMessageBox> m_result;
};

} // namespace vesker
