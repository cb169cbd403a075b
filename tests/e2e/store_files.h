#pragma once

// What the program left in its item store folder, read the way a user or a later start would.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QStringList>

#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace vesker::e2e {

inline QJsonArray indexRecords(const QString& store)
{
    QFile file(store + QStringLiteral("/index.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).array();
}

inline QJsonObject indexRecord(const QString& store, const QString& id)
{
    for (const QJsonValue& record : indexRecords(store)) {
        if (record.toObject().value(QStringLiteral("id")).toString() == id)
            return record.toObject();
    }
    return {};
}

inline QSet<QString> indexIds(const QString& store)
{
    QSet<QString> ids;
    for (const QJsonValue& record : indexRecords(store))
        ids.insert(record.toObject().value(QStringLiteral("id")).toString());
    return ids;
}

// Copies of an index the program could not read, which it keeps beside the store.
inline QStringList keptAside(const QString& store)
{
    return QDir(store).entryList({QStringLiteral("index.json.unreadable-*")}, QDir::Files);
}

inline QFileInfoList inboxFiles(const QString& store)
{
    return QDir(store + QStringLiteral("/Inbox")).entryInfoList(QDir::Files | QDir::Hidden);
}

inline QStringList emptyInboxFiles(const QString& store)
{
    QStringList empty;
    for (const QFileInfo& file : inboxFiles(store)) {
        if (file.size() == 0)
            empty.append(file.fileName());
    }
    return empty;
}

} // namespace vesker::e2e
