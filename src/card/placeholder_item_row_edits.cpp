// Stand-in until the card's real rotation and saving land.
#include "card/item_row.h"

#include "store/item_store.h"

#include <QImageReader>
#include <QSaveFile>

namespace vesker {

void ItemRow::rotate(bool clockwise)
{
    QImageReader reader(m_services.store.fileURL(m_item));
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull())
        return;
    if (const auto encoded = ImageEditOperations::encode(
            ImageEditOperations::rotate(image, clockwise), m_services.store.fileURL(m_item)))
        saveEditedImage(*encoded);
}

void ItemRow::saveEditedImage(const ImageEditOperations::Encoded& image)
{
    QSaveFile file(m_services.store.fileURL(m_item));
    if (!file.open(QIODevice::WriteOnly) || file.write(image.data) != image.data.size()
        || !file.commit())
        return;
    m_state->zoom = 1.0;
    rebuild();
}

} // namespace vesker
