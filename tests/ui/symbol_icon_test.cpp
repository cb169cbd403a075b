#include "ui/symbol_icon.h"

#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

using namespace vesker;

namespace {

QPalette withText(QColor color)
{
    QPalette palette;
    palette.setColor(QPalette::WindowText, color);
    return palette;
}

// The colour of the symbol's most opaque pixel at `side`.
QColor inkOf(const QIcon& icon, int side)
{
    const QImage image = icon.pixmap(side, side).toImage().convertToFormat(QImage::Format_ARGB32);
    QColor ink;
    int strongest = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() > strongest) {
                strongest = pixel.alpha();
                ink = pixel;
            }
        }
    }
    return ink;
}

} // namespace

TEST(SymbolIcon, DrawnOncePerSymbolAndColourAndTintedByThePaletteItIsAskedWith)
{
    const QColor dark(20, 20, 20), light(235, 235, 235);
    const QIcon first = symbolIcon(QStringLiteral("tray"), withText(dark));
    ASSERT_FALSE(first.isNull());
    // Views ask for their symbols on every arrival: the second call is the first one's icon.
    EXPECT_EQ(symbolIcon(QStringLiteral("tray"), withText(dark)).cacheKey(), first.cacheKey());
    // A palette that changed to dark gives the light ink, and back again the dark one.
    const QIcon other = symbolIcon(QStringLiteral("tray"), withText(light));
    EXPECT_NE(other.cacheKey(), first.cacheKey());
    for (const int side : {16, 48, 128}) {
        SCOPED_TRACE(side);
        EXPECT_EQ(inkOf(other, side).rgb(), light.rgb());
        EXPECT_EQ(
            inkOf(symbolIcon(QStringLiteral("tray"), withText(dark)), side).rgb(), dark.rgb());
    }
    EXPECT_TRUE(symbolIcon(QStringLiteral("no.such.symbol"), withText(dark)).isNull());
}
