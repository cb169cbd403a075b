#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace vesker {

// The one object of the update manifest: the newest release the maker offers.
struct UpdateRelease {
    QString version;
    QString url; // the download page, never a file fetched by the program
    QString notes;
    QString minimumSystemVersion;
    std::optional<qint64> size; // bytes
    QString sha256;

    // None when the body is no object, a required key is missing, or any known key has the
    // wrong type; unknown keys are ignored.
    static std::optional<UpdateRelease> fromJson(const QByteArray& body);

    // Whether `url` may be offered for download: it parses and its scheme is "https", exactly.
    bool hasSecureUrl() const;
    // The size as the download buttons and the alert say it ("12.3 MB"); empty below 1 byte.
    QString sizeText() const;

    friend bool operator==(const UpdateRelease&, const UpdateRelease&) = default;
};

// Whether version `a` is newer than `b`, piece by piece between the dots: "1.10" is newer than
// "1.9", "1.2" equals "1.2.0", "2.0-beta" equals "2.0".
bool isVersionNewer(const QString& a, const QString& b);

} // namespace vesker
