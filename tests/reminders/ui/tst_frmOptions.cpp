// The preferences dialog: loading, the checks of Apply and OK, what Apply writes and in which
// order, Cancel, the default-colour buttons and the autostart entry.
#include "TestEnv.h"

#include "ZTColorBox.h"
#include "ZTExceptions.h"
#include "ZTFileEdit.h"
#include "ZTHelpUtils.h"
#include "ZTRegUtils.h"
#include "clsOptions.h"
#include "frmOptions.h"
#include "uMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

namespace {
constexpr TZTRegHive CU = TZTRegHive::CurrentUser;
const QString kProgram = QStringLiteral("/opt/ventaro/ventaro");

template <class T>
T *Child(QWidget &dialog, const char *name)
{
    T *child = dialog.findChild<T *>(QString::fromLatin1(name));
    if (!child)
        qFatal("no control %s", name);
    return child;
}

TZTColorBox *Color(QWidget &dialog, const char *name)
{
    return Child<TZTColorBox>(dialog, name);
}

bool SavedInRegistry(const char *value)
{
    return ZTRegValueExists(CU, Options->OptionsKey(), QString::fromLatin1(value));
}

bool AutostartEntryExists()
{
    return ZTRegValueExists(CU, QString::fromUtf16(ZTRunKey), QString::fromUtf16(VNTRRunValue));
}

// The fourteen colours, for comparing whole option sets.
constexpr TColor TVNTROptions::*kColors[] = {
    &TVNTROptions::BackColor,
    &TVNTROptions::TextColor,
    &TVNTROptions::TitleBackColor,
    &TVNTROptions::TitleTextColor,
    &TVNTROptions::TrailingTextColor,
    &TVNTROptions::PanelWorkingColor,
    &TVNTROptions::PanelNonworkingColor,
    &TVNTROptions::PanelSelectedColor,
    &TVNTROptions::PanelHourBackColor,
    &TVNTROptions::PanelHourTextColor,
    &TVNTROptions::ReminderBackColor,
    &TVNTROptions::ReminderTextColor,
    &TVNTROptions::ReminderSelectedBackColor,
    &TVNTROptions::ReminderSelectedTextColor,
};
// The boxes of those colours, in the same order.
const QStringList kColorBoxes = {
    "cbBackColor",
    "cbTextColor",
    "cbTitleBackColor",
    "cbTitleTextColor",
    "cbTrailingTextColor",
    "cbPanelWorkingColor",
    "cbPanelNonworkingColor",
    "cbPanelSelectedColor",
    "cbPanelHourBackColor",
    "cbPanelHourTextColor",
    "cbReminderBackColor",
    "cbReminderTextColor",
    "cbReminderSelectedBackColor",
    "cbReminderSelectedTextColor",
};

int CountDialogs()
{
    const auto widgets = QApplication::allWidgets();
    return int(std::count_if(widgets.begin(), widgets.end(), [](QWidget *w) { return qobject_cast<TOptionsDlg *>(w); }));
}
} // namespace

class TestFrmOptions : public QObject {
    Q_OBJECT

private:
    QString wav_;
    QStringList errors_;
    int applied_ = 0;
    std::function<void()> onApplied_;

    // Opens the dialog through the entry operation; act plays the user.
    void Run(TOptionsAnswerer act)
    {
        VNTRSetOptionsAnswerer(std::move(act));
        ShowPreferencesDialog(nullptr, [this] {
            ++applied_;
            if (onApplied_)
                onApplied_();
        });
    }

private Q_SLOTS:
    void init()
    {
        const QString root = qEnvironmentVariable("HOME");
        wav_ = root + QStringLiteral("/chime.wav");
        for (const QString &name : {wav_, root + QStringLiteral("/notes.txt"), root + QStringLiteral("/LOUD.WAV")}) {
            QFile file(name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("RIFF");
        }
        ZTApplication = std::make_unique<TZTApplication>();
        ZTApplication->ExeName = kProgram;
        Options = std::make_unique<TVNTROptions>();
        Options->DefaultSound = wav_;
        Options->AutoStartup = false;
        errors_.clear();
        applied_ = 0;
        onApplied_ = {};
        ZTSetExceptionHandler([this](const std::exception_ptr &error) {
            try {
                std::rethrow_exception(error);
            } catch (const EZTException &e) {
                errors_ << QStringLiteral("%1|%2|%3").arg(e.Message(), e.Details()).arg(e.Severity());
            } catch (...) {
                errors_ << QStringLiteral("not an EZTException");
            }
        });
    }
    void cleanup()
    {
        VNTRSetOptionsAnswerer({});
        ZTSetColorDialogAnswerer({});
        ZTSetExceptionHandler({});
        QFile::remove(ZTRegHiveFileName(CU));
        QFile::remove(ZTAutostartFileName(QString::fromUtf16(VNTRRunValue)));
        Options.reset();
        ZTApplication.reset();
        QVERIFY(!PreferencesOpen);
    }

    void form()
    {
        TOptionsDlg dialog;
        auto *tabs = Child<QTabWidget>(dialog, "pcOptions");
        // Wider than 434 only where the desktop's face needs it: every tab caption shows.
        QVERIFY(dialog.width() >= 434 && dialog.height() == 330);
        QCOMPARE(tabs->count(), 6);
        QCOMPARE(tabs->tabText(5), QStringLiteral("S&ynchronize"));
        QVERIFY(tabs->tabBar()->tabRect(5).right() < tabs->width());
        QCOMPARE(ZTHelpContext(&dialog), 500);
        QVERIFY(Child<QPushButton>(dialog, "cmdOK")->isDefault());
        // Every control a user acts on can be found by a screen reader.
        const auto controls = dialog.findChildren<QWidget *>();
        for (QWidget *control : controls)
            if (qobject_cast<QAbstractButton *>(control) || qobject_cast<QComboBox *>(control)
                || qobject_cast<TZTFileEdit *>(control))
                QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
        QCOMPARE(Child<QComboBox>(dialog, "cbStartTime")->accessibleName(), QStringLiteral("Start time"));
    }

    // What the controls show, and that Apply without changes gives the same options back.
    void loadAndWriteBack_data()
    {
        QTest::addColumn<QString>("workDays");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<int>("snooze");
        QTest::addColumn<QString>("ticked");
        QTest::addColumn<int>("shownStart");
        QTest::newRow("every value in range") << "1010101" << 3 << 47 << 12 << "1010101" << 3;
        QTest::newRow("short work week") << "11" << 0 << 0 << 0 << "1100000" << 0;
        // A stored value out of range selects nothing and stays as stored.
        QTest::newRow("start time past the list") << "1111100" << 60 << 38 << 20 << "1111100" << -1;
    }
    void loadAndWriteBack()
    {
        QFETCH(QString, workDays);
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(int, snooze);
        QFETCH(QString, ticked);
        QFETCH(int, shownStart);
        Options->WorkDays = workDays;
        Options->StartTime = start;
        Options->EndTime = end;
        Options->DefaultReminder = snooze;
        Options->CloseMinimizes = false;
        Options->DeleteAfterDismiss = false;
        TColor next = 0x102030;
        for (auto field : kColors)
            (*Options).*field = (next += 0x010101);
        Options->PanelSelectedColor = clBtnFace;
        const TVNTROptions before = *Options;

        Run([&](TOptionsDlg &dialog) {
            QString shown;
            for (int day = 1; day <= 7; ++day)
                shown += Child<QCheckBox>(dialog, qPrintable(QStringLiteral("chkDay%1").arg(day)))->isChecked() ? '1' : '0';
            QCOMPARE(shown, ticked);
            QCOMPARE(Child<QComboBox>(dialog, "cbStartTime")->count(), 48);
            QCOMPARE(Child<QComboBox>(dialog, "cbStartTime")->currentIndex(), shownStart);
            QCOMPARE(Color(dialog, "cbPanelSelectedColor")->Selected(), clBtnFace);
            QVERIFY(!Child<QCheckBox>(dialog, "chkCloseMinimizes")->isChecked());
            dialog.PressApply();
        });
        QCOMPARE(errors_, QStringList());
        QCOMPARE(Options->WorkDays, workDays);
        QCOMPARE(Options->StartTime, start);
        QCOMPARE(Options->EndTime, end);
        QCOMPARE(Options->DefaultReminder, snooze);
        QCOMPARE(Options->CloseMinimizes, false);
        QCOMPARE(Options->DeleteAfterDismiss, false);
        QCOMPARE(Options->DefaultSound, wav_);
        for (auto field : kColors)
            QCOMPARE((*Options).*field, before.*field);
    }

    // Each check in its order; a failure writes nothing and leaves the dialog open.
    void validation_data()
    {
        QTest::addColumn<QString>("sound");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<QString>("error");
        const QString home = qEnvironmentVariable("HOME");
        QTest::newRow("empty location, times wrong too")
            << "" << 21 << 20 << "You must specify the reminder sound file location.";
        QTest::newRow("missing file") << home + "/gone.wav" << 21 << 20 << "Default reminder sound file does not exist.";
        QTest::newRow("not a WAV file") << home + "/notes.txt" << 20 << 20
                                        << "Default reminder sound file must be a WAV file (extension .wav).";
        QTest::newRow("end before start") << home + "/chime.wav" << 20 << 19 << "Start Time must be lower than End Time.";
        QTest::newRow("one half hour") << home + "/chime.wav" << 20 << 20 << "";
        QTest::newRow("upper-case extension") << home + "/LOUD.WAV" << 0 << 47 << "";
    }
    void validation()
    {
        QFETCH(QString, sound);
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(QString, error);
        int result = -1;
        Run([&](TOptionsDlg &dialog) {
            Child<TZTFileEdit>(dialog, "txtDefaultSoundFile")->SetFileName(sound);
            Child<QComboBox>(dialog, "cbStartTime")->setCurrentIndex(start);
            Child<QComboBox>(dialog, "cbEndTime")->setCurrentIndex(end);
            Child<QCheckBox>(dialog, "chkCloseMinimizes")->setChecked(false);
            dialog.PressOK();
            result = dialog.result();
        });
        if (!error.isEmpty()) {
            QCOMPARE(errors_, QStringList({error + "||2"}));
            QCOMPARE(result, int(QDialog::Rejected));
            QCOMPARE(Options->CloseMinimizes, true);
            QCOMPARE(Options->DefaultSound, wav_);
            QCOMPARE(applied_, 0);
            QVERIFY(!SavedInRegistry("CloseMinimizes"));
        } else {
            QCOMPARE(errors_, QStringList());
            QCOMPARE(result, int(QDialog::Accepted));
            QCOMPARE(Options->CloseMinimizes, false);
            QCOMPARE(Options->DefaultSound, sound);
            QCOMPARE(Options->StartTime, start);
            QCOMPARE(Options->EndTime, end);
            QCOMPARE(applied_, 1);
            QVERIFY(SavedInRegistry("CloseMinimizes"));
        }
    }

    // The Synchronize tab: the address is checked only while sync is on; plain http only for
    // this computer. A typed password never reaches the settings file.
    void syncSettings_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("error");
        QTest::newRow("off, garbage kept") << false << "not an address"
                                           << "";
        QTest::newRow("on, no address") << true << "  "
                                        << "You must specify the calendar server's address.";
        QTest::newRow("on, no scheme") << true << "dav.example.org/cal"
                                       << "The calendar server's address must begin with https://.";
        QTest::newRow("on, ftp") << true << "ftp://dav.example.org/"
                                 << "The calendar server's address must begin with https://.";
        QTest::newRow("on, plain http elsewhere")
            << true << "http://dav.example.org/"
            << "Plain http is accepted only for this computer's own address; use https for the calendar server.";
        QTest::newRow("on, plain http here") << true << "http://127.0.0.1:5232/ann/"
                                             << "";
        QTest::newRow("on, https") << true << " https://dav.example.org/remote.php/dav "
                                   << "";
    }
    void syncSettings()
    {
        QFETCH(bool, enabled);
        QFETCH(QString, url);
        QFETCH(QString, error);
        const QString password = QStringLiteral("s3cret-Pa55");
        Run([&](TOptionsDlg &dialog) {
            QVERIFY(!Child<QPushButton>(dialog, "cmdSyncNow")->isEnabled()); // no sync to run
            Child<QCheckBox>(dialog, "chkSyncEnabled")->setChecked(enabled);
            QCOMPARE(Child<QLineEdit>(dialog, "txtSyncUrl")->isEnabled(), enabled);
            Child<QLineEdit>(dialog, "txtSyncUrl")->setText(url);
            Child<QLineEdit>(dialog, "txtSyncUser")->setText(QStringLiteral("ann"));
            Child<QLineEdit>(dialog, "txtSyncPassword")->setText(password);
            Child<QSpinBox>(dialog, "spnSyncInterval")->setValue(30);
            dialog.PressOK();
        });
        if (!error.isEmpty()) {
            QCOMPARE(errors_, QStringList({error + "||2"}));
            QCOMPARE(Options->SyncEnabled, false);
            return;
        }
        QCOMPARE(errors_, QStringList());
        QCOMPARE(Options->SyncEnabled, enabled);
        QCOMPARE(Options->SyncUrl, url.trimmed());
        QCOMPARE(Options->SyncUser, QStringLiteral("ann"));
        QCOMPARE(Options->SyncInterval, 30);
        QFile hive(ZTRegHiveFileName(CU));
        QVERIFY(hive.open(QIODevice::ReadOnly));
        const QByteArray written = hive.readAll();
        QVERIFY(written.contains("SyncInterval"));
        QVERIFY(!written.contains(password.toUtf8()));
    }

    // The windows are told after the options and the autostart entry are written, before
    // saving; unticking the box removes the entry again.
    void applyOrderAndAutostart()
    {
        TColor seenColor = 0;
        bool seenEntry = false, seenSaved = true;
        onApplied_ = [&] {
            if (applied_ > 1)
                return;
            seenColor = Options->BackColor;
            seenEntry = AutostartEntryExists();
            seenSaved = SavedInRegistry("BackColor");
        };
        Run([](TOptionsDlg &dialog) {
            Color(dialog, "cbBackColor")->SetSelected(clRed);
            Child<QCheckBox>(dialog, "chkAutoStartup")->setChecked(true);
            dialog.PressApply();
            QCOMPARE(ZTRegReadString(CU, QString::fromUtf16(ZTRunKey), "VNTR", ""), kProgram);
            QCOMPARE(ZTRegReadInteger(CU, Options->OptionsKey(), "BackColor", 0), qint32(clRed));
            Child<QCheckBox>(dialog, "chkAutoStartup")->setChecked(false);
            dialog.PressApply();
        });
        QCOMPARE(applied_, 2);
        QCOMPARE(seenColor, clRed);
        QVERIFY(seenEntry);
        QVERIFY(!seenSaved);
        QVERIFY(!AutostartEntryExists());
        QVERIFY(!QFile::exists(ZTAutostartFileName("VNTR")));
    }

    // A work-week string shorter than seven days is never lengthened.
    void shortWorkWeek_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("saved");
        QTest::newRow("five days, Saturday ticked") << "11111"
                                                    << "01111";
        QTest::newRow("seven days") << "1111100"
                                    << "0111110";
    }
    void shortWorkWeek()
    {
        QFETCH(QString, stored);
        QFETCH(QString, saved);
        Options->WorkDays = stored;
        Run([](TOptionsDlg &dialog) {
            Child<QCheckBox>(dialog, "chkDay1")->setChecked(false);
            Child<QCheckBox>(dialog, "chkDay6")->setChecked(true);
            dialog.PressOK();
        });
        QCOMPARE(Options->WorkDays, saved);
        QCOMPARE(ZTRegReadString(CU, Options->OptionsKey(), "WorkDays", "unset"), saved);
    }

    // The notification preference is shown as stored, and the user's choice is stored.
    void notificationPreference_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::newRow("on, turned off") << true;
        QTest::newRow("off, turned on") << false;
    }
    void notificationPreference()
    {
        QFETCH(bool, stored);
        Options->ShowNotification = stored;
        Run([&](TOptionsDlg &dialog) {
            auto *box = Child<QCheckBox>(dialog, "chkShowNotification");
            QCOMPARE(box->isChecked(), stored);
            QCOMPARE(box->text(), QStringLiteral("Show a desktop &notification with each alert"));
            box->setChecked(!stored);
            dialog.PressOK();
        });
        QCOMPARE(Options->ShowNotification, !stored);
        QCOMPARE(ZTRegReadInteger(CU, Options->OptionsKey(), "ShowNotification", -1), stored ? 0 : 1);
    }

    // Cancel drops the changes made since the last Apply, and only those.
    void applyThenCancel()
    {
        Run([](TOptionsDlg &dialog) {
            Color(dialog, "cbBackColor")->SetSelected(clRed);
            dialog.PressApply();
            Color(dialog, "cbBackColor")->SetSelected(clBlue);
            Color(dialog, "cbTextColor")->SetSelected(clLime);
            dialog.PressCancel();
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
        });
        QCOMPARE(Options->BackColor, clRed);
        QCOMPARE(Options->TextColor, clWindowText);
        QCOMPARE(ZTRegReadInteger(CU, Options->OptionsKey(), "BackColor", 0), qint32(clRed));
        QCOMPARE(applied_, 1);
    }

    // Each "Use Default" button resets its own tab's boxes only, and writes nothing.
    void defaultButtons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QStringList>("reset");
        QTest::newRow("calendar") << "cmdDefault1"
                                  << QStringList({"cbBackColor", "cbTextColor", "cbTitleBackColor", "cbTitleTextColor",
                                                  "cbTrailingTextColor"});
        QTest::newRow("time panels") << "cmdDefault2"
                                     << QStringList({"cbPanelWorkingColor", "cbPanelNonworkingColor", "cbPanelSelectedColor",
                                                     "cbPanelHourBackColor", "cbPanelHourTextColor"});
        QTest::newRow("reminders") << "cmdDefault3"
                                   << QStringList({"cbReminderBackColor", "cbReminderTextColor", "cbReminderSelectedBackColor",
                                                   "cbReminderSelectedTextColor"});
    }
    void defaultButtons()
    {
        QFETCH(QString, button);
        QFETCH(QStringList, reset);
        const TVNTROptions defaults;
        for (auto field : kColors)
            (*Options).*field = clOlive;
        Run([&](TOptionsDlg &dialog) {
            Child<QPushButton>(dialog, qPrintable(button))->click();
            for (qsizetype i = 0; i < kColorBoxes.size(); ++i) {
                const TColor shown = Color(dialog, qPrintable(kColorBoxes[i]))->Selected();
                const TColor expected = reset.contains(kColorBoxes[i]) ? defaults.*kColors[i] : clOlive;
                QVERIFY2(shown == expected, qPrintable(kColorBoxes[i]));
            }
            dialog.PressCancel();
        });
        for (auto field : kColors)
            QCOMPARE((*Options).*field, clOlive);
        QVERIFY(!SavedInRegistry("BackColor"));
        QCOMPARE(applied_, 0);
    }

    // A second Preferences command only brings the open dialog forward.
    void secondCommand()
    {
        int shown = 0;
        Run([&](TOptionsDlg &) {
            ++shown;
            QVERIFY(PreferencesOpen);
            ShowPreferencesDialog(nullptr, {});
            QCOMPARE(CountDialogs(), 1);
        });
        QCOMPARE(shown, 1);
        QVERIFY(!PreferencesOpen);
        QCOMPARE(CountDialogs(), 0);
    }
};

VENTARO_TEST_MAIN(TestFrmOptions, QApplication)
#include "tst_frmOptions.moc"
