#include "ModalDriver.h"
#include "TestEnv.h"
#include "ZTExceptions.h"
#include "ZTMsgDetailsFrm.h"
#include "ZTMsgFrm.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <stdexcept>

namespace {
enum TWay { wayOK, wayEnter, wayEsc, wayCloseBox };

template <class T>
T *Child(QWidget *form, const char *name)
{
    return form->findChild<T *>(QLatin1String(name));
}
} // namespace

class TestZTMsgDetailsFrm : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QGuiApplication::setApplicationDisplayName(QStringLiteral("Merrowick Ventaro!")); }
    void cleanup() { ZTSetMessageAnswerer({}); }

    void normalizeLineBreaks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("LF") << "first\nsecond"
                            << "first\nsecond";
        QTest::newRow("CR LF") << "first\r\nsecond"
                               << "first\nsecond";
        QTest::newRow("final LF dropped") << "first\n"
                                          << "first";
        QTest::newRow("final CR LF dropped") << "first\r\n"
                                             << "first";
        QTest::newRow("only the last one dropped") << "first\n\n"
                                                   << "first\n";
        QTest::newRow("mixed") << "a\n\r\nb\nc"
                               << "a\n\nb\nc";
        QTest::newRow("lone CR untouched") << "a\rb"
                                           << "a\rb";
    }
    void normalizeLineBreaks()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(ZTNormalizeLineBreaks(text), shown);
    }

    // What the real dialog shows: icon, caption, texts, the details button only with details,
    // and the window collapsed or expanded.
    void shown_data()
    {
        QTest::addColumn<int>("messageType");
        QTest::addColumn<QString>("details");
        QTest::addColumn<bool>("showDetails");
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("icon");
        QTest::addColumn<int>("height");
        QTest::addColumn<QString>("detailsCaption"); // empty: no details button
        QTest::newRow("no details") << 0 << "" << false << 1 << ""
                                    << "imgCritical" << 75 << "";
        QTest::newRow("no details, asked to show") << 2 << "" << true << 1 << "Cap"
                                                   << "imgInformation" << 75 << "";
        QTest::newRow("details collapsed") << 1 << "disk\nfull\n"
                                           << false << 1 << ""
                                           << "imgWarning" << 75 << "&Details >>";
        QTest::newRow("details expanded") << 1 << "disk\nfull\n"
                                          << true << 1 << ""
                                          << "imgWarning" << 185 << "&Details <<";
        QTest::newRow("pt collapsed") << 0 << "disco" << false << 0 << ""
                                      << "imgCritical" << 75 << "&Detalhes >>";
        QTest::newRow("pt expanded") << 2 << "disco" << true << 0 << ""
                                     << "imgInformation" << 185 << "&Detalhes <<";
    }
    void shown()
    {
        QFETCH(int, messageType);
        QFETCH(QString, details);
        QFETCH(bool, showDetails);
        QFETCH(int, language);
        QFETCH(QString, caption);
        QFETCH(QString, icon);
        QFETCH(int, height);
        QFETCH(QString, detailsCaption);

        QStringList icons;
        QString title, text, memo, detailsText, okText;
        bool buttonShown = false, memoShown = false;
        QSize size;
        TModalDriver driver([&](QDialog *dialog) {
            for (const char *name : {"imgCritical", "imgWarning", "imgInformation"})
                if (Child<QLabel>(dialog, name)->isVisible())
                    icons << QLatin1String(name);
            title = dialog->windowTitle();
            text = Child<QLabel>(dialog, "lblErrorMsg")->text();
            memo = Child<QPlainTextEdit>(dialog, "txtErrorDetails")->toPlainText();
            buttonShown = Child<QPushButton>(dialog, "cmdDetails")->isVisible();
            memoShown = Child<QPlainTextEdit>(dialog, "txtErrorDetails")->isVisible();
            size = dialog->size();
            detailsText = Child<QPushButton>(dialog, "cmdDetails")->text();
            okText = Child<QPushButton>(dialog, "cmdOK")->text();
            QTest::mouseClick(Child<QPushButton>(dialog, "cmdOK"), Qt::LeftButton);
        });
        ZTMessageDetails("Unexpected error starting application.\nPlease contact Technical Support.\n", details, caption,
                         std::uint8_t(messageType), std::uint8_t(language), QString(), showDetails);
        QVERIFY(driver.Found);
        QVERIFY(!driver.LeftOpen);
        QCOMPARE(icons, QStringList{icon});
        QCOMPARE(title, caption.isEmpty() ? QStringLiteral("Merrowick Ventaro!") : caption);
        QCOMPARE(text, QStringLiteral("Unexpected error starting application.\nPlease contact Technical Support."));
        QCOMPARE(memo, ZTNormalizeLineBreaks(details));
        QCOMPARE(buttonShown, !detailsCaption.isEmpty());
        QCOMPARE(memoShown, height == 185);
        QCOMPARE(size, QSize(409, height));
        if (buttonShown)
            QCOMPARE(detailsText, detailsCaption);
        QCOMPARE(okText, QStringLiteral("&OK"));
    }

    void detailsToggle()
    {
        TZTMessageDetails form;
        form.Prepare("Could not save.", "disk full", QString(), 1, 1, QString(), false);
        form.show();
        auto *details = Child<QPushButton>(&form, "cmdDetails");
        auto *memo = Child<QPlainTextEdit>(&form, "txtErrorDetails");
        for (bool expanded : {true, false, true}) {
            QTest::mouseClick(details, Qt::LeftButton);
            QCOMPARE(form.height(), expanded ? 185 : 75);
            QCOMPARE(details->text(), expanded ? QStringLiteral("&Details <<") : QStringLiteral("&Details >>"));
            QCOMPARE(form.DetailsExpanded(), expanded);
            QCOMPARE(memo->isVisible(), expanded);
            // The memo fits inside the expanded window; the collapsed one ends above it.
            QCOMPARE(memo->geometry().bottom() < form.height(), expanded);
            QVERIFY(Child<QLabel>(&form, "lblErrorMsg")->geometry().bottom() < form.height());
        }
        form.close();
    }

    // OK, Enter, Esc and the close box all end the dialog; OK has the focus, also expanded.
    void ways_data()
    {
        QTest::addColumn<int>("way");
        QTest::addColumn<bool>("showDetails");
        QTest::newRow("OK") << int(wayOK) << false;
        QTest::newRow("Enter, expanded") << int(wayEnter) << true;
        QTest::newRow("Esc") << int(wayEsc) << false;
        QTest::newRow("close box") << int(wayCloseBox) << true;
    }
    void ways()
    {
        QFETCH(int, way);
        QFETCH(bool, showDetails);
        TModalDriver driver([&](QDialog *dialog) {
            QCOMPARE(QApplication::focusWidget(), Child<QPushButton>(dialog, "cmdOK"));
            switch (way) {
            case wayOK:
                QTest::mouseClick(Child<QPushButton>(dialog, "cmdOK"), Qt::LeftButton);
                break;
            case wayEnter:
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                break;
            case wayEsc:
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
                break;
            case wayCloseBox:
                dialog->close();
                break;
            }
        });
        ZTMessageDetails("Notice.", "more", QString(), 2, 1, QString(), showDetails);
        QVERIFY(driver.Found);
        QVERIFY2(!driver.LeftOpen, "the dialog stayed open");
    }

    void argumentErrors_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("messageType");
        QTest::addColumn<bool>("answerer");
        QTest::addColumn<QString>("message");
        QTest::newRow("language first") << 9 << 3 << false << "Invalid language id. in call to ZTMessageDetails.";
        QTest::newRow("question not allowed") << 1 << 3 << false << "Invalid message type in call to ZTMessageDetails.";
        QTest::newRow("answered: type") << 0 << 200 << true << "Invalid message type in call to ZTMessageDetails.";
    }
    void argumentErrors()
    {
        QFETCH(int, language);
        QFETCH(int, messageType);
        QFETCH(bool, answerer);
        QFETCH(QString, message);
        int asked = 0;
        if (answerer)
            ZTSetMessageAnswerer([&](const TZTMessageRequest &) { return ++asked; });
        TModalDriver driver([](QDialog *) {});
        try {
            ZTMessageDetails("x", "y", QString(), std::uint8_t(messageType), std::uint8_t(language), QString(), false);
            QFAIL("nothing raised");
        } catch (const EZTException &) {
            QFAIL("raised an EZTException");
        } catch (const std::invalid_argument &e) {
            QCOMPARE(QString::fromUtf8(e.what()), message);
        }
        QVERIFY(!driver.Found);
        QCOMPARE(asked, 0);
    }

    void answerer()
    {
        QList<TZTMessageRequest> seen;
        TZTMessageAnswerScope scope([&](const TZTMessageRequest &r) { return seen << r, 0; });
        TModalDriver driver([](QDialog *) {});
        ZTMessageDetails("Not found.", "corrupted", QString(), 1, 0, "Tahoma", true);
        QVERIFY(!driver.Found);
        QCOMPARE(seen.size(), 1);
        const TZTMessageRequest &r = seen[0];
        QCOMPARE(QStringList({r.Caption, r.Text, r.Details, r.FontName}),
                 QStringList({"Merrowick Ventaro!", "Not found.", "corrupted", "Tahoma"}));
        QCOMPARE(QList<int>({int(r.Kind), r.MessageType, r.LanguageId, r.ShowDetails}),
                 QList<int>({int(TZTMessageKind::Details), 1, 0, 1}));
    }
};

VENTARO_TEST_MAIN(TestZTMsgDetailsFrm, QApplication)
#include "tst_ZTMsgDetailsFrm.moc"
