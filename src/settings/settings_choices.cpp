#include "settings/settings_choices.h"

#include "access/access_types.h"

namespace vesker::settings {

QList<Choice> accessPolicyChoices()
{
    QList<Choice> choices;
    for (AccessPolicy policy : {AccessPolicy::anyone, AccessPolicy::ask, AccessPolicy::code})
        choices.append({toString(policy), label(policy)});
    return choices;
}

QList<Choice> arrivalBehaviorChoices()
{
    return {{QStringLiteral("notify"), QStringLiteral("Just show a notification")},
        {QStringLiteral("bringForward"), QStringLiteral("Bring the window to the front")},
        {QStringLiteral("fullScreen"), QStringLiteral("Bring to front and go full screen")}};
}

QList<Choice> fullScreenStyleChoices()
{
    // "space" is the window manager's own full screen, which covers the panels too; there is no
    // desktop of its own for it here.
    return {
        {QStringLiteral("space"), QStringLiteral("Desktop full screen (covers the panels too)")},
        {QStringLiteral("fill"),
            QStringLiteral("Fill the display (stays on the current desktop)")}};
}

QList<Choice> viewModeChoices()
{
    return {{QStringLiteral("large"), QStringLiteral("Large")},
        {QStringLiteral("compact"), QStringLiteral("Compact")}};
}

QList<Choice> photoSizeChoices()
{
    return {{QStringLiteral("large"), QStringLiteral("Large (up to 3200 pixels)")},
        {QStringLiteral("medium"), QStringLiteral("Medium (up to 2048 pixels)")},
        {QStringLiteral("original"), QStringLiteral("Original (as taken)")}};
}

QList<Choice> cleanupAgeChoices()
{
    return {{QStringLiteral("never"), QStringLiteral("Never")},
        {QStringLiteral("oneDay"), QStringLiteral("After a day")},
        {QStringLiteral("threeDays"), QStringLiteral("After three days")},
        {QStringLiteral("oneWeek"), QStringLiteral("After a week")},
        {QStringLiteral("oneMonth"), QStringLiteral("After a month")}};
}

QList<Choice> cleanupActionChoices()
{
    return {{QStringLiteral("archive"), QStringLiteral("Move them to the Archive")},
        {QStringLiteral("delete"), QStringLiteral("Delete them")}};
}

QList<Choice> displayChoices(const QStringList& displayNames, const QString& stored)
{
    QList<Choice> choices {{QString(), QStringLiteral("Whichever display the window is on")}};
    for (const QString& name : displayNames)
        choices.append({name, name});
    if (!stored.isEmpty() && !displayNames.contains(stored))
        choices.append({stored, stored + QStringLiteral(" (not connected)")});
    return choices;
}

} // namespace vesker::settings
