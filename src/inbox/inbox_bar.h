#pragma once

#include <QWidget>

namespace vesker {

class InboxState;
class ServerController;

// The bar over the Inbox: the simple bar in simple mode, else the full bar with the tabs and
// their counts, the view controls, search, the server's dot, Connect, Send…, full screen and
// Simple. As the window narrows the full bar drops the photo controls, then the button titles.
// It reads and writes the window's state and asks its owner for the rest.
class InboxBar : public QWidget {
    Q_OBJECT
public:
    InboxBar(InboxState& state, ServerController& server, QWidget* parent = nullptr);

    // 1, 2 or 3: the widest form that fits.
    int variant() const { return m_variant; }
    // "Speed review" is offered only once the window has a speed review to open.
    void setSpeedReviewAvailable(bool available);

Q_SIGNALS:
    void connectRequested();
    void sendRequested();
    void fullScreenRequested();
    void speedReviewRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    InboxState& m_state;
    ServerController& m_server;
    int m_variant = 1;
};

} // namespace vesker
