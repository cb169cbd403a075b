#pragma once

#include <QDialog>

namespace vesker {

class ServerController;

// The Connect sheet: the pairing link as a QR code for a phone's camera, the addresses to type,
// and the access code when one is required.
class QRSheet : public QDialog {
    Q_OBJECT
public:
    explicit QRSheet(ServerController& server, QWidget* parent = nullptr);
};

} // namespace vesker
