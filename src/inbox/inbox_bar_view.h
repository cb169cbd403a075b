#pragma once

#include <QList>
#include <QWidget>

class QAbstractButton;
class QBoxLayout;
class QLabel;
class QLineEdit;
class QSlider;
class QStackedLayout;
class QToolButton;

namespace vesker {

class InboxState;
class ServerController;

// The bar over the Inbox: the simple bar in simple mode, else the full bar with the tabs and
// their counts, the view controls, search, the server's dot, Connect, Send…, full screen and
// Simple. As the window narrows the full bar drops the photo controls, then the button titles.
// It reads and writes the window's state and asks its owner for the rest.
class InboxBarView : public QWidget {
    Q_OBJECT
public:
    InboxBarView(InboxState& state, ServerController& server, QWidget* parent = nullptr);

    // 1, 2 or 3: the widest form that fits.
    int variant() const { return m_variant; }
    // "Speed review" is offered only once the window has a speed review to open.
    void setSpeedReviewAvailable(bool available);

Q_SIGNALS:
    void connectRequested();
    void sendRequested();
    void fullScreenRequested();
    void speedReviewRequested();
    // Escape in an empty search field: the person is done searching.
    void searchLeft();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildSimpleBar();
    QWidget* buildFullBar();
    QToolButton* button(const QString& name, const QString& symbol, const QString& title,
        const QString& help, QWidget* parent);
    // Shows what the state, the store and the server hold now, without writing anything back.
    void refresh();
    void refreshCounts();
    // Shows the counts; true when that changed the size of a control in the bar.
    bool showCounts();
    void refreshServer();
    void applyVariant(int variant);
    void chooseVariant();

    InboxState& m_state;
    ServerController& m_server;
    int m_variant = 1;
    bool m_speedReviewAvailable = false;
    bool m_choosingVariant = false;

    QStackedLayout* m_stack = nullptr;
    QWidget* m_simpleBar = nullptr;
    QLabel* m_badge = nullptr;
    QWidget* m_fullBar = nullptr;
    QBoxLayout* m_fullLayout = nullptr;
    QList<QToolButton*> m_tabButtons; // Inbox, Later, Archive
    QToolButton* m_speedReview = nullptr;
    QToolButton* m_large = nullptr;
    QToolButton* m_compact = nullptr;
    QWidget* m_photoControls = nullptr;
    QSlider* m_photoScale = nullptr;
    QToolButton* m_fit = nullptr;
    QToolButton* m_sidebar = nullptr;
    QLineEdit* m_search = nullptr;
    QToolButton* m_clearSearch = nullptr;
    QList<QLabel*> m_dots; // the simple bar's and the full bar's
    QList<QToolButton*> m_titledButtons; // lose their titles in the narrowest form
};

} // namespace vesker
