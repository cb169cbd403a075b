#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <QUuid>

namespace vesker {

// One thing to send: a file (a photo, a screenshot, a PDF) or a text, with its note.
struct OutgoingItem {
    QUuid id = QUuid::createUuid();
    QUrl imageURL;
    QString text;
    QString note;
};

// What the Send sheet is opened for; every request has its own id, so asking twice for the
// same things opens the sheet again.
struct SendRequest {
    QUuid id = QUuid::createUuid();
    QList<OutgoingItem> items;
};

} // namespace vesker
