#pragma once

#include <avahi-common/watch.h>

#include <QObject>

namespace vesker::platform {

// The event-loop hooks the Avahi client library asks for, served by the Qt event loop of the
// thread that owns this object (QSocketNotifier for descriptors, QTimer for timeouts), so Avahi
// needs no thread of its own. Every watch and timeout it hands out must be freed (Avahi does
// that when its client is freed) before this object goes; nothing here may change threads.
class AvahiQtPoll : public QObject {
    Q_OBJECT
public:
    explicit AvahiQtPoll(QObject* parent = nullptr);
    ~AvahiQtPoll() override;

    const AvahiPoll* api() const { return &m_api; }

private:
    AvahiPoll m_api {};
};

} // namespace vesker::platform
