#pragma once

#include "update/update_release.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

namespace vesker {

namespace platform {
class Clock;
class Defaults;
} // namespace platform

// The outcome of the last update check.
struct UpdateStatus {
    enum class State { upToDate, available, idle, checking, unreachable };

    State state = State::idle;
    QDateTime checkedAt; // upToDate: when the check finished
    UpdateRelease release; // available: what is offered

    friend bool operator==(const UpdateStatus&, const UpdateStatus&) = default;
};

struct UpdaterOptions {
    // The maker's manifest when left empty; tests give one of their own.
    std::optional<QUrl> manifestUrl;
    // The running program's version when left empty, "0" when it has none.
    std::optional<QString> currentVersion;
};

// Learns of new versions from the maker's manifest: at start when the last answer is old,
// every 24 hours while automatic checks are on, and when the user asks. It only reads the
// manifest; downloads are the browser's business. Main thread only.
class Updater : public QObject {
    Q_OBJECT
public:
    using Options = UpdaterOptions;

    static constexpr auto kAutomatic = "checkForUpdatesAutomatically";
    static constexpr auto kLastCheck = "updateLastCheck";
    static constexpr auto kSkippedVersion = "updateSkippedVersion";
    // Bodies past this are no manifest: the read stops there.
    static constexpr qint64 kMaxManifestBytes = 1024 * 1024;

    Updater(platform::Defaults& defaults, const platform::Clock& clock, Options options = {},
        QObject* parent = nullptr);
    ~Updater() override;

    static QUrl defaultManifestUrl();

    UpdateStatus status() const { return m_status; }
    QUrl manifestUrl() const { return m_manifestUrl; }
    QString currentVersion() const { return m_currentVersion; }
    bool automaticChecksEnabled() const;
    bool isStarted() const { return m_started; }
    // The release the Inbox banner offers: the available one unless the user skipped it.
    std::optional<UpdateRelease> pendingRelease() const;

    // Arms the daily check and checks at once when the last answer is over 20 hours old (or
    // dated in the future, as after the clock was set back). Nothing while automatic checks
    // are off.
    void start();
    void setAutomatic(bool on);
    // One check; a user's check offers a skipped version again.
    void check(bool userInitiated);
    // The menu's check: a user's check whose outcome is then shown (resultToShow).
    void checkNow();
    void skipVersion(const UpdateRelease& release);

Q_SIGNALS:
    // The status, the skipped version or the automatic setting changed.
    void changed();
    // A check the menu asked for has finished; its outcome is status().
    void resultToShow();

private:
    struct Transfer;
    void run(bool userInitiated, bool showResult);
    void finish(QNetworkReply& reply, const Transfer& transfer);
    void setStatus(const UpdateStatus& status);
    double nowSeconds() const;

    platform::Defaults& m_defaults;
    const platform::Clock& m_clock;
    QUrl m_manifestUrl;
    QString m_currentVersion;
    QNetworkAccessManager* m_network = nullptr;
    QPointer<QTimer> m_timer;
    UpdateStatus m_status;
    bool m_started = false;
};

} // namespace vesker
