#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QStringList>
#include <QUuid>

#include <optional>
#include <variant>

namespace vesker {

enum class ItemKind { photo, text, pdf };
enum class ItemStatus { inbox, later, archived };
enum class SenderArrival { normal, quiet };

// What the receiver tells the sender about an item; carried everywhere as its raw string.
enum class AckAction { gotIt, archive, delete_, later, onIt, cantRead, sendAnother, wrongScreen };

QString toString(ItemKind kind);
QString toString(ItemStatus status);
QString toString(SenderArrival arrival);
QString toString(AckAction action);
// Exact, case-sensitive matches of the raw strings.
std::optional<ItemKind> itemKindFromString(const QString& raw);
std::optional<ItemStatus> itemStatusFromString(const QString& raw);
std::optional<SenderArrival> senderArrivalFromString(const QString& raw);
std::optional<AckAction> ackActionFromString(const QString& raw);
// Every action, in the order the sender's app lists them.
const QList<AckAction>& allAckActions();

// "yyyy-MM-ddTHH:mm:ssZ": what the index and peers read. Fractions of a second are dropped.
QString toIsoDate(const QDateTime& date);
// Reads ISO-8601 with or without fractions and with any offset; invalid on failure.
QDateTime fromIsoDate(const QString& text);
// The upper-case, brace-less form that files and peers see.
QString uuidText(const QUuid& id);
// `text` in UTF-8 as an item keeps it, taking no more memory than its bytes: a conversion
// reserves three bytes for every character.
QByteArray keptUtf8(const QString& text);
// The first `length` characters (UTF-16 units) of UTF-8 text, converting no more of it than
// they take: a list row or a notification shows little of a text a megabyte long.
QString utf8Start(QByteArrayView utf8, qsizetype length);

// Which items the Inbox list shows: one sender (by display name), one tag, or everything.
struct ItemFilter {
    struct Sender {
        QString name;
        bool operator==(const Sender&) const = default;
    };
    struct Tag {
        QString name;
        bool operator==(const Tag&) const = default;
    };
    struct All {
        bool operator==(const All&) const = default;
    };
    std::variant<All, Sender, Tag> value;
    bool operator==(const ItemFilter&) const = default;

    static ItemFilter all() { return {All {}}; }
    static ItemFilter sender(QString name) { return {Sender {std::move(name)}}; }
    static ItemFilter tag(QString name) { return {Tag {std::move(name)}}; }
};

// One received photo, text or PDF.
struct ScreenItem {
    QUuid id;
    QDateTime receivedAt;
    QString filename;
    QString note;
    QString sender;
    ItemStatus status = ItemStatus::inbox;
    ItemKind kind = ItemKind::photo;
    // A text item's text as UTF-8: a store of long texts holds each once, at its own size
    // (UTF-16 would take twice that), and every copy of the item shares it.
    QByteArray text;
    QString deviceID;
    QStringList barcodes;
    QString recognizedText;
    bool acknowledged = false;
    QString groupID;
    qint64 groupIndex = 0;
    qint64 groupCount = 0;
    QStringList tags;
    QString originalName;
    std::optional<double> lat;
    std::optional<double> lon;

    // Fails (returns none and says why) when a required key is missing or of the wrong type,
    // or `status` is not a known raw value; the other keys fall back to their defaults.
    static std::optional<ScreenItem> fromJson(const QJsonObject& json, QString* error = nullptr);
    QJsonObject toJson() const;
    // The same record as toJson(), written straight as indented text with sorted keys: the
    // index of a large screen is rewritten on every change, and building JSON objects first
    // costs several times as much.
    void appendIndentedJson(QByteArray& out) const;

    // The search of the Inbox's search box. `senderDisplayName` is the sender as the user
    // named them (ItemStore::displayName), searched as well as the raw name.
    bool matches(const QString& query, const QString& senderDisplayName) const;

    bool operator==(const ScreenItem&) const = default;
};

} // namespace vesker
