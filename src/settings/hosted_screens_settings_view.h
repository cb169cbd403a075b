#pragma once

#include <QUuid>
#include <QWidget>

class QCheckBox;
class QFormLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace vesker {

class HostedScreensManager;
class RemoteScreensManager;
struct HostedScreen;

namespace platform {
class Defaults;
} // namespace platform

// The Hosted tab: the extra named screens this computer serves, each on a port of its own with
// its own PIN, Inbox and browser page. A screen is added, changed in place (its id and short
// name, and so its items, stay) or removed. Writes only "hostedScreens"; the manager follows
// the setting. The remote screens are read for the ports their relays take.
class HostedScreensSettingsView : public QWidget {
    Q_OBJECT
public:
    HostedScreensSettingsView(HostedScreensManager& hosted, const RemoteScreensManager& remote,
        platform::Defaults& defaults, QWidget* parent = nullptr);

private:
    void list();
    // Fills the form from a newly selected screen to change it, or, once none is, empties it
    // to add one.
    void showSelected();
    void clearForm();
    // A port no hosted screen uses yet, for the next one.
    quint16 nextPort() const;
    void add();
    void saveSelected();
    void removeSelected();
    void listChanged(QTreeWidgetItem* item, int column);
    // The selected screen's row in the manager's list; -1 when none.
    int selectedRow() const;
    // The form's values over `screen`; what it does not show stays as it was.
    HostedScreen fromForm(HostedScreen screen) const;
    // Writes `screen` in place of the stored one with its id, or adds it; false, with the
    // problem shown, when it cannot be served as given.
    bool store(const HostedScreen& screen);
    void write(const QList<HostedScreen>& screens);

    HostedScreensManager& m_hosted;
    const RemoteScreensManager& m_remote;
    platform::Defaults& m_defaults;
    QTreeWidget* m_list = nullptr;
    // The screens that are on but not listening, and why.
    QLabel* m_notListening = nullptr;
    QPushButton* m_remove = nullptr;
    QGroupBox* m_form = nullptr;
    QFormLayout* m_fields = nullptr;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_slug = nullptr;
    QLabel* m_slugNote = nullptr;
    QSpinBox* m_port = nullptr;
    QLineEdit* m_pin = nullptr;
    QCheckBox* m_requirePin = nullptr;
    QCheckBox* m_enabled = nullptr;
    QLabel* m_problem = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_cancel = nullptr;
    bool m_slugTyped = false;
    // The screen the form changes; null while it adds one.
    QUuid m_changing;
};

} // namespace vesker
