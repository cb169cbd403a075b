#include "inbox/sidebar.h"
#include "platform/defaults.h"
#include "store/item_store.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vesker;

TEST(Sidebar, ArrivalModeIsWrittenPerLowerCasedRawNameAndRedrawsTheStore)
{
    QTemporaryDir dir;
    platform::Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
    ItemStore store(dir.filePath(QStringLiteral("store")), &defaults);
    QSignalSpy redraws(&store, &ItemStore::changed);

    Sidebar::setArrivalMode(
        SenderArrival::quiet, {QStringLiteral("Mum"), QStringLiteral("MUM's Phone")}, store);
    EXPECT_EQ(store.arrivalMode(QStringLiteral("mum")), SenderArrival::quiet);
    EXPECT_EQ(store.arrivalMode(QStringLiteral("Mum's phone")), SenderArrival::quiet);
    EXPECT_EQ(redraws.count(), 1);

    Sidebar::setArrivalMode(SenderArrival::normal, {QStringLiteral("Mum")}, store);
    const auto modes = defaults.stringMap(QStringLiteral("senderArrival"));
    EXPECT_EQ(modes.value(QStringLiteral("mum")), QStringLiteral("normal")) << "kept, not removed";
    EXPECT_EQ(modes.value(QStringLiteral("mum's phone")), QStringLiteral("quiet"));
    EXPECT_EQ(store.arrivalMode(QStringLiteral("Mum")), SenderArrival::normal);
}
