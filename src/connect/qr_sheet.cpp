#include "connect/qr_sheet.h"

#include <QLabel>
#include <QVBoxLayout>

namespace vesker {

// An empty sheet under the Connect sheet's name.
QRSheet::QRSheet(ServerController&, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("connectSheet"));
    setWindowModality(Qt::WindowModal);
    new QVBoxLayout(this);
    layout()->addWidget(new QLabel(QStringLiteral("Connect"), this));
}

} // namespace vesker
