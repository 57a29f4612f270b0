#include "TestEnv.h"
#include "ZTExceptions.h"
#include "ZTHelpUtils.h"
#include "ZTHelpUtilsViewer.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <QtTest>

#include <optional>
#include <stdexcept>

namespace {

const QString kManual = QStringLiteral(VENTARO_SOURCE_DIR "/resources/program/ventaro.html");

// A dialog with a focused text field, the way the program's dialogs receive keys.
struct TTestDialog {
    QDialog dialog;
    QLineEdit *edit;
    explicit TTestDialog(std::optional<int> helpContext)
    {
        edit = new QLineEdit(&dialog);
        auto *layout = new QVBoxLayout(&dialog);
        layout->addWidget(edit);
        if (helpContext)
            ZTInstallFormKeys(&dialog, *helpContext);
        else
            ZTInstallFormKeys(&dialog);
        dialog.show();
        edit->setFocus();
    }
};

// Every anchor name the browser knows in its document.
QSet<QString> AnchorNames(const QTextDocument *document)
{
    QSet<QString> names;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            for (const QString &name : it.fragment().charFormat().anchorNames())
                names.insert(name);
    return names;
}

// Where the block that carries an anchor begins in the laid-out document.
qreal AnchorTop(QTextDocument *document, const QString &name)
{
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().anchorNames().contains(name))
                return document->documentLayout()->blockBoundingRect(block).top();
    return -1;
}

QTextBrowser *Browser(TZTHelpViewer *viewer)
{
    return viewer->findChild<QTextBrowser *>(QStringLiteral("txtHelp"));
}

} // namespace

class TestZTHelpUtils : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString helpFile_;
    QList<QPair<QString, int>> shown_;
    QList<EZTException> handled_;

    void CaptureDisplay()
    {
        ZTSetHelpDisplay([this](const QString &file, int context) { shown_.append({file, context}); });
    }

private Q_SLOTS:
    void initTestCase()
    {
        helpFile_ = dir_.filePath(QStringLiteral("help.html"));
        QFile file(helpFile_);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<html><body><a name=\"0\"></a><p>Contents</p></body></html>");
        file.close();
        ZTSetExceptionHandler([this](const std::exception_ptr &p) {
            try {
                std::rethrow_exception(p);
            } catch (const EZTException &e) {
                handled_.append(e);
            } catch (...) {
                handled_.append(EZTException(QStringLiteral("not an EZTException")));
            }
        });
    }

    void init()
    {
        shown_.clear();
        handled_.clear();
        ZTSetHelpFile(helpFile_);
        CaptureDisplay();
    }

    void cleanup()
    {
        ZTSetHelpDisplay({});
        ZTSetHelpFile(QString());
        delete TZTHelpViewer::Instance();
    }

    void defaultHelpFileIsBesideTheProgram()
    {
        ZTSetHelpFile(QString());
        QCOMPARE(ZTHelpFile(), QCoreApplication::applicationDirPath() + QStringLiteral("/tst_ZTHelpUtils.html"));
    }

    // Esc closes, F1 opens help at the window's context, other keys reach the controls.
    // A release only acts when the press happened in the same window.
    void keys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("context");   // -1: the window carries no context
        QTest::addColumn<int>("pressedIn"); // 0 here, 1 nowhere, 2 another window of ours
        QTest::addColumn<bool>("closed");
        QTest::addColumn<int>("helpAt"); // -1: no help shown
        QTest::newRow("Esc closes") << int(Qt::Key_Escape) << 600 << 0 << true << -1;
        QTest::newRow("F1 alert window") << int(Qt::Key_F1) << 600 << 0 << false << 600;
        QTest::newRow("F1 reminder dialog") << int(Qt::Key_F1) << 550 << 0 << false << 550;
        QTest::newRow("F1 preferences") << int(Qt::Key_F1) << 500 << 0 << false << 500;
        QTest::newRow("F1 without context") << int(Qt::Key_F1) << -1 << 0 << false << 0;
        QTest::newRow("other key") << int(Qt::Key_A) << 550 << 0 << false << -1;
        // The press closed a drop-down list (or another window) before the release got here.
        QTest::newRow("Esc release only") << int(Qt::Key_Escape) << 550 << 1 << false << -1;
        QTest::newRow("F1 release only") << int(Qt::Key_F1) << 550 << 1 << false << -1;
        QTest::newRow("Esc pressed elsewhere") << int(Qt::Key_Escape) << 550 << 2 << false << -1;
    }
    void keys()
    {
        QFETCH(int, key);
        QFETCH(int, context);
        QFETCH(int, pressedIn);
        QFETCH(bool, closed);
        QFETCH(int, helpAt);
        TTestDialog form(context < 0 ? std::nullopt : std::optional<int>(context));
        TTestDialog other(0);
        QSignalSpy finished(&form.dialog, &QDialog::finished);

        if (pressedIn == 0)
            QTest::keyPress(form.edit, Qt::Key(key));
        else if (pressedIn == 2)
            QTest::keyPress(other.edit, Qt::Key(key));
        QTest::keyRelease(form.edit, Qt::Key(key));

        QCOMPARE(!form.dialog.isVisible(), closed);
        QCOMPARE(finished.count(), closed ? 1 : 0);
        if (closed)
            QCOMPARE(form.dialog.result(), int(QDialog::Rejected));
        QVERIFY(other.dialog.isVisible());
        QCOMPARE(shown_.count(), helpAt < 0 ? 0 : 1);
        if (helpAt >= 0)
            QCOMPARE(shown_.first(), qMakePair(helpFile_, helpAt));
        QCOMPARE(form.edit->text(), key == Qt::Key_A && pressedIn == 0 ? QStringLiteral("a") : QString());
        QVERIFY(handled_.isEmpty());
    }

    // A modal dialog closed with Esc from inside its own loop answers as its close box does.
    void escEndsModalDialog()
    {
        TTestDialog form(550);
        form.dialog.hide();
        QTimer::singleShot(0, this, [] {
            if (QWidget *modal = QApplication::activeModalWidget())
                QTest::keyClick(modal->focusWidget() ? modal->focusWidget() : modal, Qt::Key_Escape);
        });
        QCOMPARE(form.dialog.exec(), int(QDialog::Rejected));
    }

    void missingHelpFileDoesNothing_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("empty") << QString();
        QTest::newRow("no such file") << dir_.filePath(QStringLiteral("none.html"));
        QTest::newRow("a folder") << dir_.path();
    }
    void missingHelpFileDoesNothing()
    {
        QFETCH(QString, path);
        ZTSetHelpDisplay({}); // the real viewer
        ShowHelp(path, 550);
        QVERIFY(!TZTHelpViewer::Instance());

        // F1 in a dialog: no viewer and no message either.
        ZTSetHelpFile(path.isEmpty() ? dir_.filePath(QStringLiteral("none.html")) : path);
        TTestDialog form(600);
        QTest::keyClick(form.edit, Qt::Key_F1);
        QVERIFY(!TZTHelpViewer::Instance());
        QVERIFY(handled_.isEmpty());
        QVERIFY(form.dialog.isVisible());
    }

    // Whatever fails while showing help names the help file; the cause becomes the details.
    void failureIsWrapped_data()
    {
        QTest::addColumn<int>("cause"); // 0 platform error, 1 EZTException
        QTest::addColumn<QString>("details");
        QTest::newRow("platform error") << 0 << "disk error";
        QTest::newRow("EZTException") << 1 << "inner";
    }
    void failureIsWrapped()
    {
        QFETCH(int, cause);
        QFETCH(QString, details);
        ZTSetHelpDisplay([cause](const QString &, int) {
            if (cause == 0)
                throw std::runtime_error("disk error");
            throw EZTException(QStringLiteral("inner"), QStringLiteral("inner details"), 2);
        });
        const QString message = QStringLiteral("Unable to show help file '%1'.").arg(helpFile_);
        try {
            ShowHelp(helpFile_, 500);
            QFAIL("nothing raised");
        } catch (const EZTException &e) {
            QCOMPARE(e.Message(), message);
            QCOMPARE(e.Details(), details);
            QCOMPARE(int(e.Severity()), 1);
        }

        // Through F1 the failure reaches the application-wide handler; the dialog stays open.
        TTestDialog form(500);
        QTest::keyClick(form.edit, Qt::Key_F1);
        QCOMPARE(handled_.count(), 1);
        QCOMPARE(handled_.first().Message(), message);
        QCOMPARE(handled_.first().Details(), details);
        QVERIFY(form.dialog.isVisible());
    }

    // The viewer opens the manual at the anchor of each context the program uses.
    void anchorPerContext_data()
    {
        QTest::addColumn<int>("context");
        QTest::newRow("contents") << HelpContextContents;
        QTest::newRow("preferences") << HelpContextPreferences;
        QTest::newRow("reminder") << HelpContextReminder;
        QTest::newRow("alert") << HelpContextAlert;
    }
    void anchorPerContext()
    {
        QFETCH(int, context);
        ZTSetHelpDisplay({});
        ShowHelp(kManual, context);
        TZTHelpViewer *viewer = TZTHelpViewer::Instance();
        QVERIFY(viewer);
        QVERIFY(viewer->isVisible());
        QCOMPARE(viewer->CurrentAnchor(), QString::number(context));
        QCOMPARE(viewer->windowTitle(), QStringLiteral("Merrowick Ventaro! Help"));
        QTextBrowser *browser = Browser(viewer);
        QVERIFY(AnchorNames(browser->document()).contains(QString::number(context)));
        // The topic's heading stands at the top of the page shown.
        const QScrollBar *bar = browser->verticalScrollBar();
        const qreal top = AnchorTop(browser->document(), QString::number(context));
        QVERIFY2(qAbs(bar->value() - top) <= 1 || bar->value() == bar->maximum(),
                 qPrintable(QStringLiteral("%1 vs %2").arg(bar->value()).arg(top)));
    }

    // Every link of the manual's table of contents and text leads to an anchor of the manual,
    // and the manual needs nothing from outside.
    void manualIsSelfContained()
    {
        QFile file(kManual);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(file.readAll());
        QVERIFY(!html.contains(QStringLiteral("<script"), Qt::CaseInsensitive));
        QVERIFY(!html.contains(QStringLiteral("<link"), Qt::CaseInsensitive));
        QVERIFY(!html.contains(QStringLiteral("src="), Qt::CaseInsensitive));
        QTextBrowser browser;
        browser.setSource(QUrl::fromLocalFile(kManual));
        const QSet<QString> anchors = AnchorNames(browser.document());
        const QRegularExpression link(QStringLiteral("href=\"([^\"]*)\""));
        int links = 0;
        for (auto it = link.globalMatch(html); it.hasNext(); ++links) {
            const QString target = it.next().captured(1);
            QVERIFY2(target.startsWith(QLatin1Char('#')), qPrintable(target));
            QVERIFY2(anchors.contains(target.mid(1)), qPrintable(target));
        }
        QVERIFY(links > 30);
        QVERIFY(!browser.toPlainText().contains(QLatin1Char('&'))); // every entity was understood
    }

    // One viewer serves every request; its buttons walk the history and the contents.
    void viewerIsReused()
    {
        ZTSetHelpDisplay({});
        ShowHelp(kManual, HelpContextPreferences);
        TZTHelpViewer *viewer = TZTHelpViewer::Instance();
        ShowHelp(kManual, HelpContextAlert);
        QCOMPARE(TZTHelpViewer::Instance(), viewer);
        auto *back = viewer->findChild<QPushButton *>(QStringLiteral("cmdBack"));
        auto *forward = viewer->findChild<QPushButton *>(QStringLiteral("cmdForward"));
        auto *contents = viewer->findChild<QPushButton *>(QStringLiteral("cmdContents"));
        QVERIFY(back && forward && contents);
        QVERIFY(back->isEnabled());
        QVERIFY(!forward->isEnabled());
        back->click();
        QCOMPARE(viewer->CurrentAnchor(), QStringLiteral("500"));
        QVERIFY(forward->isEnabled());
        forward->click();
        QCOMPARE(viewer->CurrentAnchor(), QStringLiteral("600"));
        contents->click();
        QCOMPARE(viewer->CurrentAnchor(), QStringLiteral("0"));

        // Esc hides it; the next request shows the same window again.
        QTest::keyClick(Browser(viewer), Qt::Key_Escape);
        QVERIFY(!viewer->isVisible());
        ShowHelp(kManual, HelpContextReminder);
        QCOMPARE(TZTHelpViewer::Instance(), viewer);
        QVERIFY(viewer->isVisible());
        QCOMPARE(viewer->CurrentAnchor(), QStringLiteral("550"));
    }

    // Help asked for from a modal dialog can be used while that dialog waits, and stays open
    // after the dialog has gone.
    void viewerUsableOverModalDialog()
    {
        ZTSetHelpDisplay({});
        ZTSetHelpFile(kManual);
        TTestDialog form(HelpContextAlert);
        form.dialog.hide();
        QString anchorAfterClick;
        QWindow *transientParent = nullptr;
        QTimer::singleShot(0, this, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            QTest::keyClick(modal->focusWidget() ? modal->focusWidget() : modal, Qt::Key_F1);
            TZTHelpViewer *viewer = TZTHelpViewer::Instance();
            if (viewer) {
                transientParent = viewer->windowHandle()->transientParent();
                auto *contents = viewer->findChild<QPushButton *>(QStringLiteral("cmdContents"));
                // A click as the window system delivers it: refused for a window that a
                // modal dialog blocks.
                QTest::mouseClick(viewer->windowHandle(), Qt::LeftButton, {}, contents->mapTo(viewer, contents->rect().center()));
                anchorAfterClick = viewer->CurrentAnchor();
            }
            QTest::keyClick(modal->focusWidget() ? modal->focusWidget() : modal, Qt::Key_Escape);
        });
        QCOMPARE(form.dialog.exec(), int(QDialog::Rejected));
        TZTHelpViewer *viewer = TZTHelpViewer::Instance();
        QVERIFY(viewer);
        QCOMPARE(transientParent, form.dialog.windowHandle());
        QCOMPARE(anchorAfterClick, QStringLiteral("0"));
        QVERIFY(viewer->isVisible());
        QVERIFY(!viewer->windowHandle()->transientParent());
    }
};

VENTARO_TEST_MAIN(TestZTHelpUtils, QApplication)
#include "tst_ZTHelpUtils.moc"
