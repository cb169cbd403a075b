#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace vesker {

class AccessManager;

namespace platform {
class Clock;
class Defaults;
} // namespace platform

// Who may send to this computer: the policy and its code, the approved and blocked devices, and
// what browser screens may see and do.
class AccessSettingsView : public QWidget {
    Q_OBJECT
public:
    AccessSettingsView(AccessManager& access, platform::Defaults& defaults,
        const platform::Clock& clock, QWidget* parent = nullptr);

protected:
    // Expired approvals are dropped whenever the tab comes into view.
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makePolicyGroup();
    QWidget* makeDevicesGroup();
    QWidget* makeBrowserGroup();
    void showPolicy();
    void showCode();
    void showCodeProblem();
    void listGrants();
    void listBlocked();
    // The device id of the selected row, empty when none.
    static QString selectedDevice(const QTreeWidget* list);

    AccessManager& m_access;
    platform::Defaults& m_defaults;
    const platform::Clock& m_clock;
    QComboBox* m_policy = nullptr;
    QLineEdit* m_code = nullptr;
    QLabel* m_codeProblem = nullptr;
    QPushButton* m_newCode = nullptr;
    QTreeWidget* m_grants = nullptr;
    QTreeWidget* m_blocked = nullptr;
    QPushButton* m_remove = nullptr;
    QPushButton* m_block = nullptr;
    QPushButton* m_unblock = nullptr;
};

} // namespace vesker
