#pragma once

#include <QObject>

namespace vesker {

// The daily update check. It checks nothing yet: start() only marks that the program asked.
class Updater : public QObject {
    Q_OBJECT
public:
    static Updater& shared();

    void start();
    void checkNow();
    bool isStarted() const { return m_started; }

Q_SIGNALS:
    void started();

private:
    bool m_started = false;
};

} // namespace vesker
