// A child process fills a store of thousands of rows and saves it again and again; the test
// kills it at random moments, most of them in the middle of a save, and after every kill
// loads the database file and its backup. Each must load whole: a row count the child really
// saved, every row intact, never a file cut short. The next child starts by loading what the
// kill left, as the program does at start-up.
//
// The kill moments come from a seeded generator: VENTARO_KILL_SEED=<n> repeats a schedule
// (the seed is printed; the timing of the machine still varies).

#include "KillSaveRows.h"
#include "TestEnv.h"

#include "ZTExceptions.h"
#include "clsReminders.h"

#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

constexpr int Kills = 220;
constexpr int Rows = 3000;
// No child may take longer than this to report (a safety net against a hung child, not a
// measure of anything).
constexpr int ReportTimeoutMs = 60000;

// One run of the child: its process and the pipe of its reports.
class TChild {
public:
    // Starts the child on the database; false when it cannot be started.
    bool Start(const QString &database)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        readEnd_ = fds[0];
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        const QByteArray program = KILLSAVE_CHILD;
        const QByteArray file = QFile::encodeName(database);
        const QByteArray rows = QByteArray::number(Rows);
        char *argv[] = {const_cast<char *>(program.constData()), const_cast<char *>(file.constData()),
                        const_cast<char *>(rows.constData()), nullptr};
        const int spawned = ::posix_spawn(&pid_, program.constData(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (spawned != 0)
            pid_ = -1;
        return spawned == 0;
    }

    ~TChild()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (readEnd_ >= 0)
            ::close(readEnd_);
    }

    // The next report line; empty at the end of the reports.
    QByteArray NextLine()
    {
        for (;;) {
            const qsizetype end = buffer_.indexOf('\n');
            if (end >= 0) {
                const QByteArray line = buffer_.left(end);
                buffer_.remove(0, end + 1);
                Note(line);
                return line;
            }
            pollfd p{readEnd_, POLLIN, 0};
            if (::poll(&p, 1, ReportTimeoutMs) <= 0)
                return QByteArray();
            char chunk[4096];
            const ssize_t n = ::read(readEnd_, chunk, sizeof chunk);
            if (n <= 0)
                return QByteArray();
            buffer_.append(chunk, n);
        }
    }

    // Waits until the child is saving for the `saves`-th time.
    bool WaitForSave(int saves)
    {
        int seen = 0;
        for (QByteArray line = NextLine(); !line.isEmpty(); line = NextLine()) {
            if (line.startsWith("S ") && ++seen == saves)
                return true;
        }
        return false;
    }

    void Kill()
    {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        while (!NextLine().isEmpty()) {
        }
    }

    int Loaded = -1;      // rows the child found at its start
    int LastStarted = -1; // rows of the last save begun
    int LastDone = -1;    // rows of the last save completed
    qint64 LongestSaveUs = 0;
    QSet<int> Saved; // rows of every save begun
    QByteArray Error;

private:
    void Note(const QByteArray &line)
    {
        const QList<QByteArray> parts = line.split(' ');
        if (line.startsWith("L ")) {
            Loaded = parts.value(1).toInt();
        } else if (line.startsWith("S ")) {
            LastStarted = parts.value(1).toInt();
            Saved.insert(LastStarted);
        } else if (line.startsWith("D ")) {
            LastDone = parts.value(1).toInt();
            LongestSaveUs = qMax(LongestSaveUs, parts.value(2).toLongLong());
        } else if (line.startsWith("E ")) {
            Error = line.mid(2);
        }
    }

    pid_t pid_ = -1;
    int readEnd_ = -1;
    QByteArray buffer_;
};

// Loads a file and checks that it holds rows 0 .. n-1 whole; returns n, or -1 after a failure.
int LoadWhole(const QString &path, QString &problem)
{
    TReminders store(path);
    try {
        store.Load();
    } catch (const EZTException &e) {
        problem = e.Message() + QLatin1Char(' ') + e.Details();
        return -1;
    }
    if (store.ExclusionRowCount() != 0) {
        problem = QStringLiteral("exclusion rows appeared");
        return -1;
    }
    std::lock_guard<std::recursive_mutex> guard(store.Lock());
    TReminder row;
    for (int i = 0; i < store.MainRowCount(); ++i) {
        store.ReadMainRow(i, row);
        const TReminder expected = KillSaveRow(i);
        if (row.ReminderMessage != expected.ReminderMessage || !SameDay(row.Date, expected.Date)
            || !SameTime(row.Time, expected.Time) || row.SoundFile != expected.SoundFile || row.Recurring != expected.Recurring
            || !row.Active) {
            problem = QStringLiteral("row %1 is damaged: %2").arg(i).arg(row.ReminderMessage.left(40));
            return -1;
        }
    }
    return store.MainRowCount();
}

void Pause(qint64 microseconds)
{
    timespec t{time_t(microseconds / 1000000), long(microseconds % 1000000) * 1000};
    while (::nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

} // namespace

class TestKillDuringSave : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void databaseAndBackupSurviveKills()
    {
        const QByteArray seedText = qgetenv("VENTARO_KILL_SEED");
        const quint32 seed = seedText.isEmpty() ? QRandomGenerator::system()->generate() : seedText.toUInt();
        qInfo("kill schedule seed: %u (VENTARO_KILL_SEED=%u repeats it)", seed, seed);
        QRandomGenerator random(seed);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString database = dir.filePath(QStringLiteral("Default.dat"));
        const QString backup = dir.filePath(QStringLiteral("Backup of Default.dat"));

        QSet<int> everSaved;
        qint64 window = 20000; // µs; from the second child on, the longest save seen so far
        int cutShort = 0, withoutBackup = 0;
        int rows = 0;
        for (int kill = 0; kill < Kills; ++kill) {
            TChild child;
            QVERIFY2(child.Start(database), "cannot start the child");
            // Mostly the first save of a child, sometimes a later one, so the backup of a
            // save that completed in the same child is put to the test too.
            const int save = random.bounded(4) == 0 ? 2 + int(random.bounded(3)) : 1;
            const bool saving = child.WaitForSave(save);
            QVERIFY2(child.Error.isEmpty(), child.Error.constData());
            QVERIFY2(saving, "the child ended without saving");
            QCOMPARE(child.Loaded, rows);
            Pause(qint64(random.bounded(quint32(window * 5 / 2 + 1))));
            child.Kill();
            QVERIFY2(child.Error.isEmpty(), child.Error.constData());
            window = qMax<qint64>(child.LongestSaveUs, 1000);
            everSaved += child.Saved;

            // The database holds the last completed save, or the one under way when the kill
            // came, whole.
            QString problem;
            rows = LoadWhole(database, problem);
            QVERIFY2(rows >= 0,
                     qPrintable(QStringLiteral("kill %1: the database does not load whole: %2").arg(kill).arg(problem)));
            const int done = child.LastDone >= 0 ? child.LastDone : child.Loaded;
            QVERIFY2(rows == done || rows == child.LastStarted,
                     qPrintable(QStringLiteral("kill %1: the database has %2 rows, saved were %3 and %4")
                                    .arg(kill)
                                    .arg(rows)
                                    .arg(done)
                                    .arg(child.LastStarted)));
            // The child is always saving; a kill before the new file was put in place cut that
            // save short.
            if (rows == done && child.LastStarted != done)
                ++cutShort;

            // The backup holds an earlier save, whole. It is removed before its new copy is made,
            // so a kill between the two leaves none; the database is whole then, and the next
            // save makes the backup again.
            if (!QFile::exists(backup)) {
                ++withoutBackup;
                continue;
            }
            const int backed = LoadWhole(backup, problem);
            QVERIFY2(backed >= 0,
                     qPrintable(QStringLiteral("kill %1: the backup does not load whole: %2").arg(kill).arg(problem)));
            QVERIFY2(everSaved.contains(backed) && backed <= rows,
                     qPrintable(QStringLiteral("kill %1: the backup has %2 rows, never saved").arg(kill).arg(backed)));
        }
        qInfo("%d kills, %d cut a save short, %d left no backup; the store grew to %d rows", Kills, cutShort, withoutBackup,
              rows);
        QVERIFY2(cutShort >= Kills / 5, "too few kills came in the middle of a save to prove anything");
    }
};

VENTARO_TEST_MAIN(TestKillDuringSave, QCoreApplication)
#include "tst_KillDuringSave.moc"
