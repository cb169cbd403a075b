#pragma once

#include <QFile>
#include <QString>

namespace vesker::test {

// The private HOME of this test process, set up by the test main before Qt starts: the
// standard settings, the Pictures folder and every XDG folder lie beneath it.
QString testHome();

// Empty when the file cannot be read.
inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace vesker::test
