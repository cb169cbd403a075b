#pragma once

#include <QList>
#include <QUrl>

namespace vesker {

// The files of a drop that can be sent: local image and PDF files, judged by name, in the order
// given. Folders, other kinds of file and addresses that are not local files are left out.
QList<QUrl> sendableDroppedFiles(const QList<QUrl>& urls);

} // namespace vesker
