#include "focus_guard/focus_guard.h"

#include "platform/defaults.h"
#include "platform/desktop_apps.h"
#include "platform/enum_table.h"
#include "platform/workspace.h"

#include <QCollator>
#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>

namespace vesker {

namespace {

constexpr auto kRulesKey = "focusGuardRules";
constexpr auto kDoNotDisturbKey = "focusGuardDoNotDisturb";

constexpr platform::EnumTable<FocusGuard::Trigger, 2> kTriggers {{
    {FocusGuard::Trigger::running, "running"},
    {FocusGuard::Trigger::frontmost, "frontmost"},
}};

// The whole list or nothing: one damaged element drops it all.
std::optional<QList<FocusGuard::Rule>> decodeRules(const QByteArray& data)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QList<FocusGuard::Rule> rules;
    for (const QJsonValue& element : document.array()) {
        const QJsonObject object = element.toObject();
        const QJsonValue bundleID = object.value(QLatin1String("bundleID"));
        const QJsonValue name = object.value(QLatin1String("name"));
        const auto trigger
            = FocusGuard::triggerFromString(object.value(QLatin1String("trigger")).toString());
        if (!bundleID.isString() || !name.isString() || !trigger)
            return std::nullopt;
        rules.append({bundleID.toString(), name.toString(), *trigger});
    }
    return rules;
}

} // namespace

FocusGuard::FocusGuard(
    platform::Defaults& defaults, platform::Workspace& workspace, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_workspace(workspace)
{
    m_doNotDisturb = m_defaults.boolValue(QLatin1String(kDoNotDisturbKey), false);
    // Rules that do not decode are dropped for this run but left on disk until the next change.
    if (m_defaults.contains(QLatin1String(kRulesKey))) {
        if (auto rules = decodeRules(m_defaults.bytes(QLatin1String(kRulesKey))))
            setRules(std::move(*rules));
    }
    m_frontmostBundleID = m_workspace.frontmostBundleId();
    connect(
        &m_workspace, &platform::Workspace::frontmostChanged, this,
        [this](const QString& bundleID) {
            if (bundleID == m_frontmostBundleID)
                return;
            m_frontmostBundleID = bundleID;
            Q_EMIT frontmostBundleIDChanged(bundleID);
        },
        Qt::QueuedConnection);
}

QString FocusGuard::toString(Trigger trigger)
{
    return platform::rawOf(kTriggers, trigger);
}

std::optional<FocusGuard::Trigger> FocusGuard::triggerFromString(const QString& raw)
{
    return platform::caseOf(kTriggers, raw);
}

void FocusGuard::setDoNotDisturb(bool on)
{
    m_doNotDisturb = on;
    m_defaults.set(QLatin1String(kDoNotDisturbKey), on);
    Q_EMIT doNotDisturbChanged(on);
}

void FocusGuard::setHeldBack(qint64 count)
{
    m_heldBack = count;
    Q_EMIT heldBackChanged(count);
}

std::optional<QString> FocusGuard::holdReason() const
{
    if (m_doNotDisturb)
        return QStringLiteral("Do Not Disturb is on");
    // Asked only when a rule needs it: the list costs a round trip to the display.
    std::optional<QSet<QString>> running;
    for (const Rule& rule : m_rules) {
        if (rule.trigger == Trigger::frontmost) {
            if (!m_frontmostBundleID.isEmpty() && m_frontmostBundleID == rule.bundleID)
                return rule.name + QStringLiteral(" is in front");
            continue;
        }
        if (!running) {
            running.emplace();
            for (const auto& app : m_workspace.runningApplications())
                running->insert(app.bundleId);
        }
        if (running->contains(rule.bundleID))
            return rule.name + QStringLiteral(" is open");
    }
    return std::nullopt;
}

std::optional<QString> FocusGuard::holdArrival()
{
    auto reason = holdReason();
    if (reason)
        setHeldBack(m_heldBack + 1);
    return reason;
}

void FocusGuard::addRule(const QString& bundleID, const QString& name, Trigger trigger)
{
    const bool listed = std::any_of(m_rules.cbegin(), m_rules.cend(),
        [&](const Rule& rule) { return rule.bundleID == bundleID; });
    if (listed)
        return;
    QList<Rule> rules = m_rules;
    rules.append({bundleID, name, trigger});
    setRules(std::move(rules));
}

void FocusGuard::addApplication(const QString& desktopFilePath, Trigger trigger)
{
    const QString id = platform::DesktopAppIndex::idOfFile(desktopFilePath);
    if (const auto app = platform::DesktopAppIndex::readFile(desktopFilePath, id))
        addRule(app->id, app->name, trigger);
}

void FocusGuard::setTrigger(Trigger trigger, const QString& bundleID)
{
    QList<Rule> rules = m_rules;
    const auto it = std::find_if(
        rules.begin(), rules.end(), [&](const Rule& rule) { return rule.bundleID == bundleID; });
    if (it == rules.end())
        return;
    it->trigger = trigger;
    setRules(std::move(rules));
}

void FocusGuard::removeRule(const QString& bundleID)
{
    QList<Rule> rules = m_rules;
    rules.removeIf([&](const Rule& rule) { return rule.bundleID == bundleID; });
    setRules(std::move(rules));
}

QList<platform::RunningApplication> FocusGuard::runningAppCandidates() const
{
    QList<platform::RunningApplication> apps = m_workspace.runningApplications();
    const qint64 ownPid = QCoreApplication::applicationPid();
    apps.removeIf([&](const platform::RunningApplication& app) {
        return app.bundleId.isEmpty() || app.pid == ownPid;
    });
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(apps.begin(), apps.end(),
        [&](const auto& a, const auto& b) { return collator.compare(a.name, b.name) < 0; });
    return apps;
}

QIcon FocusGuard::icon(const QString& bundleID) const
{
    const QString name = m_workspace.iconName(bundleID);
    if (name.isEmpty())
        return {};
    return QFileInfo(name).isAbsolute() ? QIcon(name) : QIcon::fromTheme(name);
}

void FocusGuard::setRules(QList<Rule> rules)
{
    m_rules = std::move(rules);
    saveRules();
    Q_EMIT rulesChanged();
}

void FocusGuard::saveRules()
{
    QJsonArray array;
    for (const Rule& rule : m_rules) {
        array.append(QJsonObject {{QStringLiteral("bundleID"), rule.bundleID},
            {QStringLiteral("name"), rule.name},
            {QStringLiteral("trigger"), toString(rule.trigger)}});
    }
    m_defaults.setBytes(
        QLatin1String(kRulesKey), QJsonDocument(array).toJson(QJsonDocument::Compact));
}

} // namespace vesker
