#ifndef TRANSFERRECORDS_H
#define TRANSFERRECORDS_H

#include "resourcemanage/yrresourcemanage.h"
#include "support/fakenetworkmanager.h"
#include "support/planfixtures.h"

#include <QtTest>

// Small helpers shared by the tests that build transfer records and the files they name.
namespace TransferRecords {

// A download record of a file node for dest, as the plan data builds it.
inline QJsonObject download(const QString &dest, const QString &nodeId = QStringLiteral("n1"),
                            const QString &localPath = QStringLiteral("/a.txt"))
{
    return QJsonObject{{"dest", dest},
                       {"fileCloudSource", "resource"},
                       {"cloudPath", QStringLiteral("/cloud") + localPath},
                       {"localPath", localPath},
                       {"nodeId", nodeId},
                       {"fileType", "txt"}};
}

using PlanFixtures::md5Of;
using PlanFixtures::writeFile;

// The progress entries as "tempPath percent", in order.
inline QStringList progressOf(YRResourceManage &manage)
{
    QJsonArray progress;
    manage.getResourceProgress(progress);
    QStringList entries;
    for (const QJsonValue &entry : progress)
        entries << (entry.toObject().keys() == QStringList{"percent", "tempPath"}
                        ? entry["tempPath"].toString() + ' ' +
                              QString::number(entry["percent"].toInt())
                        : QStringLiteral("an entry of another shape"));
    return entries;
}

// A plan directory and a manager over a scriptable network, made afresh for each test.
class ResourceFixture
{
protected:
    QTemporaryDir m_dir;
    FakeNetWorkManager *net = nullptr;
    YRResourceManage *manage = nullptr;

    QString path(const QString &relative) const { return m_dir.path() + relative; }
    void setUp()
    {
        qApp->setProperty("uid", QString());
        qApp->setProperty("ResourceDomain", QVariant());
        net = new FakeNetWorkManager;
        manage = new YRResourceManage(net);
    }
    void tearDown()
    {
        delete manage;
        delete net;
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
    }
    // Asks for a download of relative in the plan directory; the record as handed over.
    QJsonObject fetch(const QString &relative, const QString &nodeId = QStringLiteral("n1"))
    {
        QJsonObject record = download(path(relative), nodeId, relative);
        manage->downloadFileFromCloud(record, false);
        return record;
    }
    // Hands an upload record, as the upload flow builds it, to the manager; the record after.
    QJsonObject send(const QString &relative, const QString &nodeId = QStringLiteral("n1"),
                     bool sendNow = true)
    {
        QJsonObject record{{"dest", path(relative)},           {"localPath", relative},
                           {"localPath_temp", path(relative)}, {"remotePath", "/u" + relative},
                           {"bucketName", "bucket-up"},        {"replace", true},
                           {"fileCloudSource", "localUpload"}, {"nodeId", nodeId}};
        manage->uploadFileToCloud(record, sendNow);
        return record;
    }
    // A present, watched file at relative.
    void makePresent(const QString &relative, const QString &nodeId = QStringLiteral("n1"))
    {
        QVERIFY(writeFile(path(relative), "first"));
        QJsonObject record = download(path(relative), nodeId, relative);
        manage->appendDownloadedFile(record);
        QVERIFY(manage->addWatchFilePath(path(relative)));
    }
};

} // namespace TransferRecords

#endif // TRANSFERRECORDS_H
