#pragma once

#include "ui/text_style.h"

#include <QFrame>
#include <QString>

#include <functional>
#include <optional>

class QLabel;
class QMimeData;

namespace vesker {

class ThumbnailLoader;
class ThumbnailView;

// A single click and a drag out for any widget of a card: the drag is a copy of what
// `makeData` gives, so a photo can go to another application without leaving the Inbox.
class ClickDragFilter : public QObject {
public:
    ClickDragFilter(
        QWidget* target, std::function<void()> onClick, std::function<QMimeData*()> makeData);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_target;
    std::function<void()> m_onClick;
    std::function<QMimeData*()> m_makeData;
    std::optional<QPoint> m_pressedAt;
};

// The file of an item as a drag carries it; nothing but an empty drag when the file is gone.
QMimeData* fileDragData(const QString& path);
void openFile(const QString& path);
// The file selected in the desktop's file manager, else its folder opened.
void showInFiles(const QString& path);

// A small symbol before a line of text, the way card labels show them.
QWidget* symbolLabel(const QString& symbol, const QString& text, TextStyle style,
    const QColor& colour, QWidget* parent);

// A button's title from outside text: "&" stays an ampersand rather than a mnemonic.
QString buttonTitle(QString text);

// The PDF of a large card: its first page at the left, its title, page count and the buttons
// to open it or find it.
class PdfCell : public QWidget {
    Q_OBJECT
public:
    PdfCell(
        ThumbnailLoader& loader, const QString& path, const QString& originalName, QWidget* parent);
    // none: the document could not be opened (or is not counted yet); the line is left out.
    void setPageCount(std::optional<int> pages);

private:
    QLabel* m_pages;
};

// A sent text, with its invite button when it carries an invite link and, on a large card, a
// "Copy text" button. A long text shows its beginning and a "More" button: laying out a whole
// megabyte in a label takes seconds on the main thread, and would make the card taller than the
// list, its actions out of reach.
class TextCell : public QFrame {
    Q_OBJECT
public:
    // Lines of a text a large card shows at most.
    static constexpr int kPreviewLines = 12;

    // `text` is UTF-8, kept as it is (shared with the item) for "More" and "Copy text".
    // `onInvite` empty: no invite button is offered. `maxText`: the room the text itself may
    // take at most (a side of 0: unknown).
    TextCell(const QByteArray& text, bool compact, std::function<void()> onInvite, QWidget* parent,
        QSize maxText = {});

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vesker
