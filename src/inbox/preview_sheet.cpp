#include "inbox/preview_sheet.h"

#include <QLabel>
#include <QVBoxLayout>

namespace vesker {

// The sender's name under the preview sheet's name.
PreviewSheet::PreviewSheet(ItemStore&, ThumbnailLoader&, const ScreenItem& item, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("previewSheet"));
    setWindowModality(Qt::WindowModal);
    new QVBoxLayout(this);
    layout()->addWidget(new QLabel(item.sender, this));
}

} // namespace vesker
