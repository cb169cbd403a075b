// How the store's files and records are kept in step: what a start settles after a crash, and the
// file work of moves, edits and removals that waits for the index.
#include "store/item_store.h"

#include "platform/log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>

namespace vesker {

bool ItemStore::exists(const QString& path)
{
    struct stat info { };
    // A symbolic link is a file here, wherever it points.
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

std::optional<QString> ItemStore::renameWithoutReplacing(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE)
        == 0)
        return std::nullopt;
    int error = errno;
    if (error == EINVAL || error == ENOSYS) {
        // A file system that cannot refuse to replace in the rename itself.
        if (exists(to))
            error = EEXIST;
        else if (::rename(source.constData(), target.constData()) == 0)
            return std::nullopt;
        else
            error = errno;
    }
    if (error == EEXIST)
        return QStringLiteral("a file of that name is already there");
    return QString::fromLocal8Bit(std::strerror(error));
}

void ItemStore::afterSaved(const QUuid& id, std::function<void()> work)
{
    m_afterSaved[id].append(std::move(work));
}

void ItemStore::removeFileLater(const ScreenItem& item, const QString& path)
{
    if (namedByAnother(item.id, path)) {
        qCInfo(lcStore).noquote() << "[store] kept" << path << "as another record names it";
        return;
    }
    const QString aside = QFileInfo(path).path() + u'/' + item.filename + kRemovedSuffix;
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) != 0) {
        const int error = errno;
        if (error != ENOENT && !QFile::remove(path))
            qCWarning(lcStore).noquote() << "[store] could not remove" << path << ":"
                                         << QString::fromLocal8Bit(std::strerror(error));
        return;
    }
    afterSaved(item.id, [aside] { QFile::remove(aside); });
}

bool ItemStore::namedByAnother(const QUuid& id, const QString& path) const
{
    QString name = QFileInfo(path).fileName();
    if (name.endsWith(kUnfinishedSuffix))
        name.chop(kUnfinishedSuffix.size());
    ensureFilenames();
    if (m_filenameCounts.value(name) < 2)
        return false;
    return std::any_of(m_items.begin(), m_items.end(), [&](const ScreenItem& item) {
        return item.id != id && item.filename == name && fileURL(item) == path;
    });
}

void ItemStore::ensureFilenames() const
{
    if (!m_filenamesStale)
        return;
    m_filenameCounts.clear();
    for (const ScreenItem& item : std::as_const(m_items))
        ++m_filenameCounts[item.filename];
    m_filenamesStale = false;
}

void ItemStore::countFilename(const QString& name, int delta)
{
    if (m_filenamesStale)
        return;
    if (int& count = m_filenameCounts[name]; (count += delta) <= 0)
        m_filenameCounts.remove(name);
}

void ItemStore::settleFiles(bool indexDamaged, bool atStart)
{
    const auto removeLeftover = [](const QString& path, const char* what) {
        if (QFile::remove(path))
            qCInfo(lcStore).noquote() << "[store] removed" << what << path;
        else
            qCWarning(lcStore).noquote() << "[store] could not remove" << what << path;
    };
    // Nothing of this store writes before it has loaded, so every temporary file found at the
    // start was left by a write that never ended.
    const auto isTemporaryOf = [](const QString& name, const QString& target) {
        if (!name.startsWith(target + QLatin1String(".new-")) || name.size() == target.size() + 5)
            return false;
        return std::all_of(name.begin() + target.size() + 5, name.end(),
            [](QChar c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z'); });
    };
    if (atStart) {
        for (const QString& name : QDir(m_root).entryList(QDir::Files | QDir::Hidden)) {
            for (const QString& target : {QFileInfo(m_indexPath).fileName(),
                     QFileInfo(m_acksPath).fileName(), QFileInfo(m_journal.path()).fileName()}) {
                if (isTemporaryOf(name, target))
                    removeLeftover(m_root + u'/' + name, "a temporary file");
            }
        }
    }

    QHash<QString, QString> listed;
    QSet<QString> named;
    for (const ScreenItem& item : std::as_const(m_items)) {
        if (!isPlainFileName(item.filename))
            continue;
        if (!listed.contains(item.filename))
            listed.insert(item.filename, folderFor(item.status));
        named.insert(folderFor(item.status) + u'/' + item.filename);
    }
    const auto ours
        = [&](const QString& name) { return listed.contains(name) || isStoredFileName(name); };
    // An edit cut off before its record was on disk leaves the new photo under an edited name
    // of an item whose record names another file.
    static const QRegularExpression editedName(QStringLiteral(
        R"(^\d{4}-\d{2}-\d{2}_\d{2}-\d{2}-\d{2}-([0-9A-F]{8})-e\d+(\.[A-Za-z0-9]{1,16})?$)"));
    QSet<QString> idPrefixes;
    for (const ScreenItem& item : std::as_const(m_items))
        idPrefixes.insert(uuidText(item.id).left(8));
    // Each folder read once: a large store's start must not ask the disk about every record.
    QHash<QString, QSet<QString>> present;
    QHash<QString, QStringList> listings;
    for (const QString& folder : {m_inboxDir, m_archiveDir}) {
        const QStringList names
            = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
        present.insert(folder, QSet<QString>(names.begin(), names.end()));
        listings.insert(folder, names);
    }
    const auto moved
        = [&](const QString& from, const QString& name, const QString& to, const QString& newName) {
              present[from].remove(name);
              present[to].insert(newName);
          };
    for (const QString& folder : {m_inboxDir, m_archiveDir}) {
        for (const QString& name : std::as_const(listings[folder])) {
            const QString path = folder + u'/' + name;
            if (const qsizetype at = name.lastIndexOf(QLatin1String(".new-")); at > 0) {
                QString target = name.left(at);
                if (atStart && isTemporaryOf(name, target)) {
                    if (target.endsWith(kUnfinishedSuffix))
                        target.chop(kUnfinishedSuffix.size());
                    if (ours(target))
                        removeLeftover(path, "a temporary file");
                }
                continue;
            }
            const bool unfinished = name.endsWith(kUnfinishedSuffix);
            if (!unfinished && !name.endsWith(kRemovedSuffix)) {
                if (!atStart || indexDamaged || listed.contains(name))
                    continue;
                if (const auto match = editedName.match(name);
                    match.hasMatch() && idPrefixes.contains(match.captured(1)))
                    removeLeftover(path, "an edited photo no record lists");
                continue;
            }
            const QString finalName
                = name.chopped(unfinished ? kUnfinishedSuffix.size() : kRemovedSuffix.size());
            if (!isPlainFileName(finalName))
                continue;
            // An arrival moved, archived or edited before its record was on disk carries its
            // unfinished name into whichever folder it went, and a removed file stays where it
            // was: the record on disk may have the status from before or after, so the file goes
            // to the folder the record names.
            QString finalFolder = listed.value(finalName);
            if (finalFolder.isEmpty()) {
                // Anything not of the store's own naming is the person's, whatever it is called.
                if (!isStoredFileName(finalName))
                    continue;
                // With a damaged index set aside, the record may be in the copy kept for the
                // user, so the file is kept under its own name where it lies.
                if (!indexDamaged) {
                    // An arrival under way at a later read holds such a name too.
                    if (atStart)
                        removeLeftover(path,
                            unfinished ? "an arrival no record lists" : "a file no record lists");
                    continue;
                }
                finalFolder = folder;
            }
            const QString finalPath = finalFolder + u'/' + finalName;
            if (present[finalFolder].contains(finalName)) {
                if (atStart && listed.contains(finalName))
                    removeLeftover(path, "a copy of a file its record already has");
                continue;
            }
            if (const auto error = renameWithoutReplacing(path, finalPath)) {
                qCWarning(lcStore).noquote()
                    << "[store] could not give" << path << "its name back:" << *error;
            } else {
                moved(folder, name, finalFolder, finalName);
                qCInfo(lcStore).noquote() << "[store] gave" << finalPath << "back its name";
            }
        }
    }

    // A move or a removal the index did not hear of before a crash: the record's file is in the
    // other folder, where no record names it, and goes back to where the record says.
    for (const ScreenItem& item : std::as_const(m_items)) {
        const QString folder = folderFor(item.status);
        if (!isPlainFileName(item.filename) || present[folder].contains(item.filename))
            continue;
        const QString otherFolder = item.status == ItemStatus::archived ? m_inboxDir : m_archiveDir;
        const QString other = otherFolder + u'/' + item.filename;
        if (named.contains(other) || !present[otherFolder].contains(item.filename))
            continue;
        const QString path = folder + u'/' + item.filename;
        if (const auto error = renameWithoutReplacing(other, path)) {
            qCWarning(lcStore).noquote()
                << "[store] could not move" << other << "to where its record says:" << *error;
        } else {
            moved(otherFolder, item.filename, folder, item.filename);
            qCInfo(lcStore).noquote() << "[store] moved" << other << "to where its record says";
        }
    }
}

bool ItemStore::separateRepeatedIds()
{
    QHash<QUuid, int> seen;
    QList<bool> dropped(m_items.size(), false);
    bool changed = false;
    for (qsizetype row = 0; row < m_items.size(); ++row) {
        ScreenItem& item = m_items[row];
        const auto first = seen.constFind(item.id);
        if (first == seen.cend()) {
            seen.insert(item.id, int(row));
            continue;
        }
        changed = true;
        const ScreenItem& kept = m_items.at(*first);
        if (item.filename == kept.filename && folderFor(item.status) == folderFor(kept.status)) {
            dropped[row] = true;
            qCWarning(lcStore).noquote() << "[store] index.json lists item" << uuidText(item.id)
                                         << "twice with one file; the second record is dropped";
            continue;
        }
        // Derived, not random: the journal's lines that follow name it the same way at every
        // start until the index is rewritten.
        const QUuid own
            = QUuid::createUuidV5(item.id, QByteArray::number(row) + '/' + item.filename.toUtf8());
        qCWarning(lcStore).noquote()
            << "[store] index.json lists item" << uuidText(item.id) << "twice; the record of"
            << item.filename << "is item" << uuidText(own) << "from now on";
        item.id = own;
        seen.insert(own, int(row));
    }
    if (!changed)
        return false;
    qsizetype row = 0;
    m_items.removeIf([&](const ScreenItem&) { return dropped.at(row++); });
    invalidateRows();
    return true;
}

bool ItemStore::isStoredFileName(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(^\d{4}-\d{2}-\d{2}_\d{2}-\d{2}-\d{2}-[0-9A-F]{8}(-e\d+)?(\.[A-Za-z0-9]{1,16})?$)"));
    return pattern.match(name).hasMatch();
}

} // namespace vesker
