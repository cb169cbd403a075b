#pragma once

#include "update/updater.h"

#include <QGroupBox>

class QCheckBox;
class QPushButton;
class QVBoxLayout;

namespace vesker {

// The Updates section of the General settings: the running version with "Check now", what the
// last check found (with the offered version's Download and Skip), and the switch for the
// daily check.
class UpdateSettingsRowView : public QGroupBox {
    Q_OBJECT
public:
    explicit UpdateSettingsRowView(Updater& updater, QWidget* parent = nullptr);

private:
    void refresh();
    QWidget* makeOutcome(const UpdateStatus& status);
    QWidget* makeOffer(const UpdateRelease& release);

    Updater& m_updater;
    QPushButton* m_checkNow = nullptr;
    QCheckBox* m_automatic = nullptr;
    QVBoxLayout* m_layout = nullptr;
    QWidget* m_outcome = nullptr;
    std::optional<UpdateStatus> m_shown;
};

} // namespace vesker
