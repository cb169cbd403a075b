#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QFrame;
class QLabel;
class QMessageBox;
class QPixmap;
class QWidget;

namespace vesker {

// The named text sizes of the views, as ratios of the application font.
enum class TextStyle { title, title2, title3, headline, body, callout, caption, caption2 };

QFont font(TextStyle style, const QFont& base);
void setTextStyle(QWidget& widget, TextStyle style);

// The palette roles that stand for the views' colours. Secondary text keeps at least this
// contrast with the window and with a field, in light and dark palettes alike.
inline constexpr double kSecondaryContrast = 4.5;
QColor secondaryColor(const QPalette& palette); // secondary text
// The WCAG contrast ratio of two colours, from 1 to 21.
double contrastRatio(const QColor& a, const QColor& b);
QColor accentColor(const QPalette& palette);
QColor separatorColor(const QPalette& palette);
// Makes a label's text secondary.
void setSecondary(QWidget& widget);

// The only colours the views name themselves: the same in a light and a dark theme.
QColor successColor(); // "Got it", "Seen", "Copied", a running server
QColor destructiveColor(); // Delete, Deny, Block, a stopped server

// A label for text from outside (names, notes, codes): shown as typed, never read as markup.
QLabel* plainLabel(const QString& text, QWidget* parent);

// A thin line between parts of a view, in the separator colour.
QFrame* makeDivider(QWidget* parent);

// The filled circle that tells a state by its colour (a server running, a screen answering).
QPixmap statusDot(const QColor& colour, int size, qreal ratio);

// The program's alerts put the outcome in bold over its explanation, wide enough that two
// sentences do not wrap into a narrow column.
void shapeAlert(QMessageBox& box);

} // namespace vesker
