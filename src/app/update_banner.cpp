#include "app/update_banner.h"

#include "app/updater.h"

namespace vesker {

// The update check offers nothing yet, so there is nothing to show and no room to take.
UpdateBanner::UpdateBanner(Updater&, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("updateBanner"));
    hide();
}

} // namespace vesker
