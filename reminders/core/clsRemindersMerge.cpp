// Changes another program makes to the database file while the program runs (a file-sync tool,
// a second machine writing the same synced file, an editor): merged with ours row by row, and
// dated snapshots of the file in the folder "History" beside it, so that no reminder is lost to
// an outside writer, even when what it wrote was wrong.

#include "clsReminders.h"

#include "ZTClock.h"
#include "ZTExceptions.h"
#include "ZTFileUtils.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <utility>

namespace {

// The identity of a row across versions of the file: a reminder by its Id, an exclusion by its
// series' Id with its date and time. A key met again in the same version gets a count, so that
// duplicate rows pair up in order instead of being lost.
using TKeyedRows = std::vector<std::pair<QString, const TReminder *>>;

TKeyedRows Keyed(const std::vector<TReminder> &mainRows, const std::vector<TReminder> &exclusionRows)
{
    TKeyedRows keyed;
    keyed.reserve(mainRows.size() + exclusionRows.size());
    QHash<QString, int> seen;
    const auto add = [&](QString key, const TReminder &row) {
        const int n = seen[key]++;
        if (n > 0)
            key += QLatin1Char('#') + QString::number(n);
        keyed.emplace_back(std::move(key), &row);
    };
    for (const TReminder &row : mainRows)
        add(QLatin1String("R|") + row.Id, row);
    for (const TReminder &row : exclusionRows)
        add(QStringLiteral("X|%1|%2|%3").arg(row.Id).arg(DayNumber(row.Date)).arg(MinuteOfDay(row.Time)), row);
    return keyed;
}

} // namespace

TReminders::TOutsideChange TReminders::SaveOrMerge()
{
    TOutsideChange change;
    // The common case in one pass: the file is as we left it, checked once, just before ours
    // replaces it.
    if (WriteFile(false))
        return change;
    change.Seen = true;
    QByteArray theirs;
    // A file removed by the other program: the tables are written anew.
    if (!ZTFileExistsSafe(fileName_) && ZTNonRegularFileKind(fileName_).isEmpty()) {
        Save();
        return change;
    }

    std::vector<TReminder> theirMain, theirExclusions;
    QString reason;
    if (!ZTReadRegularFile(fileName_, theirs, reason) || !ReadWhole(theirs, theirMain, theirExclusions, reason)) {
        // Not whole: never taken in. Save keeps it beside ours and spares the backup.
        change.Unreadable = true;
        change.Reason = reason;
        Save();
        if (!pendingConflicts_.isEmpty())
            conflictReason_ = reason;
        return change;
    }

    // Our version before theirs comes in, so that every row the change removes can be had back.
    change.Snapshot = WriteSnapshot(modified_ ? FormatFile() : baseBytes_, QStringLiteral("before an outside change"));

    std::vector<TReminder> baseMain, baseExclusions;
    ReadBase(baseBytes_, baseMain, baseExclusions);

    std::lock_guard<std::recursive_mutex> guard(lock_);
    const TKeyedRows base = Keyed(baseMain, baseExclusions);
    const TKeyedRows ours = Keyed(mainTable_, exclusionsTable_);
    const TKeyedRows their = Keyed(theirMain, theirExclusions);
    QHash<QString, QString> baseLine, theirLine;
    for (const auto &[key, row] : base)
        baseLine.insert(key, FormatLine(*row, true));
    for (const auto &[key, row] : their)
        theirLine.insert(key, FormatLine(*row, true));
    QHash<QString, const TReminder *> theirRow;
    for (const auto &[key, row] : their)
        theirRow.insert(key, row);

    std::vector<TReminder> mergedMain, mergedExclusions;
    const auto keep = [&](const TReminder &row) { (row.Exclusion ? mergedExclusions : mergedMain).push_back(row); };
    QSet<QString> decided;
    bool fromTheirs = false; // some row of theirs came in
    bool oursKept = false;   // some change of ours stays, so the file must be written
    // Rows we hold, in our order: ours, theirs, or gone.
    for (const auto &[key, row] : ours) {
        decided.insert(key);
        const QString ourLine = FormatLine(*row, true);
        const auto b = baseLine.constFind(key);
        const auto t = theirLine.constFind(key);
        const bool inBase = b != baseLine.constEnd();
        const bool inTheirs = t != theirLine.constEnd();
        if (inTheirs && *t == ourLine) {
            keep(*row);
        } else if (inBase && *b == ourLine) {
            // Unchanged here: their version, or their removal.
            if (inTheirs) {
                keep(*theirRow.value(key));
                fromTheirs = true;
            } else {
                fromTheirs = true;
                if (!row->Exclusion)
                    ++change.Removed;
            }
        } else if (inTheirs && inBase && *t == *b) {
            keep(*row); // changed here only
            oursKept = true;
        } else if (!inTheirs && !inBase) {
            keep(*row); // added here
            oursKept = true;
        } else {
            // Changed on both sides, differently (or changed here and removed there): ours
            // stays, theirs goes to the conflict copy.
            keep(*row);
            oursKept = true;
            ++change.Conflicts;
        }
    }
    // Rows we do not hold: added there, removed here, or removed here and changed there.
    for (const auto &[key, row] : their) {
        if (decided.contains(key))
            continue;
        const auto b = baseLine.constFind(key);
        if (b == baseLine.constEnd()) {
            keep(*row);
            fromTheirs = true;
        } else if (*b != theirLine.value(key)) {
            ++change.Conflicts;
            oursKept = true;
        } else {
            oursKept = true; // our removal stays
        }
    }

    // An exclusion carries its series' time, message, sound and program (a change of the series
    // changes all of them): an exclusion added on one side follows a series changed on the other.
    QHash<QString, const TReminder *> seriesById;
    for (const TReminder &series : mergedMain)
        seriesById.insert(series.Id, &series);
    QSet<QString> exclusionKeys;
    std::vector<TReminder> exclusions;
    exclusions.reserve(mergedExclusions.size());
    for (TReminder &row : mergedExclusions) {
        if (const TReminder *series = seriesById.value(row.Id)) {
            row.Time = series->Time;
            row.ReminderMessage = series->ReminderMessage;
            row.PlaySound = series->PlaySound;
            row.RepeatSound = series->RepeatSound;
            row.SoundFile = series->SoundFile;
            row.RunProgram = series->RunProgram;
            row.ProgramLocation = series->ProgramLocation;
        }
        const QString key = QStringLiteral("%1|%2|%3").arg(row.Id).arg(DayNumber(row.Date)).arg(MinuteOfDay(row.Time));
        if (!exclusionKeys.contains(key)) {
            exclusionKeys.insert(key);
            exclusions.push_back(std::move(row));
        }
    }

    change.TookIn = fromTheirs;
    if (change.Conflicts > 0)
        KeepConflictBytes(theirs);
    mainTable_ = std::move(mergedMain);
    exclusionsTable_ = std::move(exclusions);
    InvalidateExclusionIndex();
    ++changeCount_;
    // Theirs is accounted for: the save that follows writes over it without keeping it again
    // (unless it changes once more meanwhile).
    fileStamp_ = StampOf(theirs);
    baseBytes_ = theirs;
    if (oursKept || modified_) {
        modified_ = true;
        Save();
    } else {
        modified_ = false;
    }
    return change;
}

// ---- Snapshots -------------------------------------------------------------------------------------

QString TReminders::HistoryFolder() const
{
    return ZTExtractFilePath(fileName_) + QStringLiteral("History/");
}

QString TReminders::WriteSnapshot(const QByteArray &bytes, const QString &tag)
{
    if (fileName_.isEmpty() || bytes.isEmpty())
        return QString();
    const QString folder = HistoryFolder();
    if (!QDir().mkpath(folder))
        return QString();
    const QDateTime now = ZTNowDateTime();
    const QString name = ZTExtractFileName(fileName_);
    const QString ext = ZTExtractFileExt(name);
    const QString stem = name.left(name.size() - ext.size());
    // "<name> 2026-12-09.dat" for the day's snapshot; "<name> 2026-12-09 10.15.30 <tag>.dat"
    // (then " (2)", ...) for the others.
    QString path = folder + stem + QLatin1Char(' ') + now.date().toString(Qt::ISODate);
    if (!tag.isEmpty()) {
        path += now.time().toString(QStringLiteral(" hh.mm.ss ")) + tag;
        const QString first = path;
        for (int n = 2; QFileInfo::exists(path + ext) && n < 1000; ++n)
            path = first + QStringLiteral(" (%1)").arg(n);
    }
    path += ext;
    QString reason;
    if (!ZTWriteFileAtomic(path, bytes, reason))
        return QString();

    // Pruned by the date in their names: nothing older than the kept days stays.
    static const QRegularExpression dated(QStringLiteral("^ (\\d{4}-\\d{2}-\\d{2})( .*)?$"));
    const QDate oldest = now.date().addDays(-SnapshotDays);
    const QStringList names = QDir(folder).entryList(QDir::Files);
    for (const QString &entry : names) {
        if (!entry.startsWith(stem) || !entry.endsWith(ext))
            continue;
        const QRegularExpressionMatch m = dated.match(entry.mid(stem.size(), entry.size() - stem.size() - ext.size()));
        if (!m.hasMatch())
            continue;
        const QDate day = QDate::fromString(m.captured(1), Qt::ISODate);
        if (day.isValid() && day < oldest)
            QFile::remove(folder + entry);
    }
    return path;
}

void TReminders::SnapshotBeforeSave()
{
    // The state before the day's first save: what the last Load or Save left in the file.
    if (!fileStamp_.Exists || baseBytes_.isEmpty() || fileName_.isEmpty())
        return;
    const QString name = ZTExtractFileName(fileName_);
    const QString ext = ZTExtractFileExt(name);
    const QString today = HistoryFolder() + name.left(name.size() - ext.size()) + QLatin1Char(' ')
                          + ZTNowDateTime().date().toString(Qt::ISODate) + ext;
    if (!QFileInfo::exists(today))
        WriteSnapshot(baseBytes_, QString());
}
