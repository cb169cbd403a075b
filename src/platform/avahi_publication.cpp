#include "platform/avahi_publication.h"

#include "platform/log.h"

#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>

namespace vesker::platform {

namespace {

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

} // namespace

AvahiPublication::AvahiPublication(DnsSdService service)
    : m_service(std::move(service))
{ }

void AvahiPublication::clientStateChanged(AvahiClientState state)
{
    switch (state) {
    case AVAHI_CLIENT_S_RUNNING:
        publish();
        break;
    case AVAHI_CLIENT_S_REGISTERING:
    case AVAHI_CLIENT_S_COLLISION:
        // The daemon is (re)claiming its host name and drops what we published; it is
        // published again when the daemon runs.
        if (m_group)
            avahi_entry_group_reset(m_group);
        setRegisteredName({});
        break;
    case AVAHI_CLIENT_CONNECTING:
        reportFailure(QStringLiteral("avahi-daemon is not running"));
        break;
    case AVAHI_CLIENT_FAILURE:
        break;
    }
}

void AvahiPublication::clientFailed(const QString& reason)
{
    // The group goes with the client.
    m_group = nullptr;
    reportFailure(reason);
}

void AvahiPublication::takeAlternativeName()
{
    char* alternative = avahi_alternative_service_name(m_name.constData());
    const QByteArray next = alternative ? QByteArray(alternative) : m_name + " #2";
    avahi_free(alternative);
    qCInfo(lcDnsSd).noquote() << QStringLiteral("[bonjour] the name \"%1\" is taken; trying \"%2\"")
                                     .arg(QString::fromUtf8(m_name), QString::fromUtf8(next));
    m_name = next;
    ++m_renames;
}

AvahiStringList* AvahiPublication::txtList() const
{
    AvahiStringList* list = nullptr;
    // Avahi's list grows at its head, so the entries go in back to front.
    for (auto it = m_service.txt.crbegin(); it != m_service.txt.crend(); ++it) {
        const QByteArray entry
            = utf8Prefix(it->first.toUtf8() + '=' + it->second.toUtf8(), kMaxTxtEntryBytes);
        list = avahi_string_list_add_arbitrary(
            list, reinterpret_cast<const uint8_t*>(entry.constData()), entry.size());
    }
    return list;
}

void AvahiPublication::publish()
{
    if (!m_group) {
        // A new client: start again from the service's own name.
        m_name = utf8Prefix(m_service.name.toUtf8(), kMaxNameBytes);
        m_renames = 0;
        if (m_name.isEmpty()) {
            reportFailure(QStringLiteral("the service has no name"));
            return;
        }
        m_group = avahi_entry_group_new(client(), onGroupState, this);
        if (!m_group) {
            reportFailure(QStringLiteral("avahi-daemon refused an entry group (%1)")
                              .arg(avahiError(avahi_client_errno(client()))));
            return;
        }
    }
    if (!avahi_entry_group_is_empty(m_group))
        return;

    AvahiStringList* txt = txtList();
    const QByteArray type = m_service.type.toUtf8();
    int result = AVAHI_OK;
    for (;;) {
        result = avahi_entry_group_add_service_strlst(m_group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
            AvahiPublishFlags(0), m_name.constData(), type.constData(), nullptr, nullptr,
            m_service.port, txt);
        // Another program on this machine already has the name: the daemon says so at once.
        if (result != AVAHI_ERR_COLLISION || m_renames >= kMaxRenames)
            break;
        takeAlternativeName();
    }
    avahi_string_list_free(txt);
    if (result >= 0)
        result = avahi_entry_group_commit(m_group);
    if (result < 0)
        reportFailure(
            QStringLiteral("avahi-daemon refused the service (%1)").arg(avahiError(result)));
}

void AvahiPublication::setRegisteredName(const QString& name)
{
    if (name == m_registeredName)
        return;
    m_registeredName = name;
    Q_EMIT nameChanged(name);
}

void AvahiPublication::reportFailure(const QString& reason)
{
    setRegisteredName({});
    if (!m_failure.isEmpty())
        return;
    m_failure = reason;
    qCWarning(lcDnsSd).noquote() << QStringLiteral("[bonjour] not discoverable: ") + reason;
    Q_EMIT failed(reason);
}

void AvahiPublication::onGroupState(
    AvahiEntryGroup* group, AvahiEntryGroupState state, void* userdata)
{
    auto* self = static_cast<AvahiPublication*>(userdata);
    switch (state) {
    case AVAHI_ENTRY_GROUP_ESTABLISHED:
        self->m_failure.clear();
        self->m_renames = 0;
        self->resetBackoff();
        self->setRegisteredName(QString::fromUtf8(self->m_name));
        break;
    case AVAHI_ENTRY_GROUP_COLLISION:
        // Another host answered for the name while the daemon probed it.
        self->setRegisteredName({});
        if (self->m_renames >= kMaxRenames) {
            self->reportFailure(QStringLiteral("every name tried is taken on the network"));
            break;
        }
        self->takeAlternativeName();
        avahi_entry_group_reset(group);
        self->publish();
        break;
    case AVAHI_ENTRY_GROUP_FAILURE:
        self->reportFailure(
            QStringLiteral("the service could not be published (%1)")
                .arg(avahiError(avahi_client_errno(avahi_entry_group_get_client(group)))));
        self->m_group = nullptr;
        self->restartLater();
        break;
    case AVAHI_ENTRY_GROUP_UNCOMMITED:
    case AVAHI_ENTRY_GROUP_REGISTERING:
        break;
    }
}

} // namespace vesker::platform
