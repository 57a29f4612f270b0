#include "TestEnv.h"
#include "ZTSysUtils.h"

#include <QtTest>

#include <vector>

class TestZTSysUtils : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void colorToRgb_data()
    {
        QTest::addColumn<uint>("color");
        QTest::addColumn<uint>("rgb");
        QTest::newRow("red (0x000000FF)") << 0x000000FFu << 0xFFFF0000u;
        QTest::newRow("accent") << ZTRgb(58, 110, 165) << 0xFF3A6EA5u;
        QTest::newRow("window") << uint(clWindow) << 0xFFFFFFFFu;
        QTest::newRow("window text") << uint(clWindowText) << 0xFF000000u;
        QTest::newRow("tooltip background") << uint(clInfoBk) << 0xFFFFFFE1u;
        QTest::newRow("system index without colour") << 0x80000063u << 0xFF000000u;
        QTest::newRow("high byte of a plain colour ignored") << 0x0200FF00u << 0xFF00FF00u;
    }
    void colorToRgb()
    {
        QFETCH(uint, color);
        QFETCH(uint, rgb);
        QCOMPARE(uint(ZTColorToRgb(color)), rgb);
    }

    void userNameIsNeverEmpty()
    {
        QVERIFY(!ZTCurrentUserName().isEmpty());
        QVERIFY(!ZTCurrentUserName().contains(QLatin1Char('/')));
    }

    // After the call, a large block comes from heap memory marked for large pages: the
    // system's map of the process lists the mark ("hg") for the region that holds it.
    void largeHeapPages()
    {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || !defined(__GLIBC__)
        QSKIP("The heap is the sanitizer's or not the GNU C library's: nothing to mark.");
#endif
        QFile system(QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled"));
        if (!system.open(QIODevice::ReadOnly) || system.readAll().contains("[never]"))
            QSKIP("The system offers no large pages.");
        ZTUseLargeHeapPages(std::size_t(64) << 20);
        std::vector<char> block(std::size_t(4) << 20, 1);
        const auto middle = quintptr(block.data() + block.size() / 2);
        QFile maps(QStringLiteral("/proc/self/smaps"));
        QVERIFY(maps.open(QIODevice::ReadOnly | QIODevice::Text));
        bool inside = false;
        QByteArray flags;
        for (QByteArray line = maps.readLine(); !line.isEmpty(); line = maps.readLine()) {
            const qsizetype dash = line.indexOf('-');
            const qsizetype space = line.indexOf(' ');
            bool isStart = false, isEnd = false;
            const quintptr start = dash > 0 && space > dash ? line.left(dash).toULongLong(&isStart, 16) : 0;
            const quintptr end = isStart ? line.mid(dash + 1, space - dash - 1).toULongLong(&isEnd, 16) : 0;
            if (isStart && isEnd)
                inside = start <= middle && middle < end;
            else if (inside && line.startsWith("VmFlags:"))
                flags = line;
        }
        QVERIFY2(flags.contains(" hg"), flags.constData());
    }
};

VENTARO_TEST_MAIN(TestZTSysUtils, QCoreApplication)
#include "tst_ZTSysUtils.moc"
