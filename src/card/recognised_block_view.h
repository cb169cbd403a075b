#pragma once

#include "card/card_state.h"
#include "store/screen_item.h"

#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace vesker {

class Permissions;

// What recognition read from a photo, under the card's content: one chip per barcode with its
// value to copy or paste into the application the user came from, and the recognised text,
// short or whole, to copy.
class RecognisedBlockView : public QWidget {
    Q_OBJECT
public:
    // `onCopied` starts the card's copied flash.
    RecognisedBlockView(Permissions& permissions, std::function<void()> onCopied, QWidget* parent);

    // A card shows the block only when there is something worth reading in it.
    static bool isWanted(const ScreenItem& item);

    // Shows the item's codes and text as the card's state says, keeping what is unchanged.
    void refresh(const ScreenItem& item, std::shared_ptr<CardState> state);

private:
    void showChips(const QStringList& barcodes);
    QWidget* makeChip(const QString& payload);
    void showText();
    void copy(const QString& value);
    void pasteIntoFrontApp(const QString& value);

    Permissions& m_permissions;
    std::function<void()> m_onCopied;
    std::shared_ptr<CardState> m_state;
    QVBoxLayout* m_column;
    QWidget* m_chips;
    QWidget* m_textRow;
    QLabel* m_text;
    QPushButton* m_more;
    QLabel* m_copied;
    QLabel* m_pasteHint;
    QStringList m_barcodes;
    QString m_recognizedText;
};

} // namespace vesker
