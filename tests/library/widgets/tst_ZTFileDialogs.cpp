// The file dialogs' filter form and default extension, and the file-name edit.
#include "TestEnv.h"

#include "ModalDriver.h"

#include "ZTFileDialogs.h"
#include "ZTFileEdit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QSignalSpy>

class TestZTFileDialogs : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { ZTSetFileDialogAnswerer({}); }

    void nameFilters_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("two pairs, all files as *") << "Comma Separated Values (*.csv)|*.csv|All Files (*.*)|*.*"
                                                   << QStringList{"Comma Separated Values (*.csv)", "All Files (*)"};
        QTest::newRow("several patterns") << "Sounds|*.wav;*.wave" << QStringList{"Sounds (*.wav *.wave)"};
        QTest::newRow("description without pattern text") << "Programs|*.exe" << QStringList{"Programs (*.exe)"};
        QTest::newRow("odd part dropped") << "WAV files (*.wav)|*.wav|Broken" << QStringList{"WAV files (*.wav)"};
        QTest::newRow("empty") << "" << QStringList();
    }
    void nameFilters()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, expected);
        QCOMPARE(ZTFileDialogNameFilters(filter), expected);
    }

    // The extension a name typed without one takes under the chosen filter.
    void filterExtension_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("ext");
        QTest::newRow("one pattern") << "iCalendar files (*.ics)"
                                     << "ics";
        QTest::newRow("first of several") << "Sounds (*.wav *.wave)"
                                          << "wav";
        QTest::newRow("every file") << "All Files (*)"
                                    << "";
        QTest::newRow("wildcard extension") << "Backups (*.jb?)"
                                            << "";
        QTest::newRow("parentheses in the description") << "Reminders (old) (*.jbb)"
                                                        << "jbb";
        QTest::newRow("no parentheses") << "*.csv"
                                        << "csv";
    }
    void filterExtension()
    {
        QFETCH(QString, filter);
        QFETCH(QString, ext);
        QCOMPARE(ZTFilterExtension(filter), ext);
    }

    void defaultExt_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("ext");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no extension") << "/tmp/export"
                                      << "csv"
                                      << "/tmp/export.csv";
        QTest::newRow("has one") << "/tmp/export.txt"
                                 << "csv"
                                 << "/tmp/export.txt";
        QTest::newRow("dot in the folder only") << "/tmp/v1.2/export"
                                                << "csv"
                                                << "/tmp/v1.2/export.csv";
        QTest::newRow("hidden name") << "/home/a/.profile"
                                     << "csv"
                                     << "/home/a/.profile.csv";
        QTest::newRow("dot given with the extension") << "/tmp/song"
                                                      << ".wav"
                                                      << "/tmp/song.wav";
        QTest::newRow("no default") << "/tmp/export"
                                    << ""
                                    << "/tmp/export";
        QTest::newRow("cancelled stays empty") << ""
                                               << "csv"
                                               << "";
    }
    void defaultExt()
    {
        QFETCH(QString, path);
        QFETCH(QString, ext);
        QFETCH(QString, expected);
        QCOMPARE(ZTAddDefaultExt(path, ext), expected);
        // The answer of a test stands for the user's choice and gets the same treatment.
        TZTFileDialogOptions options;
        options.DefaultExt = ext;
        ZTSetFileDialogAnswerer([&](const TZTFileDialogOptions &) { return path; });
        QCOMPARE(ZTExecuteFileDialog(nullptr, options), expected);
    }

    // The shown dialog: not the platform's own, opened in the folder of the initial name with
    // the filters; accepting a name typed without extension gives the existing file.
    void shownDialog()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("bell.wav")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        TZTFileDialogOptions options;
        options.Title = QStringLiteral("Browse for Reminder Sound...");
        options.Filter = QStringLiteral("WAV files (*.wav)|*.wav");
        options.DefaultExt = QStringLiteral("wav");
        options.FileMustExist = true;
        options.PathMustExist = true;
        options.FileName = dir.filePath(QStringLiteral("bell"));
        QString title, folder;
        QStringList filters;
        bool native = true;
        TModalDriver driver([&](QDialog *dialog) {
            auto *fileDialog = qobject_cast<QFileDialog *>(dialog);
            QVERIFY(fileDialog);
            title = fileDialog->windowTitle();
            folder = fileDialog->directory().absolutePath();
            filters = fileDialog->nameFilters();
            native = !fileDialog->testOption(QFileDialog::DontUseNativeDialog);
            QMetaObject::invokeMethod(fileDialog, "accept");
        });
        const QString chosen = ZTExecuteFileDialog(nullptr, options);
        QVERIFY(driver.Found && !driver.LeftOpen);
        QCOMPARE(title, options.Title);
        QCOMPARE(folder, QDir(dir.path()).absolutePath());
        QCOMPARE(filters, QStringList{"WAV files (*.wav)"});
        QVERIFY(!native);
        QCOMPARE(QFileInfo(chosen).canonicalFilePath(), QFileInfo(file.fileName()).canonicalFilePath());
    }

    // Browsing starts at the field's name; a choice replaces it, a cancel keeps it.
    void fileEditBrowse_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("expected");
        QTest::newRow("chosen") << "/tmp/bell"
                                << "/tmp/bell.wav";
        QTest::newRow("cancelled") << ""
                                   << "/tmp/old.wav";
    }
    void fileEditBrowse()
    {
        QFETCH(QString, answer);
        QFETCH(QString, expected);
        TZTFileEdit edit;
        edit.DialogOptions().Title = QStringLiteral("Browse for Reminder Sound...");
        edit.DialogOptions().DefaultExt = QStringLiteral("wav");
        edit.SetFileName(QStringLiteral("/tmp/old.wav"));
        QSignalSpy changed(&edit, &TZTFileEdit::FileNameChanged);
        TZTFileDialogOptions asked;
        ZTSetFileDialogAnswerer([&](const TZTFileDialogOptions &options) {
            asked = options;
            return answer;
        });
        edit.BrowseButton()->click();
        QCOMPARE(asked.FileName, QStringLiteral("/tmp/old.wav"));
        QCOMPARE(asked.Title, QStringLiteral("Browse for Reminder Sound..."));
        QCOMPARE(edit.FileName(), expected);
        QCOMPARE(changed.count(), answer.isEmpty() ? 0 : 1);
        QCOMPARE(edit.Edit()->objectName(), QStringLiteral("Edit"));
        QCOMPARE(edit.BrowseButton()->objectName(), QStringLiteral("Browse"));
    }
};

VENTARO_TEST_MAIN(TestZTFileDialogs, QApplication)
#include "tst_ZTFileDialogs.moc"
