#pragma once

#include <QObject>
#include <QPointer>

#include <QMessageBox>
class QWidget;

namespace vesker {

class Updater;
struct UpdateRelease;

// Opens the release's page in the user's browser; the program itself never downloads.
void openUpdateDownload(const UpdateRelease& release);

// The alert that answers the menu's "Check for Updates…": up to date, couldn't check, or the
// version on offer with Download, Later and Skip This Version. Over the window when it is shown.
class UpdateAlerts : public QObject {
    Q_OBJECT
public:
    UpdateAlerts(Updater& updater, QWidget* window);

    QMessageBox* alert() const { return m_alert; }

private:
    void show();

    Updater& m_updater;
    QPointer<QWidget> m_window;
    QPointer<QMessageBox> m_alert;
};

} // namespace vesker
