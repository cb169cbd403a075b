#pragma once

#include "receive/browser_screen.h"
#include "screens/hosted_screen_routes.h"
#include "store/screen_item.h"

namespace vesker {

class AccessManager;
class ItemIntake;
class SecretGuard;

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
    // (too many wrong ones came lately). The PIN has a guard of its own, for its senders and
    // its viewers alike: guessing at another secret never shuts them out, and `sender`, once it
    // gave the PIN, passes from its address while this one is guessed. A missing PIN is no
    // guess.
    std::optional<HTTPResponse> pinRefusal(const QString& given, const QString& address,
        const QString& sender, const HTTPResponse& wrong);
    void upload(const HTTPRequest& request, ItemKind kind, HTTPReplyFunction reply);
    void browserScreen(
        const HTTPRequest& request, const QString& basePath, HTTPReplyFunction reply);

    HostedScreen m_screen;
    ItemStore& m_store;
    ItemIntake& m_intake;
    const platform::Clock& m_clock;
    BrowserScreen m_browserScreen;
    SecretGuard& m_pinGuard;
};

} // namespace vesker
