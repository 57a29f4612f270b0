#pragma once
// The reminder record and the reminder store.
//
// TReminder is one stored row in memory: a one-time reminder, a recurring series, or an
// exclusion record that removes or dismisses one occurrence of a series. TReminders keeps
// all rows of the running program in two tables (main table: one-time reminders and series;
// exclusions table: exclusion records) guarded by one re-entrant lock.

#include "ZTArrays.h"
#include "ZTDateUtils.h"
#include "ZTList.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

enum TRecurrenceUnit : std::uint8_t { ruNone = 0, ruDaily = 1, ruWeekly = 2, ruMonthly = 3, ruYearly = 4 };
enum TRecurrenceDailyType : std::uint8_t { dtNone = 0, dtEveryNDays = 1, dtEveryWeekday = 2 };

// Stored integer codes to the enumerations: valid codes map to themselves, others to 0.
TRecurrenceUnit IntToRecurrenceUnit(int code);
int RecurrenceUnitToInt(TRecurrenceUnit unit);
TRecurrenceDailyType IntToRecurrenceDailyType(int code);
int RecurrenceDailyTypeToInt(TRecurrenceDailyType type);

class TReminders;

class TReminder {
public:
    using Ptr = std::shared_ptr<TReminder>;

    // Fields in declared order.
    bool PlaySound = false;
    bool RepeatSound = false;
    bool RunProgram = false;
    bool Recurring = false;
    bool RecurrenceNoEnd = false;
    bool Exclusion = false;
    bool Active = false;
    TRecurrenceUnit RecurrenceUnit = ruNone;
    TRecurrenceDailyType RecurrenceDailyType = dtNone;
    std::int32_t RecurrenceDailyEvery = 0;
    std::int32_t RecurrenceWeeklyEvery = 0;
    std::int32_t RecurrenceMonthlyDay = 0;
    std::int32_t RecurrenceMonthlyEvery = 0;
    std::int32_t RecurrenceYearlyMonth = 0;
    std::int32_t RecurrenceYearlyDay = 0;
    TDateTime Date = 0;
    TDateTime Time = 0;
    TDateTime RecurrenceStart = 0;
    TDateTime RecurrenceEndBy = 0;
    // In memory only: the occurrence this object stands for (0 when none).
    TDateTime OccurrenceDate = 0;
    TDateTime OccurrenceTime = 0;
    QString Id;
    QString ReminderMessage;
    QString SoundFile;
    QString ProgramLocation;
    QString RecurrenceWeeklyDays;

    // A new reminder with a fresh GUID as Id and every other field zero.
    // Raises EZTException "Unable to create a new reminder object." on failure.
    static Ptr Create();
    // The GUID text form: 38 characters, braces, upper-case hex digits grouped 8-4-4-4-12.
    static QString NewId();

    // Copies every stored field, Id included; the occurrence fields stay as they are.
    void Assign(const TReminder &source);
    // A new object with every stored field and the same Id; occurrence fields 0.
    Ptr Clone() const;
    // A new pending one-time reminder with a new Id, built from this one (for an edited,
    // moved or snoozed occurrence).
    Ptr MakeOneTimeCopy() const;
    // A new exclusion record (Active true) for the occurrence this object stands for.
    Ptr MakeExclusion() const;

    // The date in the short date format, a blank, the time in the short time format.
    static QString ListCaption(TDateTime date, TDateTime time);
    static QString TimeCaption(TDateTime time);

    // ---- Occurrences -------------------------------------------------------------------
    // Appends every occurrence day on or before lastDay (exclusions not applied); returns
    // whether any was appended. workDays is the work week used by working-day series.
    bool CollectOccurrences(TZTDateTimeArray &dates, TDateTime lastDay, const QString &workDays) const;
    // The day of the next due moment at or after the current minute, or 0 when none; the
    // second form at or after the minute of `now` (for many rows asked at one moment).
    TDateTime NextOccurrence(TReminders &store) const;
    TDateTime NextOccurrence(TReminders &store, TDateTime now) const;
    // Whether the day view shows this reminder on the given day.
    bool OccursOn(TReminders &store, TDateTime day) const;
};

using TReminderList = TZTList<TReminder>;

// One alert of a catch-up: a pending one-time reminder whose moment has passed (Earlier 0), or
// the latest missed occurrence of a series with the number of its earlier missed occurrences.
struct TCatchUpItem {
    TReminder::Ptr Due;
    int Earlier = 0;
};
using TCatchUpList = std::vector<TCatchUpItem>;

class TReminders {
public:
    static constexpr int ColumnCount = 24;
    static constexpr int MarkCount = 62;

    explicit TReminders(const QString &fileName);
    ~TReminders();
    TReminders(const TReminders &) = delete;
    TReminders &operator=(const TReminders &) = delete;

    // The database file this store loads and saves.
    const QString &FileName() const { return fileName_; }
    // The re-entrant lock that guards both tables.
    std::recursive_mutex &Lock() const { return lock_; }
    // Whether lines are read and written in the 1.0 field order (set while a 1.0 file loads).
    bool OldFormat() const { return oldFormat_; }
    void SetOldFormat(bool oldFormat) { oldFormat_ = oldFormat; }
    // The range of days the marks of calendar 1 or 2 were last built for.
    TDateTime MarkRangeStart(int calendar) const { return markRangeStart_[calendar - 1]; }
    TDateTime MarkRangeEnd(int calendar) const { return markRangeEnd_[calendar - 1]; }

    // The work week ("1111100", Monday first) that working-day series use; read at every
    // computation. The program points it at the options; by default it is Monday to Friday.
    std::function<QString()> WorkDaysSource;
    QString WorkDays() const;

    // ---- Database file, backup, CSV --------------------------------------------------------
    void Load();
    void Save();
    void MakeBackup();
    void CopyDatabaseTo(const QString &path);
    void ExportCsv(const QString &path);
    void ImportCsv(const QString &path);
    // One row to and from a text line: the database form carries the Id field, CSV does not.
    QString FormatLine(const TReminder &reminder, bool withId) const;
    void ParseLine(TReminder &reminder, const QString &line, bool withoutId);

    // ---- Outside edits of the database file ----------------------------------------------------
    // Whether the tables hold something the file does not: set by every change of the tables
    // and by a reload that finds no readable file, cleared when a Load or Save completes.
    bool Modified() const { return modified_; }
    // Counts every change of the tables, and every load and save: a view that keeps answers
    // computed from the store knows they still hold while the count is the same.
    std::uint64_t ChangeCount() const { return changeCount_; }
    // Whether the file now differs from what the last completed Load or Save left there (other
    // bytes, created or removed), as another program changing it would leave it. False before
    // the first Load or Save, and for our own saves.
    bool ChangedOnDisk() const;
    // What the save of the running program did about a change another program made to the file.
    struct TOutsideChange {
        bool Seen = false;       // the file was not as our last Load or Save left it
        bool TookIn = false;     // rows of theirs came into the tables: the views must show them
        bool Unreadable = false; // theirs was not a whole database file: kept beside, ours written
        int Removed = 0;         // reminders that the other program removed
        int Conflicts = 0;       // rows changed on both sides, differently
        QString Snapshot;        // the snapshot of our version taken before theirs came in
        QString Reason;          // why theirs could not be read
    };
    // The save of the running program. When the file is as our last Load or Save left it, a
    // plain Save. When another program changed it, theirs is merged with ours row by row
    // (three ways, the base being what our last Load or Save left in the file): a row added,
    // changed or removed on one side only takes that side's version; a row changed on both
    // sides differently keeps ours, and theirs is kept in the conflict copy. A file that is
    // not whole (cut short, damaged, another format) is never taken in: it is kept beside as
    // the conflict copy and ours is written. A file removed by the other program is written
    // anew from the tables. Before theirs comes in, our version goes to a snapshot.
    TOutsideChange SaveOrMerge();
    // Save never overwrites what another program wrote since the last Load or Save without
    // first keeping those bytes beside the file as "Conflict of " + the file's name (then
    // "... (2)", "... (3)" when taken). The warning that names both files, once per conflict;
    // null when there is none to report.
    std::exception_ptr TakeConflictWarning();

    // Reads a database file strictly, as it must be when it arrives while the program runs: a
    // known header, every row with exactly its fields and valid values, a line end at the end.
    // True with the rows in the two vectors; false with the reason for anything else (a file
    // cut short, damaged, or of another kind).
    static bool ReadWhole(const QByteArray &bytes, std::vector<TReminder> &mainRows, std::vector<TReminder> &exclusionRows,
                          QString &reason);
    // The whole file as Save writes it.
    QByteArray FormatFile() const;

    // ---- Snapshots -------------------------------------------------------------------------------
    // Dated copies of the database file in the folder "History" beside it: the state before the
    // first save of each day, and our version before each outside change was taken in. Kept for
    // the last 30 days.
    static constexpr int SnapshotDays = 30;
    QString HistoryFolder() const;
    // Writes bytes as a snapshot; `tag` is empty for the day's snapshot. Returns the path, empty
    // when it could not be written (a snapshot never stops a save). Prunes the old ones.
    QString WriteSnapshot(const QByteArray &bytes, const QString &tag);

    // ---- Changes ---------------------------------------------------------------------------
    void Add(const TReminder &reminder);
    void AddExclusion(const TReminder &reminder);
    void Update(const TReminder &reminder);
    void UpdateSeries(const TReminder &reminder);
    void Delete(const TReminder &reminder);
    void DeleteSeries(const TReminder &reminder);
    void Refresh(TReminder &reminder);

    // ---- Queries -----------------------------------------------------------------------------
    void GetAll(TReminderList &list);
    void GetDue(TReminderList &list, bool catchUp, TDateTime time, TDateTime date);
    bool CollectObsolete(TReminderList &list);
    // ---- Catch-up: what was missed up to a moment, one item per reminder ------------------------
    // Bounds are minute stamps (MinuteStamp); NoStamp lies before every moment.
    static constexpr std::int64_t NoStamp = INT64_MIN;
    // In table order: every active one-time reminder whose moment is on or before (date, time),
    // and every active series with a missed occurrence (no exclusion record, on or before the
    // moment): its latest one, with the count of the earlier ones. Found by the rules'
    // arithmetic; the missed occurrences themselves are never listed.
    void GetCatchUp(TCatchUpList &list, TDateTime time, TDateTime date);
    // The missed occurrences of a series whose moment lies after `after` and on or before
    // `upTo`: how many, and the day of the latest (0 when there is none).
    int CountMissed(const TReminder &series, std::int64_t after, std::int64_t upTo, TDateTime &latest);
    // Appends the days of those occurrences, ascending; when there are more than `limit`, only
    // the latest `limit` of them (all when limit < 0). Returns how many were appended.
    int CollectMissed(const TReminder &series, std::int64_t after, std::int64_t upTo, int limit, TZTDateTimeArray &days);
    bool IsExcluded(const TReminder &reminder, bool activeOnly, TDateTime time, TDateTime date);
    bool ActivateExclusions(const TReminder &reminder);
    void BuildMonthMarks(int calendar, TDateTime rangeStart, TDateTime rangeEnd);
    bool HasRemindersOn(int calendar, TDateTime date) const;
    // Mark number `index` (1 .. 62) of calendar 1 or 2.
    bool Mark(int calendar, int index) const;

    // ---- Rows ------------------------------------------------------------------------------------
    int MainRowCount() const { return int(mainTable_.size()); }
    int ExclusionRowCount() const { return int(exclusionsTable_.size()); }
    // Copy row `row` of a table into a reminder (stored fields only). The caller holds the lock.
    void ReadMainRow(int row, TReminder &reminder) const;
    void ReadExclusionRow(int row, TReminder &reminder) const;
    // Row `row` of the main table itself, to read without a copy; valid while the caller
    // holds the lock and until the next change.
    const TReminder &MainRow(int row) const { return mainTable_.at(std::size_t(row)); }
    // Removes every row of both tables.
    void Clear();

    // The exclusion rows of one series (by exact Id), through the index kept in step with
    // every change. The caller holds the lock; the pointers are valid until the next change.
    const std::vector<const TReminder *> &ExclusionsOf(const QString &id) const;

private:
    // Sets the mark of `day` in calendar c when it lies within the range s..e; never writes
    // outside the 62 marks.
    void SetMark(int calendar, TDateTime rangeStart, TDateTime rangeEnd, TDateTime day);
    // Marks the days of the range on which the series falls (only removed occurrences hidden).
    void MarkSeries(int calendar, const TReminder &series, TDateTime rangeStart, TDateTime rangeEnd);
    // Index of the first main-table row with the reminder's Id; raises "Reminder not found in
    // database." when there is none.
    std::size_t FindById(const TReminder &reminder) const;
    void StoreRow(TReminder &row, const TReminder &source) const;
    void InvalidateExclusionIndex();
    void BuildExclusionIndex() const;

    bool oldFormat_ = false;
    TDateTime markRangeStart_[2] = {0, 0};
    TDateTime markRangeEnd_[2] = {0, 0};
    QString fileName_;
    bool marks_[2][MarkCount] = {};
    mutable std::recursive_mutex lock_;

    std::vector<TReminder> mainTable_;
    std::vector<TReminder> exclusionsTable_;
    mutable QHash<QString, std::vector<const TReminder *>> exclusionIndex_;
    mutable bool exclusionIndexValid_ = false;

    // What the file held after the last completed Load or Save (Known false before either).
    struct TFileStamp {
        bool Known = false;
        bool Exists = false;
        qint64 Size = 0;
    };
    static TFileStamp StampOf(const QByteArray &bytes);
    // Save's work. When another program changed the file since our last Load or Save: with
    // overOutsideChange, theirs is kept beside and ours written; without, nothing is written
    // and the result is false.
    bool WriteFile(bool overOutsideChange);
    // Writes the file's bytes as they are now to the first free conflict name beside it.
    void KeepConflictCopy();
    // Writes bytes to the first free conflict name beside the file (nothing when the same bytes
    // were kept last).
    void KeepConflictBytes(const QByteArray &bytes);
    // The rows of the lenient load of bytes (the base); empty when they cannot be read.
    static void ReadBase(const QByteArray &bytes, std::vector<TReminder> &mainRows, std::vector<TReminder> &exclusionRows);
    // Adds the rows of a database file's bytes, as Load does.
    void LoadBytes(const QByteArray &bytes);
    // Adds one row read from a file to its table as Add or AddExclusion would, without their
    // bookkeeping (the load does it once).
    void AppendLoadedRow(const TReminder &parsed);
    // The daily snapshot, before a save replaces the file.
    void SnapshotBeforeSave();
    bool modified_ = false;
    std::uint64_t changeCount_ = 0;
    TFileStamp fileStamp_;
    // The file's bytes after the last completed Load or Save: the base of a merge.
    QByteArray baseBytes_;
    // The hash of the outside version kept by a save that has not completed, so that a retry
    // does not keep it again.
    QByteArray keptHash_;
    // The conflict copies not yet reported, and why the other version could not be taken in.
    QStringList pendingConflicts_;
    QString conflictReason_;
};
