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

namespace vesker {

namespace {

constexpr qsizetype kMaxAcksPerDevice = 200;
constexpr auto kRelayPrefix = "relay:";

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

bool ItemStore::move(const ScreenItem& item, ItemStatus status)
{
    const int i = indexOf(item.id);
    if (i < 0)
        return false;
    ScreenItem moved = m_items.at(i);
    moved.status = status;
    const QString source = fileURL(m_items.at(i));
    const QString destination = fileURL(moved);
    // An arrival not yet on disk keeps its unfinished name in the new folder; the index write
    // that lists it gives the file its own name wherever it then is. Should the program end
    // before the record is on disk, the next start puts the file back where the record says.
    if (!source.isEmpty() && !destination.isEmpty() && source != destination) {
        std::optional<QString> problem;
        if (namedByAnother(item.id, source))
            problem = QStringLiteral("another item's record names the same file");
        else if (exists(source))
            problem = renameWithoutReplacing(source, destination);
        if (problem) {
            qCWarning(lcStore).noquote()
                << "[store] item" << uuidText(item.id) << "stays where it is:" << source
                << "could not be moved to" << QFileInfo(destination).path() + u':' << *problem;
            return false;
        }
    }
    if (!m_rowsStale) {
        --m_statusCounts.at(size_t(m_items.at(i).status));
        ++m_statusCounts.at(size_t(status));
    }
    m_items[i] = moved;
    publishItems(item.id);
    save();
    return true;
}

void ItemStore::archive(const ScreenItem& item)
{
    for (const ScreenItem& member : groupOf(m_items, item)) {
        // Its sender hears "archived" only of an item that is.
        if (move(member, ItemStatus::archived))
            acknowledge(member.id, toString(AckAction::archive));
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
    const ScreenItem& item = m_items.at(indexOf(id));
    QString path = fileURL(item);
    // The file is removed wherever it is, also from the folder its record does not name.
    if (!path.isEmpty() && !exists(path)) {
        const QString other = (item.status == ItemStatus::archived ? m_inboxDir : m_archiveDir)
            + u'/' + item.filename;
        if (exists(other) && !namedByAnother(id, other))
            path = other;
    }
    if (!path.isEmpty())
        removeFileLater(item, path);
    m_unfinishedFiles.remove(id);
    m_items.removeIf([&id, this](const ScreenItem& record) {
        if (record.id != id)
            return false;
        countFilename(record.filename, -1);
        return true;
    });
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
    // too: a crash before the index lists it must leave nothing that looks like an item. The old
    // photo stays aside until the record naming the new one is on disk, and a start removes an
    // edited photo no record lists: whenever the program ends, the record on disk has its file.
    const bool unfinished = m_unfinishedFiles.contains(id);
    const QString newPath = folderFor(item.status) + u'/' + newName
        + (unfinished ? QString(kUnfinishedSuffix) : QString());

    QString error;
    if (!platform::writeFileAtomically(newPath, data, &error)) {
        qCWarning(lcStore).noquote() << "replaceImage failed: " + error;
        return;
    }
    if (!oldPath.isEmpty() && oldPath != newPath)
        removeFileLater(item, oldPath);
    ScreenItem& changed = m_items[i];
    countFilename(changed.filename, -1);
    changed.filename = newName;
    countFilename(newName, 1);
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
