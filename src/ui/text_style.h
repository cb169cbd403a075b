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
// `ink` lightened or darkened, its hue kept, until it reads at `ratio` against `background`.
QColor readableOn(const QColor& ink, const QColor& background, double ratio = kSecondaryContrast);
// The same colours for text on the palette's `background` role (a button's face, the window),
// readable there in a light and a dark palette.
QColor successColor(const QPalette& palette, QPalette::ColorRole background);
QColor destructiveColor(const QPalette& palette, QPalette::ColorRole background);
// Red text on a button: Delete, Deny, Block.
void markDestructive(QWidget& button);
// A translucent `over` drawn on `under`, as the eye sees it.
QColor blended(const QColor& over, const QColor& under);

// A palette whose placeholder text ("Search everything", "Add a note…") reads on a field: some
// dark themes give it a colour close to the field's own.
QPalette withReadablePlaceholders(QPalette palette);
// Keeps the application's palette so, now and whenever the desktop changes it.
void keepPlaceholdersReadable();

// A label cut to a height shows only the lines that fit whole, never the top half of the next.
void showWholeLinesOnly(QLabel& label);

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
