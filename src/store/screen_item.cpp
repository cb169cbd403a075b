#include "store/screen_item.h"

#include "platform/enum_table.h"

#include <QJsonArray>
#include <QLocale>

#include <cmath>
#include <cstdio>

#include <algorithm>
#include <array>
#include <utility>

namespace vesker {

namespace {

constexpr std::array<std::pair<ItemKind, const char*>, 3> kKinds {
    {{ItemKind::photo, "photo"}, {ItemKind::text, "text"}, {ItemKind::pdf, "pdf"}}};
constexpr std::array<std::pair<ItemStatus, const char*>, 3> kStatuses {
    {{ItemStatus::inbox, "inbox"}, {ItemStatus::later, "later"},
        {ItemStatus::archived, "archived"}}};
constexpr std::array<std::pair<SenderArrival, const char*>, 2> kArrivals {
    {{SenderArrival::normal, "normal"}, {SenderArrival::quiet, "quiet"}}};
constexpr std::array<std::pair<AckAction, const char*>, 8> kActions {{
    {AckAction::gotIt, "got-it"},
    {AckAction::archive, "archive"},
    {AckAction::delete_, "delete"},
    {AckAction::later, "later"},
    {AckAction::onIt, "on-it"},
    {AckAction::cantRead, "cant-read"},
    {AckAction::sendAnother, "send-another"},
    {AckAction::wrongScreen, "wrong-screen"},
}};

QStringList stringsOf(const QJsonValue& value)
{
    QStringList list;
    for (const QJsonValue& entry : value.toArray())
        list.append(entry.toString());
    return list;
}

bool isStringArray(const QJsonValue& value)
{
    if (!value.isArray())
        return false;
    const QJsonArray array = value.toArray();
    return std::all_of(
        array.begin(), array.end(), [](const QJsonValue& v) { return v.isString(); });
}

} // namespace

QString toString(ItemKind kind)
{
    return platform::rawOf(kKinds, kind);
}
QString toString(ItemStatus status)
{
    return platform::rawOf(kStatuses, status);
}
QString toString(SenderArrival arrival)
{
    return platform::rawOf(kArrivals, arrival);
}
QString toString(AckAction action)
{
    return platform::rawOf(kActions, action);
}
std::optional<ItemKind> itemKindFromString(const QString& raw)
{
    return platform::caseOf(kKinds, raw);
}
std::optional<ItemStatus> itemStatusFromString(const QString& raw)
{
    return platform::caseOf(kStatuses, raw);
}
std::optional<SenderArrival> senderArrivalFromString(const QString& raw)
{
    return platform::caseOf(kArrivals, raw);
}
std::optional<AckAction> ackActionFromString(const QString& raw)
{
    return platform::caseOf(kActions, raw);
}

const QList<AckAction>& allAckActions()
{
    static const QList<AckAction> actions = platform::casesOf(kActions);
    return actions;
}

QString toIsoDate(const QDateTime& date)
{
    return date.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + u'Z';
}

QDateTime fromIsoDate(const QString& text)
{
    QDateTime date = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!date.isValid())
        date = QDateTime::fromString(text, Qt::ISODate);
    // A date without a zone would be read as local time and shift with the computer's zone.
    if (!date.isValid() || date.timeSpec() == Qt::LocalTime)
        return {};
    return date.toUTC();
}

QString uuidText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

QByteArray keptUtf8(const QString& text)
{
    QByteArray utf8 = text.toUtf8();
    utf8.squeeze();
    return utf8;
}

QString utf8Start(QByteArrayView utf8, qsizetype length)
{
    // No character takes more than three UTF-8 bytes for each UTF-16 unit it becomes; three
    // more complete the last one cut.
    const qsizetype bytes = std::min(utf8.size(), length * 3 + 3);
    return QString::fromUtf8(utf8.first(bytes)).left(length);
}

std::optional<ScreenItem> ScreenItem::fromJson(const QJsonObject& json, QString* error)
{
    auto fail = [error](const char* why) -> std::optional<ScreenItem> {
        if (error)
            *error = QString::fromLatin1(why);
        return std::nullopt;
    };
    for (const char* key : {"id", "receivedAt", "filename", "note", "sender", "status"}) {
        if (!json.value(QLatin1String(key)).isString())
            return fail(key);
    }
    ScreenItem item;
    item.id = QUuid::fromString(json.value(QLatin1String("id")).toString());
    if (item.id.isNull())
        return fail("id");
    item.receivedAt = fromIsoDate(json.value(QLatin1String("receivedAt")).toString());
    if (!item.receivedAt.isValid())
        return fail("receivedAt");
    const auto status = itemStatusFromString(json.value(QLatin1String("status")).toString());
    if (!status)
        return fail("status");
    item.status = *status;
    item.filename = json.value(QLatin1String("filename")).toString();
    item.note = json.value(QLatin1String("note")).toString();
    item.sender = json.value(QLatin1String("sender")).toString();

    // Optional keys: missing gives the default; a present key of the wrong type is a decoding
    // error, as for the required ones.
    auto optional = [&json](const char* key) { return json.value(QLatin1String(key)); };
    auto readString = [&](const char* key, QString& out) {
        const QJsonValue v = optional(key);
        if (v.isUndefined() || v.isNull())
            return true;
        out = v.toString();
        return v.isString();
    };
    auto readStrings = [&](const char* key, QStringList& out) {
        const QJsonValue v = optional(key);
        if (v.isUndefined() || v.isNull())
            return true;
        out = stringsOf(v);
        return isStringArray(v);
    };
    auto readInteger = [&](const char* key, qint64& out) {
        const QJsonValue v = optional(key);
        if (v.isUndefined() || v.isNull())
            return true;
        // Two fallbacks tell a whole number from a fraction or one out of range, and the
        // value never passes through a double, so every 64-bit integer comes back exact.
        out = v.toInteger(0);
        return out == v.toInteger(1);
    };
    auto readDouble = [&](const char* key, std::optional<double>& out) {
        const QJsonValue v = optional(key);
        if (v.isUndefined() || v.isNull())
            return true;
        out = v.toDouble();
        return v.isDouble();
    };

    QString kind;
    if (!readString("kind", kind))
        return fail("kind");
    // Unknown kinds from newer or older senders are shown as photos rather than lost.
    item.kind = kind == QLatin1String("text") ? ItemKind::text
        : kind == QLatin1String("pdf")        ? ItemKind::pdf
                                              : ItemKind::photo;
    const QJsonValue acknowledged = optional("acknowledged");
    if (!acknowledged.isUndefined() && !acknowledged.isNull()) {
        if (!acknowledged.isBool())
            return fail("acknowledged");
        item.acknowledged = acknowledged.toBool();
    }
    QString text;
    if (!readString("text", text))
        return fail("text");
    item.text = keptUtf8(text);
    if (!readString("deviceID", item.deviceID))
        return fail("deviceID");
    if (!readStrings("barcodes", item.barcodes))
        return fail("barcodes");
    if (!readString("recognizedText", item.recognizedText))
        return fail("recognizedText");
    if (!readString("groupID", item.groupID))
        return fail("groupID");
    if (!readInteger("groupIndex", item.groupIndex))
        return fail("groupIndex");
    if (!readInteger("groupCount", item.groupCount))
        return fail("groupCount");
    if (!readStrings("tags", item.tags))
        return fail("tags");
    if (!readString("originalName", item.originalName))
        return fail("originalName");
    if (!readDouble("lat", item.lat))
        return fail("lat");
    if (!readDouble("lon", item.lon))
        return fail("lon");
    return item;
}

QJsonObject ScreenItem::toJson() const
{
    QJsonObject json {
        {QStringLiteral("id"), uuidText(id)},
        {QStringLiteral("receivedAt"), toIsoDate(receivedAt)},
        {QStringLiteral("filename"), filename},
        {QStringLiteral("note"), note},
        {QStringLiteral("sender"), sender},
        {QStringLiteral("status"), toString(status)},
        {QStringLiteral("kind"), toString(kind)},
        {QStringLiteral("text"), QString::fromUtf8(text)},
        {QStringLiteral("deviceID"), deviceID},
        {QStringLiteral("barcodes"), QJsonArray::fromStringList(barcodes)},
        {QStringLiteral("recognizedText"), recognizedText},
        {QStringLiteral("acknowledged"), acknowledged},
        {QStringLiteral("groupID"), groupID},
        {QStringLiteral("groupIndex"), groupIndex},
        {QStringLiteral("groupCount"), groupCount},
        {QStringLiteral("tags"), QJsonArray::fromStringList(tags)},
        {QStringLiteral("originalName"), originalName},
    };
    // JSON has no NaN or infinity; such a place is no place.
    if (lat && std::isfinite(*lat))
        json.insert(QStringLiteral("lat"), *lat);
    if (lon && std::isfinite(*lon))
        json.insert(QStringLiteral("lon"), *lon);
    return json;
}

namespace {

void appendJsonString(QByteArray& out, QByteArrayView utf8)
{
    out += '"';
    const char* plain = utf8.begin();
    for (const char* p = utf8.begin(); p != utf8.end(); ++p) {
        const char c = *p;
        if (c != '"' && c != '\\' && static_cast<unsigned char>(c) >= 0x20)
            continue;
        // Runs of plain bytes go in whole: a text can be a megabyte long.
        out.append(plain, p - plain);
        plain = p + 1;
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default: {
            char escaped[7];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        }
        }
    }
    out.append(plain, utf8.end() - plain);
    out += '"';
}

void appendJsonString(QByteArray& out, const QString& text)
{
    appendJsonString(out, QByteArrayView(text.toUtf8()));
}

void appendJsonStrings(QByteArray& out, const QStringList& list)
{
    if (list.isEmpty()) {
        out += "[]";
        return;
    }
    out += "[\n";
    for (qsizetype i = 0; i < list.size(); ++i) {
        out += "            ";
        appendJsonString(out, list.at(i));
        out += i + 1 < list.size() ? ",\n" : "\n";
    }
    out += "        ]";
}

} // namespace

void ScreenItem::appendIndentedJson(QByteArray& out) const
{
    auto key = [&out](const char* name) {
        out += "        \"";
        out += name;
        out += "\": ";
    };
    auto string = [&](const char* name, const QString& value) {
        key(name);
        appendJsonString(out, value);
        out += ",\n";
    };
    auto strings = [&](const char* name, const QStringList& value) {
        key(name);
        appendJsonStrings(out, value);
        out += ",\n";
    };
    auto literal = [&](const char* name, const QByteArray& value) {
        key(name);
        out += value;
        out += ",\n";
    };
    auto number
        = [](double d) { return QByteArray::number(d, 'g', QLocale::FloatingPointShortest); };

    // Keys in the sorted order QJsonObject would give them.
    out += "    {\n";
    literal("acknowledged", acknowledged ? "true" : "false");
    strings("barcodes", barcodes);
    string("deviceID", deviceID);
    string("filename", filename);
    literal("groupCount", QByteArray::number(groupCount));
    string("groupID", groupID);
    literal("groupIndex", QByteArray::number(groupIndex));
    string("id", uuidText(id));
    string("kind", toString(kind));
    // A NaN or infinity would make the whole index unreadable.
    if (lat && std::isfinite(*lat))
        literal("lat", number(*lat));
    if (lon && std::isfinite(*lon))
        literal("lon", number(*lon));
    string("note", note);
    string("originalName", originalName);
    string("receivedAt", toIsoDate(receivedAt));
    string("recognizedText", recognizedText);
    string("sender", sender);
    string("status", toString(status));
    strings("tags", tags);
    key("text");
    appendJsonString(out, QByteArrayView(text));
    out += "\n    }";
}

namespace {

// Qt folds case one character to one, so "ß" never meets "SS". The characters whose full
// folding is longer are few; the common ones are spelled out here.
QString foldCase(const QString& text)
{
    QString folded = text.toCaseFolded();
    const bool plain
        = std::all_of(folded.cbegin(), folded.cend(), [](QChar c) { return c.unicode() < 0xDF; });
    if (plain)
        return folded;
    QString out;
    out.reserve(folded.size() + 8);
    for (const QChar c : std::as_const(folded)) {
        switch (c.unicode()) {
        case 0x00DF: // ß
        case 0x1E9E: // ẞ
            out += QLatin1String("ss");
            break;
        case 0x0130: // İ
            out += QStringLiteral("i\u0307");
            break;
        case 0x0149: // ŉ
            out += QStringLiteral("\u02BCn");
            break;
        case 0xFB00:
            out += QLatin1String("ff");
            break;
        case 0xFB01:
            out += QLatin1String("fi");
            break;
        case 0xFB02:
            out += QLatin1String("fl");
            break;
        case 0xFB03:
            out += QLatin1String("ffi");
            break;
        case 0xFB04:
            out += QLatin1String("ffl");
            break;
        case 0xFB05:
        case 0xFB06:
            out += QLatin1String("st");
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

bool ScreenItem::matches(const QString& query, const QString& senderDisplayName) const
{
    const QString needle = query.trimmed();
    if (needle.isEmpty())
        return true;
    QStringList parts {note, QString::fromUtf8(text), recognizedText, sender, senderDisplayName};
    parts += barcodes;
    parts += tags;
    return foldCase(parts.join(u'\n')).contains(foldCase(needle));
}

} // namespace vesker
