#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

namespace vesker {

class ItemStore;

namespace platform {
class Clock;
class Defaults;
} // namespace platform

enum class CleanupAge { never, oneDay, threeDays, oneWeek, oneMonth };
enum class CleanupAction { archive, delete_ };
QString toString(CleanupAge age);
QString toString(CleanupAction action);
std::optional<CleanupAge> cleanupAgeFromString(const QString& raw);
std::optional<CleanupAction> cleanupActionFromString(const QString& raw);
// Seconds after which an Inbox item is cleaned up; none for `never`.
std::optional<qint64> cleanupSeconds(CleanupAge age);

// Archives or deletes the Inbox items of a store that are older than the "cleanupAge" setting
// ("cleanupAction" says which), telling their senders as the user's own action would. It runs
// as it is made, so that a store opened after a long break is tidy before any view shows it,
// every half hour after that, and as soon as the choice changes. Main thread only.
class StoreCleanup : public QObject {
    Q_OBJECT
public:
    StoreCleanup(ItemStore& store, platform::Defaults& defaults, const platform::Clock& clock,
        QObject* parent = nullptr);

    void run();

    const QTimer& timer() const { return m_timer; }

private:
    ItemStore& m_store;
    platform::Defaults& m_defaults;
    const platform::Clock& m_clock;
    QTimer m_timer;
    // Age and action are written one after the other: the run waits for both.
    QTimer m_choiceChanged;
};

} // namespace vesker
