#include "store/item_recognition.h"

#include "store/item_store.h"

#include <QFutureWatcher>

namespace vesker {

void recognizeInBackground(ItemStore& store, const ScreenItem& item, RecognitionDone done)
{
    // The item as stored now: since the caller took its copy it may have been moved to
    // another folder, edited or removed.
    const std::optional<ScreenItem> current = store.item(item.id);
    if (!current)
        return;
    const QString path = store.fileURL(*current);
    if (path.isEmpty())
        return;
    auto* watcher = new QFutureWatcher<Recognizer::Result>(&store);
    QObject::connect(watcher, &QFutureWatcher<Recognizer::Result>::finished, &store,
        [&store, watcher, id = item.id, filename = current->filename, done = std::move(done)] {
            watcher->deleteLater();
            const auto current = store.item(id);
            if (current && current->filename == filename)
                done(store, id, watcher->result());
        });
    watcher->setFuture(Recognizer::recognize(path));
}

} // namespace vesker
