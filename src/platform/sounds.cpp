#include "platform/sounds.h"

#include "platform/log.h"
#include "platform/quit_drained_pool.h"

#include <QThreadPool>

#include <canberra.h>

namespace vesker::platform {

namespace {

// One context for the run: opening one connects to the sound server, which can take a while,
// so it is made on a worker thread and kept.
ca_context* context()
{
    static ca_context* made = [] {
        ca_context* c = nullptr;
        if (ca_context_create(&c) != CA_SUCCESS)
            return static_cast<ca_context*>(nullptr);
        ca_context_change_props(c, CA_PROP_APPLICATION_NAME, "Vesker", CA_PROP_APPLICATION_ID,
            "com.halvane.vesker", nullptr);
        // Only through a sound server: straight to ALSA, every play on a machine without a
        // sound card would fail loudly on standard error.
        ca_context_set_driver(c, "pulse");
        if (ca_context_open(c) != CA_SUCCESS) {
            ca_context_destroy(c);
            return static_cast<ca_context*>(nullptr);
        }
        return c;
    }();
    return made;
}

QThreadPool& soundPool()
{
    static QThreadPool* pool = platform::makeQuitDrainedPool("sounds", 1);
    return *pool;
}

} // namespace

QString Sounds::eventID(const QString& name)
{
    if (name == QLatin1String("Glass"))
        return QStringLiteral("message-new-instant");
    if (name == QLatin1String("Pop"))
        return QStringLiteral("message");
    if (name == QLatin1String("Tink"))
        return QStringLiteral("window-attention");
    return {};
}

void Sounds::play(const QString& name)
{
    const QByteArray id = eventID(name).toUtf8();
    if (id.isEmpty())
        return;
    soundPool().start([id] {
        ca_context* c = context();
        if (!c)
            return;
        const int result = ca_context_play(c, 0, CA_PROP_EVENT_ID, id.constData(), nullptr);
        if (result != CA_SUCCESS)
            qCDebug(lcApp) << "[sound] could not play" << id << ca_strerror(result);
    });
}

} // namespace vesker::platform
