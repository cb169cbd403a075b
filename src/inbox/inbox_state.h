#pragma once

#include "card/card_keys.h"
#include "card/card_state.h"
#include "store/screen_item.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace vesker {

class ItemStore;

namespace platform {
class Defaults;
}

// What the empty item area says, and whether it offers "Connect a phone".
struct EmptyStateContent {
    QString title;
    QString systemImage;
    QString description;
    bool offersConnect = false;
    bool operator==(const EmptyStateContent&) const = default;
};

// The Inbox window's choices: which tab, sender or tag and search it shows, and the stored
// settings of its look ("viewMode", "photoScale", "fitToWindow", "groupBySender",
// "macSimpleMode"). Everything the window decides without a widget is here: which items are
// listed, what the empty area says, which item an arrival brings into view. Main thread only.
class InboxState : public QObject {
    Q_OBJECT
public:
    static constexpr auto kViewMode = "viewMode";
    static constexpr auto kPhotoScale = "photoScale";
    static constexpr auto kFitToWindow = "fitToWindow";
    static constexpr auto kGroupBySender = "groupBySender";
    static constexpr auto kSimpleMode = card_keys::kSimpleMode;
    static constexpr double kMinPhotoScale = 0.25;
    static constexpr double kMaxPhotoScale = 1.0;

    InboxState(ItemStore& store, platform::Defaults& defaults, QObject* parent = nullptr);

    ItemStore& store() const { return m_store; }

    ItemStatus tab() const { return m_tab; }
    void setTab(ItemStatus tab);
    const ItemFilter& filter() const { return m_filter; }
    void setFilter(const ItemFilter& filter);
    QString search() const { return m_search; }
    void setSearch(const QString& search);

    // The stored settings, read afresh on every call, so a change made in the Settings window
    // or a menu shows at once.
    ViewMode viewMode() const;
    void setViewMode(ViewMode mode);
    double photoScale() const;
    void setPhotoScale(double scale);
    bool fitToWindow() const;
    void setFitToWindow(bool fit);
    bool groupBySender() const;
    void setGroupBySender(bool group);
    bool simpleMode() const;
    void setSimpleMode(bool on);

    // Simple mode overrides the look: large cards, fitted, at full size.
    ViewMode effectiveViewMode() const;
    bool effectiveFit() const;
    double effectiveScale() const;

    // The items shown, newest first: every Inbox item in simple mode, else the tab narrowed by
    // the filter and the search.
    QList<ScreenItem> listedItems() const;
    // Whether listedItems() holds `item`, and the order it keeps, without listing every item.
    bool lists(const ScreenItem& item) const;
    bool listedBefore(const ScreenItem& a, const ScreenItem& b) const;
    // What the search field prompts with: "Search everything", "Search <sender>", "Search #tag".
    QString searchPrompt() const;
    // What an empty list says, given the server's addresses and status line.
    EmptyStateContent emptyState(const QStringList& addresses, const QString& statusText) const;

    // Space a card is given in an item area of that size.
    static int availableWidth(int areaWidth);
    std::optional<int> fitHeight(int areaHeight) const;

    // The item an arrival scrolls to: the first listed item received at the same moment as
    // `id` (items sent together show from the first of them); none when `id` is not listed.
    std::optional<QUuid> scrollTarget(const QUuid& id) const;

Q_SIGNALS:
    // The listed items or the look may differ: tab, filter, search or a stored setting.
    void changed();
    // The store announced an arrival, and tab, filter and search now show it.
    void arrivalRequested(const QUuid& id);

private:
    void noteArrival();
    void settingChanged(const QString& key);
    void resetToInbox();

    ItemStore& m_store;
    platform::Defaults& m_defaults;
    ItemStatus m_tab = ItemStatus::inbox;
    ItemFilter m_filter = ItemFilter::all();
    QString m_search;
};

} // namespace vesker
