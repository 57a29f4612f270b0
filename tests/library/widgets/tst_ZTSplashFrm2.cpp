#include "TestEnv.h"
#include "ZTApp.h"
#include "ZTSplashFrm2.h"

#include <QLabel>
#include <QtTest>

class TestZTSplashFrm2 : public QObject {
    Q_OBJECT

    static QString Text(const QWidget *form, const char *name)
    {
        const auto *label = form->findChild<QLabel *>(QLatin1String(name));
        return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
    }

private Q_SLOTS:
    void splashForm()
    {
        TZTApplication app;
        app.Version = QStringLiteral("1.2.0 Build 45");
        app.SpecialVersion = QStringLiteral("Beta");
        app.Copyright = QStringLiteral("Copyright 2026 Merrowick");
        QPixmap picture(500, 400);
        picture.fill(Qt::darkBlue);
        TSplashForm form;
        form.Prepare(app, &picture, Qt::white);
        QCOMPARE(form.size(), QSize(500, 400));
        QVERIFY(form.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(form.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(Text(&form, "lblApplicationVersion"), QStringLiteral("Version 1.2.0 Build 45"));
        QCOMPARE(Text(&form, "lblCopyright"), QStringLiteral("Copyright 2026 Merrowick"));
        QCOMPARE(Text(&form, "lblWarning"), ZTSplashNotice());
        QVERIFY(!ZTSplashNotice().isEmpty());
        QCOMPARE(Text(&form, "lblSpecialVersion"), QStringLiteral("Beta"));
        const auto *copyright = form.findChild<QLabel *>(QStringLiteral("lblCopyright"));
        QCOMPARE(copyright->palette().color(QPalette::WindowText), QColor(Qt::white));
        QCOMPARE(copyright->pos(), QPoint(16, 280));
        QCOMPARE(form.findChild<QLabel *>(QStringLiteral("lblWarning"))->pos(), QPoint(16, 296));
        QCOMPARE(form.findChild<QLabel *>(QStringLiteral("lblApplicationVersion"))->pos(), QPoint(16, 328));
        QCOMPARE(form.findChild<QLabel *>(QStringLiteral("lblSpecialVersion"))->pos(), QPoint(64, 104));
        QCOMPARE(form.findChild<QLabel *>(QStringLiteral("ImgSplash"))->pixmap().size(), QSize(500, 400));
        // Without a picture the window still opens.
        form.Prepare(app, nullptr, Qt::white);
        QVERIFY(form.findChild<QLabel *>(QStringLiteral("ImgSplash"))->pixmap().isNull());
    }
};

VENTARO_TEST_MAIN(TestZTSplashFrm2, QApplication)
#include "tst_ZTSplashFrm2.moc"
