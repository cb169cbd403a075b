#pragma once

#include "image_edit/crop_box.h"
#include "image_edit/image_edit_operations.h"
#include "platform/thumbnail_loader.h"

#include <QDialog>
#include <QImage>

#include <functional>
#include <optional>

class QPushButton;

namespace vesker {

class CropCanvas;

// The window-modal editor that turns a photo by quarter turns and crops it with a box dragged on
// a canvas. It writes no file: the encoded result goes to `onSave`, at most once, just before it
// closes; Cancel closes without it.
class ImageEditSheet : public QDialog {
    Q_OBJECT
public:
    using SaveAction = std::function<void(const ImageEditOperations::Encoded&)>;

    ImageEditSheet(ThumbnailLoader& loader, const QString& path, const QString& title,
        SaveAction onSave, QWidget* parent = nullptr);
    ~ImageEditSheet() override;

    // The image as edited so far (turned, not yet cropped); null until it is loaded.
    const QImage& shownImage() const { return m_working.isNull() ? m_original : m_working; }
    QRectF crop() const { return m_crop; }
    void setCrop(const QRectF& crop);

Q_SIGNALS:
    void imageLoaded();

private:
    void turn(bool clockwise);
    void reset();
    void save();
    void refresh();

    ThumbnailLoader& m_loader;
    QString m_path;
    SaveAction m_onSave;
    ThumbnailLoader::Ticket m_ticket = 0;
    QImage m_original;
    // Set once the photo was turned; the original stays for Reset.
    QImage m_working;
    QRectF m_crop = CropBox::full();
    bool m_rotated = false;
    bool m_saved = false;
    CropCanvas* m_canvas;
    QPushButton* m_reset;
    QPushButton* m_save;
};

} // namespace vesker
