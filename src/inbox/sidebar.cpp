#include "inbox/sidebar.h"

#include "platform/defaults.h"
#include "store/item_store.h"

namespace vesker {

void Sidebar::setArrivalMode(SenderArrival mode, const QStringList& rawNames, ItemStore& store)
{
    const QString key = QStringLiteral("senderArrival");
    platform::Defaults& defaults = store.defaults();
    QMap<QString, QString> modes = defaults.stringMap(key);
    for (const QString& name : rawNames)
        modes.insert(name.toLower(), toString(mode));
    defaults.setStringMap(key, modes);
    store.announceChange();
}

} // namespace vesker
