#include "update/update_release.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QUrl>

#include <cmath>

namespace vesker {

namespace {

// A string field: absent (or null) gives the fallback, another type fails the whole manifest.
bool readString(const QJsonObject& json, const char* key, QString& out, bool required)
{
    const QJsonValue value = json.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return !required;
    if (!value.isString())
        return false;
    out = value.toString();
    return true;
}

// JSON numbers are doubles: a size must be whole and fit 64 bits, as the manifest promises.
bool readSize(const QJsonObject& json, std::optional<qint64>& out)
{
    const QJsonValue value = json.value(QLatin1String("size"));
    if (value.isUndefined() || value.isNull())
        return true;
    const double number = value.toDouble(std::nan(""));
    if (!value.isDouble() || !std::isfinite(number) || std::trunc(number) != number
        || std::abs(number) >= 9.2e18)
        return false;
    out = static_cast<qint64>(number);
    return true;
}

// The number of one piece: its leading run of numerals, read as a 64-bit decimal; a run of
// other scripts' numerals, or one too long to fit, counts as nothing.
qint64 pieceNumber(QStringView piece)
{
    QString run;
    for (const char32_t c : piece.toUcs4()) {
        if (!QChar::isNumber(c))
            break;
        run.append(QString::fromUcs4(&c, 1));
    }
    for (const QChar c : run) {
        if (c < u'0' || c > u'9')
            return 0;
    }
    bool ok = false;
    const qint64 value = run.toLongLong(&ok, 10);
    return ok ? value : 0;
}

QList<qint64> versionNumbers(const QString& version)
{
    QList<qint64> numbers;
    for (const QStringView piece : QStringView(version).split(u'.', Qt::SkipEmptyParts))
        numbers.append(pieceNumber(piece));
    return numbers;
}

} // namespace

std::optional<UpdateRelease> UpdateRelease::fromJson(const QByteArray& body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject json = document.object();
    UpdateRelease release;
    if (!readString(json, "version", release.version, true)
        || !readString(json, "url", release.url, true)
        || !readString(json, "notes", release.notes, false)
        || !readString(json, "minimumSystemVersion", release.minimumSystemVersion, false)
        || !readString(json, "sha256", release.sha256, false) || !readSize(json, release.size))
        return std::nullopt;
    return release;
}

bool UpdateRelease::hasSecureUrl() const
{
    const QUrl parsed(url, QUrl::StrictMode);
    // QUrl lower-cases the scheme it reports, so the written one is checked as well.
    return parsed.isValid() && parsed.scheme() == u"https" && url.startsWith(u"https:");
}

QString UpdateRelease::sizeText() const
{
    if (!size || *size < 1)
        return {};
    return QLocale().formattedDataSize(*size, 1, QLocale::DataSizeSIFormat);
}

bool isVersionNewer(const QString& a, const QString& b)
{
    const QList<qint64> left = versionNumbers(a);
    const QList<qint64> right = versionNumbers(b);
    for (qsizetype i = 0; i < qMax(left.size(), right.size()); ++i) {
        const qint64 x = left.value(i, 0);
        const qint64 y = right.value(i, 0);
        if (x != y)
            return x > y;
    }
    return false;
}

} // namespace vesker
