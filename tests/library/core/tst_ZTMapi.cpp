#include "TestEnv.h"
#include "ZTApp.h"
#include "ZTExceptions.h"
#include "ZTMapi.h"
#include "ZTShellUtils.h"

#include <QFile>
#include <QUrl>
#include <QUrlQuery>
#include <QtTest>

// Captures what the shell would open, answering with a chosen outcome.
class TOpenerCapture {
public:
    explicit TOpenerCapture(bool succeed = true)
    {
        previous_ = ZTSetShellOpener([this, succeed](const QString &target) {
            Targets.append(target);
            return succeed;
        });
    }
    ~TOpenerCapture() { ZTSetShellOpener(previous_); }
    QStringList Targets;

private:
    TZTShellOpener previous_;
};

class TestZTMapi : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void messageRecipientsInClassOrder()
    {
        TZTMapi mapi;
        mapi.FromName = QStringLiteral("Ann");
        mapi.FromAdress = QStringLiteral("ann@example.org");
        mapi.Recipients = {QStringLiteral("to1@example.org"), QStringLiteral("to2@example.org")};
        mapi.CopyTo = {QStringLiteral("cc@example.org")};
        mapi.BlindCopyTo = {QStringLiteral("bcc@example.org")};
        mapi.AttachedFiles = {QStringLiteral("/tmp/a/report.txt"), QStringLiteral("notes.csv")};
        mapi.DisplayFileName = {QStringLiteral("stale")};
        const TZTMapiMessage message = mapi.BuildMessage();

        QCOMPARE(message.Originator.RecipClass, ZTMapiOrig);
        QCOMPARE(message.Originator.Name, QStringLiteral("Ann"));
        QCOMPARE(message.Originator.Address, QStringLiteral("ann@example.org"));
        QCOMPARE(message.Flags, 0);
        QCOMPARE(message.Recipients.size(), 4);
        const int classes[] = {ZTMapiTo, ZTMapiTo, ZTMapiCc, ZTMapiBcc};
        const QStringList names = {"to1@example.org", "to2@example.org", "cc@example.org", "bcc@example.org"};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(message.Recipients.at(i).RecipClass, classes[i]);
            QCOMPARE(message.Recipients.at(i).Name, names.at(i));
            QCOMPARE(message.Recipients.at(i).Address, QStringLiteral("SMTP:") + names.at(i));
        }
        QCOMPARE(message.Files.size(), 2);
        QCOMPARE(message.Files.at(0).Position, -1);
        QCOMPARE(message.Files.at(0).Flags, 0);
        QCOMPARE(message.Files.at(0).PathName, QStringLiteral("/tmp/a/report.txt"));
        QCOMPARE(message.Files.at(0).FileName, QStringLiteral("report.txt"));
        QCOMPARE(message.Files.at(1).FileName, QStringLiteral("notes.csv"));
        // The display names are refilled, not appended to.
        QCOMPARE(mapi.DisplayFileName, QStringList({"report.txt", "notes.csv"}));
    }

    void sendFlags()
    {
        TZTMapi mapi;
        QCOMPARE(mapi.SendFlags(), 0);
        mapi.ShowDialog = true;
        QCOMPARE(mapi.SendFlags(), 11);
    }

    void mailToUrl_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("expectedSubject");
        QTest::addColumn<QString>("expectedBody");
        QTest::newRow("plain") << "Hello"
                               << "Hi"
                               << "Hello"
                               << "Hi";
        // Characters that would end a parameter or the URL must reach the composer intact.
        QTest::newRow("delimiters") << "a&b=c?d#e%f+g"
                                    << "x&y"
                                    << "a&b=c?d#e%f+g"
                                    << "x&y";
        // Every line break style becomes CR LF.
        QTest::newRow("line breaks") << "S"
                                     << "one\ntwo\r\nthree\rfour"
                                     << "S"
                                     << "one\r\ntwo\r\nthree\r\nfour";
        QTest::newRow("non-Latin") << QString::fromUtf8("Lembrete às 9h — ✓") << QString::fromUtf8("Привет")
                                   << QString::fromUtf8("Lembrete às 9h — ✓") << QString::fromUtf8("Привет");
    }
    void mailToUrl()
    {
        QFETCH(QString, subject);
        QFETCH(QString, body);
        QFETCH(QString, expectedSubject);
        QFETCH(QString, expectedBody);
        TZTMapi mapi;
        mapi.Recipients = {QStringLiteral("a@example.org"), QStringLiteral("b@example.org")};
        mapi.CopyTo = {QStringLiteral("c@example.org")};
        mapi.BlindCopyTo = {QStringLiteral("d@example.org"), QStringLiteral("e@example.org")};
        mapi.Subject = subject;
        mapi.Body = body;
        const QString text = ZTMailToUrl(mapi.BuildMessage());
        const QUrl url(text, QUrl::StrictMode);
        QVERIFY2(url.isValid(), qPrintable(text));
        QCOMPARE(url.scheme(), QStringLiteral("mailto"));
        QCOMPARE(url.path(), QStringLiteral("a@example.org,b@example.org"));
        const QUrlQuery query(url);
        QCOMPARE(query.queryItemValue("cc", QUrl::FullyDecoded), QStringLiteral("c@example.org"));
        QCOMPARE(query.queryItemValue("bcc", QUrl::FullyDecoded), QStringLiteral("d@example.org,e@example.org"));
        QCOMPARE(query.queryItemValue("subject", QUrl::FullyDecoded), expectedSubject);
        QCOMPARE(query.queryItemValue("body", QUrl::FullyDecoded), expectedBody);
        // Blanks are %20 and a plus sign is %2B: a bare '+' would reach some composers as a blank.
        QVERIFY(!text.contains(QLatin1Char('+')));
        QVERIFY(!text.contains(QLatin1Char(' ')));
    }

    void sendMailToComposesOneRecipient()
    {
        TOpenerCapture opener;
        TZTApplication app;
        app.Title = QStringLiteral("Merrowick Ventaro!");
        app.Version = QStringLiteral("1.0.0 Build 0");
        SendMailTo(app, QStringLiteral("support@merrowick.example"));
        QCOMPARE(opener.Targets.size(), 1);
        const QUrl url(opener.Targets.first());
        QCOMPARE(url.scheme(), QStringLiteral("mailto"));
        QCOMPARE(url.path(), QStringLiteral("support@merrowick.example"));
        const QUrlQuery query(url);
        QCOMPARE(query.queryItemValue("subject", QUrl::FullyDecoded), QStringLiteral("Merrowick Ventaro! 1.0.0 Build 0"));
        QCOMPARE(query.queryItemValue("body", QUrl::FullyDecoded), QStringLiteral(" "));
        QVERIFY(!query.hasQueryItem("cc"));
        QVERIFY(!query.hasQueryItem("bcc"));
    }

    void sendMailToIgnoresComposerFailure()
    {
        // A composer that cannot be reached is not reported: the send result is not examined.
        TOpenerCapture opener(false);
        TZTApplication app;
        SendMailTo(app, QStringLiteral("x@example.org"));
        QCOMPARE(opener.Targets.size(), 1);
    }

    void sendResultsFireEvents_data()
    {
        QTest::addColumn<bool>("composer");
        QTest::addColumn<bool>("missingAttachment");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("opened");
        QTest::newRow("success") << true << false << ZTMapiSuccess << 1;
        QTest::newRow("no composer") << false << false << ZTMapiFailure << 1;
        // A missing attachment is refused before anything is opened.
        QTest::newRow("missing attachment") << true << true << ZTMapiAttachmentNotFound << 0;
    }
    void sendResultsFireEvents()
    {
        QFETCH(bool, composer);
        QFETCH(bool, missingAttachment);
        QFETCH(int, result);
        QFETCH(int, opened);
        TOpenerCapture opener(composer);
        QTemporaryDir dir;
        const QString present = dir.filePath(QStringLiteral("present file.txt"));
        QFile file(present);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();

        TZTMapi mapi;
        mapi.Recipients = {QStringLiteral("a@example.org")};
        mapi.AttachedFiles = {present};
        if (missingAttachment)
            mapi.AttachedFiles.append(dir.filePath(QStringLiteral("gone.txt")));
        int success = 0, abort = 0, error = -1;
        mapi.OnSuccess = [&](TZTMapi &) { ++success; };
        mapi.OnUserAbort = [&](TZTMapi &) { ++abort; };
        mapi.OnMapiError = [&](TZTMapi &, int code) { error = code; };
        QCOMPARE(mapi.Send(), result);
        QCOMPARE(int(opener.Targets.size()), opened);
        QCOMPARE(success, result == ZTMapiSuccess ? 1 : 0);
        QCOMPARE(abort, 0);
        QCOMPARE(error, result == ZTMapiSuccess ? -1 : result);
        if (opened) {
            const QUrlQuery query{QUrl(opener.Targets.first())};
            QCOMPARE(QUrl(query.queryItemValue("attach", QUrl::FullyDecoded)).toLocalFile(), present);
        }
    }

    void sendWithoutHandlersIsQuiet()
    {
        TOpenerCapture opener(false);
        TZTMapi mapi;
        QCOMPARE(mapi.Send(), ZTMapiFailure);
    }

    void mailErrorMessageDeciphers() { QCOMPARE(ZTMailErrorMessage(), QStringLiteral("Unable to send e-mail at this time.")); }
};

VENTARO_TEST_MAIN(TestZTMapi, QCoreApplication)
#include "tst_ZTMapi.moc"
