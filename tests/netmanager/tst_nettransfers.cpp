#include "cloudfixture.h"

#include "support/filesizelimit.h"
#include "support/planfixtures.h"

#include <QCryptographicHash>
#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QtTest>

using PlanFixtures::readAll;

namespace {

// Bytes that differ from one position to the next, so that a misplaced range shows.
QByteArray patterned(qint64 size, int seed)
{
    QByteArray bytes(int(size), Qt::Uninitialized);
    quint32 state = quint32(seed) * 2654435761u + 1;
    for (qint64 i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[int(i)] = char(state >> 24);
    }
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    return QDir().mkpath(QFileInfo(path).path()) && PlanFixtures::writeFile(path, bytes);
}

// The files in dir, to see that no temporary copy was left behind.
QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

// Downloads, uploads, download tokens and deletions, against yrcloud's store.
class TestNetTransfers : public QObject
{
    Q_OBJECT

private:
    // Puts bytes through the manager as the user's object "plan/UID/20260101/" + name in the
    // files bucket; its key, empty when the upload failed.
    QString putObject(CloudFixture &cloud, const QString &name, const QByteArray &bytes)
    {
        const QString local = m_dir.filePath("src-" + QFileInfo(name).fileName());
        writeFile(local, bytes);
        const QString key = "plan/" + cloud.uid + "/20260101/" + name;
        return cloud.upload(local, cloud.bucket("localUpload"), "/" + key) == 0 ? key : QString();
    }
    QJsonObject downloadRecord(CloudFixture &cloud, const QString &key, const QString &dest)
    {
        return QJsonObject{{"url", cloud.objectUrl(cloud.bucket("localUpload"), key) +
                                       "?sign=" + cloud.transfer()->getSign("")},
                           {"dest", dest},
                           {"cloudPath", "/" + key},
                           {"fileType", "docx"},
                           {"nodeId", "n-" + key}};
    }

    QTemporaryDir m_dir;

private slots:
    void downloadsRunSideBySideAndAnswerWithTheirRecords()
    {
        CloudFixture cloud;
        QVERIFY(cloud.ready);
        cloud.manager.setMaxParallelDownloads(2);
        QSignalSpy started(cloud.transfer(), &YRFileTransfer::signalDownloadStart);
        QSignalSpy progress(cloud.transfer(), &YRFileTransfer::signalDownloadProgress);
        QSignalSpy finished(cloud.transfer(), &YRFileTransfer::signalDownloadFinished);
        QSignalSpy drained(cloud.transfer(), &YRFileTransfer::signalDownloadQueueEmpty);
        QVector<QJsonObject> records;
        for (int i = 0; i < 6; ++i) {
            const QByteArray bytes = patterned(300000 + i, i);
            const QString key = putObject(cloud, QString("p/f%1.bin").arg(i), bytes);
            QVERIFY(!key.isEmpty());
            records.append(downloadRecord(cloud, key, m_dir.filePath(QString("out/f%1").arg(i))));
        }
        for (const QJsonObject &record : records)
            QVERIFY(cloud.transfer()->downloadFile(record));
        // A second record for a "dest" under way joins it and is answered too.
        QVERIFY(cloud.transfer()->downloadFile(records.last()));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 7, kWaitMs);
        QCOMPARE(drained.size(), 1);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(readAll(m_dir.filePath(QString("out/f%1").arg(i))), patterned(300000 + i, i));
        for (const QList<QVariant> &answer : finished) {
            QVERIFY(answer.at(0).toBool());
            QVERIFY(records.contains(answer.at(1).toJsonObject()));
        }
        QCOMPARE(started.size(), 7);
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last().at(2).toString(), QStringLiteral("docx"));
        QCOMPARE(filesIn(m_dir.filePath("out")).size(), 6);
    }

    void aBrokenDownloadNeverLeavesHalfAFile_data()
    {
        // Files up to 4 MiB are held in memory and written whole; larger ones stream to disk.
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("times");
        QTest::addColumn<bool>("completes");
        const int held = 4 << 20;
        const int streamed = 6 << 20;
        const int cut = int(FaultProxy::Fault::Cut);
        const int corrupt = int(FaultProxy::Fault::Corrupt);
        QTest::newRow("cut once") << held << cut << 1 << true;
        QTest::newRow("cut twice") << held << cut << 2 << true;
        QTest::newRow("corrupted once") << held << corrupt << 1 << true;
        QTest::newRow("cut every time") << held << cut << -1 << false;
        QTest::newRow("missing object") << held << int(FaultProxy::Fault::Status) << -1 << false;
        QTest::newRow("streamed, cut twice") << streamed << cut << 2 << true;
        QTest::newRow("streamed, corrupted once") << streamed << corrupt << 1 << true;
        QTest::newRow("streamed, cut every time") << streamed << cut << -1 << false;
    }
    void aBrokenDownloadNeverLeavesHalfAFile()
    {
        QFETCH(int, size);
        QFETCH(int, fault);
        QFETCH(int, times);
        QFETCH(bool, completes);
        CloudFixture cloud;
        QVERIFY(cloud.ready);
        const QByteArray bytes = patterned(size, 3);
        const QString key = putObject(cloud, "p/big.bin", bytes);
        QVERIFY(!key.isEmpty());
        const QString dest = m_dir.filePath(QTest::currentDataTag() + QString("/big.bin"));
        QVERIFY(writeFile(dest, "the copy from before"));
        cloud.proxy.addRule({FaultProxy::Fault(fault), "GET", "big.bin", 700000, 0, 404,
                             "<Error><Code>NoSuchKey</Code></Error>", times});
        QCOMPARE(cloud.download(downloadRecord(cloud, key, dest)), completes);
        QCOMPARE(readAll(dest), completes ? bytes : QByteArray("the copy from before"));
        QCOMPARE(filesIn(QFileInfo(dest).path()), QStringList{"big.bin"});
    }

    void aDownloadTheDiskCannotTakeKeepsTheFileBefore_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("held, written by a disk thread") << (1 << 20);
        QTest::newRow("streamed") << (6 << 20);
    }
    void aDownloadTheDiskCannotTakeKeepsTheFileBefore()
    {
        QFETCH(int, size);
        CloudFixture cloud;
        QVERIFY(cloud.ready);
        const QString key = putObject(cloud, "p/full.bin", patterned(size, 4));
        QVERIFY(!key.isEmpty());
        const QString dest = m_dir.filePath(QTest::currentDataTag() + QString("/full.bin"));
        QVERIFY(writeFile(dest, "the copy from before"));
        const FileSizeLimit diskFull(512 * 1024); // this process only: yrcloud is already running
        QVERIFY(!cloud.download(downloadRecord(cloud, key, dest)));
        QCOMPARE(readAll(dest), QByteArray("the copy from before"));
        QCOMPARE(filesIn(QFileInfo(dest).path()), QStringList{"full.bin"});
    }

    void cancelAndStopDropDownloadsWithoutATrace()
    {
        CloudFixture cloud;
        QVERIFY(cloud.ready);
        cloud.manager.setMaxParallelDownloads(1);
        const QString key = putObject(cloud, "p/slow.bin", patterned(100000, 5));
        QVERIFY(!key.isEmpty());
        cloud.proxy.addRule({FaultProxy::Fault::Delay, "GET", "slow.bin", 0, 2000, 0, {}, -1});
        QSignalSpy finished(cloud.transfer(), &YRFileTransfer::signalDownloadFinished);
        const QString dir = m_dir.filePath("dropped");
        for (int i = 0; i < 3; ++i) {
            QJsonObject record = downloadRecord(cloud, key, dir + QString("/f%1").arg(i));
            record.insert("cloudPath", QString("/c%1").arg(i));
            cloud.transfer()->downloadFile(record);
        }
        QVERIFY(writeFile(dir + "/f0", "kept"));
        QTRY_COMPARE_WITH_TIMEOUT(cloud.proxy.requestsSeen("GET", "slow.bin"), 1, kWaitMs);
        QVERIFY(cloud.transfer()->cancelDownload("/c0")); // running
        QVERIFY(cloud.transfer()->cancelDownload("/c2")); // waiting
        QVERIFY(!cloud.transfer()->cancelDownload("/c2"));
        QTRY_COMPARE_WITH_TIMEOUT(cloud.proxy.requestsSeen("GET", "slow.bin"), 2, kWaitMs);
        QVERIFY(cloud.transfer()->stopDownload());
        QTest::qWait(2500);
        QCOMPARE(finished.size(), 0);
        QCOMPARE(filesIn(dir), QStringList{"f0"});
        QCOMPARE(readAll(dir + "/f0"), QByteArray("kept"));
    }

    void uploadsArriveWhole_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("size");
        QTest::newRow("empty") << "empty.txt" << qint64(0);
        QTest::newRow("awkward name") << "教案 (1) +a&b.docx" << qint64(1000);
        QTest::newRow("in parts") << "large.bin" << (qint64(64) << 20) + 12345;
    }
    void uploadsArriveWhole()
    {
        QFETCH(QString, name);
        QFETCH(qint64, size);
        CloudFixture cloud;
        QVERIFY(cloud.ready);
        const QByteArray bytes = patterned(size, 9);
        const QString key = putObject(cloud, "p/" + name, bytes);
        QVERIFY(!key.isEmpty());
        const QString dest = m_dir.filePath("up/" + name);
        QVERIFY(cloud.download(downloadRecord(cloud, key, dest)));
        QVERIFY(readAll(dest) == bytes);
    }

    void anObjectThatExistsIsKeptWhenAsked()
    {
        CloudFixture cloud;
        QVERIFY(cloud.ready);
        const QString key = putObject(cloud, "p/keep.txt", "first");
        const QString second = m_dir.filePath("second.txt");
        writeFile(second, "second");
        QCOMPARE(cloud.upload(second, cloud.bucket("localUpload"), "/" + key, false), 0);
        const QString dest = m_dir.filePath("kept/keep.txt");
        QVERIFY(cloud.download(downloadRecord(cloud, key, dest)));
        QCOMPARE(readAll(dest), QByteArray("first"));
    }

    void refusedUploadsSayWhy_data()
    {
        QTest::addColumn<QString>("remotePath");
        QTest::addColumn<bool>("wrongSecret");
        QTest::addColumn<int>("code");
        QTest::newRow("signature refused") << "/plan/UID/x.txt" << true << 403;
        QTest::newRow("another user's folder") << "/plan/99999/x.txt" << false << 403;
        QTest::newRow("no remote path") << "/" << false << int(YRNE_BadRecord);
    }
    void refusedUploadsSayWhy()
    {
        QFETCH(QString, remotePath);
        QFETCH(bool, wrongSecret);
        QFETCH(int, code);
        CloudFixture cloud;
        QVERIFY(cloud.ready);
        if (wrongSecret) {
            QJsonObject storage = cloud.session.value("storage").toObject();
            storage.insert("secretAccessKey", "not the secret");
            cloud.manager.setSession(cloud.proxy.url(), cloud.token, storage);
        }
        const QString local = m_dir.filePath("refused.txt");
        writeFile(local, "x");
        remotePath.replace("UID", cloud.uid);
        QCOMPARE(cloud.upload(local, cloud.bucket("localUpload"), remotePath), code);
        QCOMPARE(cloud.upload(m_dir.filePath("missing"), cloud.bucket("localUpload"),
                              "/plan/" + cloud.uid + "/y"),
                 int(YRNE_LocalFile));
    }

    void theDownloadTokenOpensTheStoreForItsBucket()
    {
        CloudFixture cloud;
        QVERIFY(cloud.ready);
        const QString key = putObject(cloud, "p/token.txt", "by token");
        QNetworkAccessManager plain;
        const QString address = cloud.objectUrl(cloud.bucket("localUpload"), key) + "?sign=";
        std::unique_ptr<QNetworkReply> signed_(
            plain.get(QNetworkRequest(QUrl(address + cloud.transfer()->getSign("")))));
        std::unique_ptr<QNetworkReply> unsigned_(plain.get(QNetworkRequest(QUrl(address + "x"))));
        QTRY_VERIFY_WITH_TIMEOUT(signed_->isFinished() && unsigned_->isFinished(), kWaitMs);
        QCOMPARE(signed_->readAll(), QByteArray("by token"));
        QCOMPARE(unsigned_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 403);
    }

    void deletingAFolderEmptiesItAndNothingElse()
    {
        CloudFixture cloud;
        QVERIFY(cloud.ready);
        const QString folder = "plan/" + cloud.uid + "/20260101/p";
        QVERIFY(!putObject(cloud, "p/a.txt", "a").isEmpty());
        QVERIFY(!putObject(cloud, "p/sub/b.txt", "b").isEmpty());
        const QString besideKey = putObject(cloud, "p2/c.txt", "c");
        QVERIFY(!besideKey.isEmpty());
        QCOMPARE(cloud.transfer()->deleteCloudFiles(cloud.bucket("localUpload"), "/" + folder), 0);
        QVERIFY(!cloud.download(downloadRecord(cloud, folder + "/a.txt", m_dir.filePath("d/a"))));
        QVERIFY(cloud.download(downloadRecord(cloud, besideKey, m_dir.filePath("d/c"))));
        QCOMPARE(cloud.transfer()->deleteCloudFiles(cloud.bucket("localUpload"), "/"),
                 int(YRNE_BadRecord));
    }
};

QTEST_GUILESS_MAIN(TestNetTransfers)
#include "tst_nettransfers.moc"
