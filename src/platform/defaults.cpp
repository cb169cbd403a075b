#include "platform/defaults.h"

#include "platform/atomic_file.h"
#include "platform/clock.h"
#include "platform/log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>

namespace vesker::platform {

namespace {
// JSON has no byte strings; bytes are kept as a one-key object so they never read as text.
constexpr auto kBytesKey = "$bytes";
} // namespace

Defaults::Defaults(QString filePath, const Clock& clock, QObject* parent)
    : QObject(parent)
    , m_file(std::move(filePath))
    , m_clock(clock)
{
    QFile file(m_file.path());
    if (!file.open(QIODevice::ReadOnly))
        return;
    QJsonParseError error {};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        qCWarning(lcSettings).noquote()
            << "[settings] could not read" << m_file.path() << "- starting from defaults";
        m_file.keepAsideBeforeNextWrite();
        return;
    }
    m_values = doc.object();
}

QString Defaults::configFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Vesker");
}

Defaults& Defaults::standard()
{
    static Defaults* defaults
        = new Defaults(configFolder() + QStringLiteral("/defaults.json"), Clock::system());
    return *defaults;
}

Defaults& Defaults::group()
{
    static Defaults* defaults = new Defaults(
        configFolder() + QStringLiteral("/group.com.halvane.vesker.json"), Clock::system());
    return *defaults;
}

bool Defaults::boolValue(const QString& key, bool fallback) const
{
    const QJsonValue v = m_values.value(key);
    return v.isBool() ? v.toBool() : fallback;
}

qint64 Defaults::integer(const QString& key, qint64 fallback) const
{
    const QJsonValue v = m_values.value(key);
    // Two different fallbacks tell a whole number apart from a fraction or one out of range,
    // without the value ever passing through a double.
    const qint64 a = v.toInteger(0);
    return a == v.toInteger(1) ? a : fallback;
}

double Defaults::doubleValue(const QString& key, double fallback) const
{
    const QJsonValue v = m_values.value(key);
    return v.isDouble() ? v.toDouble() : fallback;
}

QString Defaults::string(const QString& key, const QString& fallback) const
{
    const QJsonValue v = m_values.value(key);
    return v.isString() ? v.toString() : fallback;
}

QByteArray Defaults::bytes(const QString& key) const
{
    const QJsonValue v = m_values.value(key);
    const QJsonValue encoded = v.toObject().value(QLatin1String(kBytesKey));
    if (!v.isObject() || v.toObject().size() != 1 || !encoded.isString())
        return {};
    return QByteArray::fromBase64(encoded.toString().toLatin1());
}

QStringList Defaults::stringList(const QString& key) const
{
    const QJsonValue v = m_values.value(key);
    if (!v.isArray())
        return {};
    QStringList list;
    for (const QJsonValue& entry : v.toArray()) {
        if (!entry.isString())
            return {};
        list.append(entry.toString());
    }
    return list;
}

QMap<QString, QString> Defaults::stringMap(const QString& key) const
{
    const QJsonValue v = m_values.value(key);
    if (!v.isObject())
        return {};
    QMap<QString, QString> map;
    const QJsonObject object = v.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!it.value().isString())
            return {};
        map.insert(it.key(), it.value().toString());
    }
    return map;
}

void Defaults::set(const QString& key, const QJsonValue& value)
{
    if (value.isUndefined()) {
        remove(key);
        return;
    }
    if (m_values.contains(key) && m_values.value(key) == value)
        return;
    m_values.insert(key, value);
    save();
    Q_EMIT changed(key);
}

void Defaults::setBytes(const QString& key, const QByteArray& value)
{
    set(key, QJsonObject {{QLatin1String(kBytesKey), QString::fromLatin1(value.toBase64())}});
}

void Defaults::setStringList(const QString& key, const QStringList& value)
{
    set(key, QJsonArray::fromStringList(value));
}

void Defaults::setStringMap(const QString& key, const QMap<QString, QString>& value)
{
    QJsonObject object;
    for (auto it = value.begin(); it != value.end(); ++it)
        object.insert(it.key(), it.value());
    set(key, object);
}

void Defaults::remove(const QString& key)
{
    if (!m_values.contains(key))
        return;
    m_values.remove(key);
    save();
    Q_EMIT changed(key);
}

void Defaults::save()
{
    QDir().mkpath(QFileInfo(m_file.path()).absolutePath());
    QString error;
    if (!m_file.write(
            QJsonDocument(m_values).toJson(QJsonDocument::Indented), m_clock.now(), &error))
        qCWarning(lcSettings).noquote()
            << "[settings] could not write" << m_file.path() << ":" << error;
}

} // namespace vesker::platform
