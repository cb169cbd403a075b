#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <QUuid>

class QMimeData;

namespace vesker {

// One thing to send: a file (a photo, a screenshot, a PDF) or a text, with its note. A text
// item is one without a file.
struct OutgoingItem {
    QUuid id = QUuid::createUuid();
    QUrl imageURL;
    QString text;
    QString note;
    bool operator==(const OutgoingItem&) const = default;

    // What a clipboard holds, as things to send: its local image and PDF files; else its
    // image, written as "Pasted <date>.png" into the private temporary folder; else its text,
    // trimmed, when any is left. Nothing usable gives an empty list.
    static QList<OutgoingItem> fromPasteboard(const QMimeData* data);
};

} // namespace vesker
