#pragma once

#include "platform/atomic_file.h"
#include "store/screen_item.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUuid>

#include <atomic>
#include <optional>

namespace vesker {

// The changes made to the index since it was last written whole, one line each, appended and
// synced in the order they were made: an arrival is on disk once its line is, without rewriting
// the whole index. Replaying the lines over the index gives the store back; replaying lines the
// index already holds changes nothing, so the index can be rewritten while lines still come in.
//
// Reading is for anyone; the writing members run on the store's writer thread, one at a time.
class IndexJournal {
public:
    // One changed record: `item` is what it became, none when it was removed.
    struct Entry {
        QUuid id;
        std::optional<ScreenItem> item;
    };
    struct Contents {
        QList<Entry> entries;
        // Whole lines that did not decode; a last line cut short by a crash is not counted.
        qsizetype unreadable = 0;
        // Bytes up to the end of the last whole line.
        qint64 wholeLength = 0;
    };
    static Contents read(const QByteArray& text);
    // A record as the index holds it (ScreenItem::appendIndentedJson), as one line.
    static void appendPut(QByteArray& lines, const QByteArray& record);
    static void appendRemove(QByteArray& lines, const QUuid& id);

    explicit IndexJournal(QString path);
    ~IndexJournal();
    IndexJournal(const IndexJournal&) = delete;
    IndexJournal& operator=(const IndexJournal&) = delete;

    const QString& path() const { return m_path; }
    // Bytes in the file; read from any thread.
    qint64 size() const { return m_size.load(); }
    // Set while no write is under way.
    void setWriteDevice(platform::WriteDevice device) { m_device = std::move(device); }

    // Before the first append: drops a last line cut short, so that the next line starts on a
    // line of its own.
    bool open(qint64 wholeLength, QString* error = nullptr);
    // Appends whole lines and syncs them; a failure leaves the file as it was.
    bool append(const QByteArray& lines, QString* error = nullptr);
    // From here on the lines appended are remembered, for cut().
    void markTail();
    void dropTail();
    // The index now holds everything before the mark: the file keeps only the lines since,
    // and one that could not be read is first kept aside for the user.
    bool cut(bool keepAside, const QDateTime& now, QString* error = nullptr);

private:
    bool openForAppend(QString* error);
    void close();

    QString m_path;
    int m_fd = -1;
    std::atomic<qint64> m_size = 0;
    platform::WriteDevice m_device;
    bool m_marked = false;
    QByteArray m_tail;
};

} // namespace vesker
