#include "connect/qr_sheet.h"
#include "receive/controller_fixture.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>

#include <ZXing/ReadBarcode.h>

#include <gtest/gtest.h>

using namespace vesker;
using namespace vesker::test;
using namespace Qt::Literals::StringLiterals;

namespace {

class QRSheetTest : public ControllerTest {
protected:
    // What a phone's camera reads from the sheet's code.
    static QString scanned(const QRSheet& sheet, const QString& name = u"qrCode"_s)
    {
        const auto* label = sheet.findChild<QLabel*>(name);
        if (!label || label->pixmap().isNull())
            return {};
        const QImage image = label->pixmap().toImage().convertToFormat(QImage::Format_Grayscale8);
        ZXing::DecodeHints hints;
        hints.setFormats(ZXing::BarcodeFormat::QRCode);
        const ZXing::Result result
            = ZXing::ReadBarcode({image.constBits(), image.width(), image.height(),
                                     ZXing::ImageFormat::Lum, int(image.bytesPerLine())},
                hints);
        return result.isValid() ? QString::fromStdString(result.text()) : QString();
    }

    static QString shownText(const QRSheet& sheet, const QString& name)
    {
        const auto* label = sheet.findChild<QLabel*>(name);
        return label && !label->isHidden() ? label->text() : QString();
    }

    // Which of its two faces the Browser screen tab shows.
    static QString browserScreenFace(const QRSheet& sheet)
    {
        const auto* pages = sheet.findChild<QStackedWidget*>(u"browserScreenTab"_s);
        return pages && pages->currentWidget() ? pages->currentWidget()->objectName() : QString();
    }

    // What a browser that opens `url` is given: the status and the page.
    static std::pair<int, QByteArray> opened(const QString& url)
    {
        QNetworkAccessManager network;
        network.setProxy(QNetworkProxy::NoProxy);
        QNetworkReply* reply = network.get(QNetworkRequest(QUrl(url)));
        (void)QTest::qWaitFor([reply] { return reply->isFinished(); }, 10000);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray body = reply->readAll();
        delete reply;
        return {status, body};
    }
};

} // namespace

TEST_F(QRSheetTest, CodeCarriesThePairingLinkAndFollowsTheAddresses)
{
    m_addresses = {{u"eth0"_s, u"Ethernet"_s, u"192.0.2.7"_s}};
    m_defaults.set(u"accessPolicy"_s, u"code"_s);
    m_defaults.set(u"accessCode"_s, u"4821"_s);
    auto controller = makeController();
    controller->refreshAddresses();
    ASSERT_TRUE(controller->pairingURL());

    QRSheet sheet(*controller, m_defaults);
    EXPECT_EQ(scanned(sheet), *controller->pairingURL());
    EXPECT_TRUE(scanned(sheet).endsWith(u"?code=4821"_s));
    EXPECT_TRUE(shownText(sheet, u"accessCode"_s).contains(u"4821"_s));
    EXPECT_TRUE(shownText(sheet, u"connectAddresses"_s).contains(u"192.0.2.7"_s));

    m_defaults.set(u"accessPolicy"_s, u"anyone"_s);
    m_addresses.append({u"wlan0"_s, u"Wi-Fi"_s, u"198.51.100.3"_s});
    controller->refreshAddresses();
    EXPECT_EQ(scanned(sheet), *controller->pairingURL()) << "the code is dropped from the link";
    EXPECT_TRUE(shownText(sheet, u"connectAddresses"_s).contains(u"198.51.100.3"_s));
    EXPECT_TRUE(shownText(sheet, u"accessCode"_s).isEmpty());
}

TEST_F(QRSheetTest, OpeningItReadsTheAddressesTheComputerHasNow)
{
    auto controller = makeController();
    controller->refreshAddresses();
    // The computer joins a network while nothing is looking.
    m_addresses = {{u"eth0"_s, u"Ethernet"_s, u"192.0.2.44"_s}};
    QRSheet sheet(*controller, m_defaults);
    EXPECT_EQ(scanned(sheet), u"http://192.0.2.44:%1"_s.arg(port()));
    EXPECT_TRUE(shownText(sheet, u"connectAddresses"_s).contains(u"192.0.2.44"_s));
}

TEST_F(QRSheetTest, WithoutAnAddressItSaysSoAndShowsTheWholeStatus)
{
    auto controller = makeController();
    ASSERT_TRUE(waitUntilRunning(*controller));
    m_defaults.set(u"allowBrowserScreens"_s, true);
    QRSheet sheet(*controller, m_defaults);
    sheet.show();
    const QString noAddress = u"No network address found. Connect this computer to a network."_s;
    const QString status = u"Listening on port %1"_s.arg(port());
    ASSERT_EQ(controller->statusText(), status);
    auto* tabs = sheet.findChild<QTabWidget*>(u"connectTabs"_s);
    // Each tab as a phone's owner sees it: no code, nothing about one, and every line whole.
    const struct {
        const char* tab;
        QString code, noAddress, status, hint;
    } faces[]
        = {{"Phones", u"qrCode"_s, u"connectNoAddress"_s, u"connectStatus"_s, u"connectHint"_s},
            {"Browser screen", u"screenQrCode"_s, u"screenNoAddress"_s, u"screenStatus"_s,
                u"browserScreenHint"_s}};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(faces[i].tab);
        tabs->setCurrentIndex(i);
        QApplication::processEvents();
        EXPECT_TRUE(scanned(sheet, faces[i].code).isEmpty());
        EXPECT_EQ(shownText(sheet, faces[i].noAddress), noAddress);
        EXPECT_EQ(shownText(sheet, faces[i].status), status);
        EXPECT_FALSE(sheet.findChild<QLabel*>(faces[i].hint)->isVisible())
            << "no word of a code that is not there";
        for (const QLabel* label : tabs->currentWidget()->findChildren<QLabel*>()) {
            if (!label->isVisible() || label->text().isEmpty())
                continue;
            SCOPED_TRACE(label->text().toStdString());
            const int needed = label->wordWrap() ? label->heightForWidth(label->width())
                                                 : label->sizeHint().height();
            EXPECT_GE(label->height(), needed) << "a line is cut off";
            if (!label->wordWrap())
                EXPECT_GE(label->width(), label->sizeHint().width());
        }
    }

    // The computer joins a network: the code, and only the code, is there to scan.
    m_addresses = {{u"eth0"_s, u"Ethernet"_s, u"192.0.2.9"_s}};
    controller->refreshAddresses();
    tabs->setCurrentIndex(0);
    QApplication::processEvents();
    EXPECT_EQ(scanned(sheet), u"http://192.0.2.9:%1"_s.arg(port()));
    EXPECT_TRUE(sheet.findChild<QLabel*>(u"connectHint"_s)->isVisible());
    EXPECT_EQ(shownText(sheet, u"connectNoAddress"_s), QString());
    EXPECT_EQ(shownText(sheet, u"connectStatus"_s), QString());
}

TEST_F(QRSheetTest, TheBrowserScreenTabFollowsTheSettingAndItsCodeOpensTheScreen)
{
    m_addresses = {{u"lo"_s, u"Loopback"_s, u"127.0.0.1"_s}};
    m_defaults.set(u"accessPolicy"_s, u"code"_s);
    m_defaults.set(u"accessCode"_s, u"4821"_s);
    auto controller = makeController();
    ASSERT_TRUE(waitUntilRunning(*controller));
    QRSheet sheet(*controller, m_defaults);
    auto* tabs = sheet.findChild<QTabWidget*>(u"connectTabs"_s);
    ASSERT_TRUE(tabs);
    EXPECT_EQ(tabs->currentIndex(), 0) << "it opens on the tab for phones";
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(1), u"Browser screen"_s);

    // Off by default: what a browser screen is and where it is allowed.
    EXPECT_EQ(browserScreenFace(sheet), u"browserScreenOff"_s);
    EXPECT_TRUE(shownText(sheet, u"browserScreenWhere"_s).contains(u"Settings \u25B8 Access"_s));

    m_defaults.set(u"allowBrowserScreens"_s, true);
    EXPECT_EQ(browserScreenFace(sheet), u"browserScreenOn"_s) << "follows while open";
    const QString url = scanned(sheet, u"screenQrCode"_s);
    EXPECT_EQ(url, u"http://127.0.0.1:%1/screen?code=4821"_s.arg(port()));
    EXPECT_EQ(shownText(sheet, u"screenLink"_s), url);
    sheet.findChild<QPushButton*>(u"copyScreenLink"_s)->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), url);
    const auto [status, page] = opened(url);
    EXPECT_EQ(status, 200);
    EXPECT_TRUE(page.contains("id=\"codeScreen\"")) << "the browser screen's page";
    EXPECT_TRUE(sheet.findChild<QLabel*>(u"viewerPinNote"_s)->isHidden());
    m_defaults.set(u"viewerPIN"_s, u" 2468 "_s);
    EXPECT_FALSE(sheet.findChild<QLabel*>(u"viewerPinNote"_s)->isHidden());

    m_defaults.set(u"allowBrowserScreens"_s, false);
    EXPECT_EQ(browserScreenFace(sheet), u"browserScreenOff"_s);
    EXPECT_EQ(opened(url).first, 404) << "and the link no longer opens it";
}
