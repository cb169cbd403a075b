#include "receive/route_snapshot.h"

namespace vesker {

std::optional<HTTPResponse> RouteSnapshot::answer(const HTTPRequest& request) const
{
    if (request.method != QLatin1String("GET"))
        return std::nullopt;
    const QString& path = request.path;
    if (path == QLatin1String("/api/info"))
        return HTTPResponse {200, QStringLiteral("application/json"), info};
    if (path == QLatin1String("/") || path == QLatin1String("/index.html"))
        return HTTPResponse {200, QStringLiteral("text/html; charset=utf-8"), uploadPage};
    if (path == QLatin1String("/screen")) {
        if (!screenPage) {
            return HTTPResponse::text(
                404, QStringLiteral("Browser screens are turned off on this screen"));
        }
        return HTTPResponse {200, QStringLiteral("text/html; charset=utf-8"), *screenPage};
    }
    return std::nullopt;
}

} // namespace vesker
