#pragma once
// What the sync remembers between runs (the state file beside the database), the hashes of a
// reminder's rows, and the three-way merge of one reminder.

#include "clsReminders.h"
#include "clsSync.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <vector>

namespace syncstate {

// One reminder as last exchanged with the server.
struct TEntry {
    QString Href; // the resource's path (decoded)
    QString ETag;
    // Hashes of the server's version as last seen (read back after an upload): the main row
    // without its Active flag, and the exclusion rows.
    QByteArray Main;
    QByteArray Excl;
    // The same for the version here at that time; they differ from the server's only when the
    // server stored something else than it was sent.
    QByteArray LocalMain;
    QByteArray LocalExcl;
    bool Active = false;
    TDateTime Date = 0;
    TDateTime Time = 0;
    // The server's version asks to run this program (its run flag is on).
    bool ProgramOffered = false;
    QString Program;
};

struct TState {
    QString Account; // the configured address and user the state belongs to
    QString Collection;
    QString Token;
    QHash<QString, TEntry> Entries;  // by reminder Id
    QHash<QString, QString> Ignored; // href -> ETag of resources that hold no reminder for us
};

// A missing or unreadable file gives an empty state (a first sync).
TState LoadState(const QString &path);
QByteArray FormatState(const TState &state);

// One side's version of a reminder.
struct TVersion {
    TReminder Row;
    std::vector<TReminder> Exclusions;
    bool ProgramOffered = false; // from the server: it asks to run Row.ProgramLocation
};

// The row as both sides compare it: the run flag is on when it is on here, or when the server
// offered the same program (switching it off here is no change).
TReminder Effective(const TReminder &row, bool offered, const QString &offeredProgram);
QByteArray HashMain(const TReminders &store, const TReminder &row);
QByteArray HashExclusions(const TReminders &store, const std::vector<TReminder> &rows);

// What to do with one reminder.
struct TMerge {
    bool ChangeHere = false; // Here becomes the new version here
    bool DeleteHere = false;
    bool Upload = false; // Result goes to the server
    bool DeleteThere = false;
    bool Forget = false;   // no longer in the state
    bool Conflict = false; // ConflictCopy is added here and uploaded as a new reminder
    TVersion Result;       // the merged version (effective run flag)
    TReminder Here;        // Result as stored here (run flag only as the user set it)
    TVersion ConflictCopy;
    std::vector<TSyncSilenced> Silenced;
};

enum class TServer { Unchanged, Changed, Gone };

// base: the state's entry (null when none); local: the version here (null when not in the
// store); server: its version when Changed.
TMerge Merge(const TReminders &store, const TEntry *base, const TVersion *local, TServer serverState, const TVersion *server);

} // namespace syncstate
