#include "TestEnv.h"
#include "ZTClock.h"
#include "ZTStrUtils.h"

#include <QtTest>

class TestZTStrUtils : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void leftRight_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("right");
        QTest::newRow("inside") << "abcdef" << 2 << "ab"
                                << "ef";
        QTest::newRow("longer than text") << "abc" << 10 << "abc"
                                          << "abc";
        QTest::newRow("zero") << "abc" << 0 << ""
                              << "";
        QTest::newRow("negative gives nothing") << "abc" << -1 << ""
                                                << "";
    }
    void leftRight()
    {
        QFETCH(QString, text);
        QFETCH(int, n);
        QFETCH(QString, left);
        QFETCH(QString, right);
        QCOMPARE(ZTLeftStr(text, n), left);
        QCOMPARE(ZTRightStr(text, n), right);
    }

    // One table for the routines that map a text to a text.
    void textRoutines_data()
    {
        QTest::addColumn<QString>("routine");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("trim blanks") << "trim"
                                     << "  a b  "
                                     << "a b";
        QTest::newRow("trim controls") << "trim" << QString::fromUtf8("\t\r\n\x01x\x7f\u0085") << "x";
        QTest::newRow("trim keeps inner and non-breaking")
            << "trim" << QString::fromUtf8("\u00a0a\tb") << QString::fromUtf8("\u00a0a\tb");
        QTest::newRow("replace longer") << "replace"
                                        << "a;b;"
                                        << "a\\;b\\;";
        QTest::newRow("upper accented") << "upper" << QString::fromUtf8("ação às 9") << QString::fromUtf8("AÇÃO ÀS 9");
        QTest::newRow("capitalize") << "capitalize" << QString::fromUtf8("ébano, Março") << QString::fromUtf8("Ébano, Março");
        QTest::newRow("capitalize empty") << "capitalize"
                                          << ""
                                          << "";
        QTest::newRow("first line after breaks") << "first"
                                                 << "\n\nMeeting\r\nroom 4"
                                                 << "Meeting";
        QTest::newRow("first line at CR") << "first"
                                          << "a\rb"
                                          << "a";
        QTest::newRow("first line of only breaks") << "first"
                                                   << "\r\n\r\n"
                                                   << "";
        QTest::newRow("first line blanks are content") << "first"
                                                       << "  \nx"
                                                       << "  ";
    }
    void textRoutines()
    {
        QFETCH(QString, routine);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QString actual;
        if (routine == "trim")
            actual = ZTTrim(text);
        else if (routine == "replace")
            actual = ZTReplaceChar(text, QLatin1Char(';'), QStringLiteral("\\;"));
        else if (routine == "upper")
            actual = ZTUpperCase(text);
        else if (routine == "capitalize")
            actual = ZTCapitalize(text);
        else
            actual = ZTFirstLine(text);
        QCOMPARE(actual, expected);
    }

    void split_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("tokens");
        QTest::newRow("two") << "a;b" << QStringList{"a", "b"};
        QTest::newRow("empty middle") << "a;;b" << QStringList{"a", "", "b"};
        QTest::newRow("trailing delimiter") << "a;" << QStringList{"a"};
        QTest::newRow("leading delimiter") << ";a" << QStringList{"", "a"};
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("no delimiter") << "abc" << QStringList{"abc"};
    }
    void split()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, tokens);
        QStringList list{"stale"};
        ZTSplit(text, QLatin1Char(';'), list);
        QCOMPARE(list, tokens);
    }

    void shuffleKeepsLinesAndFollowsClock()
    {
        QStringList lines;
        for (int i = 0; i < 50; ++i)
            lines << QString::number(i);
        ZTPinClock(QDateTime(QDate(2024, 3, 5), QTime(9, 0)));
        QStringList first = lines;
        ZTShuffle(first);
        QStringList second = lines;
        ZTShuffle(second);
        ZTResetClock();
        // Same clock, same order; a permutation of the same lines, and not the identity.
        QCOMPARE(first, second);
        QVERIFY(first != lines);
        std::sort(first.begin(), first.end(), [](const QString &a, const QString &b) { return a.toInt() < b.toInt(); });
        QCOMPARE(first, lines);
    }

    // Bytes read from a file: UTF-8 when the whole of them is valid UTF-8, else Windows-1252,
    // one character per byte, so nothing of the file is ever dropped.
    void decodeText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("UTF-8") << QByteArray("A\xc3\xa7\xc3\xa3o \xe2\x80\x94") << QString::fromUtf8("Ação —");
        QTest::newRow("one byte-order mark skipped") << QByteArray("\xef\xbb\xbf"
                                                                   "A\xef\xbb\xbf"
                                                                   "B")
                                                     << QString::fromUtf16(u"A\xfeff"
                                                                           "B");
        QTest::newRow("sequence cut short at the end") << QByteArray("o\n\xe6\x80") << QString::fromUtf16(u"o\n\x00e6\x20ac");
        QTest::newRow("unassigned Windows-1252 codes")
            << QByteArray("\x81\x8d\x8f\x90\x9d\xff") << QString::fromUtf16(u"\x0081\x008d\x008f\x0090\x009d\x00ff");
        QTest::newRow("NUL kept") << QByteArray("a\0b", 3) << QString::fromUtf16(u"a\0b", 3);
        // One line in another encoding spoils none of the others.
        QTest::newRow("mixed: one Windows-1252 line among UTF-8")
            << QByteArray("Caf\xc3\xa9\r\nCaf\xe9\r\n\xe2\x82\xac 5\r\n")
            << QString::fromUtf16(u"Caf\x00e9\r\nCaf\x00e9\r\n\x20ac 5\r\n");
        QTest::newRow("mixed: bare CR and LF line ends kept")
            << QByteArray("\x80\r\xc3\xa7\n\x80") << QString::fromUtf16(u"\x20ac\r\x00e7\n\x20ac");
        QTest::newRow("mixed: mark skipped on the first line only") << QByteArray("\xef\xbb\xbf"
                                                                                  "a\n\xef\xbb\xbf"
                                                                                  "b\n\xff")
                                                                    << QString::fromUtf16(u"a\n\xfeff"
                                                                                          "b\n\x00ff");
        QTest::newRow("mixed: first line not UTF-8 keeps its mark bytes")
            << QByteArray("\xef\xbb\xbf\xe9\n\xc3\xa9") << QString::fromUtf16(u"\x00ef\x00bb\x00bf\x00e9\n\x00e9");
    }
    void decodeText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(ZTDecodeText(bytes), text);
    }
};

VENTARO_TEST_MAIN(TestZTStrUtils, QCoreApplication)
#include "tst_ZTStrUtils.moc"
