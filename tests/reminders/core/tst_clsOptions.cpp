#include "TestEnv.h"
#include "ZTDateUtils.h"
#include "ZTRegUtils.h"
#include "clsOptions.h"

#include <QtTest>

namespace {
constexpr TZTRegHive CU = TZTRegHive::CurrentUser;
const QString Options = QString::fromUtf16(VNTRRegistryKey) + QStringLiteral("\\Options");
QString RunKey()
{
    return QString::fromUtf16(ZTRunKey);
}

// Every field by its value name, as text (colours in hexadecimal).
QMap<QString, QString> Fields(const TVNTROptions &o)
{
    QMap<QString, QString> m;
    // clang-format off
#define VNTR_FIELD(f) m[QStringLiteral(#f)] = QVariant(o.f).toString();
#define VNTR_COLOR(f) m[QStringLiteral(#f)] = QString::number(o.f, 16);
    VNTR_FIELD(CloseMinimizes) VNTR_FIELD(SaveWindow) VNTR_FIELD(AutoStartup) VNTR_FIELD(ShowTips)
    VNTR_FIELD(DeleteAfterDismiss) VNTR_FIELD(ShowNotification) VNTR_COLOR(BackColor) VNTR_COLOR(TextColor) VNTR_COLOR(TitleBackColor)
    VNTR_COLOR(TitleTextColor) VNTR_COLOR(TrailingTextColor) VNTR_FIELD(StartTime) VNTR_FIELD(EndTime)
    VNTR_FIELD(DefaultReminder) VNTR_COLOR(PanelWorkingColor) VNTR_COLOR(PanelNonworkingColor)
    VNTR_COLOR(PanelSelectedColor) VNTR_COLOR(PanelHourBackColor) VNTR_COLOR(PanelHourTextColor)
    VNTR_COLOR(ReminderBackColor) VNTR_COLOR(ReminderTextColor) VNTR_COLOR(ReminderSelectedBackColor)
    VNTR_COLOR(ReminderSelectedTextColor) VNTR_FIELD(DefaultSound) VNTR_FIELD(WorkDays)
    VNTR_FIELD(SyncEnabled) VNTR_FIELD(SyncUrl) VNTR_FIELD(SyncUser) VNTR_FIELD(SyncInterval) VNTR_FIELD(SyncPasswordCommand)
#undef VNTR_FIELD
#undef VNTR_COLOR
        // clang-format on
        return m;
}

QString Joined(const QMap<QString, QString> &m, const QStringList &names)
{
    QStringList values;
    for (const QString &n : names)
        values << m.value(n);
    return values.join(' ');
}
} // namespace

class TestClsOptions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup()
    {
        QFile::remove(ZTRegHiveFileName(CU));
        QFile::remove(ZTAutostartFileName("VNTR"));
    }

    // A first run: every default, and no start at log-on since the Run value is missing.
    void firstRunDefaults()
    {
        TVNTROptions o;
        o.LoadFromRegistry();
        const auto f = Fields(o);
        QCOMPARE(Joined(f, {"CloseMinimizes", "SaveWindow", "AutoStartup", "ShowTips", "DeleteAfterDismiss", "ShowNotification"}),
                 QStringLiteral("true true false true true true"));
        QCOMPARE(Joined(f, {"StartTime", "EndTime", "DefaultReminder", "WorkDays", "DefaultSound"}),
                 QStringLiteral("18 38 0 1111100 "));
        QCOMPARE(Joined(f, {"SyncEnabled", "SyncInterval", "SyncUrl", "SyncUser", "SyncPasswordCommand"}),
                 QStringLiteral("false 15   "));
        QCOMPARE(Joined(f, {"BackColor", "TextColor", "TitleBackColor", "TitleTextColor", "TrailingTextColor"}),
                 QStringLiteral("80000005 80000008 80000002 ffffff 80000013"));
        QCOMPARE(Joined(f, {"PanelWorkingColor", "PanelNonworkingColor", "PanelSelectedColor", "PanelHourBackColor",
                            "PanelHourTextColor", "ReminderBackColor", "ReminderTextColor", "ReminderSelectedBackColor",
                            "ReminderSelectedTextColor"}),
                 QStringLiteral("80000014 8000000f 8000000d 80000003 80000009 80000018 80000008 8000000d 8000000e"));
        QVERIFY(!QFile::exists(ZTRegHiveFileName(CU))); // loading writes nothing
    }

    // Every field reaches its own value and comes back; the Run value is not part of it.
    void roundTrip()
    {
        TVNTROptions saved;
        saved.CloseMinimizes = saved.SaveWindow = saved.ShowTips = saved.DeleteAfterDismiss = saved.ShowNotification = false;
        TColor *colours[] = {&saved.BackColor,
                             &saved.TextColor,
                             &saved.TitleBackColor,
                             &saved.TitleTextColor,
                             &saved.TrailingTextColor,
                             &saved.PanelWorkingColor,
                             &saved.PanelNonworkingColor,
                             &saved.PanelSelectedColor,
                             &saved.PanelHourBackColor,
                             &saved.PanelHourTextColor,
                             &saved.ReminderBackColor,
                             &saved.ReminderTextColor,
                             &saved.ReminderSelectedBackColor,
                             &saved.ReminderSelectedTextColor};
        for (int i = 0; i < 14; ++i)
            *colours[i] = i % 2 ? clSystemColor + TColor(i) : ZTRgb(i, 255 - i, 7 * i);
        saved.StartTime = 0;
        saved.EndTime = 47;
        saved.DefaultReminder = 12;
        saved.DefaultSound = QStringLiteral("/home/ann/sounds/bell ring, loud.wav");
        saved.WorkDays = QStringLiteral("0111110");
        saved.SyncEnabled = true;
        saved.SyncUrl = QStringLiteral("https://dav.example.org/cal/ann/reminders/");
        saved.SyncUser = QStringLiteral("ann");
        saved.SyncInterval = 5;
        saved.SyncPasswordCommand = QStringLiteral("pass show dav/ann");
        saved.SaveToRegistry();
        // The sync switch is a DWORD like the others.
        QCOMPARE(ZTRegReadInteger(CU, Options, "SyncEnabled", -1), 1);
        QVERIFY(!QFile::exists(ZTAutostartFileName("VNTR")));

        TVNTROptions loaded;
        loaded.LoadFromRegistry();
        saved.AutoStartup = false;
        QCOMPARE(Fields(loaded), Fields(saved));
        // A system colour is stored as the same 32 bits, so it reads as a negative number.
        QCOMPARE(ZTRegReadInteger(CU, Options, "TextColor", 0), qint32(0x80000001));
    }

    // Each value is read on its own: a value of another type keeps the default while the
    // others still load; values out of range are taken as stored.
    void storedValues_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariant>("stored"); // a QString is written as text, an int as DWORD
        QTest::addColumn<QString>("expected");
        QTest::newRow("StartTime as text") << "StartTime" << QVariant("20") << "18";
        QTest::newRow("StartTime out of range") << "StartTime" << QVariant(60) << "60";
        QTest::newRow("ShowTips 2 is true") << "ShowTips" << QVariant(2) << "true";
        QTest::newRow("ShowTips 0") << "ShowTips" << QVariant(0) << "false";
        QTest::newRow("ShowTips as text") << "ShowTips" << QVariant("0") << "true";
        QTest::newRow("ShowNotification 0") << "ShowNotification" << QVariant(0) << "false";
        QTest::newRow("red title text") << "TitleTextColor" << QVariant(0xFF) << "ff";
        QTest::newRow("colour as text") << "BackColor" << QVariant("clRed") << "80000005";
        QTest::newRow("WorkDays as number") << "WorkDays" << QVariant(11111) << "1111100";
        QTest::newRow("short WorkDays") << "WorkDays" << QVariant("11111") << "11111";
    }
    void storedValues()
    {
        QFETCH(QString, name);
        QFETCH(QVariant, stored);
        QFETCH(QString, expected);
        ZTRegWriteInteger(CU, Options, "EndTime", 40);
        if (stored.typeId() == QMetaType::QString)
            ZTRegWriteString(CU, Options, name, stored.toString());
        else
            ZTRegWriteInteger(CU, Options, name, stored.toInt());
        TVNTROptions o;
        o.LoadFromRegistry();
        QCOMPARE(o.EndTime, 40);
        QCOMPARE(Fields(o).value(name), expected);
    }

    void workingTime()
    {
        TVNTROptions o;
        const TDateTime monday = EncodeDate(2024, 3, 4);
        QVERIFY(!o.IsWorkingTime(monday, 17) && o.IsWorkingTime(monday, 18));
        QVERIFY(o.IsWorkingTime(monday, 38) && !o.IsWorkingTime(monday, 39));
        QVERIFY(!o.IsWorkingTime(EncodeDate(2024, 3, 9), 20)); // Saturday
        // A short working-week string leaves the missing days free.
        o.WorkDays = QStringLiteral("11111");
        QVERIFY(!o.IsWorkingDay(6) && !o.IsWorkingDay(7) && o.IsWorkingDay(5));
        // A start beyond the last slot leaves no working time.
        o.StartTime = 60;
        for (int slot = 0; slot < 48; ++slot)
            QVERIFY(!o.IsWorkingTime(monday, slot));
    }

    // Starting at log-on follows the Run value, which may change outside the program.
    void autoStartup()
    {
        TVNTROptions o;
        o.AutoStartup = true;
        o.ApplyAutoStartup(QStringLiteral("/opt/ventaro dir/ventaro"));
        QCOMPARE(ZTRegReadString(CU, RunKey(), "VNTR", ""), QStringLiteral("/opt/ventaro dir/ventaro"));
        TVNTROptions loaded;
        loaded.AutoStartup = false;
        loaded.LoadFromRegistry();
        QVERIFY(loaded.AutoStartup);
        QFile::remove(ZTAutostartFileName("VNTR"));
        loaded.LoadFromRegistry();
        QVERIFY(!loaded.AutoStartup);

        o.ApplyAutoStartup(QStringLiteral("/usr/bin/ventaro"));
        o.AutoStartup = false;
        o.ApplyAutoStartup(QStringLiteral("/usr/bin/ventaro"));
        QVERIFY(!QFile::exists(ZTAutostartFileName("VNTR")));
    }
};

VENTARO_TEST_MAIN(TestClsOptions, QCoreApplication)
#include "tst_clsOptions.moc"
