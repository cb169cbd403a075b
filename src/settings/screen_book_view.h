#pragma once

#include "platform/coalesced_call.h"

#include <QHash>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QVBoxLayout;

namespace vesker {

class RemoteScreensManager;
class ScreenBrowser;
class ScreenDirectory;

namespace platform {
class Defaults;
}

// The other screens as this computer sends to them: a nickname for each screen found on the
// network or reached by address, and groups of screens on the network that the Send sheet
// offers as one row. Everything is written through the directory at once, so an open Send
// sheet follows. While shown it looks for screens on the network itself, so that a screen can
// be named before anything was ever sent to it.
class ScreenBookView : public QWidget {
    Q_OBJECT
public:
    struct Sources {
        ScreenDirectory& directory;
        // The standard settings: this screen's own advertisement is left out.
        platform::Defaults& defaults;
        std::function<QString()> screenName;
        RemoteScreensManager* remote = nullptr; // none: no screens reached by address
        bool discover = true; // off: only the screens the directory already knows
    };

    explicit ScreenBookView(Sources sources, QWidget* parent = nullptr);
    ~ScreenBookView() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct Screen {
        QString key;
        QString name;
        QString detail;
        QString symbol;
    };

    QWidget* makeNicknames();
    QWidget* makeGroups();
    // Every screen that can be given a nickname: those on the network first, by name.
    QList<Screen> screens() const;
    // The names a group can hold: screens known or found on the network, and the members of the
    // group being edited even when they are neither.
    QStringList memberChoices() const;
    void listNicknames();
    void showNicknames();
    void listGroups();
    void showSelectedGroup();
    QList<QCheckBox*> memberBoxes() const;
    void listMemberChoices(const QStringList& checked);
    QStringList checkedMembers() const;
    std::optional<QUuid> selectedGroup() const;
    bool acceptGroupName(const QString& name);
    void addGroup();
    void saveGroup();
    void deleteGroup();
    void showDiscoveryStatus();

    Sources m_sources;
    std::unique_ptr<ScreenBrowser> m_browser;
    QStringList m_found;

    QVBoxLayout* m_nicknameRows = nullptr;
    QHash<QString, QWidget*> m_rowsByKey;
    QLabel* m_discoveryStatus = nullptr;

    QTreeWidget* m_groups = nullptr;
    QLineEdit* m_groupName = nullptr;
    QWidget* m_members = nullptr;
    QVBoxLayout* m_memberRows = nullptr;
    QLabel* m_noMembers = nullptr;
    QLabel* m_groupProblem = nullptr;
    QPushButton* m_saveGroup = nullptr;
    QPushButton* m_deleteGroup = nullptr;
    std::optional<QUuid> m_addedGroup;

    platform::CoalescedCall m_relist {this, [this] {
                                          listNicknames();
                                          listGroups();
                                      }};
};

} // namespace vesker
