#pragma once

#include <QStringList>

namespace vesker {

class ItemStore;

namespace platform {
class Clock;
class Defaults;
} // namespace platform

// Adds the getting-started items to the application's own store on its first launch (unless it
// already holds items) and, after an upgrade, one item with what is new in this version.
// "didSeedWelcome" and "lastSeenVersion" remember what was added. Hosted screens' stores are
// never seeded.
void seedStore(ItemStore& store, platform::Defaults& defaults, const platform::Clock& clock);

// The four getting-started texts of a first launch, title first.
const QStringList& welcomeTexts();

} // namespace vesker
