#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QWidget;

namespace vesker {

// The named text sizes of the views, as ratios of the application font.
enum class TextStyle { title, title2, title3, headline, body, callout, caption, caption2 };

QFont font(TextStyle style, const QFont& base);
void setTextStyle(QWidget& widget, TextStyle style);

// The palette roles that stand for the views' colours.
QColor secondaryColor(const QPalette& palette); // secondary text
QColor accentColor(const QPalette& palette);
QColor separatorColor(const QPalette& palette);
// Makes a label's text secondary.
void setSecondary(QWidget& widget);

} // namespace vesker
