#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace vesker {

// The opened header of a relay message: what the sender says about the item beside its bytes.
// Field names follow the relay's snake_case wire names in their C++ spelling.
struct HeaderPlain {
    // Uploads sent together, so the receiver can show them as one group.
    struct Group {
        QString id;
        qint64 index = 0;
        qint64 count = 0;
        bool operator==(const Group&) const = default;
    };

    QString note;
    QString senderName; // may be empty
    QString contentType;
    std::optional<Group> group;
    QByteArray thumb; // a small preview image; empty when the sender made none
    QDateTime sentAt; // invalid when the sender gave no time
    std::optional<QString> filename; // the sender's file name of a PDF
    // Used only when both are present.
    std::optional<double> lat;
    std::optional<double> lon;

    bool operator==(const HeaderPlain&) const = default;
};

} // namespace vesker
