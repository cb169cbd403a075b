#include "ui/app_icon.h"

namespace vesker {

QList<int> appIconSides()
{
    return {VESKER_APP_ICON_SIDES};
}

QIcon appIcon()
{
    static const QIcon icon = [] {
        QIcon drawn;
        for (const int side : appIconSides())
            drawn.addFile(QStringLiteral(":/app_icon/%1.png").arg(side), QSize(side, side));
        return drawn;
    }();
    return icon;
}

} // namespace vesker
