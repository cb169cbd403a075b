#pragma once

#include <QWidget>

namespace vesker {

class Updater;

// The banner under the Inbox bar that offers a new version; takes no room while there is none.
class UpdateBanner : public QWidget {
    Q_OBJECT
public:
    explicit UpdateBanner(Updater& updater, QWidget* parent = nullptr);
};

} // namespace vesker
