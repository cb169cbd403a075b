#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

namespace vesker {

namespace platform {
class Defaults;
class Workspace;
struct RunningApplication;
} // namespace platform

// Whether the main window may take the screen when an item arrives: the user's own Do Not
// Disturb, and a list of other applications that keep the screen while they run or are in
// front. Items always reach the Inbox; only the window's movement is held back, and the held
// arrivals are counted here for whoever tells the user. Main thread only.
class FocusGuard : public QObject {
    Q_OBJECT
public:
    enum class Trigger { running, frontmost };

    struct Rule {
        QString bundleID; // desktop-file id of the other application
        QString name;
        Trigger trigger = Trigger::running;
        bool operator==(const Rule&) const = default;
    };

    FocusGuard(
        platform::Defaults& defaults, platform::Workspace& workspace, QObject* parent = nullptr);

    static QString toString(Trigger trigger);
    static std::optional<Trigger> triggerFromString(const QString& raw);

    const QList<Rule>& rules() const { return m_rules; }
    bool doNotDisturb() const { return m_doNotDisturb; }
    void setDoNotDisturb(bool on);
    qint64 heldBack() const { return m_heldBack; }
    void setHeldBack(qint64 count);
    QString frontmostBundleID() const { return m_frontmostBundleID; }

    // Why the window must stay where it is now, or nothing.
    std::optional<QString> holdReason() const;
    // The arrival road's question: when a reason holds the window back, the arrival is counted
    // in heldBack() and the reason returned.
    std::optional<QString> holdArrival();

    // Ignored when a rule for that id exists already.
    void addRule(const QString& bundleID, const QString& name, Trigger trigger);
    // An application picked as its .desktop file.
    void addApplication(const QString& desktopFilePath, Trigger trigger);
    void setTrigger(Trigger trigger, const QString& bundleID);
    void removeRule(const QString& bundleID);

    // Running applications the user may pick, by name; this program is not among them.
    QList<platform::RunningApplication> runningAppCandidates() const;
    QIcon icon(const QString& bundleID) const;

Q_SIGNALS:
    void rulesChanged();
    void doNotDisturbChanged(bool on);
    void heldBackChanged(qint64 count);
    void frontmostBundleIDChanged(const QString& bundleID);

private:
    void setRules(QList<Rule> rules);
    void saveRules();

    platform::Defaults& m_defaults;
    platform::Workspace& m_workspace;
    QList<Rule> m_rules;
    bool m_doNotDisturb = false;
    qint64 m_heldBack = 0;
    QString m_frontmostBundleID;
};

} // namespace vesker
