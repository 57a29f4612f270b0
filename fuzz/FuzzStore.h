#pragma once
// The rows of a store as the fuzz targets of the reminder core compare them.

#include "clsReminders.h"

#include <QStringList>

#include <mutex>

namespace fuzz {

// Every row of both tables in its written form (with or without the Id), main table first.
inline QStringList Rows(TReminders &store, bool withId)
{
    std::lock_guard<std::recursive_mutex> guard(store.Lock());
    QStringList rows;
    TReminder row;
    for (int i = 0; i < store.MainRowCount(); ++i) {
        store.ReadMainRow(i, row);
        rows.append(store.FormatLine(row, withId));
    }
    rows.append(QStringLiteral("--"));
    for (int i = 0; i < store.ExclusionRowCount(); ++i) {
        store.ReadExclusionRow(i, row);
        rows.append(store.FormatLine(row, withId));
    }
    return rows;
}

} // namespace fuzz
