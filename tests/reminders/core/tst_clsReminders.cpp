#include "TestEnv.h"
#include "ZTClock.h"
#include "ZTExceptions.h"
#include "clsReminders.h"
#include "uFunctions.h"

#include <QRegularExpression>
#include <QtTest>

#include <thread>

namespace {

TDateTime D(int y, int m, int d)
{
    return EncodeDate(y, m, d);
}
TDateTime T(int h, int m)
{
    return EncodeTime(h, m);
}

TReminder::Ptr OneTime(TDateTime date, TDateTime time, const QString &message = QStringLiteral("one-time"))
{
    auto r = TReminder::Create();
    r->Date = date;
    r->Time = time;
    r->ReminderMessage = message;
    r->Active = true;
    r->RecurrenceWeeklyDays = QStringLiteral("0000000");
    return r;
}

TReminder::Ptr DailySeries(TDateTime start, TDateTime time)
{
    auto r = TReminder::Create();
    r->Recurring = true;
    r->RecurrenceUnit = ruDaily;
    r->RecurrenceDailyType = dtEveryNDays;
    r->RecurrenceDailyEvery = 1;
    r->RecurrenceStart = start;
    r->RecurrenceNoEnd = true;
    r->Date = start;
    r->Time = time;
    r->Active = true;
    r->ReminderMessage = QStringLiteral("series");
    r->RecurrenceWeeklyDays = QStringLiteral("0000000");
    return r;
}

TReminder::Ptr Exclusion(const TReminder &series, TDateTime day, bool active)
{
    TReminder occurrence = series;
    occurrence.OccurrenceDate = day;
    occurrence.OccurrenceTime = series.Time;
    auto e = occurrence.MakeExclusion();
    e->Active = active;
    return e;
}

void ExpectNotFound(const std::function<void()> &call, const QString &id)
{
    try {
        call();
        QFAIL("no exception");
    } catch (const EZTException &e) {
        QCOMPARE(e.Message(), QStringLiteral("Reminder not found in database."));
        QCOMPARE(e.Details(), QStringLiteral("There is no reminder with id '%1' in the database file.").arg(id));
        QCOMPARE(int(e.Severity()), 1);
    }
}

// Every stored field of two reminders is equal.
bool SameStoredFields(const TReminder &a, const TReminder &b)
{
    return a.PlaySound == b.PlaySound && a.RepeatSound == b.RepeatSound && a.RunProgram == b.RunProgram
           && a.Recurring == b.Recurring && a.RecurrenceNoEnd == b.RecurrenceNoEnd && a.Exclusion == b.Exclusion
           && a.Active == b.Active && a.RecurrenceUnit == b.RecurrenceUnit && a.RecurrenceDailyType == b.RecurrenceDailyType
           && a.RecurrenceDailyEvery == b.RecurrenceDailyEvery && a.RecurrenceWeeklyEvery == b.RecurrenceWeeklyEvery
           && a.RecurrenceMonthlyDay == b.RecurrenceMonthlyDay && a.RecurrenceMonthlyEvery == b.RecurrenceMonthlyEvery
           && a.RecurrenceYearlyMonth == b.RecurrenceYearlyMonth && a.RecurrenceYearlyDay == b.RecurrenceYearlyDay
           && a.Date == b.Date && a.Time == b.Time && a.RecurrenceStart == b.RecurrenceStart
           && a.RecurrenceEndBy == b.RecurrenceEndBy && a.Id == b.Id && a.ReminderMessage == b.ReminderMessage
           && a.SoundFile == b.SoundFile && a.ProgramLocation == b.ProgramLocation
           && a.RecurrenceWeeklyDays == b.RecurrenceWeeklyDays;
}

TReminder FullySet()
{
    TReminder r;
    r.PlaySound = r.RepeatSound = r.RunProgram = r.Recurring = r.RecurrenceNoEnd = true;
    r.Active = true;
    r.RecurrenceUnit = ruMonthly;
    r.RecurrenceDailyType = dtEveryWeekday;
    r.RecurrenceDailyEvery = 3;
    r.RecurrenceWeeklyEvery = 2;
    r.RecurrenceMonthlyDay = 31;
    r.RecurrenceMonthlyEvery = 4;
    r.RecurrenceYearlyMonth = 6;
    r.RecurrenceYearlyDay = 5;
    r.Date = D(2026, 5, 1);
    r.Time = T(9, 30);
    r.RecurrenceStart = D(2026, 1, 1);
    r.RecurrenceEndBy = D(2027, 1, 1);
    r.OccurrenceDate = D(2026, 6, 5);
    r.OccurrenceTime = T(9, 30);
    r.Id = QStringLiteral("{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}");
    r.ReminderMessage = QStringLiteral("message");
    r.SoundFile = QStringLiteral("/sounds/bell.wav");
    r.ProgramLocation = QStringLiteral("/usr/bin/true");
    r.RecurrenceWeeklyDays = QStringLiteral("1010100");
    return r;
}

} // namespace

class TestClsReminders : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { ZTPinClock(QDateTime(QDate(2026, 3, 10), QTime(12, 0, 30))); }
    void cleanup() { ZTResetClock(); }

    // ---- Record ----------------------------------------------------------------------------

    void createGivesFreshGuidAndZeroFields()
    {
        const auto a = TReminder::Create();
        const auto b = TReminder::Create();
        static const QRegularExpression guid(
            QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"));
        QCOMPARE(a->Id.size(), 38);
        QVERIFY2(guid.match(a->Id).hasMatch(), qPrintable(a->Id));
        QVERIFY(a->Id != b->Id);
        QVERIFY(a->RecurrenceWeeklyDays.isEmpty());
        QVERIFY(!a->Active && !a->Exclusion && !a->Recurring && !a->PlaySound);
        QCOMPARE(a->Date, 0.0);
        QCOMPARE(int(a->RecurrenceUnit), int(ruNone));
    }

    void assignKeepsOccurrenceFields()
    {
        const TReminder source = FullySet();
        TReminder target;
        target.OccurrenceDate = 77;
        target.OccurrenceTime = 0.25;
        target.Assign(source);
        QVERIFY(SameStoredFields(target, source));
        QCOMPARE(target.OccurrenceDate, 77.0);
        QCOMPARE(target.OccurrenceTime, 0.25);
    }

    void cloneCopiesStoredFieldsOnly()
    {
        const TReminder source = FullySet();
        const auto copy = source.Clone();
        QVERIFY(SameStoredFields(*copy, source));
        QCOMPARE(copy->OccurrenceDate, 0.0);
        QCOMPARE(copy->OccurrenceTime, 0.0);
    }

    void oneTimeCopyResetsRecurrence()
    {
        const TReminder source = FullySet();
        const auto copy = source.MakeOneTimeCopy();
        QVERIFY(copy->Id != source.Id);
        QCOMPARE(copy->Id.size(), 38);
        QCOMPARE(copy->Date, source.Date);
        QCOMPARE(copy->Time, source.Time);
        QCOMPARE(copy->ReminderMessage, source.ReminderMessage);
        QCOMPARE(copy->SoundFile, source.SoundFile);
        QCOMPARE(copy->ProgramLocation, source.ProgramLocation);
        QVERIFY(copy->PlaySound && copy->RepeatSound && copy->RunProgram);
        QVERIFY(!copy->Recurring && !copy->Exclusion);
        QVERIFY(copy->Active && copy->RecurrenceNoEnd);
        QCOMPARE(int(copy->RecurrenceUnit), int(ruNone));
        QCOMPARE(int(copy->RecurrenceDailyType), int(dtNone));
        QCOMPARE(copy->RecurrenceDailyEvery + copy->RecurrenceWeeklyEvery + copy->RecurrenceMonthlyDay
                     + copy->RecurrenceMonthlyEvery + copy->RecurrenceYearlyMonth + copy->RecurrenceYearlyDay,
                 0);
        QCOMPARE(copy->RecurrenceWeeklyDays, QStringLiteral("0000000"));
        QCOMPARE(copy->RecurrenceStart, 0.0);
        QCOMPARE(copy->RecurrenceEndBy, 0.0);
        QCOMPARE(copy->OccurrenceDate, 0.0);
    }

    void exclusionTakesTheOccurrence()
    {
        TReminder source = FullySet();
        source.Active = false;
        const auto e = source.MakeExclusion();
        QCOMPARE(e->Id, source.Id);
        QCOMPARE(e->Date, source.OccurrenceDate);
        QCOMPARE(e->Time, source.OccurrenceTime);
        QCOMPARE(e->ReminderMessage, source.ReminderMessage);
        QVERIFY(e->PlaySound && e->RepeatSound && e->RunProgram);
        QVERIFY(e->Exclusion && e->Active && !e->Recurring && e->RecurrenceNoEnd);
        QCOMPARE(int(e->RecurrenceUnit), int(ruNone));
        QCOMPARE(e->RecurrenceMonthlyDay, 0);
        QCOMPARE(e->RecurrenceWeeklyDays, QStringLiteral("0000000"));
        QCOMPARE(e->RecurrenceStart, 0.0);
    }

    void enumerationCodes_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("dailyType");
        QTest::newRow("0") << 0 << 0 << 0;
        QTest::newRow("1") << 1 << 1 << 1;
        QTest::newRow("2") << 2 << 2 << 2;
        QTest::newRow("3") << 3 << 3 << 0;
        QTest::newRow("4") << 4 << 4 << 0;
        QTest::newRow("5") << 5 << 0 << 0;
        QTest::newRow("-1") << -1 << 0 << 0;
        QTest::newRow("256") << 256 << 0 << 0;
    }
    void enumerationCodes()
    {
        QFETCH(int, code);
        QFETCH(int, unit);
        QFETCH(int, dailyType);
        QCOMPARE(int(IntToRecurrenceUnit(code)), unit);
        QCOMPARE(RecurrenceUnitToInt(IntToRecurrenceUnit(code)), unit);
        QCOMPARE(int(IntToRecurrenceDailyType(code)), dailyType);
        QCOMPARE(RecurrenceDailyTypeToInt(IntToRecurrenceDailyType(code)), dailyType);
    }

    void captions()
    {
        const TDateTime date = D(2026, 3, 5);
        const TDateTime time = T(14, 5);
        QCOMPARE(TReminder::ListCaption(date, time), ShortDateText(date) + QLatin1Char(' ') + ShortTimeText(time));
        QCOMPARE(TReminder::TimeCaption(time), ShortTimeText(time));
    }

    // ---- Store -----------------------------------------------------------------------------

    void addForcesMainRowAndCutsTexts()
    {
        TReminders store(QStringLiteral("unused.dat"));
        TReminder r = FullySet();
        r.Exclusion = true;
        r.ReminderMessage = QString(300, QLatin1Char('x'));
        r.RecurrenceWeeklyDays = QStringLiteral("111111111");
        store.Add(r);
        QCOMPARE(store.MainRowCount(), 1);
        QCOMPARE(store.ExclusionRowCount(), 0);
        TReminder back;
        store.ReadMainRow(0, back);
        QVERIFY(!back.Exclusion);
        QCOMPARE(back.ReminderMessage, QString(255, QLatin1Char('x')));
        QCOMPARE(back.RecurrenceWeeklyDays, QStringLiteral("1111111"));
        QCOMPARE(back.OccurrenceDate, 0.0);
    }

    void cuttingNeverSplitsACharacter()
    {
        TReminders store(QStringLiteral("unused.dat"));
        TReminder r = FullySet();
        // 254 letters, then characters outside the basic plane (two UTF-16 units each).
        const QString clef = QString::fromUtf8("\xF0\x9D\x84\x9E");
        r.ReminderMessage = QString(254, QLatin1Char('a')) + clef + clef;
        store.Add(r);
        TReminder back;
        store.ReadMainRow(0, back);
        QCOMPARE(back.ReminderMessage, QString(254, QLatin1Char('a')) + clef);
    }

    void addExclusionNeutralisesRecurrence()
    {
        TReminders store(QStringLiteral("unused.dat"));
        TReminder r = FullySet();
        r.Active = false;
        store.AddExclusion(r);
        QCOMPARE(store.ExclusionRowCount(), 1);
        TReminder back;
        store.ReadExclusionRow(0, back);
        QCOMPARE(back.Id, r.Id);
        QCOMPARE(back.Date, r.Date);
        QCOMPARE(back.Time, r.Time);
        QCOMPARE(back.SoundFile, r.SoundFile);
        QVERIFY(back.Exclusion && !back.Active && !back.Recurring && !back.RecurrenceNoEnd);
        QCOMPARE(int(back.RecurrenceUnit), 0);
        QCOMPARE(back.RecurrenceYearlyDay, 0);
        QCOMPARE(back.RecurrenceWeeklyDays, QStringLiteral("0000000"));
        QCOMPARE(back.RecurrenceStart, 0.0);
        QCOMPARE(back.RecurrenceEndBy, 0.0);
    }

    void duplicateIdsReachTheFirstRow()
    {
        TReminders store(QStringLiteral("unused.dat"));
        auto first = OneTime(D(2026, 4, 1), T(8, 0), QStringLiteral("first"));
        auto second = first->Clone();
        second->ReminderMessage = QStringLiteral("second");
        store.Add(*first);
        store.Add(*second);
        QCOMPARE(store.MainRowCount(), 2);
        TReminder probe;
        probe.Id = first->Id;
        store.Refresh(probe);
        QCOMPARE(probe.ReminderMessage, QStringLiteral("first"));
        probe.ReminderMessage = QStringLiteral("changed");
        store.Update(probe);
        TReminder row;
        store.ReadMainRow(0, row);
        QCOMPARE(row.ReminderMessage, QStringLiteral("changed"));
        store.ReadMainRow(1, row);
        QCOMPARE(row.ReminderMessage, QStringLiteral("second"));
    }

    void idsCompareExactly()
    {
        TReminders store(QStringLiteral("unused.dat"));
        auto r = OneTime(D(2026, 4, 1), T(8, 0));
        r->Id = QStringLiteral("{abc}");
        store.Add(*r);
        TReminder other;
        other.Id = QStringLiteral("{ABC}");
        ExpectNotFound([&] { store.Refresh(other); }, other.Id);
    }

    void notFoundChangesNothing_data()
    {
        QTest::addColumn<int>("operation");
        QTest::newRow("Update") << 0;
        QTest::newRow("UpdateSeries") << 1;
        QTest::newRow("Delete") << 2;
        QTest::newRow("DeleteSeries") << 3;
        QTest::newRow("Refresh") << 4;
    }
    void notFoundChangesNothing()
    {
        QFETCH(int, operation);
        TReminders store(QStringLiteral("unused.dat"));
        auto series = DailySeries(D(2026, 1, 1), T(9, 0));
        store.Add(*series);
        store.AddExclusion(*Exclusion(*series, D(2026, 1, 2), true));
        auto gone = OneTime(D(2026, 4, 1), T(8, 0), QStringLiteral("kept as is"));
        TReminder before = *gone;
        ExpectNotFound(
            [&] {
                switch (operation) {
                case 0:
                    store.Update(*gone);
                    break;
                case 1:
                    store.UpdateSeries(*gone);
                    break;
                case 2:
                    store.Delete(*gone);
                    break;
                case 3:
                    store.DeleteSeries(*gone);
                    break;
                default:
                    store.Refresh(*gone);
                    break;
                }
            },
            gone->Id);
        QVERIFY(SameStoredFields(*gone, before));
        QCOMPARE(store.MainRowCount(), 1);
        QCOMPARE(store.ExclusionRowCount(), 1);
        // The lock was released on the failure: another thread can take it.
        bool taken = false;
        std::thread other([&] {
            taken = store.Lock().try_lock();
            if (taken)
                store.Lock().unlock();
        });
        other.join();
        QVERIFY(taken);
    }

    void refreshReadsTheRowButNotTheOccurrence()
    {
        TReminders store(QStringLiteral("unused.dat"));
        auto series = DailySeries(D(2026, 1, 1), T(9, 0));
        store.Add(*series);
        TReminder held = *series;
        held.OccurrenceDate = D(2026, 1, 5);
        held.ReminderMessage = QStringLiteral("stale");
        store.Refresh(held);
        QCOMPARE(held.ReminderMessage, QStringLiteral("series"));
        QCOMPARE(held.OccurrenceDate, D(2026, 1, 5));
    }

    void deleteVersusDeleteSeries()
    {
        TReminders store(QStringLiteral("unused.dat"));
        auto a = DailySeries(D(2026, 1, 1), T(9, 0));
        auto b = DailySeries(D(2026, 1, 1), T(10, 0));
        store.Add(*a);
        store.Add(*b);
        store.AddExclusion(*Exclusion(*a, D(2026, 1, 2), true));
        store.AddExclusion(*Exclusion(*a, D(2026, 1, 3), false));
        store.AddExclusion(*Exclusion(*b, D(2026, 1, 2), true));

        store.Delete(*a);
        QCOMPARE(store.MainRowCount(), 1);
        QCOMPARE(store.ExclusionRowCount(), 3); // orphans stay
        QVERIFY(store.IsExcluded(*a, false, a->Time, D(2026, 1, 3)));

        store.Add(*a);
        store.DeleteSeries(*a);
        QCOMPARE(store.MainRowCount(), 1);
        QCOMPARE(store.ExclusionRowCount(), 1);
        QVERIFY(!store.IsExcluded(*a, false, a->Time, D(2026, 1, 2)));
        QVERIFY(store.IsExcluded(*b, true, b->Time, D(2026, 1, 2)));
    }

    void updateSeriesCarriesNewTimeToExclusions()
    {
        TReminders store(QStringLiteral("unused.dat"));
        auto s = DailySeries(D(2026, 1, 1), T(9, 0));
        auto other = DailySeries(D(2026, 1, 1), T(9, 0));
        store.Add(*s);
        store.Add(*other);
        store.AddExclusion(*Exclusion(*s, D(2026, 1, 2), true));
        store.AddExclusion(*Exclusion(*s, D(2026, 1, 3), false));
        store.AddExclusion(*Exclusion(*other, D(2026, 1, 2), true));

        s->Time = T(17, 45);
        s->ReminderMessage = QStringLiteral("new text");
        s->SoundFile = QStringLiteral("/new.wav");
        store.UpdateSeries(*s);

        QVERIFY(store.IsExcluded(*s, true, T(17, 45), D(2026, 1, 2)));
        QVERIFY(!store.IsExcluded(*s, true, T(17, 45), D(2026, 1, 3))); // dismissed stays dismissed
        QVERIFY(store.IsExcluded(*s, false, T(17, 45), D(2026, 1, 3)));
        QVERIFY(!store.IsExcluded(*s, false, T(9, 0), D(2026, 1, 2)));
        QVERIFY(store.IsExcluded(*other, false, T(9, 0), D(2026, 1, 2))); // other series untouched
        for (int i = 0; i < store.ExclusionRowCount(); ++i) {
            TReminder row;
            store.ReadExclusionRow(i, row);
            if (row.Id == s->Id) {
                QCOMPARE(row.ReminderMessage, QStringLiteral("new text"));
                QCOMPARE(row.SoundFile, QStringLiteral("/new.wav"));
            } else {
                QCOMPARE(row.ReminderMessage, QStringLiteral("series"));
            }
        }
    }

    void isExcludedStrengths_data()
    {
        QTest::addColumn<bool>("exclusionActive");
        QTest::addColumn<bool>("activeOnly");
        QTest::addColumn<bool>("excluded");
        QTest::newRow("removed, active only") << true << true << true;
        QTest::newRow("removed, all") << true << false << true;
        QTest::newRow("dismissed, active only") << false << true << false;
        QTest::newRow("dismissed, all") << false << false << true;
    }
    void isExcludedStrengths()
    {
        QFETCH(bool, exclusionActive);
        QFETCH(bool, activeOnly);
        QFETCH(bool, excluded);
        TReminders store(QStringLiteral("unused.dat"));
        auto s = DailySeries(D(2026, 1, 1), T(9, 0));
        store.Add(*s);
        store.AddExclusion(*Exclusion(*s, D(2026, 1, 2), exclusionActive));
        QCOMPARE(store.IsExcluded(*s, activeOnly, T(9, 0) + 40.0 / 86400, D(2026, 1, 2) + 0.7), excluded);
        QVERIFY(!store.IsExcluded(*s, activeOnly, T(9, 1), D(2026, 1, 2)));
        QVERIFY(!store.IsExcluded(*s, activeOnly, T(9, 0), D(2026, 1, 3)));
    }

    void activateExclusions()
    {
        TReminders store(QStringLiteral("unused.dat"));
        auto s = DailySeries(D(2026, 1, 1), T(9, 0));
        auto lone = DailySeries(D(2026, 1, 1), T(9, 0));
        store.Add(*s);
        store.Add(*lone);
        store.AddExclusion(*Exclusion(*s, D(2026, 1, 2), false));
        QVERIFY(!store.IsExcluded(*s, true, T(9, 0), D(2026, 1, 2)));
        QVERIFY(store.ActivateExclusions(*s));
        QVERIFY(store.IsExcluded(*s, true, T(9, 0), D(2026, 1, 2)));
        QVERIFY(!store.ActivateExclusions(*lone));
    }

    void collectObsolete()
    {
        // The clock reads 12:00:30 on 10 March 2026.
        TReminders store(QStringLiteral("unused.dat"));
        auto now = OneTime(D(2026, 3, 10), T(12, 0), QStringLiteral("this minute"));
        auto minuteAgo = OneTime(D(2026, 3, 10), T(11, 59), QStringLiteral("a minute ago"));
        auto dismissed = OneTime(D(2026, 2, 1), T(8, 0), QStringLiteral("dismissed"));
        dismissed->Active = false;
        auto future = OneTime(D(2026, 3, 11), T(0, 0), QStringLiteral("tomorrow"));
        auto s1 = DailySeries(D(2020, 1, 1), T(9, 0));
        auto s2 = DailySeries(D(2020, 1, 1), T(10, 0));
        for (const auto &r : {now, minuteAgo, dismissed, future, s1, s2})
            store.Add(*r);
        store.AddExclusion(*Exclusion(*s1, D(2026, 1, 2), false));
        store.AddExclusion(*Exclusion(*s2, D(2026, 1, 3), false));

        TReminderList list;
        QVERIFY(store.CollectObsolete(list));
        QStringList messages;
        for (const auto &r : list)
            messages << r->ReminderMessage;
        QCOMPARE(messages, (QStringList{"a minute ago", "dismissed"}));
        // Every dismissed occurrence of every series becomes a removed one.
        QVERIFY(store.IsExcluded(*s1, true, T(9, 0), D(2026, 1, 2)));
        QVERIFY(store.IsExcluded(*s2, true, T(10, 0), D(2026, 1, 3)));
    }

    void collectObsoleteFindsNothing()
    {
        TReminders store(QStringLiteral("unused.dat"));
        store.Add(*OneTime(D(2026, 3, 10), T(12, 1)));
        store.Add(*DailySeries(D(2000, 1, 1), T(1, 0))); // series are never obsolete
        TReminderList list;
        QVERIFY(!store.CollectObsolete(list));
        QCOMPARE(list.Count(), 0);
    }

    void getAllHandsOutIndependentObjects()
    {
        TReminders store(QStringLiteral("unused.dat"));
        auto a = OneTime(D(2026, 4, 1), T(8, 0), QStringLiteral("a"));
        auto s = DailySeries(D(2026, 1, 1), T(9, 0));
        store.Add(*a);
        store.Add(*s);
        store.AddExclusion(*Exclusion(*s, D(2026, 1, 2), true));
        TReminderList list;
        store.GetAll(list);
        QCOMPARE(list.Count(), 2);
        QCOMPARE(list[0]->Id, a->Id);
        QCOMPARE(list[1]->Id, s->Id);
        // A kept object stays valid and unchanged after the tables change.
        const TReminder::Ptr kept = list.Items(0);
        list.Clear();
        store.Clear();
        QCOMPARE(kept->ReminderMessage, QStringLiteral("a"));
    }

    void monthMarksForOneTimeRows()
    {
        TReminders store(QStringLiteral("unused.dat"));
        const TDateTime s = D(2026, 3, 1);
        const TDateTime e = D(2026, 4, 30);
        store.Add(*OneTime(D(2026, 3, 1), T(0, 0)));
        store.Add(*OneTime(D(2026, 4, 30), T(23, 59)));
        auto dismissed = OneTime(D(2026, 3, 15), T(8, 0));
        dismissed->Active = false; // marked whatever its Active
        store.Add(*dismissed);
        store.Add(*OneTime(D(2026, 5, 1), T(8, 0))); // outside the range
        store.BuildMonthMarks(1, s, e);
        QVERIFY(store.HasRemindersOn(1, D(2026, 3, 1)));
        QVERIFY(store.HasRemindersOn(1, D(2026, 3, 15) + 0.5));
        QVERIFY(store.HasRemindersOn(1, D(2026, 4, 30)));
        QVERIFY(!store.HasRemindersOn(1, D(2026, 3, 2)));
        QVERIFY(!store.HasRemindersOn(1, D(2026, 5, 1)));
        QVERIFY(!store.HasRemindersOn(1, 0));
        QVERIFY(!store.HasRemindersOn(2, D(2026, 3, 1))); // calendar 2 was not marked
        QCOMPARE(store.MarkRangeStart(1), s);
        QCOMPARE(store.MarkRangeEnd(1), e);
        // Rebuilding clears the old marks.
        store.Clear();
        store.BuildMonthMarks(1, s, e);
        QVERIFY(!store.HasRemindersOn(1, D(2026, 3, 1)));
    }

    void monthMarksNeverWriteOutsideTheirArray()
    {
        TReminders store(QStringLiteral("unused.dat"));
        store.Add(*OneTime(D(2026, 6, 30), T(8, 0))); // day 122 of an oversized range
        store.Add(*OneTime(D(2026, 3, 2), T(8, 0)));
        store.BuildMonthMarks(2, D(2026, 3, 1), D(2026, 12, 31));
        QVERIFY(store.HasRemindersOn(2, D(2026, 3, 2)));
        QVERIFY(!store.HasRemindersOn(2, D(2026, 6, 30)));
        for (int i = 1; i <= TReminders::MarkCount; ++i)
            QCOMPARE(store.Mark(1, i), false);                   // calendar 1 untouched
        store.BuildMonthMarks(3, D(2026, 3, 1), D(2026, 4, 30)); // no such calendar: ignored
    }

    void lockIsReentrant()
    {
        TReminders store(QStringLiteral("unused.dat"));
        auto s = DailySeries(D(2026, 1, 1), T(9, 0));
        store.Add(*s);
        std::lock_guard<std::recursive_mutex> held(store.Lock());
        store.AddExclusion(*Exclusion(*s, D(2026, 1, 2), false));
        QVERIFY(store.ActivateExclusions(*s));
        TReminderList list;
        QVERIFY(store.CollectObsolete(list));
        store.Refresh(*s);
    }
};

VENTARO_TEST_MAIN(TestClsReminders, QCoreApplication)
#include "tst_clsReminders.moc"
