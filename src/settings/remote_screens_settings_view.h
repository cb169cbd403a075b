#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTreeWidget;

namespace vesker {

class RemoteScreensManager;
struct RemoteScreen;

namespace platform {
class Defaults;
} // namespace platform

// The Remote tab: screens reached by an address the user typed (across a VPN, say), whether
// each answers, which of them the phones on this network may send to through this computer, and
// the phones blocked from doing so. Writes only "remoteScreens"; the manager follows the setting
// and keeps the blocked phones.
class RemoteScreensSettingsView : public QWidget {
    Q_OBJECT
public:
    RemoteScreensSettingsView(
        RemoteScreensManager& remote, platform::Defaults& defaults, QWidget* parent = nullptr);

private:
    void list();
    void showSelected();
    void add();
    void saveSelected();
    void removeSelected();
    void write(const QList<RemoteScreen>& screens);
    int selectedRow() const;
    // Shows why `candidate` cannot be kept, if it cannot; true when it can.
    bool accept(const RemoteScreen& candidate);
    void listBlocked();
    void unblockSelected();

    RemoteScreensManager& m_remote;
    platform::Defaults& m_defaults;
    QTreeWidget* m_list = nullptr;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_address = nullptr;
    QCheckBox* m_share = nullptr;
    QSpinBox* m_port = nullptr;
    QLabel* m_problem = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_remove = nullptr;
    QWidget* m_blockedGroup = nullptr;
    QTreeWidget* m_blocked = nullptr;
    QPushButton* m_unblock = nullptr;
};

} // namespace vesker
