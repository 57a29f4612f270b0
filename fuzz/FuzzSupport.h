#pragma once
// Shared by the fuzz targets (each includes it once): a private scratch folder (on a memory
// file system when there is one) that also serves as home and XDG folders, a pinned clock and
// silenced Qt messages, set up before the first input; and the check that stops the run with a
// message when a property of the code under test breaks.

#include "ZTClock.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

// Stops the fuzzer on a broken property; libFuzzer keeps the input that caused it.
#define FUZZ_CHECK(condition, what)                                                                                              \
    do {                                                                                                                         \
        if (!(condition)) {                                                                                                      \
            std::fprintf(stderr, "fuzz check failed at %s:%d: %s\n  (%s)\n", __FILE__, __LINE__, what, #condition);              \
            std::abort();                                                                                                        \
        }                                                                                                                        \
    } while (false)

namespace fuzz {

// The scratch folder, created by Setup.
inline QString &Root()
{
    static QString root;
    return root;
}

inline QString Path(const QString &name)
{
    return Root() + QLatin1Char('/') + name;
}

// Called once from LLVMFuzzerInitialize: a fresh scratch folder whose subfolders are the home
// and XDG folders of the process, so nothing of the person running the fuzzer is touched.
inline void Setup()
{
    static std::unique_ptr<QTemporaryDir> dir;
    const QString shm = QStringLiteral("/dev/shm");
    const QString base = QFileInfo(shm).isDir() && QFileInfo(shm).isWritable() ? shm : QDir::tempPath();
    dir = std::make_unique<QTemporaryDir>(base + QStringLiteral("/ventaro-fuzz-XXXXXX"));
    if (!dir->isValid()) {
        std::fprintf(stderr, "no scratch folder\n");
        std::abort();
    }
    Root() = dir->path();
    const char *names[][2] = {
        {"HOME", "home"},          {"XDG_CONFIG_HOME", "config"},  {"XDG_CONFIG_DIRS", "etc-xdg"},
        {"XDG_DATA_HOME", "data"}, {"XDG_RUNTIME_DIR", "runtime"}, {"XDG_CACHE_HOME", "cache"},
    };
    for (const auto &n : names) {
        const QString path = Path(QLatin1String(n[1]));
        QDir().mkpath(path);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv(n[0], path.toLocal8Bit());
    }
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    ZTPinClock(QDateTime(QDate(2026, 3, 14), QTime(9, 30)));
}

inline QByteArray Bytes(const std::uint8_t *data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

inline bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Row texts without the blanks and control characters that end a field. A text the store cuts
// to its width may end in one, which the next load trims away with the others; apart from
// that, every row must read back exactly.
inline QStringList WithoutFieldEndBlanks(QStringList rows)
{
    static const QRegularExpression blanks(QStringLiteral("[\\x00-\\x20]+;"));
    for (QString &row : rows)
        row.replace(blanks, QStringLiteral(";"));
    return rows;
}

// The first row where two listings differ, for the message of a failed check.
inline QString FirstDifference(const QStringList &a, const QStringList &b)
{
    for (qsizetype i = 0; i < qMax(a.size(), b.size()); ++i) {
        if (a.value(i) != b.value(i))
            return QStringLiteral("row %1:\n  %2\n  %3").arg(i).arg(a.value(i), b.value(i));
    }
    return QString();
}

inline QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace fuzz

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::Setup();
    return 0;
}
