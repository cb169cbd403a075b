#pragma once

#include <QObject>

class QSocketNotifier;

namespace vesker::platform {

// SIGTERM (a logout, a shutdown, a plain `kill`), SIGINT and SIGHUP, turned into a signal on the
// main thread, so that they end the program the way its Quit command does. The handler only
// writes the signal's number into a pipe; everything else happens in the event loop. One per
// process.
class QuitSignals : public QObject {
    Q_OBJECT
public:
    explicit QuitSignals(QObject* parent = nullptr);
    // Puts the signals' default actions back.
    ~QuitSignals() override;

    // The handlers are in place.
    bool installed() const { return m_notifier != nullptr; }

Q_SIGNALS:
    void quitRequested(int signal);

private:
    void readSignals();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace vesker::platform
