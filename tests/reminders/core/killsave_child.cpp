// The child process of the kill-during-save test. It loads the database as the program does at
// start-up, fills it up to the number of rows asked for, then adds one row and saves, again and
// again, until it is killed. Before each save it writes "S <rows>" to standard output, after it
// "D <rows> <microseconds>"; a load that fails writes "E <reason>" and ends with status 3.
//
//   killsave_child DATABASE ROWS

#include "KillSaveRows.h"

#include "ZTExceptions.h"
#include "clsReminders.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <sys/prctl.h>
#include <unistd.h>

namespace {

void Say(const QByteArray &line)
{
    const QByteArray text = line + '\n';
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, text.constData() + done, std::size_t(text.size() - done));
        if (n <= 0)
            std::_Exit(4);
        done += n;
    }
}

} // namespace

int main(int argc, char *argv[])
{
    // Never outlive the test, whatever becomes of it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int wanted = std::atoi(argv[2]);

    TReminders store(path);
    try {
        store.Load();
    } catch (const EZTException &e) {
        Say("E " + e.Details().toUtf8());
        return 3;
    }
    int rows = store.MainRowCount();
    Say("L " + QByteArray::number(rows));
    while (rows < wanted - 1)
        store.Add(KillSaveRow(rows++));

    QElapsedTimer timer;
    for (;;) {
        store.Add(KillSaveRow(rows++));
        Say("S " + QByteArray::number(rows));
        timer.start();
        try {
            store.Save();
        } catch (const EZTException &e) {
            Say("E " + e.Details().toUtf8());
            return 3;
        }
        Say("D " + QByteArray::number(rows) + ' ' + QByteArray::number(timer.nsecsElapsed() / 1000));
    }
}
