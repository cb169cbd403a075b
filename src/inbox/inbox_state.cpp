#include "inbox/inbox_state.h"

#include "platform/defaults.h"
#include "store/item_queries.h"
#include "store/item_store.h"
#include "store/senders.h"

#include <QDir>

#include <algorithm>

namespace vesker {

namespace {

// The card's frame, margins and scroll bar around a photo, and the header, codes and actions
// that must fit under the newest photo when it is fitted to the window.
constexpr int kCardChromeWidth = 60;
constexpr int kCardChromeHeight = 242;
constexpr int kMinFitHeight = 200;

QString key(const char* name)
{
    return QString::fromLatin1(name);
}

} // namespace

InboxState::InboxState(ItemStore& store, platform::Defaults& defaults, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_defaults(defaults)
{
    connect(&m_store, &ItemStore::lastArrivalChanged, this, &InboxState::noteArrival);
    connect(&m_defaults, &platform::Defaults::changed, this, &InboxState::settingChanged);
}

void InboxState::setTab(ItemStatus tab)
{
    if (tab == m_tab)
        return;
    m_tab = tab;
    Q_EMIT changed();
}

void InboxState::setFilter(const ItemFilter& filter)
{
    if (filter == m_filter)
        return;
    m_filter = filter;
    Q_EMIT changed();
}

void InboxState::setSearch(const QString& search)
{
    if (search == m_search)
        return;
    m_search = search;
    Q_EMIT changed();
}

ViewMode InboxState::viewMode() const
{
    return viewModeFromString(m_defaults.string(key(kViewMode))).value_or(ViewMode::large);
}

void InboxState::setViewMode(ViewMode mode)
{
    m_defaults.set(key(kViewMode), toString(mode));
}

double InboxState::photoScale() const
{
    const double scale = m_defaults.doubleValue(key(kPhotoScale), kMaxPhotoScale);
    // A hand-edited or NaN value must not make photos vanish or swell.
    if (!(scale >= kMinPhotoScale))
        return kMinPhotoScale;
    return std::min(scale, kMaxPhotoScale);
}

void InboxState::setPhotoScale(double scale)
{
    m_defaults.set(key(kPhotoScale), std::clamp(scale, kMinPhotoScale, kMaxPhotoScale));
}

bool InboxState::fitToWindow() const
{
    return m_defaults.boolValue(key(kFitToWindow), true);
}

void InboxState::setFitToWindow(bool fit)
{
    m_defaults.set(key(kFitToWindow), fit);
}

bool InboxState::groupBySender() const
{
    return m_defaults.boolValue(key(kGroupBySender), true);
}

void InboxState::setGroupBySender(bool group)
{
    m_defaults.set(key(kGroupBySender), group);
}

bool InboxState::simpleMode() const
{
    return m_defaults.boolValue(key(kSimpleMode), false);
}

void InboxState::setSimpleMode(bool on)
{
    m_defaults.set(key(kSimpleMode), on);
}

ViewMode InboxState::effectiveViewMode() const
{
    return simpleMode() ? ViewMode::large : viewMode();
}

bool InboxState::effectiveFit() const
{
    return simpleMode() || fitToWindow();
}

double InboxState::effectiveScale() const
{
    return simpleMode() ? 1.0 : photoScale();
}

QList<ScreenItem> InboxState::listedItems() const
{
    if (simpleMode())
        return itemsIn(m_store.items(), ItemStatus::inbox);
    return itemsIn(m_store.items(), m_tab, m_filter, m_search, m_store.defaults());
}

bool InboxState::lists(const ScreenItem& item) const
{
    if (simpleMode())
        return item.status == ItemStatus::inbox;
    return isListedIn(item, m_tab, m_filter, m_search, SenderAliases(m_store.defaults()));
}

bool InboxState::listedBefore(const ScreenItem& a, const ScreenItem& b) const
{
    return vesker::listedBefore(a, b, [this](const QUuid& id) { return m_store.rowOf(id); });
}

QString InboxState::searchPrompt() const
{
    if (const auto* sender = std::get_if<ItemFilter::Sender>(&m_filter.value))
        return QStringLiteral("Search ") + sender->name;
    if (const auto* tag = std::get_if<ItemFilter::Tag>(&m_filter.value))
        return QStringLiteral("Search #") + tag->name;
    return QStringLiteral("Search everything");
}

EmptyStateContent InboxState::emptyState(
    const QStringList& addresses, const QString& statusText) const
{
    // Every tab is empty then, and the person must hear why and where, to mend it.
    if (const auto problem = m_store.readProblem()) {
        return {.title = QStringLiteral("Saved items can't be read"),
            .systemImage = QStringLiteral("exclamationmark.triangle"),
            .description = QStringLiteral("%1 in %2. Nothing is received, and no file of the "
                                          "store is changed, until it can be read.")
                               .arg(*problem, QDir::toNativeSeparators(m_store.rootDir()))};
    }
    const bool narrowed = !simpleMode()
        && (!m_search.isEmpty() || !std::holds_alternative<ItemFilter::All>(m_filter.value));
    if (narrowed) {
        const QString asked = m_search.isEmpty() ? searchPrompt() : m_search;
        return {.title = QStringLiteral("No results for \u201c%1\u201d").arg(asked),
            .systemImage = QStringLiteral("magnifyingglass"),
            .description = QStringLiteral("Check the spelling or try another search.")};
    }
    switch (simpleMode() ? ItemStatus::inbox : m_tab) {
    case ItemStatus::later:
        return {.title = QStringLiteral("Nothing saved for later"),
            .systemImage = QStringLiteral("clock")};
    case ItemStatus::archived:
        return {.title = QStringLiteral("Archive is empty"),
            .systemImage = QStringLiteral("archivebox")};
    case ItemStatus::inbox:
        break;
    }
    return {.title = QStringLiteral("Nothing on screen"),
        .systemImage = QStringLiteral("iphone.and.arrow.forward"),
        .description = addresses.isEmpty()
            ? statusText
            : QStringLiteral("Open %1 on your phone, or click \u201cConnect a phone\u201d for a QR "
                             "code.")
                  .arg(addresses.first()),
        .offersConnect = true};
}

int InboxState::availableWidth(int areaWidth)
{
    return areaWidth - kCardChromeWidth;
}

std::optional<int> InboxState::fitHeight(int areaHeight) const
{
    if (!effectiveFit())
        return std::nullopt;
    return std::max(areaHeight - kCardChromeHeight, kMinFitHeight);
}

std::optional<QUuid> InboxState::scrollTarget(const QUuid& id) const
{
    const QList<ScreenItem> listed = listedItems();
    const auto arrived = std::find_if(
        listed.begin(), listed.end(), [&id](const ScreenItem& item) { return item.id == id; });
    if (arrived == listed.end())
        return std::nullopt;
    const auto first = std::find_if(listed.begin(), listed.end(),
        [&arrived](const ScreenItem& item) { return item.receivedAt == arrived->receivedAt; });
    return first->id;
}

void InboxState::noteArrival()
{
    const std::optional<QUuid> id = m_store.lastArrival();
    if (!id)
        return;
    // Read from the store, not from what a view shows: the view may not have relisted yet.
    if (!simpleMode()) {
        const std::optional<ScreenItem> item = m_store.item(*id);
        if (!item || !lists(*item))
            resetToInbox();
    }
    Q_EMIT arrivalRequested(*id);
}

void InboxState::resetToInbox()
{
    const bool differs = m_tab != ItemStatus::inbox
        || !std::holds_alternative<ItemFilter::All>(m_filter.value) || !m_search.isEmpty();
    m_tab = ItemStatus::inbox;
    m_filter = ItemFilter::all();
    m_search.clear();
    if (differs)
        Q_EMIT changed();
}

void InboxState::settingChanged(const QString& changedKey)
{
    if (changedKey == key(kSimpleMode)) {
        if (simpleMode())
            resetToInbox();
        Q_EMIT changed();
    } else if (changedKey == key(kGroupBySender)) {
        if (!groupBySender())
            setFilter(ItemFilter::all());
        Q_EMIT changed();
    } else if (changedKey == key(kViewMode) || changedKey == key(kPhotoScale)
        || changedKey == key(kFitToWindow)) {
        Q_EMIT changed();
    }
}

} // namespace vesker
