// The alert window, the player's choice of file and the tray pictures.
#include "FakePlayer.h"
#include "TestEnv.h"

#include "../../library/widgets/ModalDriver.h"

#include "ZTClock.h"
#include "ZTExceptions.h"
#include "ZTHelpUtils.h"
#include "clsReminders.h"
#include "frmReminder.h"
#include "uFunctions.h"
#include "uPlayer.h"
#include "uTrayImages.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace {
QDateTime Moment(int y, int mo, int d, int h, int mi, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

TReminder OneTime(const QDateTime &due, const QString &message = QStringLiteral("Call the plumber"))
{
    TReminder r;
    r.Id = TReminder::NewId();
    r.Date = QDateToDateTime(due.date());
    r.Time = EncodeTime(due.time().hour(), due.time().minute());
    r.ReminderMessage = message;
    r.Active = true;
    return r;
}

bool AlertWindowExists()
{
    const auto widgets = QApplication::allWidgets();
    return std::any_of(widgets.begin(), widgets.end(), [](QWidget *w) { return qobject_cast<TReminderDlg *>(w); });
}

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}
} // namespace

class TestFrmReminder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        VNTRSetAlertAnswerer({});
        ZTResetClock();
    }

    // Keyboard order, default button, the list and the kind of window.
    void form()
    {
        TReminderDlg dlg;
        auto *dismiss = dlg.findChild<QPushButton *>(QStringLiteral("cmdDismiss"));
        auto *snooze = dlg.findChild<QPushButton *>(QStringLiteral("cmdSnooze"));
        auto *list = dlg.findChild<QComboBox *>(QStringLiteral("cbSnooze"));
        auto *lblSnooze = dlg.findChild<QLabel *>(QStringLiteral("lblSnooze"));
        QVERIFY(dismiss && snooze && list && lblSnooze && dlg.findChild<QLabel *>(QStringLiteral("lblReminder")));

        QStringList tabOrder;
        QWidget *w = dismiss;
        do {
            if ((w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus)
                tabOrder << w->objectName();
            w = w->nextInFocusChain();
        } while (w != dismiss);
        QCOMPARE(tabOrder, QStringList({"cmdDismiss", "cmdSnooze", "cbSnooze"}));
        QVERIFY(snooze->isDefault());
        QCOMPARE(lblSnooze->buddy(), list);
        QVERIFY(!list->isEditable());
        QCOMPARE(list->count(), 13);
        QCOMPARE(list->itemText(12), QStringLiteral("1 week"));
        QVERIFY(dlg.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(ZTHelpContext(&dlg), 600);
        // Wider than 361 only where the desktop's face needs it: the caption is never cut.
        QVERIFY(dlg.width() >= 361 && dlg.height() >= 216);
        QVERIFY(lblSnooze->width() >= lblSnooze->sizeHint().width());
        QVERIFY(lblSnooze->geometry().right() < list->x() && list->geometry().right() < dlg.width());
    }

    void snoozeMoment_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<int>("index");
        QTest::addColumn<QDateTime>("expected");
        QTest::newRow("5 minutes, seconds dropped") << Moment(2024, 5, 14, 10, 7, 40) << 0 << Moment(2024, 5, 14, 10, 12);
        QTest::newRow("30 minutes across midnight") << Moment(2024, 5, 14, 23, 45) << 3 << Moment(2024, 5, 15, 0, 15);
        QTest::newRow("8 hours across the year") << Moment(2024, 12, 31, 20, 0, 59) << 7 << Moment(2025, 1, 1, 4, 0);
        QTest::newRow("1 day at a month's end") << Moment(2024, 4, 30, 9, 30) << 8 << Moment(2024, 5, 1, 9, 30);
        QTest::newRow("1 day onto a leap day") << Moment(2024, 2, 28, 9, 30) << 8 << Moment(2024, 2, 29, 9, 30);
        QTest::newRow("1 day, common year") << Moment(2023, 2, 28, 9, 30) << 8 << Moment(2023, 3, 1, 9, 30);
        QTest::newRow("1 week") << Moment(2024, 3, 1, 14, 3, 59) << 12 << Moment(2024, 3, 8, 14, 3);
        QTest::newRow("nothing selected") << Moment(2024, 3, 1, 14, 3, 59) << -1 << Moment(2024, 3, 1, 14, 3);
        QTest::newRow("position past the list") << Moment(2024, 3, 1, 14, 3) << 13 << Moment(2024, 3, 1, 14, 3);
    }
    void snoozeMoment()
    {
        QFETCH(QDateTime, now);
        QFETCH(int, index);
        QFETCH(QDateTime, expected);
        TDateTime date = -1, time = -1;
        TReminderDlg::SnoozeMoment(FromQDateTime(now), index, date, time);
        QCOMPARE(DateTimeToQDate(date), expected.date());
        QCOMPARE(TimeOf(date), 0.0);
        QCOMPARE(DateTimeToQTime(time), expected.time());
        QCOMPARE(DateOf(time), 0.0);
    }

    // Each way of answering the shown window, with the clock pinned at the answer.
    void answers_data()
    {
        QTest::addColumn<int>("defaultReminder");
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("snoozed");
        QTest::addColumn<QDateTime>("expected"); // the reminder's moment afterwards

        const QDateTime due = Moment(2024, 3, 1, 9, 0);
        QTest::newRow("Enter snoozes with the preselection") << 12 << "enter" << true << Moment(2024, 3, 8, 14, 3);
        QTest::newRow("Snooze button") << 0 << "snooze" << true << Moment(2024, 3, 1, 14, 8);
        QTest::newRow("Esc dismisses") << 0 << "escape" << false << due;
        QTest::newRow("close box dismisses") << 0 << "close" << false << due;
        QTest::newRow("Dismiss button") << 0 << "dismiss" << false << due;
        QTest::newRow("default out of range: current minute") << 13 << "enter" << true << Moment(2024, 3, 1, 14, 3);
        QTest::newRow("negative default: current minute") << -1 << "snooze" << true << Moment(2024, 3, 1, 14, 3);
    }
    void answers()
    {
        QFETCH(int, defaultReminder);
        QFETCH(QString, action);
        QFETCH(bool, snoozed);
        QFETCH(QDateTime, expected);

        ZTPinClock(Moment(2024, 3, 1, 14, 3, 59));
        TReminder reminder = OneTime(Moment(2024, 3, 1, 9, 0));
        TFakePlayer player;
        player.Playing = true;
        bool windowGoneAtStop = false;
        player.OnStop = [&] { windowGoneAtStop = !AlertWindowExists(); };

        int selectedAtOpen = -2;
        QString focused;
        TModalDriver driver([&](QDialog *dialog) {
            selectedAtOpen = dialog->findChild<QComboBox *>(QStringLiteral("cbSnooze"))->currentIndex();
            QWidget *focus = QApplication::focusWidget();
            focused = focus ? focus->objectName() : QString();
            if (action == QLatin1String("enter") || action == QLatin1String("escape"))
                QTest::keyClick(focus ? focus : dialog, action == QLatin1String("enter") ? Qt::Key_Return : Qt::Key_Escape);
            else if (action == QLatin1String("close"))
                dialog->close();
            else
                dialog
                    ->findChild<QPushButton *>(action == QLatin1String("snooze") ? QStringLiteral("cmdSnooze")
                                                                                 : QStringLiteral("cmdDismiss"))
                    ->click();
        });
        const bool result = TReminderDlg::Alert(nullptr, reminder, 0, defaultReminder, &player);

        QVERIFY(driver.Found && !driver.LeftOpen);
        QCOMPARE(focused, QStringLiteral("cmdSnooze"));
        QCOMPARE(selectedAtOpen, defaultReminder >= 0 && defaultReminder <= 12 ? defaultReminder : -1);
        QCOMPARE(result, snoozed);
        QCOMPARE(DateTimeToQDateTime(ComposeDateTime(reminder.Date, reminder.Time)), expected);
        QVERIFY(!player.Playing);
        QVERIFY(windowGoneAtStop); // stopped once the window was released
    }

    // The caption names the occurrence's own day for a series; the message is shown whole
    // and as plain text, never read as markup.
    void prepared_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QDate>("occurrence");
        QTest::addColumn<QDate>("shown");
        QTest::newRow("one-time") << QDate(2002, 5, 14) << QDate() << QDate(2002, 5, 14);
        QTest::newRow("occurrence of a series") << QDate(2002, 1, 7) << QDate(2002, 5, 14) << QDate(2002, 5, 14);
    }
    void prepared()
    {
        QFETCH(QDate, date);
        QFETCH(QDate, occurrence);
        QFETCH(QDate, shown);
        TReminder reminder = OneTime(QDateTime(date, QTime(9, 30)), QStringLiteral("first line\nsecond <b>line</b> & more"));
        QString caption, text;
        Qt::TextFormat format = Qt::AutoText;
        VNTRSetAlertAnswerer([&](TReminderDlg &dlg) {
            caption = dlg.windowTitle();
            const auto *label = dlg.findChild<QLabel *>(QStringLiteral("lblReminder"));
            text = label->text();
            format = label->textFormat();
            return TReminderAlertAnswer::Dismiss();
        });
        QVERIFY(!TReminderDlg::Alert(nullptr, reminder, occurrence.isValid() ? QDateToDateTime(occurrence) : 0, 0, nullptr));
        QCOMPARE(caption, QStringLiteral("Reminder - ") + ShortDateText(QDateToDateTime(shown)) + QLatin1Char(' ')
                              + ShortTimeText(EncodeTime(9, 30)));
        QCOMPARE(text, reminder.ReminderMessage);
        QCOMPARE(format, Qt::PlainText);
    }

    // The count of earlier missed occurrences sits on its own line right under the message,
    // and stays in sight however long the message is; without a count the message has the
    // whole area again.
    void earlierLine_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("earlier");
        QTest::newRow("no count") << 1 << 0;
        QTest::newRow("one earlier") << 1 << 1;
        QTest::newRow("three lines, 729 earlier") << 3 << 729;
        QTest::newRow("message longer than the area") << 40 << 7300;
    }
    void earlierLine()
    {
        QFETCH(int, lines);
        QFETCH(int, earlier);
        QStringList text;
        for (int i = 0; i < lines; ++i)
            text << QStringLiteral("line %1").arg(i + 1);
        const TReminder reminder = OneTime(Moment(2024, 3, 1, 9, 0), text.join(QLatin1Char('\n')));
        TReminderDlg dlg;
        auto *message = dlg.findChild<QLabel *>(QStringLiteral("lblReminder"));
        auto *count = dlg.findChild<QLabel *>(QStringLiteral("lblEarlier"));
        const QRect area = message->geometry();
        dlg.Prepare(reminder, 0, 0, 99); // the window prepared twice keeps no leftovers
        dlg.Prepare(reminder, 0, 0, earlier);

        QCOMPARE(count->isHidden(), earlier == 0);
        if (earlier == 0) {
            QCOMPARE(message->geometry(), area);
            return;
        }
        QCOMPARE(count->text(), QStringLiteral("and %1 earlier occurrences").arg(earlier));
        QCOMPARE(count->pos(), QPoint(area.x(), message->geometry().bottom() + 1));
        QVERIFY(count->geometry().bottom() <= area.bottom() && count->height() >= count->sizeHint().height());
        if (lines * message->fontMetrics().lineSpacing() < area.height() / 2)
            QVERIFY(message->height() >= lines * message->fontMetrics().lineSpacing()); // the whole message
        else
            QCOMPARE(count->geometry().bottom(), area.bottom()); // cut off above the count
    }

    // A window that goes without an answer (its owner destroyed, or the program's loops ended
    // by Exit or the session's end) is neither dismissal nor snooze: nothing may be written.
    void endedWithoutAnswer_data()
    {
        QTest::addColumn<bool>("endLoops");
        QTest::newRow("owner destroyed") << false;
        QTest::newRow("event loops ended") << true;
    }
    void endedWithoutAnswer()
    {
        QFETCH(bool, endLoops);
        auto *owner = new QWidget;
        TReminder reminder = OneTime(Moment(2024, 3, 1, 9, 0));
        const TReminder before = reminder;
        TFakePlayer player;
        QTimer::singleShot(0, [&] {
            if (endLoops)
                QCoreApplication::exit(0);
            else
                delete owner;
        });
        bool silent = false;
        try {
            TReminderDlg::Alert(owner, reminder, 0, 0, &player);
        } catch (const EZTException &e) {
            silent = e.Message().isEmpty();
        }
        QVERIFY(silent);
        QCOMPARE(ComposeDateTime(reminder.Date, reminder.Time), ComposeDateTime(before.Date, before.Time));
        QCOMPARE(player.Stops, 1);
        QVERIFY(!AlertWindowExists());
        if (endLoops) {
            delete owner;
            // The application stays quitting until its own loop has run once more.
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
            QCoreApplication::exec();
        }
    }

    // ---- Player ----

    void playableFile_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("fallback");
        QTest::addColumn<QString>("expected");
        QTest::newRow("own file") << "good.wav"
                                  << "notify.wav"
                                  << "good.wav";
        QTest::newRow("missing file") << "missing.wav"
                                      << "notify.wav"
                                      << "notify.wav";
        QTest::newRow("not a wave file") << "text.wav"
                                         << "notify.wav"
                                         << "notify.wav";
        QTest::newRow("cut short") << "short.wav"
                                   << "notify.wav"
                                   << "notify.wav";
        QTest::newRow("no file named") << ""
                                       << "notify.wav"
                                       << "notify.wav";
        QTest::newRow("a folder") << "folder.wav"
                                  << "notify.wav"
                                  << "notify.wav";
        QTest::newRow("nothing playable") << "missing.wav"
                                          << "text.wav"
                                          << "";
    }
    void playableFile()
    {
        QFETCH(QString, file);
        QFETCH(QString, fallback);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QByteArray wave = QByteArray("RIFF") + QByteArray(4, '\0') + "WAVEfmt ";
        WriteFile(dir.filePath("good.wav"), wave);
        WriteFile(dir.filePath("notify.wav"), wave);
        WriteFile(dir.filePath("text.wav"), "just some text, no sound at all");
        WriteFile(dir.filePath("short.wav"), "RIFF");
        QDir(dir.path()).mkdir("folder.wav");
        const auto path = [&](const QString &name) { return name.isEmpty() ? QString() : dir.filePath(name); };
        QCOMPARE(VNTRChoosePlayableFile(path(file), path(fallback)), path(expected));

        TVNTRPlayer player;
        player.SetFileName(path(file));
        player.SetFallbackFileName(path(fallback));
        player.Play();
        QCOMPARE(player.PlayingFileName(), path(expected));
        player.Stop();
    }

    // ---- Tray pictures ----

    // One picture per day, each different, with both very light and very dark pixels so the
    // page shows on any panel.
    void trayImages()
    {
        TVNTRTrayImages images;
        QCOMPARE(images.Count(), 31);
        QImage previous;
        for (int index = 0; index < images.Count(); ++index) {
            const QImage image = images.Icon(index).pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(image.size(), QSize(16, 16));
            QVERIFY2(image != previous, qPrintable(QStringLiteral("day %1 looks like the day before").arg(index + 1)));
            previous = image;
            int light = 0, dark = 0;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    const QColor c = image.pixelColor(x, y);
                    light += c.alpha() > 200 && c.lightness() > 220;
                    dark += c.alpha() > 200 && c.lightness() < 70;
                }
            QVERIFY(light >= 16 && dark >= 16);
        }
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, images.Icon(31));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, images.Icon(-1));
    }
};

VENTARO_TEST_MAIN(TestFrmReminder, QApplication)
#include "tst_frmReminder.moc"
