#include "inbox/sidebar.h"
#include "platform/defaults.h"
#include "store/item_store.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vesker;
using namespace Qt::Literals::StringLiterals;

TEST(Sidebar, ArrivalModeIsWrittenPerLowerCasedRawNameAndRedrawsTheStore)
{
    QTemporaryDir dir;
    platform::Defaults defaults(dir.filePath(u"defaults.json"_s));
    ItemStore store(dir.filePath(u"store"_s), &defaults);
    QSignalSpy redraws(&store, &ItemStore::changed);

    Sidebar::setArrivalMode(SenderArrival::quiet, {u"Mum"_s, u"MUM's Phone"_s}, store);
    EXPECT_EQ(redraws.count(), 1);
    Sidebar::setArrivalMode(SenderArrival::normal, {u"Mum"_s}, store);
    const auto modes = defaults.stringMap(u"senderArrival"_s);
    EXPECT_EQ(modes.value(u"mum"_s), u"normal"_s) << "kept, not removed";
    EXPECT_EQ(modes.value(u"mum's phone"_s), u"quiet"_s);
}
