// The light and dark palettes the windows are drawn and checked in: Fusion's own, and one with
// Breeze Dark's colours, including the placeholder colour that is unreadable on its window.
#pragma once

#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

#include <memory>

namespace vesker::test {

inline QPalette lightPalette()
{
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    return fusion->standardPalette();
}

inline QPalette darkPalette()
{
    QPalette palette;
    const auto set = [&palette](QPalette::ColorRole role, QRgb colour) {
        palette.setColor(QPalette::All, role, QColor(colour));
    };
    set(QPalette::Window, 0x2a2e32);
    set(QPalette::WindowText, 0xfcfcfc);
    set(QPalette::Base, 0x1b1e20);
    set(QPalette::AlternateBase, 0x232629);
    set(QPalette::Button, 0x31363b);
    set(QPalette::ButtonText, 0xfcfcfc);
    set(QPalette::Text, 0xfcfcfc);
    set(QPalette::BrightText, 0xffffff);
    set(QPalette::Light, 0x40464c);
    set(QPalette::Midlight, 0x363b40);
    set(QPalette::Mid, 0x4d5257);
    set(QPalette::Dark, 0x1b1e20);
    set(QPalette::Shadow, 0x101214);
    set(QPalette::Highlight, 0x3daee9);
    set(QPalette::HighlightedText, 0xfcfcfc);
    set(QPalette::Link, 0x1d99f3);
    set(QPalette::LinkVisited, 0x9b59b6);
    set(QPalette::ToolTipBase, 0x31363b);
    set(QPalette::ToolTipText, 0xfcfcfc);
    set(QPalette::PlaceholderText, 0x1a1d1f);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x6e7175));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x6e7175));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x6e7175));
    return palette;
}

// A darker desktop still, as qt6ct's "darker" colour scheme paints it: light text on near-black
// grey, red on its grey buttons hard to read.
inline QPalette darkerPalette()
{
    QPalette palette;
    const auto set = [&palette](QPalette::ColorRole role, QRgb colour) {
        palette.setColor(QPalette::All, role, QColor::fromRgba(colour));
    };
    set(QPalette::WindowText, 0xffffffff);
    set(QPalette::Button, 0xff424245);
    set(QPalette::Light, 0xff979797);
    set(QPalette::Midlight, 0xff5e5c5b);
    set(QPalette::Dark, 0xff302f2e);
    set(QPalette::Mid, 0xff4a4947);
    set(QPalette::Text, 0xffffffff);
    set(QPalette::BrightText, 0xffffffff);
    set(QPalette::ButtonText, 0xffffffff);
    set(QPalette::Base, 0xff3d3d3d);
    set(QPalette::Window, 0xff222020);
    set(QPalette::Shadow, 0xffe7e4e0);
    set(QPalette::Highlight, 0xff12608a);
    set(QPalette::HighlightedText, 0xfff9f9f9);
    set(QPalette::Link, 0xff0986d3);
    set(QPalette::LinkVisited, 0xffa70b06);
    set(QPalette::AlternateBase, 0xff5c5b5a);
    set(QPalette::ToolTipBase, 0xff3f3f36);
    set(QPalette::ToolTipText, 0xffffffff);
    set(QPalette::PlaceholderText, 0x80ffffff);
    for (const QPalette::ColorRole role :
        {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
    return palette;
}

} // namespace vesker::test
