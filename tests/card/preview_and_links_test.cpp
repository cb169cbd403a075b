#include "card_fixture.h"
#include "connect/invite_links.h"
#include "inbox/preview_sheet.h"
#include "platform/service_hosts.h"

#include <QDesktopServices>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace vesker;
using namespace Qt::Literals::StringLiterals;

TEST(InviteLinks, FindsTheFirstWellFormedInviteWord)
{
    const QString site = u"https://"_s + QString::fromLatin1(kInviteServiceHost);
    const struct {
        QString text;
        QString found; // empty: none
    } rows[] = {
        {u"join: vesker://invite/AB12CD34 now"_s, u"vesker://invite/AB12CD34"_s},
        {u"“<"_s + site + u"/i/XY99>”, thanks."_s, site + u"/i/XY99"_s},
        {u"old http"_s + site.mid(5) + u"/i/XY99 then "_s + site + u"/i/K1"_s, site + u"/i/K1"_s},
        {u"not https://shop.example/i/XY99 but "_s + site + u"/i/K1"_s, site + u"/i/K1"_s},
        {u"vesker://invite/ has no code"_s, {}},
        {site + u"/i/ nor here, nor "_s + site + u"/x/i/K1"_s, {}},
        {u"https://exa mple/i/K1"_s, {}},
        {u"no link at all"_s, {}},
    };
    for (const auto& row : rows) {
        const std::optional<QUrl> url = InviteLinks::extract(row.text);
        EXPECT_EQ(url ? url->toString() : QString(), row.found) << row.text.toStdString();
    }
}

namespace {

class OpenedUrls : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl& url) { urls.append(url); }
};

} // namespace

TEST(PreviewSheet, OpensAnArchivedFileFromTheArchiveAndStaysOpen)
{
    test::CardWorld world;
    const ScreenItem added = world.add(ItemKind::photo, u"Mum"_s);
    world.store.move(added, ItemStatus::archived);
    const ScreenItem item = *world.store.item(added.id);
    const QString archived = QDir(world.store.archiveDir()).filePath(item.filename);
    ASSERT_TRUE(QFileInfo::exists(archived));

    OpenedUrls opened;
    QDesktopServices::setUrlHandler(u"file"_s, &opened, "open");
    PreviewSheet sheet(world.store, world.loader, item);
    sheet.show();
    sheet.findChild<QPushButton*>(u"openInViewerButton"_s)->click();
    QDesktopServices::unsetUrlHandler(u"file"_s);

    EXPECT_EQ(opened.urls, QList<QUrl> {QUrl::fromLocalFile(archived)});
    EXPECT_TRUE(sheet.isVisible()) << "the sheet stays open";
    sheet.findChild<QPushButton*>(u"closeButton"_s)->click();
    EXPECT_FALSE(sheet.isVisible());
}

#include "preview_and_links_test.moc"
