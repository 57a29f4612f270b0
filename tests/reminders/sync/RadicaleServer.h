#pragma once
// A throwaway Radicale calendar server for the sync tests and the sync benchmark: bound to
// 127.0.0.1 on a free port, its storage, configuration and one htpasswd user in a temporary
// folder, stopped with the object.

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

class TRadicaleServer {
public:
    static constexpr const char *User = "alice";
    static constexpr const char *Password = "s3cret-Pa55";

    static bool Installed() { return !QStandardPaths::findExecutable(QStringLiteral("radicale")).isEmpty(); }

    ~TRadicaleServer()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(5000))
                process_.kill();
            process_.waitForFinished(2000);
        }
    }

    // Starts the server and waits (bounded) until its port answers; false with the reason.
    bool Start(QString &why)
    {
        {
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHost, 0)) {
                why = QStringLiteral("no free port");
                return false;
            }
            port_ = probe.serverPort();
        }
        const QString root = dir_.path();
        QFile users(root + QStringLiteral("/users"));
        users.open(QIODevice::WriteOnly);
        users.write(QByteArray(User) + ':' + Password + '\n');
        users.close();
        QFile config(root + QStringLiteral("/config"));
        config.open(QIODevice::WriteOnly);
        config.write(
            QStringLiteral("[server]\nhosts = 127.0.0.1:%1\n"
                           "[auth]\ntype = htpasswd\nhtpasswd_filename = %2/users\nhtpasswd_encryption = plain\ndelay = 0\n"
                           "[rights]\ntype = owner_only\n"
                           "[storage]\nfilesystem_folder = %2/collections\n"
                           "[logging]\nlevel = warning\n")
                .arg(port_)
                .arg(root)
                .toUtf8());
        config.close();
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.start(QStandardPaths::findExecutable(QStringLiteral("radicale")),
                       {QStringLiteral("--config"), root + QStringLiteral("/config")});
        if (!process_.waitForStarted(10000)) {
            why = process_.errorString();
            return false;
        }
        QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired()) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port_);
            if (socket.waitForConnected(250))
                return true;
            if (process_.state() == QProcess::NotRunning) {
                why = QStringLiteral("radicale stopped at once");
                return false;
            }
            QEventLoop loop;
            QTimer::singleShot(50, &loop, &QEventLoop::quit);
            loop.exec();
        }
        why = QStringLiteral("radicale did not answer within 20 seconds");
        return false;
    }

    quint16 Port() const { return port_; }
    QUrl Url(const QString &path = QStringLiteral("/")) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path));
    }

    struct TAnswer {
        int Status = 0;
        QByteArray Body;
        QByteArray ETag;
    };
    // A request of the test's own, as another client would make it (waits for the answer, at most
    // timeoutMs).
    TAnswer Request(const QByteArray &verb, const QUrl &url, const QByteArray &body = {},
                    const QList<std::pair<QByteArray, QByteArray>> &headers = {}, int timeoutMs = 30000)
    {
        QNetworkRequest req(url);
        req.setRawHeader("Authorization", "Basic " + (QByteArray(User) + ':' + Password).toBase64());
        for (const auto &[name, value] : headers)
            req.setRawHeader(name, value);
        req.setTransferTimeout(timeoutMs);
        QNetworkReply *reply = nam_.sendCustomRequest(req, verb, body);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        TAnswer a{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(), reply->rawHeader("ETag")};
        reply->deleteLater();
        return a;
    }

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
    QNetworkAccessManager nam_;
};
