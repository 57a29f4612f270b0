// The range of recurrence dialog and the occurrence-or-series question.
#include "TestEnv.h"

#include "../../library/widgets/ModalDriver.h"

#include "ZTExceptions.h"
#include "ZTHelpUtils.h"
#include "frmRecurrence.h"
#include "frmRecurring.h"
#include "uMain.h"

#include <QApplication>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace {
TDateTime Day(int y, int m, int d)
{
    return QDateToDateTime(QDate(y, m, d));
}
} // namespace

class TestFrmRecurrence : public QObject {
    Q_OBJECT

private:
    QStringList errors_;

private Q_SLOTS:
    void init()
    {
        errors_.clear();
        ZTApplication = std::make_unique<TZTApplication>();
        Options = std::make_unique<TVNTROptions>();
        ZTSetExceptionHandler([this](const std::exception_ptr &error) {
            try {
                std::rethrow_exception(error);
            } catch (const EZTException &e) {
                errors_ << e.Message();
            } catch (...) {
                errors_ << QStringLiteral("not an EZTException");
            }
        });
    }
    void cleanup()
    {
        VNTRSetRecurrenceAnswerer({});
        VNTRSetRecurringAnswerer({});
        ZTSetExceptionHandler({});
        Options.reset();
        ZTApplication.reset();
    }

    // ---- Range of recurrence ----

    // What the dialog shows when it opens: the radio of the flag, the end picker enabled only
    // for "End by:", but showing the end date either way.
    void rangeOpens_data()
    {
        QTest::addColumn<bool>("noEnd");
        QTest::newRow("no end") << true;
        QTest::newRow("end by") << false;
    }
    void rangeOpens()
    {
        QFETCH(bool, noEnd);
        bool noEndChecked = false, endByChecked = false, endEnabled = false;
        QDate start, end;
        VNTRSetRecurrenceAnswerer([&](TRecurrenceDlg &dlg) {
            noEndChecked = dlg.findChild<QRadioButton *>(QStringLiteral("radNoEnd"))->isChecked();
            endByChecked = dlg.findChild<QRadioButton *>(QStringLiteral("radEndBy"))->isChecked();
            endEnabled = dlg.findChild<QDateEdit *>(QStringLiteral("txtEndDate"))->isEnabled();
            start = dlg.findChild<QDateEdit *>(QStringLiteral("txtStartDate"))->date();
            end = dlg.findChild<QDateEdit *>(QStringLiteral("txtEndDate"))->date();
            QCOMPARE(ZTHelpContext(&dlg), 550);
            QCOMPARE(dlg.windowTitle(), QStringLiteral("Advanced..."));
        });
        TDateTime s = Day(2024, 5, 14), e = Day(2024, 5, 21);
        bool flag = noEnd;
        QVERIFY(!ShowRecurrenceRangeDialog(nullptr, s, flag, e));
        QCOMPARE(noEndChecked, noEnd);
        QCOMPARE(endByChecked, !noEnd);
        QCOMPARE(endEnabled, !noEnd);
        QCOMPARE(start, QDate(2024, 5, 14));
        QCOMPARE(end, QDate(2024, 5, 21));
    }

    // OK validates the end against the start only for "End by:"; what comes back.
    void rangeAnswers_data()
    {
        QTest::addColumn<QString>("choice"); // "noEnd", "endBy" or "cancel"
        QTest::addColumn<QDate>("endDate");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("error");
        const QString none;
        const QString refused = QStringLiteral("The reminder end date must be greater than the start date.");
        QTest::newRow("end before start refused") << "endBy" << QDate(2024, 5, 13) << false << refused;
        QTest::newRow("same dates, no end: accepted") << "noEnd" << QDate(2024, 5, 13) << true << none;
        QTest::newRow("end on the start day") << "endBy" << QDate(2024, 5, 14) << true << none;
        QTest::newRow("end after start") << "endBy" << QDate(2024, 6, 1) << true << none;
        QTest::newRow("cancel") << "cancel" << QDate(2024, 6, 1) << false << none;
    }
    void rangeAnswers()
    {
        QFETCH(QString, choice);
        QFETCH(QDate, endDate);
        QFETCH(bool, result);
        QFETCH(QString, error);
        bool stayedOpen = false;
        VNTRSetRecurrenceAnswerer([&](TRecurrenceDlg &dlg) {
            dlg.findChild<QRadioButton *>(choice == QLatin1String("noEnd") ? QStringLiteral("radNoEnd")
                                                                           : QStringLiteral("radEndBy"))
                ->click();
            QCOMPARE(dlg.findChild<QDateEdit *>(QStringLiteral("txtEndDate"))->isEnabled(), choice != QLatin1String("noEnd"));
            dlg.findChild<QDateEdit *>(QStringLiteral("txtEndDate"))->setDate(endDate);
            if (choice == QLatin1String("cancel")) {
                dlg.PressCancel();
                return;
            }
            dlg.PressOK();
            stayedOpen = !dlg.Confirmed();
        });
        TDateTime s = Day(2024, 5, 14), e = Day(2024, 5, 20);
        bool noEnd = choice != QLatin1String("noEnd");
        QCOMPARE(ShowRecurrenceRangeDialog(nullptr, s, noEnd, e), result);
        QCOMPARE(errors_, error.isEmpty() ? QStringList() : QStringList{error});
        QCOMPARE(stayedOpen, !error.isEmpty());
        QCOMPARE(s, Day(2024, 5, 14));
        if (result) {
            QCOMPARE(noEnd, choice == QLatin1String("noEnd"));
            QCOMPARE(DateTimeToQDate(e), endDate); // given back also without an end
        } else {
            QCOMPARE(noEnd, choice == QLatin1String("noEnd") ? false : true);
            QCOMPARE(e, Day(2024, 5, 20));
        }
    }

    // ---- Occurrence or series ----

    void question_data()
    {
        QTest::addColumn<bool>("deleting");
        QTest::addColumn<QString>("answer"); // "ok", "series", "cancel"
        QTest::addColumn<bool>("result");
        QTest::addColumn<bool>("series");
        QTest::newRow("open, OK unchanged") << false << "ok" << true << false;
        QTest::newRow("open the series") << false << "series" << true << true;
        QTest::newRow("open, cancel") << false << "cancel" << false << true;
        QTest::newRow("delete, OK unchanged") << true << "ok" << true << false;
        QTest::newRow("delete the series") << true << "series" << true << true;
        QTest::newRow("delete, cancel") << true << "cancel" << false << true;
    }
    void question()
    {
        QFETCH(bool, deleting);
        QFETCH(QString, answer);
        QFETCH(bool, result);
        QFETCH(bool, series);
        const QString verb = deleting ? QStringLiteral("delete") : QStringLiteral("open");
        const QString Verb = deleting ? QStringLiteral("Delete") : QStringLiteral("Open");
        // A percent sign, a place holder and markup in the text all show as typed (a text short
        // enough for the question's lines).
        const QString text = QStringLiteral("5% %s <b>%1</b>");
        QString caption, description, occurrence, seriesText;
        bool occurrenceSelected = false;
        Qt::TextFormat format = Qt::AutoText;
        VNTRSetRecurringAnswerer([&](TRecurringDlg &dlg) {
            caption = dlg.windowTitle();
            const auto *label = dlg.findChild<QLabel *>(QStringLiteral("lblDescription"));
            description = label->text();
            format = label->textFormat();
            occurrence = dlg.findChild<QRadioButton *>(QStringLiteral("radOccurrence"))->text();
            seriesText = dlg.findChild<QRadioButton *>(QStringLiteral("radSeries"))->text();
            occurrenceSelected = dlg.findChild<QRadioButton *>(QStringLiteral("radOccurrence"))->isChecked();
            return TRecurringAnswer{answer != QLatin1String("cancel"), answer == QLatin1String("series")};
        });
        bool given = true; // untouched on cancel
        QCOMPARE(deleting ? AskDeleteOccurrenceOrSeries(nullptr, text, given) : AskOpenOccurrenceOrSeries(nullptr, text, given),
                 result);
        QCOMPARE(given, series);
        QCOMPARE(caption, Verb + QStringLiteral(" recurring item..."));
        QCOMPARE(description, QStringLiteral("'5% %s <b>%1</b>' is a recurring reminder. Do you want to ") + verb
                                  + QStringLiteral(" only this occurrence or the series?"));
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(occurrence, Verb + QStringLiteral(" this occ&urrence"));
        QCOMPARE(seriesText, Verb + QStringLiteral(" the &series"));
        QVERIFY(occurrenceSelected);
    }

    // However long the reminder's text, the question itself shows whole: the text is shortened
    // to what the label's lines leave.
    void longTextKeepsTheQuestion_data()
    {
        QTest::addColumn<int>("length");
        QTest::newRow("short") << 10;
        QTest::newRow("about four lines") << 190;
        QTest::newRow("very long") << 5000;
    }
    void longTextKeepsTheQuestion()
    {
        QFETCH(int, length);
        const QString text = QString(QStringLiteral("word ")).repeated(length / 5 + 1).left(length);
        QString description;
        bool fits = false;
        VNTRSetRecurringAnswerer([&](TRecurringDlg &dlg) {
            const auto *label = dlg.findChild<QLabel *>(QStringLiteral("lblDescription"));
            description = label->text();
            fits = label->heightForWidth(label->width()) <= label->height();
            return TRecurringAnswer{false, false};
        });
        bool series = false;
        AskOpenOccurrenceOrSeries(nullptr, text, series);
        QVERIFY2(description.endsWith(
                     QLatin1String("' is a recurring reminder. Do you want to open only this occurrence or the series?")),
                 qPrintable(description));
        QVERIFY2(fits, qPrintable(description));
        QCOMPARE(description.contains(text), length == 10);
    }

    // The shown question by keyboard: the arrow moves to the series, Enter confirms, Alt+S
    // reaches the series choice; Esc answers nothing.
    void questionKeys_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Down then Enter") << false;
        QTest::newRow("Esc") << true;
    }
    void questionKeys()
    {
        QFETCH(bool, escape);
        TModalDriver driver([&](QDialog *dialog) {
            QWidget *focus = QApplication::focusWidget() ? QApplication::focusWidget() : dialog;
            if (escape) {
                QTest::keyClick(focus, Qt::Key_Escape);
                return;
            }
            auto *radSeries = dialog->findChild<QRadioButton *>(QStringLiteral("radSeries"));
            QTest::keyClick(focus, Qt::Key_S, Qt::AltModifier);
            QCOMPARE(QApplication::focusWidget(), radSeries);
            QTest::keyClick(radSeries, Qt::Key_Up);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
            QVERIFY(radSeries->isChecked());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        });
        bool series = false;
        QCOMPARE(AskOpenOccurrenceOrSeries(nullptr, QStringLiteral("Call"), series), !escape);
        QVERIFY(driver.Found && !driver.LeftOpen);
        QCOMPARE(series, !escape);
    }
};

VENTARO_TEST_MAIN(TestFrmRecurrence, QApplication)
#include "tst_frmRecurrence.moc"
