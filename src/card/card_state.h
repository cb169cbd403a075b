#pragma once

#include <QString>

#include <optional>

namespace vesker {

// How cards are drawn; stored as "large" or "compact".
enum class ViewMode { large, compact };
inline QString toString(ViewMode mode)
{
    return mode == ViewMode::compact ? QStringLiteral("compact") : QStringLiteral("large");
}
// "large" or "compact"; anything else is none.
inline std::optional<ViewMode> viewModeFromString(const QString& raw)
{
    if (raw == QLatin1String("large"))
        return ViewMode::large;
    if (raw == QLatin1String("compact"))
        return ViewMode::compact;
    return std::nullopt;
}

// What one card remembers while its item stays listed, whether or not its widget exists at the
// moment: the list keeps these by item id and drops one when its item leaves the list.
struct CardState {
    bool revealed = false;
    bool showAllText = false;
    // "Copied" is showing after a copy from this card.
    bool copiedFlash = false;
    double zoom = 1.0;
    // Typed into the tag field and not yet committed with Return.
    QString tagsText;
};

} // namespace vesker
