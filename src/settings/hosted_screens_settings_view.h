#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTreeWidget;

namespace vesker {

class HostedScreensManager;

namespace platform {
class Defaults;
} // namespace platform

// The Hosted tab: the extra named screens this computer serves, each on a port of its own with
// its own PIN and Inbox. Writes only "hostedScreens"; the manager follows the setting.
class HostedScreensSettingsView : public QWidget {
    Q_OBJECT
public:
    HostedScreensSettingsView(
        HostedScreensManager& hosted, platform::Defaults& defaults, QWidget* parent = nullptr);

private:
    void list();
    void add();
    void removeSelected();
    void setEnabled(int row, bool enabled);

    HostedScreensManager& m_hosted;
    platform::Defaults& m_defaults;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_remove = nullptr;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_slug = nullptr;
    QSpinBox* m_port = nullptr;
    QLineEdit* m_pin = nullptr;
    QCheckBox* m_requirePin = nullptr;
    QCheckBox* m_enabled = nullptr;
    QLabel* m_problem = nullptr;
    bool m_slugTyped = false;
};

} // namespace vesker
