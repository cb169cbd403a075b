#pragma once

#include "access/guess_limiter.h"
#include "receive/browser_screen.h"
#include "screens/hosted_screen_routes.h"
#include "store/screen_item.h"

namespace vesker {

class AccessManager;
class ItemIntake;

namespace platform {
class Clock;
class Defaults;
} // namespace platform

// The local HTTP interface of one hosted screen: its upload page and "/api/info" under its own
// name, uploads into its own store (gated by its PIN, sent as the access code is), and its
// browser screen, served only when the screen allows it and asking for its PIN when it has one.
// This computer's own browser-screen switch, access code and viewer PIN play no part. Main
// thread only.
class HostedRoutes final : public HostedScreenRoutes {
public:
    HostedRoutes(const HostedScreen& screen, ItemStore& store, ItemIntake& intake,
        AccessManager& access, platform::Defaults& defaults, const platform::Clock& clock);

    void route(
        const HTTPRequest& request, const QString& basePath, HTTPReplyFunction reply) override;
    std::optional<HTTPResponse> refusalBeforeBody(const HTTPRequest& head) override;

private:
    bool pinRequired() const { return m_screen.requirePinToSend && !m_screen.pin.isEmpty(); }
    // None when `given` is the PIN; else the reply: `wrong`, or 429 when it was not checked
    // (too many wrong ones came lately). A wrong PIN counts against the sender's address; a
    // missing one is no guess.
    std::optional<HTTPResponse> pinRefusal(
        const QString& given, const QString& address, const HTTPResponse& wrong);
    void upload(const HTTPRequest& request, ItemKind kind, HTTPReplyFunction reply);
    void browserScreen(
        const HTTPRequest& request, const QString& basePath, HTTPReplyFunction reply);

    HostedScreen m_screen;
    ItemStore& m_store;
    ItemIntake& m_intake;
    const platform::Clock& m_clock;
    BrowserScreen m_browserScreen;
    GuessLimiter m_pinGuesses;
};

} // namespace vesker
