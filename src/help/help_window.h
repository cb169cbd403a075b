#pragma once

#include "help/help_topics.h"

#include <QPointer>
#include <QWidget>

#include <optional>

class QLabel;
class QLineEdit;
class QListWidget;
class QScrollArea;
class QStackedWidget;
class QTimer;

namespace vesker {

namespace platform {
class Defaults;
}

// The built-in manual: a searchable list of topics beside the chosen topic's page. Closing it
// only hides it, so the list, the search and the page are as they were when it comes back.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize kDefaultSize {900, 600};
    static constexpr QSize kMinimumSize {760, 480};
    // Where the window's frame is kept between runs.
    static constexpr auto kFrameKey = "windowFrame HelpWindow";

    HelpWindow(HelpSelection& selection, platform::Defaults& defaults, QWidget* parent = nullptr);

    // Puts the window where it was in an earlier run; false when no frame was kept.
    bool restoreSavedFrame();

protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void relist();
    void followSelection();
    void showPage();
    void saveFrame();

    HelpSelection& m_selection;
    platform::Defaults& m_defaults;
    QList<HelpTopic> m_listed;
    std::optional<QString> m_shownId;
    bool m_relisting = false;

    QLineEdit* m_search = nullptr; // "helpSearch"
    QStackedWidget* m_listArea = nullptr;
    QListWidget* m_list = nullptr; // "helpTopicList"
    QWidget* m_nothingFound = nullptr; // "helpNothingFound"
    QStackedWidget* m_detail = nullptr;
    QScrollArea* m_pageScroll = nullptr; // "helpPageScroll"
    QLabel* m_pickTopic = nullptr; // "helpPickTopic"
    QTimer* m_frameTimer = nullptr;
};

// Makes the help window on first use and brings the same one back every time after.
class HelpWindowController {
public:
    HelpWindowController(HelpSelection& selection, platform::Defaults& defaults);
    ~HelpWindowController();

    // Switches the page to `topic` when one is given, even on an open window, and brings the
    // window to the front.
    void show(const std::optional<QString>& topic = std::nullopt);
    HelpWindow* window() const { return m_window; }

private:
    HelpSelection& m_selection;
    platform::Defaults& m_defaults;
    QPointer<HelpWindow> m_window;
};

} // namespace vesker
