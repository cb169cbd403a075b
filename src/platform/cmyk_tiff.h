#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <memory>

namespace vesker::platform {

enum class DecodeError;

// Print shops, scanners and editors save CMYK TIFFs, at 8 or 16 bits a sample, often with an
// alpha channel (an editor does so for any picture with transparency) and sometimes one plane
// per ink. Qt's TIFF reader goes through libtiff's RGBA interface, which reads only some of
// these and drops the alpha of the rest: transparency shows as black ink.
//
// Reads a CMYK TIFF held in memory, as the inks would print it on white, with its alpha kept.
class CmykTiffReader {
public:
    // `name` is what libtiff's messages about it are logged under.
    CmykTiffReader(const QByteArray& tiff, const QString& name);
    ~CmykTiffReader();
    CmykTiffReader(const CmykTiffReader&) = delete;
    CmykTiffReader& operator=(const CmykTiffReader&) = delete;

    // False for anything but a CMYK TIFF of 8 or 16 bits a sample: another reader may know it.
    bool isCmyk() const;
    // As stored, before its orientation is applied; known before any pixel is read.
    QSize size() const;
    // Upright; ARGB32 with alpha, else RGB32. A null image and `error` set when the data is
    // damaged. Takes 8 bytes a pixel of `size()` at most.
    QImage read(DecodeError* error);

private:
    struct Open;
    std::unique_ptr<Open> m_open;
};

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
