#pragma once

#include "card/card_state.h"
#include "image_edit/image_edit_operations.h"
#include "send/outgoing_item.h"
#include "store/screen_item.h"

#include <QFrame>
#include <QImage>

#include <functional>
#include <memory>
#include <optional>

class QBoxLayout;

namespace vesker {

class ActionBarView;
class ItemStore;
class InviteHandler;
class NoteTagsView;
class PdfCell;
class Permissions;
class RecognisedBlockView;
class ThumbnailLoader;
class ZoomableImageView;
class ZoomControls;

// What every card works with.
struct CardServices {
    ItemStore& store;
    ThumbnailLoader& thumbnails;
    // Asked again when typing into another application turns out not to be allowed.
    Permissions& permissions;
    // Opens the invite link of a text item; none: the button is not offered.
    InviteHandler* invites = nullptr;
    // This screen's own name, told to the invite handler.
    std::function<QString()> screenName;
};

// How the list lays one card out.
struct ItemRowLayout {
    ViewMode mode = ViewMode::large;
    bool isNewest = false;
    int availableWidth = 0;
    std::optional<int> fitHeight;
    double scale = 1.0;
    // The height of the list's viewport (0: unknown); a card's text never pushes its actions
    // out of it.
    int areaHeight = 0;
    bool operator==(const ItemRowLayout&) const = default;
};

// The card of one received item, large or compact: its header, its photo, PDF or text, and the
// places of its codes, note and actions. Every change it makes goes through the store. Its
// transient state lives in a CardState the list keeps, so scrolling a card away and back loses
// nothing.
class ItemRow : public QFrame {
    Q_OBJECT
public:
    enum class DeleteScope { one, set };

    ItemRow(const CardServices& services, const ScreenItem& item, const ItemRowLayout& layout,
        std::shared_ptr<CardState> state, QWidget* parent = nullptr);
    ~ItemRow() override;

    const ScreenItem& item() const { return m_item; }
    // The list hands a card another item, or the same item changed. A change that leaves the
    // card's shape alone (a note, tags, codes, seen) refreshes its parts in place, so the field
    // being typed into keeps its text, cursor and focus.
    void setItem(const ScreenItem& item, std::shared_ptr<CardState> state);
    void setRowLayout(const ItemRowLayout& layout);
    // Another item in another layout, as a card taken up again by the list: built at most once.
    void reuseFor(
        const ScreenItem& item, std::shared_ptr<CardState> state, const ItemRowLayout& layout);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

    // Asks whether to delete the item, or every item of its set, and does so on "Delete".
    void confirmDelete(DeleteScope scope);
    // Shows a blurred photo on this card only (its button, or the window's shortcut on the
    // newest card); remembered in the card's state.
    void reveal();
    // "Copied" for 1.2 s after a copy from this card.
    void flashCopied();
    bool copiedFlash() const { return m_state->copiedFlash; }
    // Turns the photo a quarter turn and saves it upright over the item's file.
    void rotate(bool clockwise);
    // Replaces the item's file with edited bytes, resets the zoom and reads the photo again.
    void saveEditedImage(const ImageEditOperations::Encoded& image);
    // The crop-and-rotate editor for the photo; its result is saved as above.
    void openEditor();

    // The photo as the card shows it now; null before it has loaded, and for other kinds.
    QImage shownImage() const;

Q_SIGNALS:
    void forwardRequested(const OutgoingItem& item);
    void previewRequested();
    // flashCopied() sends this as "Copied" appears and again as it goes.
    void copiedFlashChanged(bool shown);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void rebuild();
    // Takes the layout; true when the card must be built again for it.
    bool takeLayout(const ItemRowLayout& layout);
    // What cannot change in place: a card of another look is built anew.
    bool keepsShape(const ScreenItem& previous) const;
    // Whether the card, handed another photo, shows it in the widgets it has.
    bool showsPhotoInPlace(const ScreenItem& previous) const;
    void refreshHeader(const ScreenItem& previous);
    void refreshParts();
    bool isBlurred() const;
    // Rebuilds when what the card shows of the store's settings changed.
    void reviewSettings();
    // Runs after the event that asked for it, so that a button may rebuild its own card.
    void later(std::function<void()> action);
    void alwaysShow();
    QString displayName() const;
    void fillLarge(QWidget* body);
    void fillCompact(QWidget* body);
    QWidget* makePhoto(QWidget* parent);
    // The large photo and its zoom controls follow the item's file and the card's zoom.
    void refreshPhoto();
    void zoomTo(double zoom);
    QWidget* makeBlurredPlaceholder(QWidget* parent);
    QWidget* makeCompactThumbnail(QWidget* parent);
    QWidget* makeTextCell(bool compact, QWidget* parent);
    void countPages();
    // A card made while its arrival is being written shows the file under its unfinished
    // name, which a PDF's first page cannot be read by; once the index holds the item, the file
    // has its own name and the card follows it.
    void followUnfinishedFile();
    void placeActions(QWidget* body, bool compactBar);

    CardServices m_services;
    ScreenItem m_item;
    ItemRowLayout m_layout;
    std::shared_ptr<CardState> m_state;
    QWidget* m_body = nullptr;
    // The places the codes, the note and tags, and the actions go into.
    QBoxLayout* m_recognisedSlot = nullptr;
    QBoxLayout* m_noteSlot = nullptr;
    QBoxLayout* m_actionSlot = nullptr;
    QWidget* m_header = nullptr;
    RecognisedBlockView* m_recognised = nullptr;
    NoteTagsView* m_noteTags = nullptr;
    PdfCell* m_pdfCell = nullptr;
    ActionBarView* m_actionBar = nullptr;
    ZoomableImageView* m_photo = nullptr;
    ZoomControls* m_zoomControls = nullptr;
    // Counted once per file, however often the card is rebuilt.
    QString m_countedPath;
    std::optional<int> m_pageCount;
    bool m_shownBlurred = false;
    bool m_simpleMode = false;
    QString m_shownName;
};

} // namespace vesker
