#ifndef CLOUDFIXTURE_H
#define CLOUDFIXTURE_H

#include "netmanager/yrfiletransfer.h"
#include "netmanager/yrhttpnetworkmanager.h"
#include "netmanager/yrhttprequest.h"
#include "netmanager/yrnetworkcheck.h"
#include "support/faultproxy.h"
#include "yrcloudprocess.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// How long a test waits for an answer from the network: generous, for a loaded machine and the
// sanitizer build, but bounded.
const int kWaitMs = 60000;

// A yrcloud on a free loopback port behind a fault proxy (its public address is the proxy's,
// so every request and transfer passes the proxy), a user of it, and a manager signed in as
// that user.
struct CloudFixture
{
    CloudFixture() : proxy(0)
    {
        if (!proxy.listen() || !startCloud())
            return;
        const YRCloudProcess::User user = server.addUser(QStringLiteral("teacher"));
        uid = user.uid;
        token = user.token;
        ready = !token.isEmpty() && signIn(&manager, token);
    }

    // Starts yrcloud (again), its public address the proxy's.
    bool startCloud()
    {
        if (!server.start({QStringLiteral("--public-url"), proxy.url().toString()}))
            return false;
        proxy.setUpstreamPort(server.port());
        return true;
    }
    bool stopCloud() { return server.terminate(); }

    // Puts a question without pictures into the cloud's question bank.
    bool addQuestion(const QString &id, const QString &type, const QJsonObject &content)
    {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("question.json")));
        const QJsonObject question{{QStringLiteral("questionId"), id},
                                   {QStringLiteral("questionType"), type},
                                   {QStringLiteral("questionJson"), content},
                                   {QStringLiteral("pictures"), QJsonArray()}};
        if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(question).toJson()) <= 0)
            return false;
        file.close();
        return server.run({QStringLiteral("question"), QStringLiteral("add"), file.fileName()})
                   .exitCode == 0;
    }

    // Signs a manager in with token through the proxy; true when it took the session.
    bool signIn(YRHttpNetWorkManager *into, const QString &withToken)
    {
        QSignalSpy finished(into, &YRHttpNetWorkManager::signInFinished);
        into->signIn(proxy.url(), withToken);
        if (!finished.wait(kWaitMs) || !finished.first().at(0).toBool())
            return false;
        session = finished.first().at(1).toJsonObject();
        return true;
    }

    // The objects as their classes, for typed spies.
    YRNetWorkCheck *check() { return qobject_cast<YRNetWorkCheck *>(manager.getNetWorkObject()); }
    YRHttpRequest *http() { return qobject_cast<YRHttpRequest *>(manager.getHttpObject()); }
    YRFileTransfer *transfer()
    {
        return qobject_cast<YRFileTransfer *>(manager.getTransferObject());
    }

    // The bucket of a group of the session's domain table.
    QString bucket(const char *group) const
    {
        return session.value(QLatin1String("ResourceDomain"))
            .toObject()
            .value(QLatin1String(group))
            .toObject()
            .value(QLatin1String("bucket"))
            .toString();
    }
    // The address of key in bucket, through the proxy.
    QString objectUrl(const QString &inBucket, const QString &key) const
    {
        return proxy.url().toString() + QLatin1Char('/') + inBucket + QLatin1Char('/') + key;
    }

    // Uploads a file and waits for the answer; the code it was answered with.
    int upload(const QString &localPath, const QString &inBucket, const QString &remotePath,
               bool replace = true)
    {
        QSignalSpy answers(transfer(), &YRFileTransfer::signalUploadFinished);
        transfer()->uploadFile(QJsonObject{{"localPath", localPath},
                                           {"bucketName", inBucket},
                                           {"remotePath", remotePath},
                                           {"replace", replace}});
        return answers.wait(kWaitMs) ? answers.first().at(0).toInt() : -1;
    }
    // Downloads record and waits for its answer; whether it succeeded.
    bool download(const QJsonObject &record)
    {
        QSignalSpy answers(transfer(), &YRFileTransfer::signalDownloadFinished);
        transfer()->downloadFile(record);
        return answers.wait(kWaitMs) && answers.first().at(0).toBool();
    }

    FaultProxy proxy;
    YRCloudProcess server;
    YRHttpNetWorkManager manager;
    QString uid;
    QString token;
    QJsonObject session;
    bool ready = false;
};

#endif // CLOUDFIXTURE_H
