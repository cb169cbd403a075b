#include "inbox/item_card_factory.h"

#include "inbox/inbox_state.h"

#include <QFontMetrics>
#include <QGuiApplication>

namespace vesker {

namespace {

// What a card shows besides its content: sender line, action bar, margins.
constexpr int kLargeChrome = 150;
constexpr int kCompactHeight = 164;
constexpr int kMaxEstimatedLines = 12;

} // namespace

ItemCardFactory::ItemCardFactory(CardServices services, InboxState& state, Callbacks callbacks)
    : m_services(std::move(services))
    , m_state(state)
    , m_callbacks(std::move(callbacks))
{ }

ItemRowLayout ItemCardFactory::rowLayout(bool isFirst) const
{
    const QSize area = m_callbacks.areaSize();
    return {.mode = m_state.effectiveViewMode(),
        .isNewest = isFirst,
        .availableWidth = InboxState::availableWidth(area.width()),
        .fitHeight = m_state.fitHeight(area.height()),
        .scale = m_state.effectiveScale(),
        .areaHeight = area.height()};
}

QWidget* ItemCardFactory::create(const ScreenItem& item, bool isFirst, QWidget* parent)
{
    auto* row = new ItemRow(m_services, item, rowLayout(isFirst), stateFor(item.id), parent);
    QObject::connect(row, &ItemRow::forwardRequested, row,
        [forward = m_callbacks.forward](const OutgoingItem& outgoing) { forward(outgoing); });
    QObject::connect(row, &ItemRow::previewRequested, row,
        [row, preview = m_callbacks.preview] { preview(row->item(), row->shownImage()); });
    return row;
}

void ItemCardFactory::reuse(QWidget* card, const ScreenItem& item, bool isFirst)
{
    static_cast<ItemRow*>(card)->reuseFor(item, stateFor(item.id), rowLayout(isFirst));
}

void ItemCardFactory::update(QWidget* card, const ScreenItem& item, bool)
{
    // A new size of the list refills every card once it has settled; until then the card
    // keeps the layout it was made with.
    static_cast<ItemRow*>(card)->setItem(item, stateFor(item.id));
}

int ItemCardFactory::estimateHeight(const ScreenItem& item, int width) const
{
    if (m_state.effectiveViewMode() == ViewMode::compact)
        return kCompactHeight;
    if (item.kind != ItemKind::text) {
        // Until measured, a photo or page is taken to fill the height it may fit into.
        const int content = m_state.fitHeight(m_callbacks.areaSize().height())
                                .value_or(m_callbacks.areaSize().height());
        return int(content * m_state.effectiveScale()) + kLargeChrome;
    }
    const QFontMetrics metrics(QGuiApplication::font());
    const int perLine = std::max(1, width / std::max(1, metrics.averageCharWidth()));
    qsizetype lines = 0;
    // On the line under way; a character is counted at its first UTF-8 byte.
    qsizetype characters = 0;
    const auto endLine = [&] {
        lines += 1 + characters / perLine;
        characters = 0;
    };
    for (const char c : std::as_const(item.text)) {
        if (c == '\n')
            endLine();
        else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++characters;
    }
    endLine();
    return int(std::min<qsizetype>(lines, kMaxEstimatedLines)) * metrics.lineSpacing()
        + kLargeChrome;
}

void ItemCardFactory::forget(const QUuid& id)
{
    m_cardStates.remove(id);
}

std::shared_ptr<CardState> ItemCardFactory::stateFor(const QUuid& id)
{
    auto& state = m_cardStates[id];
    if (!state)
        state = std::make_shared<CardState>();
    return state;
}

} // namespace vesker
