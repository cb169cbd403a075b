#pragma once

#include "card/card_state.h"
#include "store/screen_item.h"

#include <QStringList>
#include <QWidget>

#include <memory>

class QLineEdit;
class QPlainTextEdit;

namespace vesker {

class FlowLayout;
class ItemStore;

// The note and the tags of one item, side by side under the card's content. Every keystroke in
// the note is stored at once; a tag is added with Return and removed from its chip. The store
// hands the card its changed item after each save, so refreshing keeps whatever the user is
// typing, the cursor and the focus.
class NoteTagsView : public QWidget {
    Q_OBJECT
public:
    NoteTagsView(ItemStore& store, QWidget* parent);

    void refresh(const ScreenItem& item, std::shared_ptr<CardState> state);

    // The pieces typed into the tag field, as they are added: split at commas, spaces and tabs
    // trimmed, empty pieces dropped.
    static QStringList typedTags(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void noteEdited();
    void fitNoteHeight();
    void commitTags();
    void showChips(const QStringList& tags);
    QWidget* makeChip(const QString& tag);

    ItemStore& m_store;
    ScreenItem m_item;
    std::shared_ptr<CardState> m_state;
    QPlainTextEdit* m_note;
    QWidget* m_tagBox;
    FlowLayout* m_flow;
    QLineEdit* m_tagInput;
    QStringList m_shownTags;
    bool m_filling = false;
};

} // namespace vesker
