// The main window: each command's store calls by kind and source, the enabling rules, the day
// view's colours, placing and moving, the list's order, Jump To, closing, form storage, import,
// the tray menu and the quick calendar. The clock is pinned; dialogs are answered by seams.
#include "FakePlayer.h"
#include "ProgramFixture.h"
#include "TestEnv.h"

#include "ZTCalendarPanel.h"
#include "ZTClock.h"
#include "ZTExceptions.h"
#include "ZTFileDialogs.h"
#include "clsDayView.h"
#include "clsOptions.h"
#include "clsReminders.h"
#include "clsRepresentation.h"
#include "frmAddReminder.h"
#include "frmMain.h"
#include "frmMainList.h"
#include "frmQuickCal.h"
#include "frmRecurring.h"
#include "uFunctions.h"
#include "uMain.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QStyleOptionViewItem>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include <memory>

namespace {
// Monday 4 March 2024, 08:00.
const QDateTime Now(QDate(2024, 3, 4), QTime(8, 0));
const TDateTime Today = EncodeDate(2024, 3, 4);

TReminder::Ptr OneTime(TDateTime date, int hour, int minute, const QString &message)
{
    auto r = TReminder::Create();
    r->Date = date;
    r->Time = EncodeTime(hour, minute);
    r->ReminderMessage = message;
    r->Active = true;
    r->RecurrenceWeeklyDays = QStringLiteral("0000000");
    return r;
}

TReminder::Ptr Daily(TDateTime start, int hour, int minute, const QString &message)
{
    auto r = OneTime(start, hour, minute, message);
    r->Recurring = true;
    r->RecurrenceUnit = ruDaily;
    r->RecurrenceDailyType = dtEveryNDays;
    r->RecurrenceDailyEvery = 1;
    r->RecurrenceStart = start;
    r->RecurrenceNoEnd = true;
    return r;
}

QString Main(int row)
{
    TReminder r;
    Reminders->ReadMainRow(row, r);
    return r.ReminderMessage + QLatin1Char('@') + TimeToText(r.Time);
}

QStringList MainRows()
{
    QStringList rows;
    for (int i = 0; i < Reminders->MainRowCount(); ++i)
        rows << Main(i);
    return rows;
}

std::uint32_t Background(const QWidget *widget)
{
    return widget->palette().color(QPalette::Window).rgba();
}
} // namespace

class TestFrmMain : public QObject {
    Q_OBJECT

private:
    TProgramFixture fx_;
    std::unique_ptr<TVNTRMain> main_;
    TFakePlayer player_;
    int questions_ = 0;

    QAction *Action(const char *name) const { return main_->findChild<QAction *>(QString::fromLatin1(name)); }

    void MakeMain()
    {
        main_ = std::make_unique<TVNTRMain>();
        main_->SetPlayer(&player_);
        fx_.CatchErrors();
    }

    void ShowMain()
    {
        main_->show();
        main_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main_.get()));
    }

    // Selects the reminder with this message as the user would in the list (focused) or in the
    // day view (its entry).
    void Choose(const QString &message, bool fromList)
    {
        TVNTRListModel *model = main_->ListModel();
        if (fromList) {
            int position = -1;
            for (int i = 0; i < model->Count(); ++i)
                if (model->ReminderAt(i)->ReminderMessage == message)
                    position = i;
            QVERIFY(position >= 0);
            main_->lvAll()->setFocus();
            main_->lvAll()->selectionModel()->select(model->index(position, 0),
                                                     QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            QVERIFY(main_->lvAll()->hasFocus());
            return;
        }
        QLabel *entry = Entry(message);
        QVERIFY(entry);
        main_->DayView()->SelectEntry(entry);
    }

    QLabel *Entry(const QString &message) const
    {
        for (int slot = 0; slot < TVNTRDayView::SlotCount; ++slot)
            for (QLabel *entry : main_->DayView()->EntriesIn(slot))
                if (entry->text().endsWith(message))
                    return entry;
        return nullptr;
    }

    int SlotOfEntry(const QString &message) const
    {
        for (int slot = 0; slot < TVNTRDayView::SlotCount; ++slot)
            for (QLabel *entry : main_->DayView()->EntriesIn(slot))
                if (entry->text().endsWith(message))
                    return slot;
        return -1;
    }

private Q_SLOTS:
    void init()
    {
        fx_.Start(Now);
        Options->DefaultSound = fx_.Path(QStringLiteral("notify.wav"));
        questions_ = 0;
    }
    void cleanup()
    {
        main_.reset();
        VNTRSetAddReminderAnswerer({});
        VNTRSetRecurringAnswerer({});
        ZTSetFileDialogAnswerer({});
        ReminderDialogOpen = false;
        fx_.Stop();
    }

    // ---- Edit and Remove: what reaches the store, by kind, source and answer ----

    void editAndRemove_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("series");
        QTest::addColumn<bool>("fromList");
        QTest::addColumn<QString>("answer"); // to the occurrence-or-series question
        QTest::addColumn<bool>("asked");
        QTest::addColumn<QStringList>("mainRows");
        QTest::addColumn<int>("exclusions");
        const QString o = QStringLiteral("one@10:0"), s = QStringLiteral("series@11:0");
        const QString oChanged = QStringLiteral("changed@10:0"), sChanged = QStringLiteral("changed@11:0");

        QTest::newRow("edit one-time, list") << "edit" << false << true << "" << false << QStringList{oChanged, s} << 0;
        QTest::newRow("edit one-time, day view") << "edit" << false << false << "" << false << QStringList{oChanged, s} << 0;
        QTest::newRow("edit series, list") << "edit" << true << true << "" << false << QStringList{o, sChanged} << 0;
        QTest::newRow("edit series, day view, series")
            << "edit" << true << false << "series" << true << QStringList{o, sChanged} << 0;
        QTest::newRow("edit series, day view, occurrence")
            << "edit" << true << false << "occurrence" << true << QStringList{o, s, sChanged} << 1;
        QTest::newRow("edit series, day view, cancel") << "edit" << true << false << "cancel" << true << QStringList{o, s} << 0;
        QTest::newRow("remove one-time, list") << "remove" << false << true << "" << false << QStringList{s} << 0;
        QTest::newRow("remove one-time, day view") << "remove" << false << false << "" << false << QStringList{s} << 0;
        QTest::newRow("remove series, list") << "remove" << true << true << "" << false << QStringList{o} << 0;
        QTest::newRow("remove series, day view, series") << "remove" << true << false << "series" << true << QStringList{o} << 0;
        QTest::newRow("remove series, day view, occurrence")
            << "remove" << true << false << "occurrence" << true << QStringList{o, s} << 1;
        QTest::newRow("remove series, day view, cancel")
            << "remove" << true << false << "cancel" << true << QStringList{o, s} << 0;
    }
    void editAndRemove()
    {
        QFETCH(QString, command);
        QFETCH(bool, series);
        QFETCH(bool, fromList);
        QFETCH(QString, answer);
        QFETCH(bool, asked);
        QFETCH(QStringList, mainRows);
        QFETCH(int, exclusions);
        Reminders->Add(*OneTime(Today, 10, 0, QStringLiteral("one")));
        auto seriesRow = Daily(EncodeDate(2024, 3, 1), 11, 0, QStringLiteral("series"));
        seriesRow->Time = EncodeTime(11, 0);
        Reminders->Add(*seriesRow);
        Reminders->Save();
        MakeMain();
        ShowMain();
        bool intervalChangeable = false;
        VNTRSetAddReminderAnswerer([&](TAddReminderDlg &dialog) {
            intervalChangeable = dialog.findChild<QWidget *>(QStringLiteral("cbInterval"))->isEnabled();
            dialog.findChild<QPlainTextEdit *>(QStringLiteral("txtMessage"))->setPlainText(QStringLiteral("changed"));
            dialog.PressOK();
        });
        VNTRSetRecurringAnswerer([&](TRecurringDlg &) {
            ++questions_;
            return TRecurringAnswer{answer != QLatin1String("cancel"), answer == QLatin1String("series")};
        });
        Choose(series ? QStringLiteral("series") : QStringLiteral("one"), fromList);
        QVERIFY(Action("actCalendarEditReminder")->isEnabled());
        if (command == QLatin1String("edit"))
            main_->findChild<QAction *>(QStringLiteral("actCalendarEditReminder"))->trigger();
        else
            main_->findChild<QAction *>(QStringLiteral("actCalendarRemoveReminder"))->trigger();
        QCOMPARE(fx_.Errors, QStringList());
        QCOMPARE(questions_ > 0, asked);
        QCOMPARE(MainRows(), mainRows);
        QCOMPARE(Reminders->ExclusionRowCount(), exclusions);
        if (command == QLatin1String("edit") && answer != QLatin1String("cancel"))
            QCOMPARE(intervalChangeable, !series);
        if (exclusions) {
            TReminder exclusion;
            Reminders->ReadExclusionRow(0, exclusion);
            QCOMPARE(exclusion.Date, Today);
            QCOMPARE(TimeToText(exclusion.Time), QStringLiteral("11:0"));
            QVERIFY(exclusion.Active);
        }
        // Every change is saved at once.
        TReminders saved(Reminders->FileName());
        saved.Load();
        QCOMPARE(saved.MainRowCount(), mainRows.size());
    }

    // ---- Adding ----

    void add_data()
    {
        QTest::addColumn<int>("slot"); // -1: none selected
        QTest::addColumn<QString>("proposed");
        QTest::newRow("no slot: the next half hour") << -1 << "08:00";
        QTest::newRow("the 00:00 slot proposes midnight") << 0 << "00:00";
        QTest::newRow("the 14:30 slot") << 29 << "14:30";
    }
    void add()
    {
        QFETCH(int, slot);
        QFETCH(QString, proposed);
        MakeMain();
        ShowMain();
        if (slot >= 0)
            main_->DayView()->SelectSlot(main_->DayView()->SlotArea(slot));
        QString shown;
        bool dialogFlag = false;
        VNTRSetAddReminderAnswerer([&](TAddReminderDlg &dialog) {
            dialogFlag = !Action("actTrayCalendar")->isEnabled();
            shown = dialog.findChild<QTimeEdit *>(QStringLiteral("txtTime"))->time().toString(QStringLiteral("hh:mm"));
            dialog.findChild<QPlainTextEdit *>(QStringLiteral("txtMessage"))->setPlainText(QStringLiteral("new"));
            // A time still to come today, so the reminder can be set.
            dialog.findChild<QTimeEdit *>(QStringLiteral("txtTime"))->setTime(QTime(21, 0));
            dialog.PressOK();
        });
        QTest::keyClick(main_.get(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(fx_.Errors, QStringList());
        QCOMPARE(shown, proposed);
        QVERIFY(dialogFlag);
        QVERIFY(Action("actTrayCalendar")->isEnabled());
        QCOMPARE(MainRows(), QStringList{QStringLiteral("new@21:0")});
        // The new entry stands in its slot, selected, and the list shows its row.
        QLabel *entry = Entry(QStringLiteral("new"));
        QVERIFY(entry);
        QCOMPARE(main_->DayView()->SelectedEntry(), entry);
        QCOMPARE(SlotOfEntry(QStringLiteral("new")), 42);
        QCOMPARE(main_->ListModel()->Count(), 1);
    }

    // ---- Enabling ----

    void enabling_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("enabled"); // edit, remove, jump, quick calendar, tray add: 1 or 0
        QTest::newRow("nothing selected") << "none"
                                          << "00011";
        QTest::newRow("list row, list focused") << "list"
                                                << "11111";
        QTest::newRow("entry selected") << "entry"
                                        << "11011";
        QTest::newRow("slot selected") << "slot"
                                       << "00011";
        QTest::newRow("editing dialog open") << "dialog"
                                             << "00000";
        QTest::newRow("quick calendar open") << "quick"
                                             << "00010";
    }
    void enabling()
    {
        QFETCH(QString, state);
        QFETCH(QString, enabled);
        Reminders->Add(*OneTime(Today, 10, 0, QStringLiteral("one")));
        MakeMain();
        ShowMain();
        if (state == QLatin1String("list"))
            Choose(QStringLiteral("one"), true);
        else if (state == QLatin1String("entry"))
            Choose(QStringLiteral("one"), false);
        else if (state == QLatin1String("slot"))
            main_->DayView()->SelectSlot(main_->DayView()->SlotArea(3));
        else if (state == QLatin1String("dialog"))
            ReminderDialogOpen = true;
        else if (state == QLatin1String("quick"))
            main_->findChild<QAction *>(QStringLiteral("actTrayCalendar"))->trigger();
        main_->UpdateActions();
        QString actual;
        for (const char *name :
             {"actCalendarEditReminder", "actCalendarRemoveReminder", "actViewJumpTo", "actTrayCalendar", "actTrayAddReminder"})
            actual += Action(name)->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
        QCOMPARE(actual, enabled);
    }

    // ---- The day view ----

    void workingColours_data()
    {
        QTest::addColumn<TDateTime>("date");
        QTest::addColumn<QString>("workDays");
        QTest::addColumn<QList<int>>("working"); // slots with the working colour
        QList<int> hours;
        for (int i = 18; i <= 38; ++i)
            hours << i;
        QTest::newRow("Monday, default week") << Today << "1111100" << hours;
        QTest::newRow("Saturday, default week") << EncodeDate(2024, 3, 9) << "1111100" << QList<int>{};
        QTest::newRow("Sunday, Sunday-only week") << EncodeDate(2024, 3, 10) << "0000001" << hours;
        QTest::newRow("Monday, Sunday-only week") << Today << "0000001" << QList<int>{};
        QTest::newRow("short week string") << EncodeDate(2024, 3, 8) << "1111" << QList<int>{};
    }
    void workingColours()
    {
        QFETCH(TDateTime, date);
        QFETCH(QString, workDays);
        QFETCH(QList<int>, working);
        Options->WorkDays = workDays;
        Options->PanelWorkingColor = ZTRgb(200, 255, 200);
        Options->PanelNonworkingColor = ZTRgb(90, 90, 90);
        MakeMain();
        main_->Calendar()->SetSelectedDate(date);
        for (int slot = 0; slot < TVNTRDayView::SlotCount; ++slot)
            QCOMPARE(Background(main_->DayView()->SlotArea(slot)),
                     ZTColorToRgb(working.contains(slot) ? Options->PanelWorkingColor : Options->PanelNonworkingColor));
        // The selected slot keeps the selected colour and gets its own back when deselected.
        main_->DayView()->SelectSlot(main_->DayView()->SlotArea(20));
        QCOMPARE(Background(main_->DayView()->SlotArea(20)), ZTColorToRgb(Options->PanelSelectedColor));
        main_->DayView()->SelectSlot(nullptr);
        QCOMPARE(Background(main_->DayView()->SlotArea(20)),
                 ZTColorToRgb(working.contains(20) ? Options->PanelWorkingColor : Options->PanelNonworkingColor));
    }

    void placement_data()
    {
        QTest::addColumn<int>("hour");
        QTest::addColumn<int>("minute");
        QTest::addColumn<bool>("series");
        QTest::addColumn<int>("slot"); // -1: listed but not placed
        QTest::addColumn<QString>("text");
        QTest::newRow("09:29") << 9 << 29 << false << 18 << " 09:29 - first";
        QTest::newRow("09:30") << 9 << 30 << false << 19 << " 09:30 - first";
        QTest::newRow("00:00") << 0 << 0 << false << 0 << " 00:00 - first";
        QTest::newRow("23:45") << 23 << 45 << false << 47 << " 23:45 - first";
        QTest::newRow("23:55 is listed only") << 23 << 55 << false << -1 << "";
        QTest::newRow("series") << 9 << 0 << true << 18 << " 09:00 - (R) - first";
    }
    void placement()
    {
        QFETCH(int, hour);
        QFETCH(int, minute);
        QFETCH(bool, series);
        QFETCH(int, slot);
        QFETCH(QString, text);
        QLocale::setDefault(QLocale::c());
        auto r = series ? Daily(EncodeDate(2024, 2, 1), hour, minute, QString()) : OneTime(Today, hour, minute, QString());
        // A message whose first line is empty shows its second.
        r->ReminderMessage = QStringLiteral("\r\nfirst\r\nsecond");
        Reminders->Add(*r);
        MakeMain();
        QCOMPARE(main_->ListModel()->Count(), 1);
        QCOMPARE(SlotOfEntry(QStringLiteral("first")), slot);
        if (slot < 0)
            return;
        QLabel *entry = main_->DayView()->EntriesIn(slot).value(0);
        QCOMPARE(entry->text(), QString(text)
                                    .replace(QStringLiteral("09:29"), TReminder::TimeCaption(r->Time))
                                    .replace(QStringLiteral("09:30"), TReminder::TimeCaption(r->Time))
                                    .replace(QStringLiteral("00:00"), TReminder::TimeCaption(r->Time))
                                    .replace(QStringLiteral("23:45"), TReminder::TimeCaption(r->Time))
                                    .replace(QStringLiteral("09:00"), TReminder::TimeCaption(r->Time)));
        QCOMPARE(entry->width(), TVNTRDayView::EntryWidth);
    }

    void sideBySide()
    {
        Reminders->Add(*OneTime(Today, 10, 0, QStringLiteral("a")));
        Reminders->Add(*OneTime(Today, 10, 15, QStringLiteral("b")));
        MakeMain();
        main_->resize(1200, 600);
        ShowMain();
        const QList<QLabel *> entries = main_->DayView()->EntriesIn(20);
        QCOMPARE(entries.size(), 2);
        const int gap = std::abs(entries[1]->x() - entries[0]->x()) - TVNTRDayView::EntryWidth;
        QCOMPARE(gap, TVNTRDayView::GapWidth);
        // A crowded slot shows what its width can show; widening the window shows the rest.
        for (int i = 0; i < 8; ++i)
            Reminders->Add(*OneTime(Today, 10, 20 + i, QStringLiteral("crowd%1").arg(i)));
        main_->resize(1200, 600);
        main_->CommitAndRefresh();
        QCoreApplication::processEvents();
        const int shown = int(main_->DayView()->EntriesIn(20).size());
        QVERIFY2(shown >= 2 && shown < 10, qPrintable(QString::number(shown)));
        // The ones held back are not hidden without a sign: "+N" lists them, and one chosen
        // there becomes an entry like the others (selected, so Enter edits it).
        QToolButton *more = main_->DayView()->OverflowMarker(20);
        QVERIFY(more && more->isVisible());
        QCOMPARE(more->text(), QStringLiteral("+%1").arg(10 - shown));
        QLabel *promoted = main_->DayView()->ShowOverflowEntry(20, 0);
        QVERIFY(promoted && promoted->isVisible());
        QCOMPARE(main_->DayView()->SelectedEntry(), promoted);
        QCOMPARE(main_->DayView()->EntriesIn(20).size(), shown + 1);
        QCOMPARE(more->isVisible(), shown + 1 < 10);
        main_->resize(2600, 600);
        QCoreApplication::processEvents();
        QCOMPARE(main_->DayView()->EntriesIn(20).size(), 10);
        QVERIFY(!more->isVisible());
        // Every row is as wide as the visible area, also after resizing.
        for (int width : {900, 700, 1100}) {
            main_->resize(width, 600);
            QCoreApplication::processEvents();
            QCOMPARE(main_->DayView()->SlotArea(0)->parentWidget()->width(),
                     main_->findChild<QWidget *>(QStringLiteral("sbxClient"))
                         ->findChild<QWidget *>(QStringLiteral("qt_scrollarea_viewport"))
                         ->width());
        }
    }

    // Moving by a drop (or Ctrl+Up/Down): one-time reminders change time, an occurrence of a
    // series becomes a one-time reminder; moves into the past are refused.
    void move_data()
    {
        QTest::addColumn<bool>("series");
        QTest::addColumn<int>("toSlot");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("mainRows");
        QTest::addColumn<int>("exclusions");
        const QString past1 = QStringLiteral("The reminder for 'm' cannot be set because its time has passed.");
        const QString pastN = QStringLiteral("The reminder(s) for 'm' cannot be set because all the occurences are in the past.");
        QTest::newRow("one-time later") << false << 24 << "" << QStringList{"m@12:0"} << 0;
        QTest::newRow("one-time to its own slot") << false << 20 << "" << QStringList{"m@10:0"} << 0;
        QTest::newRow("one-time into the past") << false << 14 << past1 << QStringList{"m@10:15"} << 0;
        QTest::newRow("occurrence later") << true << 24 << "" << QStringList{"m@10:15", "m@12:0"} << 1;
        QTest::newRow("occurrence into the past") << true << 2 << pastN << QStringList{"m@10:15"} << 0;
    }
    void move()
    {
        QFETCH(bool, series);
        QFETCH(int, toSlot);
        QFETCH(QString, error);
        QFETCH(QStringList, mainRows);
        QFETCH(int, exclusions);
        Reminders->Add(
            *(series ? Daily(EncodeDate(2024, 3, 1), 10, 15, QStringLiteral("m")) : OneTime(Today, 10, 15, QStringLiteral("m"))));
        MakeMain();
        ShowMain();
        main_->DropEntry(Entry(QStringLiteral("m")), toSlot);
        QCOMPARE(fx_.Errors, error.isEmpty() ? QStringList() : QStringList{error});
        QCOMPARE(MainRows(), mainRows);
        QCOMPARE(Reminders->ExclusionRowCount(), exclusions);
        if (series && error.isEmpty()) {
            // The moved occurrence is the one selected after the refresh.
            QVERIFY(main_->DayView()->SelectedEntry());
            QCOMPARE(main_->DayView()->SelectedEntry(), main_->DayView()->EntriesIn(toSlot).value(0));
        }
    }

    void moveWithKeyboard()
    {
        Reminders->Add(*OneTime(Today, 10, 15, QStringLiteral("m")));
        MakeMain();
        ShowMain();
        Choose(QStringLiteral("m"), false);
        QTest::keyClick(main_->DayView()->SelectedEntry(), Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(MainRows(), QStringList{QStringLiteral("m@10:30")});
        QCOMPARE(SlotOfEntry(QStringLiteral("m")), 21);
    }

    // A rebuild of the same crowded day leaves the entries that stay as they stand: no hide and
    // show of each (two posted events per control for nothing); only controls no longer needed
    // are hidden.
    void rebuildTouchesOnlyWhatChanges()
    {
        for (int i = 0; i < 6; ++i)
            Reminders->Add(*OneTime(Today, 10, i, QStringLiteral("crowd%1").arg(i)));
        Reminders->Add(*OneTime(Today, 12, 0, QStringLiteral("noon")));
        MakeMain();
        main_->resize(1200, 600);
        ShowMain();
        struct TCounter : QObject {
            int Events = 0;
            bool eventFilter(QObject *, QEvent *event) override
            {
                Events += event->type() == QEvent::Show || event->type() == QEvent::Hide;
                return false;
            }
        } counter;
        QList<QLabel *> entries = main_->DayView()->EntriesIn(20) + main_->DayView()->EntriesIn(24);
        QVERIFY(entries.size() >= 3);
        for (QLabel *entry : entries)
            entry->installEventFilter(&counter);
        main_->Calendar()->SetSelectedDate(Today);
        main_->CommitAndRefresh();
        QCOMPARE(counter.Events, 0);
        // The noon reminder goes: only its entry is hidden.
        TReminderList all;
        Reminders->GetAll(all);
        for (int i = 0; i < all.Count(); ++i)
            if (all.Items(i)->ReminderMessage == QLatin1String("noon"))
                Reminders->Delete(*all.Items(i));
        main_->CommitAndRefresh();
        QCOMPARE(counter.Events, 1);
        QVERIFY(main_->DayView()->EntriesIn(24).isEmpty());
        QVERIFY(std::all_of(entries.begin(), entries.end() - 1, [](QLabel *e) { return e->isVisible(); }));
    }

    // Rebuilds release what they took out: clicking through dates keeps the count of controls flat.
    void rebuildsReleaseEntries()
    {
        for (int i = 0; i < 20; ++i)
            Reminders->Add(*Daily(EncodeDate(2024, 1, 1), 9 + i % 10, 0, QStringLiteral("r%1").arg(i)));
        MakeMain();
        const auto count = [this] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return main_->findChildren<QWidget *>().size();
        };
        const qsizetype before = count();
        for (int i = 0; i < 300; ++i)
            main_->Calendar()->SetSelectedDate(Today + i % 30);
        main_->Calendar()->SetSelectedDate(Today);
        QCOMPARE(count(), before);
    }

    // ---- The list ----

    void sortOrder()
    {
        // A weekly series dated 1 March sorts among the reminders of 1 March although its row
        // shows its next occurrence; equal moments sort by the whole message.
        auto weekly = Daily(EncodeDate(2024, 3, 1), 9, 0, QStringLiteral("weekly"));
        weekly->RecurrenceUnit = ruWeekly;
        weekly->RecurrenceDailyType = dtNone;
        weekly->RecurrenceWeeklyEvery = 1;
        weekly->RecurrenceWeeklyDays = QStringLiteral("0000100");
        Reminders->Add(*OneTime(EncodeDate(2024, 3, 5), 8, 0, QStringLiteral("later day")));
        Reminders->Add(*OneTime(EncodeDate(2024, 3, 1), 10, 0, QStringLiteral("b same")));
        Reminders->Add(*weekly);
        Reminders->Add(*OneTime(EncodeDate(2024, 3, 1), 10, 0, QStringLiteral("a same")));
        Reminders->Add(*OneTime(EncodeDate(2024, 3, 1), 9, 59, QStringLiteral("earlier minute")));
        MakeMain();
        TVNTRListModel *model = main_->ListModel();
        QStringList order;
        for (int i = 0; i < model->Count(); ++i)
            order << model->ReminderAt(i)->ReminderMessage;
        QCOMPARE(order, (QStringList{"weekly", "earlier minute", "a same", "b same", "later day"}));
        // The series' row shows its next occurrence (Friday 8 March), a past one-time reminder its own date.
        QCOMPARE(model->Row(0).Shown, EncodeDate(2024, 3, 8));
        QCOMPARE(model->data(model->index(2, 0), Qt::DisplayRole).toString(),
                 TReminder::ListCaption(EncodeDate(2024, 3, 1), EncodeTime(10, 0)));
        QCOMPARE(model->data(model->index(2, 1), Qt::DisplayRole).toString(), QStringLiteral("a same"));
        // A week later the series' row shows the Friday after; a change of the series shows at once.
        ZTPinClock(Now.addDays(7));
        main_->Calendar()->SetSelectedDate(Today);
        QCOMPARE(model->Row(0).Shown, EncodeDate(2024, 3, 15));
        weekly->RecurrenceWeeklyDays = QStringLiteral("0000010");
        Reminders->UpdateSeries(*weekly);
        main_->CommitAndRefresh();
        QCOMPARE(model->Row(0).Shown, EncodeDate(2024, 3, 16));
    }

    // A long date caption is shortened to its column; it never widens the window and pushes
    // the calendar and the list past its right edge.
    void longDateCaptionKeepsTheLayout()
    {
        MakeMain();
        ShowMain();
        auto *caption = main_->findChild<QLabel *>(QStringLiteral("pDate"));
        QFont big = caption->font();
        big.setPointSize(30);
        caption->setFont(big);
        main_->Calendar()->SetSelectedDate(EncodeDate(2026, 9, 30));
        QCoreApplication::processEvents();
        QCOMPARE(main_->width(), 619);
        const QRect calendar(main_->Calendar()->mapTo(main_.get(), QPoint(0, 0)), main_->Calendar()->size());
        QVERIFY2(main_->rect().contains(calendar),
                 qPrintable(QStringLiteral("calendar at %1..%2").arg(calendar.left()).arg(calendar.right())));
        QVERIFY2(caption->text().endsWith(QChar(0x2026)), qPrintable(caption->text()));
        QVERIFY(caption->toolTip().startsWith(caption->text().chopped(1)));
    }

    void timeColumnFits()
    {
        // Whatever the locale's captions and the font, no row's "Time" is cut short.
        for (int month = 1; month <= 12; ++month)
            Reminders->Add(*OneTime(EncodeDate(2024, month, 28), 23, 58, QStringLiteral("month %1").arg(month)));
        MakeMain();
        ShowMain();
        main_->resize(main_->width(), 900);
        QTreeView *list = main_->lvAll();
        QTRY_COMPARE(list->model()->rowCount(), 12);
        QVERIFY(list->columnWidth(0) >= 130);
        QStyleOptionViewItem option;
        option.initFrom(list);
        option.decorationSize = list->iconSize();
        for (int row = 0; row < 12; ++row) {
            const int needed = list->itemDelegate()->sizeHint(option, list->model()->index(row, 0)).width();
            QVERIFY2(list->columnWidth(0) >= needed,
                     qPrintable(QStringLiteral("row %1: %2 < %3").arg(row).arg(list->columnWidth(0)).arg(needed)));
        }
    }

    void jumpTo()
    {
        auto weekly = Daily(EncodeDate(2024, 2, 1), 9, 0, QStringLiteral("tuesdays"));
        weekly->RecurrenceUnit = ruWeekly;
        weekly->RecurrenceWeeklyEvery = 1;
        weekly->RecurrenceWeeklyDays = QStringLiteral("0100000");
        Reminders->Add(*weekly);
        MakeMain();
        ShowMain();
        Choose(QStringLiteral("tuesdays"), true);
        QVERIFY(Action("actViewJumpTo")->isEnabled());
        main_->findChild<QAction *>(QStringLiteral("actViewJumpTo"))->trigger();
        QCOMPARE(main_->Calendar()->SelectedDate(), EncodeDate(2024, 3, 5));
        QVERIFY(main_->DayView()->SelectedEntry());
        QCOMPARE(main_->DayView()->SelectedEntry(), Entry(QStringLiteral("tuesdays")));
        // Selecting a list row takes the highlight from the entry.
        Choose(QStringLiteral("tuesdays"), true);
        QCOMPARE(main_->DayView()->SelectedEntry(), nullptr);
    }

    // ---- Obsolete, import ----

    void removeObsolete_data()
    {
        QTest::addColumn<bool>("withPast");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("left");
        QTest::newRow("nothing obsolete") << false << "There are no obsolete reminders to delete." << 1;
        QTest::newRow("one obsolete") << true << "Obsolete reminders removed with success." << 1;
    }
    void removeObsolete()
    {
        QFETCH(bool, withPast);
        QFETCH(QString, message);
        QFETCH(int, left);
        Reminders->Add(*OneTime(Today, 20, 0, QStringLiteral("future")));
        if (withPast)
            Reminders->Add(*OneTime(EncodeDate(2024, 3, 1), 20, 0, QStringLiteral("past")));
        MakeMain();
        main_->findChild<QAction *>(QStringLiteral("actCalendarRemoveObsolete"))->trigger();
        QCOMPARE(fx_.Errors, QStringList{message});
        QCOMPARE(Reminders->MainRowCount(), left);
        QCOMPARE(main_->ListModel()->Count(), left);
    }

    void import_data()
    {
        QTest::addColumn<bool>("badLastLine");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("rows");
        QTest::newRow("valid") << false << "2 reminders imported." << 3;
        QTest::newRow("bad last line") << true << "Invalid reminder definition in database file." << 1;
    }
    void import()
    {
        QFETCH(bool, badLastLine);
        QFETCH(QString, message);
        QFETCH(int, rows);
        // A file as an export writes it, with its one row twice; the second cut short when asked.
        const QString csv = fx_.Path(QStringLiteral("in.csv"));
        {
            TReminders source(QString{});
            source.Add(*OneTime(Today, 21, 0, QStringLiteral("imported")));
            try {
                source.ExportCsv(csv);
            } catch (const EZTException &) {
            }
        }
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QList<QByteArray> lines = file.readAll().split('\n');
        const QByteArray row = lines.at(1).trimmed();
        file.write((badLastLine ? row.left(row.size() - 10) : row) + "\r\n");
        file.close();
        Reminders->Add(*OneTime(Today, 20, 0, QStringLiteral("own")));
        Reminders->Save();
        MakeMain();
        TZTFileDialogOptions asked;
        ZTSetFileDialogAnswerer([&](const TZTFileDialogOptions &options) {
            asked = options;
            return csv;
        });
        main_->findChild<QAction *>(QStringLiteral("actCalendarImport"))->trigger();
        QCOMPARE(asked.Title, QStringLiteral("Import Reminders..."));
        QCOMPARE(asked.DefaultExt, QStringLiteral("csv"));
        QCOMPARE(fx_.Errors.value(0), message);
        QCOMPARE(Reminders->MainRowCount(), rows);
        QCOMPARE(main_->ListModel()->Count(), rows);
        // A failed import leaves nothing behind for a later save to write.
        Reminders->Save();
        TReminders saved(Reminders->FileName());
        saved.Load();
        QCOMPARE(saved.MainRowCount(), rows);
    }

    // ---- Closing, form storage ----

    void closing_data()
    {
        QTest::addColumn<bool>("closeMinimizes");
        QTest::addColumn<bool>("exit");
        QTest::addColumn<bool>("closed");
        QTest::newRow("close box minimises") << true << false << false;
        QTest::newRow("close box ends the program") << false << false << true;
        QTest::newRow("Exit ends it also when minimising") << true << true << true;
    }
    void closing()
    {
        QFETCH(bool, closeMinimizes);
        QFETCH(bool, exit);
        QFETCH(bool, closed);
        Options->CloseMinimizes = closeMinimizes;
        MakeMain();
        ShowMain();
        bool quit = false;
        QMetaObject::Connection c = connect(qApp, &QCoreApplication::aboutToQuit, this, [&] { quit = true; });
        if (exit)
            main_->findChild<QAction *>(QStringLiteral("actCalendarExit"))->trigger();
        else
            main_->close();
        disconnect(c);
        // Without a notification area the window is minimised instead of hidden, or it could
        // never be reached again.
        if (closed || QSystemTrayIcon::isSystemTrayAvailable())
            QVERIFY(!main_->isVisible());
        else
            QVERIFY(main_->isVisible() && main_->isMinimized());
        // The program ends only when the window really closed; hidden, it lives on in the tray.
        QCOMPARE(main_->ExitRequested() || !closeMinimizes, closed);
        Q_UNUSED(quit);
    }

    void formStorage_data()
    {
        QTest::addColumn<bool>("saveWindow");
        QTest::newRow("kept") << true;
        QTest::newRow("not kept") << false;
    }
    void formStorage()
    {
        QFETCH(bool, saveWindow);
        Options->SaveWindow = saveWindow;
        Options->CloseMinimizes = false;
        MakeMain();
        ShowMain();
        main_->resize(800, 500);
        main_->findChild<QAction *>(QStringLiteral("actViewToolbar"))->trigger();
        main_->findChild<QAction *>(QStringLiteral("actViewStatusBar"))->trigger();
        QVERIFY(!Action("actViewToolbar")->isChecked());
        main_->RequestExit();
        // The window's end shuts the program down: start it again as the next run would.
        main_.reset();
        ZTSetExceptionHandler({});
        QVERIFY(!Options);
        init();
        Options->LoadFromRegistry();
        QCOMPARE(Options->SaveWindow, saveWindow);
        MakeMain();
        ShowMain();
        QCOMPARE(main_->findChild<QToolBar *>(QStringLiteral("tbMain"))->isVisible(), !saveWindow);
        QCOMPARE(main_->statusBar()->isVisible(), !saveWindow);
        QCOMPARE(main_->size() == QSize(800, 500), saveWindow);
        QCOMPARE(Action("actViewToolbar")->isChecked(), !saveWindow);
    }

    // ---- Tray menu, quick calendar ----

    void trayMenu()
    {
        MakeMain();
        auto *menu = main_->findChild<QMenu *>(QStringLiteral("popTray"));
        QStringList items;
        for (QAction *a : menu->actions())
            items << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(items,
                 (QStringList{"&Quick Calendar", "-", "&Open Ventaro!", "-", "&Add Reminder...", "-", "&Help", "-", "E&xit"}));
        QCOMPARE(menu->defaultAction(), Action("actTrayCalendar"));
        main_->findChild<QAction *>(QStringLiteral("actTrayManager"))->trigger();
        QVERIFY(main_->isVisible());
    }

    void quickCalendar()
    {
        MakeMain();
        main_->findChild<QAction *>(QStringLiteral("actTrayCalendar"))->trigger();
        TQuickCalendar *quick = main_->QuickCalendar();
        QVERIFY(quick);
        // A second open brings the same window to the front.
        main_->findChild<QAction *>(QStringLiteral("actTrayCalendar"))->trigger();
        QCOMPARE(main_->findChildren<TQuickCalendar *>().size(), 1);
        QCOMPARE(TQuickCalendar::Position(QRect(0, 0, 1024, 768), QSize(385, 175)), QPoint(1024 - 385 - 10, 768 - 175 - 35));
        QCOMPARE(TQuickCalendar::Position(QRect(100, 30, 800, 600), QSize(385, 175)),
                 QPoint(100 + 800 - 385 - 10, 30 + 600 - 175 - 35));

        // Double click a day: the reminder is added, the day marked in both calendars, the list refreshed.
        VNTRSetAddReminderAnswerer([](TAddReminderDlg &dialog) {
            dialog.findChild<QPlainTextEdit *>(QStringLiteral("txtMessage"))->setPlainText(QStringLiteral("from quick"));
            dialog.PressOK();
        });
        const TDateTime day = EncodeDate(2024, 3, 20);
        quick->Calendar()->SetSelectedDate(day);
        QVERIFY(!Reminders->HasRemindersOn(2, day));
        // Enter on the left grid is the keyboard's double click on the selected day.
        QTest::keyClick(quick->Calendar()->findChild<QWidget *>(QStringLiteral("Grid0")), Qt::Key_Return);
        QCOMPARE(fx_.Errors, QStringList());
        QCOMPARE(Reminders->MainRowCount(), 1);
        QVERIFY(Reminders->HasRemindersOn(2, day));
        QCOMPARE(main_->ListModel()->Count(), 1);

        // Minimising the main window closes it.
        main_->showMinimized();
        QTRY_VERIFY(!main_->QuickCalendar());
    }
};

VENTARO_TEST_MAIN(TestFrmMain, QApplication)
#include "tst_frmMain.moc"
