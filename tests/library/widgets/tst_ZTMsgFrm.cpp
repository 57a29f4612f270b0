#include "ModalDriver.h"
#include "TestEnv.h"
#include "ZTExceptions.h"
#include "ZTMsgFrm.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <stdexcept>

namespace {
enum TWay { wayClick, wayEsc, wayCloseBox, wayEnter, wayTabEnter };

QPushButton *Slot(QWidget *form, int slot)
{
    return form->findChild<QPushButton *>(QStringLiteral("cmdBtn0%1").arg(slot));
}
} // namespace

class TestZTMsgFrm : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QGuiApplication::setApplicationDisplayName(QStringLiteral("Merrowick Ventaro!")); }
    void cleanup() { ZTSetMessageAnswerer({}); }

    // Every button set answered in every way the real modal dialog can end.
    void results_data()
    {
        QTest::addColumn<int>("buttonSet");
        QTest::addColumn<int>("defaultButton");
        QTest::addColumn<int>("way");
        QTest::addColumn<int>("slot"); // clicked slot, or the slot expected to have the focus
        QTest::addColumn<int>("result");
        const struct {
            const char *name;
            int set, def, way, slot, result;
        } rows[] = {
            {"OK: click", 0, 1, wayClick, 1, 0},
            {"OK: Esc", 0, 1, wayEsc, 0, 0},
            {"OK: close box", 0, 1, wayCloseBox, 0, 0},
            {"OK: Enter, default 3 falls back", 0, 3, wayEnter, 1, 0},
            {"YesNo: Yes", 1, 1, wayClick, 1, 1},
            {"YesNo: No", 1, 1, wayClick, 2, 3},
            {"YesNo: Esc", 1, 1, wayEsc, 0, 3},
            {"YesNo: close box", 1, 1, wayCloseBox, 0, 3},
            {"YesNo: Enter on Yes", 1, 1, wayEnter, 1, 1},
            {"YesNo: Enter on default No", 1, 2, wayEnter, 2, 3},
            {"YNC: Cancel", 2, 1, wayClick, 3, 5},
            {"YNC: Esc", 2, 1, wayEsc, 0, 5},
            {"YNC: close box", 2, 2, wayCloseBox, 0, 5},
            {"YNC: Tab from Cancel skips hidden slots", 2, 3, wayTabEnter, 1, 1},
            {"YNCA: No", 3, 1, wayClick, 2, 3},
            {"YNCA: All", 3, 1, wayClick, 4, 6},
            {"YNCA: Esc", 3, 4, wayEsc, 0, 5},
            {"YNCA: Enter on All", 3, 4, wayEnter, 4, 6},
            {"five: Yes to All", 4, 1, wayClick, 2, 2},
            {"five: No", 4, 1, wayClick, 3, 3},
            {"five: No to All", 4, 9, wayClick, 4, 4},
            {"five: Cancel", 4, 1, wayClick, 5, 5},
            {"five: Esc", 4, 1, wayEsc, 0, 5},
            {"five: close box", 4, 9, wayCloseBox, 0, 5},
            {"five: default 9 falls back to Yes", 4, 9, wayEnter, 1, 1},
            {"five: default -3 falls back to Yes", 4, -3, wayEnter, 1, 1},
            {"five: Tab from No to All", 4, 4, wayTabEnter, 5, 5},
        };
        for (const auto &r : rows)
            QTest::newRow(r.name) << r.set << r.def << r.way << r.slot << r.result;
    }
    void results()
    {
        QFETCH(int, buttonSet);
        QFETCH(int, defaultButton);
        QFETCH(int, way);
        QFETCH(int, slot);
        QFETCH(int, result);
        TModalDriver driver([&](QDialog *dialog) {
            switch (way) {
            case wayClick:
                QTest::mouseClick(Slot(dialog, slot), Qt::LeftButton);
                break;
            case wayEsc:
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
                break;
            case wayCloseBox:
                dialog->close();
                break;
            case wayEnter:
                QCOMPARE(QApplication::focusWidget(), Slot(dialog, slot));
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                break;
            case wayTabEnter:
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                QCOMPARE(QApplication::focusWidget(), Slot(dialog, slot));
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
                break;
            }
        });
        const int answer = ZTMessage(QStringLiteral("Delete the reminder?"), QStringLiteral("Ventaro"), ZTMsg::mtQuestion,
                                     std::uint8_t(buttonSet), std::int16_t(defaultButton), ZTMsg::langEnglish, QString());
        QVERIFY(driver.Found);
        QVERIFY2(!driver.LeftOpen, "the dialog stayed open");
        QCOMPARE(answer, result);
    }

    // Esc closes on its release, and only when it was pressed in the dialog: the release of a
    // key pressed elsewhere (say, the Esc that closed the window before) answers nothing.
    void escapeClosesOnRelease()
    {
        bool openAfterStrayRelease = false;
        bool openAfterPress = false;
        TModalDriver driver([&](QDialog *dialog) {
            QTest::keyRelease(QApplication::focusWidget(), Qt::Key_Escape);
            openAfterStrayRelease = dialog->isVisible();
            QTest::keyPress(QApplication::focusWidget(), Qt::Key_Escape);
            openAfterPress = dialog->isVisible();
            QTest::keyRelease(QApplication::focusWidget(), Qt::Key_Escape);
        });
        QCOMPARE(int(ZTMessage("Continue?", QString(), 3, ZTMsg::bsYesNoCancel, 1, 1, QString())), int(ZTMsg::mrCancel));
        QVERIFY(!driver.LeftOpen);
        QVERIFY(openAfterStrayRelease);
        QVERIFY(openAfterPress);
    }

    // Captions and places of the buttons; a form prepared twice keeps none of the first set.
    void captions_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("buttonSet");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QList<int>>("lefts");
        const QString nao = QString::fromUtf8("&Não");
        QTest::newRow("en OK") << 1 << 0 << QStringList{"&OK"} << QList<int>{168};
        QTest::newRow("en YesNo") << 1 << 1 << QStringList{"&Yes", "&No"} << QList<int>{120, 208};
        QTest::newRow("pt YesNoCancel") << 0 << 2 << QStringList{"&Sim", nao, "&Cancelar"} << QList<int>{88, 168, 248};
        QTest::newRow("en YesNoCancelAll") << 1 << 3 << QStringList{"&Yes", "&No", "&Cancel", "&All"}
                                           << QList<int>{48, 128, 208, 288};
        QTest::newRow("pt YesNoCancelAll") << 0 << 3 << QStringList{"&Sim", nao, "&Cancelar", "&Todos"}
                                           << QList<int>{48, 128, 208, 288};
        QTest::newRow("en five") << 1 << 4 << QStringList{"&Yes", "Y&es to All", "&No", "No &to All", "&Cancel"}
                                 << QList<int>{8, 88, 168, 248, 328};
        QTest::newRow("pt five") << 0 << 4
                                 << QStringList{"&Sim", "S&im a Todos", nao, QString::fromUtf8("Não &a Todos"), "&Cancelar"}
                                 << QList<int>{8, 88, 168, 248, 328};
    }
    void captions()
    {
        QFETCH(int, language);
        QFETCH(int, buttonSet);
        QFETCH(QStringList, captions);
        QFETCH(QList<int>, lefts);
        TZTMessage form;
        form.Prepare("x", QString(), 0, ZTMsg::bsYesYesToAllNoNoToAllCancel, 1, std::uint8_t(language), QString());
        form.Prepare("x", QString(), 0, std::uint8_t(buttonSet), 1, std::uint8_t(language), QString());
        QStringList shown;
        QList<int> shownLefts;
        for (int slot = 1; slot <= 5; ++slot)
            if (!Slot(&form, slot)->isHidden())
                shown << Slot(&form, slot)->text(), shownLefts << Slot(&form, slot)->x();
        QCOMPARE(shown, captions);
        QCOMPARE(shownLefts, lefts);
    }

    void icons()
    {
        const char *names[] = {"imgError", "imgWarning", "imgInformation", "imgQuestion"};
        TZTMessage form;
        for (int type : {3, 0, 1, 2, 3}) {
            form.Prepare("x", QString(), std::uint8_t(type), 0, 1, 1, QString());
            for (int i = 0; i < 4; ++i) {
                auto *img = form.findChild<QLabel *>(QLatin1String(names[i]));
                QVERIFY(!img->pixmap().isNull());
                QCOMPARE(!img->isHidden(), i == type);
            }
        }
    }

    // Plain exceptions raised before anything shows, in the order the form is prepared; the
    // answerer does not change that.
    void argumentErrors_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("messageType");
        QTest::addColumn<int>("buttonSet");
        QTest::addColumn<bool>("answerer");
        QTest::addColumn<QString>("message");
        QTest::newRow("language first") << 7 << 9 << 9 << false << "Invalid language id. in call to ZTMessage.";
        QTest::newRow("type before set") << 0 << 4 << 5 << false << "Invalid message type in call to ZTMessage.";
        QTest::newRow("set") << 1 << 3 << 5 << false << "Invalid button definition in call to ZTMessage.";
        QTest::newRow("answered: language") << 2 << 0 << 0 << true << "Invalid language id. in call to ZTMessage.";
        QTest::newRow("answered: set") << 1 << 0 << 200 << true << "Invalid button definition in call to ZTMessage.";
    }
    void argumentErrors()
    {
        QFETCH(int, language);
        QFETCH(int, messageType);
        QFETCH(int, buttonSet);
        QFETCH(bool, answerer);
        QFETCH(QString, message);
        int asked = 0;
        if (answerer)
            ZTSetMessageAnswerer([&](const TZTMessageRequest &) { return ++asked; });
        TModalDriver driver([](QDialog *) {});
        try {
            ZTMessage("x", QString(), std::uint8_t(messageType), std::uint8_t(buttonSet), 1, std::uint8_t(language), QString());
            QFAIL("nothing raised");
        } catch (const EZTException &) {
            QFAIL("raised an EZTException");
        } catch (const std::invalid_argument &e) {
            QCOMPARE(QString::fromUtf8(e.what()), message);
        }
        QVERIFY(!driver.Found);
        QCOMPARE(asked, 0);
    }

    void fontRule_data()
    {
        QTest::addColumn<QString>("fontName");
        QTest::addColumn<QString>("family");
        const QString installed = QFontDatabase::families().value(0);
        if (!installed.isEmpty())
            QTest::newRow("installed, any case") << installed.toUpper() << installed;
        QTest::newRow("not installed") << "No Such Face 4711"
                                       << "Tahoma";
        QTest::newRow("empty") << ""
                               << "Tahoma";
    }
    void fontRule()
    {
        QFETCH(QString, fontName);
        QFETCH(QString, family);
        TZTMessage form;
        form.Prepare("x", QString(), 0, 0, 1, 1, fontName);
        QCOMPARE(form.findChild<QLabel *>(QStringLiteral("lblMessage"))->font().family(), family);
        QCOMPARE(form.font().pointSize(), 8);
    }

    // The text shows as given (no markup), CR LF as one break; a text longer than the label
    // makes the form taller, never wider, instead of being cut off.
    void messageText()
    {
        TZTMessage form;
        auto *label = form.findChild<QLabel *>(QStringLiteral("lblMessage"));
        form.Prepare("first\r\nsecond <b>x</b> & more", QString(), 2, 0, 1, 1, QString());
        QCOMPARE(label->text(), QStringLiteral("first\nsecond <b>x</b> & more"));
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(form.size(), QSize(410, 83));
        form.Prepare(QStringLiteral("Some months have fewer than 31 days. ").repeated(8), QString(), 3, 1, 1, 1, QString());
        QCOMPARE(form.width(), 410);
        QVERIFY(form.height() > 83);
        QVERIFY(label->height() >= label->heightForWidth(label->width()));
        QCOMPARE(form.findChild<QWidget *>(QStringLiteral("pBottom"))->geometry().bottom(), form.height() - 1);
    }

    // The answerer replaces the dialog: it sees what would be shown and picks the result; an
    // answer the set cannot give counts as closing. The empty caption becomes the title in both
    // paths.
    void answerer_data()
    {
        QTest::addColumn<int>("buttonSet");
        QTest::addColumn<int>("defaultButton");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("seenDefault");
        QTest::newRow("No") << 1 << 2 << 3 << 3 << 2;
        QTest::newRow("All not in YesNo closes") << 1 << 1 << 6 << 3 << 1;
        QTest::newRow("negative closes") << 2 << 1 << -1 << 5 << 1;
        QTest::newRow("No to All, default falls back") << 4 << 9 << 4 << 4 << 1;
        QTest::newRow("OK set, Yes closes to OK") << 0 << 1 << 1 << 0 << 1;
    }
    void answerer()
    {
        QFETCH(int, buttonSet);
        QFETCH(int, defaultButton);
        QFETCH(int, answer);
        QFETCH(int, result);
        QFETCH(int, seenDefault);
        QString realTitle;
        {
            TModalDriver driver([&](QDialog *dialog) { realTitle = dialog->windowTitle(), dialog->close(); });
            ZTMessage("Remove?", QString(), 3, std::uint8_t(buttonSet), 1, 0, QString());
        }
        QList<TZTMessageRequest> seen;
        TZTMessageAnswerScope scope([&](const TZTMessageRequest &r) { return seen << r, answer; });
        TModalDriver driver([](QDialog *) {});
        QCOMPARE(int(ZTMessage("Remove?", QString(), 3, std::uint8_t(buttonSet), std::int16_t(defaultButton), 0, "Tahoma")),
                 result);
        QVERIFY(!driver.Found);
        QCOMPARE(seen.size(), 1);
        const TZTMessageRequest &r = seen[0];
        QCOMPARE(realTitle, r.Caption);
        QCOMPARE(QStringList({r.Caption, r.Text, r.FontName}), QStringList({"Merrowick Ventaro!", "Remove?", "Tahoma"}));
        QCOMPARE(QList<int>({int(r.Kind), r.MessageType, r.ButtonSet, r.DefaultButton, r.LanguageId}),
                 QList<int>({int(TZTMessageKind::Message), 3, buttonSet, seenDefault, 0}));
    }
};

VENTARO_TEST_MAIN(TestZTMsgFrm, QApplication)
#include "tst_ZTMsgFrm.moc"
