#pragma once

#include "store/recognizer.h"
#include "store/screen_item.h"

#include <functional>

namespace vesker {

class ItemStore;

// Reads the item's photo on the recognizer's pool and hands the result to `done` on the main
// thread. A result for a photo that was replaced or removed meanwhile belongs to no stored file
// and is dropped.
using RecognitionDone
    = std::function<void(ItemStore& store, const QUuid& id, const Recognizer::Result& result)>;
void recognizeInBackground(ItemStore& store, const ScreenItem& item, RecognitionDone done);

} // namespace vesker
