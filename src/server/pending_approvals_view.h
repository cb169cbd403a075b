#pragma once

#include <QFrame>

class QLabel;

namespace vesker {

class AccessManager;

// The question put to the user while a device waits to send: shown for the first waiting
// device, answered with an approval for a chosen time, Deny or Block. Hidden while nobody waits.
class PendingApprovalsView : public QFrame {
    Q_OBJECT
public:
    explicit PendingApprovalsView(AccessManager& access, QWidget* parent = nullptr);

private:
    void rebuild();

    AccessManager& m_access;
    QWidget* m_content = nullptr;
};

} // namespace vesker
