#pragma once

#include <QWidget>

class QLabel;
class QMenu;
class QPushButton;
class QVBoxLayout;

namespace vesker {

class FocusGuard;

// "Don't interrupt": the user's own Do Not Disturb, how many arrivals stayed put, and the other
// applications that keep the window where it is. Every change goes straight to the guard, which
// stores it at once.
class FocusGuardSettingsView : public QWidget {
    Q_OBJECT
public:
    explicit FocusGuardSettingsView(FocusGuard& guard, QWidget* parent = nullptr);

    // The chooser of installed applications behind "Choose…".
    void chooseApplication();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showHeldBack();
    void rebuildRules();
    QWidget* makeRuleRow(int index);
    void listRunningApps();

    FocusGuard& m_guard;
    QLabel* m_heldBack = nullptr;
    QLabel* m_emptyHint = nullptr;
    QVBoxLayout* m_rules = nullptr;
    QPushButton* m_addRunning = nullptr;
    QMenu* m_runningMenu = nullptr;
};

} // namespace vesker
