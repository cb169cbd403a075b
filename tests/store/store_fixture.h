#pragma once

#include "platform/atomic_file.h"
#include "platform/defaults.h"
#include "store/item_store.h"
#include "support/manual_clock.h"
#include "support/temp_env.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace vesker::test {

using namespace Qt::Literals::StringLiterals;
using RelayCalls = QList<std::pair<QString, QString>>;

// Records what a store tells the relay; connecting hears what waited for a listener.
struct RelayRecorder {
    RelayCalls calls;
    QObject context;
    explicit RelayRecorder(ItemStore& store)
    {
        QObject::connect(&store, &ItemStore::relayAcknowledged, &context,
            [this](const QString& id, const QString& action) {
                calls.append({id, action});
            });
    }
};

// A hosted-style store in a temporary folder with its own settings file and a clock the test
// moves.
class StoreTest : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    ManualClock m_clock;
    std::unique_ptr<platform::Defaults> m_defaults
        = std::make_unique<platform::Defaults>(m_dir.filePath(u"config/defaults.json"_s), m_clock);

    // The application's own store lives under the test process's private home; tests that
    // open it must not see one another's items when run in one process.
    void SetUp() override { QDir(ItemStore::defaultRoot()).removeRecursively(); }

    QString root() const { return m_dir.filePath(u"store"_s); }
    QString inbox(const QString& name) const { return root() + u"/Inbox/"_s + name; }
    QString archive(const QString& name) const { return root() + u"/Archive/"_s + name; }

    // Stores write on a worker thread; what a test reads from disk is what every store it
    // opened has written by then.
    QList<QPointer<ItemStore>> m_opened;
    void flushAll()
    {
        for (const QPointer<ItemStore>& store : std::as_const(m_opened)) {
            if (store)
                store->flush();
        }
    }

    std::unique_ptr<ItemStore> openStore()
    {
        flushAll();
        auto store = std::make_unique<ItemStore>(root(), *m_defaults, m_clock);
        m_opened.append(store.get());
        return store;
    }

    // An item received `ageSeconds` before the clock's now.
    ScreenItem makeItem(const QString& name, qint64 ageSeconds = 0,
        ItemStatus status = ItemStatus::inbox, const QString& deviceID = {})
    {
        ScreenItem item;
        item.id = QUuid::createUuid();
        item.receivedAt = m_clock.now().addSecs(-ageSeconds);
        item.filename = name;
        item.sender = u"Ann"_s;
        item.status = status;
        item.deviceID = deviceID;
        return item;
    }

    static void writeFile(const QString& path, const QByteArray& data)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        ASSERT_TRUE(platform::writeFileAtomically(path, data));
    }

    QByteArray readFile(const QString& path)
    {
        flushAll();
        return fileBytes(path);
    }

    // Appends each item with its file (holding its name) in the folder its status says.
    std::unique_ptr<ItemStore> storeWith(const QList<ScreenItem>& items)
    {
        auto store = openStore();
        for (const ScreenItem& item : items) {
            writeFile(store->fileURL(item), item.filename.toUtf8());
            store->append(item);
        }
        return store;
    }
};

} // namespace vesker::test
