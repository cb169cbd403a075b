// The changes the Inbox, the cards, the HTTP interface and the relay make to stored items.
#include "store/item_store.h"

#include "platform/atomic_file.h"
#include "platform/clock.h"
#include "platform/log.h"
#include "store/item_queries.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace vesker {

namespace {

constexpr qsizetype kMaxAcksPerDevice = 200;
constexpr auto kRelayPrefix = "relay:";

// Moves a file over any file at the destination. The destination is only replaced once the
// source is known to exist, so a record whose file is missing never costs another file.
void moveFile(const QString& source, const QString& destination)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path from(source.toStdString());
    const fs::path to(destination.toStdString());
    if (!fs::is_regular_file(fs::symlink_status(from, error)))
        return;
    // rename() replaces the destination in one step on the same file system.
    fs::rename(from, to, error);
    if (error == std::errc::cross_device_link) {
        error.clear();
        if (fs::copy_file(from, to, fs::copy_options::overwrite_existing, error))
            fs::remove(from, error);
    }
}

} // namespace

void ItemStore::acknowledge(const QUuid& id, const QString& action)
{
    const int i = indexOf(id);
    if (i < 0)
        return;
    ScreenItem& item = m_items[i];
    item.acknowledged = true;
    if (item.deviceID.startsWith(QLatin1String(kRelayPrefix)))
        forwardRelayAck(item.deviceID.mid(6), action);
    if (!item.deviceID.isEmpty()) {
        QStringList& list = m_acks[item.deviceID];
        const QString idText = uuidText(item.id);
        if (!list.contains(idText)) {
            list.append(idText);
            if (list.size() > kMaxAcksPerDevice)
                list.remove(0, list.size() - kMaxAcksPerDevice);
            saveAcks();
            publishAcks();
        }
    }
    publishItems(id);
    save();
}

void ItemStore::move(const ScreenItem& item, ItemStatus status)
{
    const int i = indexOf(item.id);
    if (i < 0)
        return;
    ScreenItem moved = m_items.at(i);
    moved.status = status;
    const QString source = fileURL(m_items.at(i));
    const QString destination = fileURL(moved);
    // An arrival not yet on disk keeps its unfinished name in the new folder; the index write
    // that lists it gives the file its own name wherever it then is.
    if (!source.isEmpty() && !destination.isEmpty() && source != destination)
        moveFile(source, destination);
    if (!m_rowsStale) {
        --m_statusCounts.at(size_t(m_items.at(i).status));
        ++m_statusCounts.at(size_t(status));
    }
    m_items[i] = moved;
    publishItems(item.id);
    save();
}

void ItemStore::archive(const ScreenItem& item)
{
    for (const ScreenItem& member : groupOf(m_items, item)) {
        acknowledge(member.id, toString(AckAction::archive));
        move(member, ItemStatus::archived);
    }
}

void ItemStore::remove(const QUuid& removed, const QString& ack)
{
    // A copy: `removed` may be the id inside the record that goes, and the change announced
    // after the removal must name the item removed, not the one that took its place.
    const QUuid id = removed;
    if (indexOf(id) < 0)
        return;
    acknowledge(id, ack);
    const QString path = fileURL(m_items.at(indexOf(id)));
    if (!path.isEmpty())
        QFile::remove(path);
    m_unfinishedFiles.remove(id);
    m_items.removeIf([&id](const ScreenItem& item) { return item.id == id; });
    invalidateRows();
    publishItems(id);
    save();
}

void ItemStore::delete_(const QUuid& id)
{
    remove(id, toString(AckAction::delete_));
}

void ItemStore::delete_(const QList<QUuid>& ids)
{
    const SaveBatch batch(*this);
    for (const QUuid& id : ids)
        delete_(id);
}

void ItemStore::removeWithGotIt(const QUuid& id)
{
    remove(id, toString(AckAction::gotIt));
}

void ItemStore::replaceImage(const QUuid& id, const QByteArray& data, const QString& extension)
{
    const int i = indexOf(id);
    if (i < 0 || m_items.at(i).kind != ItemKind::photo)
        return;
    const ScreenItem& item = m_items.at(i);
    const QString oldPath = fileURL(item);
    const QDateTime now = m_clock.now();
    QString newName = fileDateText(now) + u'-' + uuidText(item.id).left(8) + QStringLiteral("-e")
        + QString::number(now.toSecsSinceEpoch());
    // The name is built only from what we made: an extension of anything but letters and
    // digits is left out rather than joined to a path.
    const bool plainExtension = !extension.isEmpty() && extension.size() <= 8
        && std::all_of(extension.begin(), extension.end(),
            [](QChar c) { return c.isLetterOrNumber() && c.unicode() < 128; });
    if (plainExtension)
        newName += u'.' + extension.toLower();
    // An arrival whose record is not on disk yet keeps an unfinished name for the edited photo
    // too: a crash before the index lists it must leave nothing that looks like an item.
    const bool unfinished = m_unfinishedFiles.contains(id);
    const QString newPath = folderFor(item.status) + u'/' + newName
        + (unfinished ? QString(kUnfinishedSuffix) : QString());

    QString error;
    if (!platform::writeFileAtomically(newPath, data, &error)) {
        qCWarning(lcStore).noquote() << "replaceImage failed: " + error;
        return;
    }
    if (!oldPath.isEmpty() && oldPath != newPath)
        QFile::remove(oldPath);
    ScreenItem& changed = m_items[i];
    changed.filename = newName;
    changed.barcodes.clear();
    changed.recognizedText.clear();
    publishItems(id);
    save();
}

void ItemStore::setNote(const QUuid& id, const QString& note)
{
    const int i = indexOf(id);
    if (i < 0 || m_items.at(i).note == note)
        return;
    m_items[i].note = note;
    publishItems(id);
    save();
}

void ItemStore::setTags(const QStringList& tags, const QUuid& id)
{
    const int i = indexOf(id);
    if (i < 0)
        return;
    QStringList normalised;
    QStringList seen;
    for (const QString& tag : tags) {
        const QString trimmed = tag.trimmed();
        const QString folded = trimmed.toLower();
        if (trimmed.isEmpty() || seen.contains(folded))
            continue;
        seen.append(folded);
        normalised.append(trimmed);
    }
    if (normalised == m_items.at(i).tags)
        return;
    m_items[i].tags = normalised;
    publishItems(id);
    save();
}

void ItemStore::setGroup(const QUuid& id, const QString& groupID, qint64 index, qint64 count)
{
    const int i = indexOf(id);
    if (i < 0 || groupID.isEmpty())
        return;
    ScreenItem& item = m_items[i];
    item.groupID = groupID;
    item.groupIndex = index;
    item.groupCount = count;
    publishItems(id);
    save();
}

void ItemStore::setLocation(const QUuid& id, double lat, double lon)
{
    const int i = indexOf(id);
    // JSON has no NaN or infinity: one such number would make the whole index unreadable.
    if (i < 0 || !std::isfinite(lat) || !std::isfinite(lon))
        return;
    m_items[i].lat = lat;
    m_items[i].lon = lon;
    publishItems(id);
    save();
}

void ItemStore::setRecognition(const QUuid& id, const QStringList& barcodes, const QString& text)
{
    const int i = indexOf(id);
    if (i < 0)
        return;
    m_items[i].barcodes = barcodes;
    m_items[i].recognizedText = text;
    publishItems(id);
    save();
}

} // namespace vesker
