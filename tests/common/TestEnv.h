#pragma once
// Test isolation: every test process runs with its own empty home and XDG folders, so
// no test reads or writes the settings, data or lock files of the person running it.

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TTestEnv {
public:
    TTestEnv()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        dir_->setAutoRemove(true);
        const QString root = dir_->path();
        const char *names[][2] = {
            {"HOME", "home"},          {"XDG_CONFIG_HOME", "config"},  {"XDG_CONFIG_DIRS", "etc-xdg"},
            {"XDG_DATA_HOME", "data"}, {"XDG_RUNTIME_DIR", "runtime"}, {"XDG_CACHE_HOME", "cache"},
        };
        for (const auto &n : names) {
            const QString path = root + QLatin1Char('/') + QLatin1String(n[1]);
            QDir().mkpath(path);
            QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            qputenv(n[0], path.toLocal8Bit());
        }
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // No session bus: nothing a test does reaches the desktop of the person running it (a
        // test that needs a bus starts its own and points this variable at it).
        qputenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + root + QStringLiteral("/runtime/no-session-bus")).toLocal8Bit());
    }

    // The temporary root that holds the isolated folders; tests may put their own files here.
    QString Root() const { return dir_->path(); }
    QString Path(const QString &name) const { return dir_->path() + QLatin1Char('/') + name; }

private:
    std::unique_ptr<QTemporaryDir> dir_;
};

// Use instead of QTEST_MAIN / QTEST_GUILESS_MAIN: isolates the environment before the
// application object exists. AppClass is QCoreApplication, QGuiApplication or QApplication.
#define VENTARO_TEST_MAIN(TestClass, AppClass)                                                                                   \
    int main(int argc, char *argv[])                                                                                             \
    {                                                                                                                            \
        TTestEnv env__;                                                                                                          \
        AppClass app(argc, argv);                                                                                                \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                                                 \
        TestClass tc;                                                                                                            \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                               \
        return QTest::qExec(&tc, argc, argv);                                                                                    \
    }
