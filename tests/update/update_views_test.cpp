// What the banner, the Settings row and the menu's alert show of an offered version.
#include "manifest_server.h"
#include "update/update_alerts_view.h"
#include "update/update_banner.h"
#include "update/update_settings_row_view.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace vesker;

namespace {

class Browser : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
    Q_INVOKABLE void open(const QUrl& url) { opened.append(url); }
};

TEST(UpdateViews, LaterHidesTheBannerWhileSettingsStillOffersAndTheMenuCheckOffersAgain)
{
    test::UpdaterFixture f;
    f.reply = test::manifest("2.1", ",\"size\":2000");
    UpdateBanner banner(f.updater);
    UpdateSettingsRowView row(f.updater);
    UpdateAlerts alerts(f.updater, nullptr);
    ASSERT_EQ(f.checked(), UpdateStatus::State::available);
    EXPECT_FALSE(banner.isHidden());
    EXPECT_EQ(banner.findChild<QLabel*>("updateBannerTitle")->text(), "Version 2.1 is available");
    EXPECT_EQ(banner.findChild<QPushButton*>("updateBannerDownload")->text(), "Download (2.0 kB)");

    banner.findChild<QPushButton*>("updateBannerLater")->click();
    EXPECT_TRUE(banner.isHidden());
    EXPECT_TRUE(row.findChild<QWidget*>("updateOffer"));

    f.updater.checkNow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.alert() != nullptr; }, 10000));
    EXPECT_FALSE(banner.isHidden());
    EXPECT_EQ(alerts.alert()->informativeText(), "<p>2.0 kB download.</p>");
    Browser browser;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
    alerts.alert()->buttons().value(0)->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    EXPECT_EQ(browser.opened, QList<QUrl>({QUrl("https://www.vesker.example/get")}));
}

} // namespace

#include "update_views_test.moc"
