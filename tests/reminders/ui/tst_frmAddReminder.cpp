// The add/edit reminder dialog: proposed times, set-up of both modes, the checks of OK in
// their order, the mapping of the controls into the reminder, and the keyboard.
#include "TestEnv.h"

#include "../../library/widgets/ModalDriver.h"

#include "ZTClock.h"
#include "ZTExceptions.h"
#include "ZTFileEdit.h"
#include "ZTMsgFrm.h"
#include "frmAddReminder.h"
#include "frmRecurrence.h"
#include "uFunctions.h"
#include "uMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QToolButton>

#include <stdexcept>

namespace {
template <class W>
W *C(QWidget &dialog, const char *name)
{
    W *w = dialog.findChild<W *>(QLatin1String(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}

TDateTime Day(const QDate &d)
{
    return QDateToDateTime(d);
}

QString Iso(TDateTime d)
{
    return DateTimeToQDate(d).toString(Qt::ISODate);
}

// The recurrence fields of a reminder in one line.
QString Describe(const TReminder &r)
{
    return QStringLiteral("%1 u%2 dt%3 de%4 we%5 wd%6 md%7 me%8 ym%9 yd%10 %11..%12%13")
        .arg(r.Recurring ? "series" : "once")
        .arg(int(r.RecurrenceUnit))
        .arg(int(r.RecurrenceDailyType))
        .arg(r.RecurrenceDailyEvery)
        .arg(r.RecurrenceWeeklyEvery)
        .arg(r.RecurrenceWeeklyDays)
        .arg(r.RecurrenceMonthlyDay)
        .arg(r.RecurrenceMonthlyEvery)
        .arg(r.RecurrenceYearlyMonth)
        .arg(r.RecurrenceYearlyDay)
        .arg(Iso(r.RecurrenceStart), Iso(r.RecurrenceEndBy), r.RecurrenceNoEnd ? QStringLiteral(" no end") : QString());
}

// The schedule controls of the dialog in one line.
QString DescribeControls(TAddReminderDlg &d)
{
    QString panel = QStringLiteral("none");
    for (const char *name : {"pDaily", "pWeekly", "pMonthly", "pYearly"})
        if (!C<QWidget>(d, name)->isHidden())
            panel = QLatin1String(name);
    return QStringLiteral("i%1 %2 %3 date:%4 every:%5 dn%6 wn%7 wd%8 md%9 mn%10 ym%11 yd%12")
        .arg(C<QComboBox>(d, "cbInterval")->currentIndex())
        .arg(C<QComboBox>(d, "cbInterval")->isEnabled() ? "changeable" : "fixed")
        .arg(panel)
        .arg(C<QDateEdit>(d, "txtDate")->isEnabled() ? "on" : "off")
        .arg(C<QRadioButton>(d, "radDayEvery")->isChecked() ? "n" : "weekday")
        .arg(C<QSpinBox>(d, "seDayNumber")->value())
        .arg(C<QSpinBox>(d, "seWeekNumber")->value())
        .arg(d.WeekdaysToText())
        .arg(C<QSpinBox>(d, "seMonthDay")->value())
        .arg(C<QSpinBox>(d, "seMonthNumber")->value())
        .arg(C<QComboBox>(d, "cbYearMonth")->currentIndex())
        .arg(C<QSpinBox>(d, "seYearDay")->value());
}

TReminder Series(TRecurrenceUnit unit)
{
    TReminder r;
    r.Id = TReminder::NewId();
    r.Date = Day(QDate(2024, 3, 7));
    r.Time = EncodeTime(8, 15);
    r.ReminderMessage = QStringLiteral("Water the plants");
    r.Recurring = unit != ruNone;
    r.RecurrenceUnit = unit;
    r.RecurrenceStart = Day(QDate(2024, 3, 7));
    r.RecurrenceNoEnd = true;
    r.RecurrenceEndBy = r.RecurrenceStart;
    r.Active = true;
    return r;
}
} // namespace

class TestFrmAddReminder : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QStringList errors_;
    QList<TZTMessageRequest> questions_;
    int answer_ = ZTMsg::mrYes;

    QString File(const QString &name) const { return dir_->filePath(name); }

    // Opens the add dialog with the given answerer at the pinned moment and returns the result.
    bool Add(TReminder &reminder, const TAddReminderAnswerer &answerer, std::optional<TDateTime> time = EncodeTime(14, 30),
             TDateTime date = 0)
    {
        VNTRSetAddReminderAnswerer(answerer);
        const bool result = ShowAddReminderDialog(nullptr, reminder, time, date);
        VNTRSetAddReminderAnswerer({});
        return result;
    }

private Q_SLOTS:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        for (const char *name : {"song.WaV", "song.mp3"}) {
            QFile f(File(QLatin1String(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        errors_.clear();
        questions_.clear();
        answer_ = ZTMsg::mrYes;
        ZTApplication = std::make_unique<TZTApplication>();
        ZTApplication->Title = QStringLiteral("Merrowick Ventaro!");
        ZTApplication->FontName = QStringLiteral("Tahoma");
        Options = std::make_unique<TVNTROptions>();
        ZTPinClock(QDateTime(QDate(2024, 5, 14), QTime(10, 0, 40))); // a Tuesday
        ZTSetExceptionHandler([this](const std::exception_ptr &error) {
            try {
                std::rethrow_exception(error);
            } catch (const EZTException &e) {
                if (!e.Message().isEmpty()) // an empty message shows nothing
                    errors_ << e.Message();
            } catch (...) {
                errors_ << QStringLiteral("not an EZTException");
            }
        });
        ZTSetMessageAnswerer([this](const TZTMessageRequest &request) {
            questions_ << request;
            return answer_;
        });
    }
    void cleanup()
    {
        VNTRSetAddReminderAnswerer({});
        VNTRSetRecurrenceAnswerer({});
        ZTSetMessageAnswerer({});
        ZTSetExceptionHandler({});
        ZTResetClock();
        Options.reset();
        ZTApplication.reset();
        dir_.reset();
    }

    // ---- Add mode ----

    void proposedTime_data()
    {
        QTest::addColumn<QTime>("now");
        QTest::addColumn<QTime>("given"); // invalid: no time given
        QTest::addColumn<QTime>("proposed");
        QTest::addColumn<QString>("defaultText");
        QTest::addColumn<QDate>("date"); // the date shown (today is 14 May 2024)
        const QDate today(2024, 5, 14);
        QTest::newRow("on the hour, seconds kept") << QTime(10, 0, 40) << QTime() << QTime(10, 0, 40) << "10:00" << today;
        QTest::newRow("just past the hour") << QTime(10, 1) << QTime() << QTime(10, 30) << "10:30" << today;
        QTest::newRow("just past the half hour") << QTime(10, 31) << QTime() << QTime(11, 0) << "11:00" << today;
        // Today's midnight has passed: tomorrow's is proposed, which OK accepts.
        QTest::newRow("late evening wraps to tomorrow's midnight")
            << QTime(23, 45) << QTime() << QTime(0, 0) << "00:00" << today.addDays(1);
        QTest::newRow("first minute past 23:30") << QTime(23, 31) << QTime() << QTime(0, 0) << "00:00" << today.addDays(1);
        QTest::newRow("23:30 itself stays today") << QTime(23, 30) << QTime() << QTime(23, 30) << "23:30" << today;
        QTest::newRow("midnight given is midnight") << QTime(10, 1) << QTime(0, 0) << QTime(0, 0) << "" << today;
        QTest::newRow("slot time given") << QTime(10, 1) << QTime(14, 30) << QTime(14, 30) << "" << today;
    }
    void proposedTime()
    {
        QFETCH(QTime, now);
        QFETCH(QTime, given);
        QFETCH(QTime, proposed);
        QFETCH(QString, defaultText);
        QFETCH(QDate, date);
        ZTPinClock(QDateTime(QDate(2024, 5, 14), now));
        QTime shown;
        QDate shownDate;
        QString text;
        TReminder r;
        QVERIFY(!Add(
            r,
            [&](TAddReminderDlg &d) {
                shown = C<QTimeEdit>(d, "txtTime")->time();
                shownDate = C<QDateEdit>(d, "txtDate")->date();
                text = d.DefaultTimeText();
            },
            given.isValid() ? std::optional<TDateTime>(QTimeToDateTime(given)) : std::nullopt));
        QCOMPARE(shown, proposed);
        QCOMPARE(shownDate, date);
        QCOMPARE(text, defaultText);
    }

    // The controls at opening, and the panels' defaults taken from the date shown.
    void addDefaults_data()
    {
        QTest::addColumn<QDate>("date"); // invalid: none given
        QTest::addColumn<QDate>("shown");
        QTest::addColumn<QString>("controls");
        QTest::newRow("no date: today, a Tuesday")
            << QDate() << QDate(2024, 5, 14) << "i0 changeable none date:on every:n dn1 wn1 wd0100000 md14 mn1 ym4 yd14";
        QTest::newRow("a Sunday at a year's end") << QDate(2028, 12, 31) << QDate(2028, 12, 31)
                                                  << "i0 changeable none date:on every:n dn1 wn1 wd0000001 md31 mn1 ym11 yd31";
    }
    void addDefaults()
    {
        QFETCH(QDate, date);
        QFETCH(QDate, shown);
        QFETCH(QString, controls);
        TReminder r;
        QVERIFY(!Add(
            r,
            [&](TAddReminderDlg &d) {
                QCOMPARE(C<QDateEdit>(d, "txtDate")->date(), shown);
                QCOMPARE(DescribeControls(d), controls);
                QVERIFY(C<QCheckBox>(d, "chkPlaySound")->isChecked());
                QVERIFY(!C<QCheckBox>(d, "chkRepeatSound")->isChecked() && !C<QCheckBox>(d, "chkRunProgram")->isChecked());
                QVERIFY(!C<QPushButton>(d, "cmdAdvanced")->isEnabled());
                QVERIFY(!C<QPushButton>(d, "cmdOK")->isEnabled()); // no message yet
                QVERIFY(d.RangeNoEnd());
                QCOMPARE(Iso(d.RangeStart()), shown.toString(Qt::ISODate));
                QCOMPARE(Iso(d.RangeEndBy()), shown.toString(Qt::ISODate));
                QVERIFY(C<QListWidget>(d, "lbTimes")->isHidden());
            },
            EncodeTime(9, 0), date.isValid() ? Day(date) : 0));
    }

    // ---- OK ----

    // The checks in their order; each refusal keeps the dialog open and the caller's reminder.
    void okChecks_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<QString>("sound");
        QTest::addColumn<bool>("playSound");
        QTest::addColumn<bool>("runProgram");
        QTest::addColumn<QString>("weekdays");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("error");

        const QDate today(2024, 5, 14), yesterday(2024, 5, 13);
        const QString missing = QStringLiteral("Sound file does not exist.");
        const QString notWav = QStringLiteral("Sound file must be a WAV file (extension .wav).");
        const QString program = QStringLiteral("You must specify the program location.");
        const QString weekday = QStringLiteral("You must select at least one weekday.");
        const QString passed = QStringLiteral("The reminder for 'Call the plumber' cannot be set because its time has passed.");
        QTest::newRow("missing sound file") << 0 << "missing.wav" << true << false << "" << today << missing;
        QTest::newRow("missing sound before program") << 0 << "missing.wav" << true << true << "" << today << missing;
        QTest::newRow("not a wav, sound unticked") << 0 << "song.mp3" << false << false << "" << today << notWav;
        QTest::newRow("wav in mixed case passes") << 0 << "song.WaV" << true << false << "" << today << "";
        QTest::newRow("program without location") << 0 << "" << true << true << "" << today << program;
        QTest::newRow("program before weekdays") << 2 << "" << true << true << "0000000" << today << program;
        QTest::newRow("weekly without weekday") << 2 << "" << true << false << "0000000" << today << weekday;
        QTest::newRow("weekly with a weekday") << 2 << "" << true << false << "0000100" << today << "";
        QTest::newRow("one-time yesterday") << 0 << "" << true << false << "" << yesterday << passed;
        QTest::newRow("yearly 31 February asks nothing") << 4 << "" << true << false << "" << today << "";
    }
    void okChecks()
    {
        QFETCH(int, interval);
        QFETCH(QString, sound);
        QFETCH(bool, playSound);
        QFETCH(bool, runProgram);
        QFETCH(QString, weekdays);
        QFETCH(QDate, date);
        QFETCH(QString, error);
        TReminder r;
        r.Id = QStringLiteral("{KEEP}");
        bool stayedOpen = false;
        const bool result = Add(r, [&](TAddReminderDlg &d) {
            C<QPlainTextEdit>(d, "txtMessage")->setPlainText(QStringLiteral("\n\nCall the plumber\nabout the sink"));
            C<QDateEdit>(d, "txtDate")->setDate(date);
            C<QComboBox>(d, "cbInterval")->setCurrentIndex(interval);
            d.findChild<TZTFileEdit *>(QStringLiteral("txtSoundLocation"))->SetFileName(sound.isEmpty() ? sound : File(sound));
            C<QCheckBox>(d, "chkPlaySound")->setChecked(playSound);
            C<QCheckBox>(d, "chkRunProgram")->setChecked(runProgram);
            if (!weekdays.isEmpty())
                d.TextToWeekdays(weekdays);
            C<QComboBox>(d, "cbYearMonth")->setCurrentIndex(1);
            C<QSpinBox>(d, "seYearDay")->setValue(31);
            d.PressOK();
            stayedOpen = !d.Confirmed();
        });
        QCOMPARE(errors_, error.isEmpty() ? QStringList() : QStringList{error});
        QVERIFY(questions_.isEmpty());
        QCOMPARE(result, error.isEmpty());
        QCOMPARE(stayedOpen, !error.isEmpty());
        QCOMPARE(r.Id, QStringLiteral("{KEEP}"));
        QCOMPARE(r.ReminderMessage.isEmpty(), !result);
    }

    void monthlyQuestion_data()
    {
        QTest::addColumn<int>("day");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("confirmed");
        QTest::newRow("day 28 asks nothing") << 28 << int(ZTMsg::mrNo) << false << true;
        QTest::newRow("day 29, yes") << 29 << int(ZTMsg::mrYes) << true << true;
        QTest::newRow("day 31, no: silently open") << 31 << int(ZTMsg::mrNo) << true << false;
        QTest::newRow("day 30, closed") << 30 << int(ZTMsg::mrCancel) << true << false;
    }
    void monthlyQuestion()
    {
        QFETCH(int, day);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        QFETCH(bool, confirmed);
        answer_ = answer;
        TReminder r;
        const bool result = Add(r, [&](TAddReminderDlg &d) {
            C<QPlainTextEdit>(d, "txtMessage")->setPlainText(QStringLiteral("Rent"));
            C<QComboBox>(d, "cbInterval")->setCurrentIndex(3);
            C<QSpinBox>(d, "seMonthDay")->setValue(day);
            d.PressOK();
        });
        QCOMPARE(result, confirmed);
        QVERIFY(errors_.isEmpty());
        QCOMPARE(questions_.size(), asked ? 1 : 0);
        if (asked) {
            const TZTMessageRequest &q = questions_.first();
            QCOMPARE(q.Text, QStringLiteral("Some months have fewer than %1 days. For these months, the reminder will fall on "
                                            "the last day of the month. Is this OK?")
                                 .arg(day));
            QCOMPARE(q.Caption, QStringLiteral("Merrowick Ventaro!"));
            QCOMPARE(int(q.MessageType), 2);
            QCOMPARE(int(q.ButtonSet), 1);
            QCOMPARE(int(q.DefaultButton), 1);
            QCOMPARE(int(q.LanguageId), 1);
            QCOMPARE(q.FontName, QStringLiteral("Tahoma"));
        }
    }

    // The controls of every interval into the reminder; the other panels' settings never leak.
    void mapping_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("weekdays"); // daily: "Every weekday"
        QTest::addColumn<QString>("expected");
        const QString range = QStringLiteral("2024-05-20..2025-12-31");
        QTest::newRow("once") << 0 << false << "once u0 dt0 de1 we1 wd0000000 md1 me1 ym1 yd1 2024-05-17..2024-05-17 no end";
        QTest::newRow("daily every 3") << 1 << false << "series u1 dt1 de3 we1 wd0000000 md1 me1 ym1 yd1 " + range;
        QTest::newRow("daily on weekdays") << 1 << true << "series u1 dt2 de1 we1 wd0000000 md1 me1 ym1 yd1 " + range;
        QTest::newRow("weekly") << 2 << false << "series u2 dt0 de1 we2 wd1010000 md1 me1 ym1 yd1 " + range;
        QTest::newRow("monthly") << 3 << false << "series u3 dt0 de1 we1 wd0000000 md15 me2 ym1 yd1 " + range;
        QTest::newRow("yearly") << 4 << false << "series u4 dt0 de1 we1 wd0000000 md1 me1 ym3 yd5 " + range;
    }
    void mapping()
    {
        QFETCH(int, interval);
        QFETCH(bool, weekdays);
        QFETCH(QString, expected);
        VNTRSetRecurrenceAnswerer([](TRecurrenceDlg &dlg) {
            C<QDateEdit>(dlg, "txtStartDate")->setDate(QDate(2024, 5, 20));
            C<QRadioButton>(dlg, "radEndBy")->click();
            C<QDateEdit>(dlg, "txtEndDate")->setDate(QDate(2025, 12, 31));
            dlg.PressOK();
        });
        TReminder r;
        r.Id = QStringLiteral("{ID}");
        r.Exclusion = true;
        QVERIFY(Add(r, [&](TAddReminderDlg &d) {
            C<QPlainTextEdit>(d, "txtMessage")->setPlainText(QStringLiteral("Pay the bills"));
            C<QDateEdit>(d, "txtDate")->setDate(QDate(2024, 5, 17));
            C<QComboBox>(d, "cbInterval")->setCurrentIndex(interval);
            (weekdays ? C<QRadioButton>(d, "radDayWeekdays") : C<QRadioButton>(d, "radDayEvery"))->setChecked(true);
            C<QSpinBox>(d, "seDayNumber")->setValue(3);
            C<QSpinBox>(d, "seWeekNumber")->setValue(2);
            d.TextToWeekdays(QStringLiteral("1010000"));
            C<QSpinBox>(d, "seMonthDay")->setValue(15);
            C<QSpinBox>(d, "seMonthNumber")->setValue(2);
            C<QComboBox>(d, "cbYearMonth")->setCurrentIndex(2);
            C<QSpinBox>(d, "seYearDay")->setValue(5);
            C<QCheckBox>(d, "chkRepeatSound")->setChecked(true);
            d.PressAdvanced(); // does nothing for "Once"
            d.PressOK();
        }));
        QVERIFY(errors_.isEmpty());
        QCOMPARE(Describe(r), expected);
        QCOMPARE(r.Id, QStringLiteral("{ID}"));
        QCOMPARE(Iso(r.Date), QStringLiteral("2024-05-17"));
        QCOMPARE(DateTimeToQTime(r.Time), QTime(14, 30));
        QCOMPARE(r.ReminderMessage, QStringLiteral("Pay the bills"));
        QVERIFY(r.PlaySound && r.RepeatSound && !r.RunProgram && r.Active && !r.Exclusion);
    }

    // Typing a date after opening moves a one-time reminder but not the start of a series.
    void rangeStartKept()
    {
        TReminder r;
        QVERIFY(Add(r, [&](TAddReminderDlg &d) {
            C<QPlainTextEdit>(d, "txtMessage")->setPlainText(QStringLiteral("Gym"));
            C<QDateEdit>(d, "txtDate")->setDate(QDate(2024, 5, 17));
            C<QComboBox>(d, "cbInterval")->setCurrentIndex(1);
            QVERIFY(!C<QDateEdit>(d, "txtDate")->isEnabled());
            d.PressOK();
        }));
        QCOMPARE(Iso(r.RecurrenceStart), QStringLiteral("2024-05-14"));
        QCOMPARE(Iso(r.Date), QStringLiteral("2024-05-17"));
    }

    // ---- Edit mode ----

    void editMode_data()
    {
        QTest::addColumn<int>("unit");
        QTest::addColumn<bool>("changeable");
        QTest::addColumn<int>("switchTo"); // -1: stay
        QTest::addColumn<QString>("controls");
        // 7 March 2024 is a Thursday.
        QTest::newRow("one-time") << 0 << true << -1 << "i0 changeable none date:on every:n dn1 wn1 wd0000000 md7 mn1 ym2 yd7";
        QTest::newRow("daily every 4") << 1 << false << -1
                                       << "i1 fixed pDaily date:off every:n dn4 wn1 wd0000000 md7 mn1 ym2 yd7";
        QTest::newRow("daily on weekdays") << 10 << false << -1
                                           << "i1 fixed pDaily date:off every:weekday dn1 wn1 wd0000000 md7 mn1 ym2 yd7";
        QTest::newRow("weekly") << 2 << false << -1 << "i2 fixed pWeekly date:off every:n dn1 wn3 wd0100010 md7 mn1 ym2 yd7";
        QTest::newRow("monthly") << 3 << false << -1 << "i3 fixed pMonthly date:off every:n dn1 wn1 wd0000000 md30 mn6 ym2 yd7";
        QTest::newRow("yearly") << 4 << false << -1 << "i4 fixed pYearly date:off every:n dn1 wn1 wd0000000 md7 mn1 ym11 yd25";
        QTest::newRow("monthly switched to weekly: no weekday")
            << 3 << true << 2 << "i2 changeable pWeekly date:off every:n dn1 wn1 wd0000000 md30 mn6 ym2 yd7";
    }
    void editMode()
    {
        QFETCH(int, unit);
        QFETCH(bool, changeable);
        QFETCH(int, switchTo);
        QFETCH(QString, controls);
        TReminder r = Series(IntToRecurrenceUnit(unit == 10 ? 1 : unit));
        r.RecurrenceDailyType = unit == 10 ? dtEveryWeekday : dtEveryNDays;
        r.RecurrenceDailyEvery = 4;
        r.RecurrenceWeeklyEvery = 3;
        r.RecurrenceWeeklyDays = QStringLiteral("0100010");
        r.RecurrenceMonthlyDay = 30;
        r.RecurrenceMonthlyEvery = 6;
        r.RecurrenceYearlyMonth = 12;
        r.RecurrenceYearlyDay = 25;
        r.RecurrenceNoEnd = false;
        r.RecurrenceEndBy = Day(QDate(2024, 9, 1));
        const TReminder before = r;
        VNTRSetAddReminderAnswerer([&](TAddReminderDlg &d) {
            auto *message = C<QPlainTextEdit>(d, "txtMessage");
            QCOMPARE(message->textCursor().selectedText(), QStringLiteral("Water the plants"));
            QCOMPARE(DateTimeToQTime(QTimeToDateTime(C<QTimeEdit>(d, "txtTime")->time())), QTime(8, 15));
            QCOMPARE(Iso(d.RangeStart()) + Iso(d.RangeEndBy()), QStringLiteral("2024-03-072024-09-01"));
            QVERIFY(!d.RangeNoEnd());
            if (switchTo >= 0)
                C<QComboBox>(d, "cbInterval")->setCurrentIndex(switchTo);
            QCOMPARE(DescribeControls(d), controls);
            d.PressCancel();
        });
        QVERIFY(!ShowEditReminderDialog(nullptr, r, changeable));
        QCOMPARE(Describe(r), Describe(before));
    }

    // ---- Controls ----

    // Typed into the shown field, the text settles when the focus leaves.
    void numberFieldFocus_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("value");
        QTest::newRow("250 becomes 100") << "250" << 100;
        QTest::newRow("erased becomes 1") << "" << 1;
        QTest::newRow("letters become 1") << "x" << 1;
        QTest::newRow("four digits cannot be typed") << "1234" << 100;
        QTest::newRow("below the minimum") << "0" << 1;
        QTest::newRow("decimal truncated") << "7.9" << 7;
    }
    void numberFieldFocus()
    {
        QFETCH(QString, typed);
        QFETCH(int, value);
        int settled = -1;
        TModalDriver driver([&](QDialog *dialog) {
            C<QComboBox>(*dialog, "cbInterval")->setCurrentIndex(1);
            auto *field = C<QSpinBox>(*dialog, "seDayNumber");
            field->setValue(50);
            field->setFocus(Qt::TabFocusReason);
            field->selectAll();
            QTest::keyClick(field, Qt::Key_Backspace);
            QTest::keyClicks(field, typed);
            QTest::keyClick(field, Qt::Key_Tab);
            QVERIFY(!field->hasFocus());
            settled = field->value();
            dialog->reject();
        });
        TReminder r;
        QVERIFY(!ShowAddReminderDialog(nullptr, r, EncodeTime(9, 0), 0));
        QVERIFY(driver.Found);
        QCOMPARE(settled, value);
    }

    // The time list: shown with the proposed time selected (add mode without a time), an item
    // click sets the time and hides it.
    void timeList_data()
    {
        QTest::addColumn<bool>("timeGiven");
        QTest::addColumn<int>("selected");
        QTest::newRow("proposed 10:30 selected") << false << 21;
        QTest::newRow("time given: nothing selected") << true << -1;
    }
    void timeList()
    {
        QFETCH(bool, timeGiven);
        QFETCH(int, selected);
        ZTPinClock(QDateTime(QDate(2024, 5, 14), QTime(10, 1)));
        TReminder r;
        Add(
            r,
            [&](TAddReminderDlg &d) {
                auto *list = C<QListWidget>(d, "lbTimes");
                C<QToolButton>(d, "cmdCombo")->click();
                QVERIFY(!list->isHidden());
                QCOMPARE(list->selectedItems().isEmpty() ? -1 : list->currentRow(), selected);
                list->setCurrentRow(5);
                Q_EMIT list->itemClicked(list->item(5));
                QVERIFY(list->isHidden());
                QCOMPARE(C<QTimeEdit>(d, "txtTime")->time(), QTime(2, 30));
                C<QToolButton>(d, "cmdCombo")->click();
                C<QToolButton>(d, "cmdCombo")->click();
                QVERIFY(list->isHidden());
            },
            timeGiven ? std::optional<TDateTime>(EncodeTime(9, 0)) : std::nullopt);
    }

    // "Advanced..." proposes an end date by interval, and keeps what the range dialog gives back,
    // the end date also when "No end date" stays selected.
    void advanced_data()
    {
        QTest::addColumn<int>("unit");
        QTest::addColumn<QDate>("start");
        QTest::addColumn<bool>("noEnd");
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QDate>("proposed");
        QTest::newRow("daily: a week") << 1 << QDate(2024, 5, 14) << true << true << QDate(2024, 5, 21);
        QTest::newRow("weekly: a week") << 2 << QDate(2024, 12, 28) << true << true << QDate(2025, 1, 4);
        QTest::newRow("monthly: into a short month") << 3 << QDate(2024, 1, 31) << true << true << QDate(2024, 2, 29);
        QTest::newRow("yearly from a leap day") << 4 << QDate(2024, 2, 29) << true << true << QDate(2025, 2, 28);
        QTest::newRow("with an end: the end") << 3 << QDate(2024, 1, 31) << false << true << QDate(2024, 9, 1);
        QTest::newRow("cancelled") << 1 << QDate(2024, 5, 14) << true << false << QDate(2024, 5, 21);
    }
    void advanced()
    {
        QFETCH(int, unit);
        QFETCH(QDate, start);
        QFETCH(bool, noEnd);
        QFETCH(bool, confirm);
        QFETCH(QDate, proposed);
        QDate shownEnd;
        VNTRSetRecurrenceAnswerer([&](TRecurrenceDlg &dlg) {
            shownEnd = C<QDateEdit>(dlg, "txtEndDate")->date();
            confirm ? dlg.PressOK() : dlg.PressCancel();
        });
        TReminder r = Series(IntToRecurrenceUnit(unit));
        r.RecurrenceStart = Day(start);
        r.RecurrenceNoEnd = noEnd;
        r.RecurrenceEndBy = Day(QDate(2024, 9, 1));
        VNTRSetAddReminderAnswerer([&](TAddReminderDlg &d) {
            d.PressAdvanced();
            QCOMPARE(shownEnd, proposed);
            QCOMPARE(d.RangeNoEnd(), noEnd);
            QCOMPARE(DateTimeToQDate(d.RangeEndBy()), confirm ? proposed : QDate(2024, 9, 1));
            QCOMPARE(DateTimeToQDate(d.RangeStart()), start);
        });
        QVERIFY(!ShowEditReminderDialog(nullptr, r, false));
    }

    // The OK rule follows the message as it is typed; a disabled OK does nothing.
    void okRule()
    {
        TReminder r;
        QVERIFY(!Add(r, [&](TAddReminderDlg &d) {
            auto *ok = C<QPushButton>(d, "cmdOK");
            QVERIFY(!ok->isEnabled());
            d.PressOK();
            QVERIFY(!d.Confirmed());
            C<QPlainTextEdit>(d, "txtMessage")->setPlainText(QStringLiteral("x"));
            QVERIFY(ok->isEnabled());
            C<QPlainTextEdit>(d, "txtMessage")->clear();
            QVERIFY(!ok->isEnabled());
            // At most 255 characters, pasted or typed.
            C<QPlainTextEdit>(d, "txtMessage")->setPlainText(QString(300, QLatin1Char('a')));
            QCOMPARE(C<QPlainTextEdit>(d, "txtMessage")->toPlainText().size(), 255);
        }));
        QVERIFY(errors_.isEmpty());
    }

    // The shown dialog: Enter is OK except in the message, Esc and the close box cancel.
    void keys_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<bool>("result");
        QTest::newRow("Enter in the time field") << "enter" << true;
        QTest::newRow("Alt+O") << "alt+o" << true;
        QTest::newRow("Enter in the message: new line") << "message" << false;
        QTest::newRow("Esc") << "escape" << false;
        QTest::newRow("close box") << "close" << false;
    }
    void keys()
    {
        QFETCH(QString, way);
        QFETCH(bool, result);
        bool dialogOpenFlag = false;
        QString message;
        TModalDriver driver([&](QDialog *dialog) {
            dialogOpenFlag = ReminderDialogOpen;
            auto *text = C<QPlainTextEdit>(*dialog, "txtMessage");
            QCOMPARE(QApplication::focusWidget(), text);
            QTest::keyClicks(text, QStringLiteral("Hi"));
            if (way == QLatin1String("enter")) {
                C<QTimeEdit>(*dialog, "txtTime")->setFocus();
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            } else if (way == QLatin1String("alt+o")) {
                QTest::keyClick(text, Qt::Key_O, Qt::AltModifier);
                QVERIFY(C<QPushButton>(*dialog, "cmdOK")->isDown()); // clicked when the press animation ends
                C<QPushButton>(*dialog, "cmdOK")->click();
            } else if (way == QLatin1String("message")) {
                QTest::keyClick(text, Qt::Key_Return);
                QVERIFY(dialog->isVisible());
                message = text->toPlainText();
                QTest::keyClick(text, Qt::Key_Escape);
            } else if (way == QLatin1String("escape")) {
                QTest::keyClick(text, Qt::Key_Escape);
            } else {
                dialog->close();
            }
        });
        TReminder r;
        QCOMPARE(ShowAddReminderDialog(nullptr, r, EncodeTime(14, 30), 0), result);
        QVERIFY(driver.Found && !driver.LeftOpen);
        QVERIFY(dialogOpenFlag && !ReminderDialogOpen);
        QCOMPARE(r.ReminderMessage, result ? QStringLiteral("Hi") : QString());
        if (way == QLatin1String("message"))
            QCOMPARE(message, QStringLiteral("Hi\n"));
    }

    // A failure inside the entry operation reaches the caller and still clears the flag; the
    // notifier tells both changes.
    void failureClearsFlag()
    {
        QList<bool> changes;
        const QMetaObject::Connection c =
            connect(&ReminderDialogNotifier(), &TReminderDialogNotifier::OpenChanged, [&](bool open) { changes << open; });
        TReminder r;
        VNTRSetAddReminderAnswerer([](TAddReminderDlg &) { throw std::runtime_error("broken"); });
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, ShowAddReminderDialog(nullptr, r, std::nullopt, 0));
        QVERIFY(!ReminderDialogOpen);
        disconnect(c);
        QCOMPARE(changes, QList<bool>({true, false}));
    }
};

VENTARO_TEST_MAIN(TestFrmAddReminder, QApplication)
#include "tst_frmAddReminder.moc"
