#include "platform/dns_sd.h"

#include "platform/avahi_qt_poll.h"
#include "platform/log.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>

#include <QTimer>

#include <algorithm>

namespace vesker::platform {

namespace {

// A lost daemon or bus is asked again after 1 s, then ever more slowly up to once a minute.
constexpr int kFirstRetryMs = 1000;
constexpr int kLastRetryMs = 60000;
// DNS limits: an instance name is one label, a TXT entry one character-string.
constexpr int kMaxNameBytes = 63;
constexpr int kMaxTxtEntryBytes = 255;
// Past this many renames in a row something on the network takes every name we try.
constexpr int kMaxRenames = 50;

// Cuts UTF-8 text to at most maxBytes without splitting a character.
QByteArray utf8Prefix(const QByteArray& bytes, int maxBytes)
{
    if (bytes.size() <= maxBytes)
        return bytes;
    int cut = maxBytes;
    while (cut > 0 && (static_cast<unsigned char>(bytes.at(cut)) & 0xC0) == 0x80)
        --cut;
    return bytes.left(cut);
}

QString avahiError(int error)
{
    return QString::fromUtf8(avahi_strerror(error));
}

} // namespace

struct DnsSdPublisher::Private {
    Private(DnsSdPublisher* owner, DnsSdService published)
        : q(owner)
        , service(std::move(published))
    { }

    ~Private()
    {
        // Frees the entry group too; the daemon withdraws the service when we hang up.
        if (client)
            avahi_client_free(client);
    }

    DnsSdPublisher* q;
    DnsSdService service;
    // Declared before the client so that it outlives it: the client frees its watches into it.
    AvahiQtPoll poll;
    AvahiClient* client = nullptr;
    AvahiEntryGroup* group = nullptr;
    QByteArray name;
    int renames = 0;
    QString registeredName;
    // The reason last reported, empty while nothing is wrong: one report per outage.
    QString failure;
    QTimer retryTimer;
    int retryMs = kFirstRetryMs;
    bool restartPending = false;

    void connectClient()
    {
        name = utf8Prefix(service.name.toUtf8(), kMaxNameBytes);
        renames = 0;
        if (name.isEmpty()) {
            reportFailure(QStringLiteral("the service has no name"));
            return;
        }
        int error = AVAHI_OK;
        // NO_FAIL: with the bus up but no daemon yet, the client waits for the daemon to
        // appear instead of failing, and publishes then.
        AvahiClient* made
            = avahi_client_new(poll.api(), AVAHI_CLIENT_NO_FAIL, onClientState, this, &error);
        if (!made) {
            // The client the callback may have seen is freed already, with its group.
            client = nullptr;
            group = nullptr;
            reportFailure(QStringLiteral("cannot reach avahi-daemon over the system bus (%1)")
                              .arg(avahiError(error)));
            scheduleRetry();
            return;
        }
        client = made;
    }

    void dropClient()
    {
        if (client)
            avahi_client_free(client);
        client = nullptr;
        group = nullptr;
    }

    void scheduleRetry()
    {
        retryTimer.start(retryMs);
        retryMs = std::min(retryMs * 2, kLastRetryMs);
    }

    // Called from Avahi's callbacks: the client and its group are in use further up the stack,
    // so they are freed from the event loop, not here.
    void restartLater()
    {
        if (restartPending)
            return;
        restartPending = true;
        QTimer::singleShot(0, q, [this] {
            restartPending = false;
            dropClient();
            scheduleRetry();
        });
    }

    void takeAlternativeName()
    {
        char* alternative = avahi_alternative_service_name(name.constData());
        const QByteArray next = alternative ? QByteArray(alternative) : name + " #2";
        avahi_free(alternative);
        const QString line = QStringLiteral("[bonjour] the name \"%1\" is taken; trying \"%2\"")
                                 .arg(QString::fromUtf8(name), QString::fromUtf8(next));
        qCInfo(lcDnsSd).noquote() << line;
        name = next;
        ++renames;
    }

    AvahiStringList* txtList() const
    {
        AvahiStringList* list = nullptr;
        // Avahi's list grows at its head, so the entries go in back to front.
        for (auto it = service.txt.crbegin(); it != service.txt.crend(); ++it) {
            const QByteArray entry
                = utf8Prefix(it->first.toUtf8() + '=' + it->second.toUtf8(), kMaxTxtEntryBytes);
            list = avahi_string_list_add_arbitrary(
                list, reinterpret_cast<const uint8_t*>(entry.constData()), entry.size());
        }
        return list;
    }

    void publish()
    {
        if (!group) {
            group = avahi_entry_group_new(client, onGroupState, this);
            if (!group) {
                reportFailure(QStringLiteral("avahi-daemon refused an entry group (%1)")
                                  .arg(avahiError(avahi_client_errno(client))));
                return;
            }
        }
        if (!avahi_entry_group_is_empty(group))
            return;

        AvahiStringList* txt = txtList();
        const QByteArray type = service.type.toUtf8();
        int result = AVAHI_OK;
        for (;;) {
            result = avahi_entry_group_add_service_strlst(group, AVAHI_IF_UNSPEC,
                AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0), name.constData(), type.constData(),
                nullptr, nullptr, service.port, txt);
            // Another program on this machine already has the name: the daemon says so at once.
            const bool taken = result == AVAHI_ERR_COLLISION;
            if (!taken || renames >= kMaxRenames)
                break;
            takeAlternativeName();
        }
        avahi_string_list_free(txt);
        if (result >= 0)
            result = avahi_entry_group_commit(group);
        if (result < 0)
            reportFailure(
                QStringLiteral("avahi-daemon refused the service (%1)").arg(avahiError(result)));
    }

    void reportFailure(const QString& reason)
    {
        registeredName.clear();
        if (!failure.isEmpty())
            return;
        failure = reason;
        qCWarning(lcDnsSd).noquote() << QStringLiteral("[bonjour] not discoverable: ") + reason;
        // Queued, so that a receiver may drop the publisher without pulling Avahi's state
        // from under the callback that got us here.
        QMetaObject::invokeMethod(
            q, [q = q, reason] { Q_EMIT q->failed(reason); }, Qt::QueuedConnection);
    }

    void reportRegistered()
    {
        registeredName = QString::fromUtf8(name);
        failure.clear();
        renames = 0;
        retryMs = kFirstRetryMs;
        QMetaObject::invokeMethod(
            q, [q = q, name = registeredName] { Q_EMIT q->registered(name); },
            Qt::QueuedConnection);
    }

    static void onClientState(AvahiClient* c, AvahiClientState state, void* userdata)
    {
        auto* d = static_cast<Private*>(userdata);
        // The first calls come from inside avahi_client_new, before it has returned c.
        d->client = c;
        switch (state) {
        case AVAHI_CLIENT_S_RUNNING:
            d->publish();
            break;
        case AVAHI_CLIENT_S_REGISTERING:
        case AVAHI_CLIENT_S_COLLISION:
            // The daemon is (re)claiming its host name and drops what we published; it is
            // published again when the daemon runs.
            if (d->group)
                avahi_entry_group_reset(d->group);
            d->registeredName.clear();
            break;
        case AVAHI_CLIENT_CONNECTING:
            d->reportFailure(QStringLiteral("avahi-daemon is not running"));
            break;
        case AVAHI_CLIENT_FAILURE:
            d->reportFailure(QStringLiteral("lost the connection to avahi-daemon (%1)")
                                 .arg(avahiError(avahi_client_errno(c))));
            d->restartLater();
            break;
        }
    }

    static void onGroupState(AvahiEntryGroup* g, AvahiEntryGroupState state, void* userdata)
    {
        auto* d = static_cast<Private*>(userdata);
        switch (state) {
        case AVAHI_ENTRY_GROUP_ESTABLISHED:
            d->reportRegistered();
            break;
        case AVAHI_ENTRY_GROUP_COLLISION:
            // Another host answered for the name while the daemon probed it.
            d->registeredName.clear();
            if (d->renames >= kMaxRenames) {
                d->reportFailure(QStringLiteral("every name tried is taken on the network"));
                break;
            }
            d->takeAlternativeName();
            avahi_entry_group_reset(g);
            d->publish();
            break;
        case AVAHI_ENTRY_GROUP_FAILURE:
            d->reportFailure(
                QStringLiteral("the service could not be published (%1)")
                    .arg(avahiError(avahi_client_errno(avahi_entry_group_get_client(g)))));
            d->restartLater();
            break;
        case AVAHI_ENTRY_GROUP_UNCOMMITED:
        case AVAHI_ENTRY_GROUP_REGISTERING:
            break;
        }
    }
};

DnsSdPublisher::DnsSdPublisher(DnsSdService service, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this, std::move(service)))
{
    d->retryTimer.setSingleShot(true);
    connect(&d->retryTimer, &QTimer::timeout, this, [this] { d->connectClient(); });
    // Started from the event loop: the owner connects its slots first, and the signals of a
    // daemon that answers at once still reach them.
    QTimer::singleShot(0, this, [this] { d->connectClient(); });
}

DnsSdPublisher::~DnsSdPublisher() = default;

const DnsSdService& DnsSdPublisher::service() const
{
    return d->service;
}

QString DnsSdPublisher::registeredName() const
{
    return d->registeredName;
}

} // namespace vesker::platform
