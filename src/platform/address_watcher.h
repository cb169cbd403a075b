#pragma once

#include <QObject>
#include <QTimer>

class QSocketNotifier;

namespace vesker::platform {

// Says when this computer's addresses or network links change, from what the kernel announces
// on a routing netlink socket. A link that comes up brings its addresses, routes and lease
// within moments; such a burst comes out as one changed() once it has settled.
// The network information of Qt is no stand-in: it follows reachability through a desktop
// daemon, not addresses, and says nothing where no such daemon runs.
class AddressWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr int kSettleMs = 200;

    explicit AddressWatcher(QObject* parent = nullptr);
    ~AddressWatcher() override;

    // False when the kernel gave no socket; then changed() never comes.
    bool isWatching() const { return m_fd >= 0; }

Q_SIGNALS:
    void changed();

private:
    void drain();

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_settle;
};

} // namespace vesker::platform
