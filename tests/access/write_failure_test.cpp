#include "access/access_manager.h"
#include "platform/defaults.h"
#include "store/item_store.h"
#include "support/fail_device.h"
#include "support/manual_clock.h"
#include "support/temp_env.h"

#include <QDirIterator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace vesker;
using namespace vesker::test;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString kFull = QString::fromLatin1(FailDevice::kError);

// The warnings logged while it lives: every writer says there why a write failed.
class WarningLog {
public:
    WarningLog()
    {
        s_lines = &m_lines;
        m_previous = qInstallMessageHandler(&record);
    }
    ~WarningLog()
    {
        qInstallMessageHandler(m_previous);
        s_lines = nullptr;
    }
    const QStringList& lines() const { return m_lines; }

private:
    static void record(QtMsgType type, const QMessageLogContext&, const QString& text)
    {
        if (type == QtWarningMsg && s_lines)
            s_lines->append(text);
    }

    static inline QStringList* s_lines = nullptr;
    QStringList m_lines;
    QtMessageHandler m_previous = nullptr;
};

// Every writer of the user's data over one folder, each with a file already written.
struct Writers {
    QTemporaryDir dir;
    ManualClock clock;
    platform::Defaults defaults {dir.filePath(u"config/defaults.json"_s), clock};
    ItemStore store {dir.filePath(u"store"_s), defaults, clock};
    AccessManager access {defaults, clock};
    QUuid unread; // not acknowledged yet
    QList<std::optional<QString>> saved; // what the store told its arrivals

    Writers()
    {
        store.acknowledge(arrive(u"read.jpg"_s), u"got-it"_s);
        unread = arrive(u"unread.jpg"_s);
        access.approve(u"phone-1"_s, u"Phone"_s, GrantDuration::forever);
        access.block(u"tablet-1"_s, u"Tablet"_s);
        store.flush();
    }

    QUuid arrive(const QString& name)
    {
        ScreenItem item;
        item.id = QUuid::createUuid();
        item.receivedAt = clock.now();
        item.filename = name;
        item.sender = u"Ann"_s;
        item.deviceID = u"phone-1"_s;
        store.append(item, [this](const std::optional<QString>& error) { saved.append(error); });
        return item.id;
    }

    void failWrites(const platform::WriteDevice& device)
    {
        store.setWriteDevice(device);
        defaults.setWriteDevice(device);
    }

    // Every file under the folder with its bytes.
    QMap<QString, QByteArray> files() const
    {
        QMap<QString, QByteArray> found;
        QDirIterator it(dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            found.insert(path, fileBytes(path));
        }
        return found;
    }
};

} // namespace

TEST(WriteFailure, EveryWriterReportsItAndLeavesThePreviousFileWhole)
{
    const struct {
        const char* writer;
        std::function<void(Writers&)> change;
        QString logged;
    } rows[] = {
        {"index", [](Writers& w) { w.arrive(u"lost.jpg"_s); }, u"index.json not written"_s},
        {"acks", [](Writers& w) { w.store.acknowledge(w.unread, u"got-it"_s); },
            u"acks.json not written"_s},
        {"grants",
            [](Writers& w) {
                w.access.approve(u"phone-2"_s, u"Second phone"_s, GrantDuration::oneDay);
            },
            u"could not write"_s},
        {"blocked devices", [](Writers& w) { w.access.block(u"laptop-1"_s, u"Laptop"_s); },
            u"could not write"_s},
        {"settings", [](Writers& w) { w.defaults.set(u"macSimpleMode"_s, true); },
            u"could not write"_s},
    };
    // Smaller than any of the files, and than Qt's write buffer; and nothing at all.
    for (const qint64 budget : {40, 0}) {
        for (const auto& row : rows) {
            const std::string name = std::string(row.writer) + " after " + std::to_string(budget);
            Writers w;
            const QMap<QString, QByteArray> before = w.files();
            ASSERT_EQ(before.size(), 3) << name;
            const qsizetype items = w.store.items().size();
            w.saved.clear();
            WarningLog log;

            w.failWrites(FailDevice::after(budget));
            row.change(w);
            w.store.flush();

            EXPECT_FALSE(log.lines().filter(row.logged).filter(kFull).isEmpty())
                << name << ": " << log.lines().join(u'\n').toStdString();
            EXPECT_EQ(w.files(), before) << name << ": a file changed or a partial one is left";
            // An arrival the disk did not take is not kept, and its sender hears so.
            if (row.writer == std::string("index")) {
                EXPECT_EQ(w.saved, QList<std::optional<QString>>({kFull})) << name;
                EXPECT_EQ(w.store.items().size(), items) << name;
            }
        }
    }
}
