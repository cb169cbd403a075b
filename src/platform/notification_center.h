#pragma once

#include <QObject>
#include <QVariant>

namespace vesker::platform {

// Names of the in-process notifications.
inline constexpr auto kBlurRulesChanged = "BlurRulesChanged";
inline constexpr auto kPasteAndSend = "pasteAndSend";
inline constexpr auto kCaptureAndSend = "captureAndSend";

// A process-wide broadcast of named notifications, for the few places where the sender must
// not know who listens (a menu command and the window that may or may not exist).
// Main thread only.
class NotificationCenter : public QObject {
    Q_OBJECT
public:
    static NotificationCenter& shared();

    void post(const QString& name, const QVariant& object = {});

    // Calls `handler(object)` for every later post of `name` while `receiver` lives.
    template <typename Handler>
    QMetaObject::Connection observe(const QString& name, QObject* receiver, Handler handler)
    {
        return connect(this, &NotificationCenter::posted, receiver,
            [name, handler](const QString& posted, const QVariant& object) {
                if (posted == name)
                    handler(object);
            });
    }

Q_SIGNALS:
    void posted(const QString& name, const QVariant& object);
};

} // namespace vesker::platform
