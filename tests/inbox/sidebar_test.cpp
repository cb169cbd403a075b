#include "inbox/sidebar.h"
#include "platform/defaults.h"
#include "store/item_queries.h"
#include "store/item_store.h"
#include "support/manual_clock.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vesker;
using namespace Qt::Literals::StringLiterals;

namespace {

class SidebarTest : public ::testing::Test {
protected:
    void add(const QString& sender, const QString& note = {})
    {
        ScreenItem item;
        item.id = QUuid::createUuid();
        item.receivedAt = m_clock.now();
        item.kind = ItemKind::text;
        item.text = "hello";
        item.note = note;
        item.sender = sender;
        m_store.append(item);
        m_clock.advance(60);
    }

    QStringList rowNames()
    {
        QStringList names;
        for (const SenderRow& row : Sidebar::senderRows(m_store))
            names.append(row.name);
        return names;
    }

    QTemporaryDir m_dir;
    test::ManualClock m_clock;
    platform::Defaults m_defaults {m_dir.filePath(u"defaults.json"_s), m_clock};
    ItemStore m_store {m_dir.filePath(u"store"_s), m_defaults, m_clock};
};

} // namespace

TEST_F(SidebarTest, CombinedSendersShowAsOneRowNamingBothDevicesAndGoQuietTogether)
{
    add(u"mum"_s);
    add(u"Mum-Phone"_s);
    add(u"Dad"_s);
    const ItemFilter filter
        = Sidebar::combine(u"Mum-Phone"_s, u"mum"_s, m_store, ItemFilter::sender(u"Dad"_s));
    EXPECT_EQ(filter, ItemFilter::sender(u"mum"_s)) << "a sender filter follows the merge";
    EXPECT_EQ(Sidebar::combine(u"Dad"_s, u"Dad"_s, m_store, ItemFilter::tag(u"x"_s)),
        ItemFilter::tag(u"x"_s));

    const QList<SenderRow> rows = Sidebar::senderRows(m_store);
    ASSERT_EQ(rowNames(), (QStringList {u"Dad"_s, u"mum"_s}));
    const SenderRow& mum = rows.at(1);
    EXPECT_EQ(mum.count, 2);
    EXPECT_EQ(mum.tooltip, u"Devices: mum, Mum-Phone."_s);
    EXPECT_EQ(rows.at(0).tooltip, QString()) << "one raw name, shown as it is";
    EXPECT_EQ(Sidebar::renameStartText(rows.at(0)), QString());
    EXPECT_EQ(Sidebar::renameStartText(mum), u"mum"_s);

    Sidebar::setArrivalMode(SenderArrival::quiet, mum.rawNames, m_store);
    Sidebar::setKnown(true, mum.rawNames, m_store);
    const auto modes = m_defaults.stringMap(u"senderArrival"_s);
    EXPECT_EQ(modes.value(u"mum"_s), u"quiet"_s);
    EXPECT_EQ(modes.value(u"mum-phone"_s), u"quiet"_s);
    const SenderRow quiet = Sidebar::senderRows(m_store).at(1);
    EXPECT_EQ(quiet.symbol, u"bell.slash"_s);
    EXPECT_EQ(quiet.tooltip, u"Devices: mum, Mum-Phone. Known sender \u2014 never blurred"_s);
    Sidebar::setArrivalMode(SenderArrival::normal, mum.rawNames, m_store);
    EXPECT_EQ(m_defaults.stringMap(u"senderArrival"_s).value(u"mum-phone"_s), u"normal"_s)
        << "kept, not removed";
}

TEST_F(SidebarTest, SeparatingOrRenamingResetsASenderFilterOnly)
{
    add(u"mum"_s);
    add(u"Mum-Phone"_s);
    Sidebar::combine(u"Mum-Phone"_s, u"mum"_s, m_store, ItemFilter::all());
    ASSERT_EQ(rowNames(), (QStringList {u"mum"_s}));

    EXPECT_EQ(
        Sidebar::separate(u"mum"_s, m_store, ItemFilter::sender(u"mum"_s)), ItemFilter::all());
    EXPECT_EQ(rowNames(), (QStringList {u"Mum-Phone"_s, u"mum"_s}));
    EXPECT_EQ(Sidebar::rename(u"mum"_s, u"  Mother "_s, m_store, ItemFilter::tag(u"x"_s)),
        ItemFilter::tag(u"x"_s));
    EXPECT_EQ(rowNames(), (QStringList {u"Mum-Phone"_s, u"Mother"_s}));
}

TEST_F(SidebarTest, SearchFindsASenderByTheNicknameGiven)
{
    add(u"iPhone 15"_s, u"receipt"_s);
    add(u"Pixel"_s);
    Sidebar::rename(u"iPhone 15"_s, u"Grandma"_s, m_store, ItemFilter::all());
    const QList<ScreenItem> found
        = itemsIn(m_store.items(), ItemStatus::inbox, ItemFilter::all(), u"grandMA"_s, m_defaults);
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found.first().note, u"receipt"_s);
    EXPECT_EQ(itemsIn(m_store.items(), ItemStatus::inbox, ItemFilter::sender(u"Grandma"_s), {},
                  m_defaults)
                  .size(),
        1);
}
