#pragma once
// Helpers shared by the tests of the database file and of CSV exchange: the EZTException a
// call raises, and whole-file reads and writes.

#include "ZTExceptions.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <functional>

struct TRaised {
    bool Raised = false;
    QString Message, Details;
    int Severity = -1;
};

inline TRaised Catch(const std::function<void()> &call)
{
    try {
        call();
    } catch (const EZTException &e) {
        return {true, e.Message(), e.Details(), e.Severity()};
    }
    return {};
}

inline QByteArray Read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool Write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
