#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace vesker::platform {

enum class DecodeError;

// Print shops, scanners and editors save CMYK TIFFs, at 8 or 16 bits a sample, often with an
// alpha channel (an editor does so for any picture with transparency) and sometimes one plane
// per ink. Qt's TIFF reader goes through libtiff's RGBA interface, which reads only some of
// these and drops the alpha of the rest: transparency shows as black ink.
//
// The picture of a CMYK TIFF as the inks would print it on white, with its alpha kept and its
// orientation applied; ARGB32 with alpha, else RGB32. A null image with `error` set otherwise:
// `unsupported` when the bytes are not a CMYK TIFF of 8 or 16 bits a sample (another reader
// may know them), `tooLarge` when it has more than `maxPixels`. `name` is what libtiff's
// messages about it are logged under.
QImage readCmykTiff(
    const QByteArray& tiff, const QString& name, qint64 maxPixels, DecodeError* error);

// Names the picture this thread decodes in libtiff's messages while it lives. Qt opens every
// TIFF under one made-up name, which is all libtiff could otherwise say.
class TiffMessageName {
public:
    explicit TiffMessageName(const QString& name);
    ~TiffMessageName();
    TiffMessageName(const TiffMessageName&) = delete;
    TiffMessageName& operator=(const TiffMessageName&) = delete;

private:
    QString m_previous;
};

} // namespace vesker::platform
