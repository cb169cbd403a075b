#pragma once

#include <QWidget>

namespace vesker {

namespace platform {
class Defaults;
}

// Which photos are shown blurred, and what happens to Inbox items left for a while.
class DisplaySettingsView : public QWidget {
    Q_OBJECT
public:
    explicit DisplaySettingsView(platform::Defaults& defaults, QWidget* parent = nullptr);

private:
    QWidget* makeBlurGroup();
    QWidget* makeCleanupGroup();

    platform::Defaults& m_defaults;
};

} // namespace vesker
