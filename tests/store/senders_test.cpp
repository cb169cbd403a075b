#include "store_fixture.h"

#include "store/senders.h"

#include <QSignalSpy>

using namespace vesker;
using namespace vesker::test;

TEST_F(StoreTest, SendersGroupRawNamesUnderTheirAliasNewestFirstUntilTheAliasGoes)
{
    QList<ScreenItem> items;
    const std::pair<const char*, int> sent[]
        = {{"Ann's phone", 50}, {"Bob", 40}, {"Ann laptop", 30}, {"", 60}, {"Ann's phone", 20}};
    for (const auto& [sender, age] : sent) {
        items.append(makeItem(
            u"%1.jpg"_s.arg(age), age, age == 40 ? ItemStatus::archived : ItemStatus::inbox));
        items.last().sender = QString::fromUtf8(sender);
    }
    auto store = storeWith(items);
    Senders senders(*store, *m_defaults);
    QSignalSpy changed(store.get(), &ItemStore::changed);
    senders.renameSender(u"Ann's phone"_s, u" Ann "_s);
    senders.setAlias(u"Ann"_s, u"Ann laptop"_s);
    EXPECT_EQ(changed.count(), 2) << "every view redraws";
    EXPECT_EQ(senders.entries(),
        (QList<SenderEntry> {{u"Ann"_s, {u"Ann's phone"_s, u"Ann laptop"_s}, 3},
            {u"Bob"_s, {u"Bob"_s}, 1}, {QString(), {QString()}, 1}}));

    // Renaming the merged sender renames every raw name; a blank name removes the alias.
    senders.renameSender(u"Ann"_s, u"Anna"_s);
    EXPECT_EQ(Senders::displayName(u"Ann laptop"_s, *m_defaults), u"Anna"_s);
    senders.renameSender(u"Anna"_s, u" \t"_s);
    senders.setAlias(u"Robert"_s, u"Bob"_s);
    senders.setAlias(u" Bob "_s, u"Bob"_s);
    EXPECT_TRUE(m_defaults->stringMap(u"senderAliases"_s).isEmpty());
}
