#pragma once

#include <QWidget>

namespace vesker {

class Permissions;

// The Permissions rows of the General tab: whether banners show and whether the program may type
// into other applications, each with the way to change it on this desktop. Asks again whenever
// it is shown and whenever the user comes back to the program.
class PermissionsSettingsView : public QWidget {
    Q_OBJECT
public:
    explicit PermissionsSettingsView(Permissions& permissions, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    Permissions& m_permissions;
};

} // namespace vesker
