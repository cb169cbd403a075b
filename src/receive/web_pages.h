#pragma once

#include <QString>

namespace vesker {

// The two pages the server hands to browsers, built from the templates compiled in under
// ":/web/". Each template holds "@@SCREEN_NAME@@" (in HTML text and quoted attributes only) and
// "@@CONFIG@@" (the whole content of a JSON script element); both are filled in one pass, so a
// name that itself reads like a token stays as typed. Any thread.
// `basePath` prefixes every request of a page: empty on the server of the screen it sends to or
// shows, "/s/<slug>" for a hosted screen reached under the main server.
QString uploadPageHTML(const QString& screenName, const QString& basePath = {});
QString screenPageHTML(const QString& screenName, const QString& basePath);

// The screen name for HTML text and double- or single-quoted attribute values.
QString htmlEscaped(const QString& text);
// {"name": ..., "base": ...} written so that it can sit inside a <script> element: no "<", ">"
// or "&", and no line or paragraph separator, appears unescaped.
QString pageConfigJSON(const QString& screenName, const QString& basePath);

} // namespace vesker
