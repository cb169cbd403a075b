#pragma once

#include "inbox/sidebar.h"

#include <QDateTime>
#include <QHash>
#include <QPointer>
#include <QWidget>

class QMenu;
class QVBoxLayout;

namespace vesker {

class InboxState;
struct StoreChange;

// The Inbox's left column: "All", the senders and the tags, each with its count; choosing one
// narrows the list. Senders are managed here too: renamed, combined (from their menu or by
// dragging one onto another), separated, quietened or marked as known.
class SidebarView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMinWidth = 180;
    static constexpr int kIdealWidth = 220;
    static constexpr int kMaxWidth = 320;

    explicit SidebarView(InboxState& state, QWidget* parent = nullptr);

    // The row of a sender or of a tag as shown now; none when there is no such row.
    QWidget* senderRow(const QString& displayName) const;
    QWidget* tagRow(const QString& tag) const;
    // The sender's menu, as its "⋯" button and its right-click show it.
    QMenu* senderMenu(const QString& displayName, QWidget* parent);
    // Opens the rename popover under the sender's row.
    void startRename(const QString& displayName);
    QWidget* renamePopover() const;

    // Merges one sender into another, as a drop of one row on another does.
    void combine(const QString& from, const QString& into);

private:
    class Row;
    class RenamePopover;

    // What one item adds to the rows' counts.
    struct Counted {
        QString shownName;
        QString rawName;
        QStringList tags;
        QDateTime receivedAt;
    };

    void storeChanged(const StoreChange& change);
    // Follows arrivals and edits of known senders and tags in the rows shown; false when the
    // change needs the rows built again.
    bool followChange(const StoreChange& change);
    void scheduleRebuild();
    void rebuild();
    void showSelection();
    Row* addRow(const ItemFilter& filter, const QString& symbol, const QString& title, int count);
    void saveRename(const QString& displayName, const QString& nickname);

    InboxState& m_state;
    QVBoxLayout* m_rows = nullptr;
    QWidget* m_content = nullptr;
    QList<Row*> m_shown;
    QHash<QString, Row*> m_senderRows;
    QHash<QString, Row*> m_tagRows;
    QList<SenderRow> m_senders;
    QHash<QUuid, Counted> m_counted;
    QHash<QString, QDateTime> m_latest;
    Row* m_allRow = nullptr;
    // What the rows were last built from: an unchanged store leaves them alone.
    QString m_builtKey;
    bool m_rebuildQueued = false;
    QPointer<RenamePopover> m_popover;
};

} // namespace vesker
