#pragma once

#include "access/access_types.h"
#include "send/relay_book.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

namespace vesker {

// Where one upload goes: a computer found on the network (its service already resolved to a
// host and port), a screen reached by its base address, or a screen paired over the relay.
struct UploadTarget {
    enum class Kind { endpoint, url, relay };

    Kind kind = Kind::url;
    QString host; // endpoint: an address or a host name
    quint16 port = 0; // endpoint
    QUrl baseURL; // url: may carry a path of its own
    RelayScreen relay; // relay

    static UploadTarget endpoint(const QString& host, quint16 port)
    {
        return {.kind = Kind::endpoint, .host = host, .port = port};
    }
    static UploadTarget url(const QUrl& base) { return {.kind = Kind::url, .baseURL = base}; }
    static UploadTarget relayScreen(const RelayScreen& screen)
    {
        return {.kind = Kind::relay, .relay = screen};
    }

    // The address of `path` on an endpoint or url target; none when no web address comes of it.
    std::optional<QUrl> urlFor(const QString& path) const;
};

class UploadError {
public:
    enum class Kind {
        connection,
        badResponse,
        timeout,
        badURL,
        needsCode,
        denied,
        approvalTimeout,
        tooOldForPDF,
        notConnected,
    };

    UploadError(Kind kind, QString detail = {})
        : m_kind(kind)
        , m_detail(std::move(detail))
    { }

    Kind kind() const { return m_kind; }
    // The transport's message or the receiver's reply, for the kinds that carry one.
    const QString& detail() const { return m_detail; }
    // The line the user reads.
    QString description() const;

    bool operator==(const UploadError&) const = default;

private:
    Kind m_kind;
    QString m_detail;
};

enum class UploadOutcome { stored, waitingForApproval };

// The answer of an upload or of a wait for approval: an outcome, or the failure.
struct UploadResult {
    std::optional<UploadError> error;
    UploadOutcome outcome = UploadOutcome::stored;

    bool ok() const { return !error; }
};

// Items sent together, so the receiver shows them as one group.
struct UploadGroup {
    QString id;
    int index = 1; // counted from 1
    int count = 1;
};

// One item as the receiving screen's upload routes take it.
struct UploadRequest {
    QString path; // "/upload", "/file" or "/text"
    QString kind; // "photo", "pdf" or "text"
    QByteArray body;
    QString contentType;
    QString note;
    QString sender;
    QString code; // may be empty
    std::optional<UploadGroup> group;
    std::optional<QString> fileName;
    std::optional<Coordinate> location;
    QString itemID;
};

} // namespace vesker
