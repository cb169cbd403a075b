#include "send/send_session.h"

#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/sounds.h"
#include "send/uploader.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QUuid>

namespace vesker {

SendSession::SendSession(QList<OutgoingItem> items, Services services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_items(std::move(items))
{
    Q_ASSERT(m_services.uploader);
}

SendSession::~SendSession()
{
    cancel();
}

QString SendSession::relaySelectionID(const QString& relayID)
{
    return QStringLiteral("relay:") + relayID;
}

QString SendSession::remoteSelectionID(const QUuid& id)
{
    return QStringLiteral("remote:") + id.toString(QUuid::WithoutBraces).toUpper();
}

void SendSession::setItems(const QList<OutgoingItem>& items)
{
    if (m_items == items)
        return;
    m_items = items;
    Q_EMIT itemsChanged();
}

void SendSession::setNote(const QString& note)
{
    if (m_note == note)
        return;
    m_note = note;
    Q_EMIT noteChanged();
}

void SendSession::setTextDraft(const QString& text)
{
    if (m_textDraft == text)
        return;
    m_textDraft = text;
    Q_EMIT textDraftChanged();
}

void SendSession::addText()
{
    const QString text = m_textDraft.trimmed();
    if (text.isEmpty())
        return;
    m_items.append(OutgoingItem {.text = text});
    Q_EMIT itemsChanged();
    setTextDraft({});
}

void SendSession::setDiscovered(const QList<DiscoveredScreen>& macs)
{
    if (m_services.directory) {
        QStringList names;
        for (const DiscoveredScreen& mac : macs)
            names.append(mac.name);
        m_services.directory->remember(names);
    }
    const QString ownShares
        = QStringLiteral(" via ") + (m_services.screenName ? m_services.screenName() : QString());
    QList<DiscoveredScreen> offered = macs;
    offered.removeIf([&](const DiscoveredScreen& mac) { return mac.name.endsWith(ownShares); });
    if (offered != m_macs) {
        m_macs = offered;
        Q_EMIT macsChanged();
    }
    if (m_selected.isEmpty() && m_macs.size() == 1)
        setSelected({m_macs.first().name});
}

QList<RelayScreen> SendSession::sendableRelayScreens() const
{
    QList<RelayScreen> sendable;
    if (!m_services.relayBook)
        return sendable;
    const QDateTime at = now();
    for (const RelayScreen& screen : m_services.relayBook->screens()) {
        if (!approvalStatusText(screen, at))
            sendable.append(screen);
    }
    return sendable;
}

std::optional<QString> SendSession::approvalStatusText(
    const RelayScreen& screen, const QDateTime& now)
{
    if (screen.status == QLatin1String("approved")) {
        // The grant ends at the very instant it names, fractions of a second included.
        if (screen.grantedUntil && now.toMSecsSinceEpoch() >= *screen.grantedUntil * 1000)
            return QStringLiteral("access expired — ask them to extend it");
        return std::nullopt;
    }
    if (screen.status == QLatin1String("pending"))
        return QStringLiteral("waiting for them to approve you");
    if (screen.status == QLatin1String("denied"))
        return QStringLiteral("they declined");
    return QStringLiteral("not approved yet");
}

void SendSession::setSelected(const QSet<QString>& ids)
{
    if (m_selected == ids)
        return;
    m_selected = ids;
    Q_EMIT selectedChanged();
}

void SendSession::setChosen(const QString& id, bool chosen)
{
    QSet<QString> ids = m_selected;
    if (chosen)
        ids.insert(id);
    else
        ids.remove(id);
    setSelected(ids);
}

QStringList SendSession::reachableMembers(const ScreenGroup& group) const
{
    QStringList reachable;
    for (const QString& member : group.members) {
        if (std::any_of(m_macs.begin(), m_macs.end(),
                [&](const DiscoveredScreen& mac) { return mac.name == member; }))
            reachable.append(member);
    }
    return reachable;
}

bool SendSession::isGroupChosen(const ScreenGroup& group) const
{
    const QStringList reachable = reachableMembers(group);
    return !reachable.isEmpty()
        && std::all_of(reachable.begin(), reachable.end(),
            [&](const QString& name) { return m_selected.contains(name); });
}

void SendSession::setGroupChosen(const ScreenGroup& group, bool chosen)
{
    QSet<QString> ids = m_selected;
    for (const QString& name : reachableMembers(group)) {
        if (chosen)
            ids.insert(name);
        else
            ids.remove(name);
    }
    setSelected(ids);
}

bool SendSession::isChoosable(const QString& id) const
{
    if (id.startsWith(QLatin1String("relay:"))) {
        const QList<RelayScreen> sendable = sendableRelayScreens();
        return std::any_of(sendable.begin(), sendable.end(),
            [&](const RelayScreen& s) { return relaySelectionID(s.id) == id; });
    }
    return true;
}

QMap<QString, QString> SendSession::codes() const
{
    QMap<QString, QString> codes;
    const QJsonDocument doc = QJsonDocument::fromJson(
        m_services.defaults.string(QString::fromLatin1(kCodesKey), QStringLiteral("{}")).toUtf8());
    if (!doc.isObject())
        return codes;
    const QJsonObject object = doc.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        // One value that is not a string makes the whole text unusable, as hand-edited
        // text would be.
        if (!it->isString())
            return {};
        codes.insert(it.key(), it->toString());
    }
    return codes;
}

void SendSession::saveCode(const QString& code, const QString& name)
{
    QMap<QString, QString> all = codes();
    all.insert(name, code);
    QJsonObject object;
    for (auto it = all.cbegin(); it != all.cend(); ++it)
        object.insert(it.key(), it.value());
    m_services.defaults.set(QString::fromLatin1(kCodesKey),
        QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
}

void SendSession::submitCode(const QString& code)
{
    if (!m_codePromptFor || m_codeQueue.isEmpty())
        return;
    ScreenSender* sender = m_codeQueue.takeFirst();
    saveCode(code, *m_codePromptFor);
    m_codePromptFor.reset();
    sender->resume();
    askNextCode();
}

void SendSession::dismissCodePrompt()
{
    if (!m_codePromptFor || m_codeQueue.isEmpty())
        return;
    ScreenSender* sender = m_codeQueue.takeFirst();
    m_codePromptFor.reset();
    sender->abandon();
    askNextCode();
}

void SendSession::askNextCode()
{
    if (m_codePromptFor || m_codeQueue.isEmpty()) {
        Q_EMIT codePromptChanged();
        return;
    }
    const QString name = m_codeQueue.first()->destination().name;
    m_codeInput = codes().value(name);
    m_codePromptFor = name;
    Q_EMIT codePromptChanged();
}

QList<SendSession::ScreenStatus> SendSession::statuses() const
{
    QList<ScreenStatus> statuses;
    for (const auto& sender : m_senders)
        statuses.append({sender->destination().name, sender->lines(), sender->state()});
    return statuses;
}

QStringList SendSession::results() const
{
    QStringList lines;
    for (const auto& sender : m_senders)
        lines += sender->lines();
    return lines;
}

int SendSession::activeJobs() const
{
    return int(std::count_if(
        m_senders.begin(), m_senders.end(), [](const auto& sender) { return sender->isBusy(); }));
}

QList<SendDestination> SendSession::destinations() const
{
    QList<SendDestination> destinations;
    for (const DiscoveredScreen& mac : m_macs) {
        if (m_selected.contains(mac.name))
            destinations.append(
                {mac.name, UploadTarget::endpoint(mac.endpoint.host, mac.endpoint.port)});
    }
    if (m_services.remoteScreens) {
        for (const RemoteScreen& screen : m_services.remoteScreens()) {
            if (!m_selected.contains(remoteSelectionID(screen.id)))
                continue;
            if (const std::optional<QUrl> base = screen.baseURL())
                destinations.append({screen.name, UploadTarget::url(*base)});
        }
    }
    for (const RelayScreen& screen : sendableRelayScreens()) {
        if (m_selected.contains(relaySelectionID(screen.id)))
            destinations.append({screen.name, UploadTarget::relayScreen(screen)});
    }
    return destinations;
}

void SendSession::send()
{
    if (m_sending)
        return;
    const QList<SendDestination> targets = destinations();
    addText();
    if (targets.isEmpty() || m_items.isEmpty())
        return;

    auto batch = std::make_shared<SendBatch>();
    batch->items = m_items;
    batch->note = m_note;
    batch->sender = m_services.screenName ? m_services.screenName() : QString();
    if (m_items.size() >= 2)
        batch->groupID = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    batch->includeLocation
        = m_services.defaults.boolValue(QString::fromLatin1(kIncludeLocationKey), false);
    batch->photoSize = currentPhotoSize(m_services.defaults);

    m_senders.clear();
    m_codeQueue.clear();
    m_codePromptFor.reset();
    setSending(true);
    const auto code = [this](const QString& name) { return codes().value(name); };
    for (const SendDestination& destination : targets) {
        auto sender
            = std::make_unique<ScreenSender>(destination, batch, *m_services.uploader, code);
        ScreenSender* raw = sender.get();
        connect(raw, &ScreenSender::linesChanged, this, &SendSession::resultsChanged);
        connect(raw, &ScreenSender::stateChanged, this, [this, raw] { senderStateChanged(raw); });
        m_senders.push_back(std::move(sender));
    }
    Q_EMIT resultsChanged();
    for (const auto& sender : m_senders)
        sender->start();
}

void SendSession::cancel()
{
    m_senders.clear();
    m_codeQueue.clear();
    if (m_codePromptFor) {
        m_codePromptFor.reset();
        Q_EMIT codePromptChanged();
    }
    setSending(false);
}

void SendSession::senderStateChanged(ScreenSender* sender)
{
    if (sender->state() == ScreenSender::State::needsCode) {
        m_codeQueue.append(sender);
        askNextCode();
        return;
    }
    if (std::all_of(m_senders.begin(), m_senders.end(), [](const auto& s) { return s->isEnded(); }))
        allEnded();
}

void SendSession::allEnded()
{
    // Only a clean run closes the sheet: a screen that first had to approve this computer, a
    // code not given, or any item that failed leaves its lines for the user to read. Judged by
    // what each screen's sending came to: the lines begin with names from the network, which
    // may hold the check mark themselves.
    const bool clean = !m_senders.empty()
        && std::all_of(m_senders.begin(), m_senders.end(),
            [](const auto& sender) { return sender->deliveredAtOnce(); });
    if (!clean) {
        setSending(false);
        return;
    }
    if (m_services.deliveredSound)
        m_services.deliveredSound();
    else
        platform::Sounds::play(QStringLiteral("Pop"));
    QTimer::singleShot(kCloseDelayMs, this, [this] {
        Q_EMIT delivered();
        setSending(false);
    });
}

void SendSession::setSending(bool sending)
{
    if (m_sending == sending)
        return;
    m_sending = sending;
    Q_EMIT sendingChanged();
}

QDateTime SendSession::now() const
{
    return m_services.clock.now();
}

} // namespace vesker
