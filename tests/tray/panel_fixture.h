// The tray panel's model over a real store in a temporary folder.
#pragma once

#include "focus_guard/focus_guard.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "store/item_store.h"
#include "support/fake_workspace.h"
#include "support/manual_clock.h"
#include "tray/tray_panel_model.h"

#include <QTemporaryDir>

namespace vesker::test {

struct PanelFixture {
    // From Ana's phone at 9:`minute` of one fixed day, so that a larger minute is newer.
    QUuid add(int minute, ItemStatus status = ItemStatus::inbox, ScreenItem item = {})
    {
        item.id = QUuid::createUuid();
        item.receivedAt = QDateTime(QDate(2026, 5, 1), QTime(9, minute), Qt::UTC);
        item.status = status;
        item.sender = QStringLiteral("Ana's phone");
        item.deviceID = QStringLiteral("DEVICE-1");
        store.append(item);
        return item.id;
    }

    QTemporaryDir dir;
    ManualClock settingsClock;
    platform::Defaults defaults {dir.filePath(QStringLiteral("defaults.json")), settingsClock};
    ItemStore store {dir.filePath(QStringLiteral("Vesker")), defaults, platform::Clock::system()};
    FakeWorkspace workspace;
    FocusGuard focus {defaults, workspace};
    TrayPanelModel model {store, nullptr, focus};
};

} // namespace vesker::test
