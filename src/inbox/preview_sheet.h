#pragma once

#include "store/screen_item.h"

#include <QDialog>
#include <QImage>

namespace vesker {

class ItemStore;
class ThumbnailLoader;

// One item's picture large, with the time it arrived, "Open in Viewer" (the file in the
// desktop's default application) and "Close".
class PreviewSheet : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxPixel = 2400;

    // `shown`: the picture the card showed, drawn at once until the whole photo has loaded.
    PreviewSheet(ItemStore& store, ThumbnailLoader& thumbnails, const ScreenItem& item,
        QWidget* parent = nullptr, const QImage& shown = {});

protected:
    void showEvent(QShowEvent* event) override;

private:
    ItemStore& m_store;
    ThumbnailLoader& m_thumbnails;
    ScreenItem m_item;
    class Picture;
    Picture* m_picture = nullptr;
    bool m_started = false;
};

} // namespace vesker
