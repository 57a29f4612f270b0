#pragma once
// A loopback port where nothing listens: a server that is down, for tests of what a failing
// connection does.

#include <QHostAddress>
#include <QString>
#include <QTcpServer>

inline quint16 ClosedLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// "http://127.0.0.1:<closed port>" followed by path.
inline QString DeadServerUrl(const QString &path = QStringLiteral("/"))
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(ClosedLoopbackPort()).arg(path);
}
