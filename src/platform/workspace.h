#pragma once

#include "platform/desktop_apps.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>

namespace vesker::platform {

struct RunningApplication {
    QString bundleId; // desktop-file id, else WM_CLASS
    QString name;
    qint64 pid = 0; // 0 when the window does not say
};

// The applications that are running and the one in front. Main thread only; each question is
// answered at once from the desktop's current state.
class Workspace : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // One entry per application, however many windows it has.
    virtual QList<RunningApplication> runningApplications() = 0;
    // Empty when no application is in front or this desktop cannot tell.
    virtual QString frontmostBundleId() = 0;
    // The icon name or file of an installed application, from its .desktop file.
    virtual QString iconName(const QString& bundleId) = 0;

    // The desktop this process runs on, made on first use; for the composition root alone.
    static Workspace& system();

Q_SIGNALS:
    // Another application (or none) came to the front.
    void frontmostChanged(const QString& bundleId);
};

// An X11 desktop with an EWMH window manager: the managed windows of _NET_CLIENT_LIST are the
// running applications, _NET_ACTIVE_WINDOW the front one. Talks to the display named by $DISPLAY
// over a connection of its own, so nothing here depends on Qt's platform plugin.
class X11Workspace final : public Workspace {
    Q_OBJECT
public:
    explicit X11Workspace(QObject* parent = nullptr);
    ~X11Workspace() override;

    // False with no X display, or when it went away; every answer is then empty.
    bool isConnected() const;

    QList<RunningApplication> runningApplications() override;
    QString frontmostBundleId() override;
    QString iconName(const QString& bundleId) override;

private:
    struct Connection;
    struct WindowIdentity;

    QList<WindowIdentity> identify(const QList<quint32>& windows);
    RunningApplication applicationOf(const WindowIdentity& window);
    void readEvents();
    void takeQueuedEvents();

    std::unique_ptr<Connection> m_x;
    DesktopAppIndex m_index;
    bool m_frontmostKnowable = true;
    bool m_activeChanged = false; // seen while waiting for a reply, not yet announced
};

} // namespace vesker::platform
