#include "connect/qr_sheet.h"
#include "receive/controller_fixture.h"

#include <QLabel>

#include <ZXing/ReadBarcode.h>

#include <gtest/gtest.h>

using namespace vesker;
using namespace vesker::test;
using namespace Qt::Literals::StringLiterals;

namespace {

class QRSheetTest : public ControllerTest {
protected:
    // What a phone's camera reads from the sheet's code.
    static QString scanned(const QRSheet& sheet)
    {
        const auto* label = sheet.findChild<QLabel*>(u"qrCode"_s);
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

    QRSheet sheet(*controller);
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

TEST_F(QRSheetTest, WithoutAnAddressTheStatusIsShown)
{
    auto controller = makeController();
    controller->refreshAddresses();
    QRSheet sheet(*controller);
    EXPECT_TRUE(scanned(sheet).isEmpty());
    EXPECT_EQ(shownText(sheet, u"qrCode"_s), controller->statusText());
}
