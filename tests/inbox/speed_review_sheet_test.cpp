// Reviewing the Archive: what is marked goes only when confirmed, with one save for all of it.
#include "inbox/speed_review_sheet.h"
#include "platform/defaults.h"
#include "platform/thumbnail_loader.h"
#include "store/item_queries.h"
#include "store/item_store.h"
#include "support/manual_clock.h"
#include "support/temp_env.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace vesker;
using namespace Qt::Literals::StringLiterals;

namespace {

class SpeedReviewTest : public ::testing::Test {
protected:
    ScreenItem archived(const QString& name)
    {
        ScreenItem item;
        item.id = QUuid::createUuid();
        item.receivedAt = m_clock.now();
        item.filename = name;
        item.sender = u"Ann"_s;
        item.deviceID = u"dev-1"_s;
        m_store.append(item);
        m_store.move(item, ItemStatus::archived);
        QFile file(m_store.archiveDir() + u'/' + name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        m_clock.advance(60);
        return item;
    }

    void press(QWidget* target, Qt::Key key)
    {
        QTest::keyClick(target, key);
        QCoreApplication::processEvents();
    }

    QTemporaryDir m_dir;
    test::ManualClock m_clock;
    platform::Defaults m_defaults {m_dir.filePath(u"defaults.json"_s), m_clock};
    ItemStore m_store {m_dir.filePath(u"store"_s), m_defaults, m_clock};
    ThumbnailLoader m_thumbnails {1};
    std::unique_ptr<SpeedReviewSheet> m_sheet;
};

} // namespace

TEST_F(SpeedReviewTest, DeletingTheMarkedItemsSavesIndexAndAcknowledgementsOnce)
{
    const ScreenItem a = archived(u"a.jpg"_s);
    const ScreenItem b = archived(u"b.jpg"_s);
    const ScreenItem c = archived(u"c.jpg"_s);
    m_store.flush();
    m_sheet = std::make_unique<SpeedReviewSheet>(
        m_store, m_thumbnails, itemsIn(m_store.items(), ItemStatus::archived));
    m_sheet->show();
    m_sheet->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_sheet.get()));

    // Newest first: c is marked, b kept, a marked; Left and Right change a mark's mind.
    for (const Qt::Key key :
        {Qt::Key_Backspace, Qt::Key_Backspace, Qt::Key_Left, Qt::Key_Right, Qt::Key_Delete})
        press(m_sheet.get(), key);
    EXPECT_EQ(
        m_sheet->findChild<QPushButton*>(u"finishButton"_s)->text(), u"Delete 2 and finish"_s);

    // Return at the end asks; Return on the question keeps reviewing.
    press(m_sheet.get(), Qt::Key_Return);
    QMessageBox* question = m_sheet->confirmation();
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(question->text(), u"Delete 2 items?"_s);
    question->activateWindow();
    question->findChild<QPushButton*>(u"confirmDeleteButton"_s)->setFocus();
    press(question, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_sheet->confirmation() == nullptr; }));
    EXPECT_TRUE(m_sheet->isVisible());
    EXPECT_EQ(itemsIn(m_store.items(), ItemStatus::archived).size(), 3);

    QHash<QString, int> writes;
    m_store.setWriteDevice([&writes](QIODevice& file) {
        const QString temp = QFile::symLinkTarget(
            u"/proc/self/fd/%1"_s.arg(static_cast<QFileDevice&>(file).handle()));
        ++writes[QFileInfo(temp).fileName().section(u".new-"_s, 0, 0)];
        return std::unique_ptr<QIODevice>();
    });
    m_sheet->finish();
    ASSERT_NE(m_sheet->confirmation(), nullptr);
    m_sheet->confirmation()->findChild<QPushButton*>(u"confirmDeleteButton"_s)->click();
    m_store.flush();
    m_store.setWriteDevice({});

    EXPECT_FALSE(m_sheet->isVisible());
    // One line each in the journal, folded once into the index when the store is flushed.
    EXPECT_EQ(writes,
        (QHash<QString, int> {{u"index.journal"_s, 1}, {u"index.json"_s, 1}, {u"acks.json"_s, 1}}));
    EXPECT_FALSE(QFile::exists(m_store.archiveDir() + u"/a.jpg"_s));
    EXPECT_TRUE(QFile::exists(m_store.archiveDir() + u"/b.jpg"_s));
    EXPECT_FALSE(QFile::exists(m_store.archiveDir() + u"/c.jpg"_s));
    const QJsonArray acked
        = QJsonDocument::fromJson(test::fileBytes(m_store.acksPath()))[u"dev-1"_s].toArray();
    EXPECT_TRUE(acked.contains(uuidText(a.id)) && acked.contains(uuidText(c.id)));
    EXPECT_FALSE(acked.contains(uuidText(b.id)));
}

TEST_F(SpeedReviewTest, AnEmptyListEndsAtOnceAndClosesWithoutAsking)
{
    m_sheet = std::make_unique<SpeedReviewSheet>(m_store, m_thumbnails, QList<ScreenItem>());
    m_sheet->show();
    m_sheet->finish();
    EXPECT_EQ(m_sheet->confirmation(), nullptr);
    EXPECT_FALSE(m_sheet->isVisible());
}

TEST_F(SpeedReviewTest, TheDateIsWrittenAsTheLocaleWritesIt)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const ScreenItem item = archived(u"a.jpg"_s);
    m_sheet = std::make_unique<SpeedReviewSheet>(m_store, m_thumbnails, QList<ScreenItem> {item});
    m_sheet->show();
    QStringList texts;
    for (const QLabel* label : m_sheet->findChildren<QLabel*>())
        texts.append(label->text());
    QLocale::setDefault(saved);
    EXPECT_TRUE(texts.join(u'|').contains(u"01.03.25, "_s)) << texts.join(u'|').toStdString();
}
