#include "ModalDriver.h"
#include "TestEnv.h"
#include "ZTApp.h"
#include "ZTClock.h"
#include "ZTMsgFrm.h"
#include "ZTTipOfTheDay.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QtTest>

class TestZTTipOfTheDay : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString WriteTips(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir_.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QString();
        file.write(bytes);
        return path;
    }

    static TZTApplication &App(const QString &tipsFile)
    {
        static TZTApplication app;
        app.Title = QStringLiteral("Merrowick Ventaro!");
        app.FontName = QStringLiteral("Tahoma");
        app.LanguageId = 1;
        app.TipsFile = tipsFile;
        return app;
    }

    static TTipOfTheDayForm *Form(QDialog *dialog) { return qobject_cast<TTipOfTheDayForm *>(dialog); }

private Q_SLOTS:
    void initTestCase() { ZTPinClock(QDateTime(QDate(2024, 3, 1), QTime(9, 30))); }
    void cleanupTestCase() { ZTResetClock(); }

    void loadTips_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("tips");
        QTest::newRow("CR LF, final break adds nothing") << QByteArray("one\r\ntwo\r\n") << QStringList{"one", "two"};
        QTest::newRow("LF and CR") << QByteArray("one\ntwo\rthree") << QStringList{"one", "two", "three"};
        QTest::newRow("empty line is a tip") << QByteArray("one\n\nthree\n") << QStringList{"one", "", "three"};
        QTest::newRow("only a break") << QByteArray("\r\n") << QStringList{""};
        QTest::newRow("empty file") << QByteArray() << QStringList{};
        QTest::newRow("UTF-8 with mark") << QByteArray("\xEF\xBB\xBF"
                                                       "caf\xC3\xA9\n")
                                         << QStringList{QString::fromUtf8("café")};
        QTest::newRow("Windows-1252") << QByteArray("caf\xE9 \x80 \x93x\x94\n") << QStringList{QString::fromUtf8("café € “x”")};
    }
    void loadTips()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, tips);
        QCOMPARE(ZTLoadTips(WriteTips(QStringLiteral("load.tip"), bytes)), tips);
    }

    void loadMissingFileRaises()
    {
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, ZTLoadTips(dir_.filePath(QStringLiteral("none.tip"))));
    }

    void nextTipVisitsEachOnceThenWraps()
    {
        const QStringList lines{"Tip A", "Tip B", "Tip C"};
        TZTApplication &app = App(WriteTips(QStringLiteral("three.tip"), lines.join(QLatin1Char('\n')).toUtf8()));
        QStringList seen;
        QString afterWrap;
        TModalDriver driver([&](QDialog *dialog) {
            TTipOfTheDayForm *form = Form(dialog);
            QVERIFY(form);
            QCOMPARE(form->windowTitle(), QStringLiteral("Tip Of The Day..."));
            auto *next = form->findChild<QPushButton *>(QStringLiteral("cmdNextTip"));
            auto *message = form->findChild<QLabel *>(QStringLiteral("lblMessage"));
            QVERIFY(next && message);
            seen.append(message->text());
            next->click();
            seen.append(message->text());
            next->click();
            seen.append(message->text());
            next->click();
            afterWrap = message->text();
            form->findChild<QPushButton *>(QStringLiteral("cmdClose"))->click();
        });
        QVERIFY(ShowTipOfTheDay(app, true, false));
        QVERIFY(driver.Found);
        QVERIFY(!driver.LeftOpen);
        QCOMPARE(QSet<QString>(seen.cbegin(), seen.cend()), QSet<QString>(lines.cbegin(), lines.cend()));
        QCOMPARE(afterWrap, seen.first());
    }

    void showAtStartupChoice_data()
    {
        QTest::addColumn<bool>("showAtStartup");
        QTest::addColumn<bool>("forced");
        QTest::addColumn<bool>("toggle");
        QTest::addColumn<bool>("result");
        QTest::newRow("start-up, kept") << true << false << false << true;
        QTest::newRow("start-up, unticked") << true << false << true << false;
        QTest::newRow("menu while off, left off") << false << true << false << false;
        QTest::newRow("menu while off, ticked") << false << true << true << true;
    }
    void showAtStartupChoice()
    {
        QFETCH(bool, showAtStartup);
        QFETCH(bool, forced);
        QFETCH(bool, toggle);
        QFETCH(bool, result);
        TZTApplication &app = App(WriteTips(QStringLiteral("one.tip"), "Only tip\n"));
        bool initial = !showAtStartup;
        TModalDriver driver([&](QDialog *dialog) {
            auto *check = dialog->findChild<QCheckBox *>(QStringLiteral("chkShowTips"));
            QVERIFY(check);
            initial = check->isChecked();
            if (toggle)
                check->click();
            // Esc closes the dialog like its close button.
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        QCOMPARE(ShowTipOfTheDay(app, showAtStartup, forced), result);
        QVERIFY(driver.Found);
        QVERIFY(!driver.LeftOpen);
        QCOMPARE(initial, showAtStartup);
    }

    void nothingShown_data()
    {
        QTest::addColumn<QString>("file"); // "" none, "missing", "empty"
        QTest::addColumn<bool>("showAtStartup");
        QTest::addColumn<bool>("forced");
        QTest::addColumn<bool>("result");
        QTest::addColumn<bool>("warning");
        QTest::newRow("neither flag") << "empty" << false << false << false << false;
        QTest::newRow("no tips file at start-up") << "missing" << true << false << false << false;
        QTest::newRow("no tips file from the menu") << "missing" << false << true << false << true;
        QTest::newRow("no tips file name from the menu") << "" << true << true << false << true;
        // A file without lines shows nothing and keeps the preference.
        QTest::newRow("empty tips file") << "empty" << true << false << true << false;
    }
    void nothingShown()
    {
        QFETCH(QString, file);
        QFETCH(bool, showAtStartup);
        QFETCH(bool, forced);
        QFETCH(bool, result);
        QFETCH(bool, warning);
        QString path;
        if (file == QLatin1String("missing"))
            path = dir_.filePath(QStringLiteral("missing.tip"));
        else if (file == QLatin1String("empty"))
            path = WriteTips(QStringLiteral("empty.tip"), QByteArray());
        TZTApplication &app = App(path);
        QList<TZTMessageRequest> requests;
        TZTMessageAnswerScope answers([&](const TZTMessageRequest &request) {
            requests.append(request);
            return int(ZTMsg::mrOK);
        });
        QCOMPARE(ShowTipOfTheDay(app, showAtStartup, forced), result);
        QVERIFY(QApplication::topLevelWidgets().isEmpty() || !qobject_cast<QDialog *>(QApplication::activeModalWidget()));
        QCOMPARE(requests.size(), warning ? 1 : 0);
        if (warning) {
            const TZTMessageRequest &request = requests.first();
            QCOMPARE(request.Kind, TZTMessageKind::Message);
            QCOMPARE(request.Text, ZTTipsFileMissingMessage());
            QCOMPARE(request.Caption, QStringLiteral("Merrowick Ventaro!"));
            QCOMPARE(int(request.MessageType), int(ZTMsg::mtWarning));
            QCOMPARE(int(request.ButtonSet), int(ZTMsg::bsOK));
            QCOMPARE(int(request.DefaultButton), 1);
            QVERIFY(!request.Text.isEmpty());
        }
    }

    void unreadableFileShowsEmptyTip()
    {
        // A tips file that exists but cannot be read still opens the dialog, with no tip.
        const QString path = WriteTips(QStringLiteral("locked.tip"), "secret\n");
        QFile::setPermissions(path, QFileDevice::Permissions());
        QFile probe(path);
        if (probe.open(QIODevice::ReadOnly))
            QSKIP("running with rights that read any file");
        TZTApplication &app = App(path);
        QString shown = QStringLiteral("unset");
        TModalDriver driver([&](QDialog *dialog) {
            shown = Form(dialog)->CurrentTip();
            Form(dialog)->findChild<QPushButton *>(QStringLiteral("cmdNextTip"))->click();
            shown += Form(dialog)->CurrentTip();
            dialog->close();
        });
        QVERIFY(ShowTipOfTheDay(app, true, false));
        QVERIFY(driver.Found);
        QCOMPARE(shown, QString());
    }
};

VENTARO_TEST_MAIN(TestZTTipOfTheDay, QApplication)
#include "tst_ZTTipOfTheDay.moc"
