#pragma once
// The list of all reminders: one row per one-time reminder and per series, kept sorted by the
// stored date, then the minute of the time, then the locale-aware order of the whole message.
// The rows live in a plain vector sorted once per rebuild and are shown through this model.

#include "ZTDateUtils.h"

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class TReminder;
class TRepresentation;

struct TVNTRListRow {
    // The reminder's position in the store's listing at this rebuild; entries carry it too.
    int Key = 0;
    // The day the "Time" column shows: the next occurrence, or the reminder's own Date.
    TDateTime Shown = 0;
    std::shared_ptr<TRepresentation> Representation;
    // The stored Date's day and the Time's minute, the first two keys of the sort, taken once
    // per row instead of at every comparison.
    std::int64_t SortDay = 0;
    int SortMinute = 0;
};

// The next occurrence of every row of the store's listing, kept while nothing that decides
// it has changed: the store's contents, the current minute and the work week. A date click
// changes none of them, so it need not compute 10,000 next occurrences again.
struct TVNTRNextCache {
    const void *Store = nullptr;
    std::uint64_t Changes = 0;
    std::int64_t Minute = 0;
    QString WorkDays;
    std::vector<TDateTime> Next;
};

class TVNTRListModel : public QAbstractTableModel {
public:
    explicit TVNTRListModel(QObject *parent = nullptr);
    ~TVNTRListModel() override;

    // Puts new rows in place of the old ones, sorted by the compare rule. The old rows (and
    // their representations) go; reminder objects a command still holds stay valid.
    void Reset(std::vector<TVNTRListRow> rows);
    void Clear() { Reset({}); }

    int Count() const { return int(rows_.size()); }
    const TVNTRListRow &Row(int position) const { return rows_.at(std::size_t(position)); }
    // Position of the first row carrying the key, or -1.
    int PositionOfKey(int key) const;
    // Position of the row of the reminder with this Id, or -1.
    int PositionOfId(const QString &id) const;
    // The reminder of the row at position (nullptr outside the list).
    std::shared_ptr<TReminder> ReminderAt(int position) const;

    // The compare rule: < 0 when a sorts before b.
    static int Compare(const TReminder &a, const TReminder &b);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<TVNTRListRow> rows_;
};
