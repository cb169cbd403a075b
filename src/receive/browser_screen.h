#pragma once

#include "http/http_server.h"
#include "receive/thumbnail_cache.h"
#include "receive/viewer_log.h"

#include <QJsonObject>

#include <functional>
#include <optional>

namespace vesker {

class AccessManager;
class ItemStore;
struct ScreenItem;

namespace platform {
class Clock;
class Defaults;
} // namespace platform

// Who lets a viewer in. `settings`: this computer's browser-screen switch, access code and
// viewer PIN, as for the main screen. `owner`: the screen that owns the page let the request
// through already (a hosted screen, by a switch and PIN of its own), so none of those apply.
enum class ViewerGate { settings, owner };

// The Inbox shown in any browser: the page at "/screen", the item list it polls, the images and
// thumbnails, and the viewer's actions (Got it, Later, Archive) with their permissions and PIN.
// Off unless "allowBrowserScreens" is on; settings are read afresh on every request. Main
// thread only; thumbnails are made on a pool of their own, and files go out a piece at a time.
class BrowserScreen {
public:
    BrowserScreen(ItemStore& store, AccessManager& access, platform::Defaults& defaults,
        const platform::Clock& clock, std::function<QString()> screenName,
        ViewerGate gate = ViewerGate::settings);
    ~BrowserScreen();

    // The paths the router hands over: "/screen", the "/api/items", "/api/image/" and
    // "/api/thumb/" prefixes and the three actions.
    static bool handles(const QString& path);
    // `basePath` prefixes the page's own requests (a hosted screen reached under "/s/").
    void handle(const HTTPRequest& request, HTTPReplyFunction reply, const QString& basePath = {});

    // The page at "/screen"; none while this computer's browser screens are off (and the page
    // is not its owner's to allow).
    std::optional<QByteArray> screenPage(const QString& basePath = {}) const;

    // One item as the page's script reads it.
    QJsonObject itemJSON(const ScreenItem& item, bool viewerBlurAll) const;
    // The item named by the last piece of `path`, read as a UUID.
    std::optional<ScreenItem> itemFromPath(const QString& path) const;

    const ThumbnailCache& thumbnails() const { return m_thumbnails; }
    // "viewerPIN" trimmed of spaces and tabs; empty: actions need none.
    QString viewerPIN() const;

private:
    void items(const HTTPRequest& request, HTTPReplyFunction reply);
    void image(const QString& path, HTTPReplyFunction reply);
    void thumbnail(const QString& path, HTTPReplyFunction reply);
    void act(const HTTPRequest& request, const QString& action, HTTPReplyFunction reply);
    bool flag(const char* key, bool fallback) const;

    ItemStore& m_store;
    AccessManager& m_access;
    platform::Defaults& m_defaults;
    std::function<QString()> m_screenName;
    ViewerGate m_gate;
    ViewerLog m_log;
    ThumbnailCache m_thumbnails;
};

} // namespace vesker
