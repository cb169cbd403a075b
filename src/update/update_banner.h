#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace vesker {

class Updater;

// The strip under the Inbox bar that offers a new version: Download opens its page, Later
// hides it until another version comes or the user checks by hand. It takes no room while
// nothing is offered.
class UpdateBanner : public QWidget {
    Q_OBJECT
public:
    explicit UpdateBanner(Updater& updater, QWidget* parent = nullptr);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    void elideNotes();

    Updater& m_updater;
    QLabel* m_icon = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_notes = nullptr;
    QPushButton* m_download = nullptr;
    QPushButton* m_later = nullptr;
    QString m_fullNotes;
};

} // namespace vesker
