#include "resourcemanage/yrresourcemanage.h"
#include "support/fakenetworkmanager.h"
#include "support/transferrecords.h"

#include <QApplication>
#include <QFileSystemWatcher>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace TransferRecords;
using Presence = FakeNetWorkManager::Presence;

Q_DECLARE_METATYPE(Presence)

// The four transfer lists, their moves, the relayed signals and the network-state handling.
class TestResourceQueues : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString &relative) const { return m_dir.path() + relative; }
    static void goOnline(FakeNetWorkManager &net)
    {
        net.check()->emitResultNetWorkCheck(true, QStringLiteral("YRResourceManage"));
    }
    static QJsonArray progressOf(YRResourceManage &manage)
    {
        QJsonArray progress;
        manage.getResourceProgress(progress);
        return progress;
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        qApp->setProperty("uid", QString());
        qApp->setProperty("ResourceDomain", QVariant());
    }
    void cleanup()
    {
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
    }

    void constructionAsksForOneNetworkCheck()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        QCOMPARE(net.check()->checks, QStringList{QStringLiteral("YRResourceManage")});
        QVERIFY(!manage.IsConnectedWithNet());
    }

    void transferSignalsAreRelayed()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        QSignalSpy started(&manage, &YRResourceManage::signalDownloadStart);
        QSignalSpy progress(&manage, &YRResourceManage::signalDownloadProgress);
        QSignalSpy empty(&manage, &YRResourceManage::signalDownloadQueueEmpty);
        QSignalSpy quit(&manage, &YRResourceManage::signalAvatarquit);
        QPixmap *relayedPixmap = nullptr;
        connect(&manage, &YRResourceManage::signalAvatarData,
                [&relayedPixmap](QPixmap &pixmap) { relayedPixmap = &pixmap; });
        const QJsonObject record = download(path(QStringLiteral("/a.txt")));

        net.transfer()->emitDownloadStart(true, record);
        net.transfer()->emitDownloadProgress(record, 42, QStringLiteral("docx"));
        net.transfer()->emitDownloadQueueEmpty(true);
        net.transfer()->emitAvatarquit(QNetworkReply::TimeoutError);
        QPixmap pixmap(2, 2);
        net.transfer()->emitAvatarData(pixmap);

        QCOMPARE(started.count(), 1);
        QCOMPARE(started.at(0).at(1).toJsonObject(), record);
        QCOMPARE(progress.count(), 1);
        QCOMPARE(progress.at(0).at(1).toInt(), 42);
        QCOMPARE(progress.at(0).at(2).toString(), QStringLiteral("docx"));
        QCOMPARE(empty.count(), 1);
        QCOMPARE(quit.count(), 1);
        QCOMPARE(relayedPixmap, &pixmap); // the host's own pixmap, by reference
    }

    void missingNetworkObjectsAreSurvived_data()
    {
        QTest::addColumn<Presence>("check");
        QTest::addColumn<Presence>("transfer");
        QTest::newRow("no check object") << Presence::Missing << Presence::Real;
        QTest::newRow("no transfer object") << Presence::Real << Presence::Missing;
        QTest::newRow("nothing") << Presence::Missing << Presence::Missing;
        QTest::newRow("foreign objects") << Presence::Foreign << Presence::Foreign;
    }
    void missingNetworkObjectsAreSurvived()
    {
        QFETCH(Presence, check);
        QFETCH(Presence, transfer);
        FakeNetWorkManager net(check, Presence::Real, transfer);
        // Each missing object is reported once, however often it is needed.
        if (check != Presence::Real)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no usable network-check"));
        if (transfer != Presence::Real)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no usable transfer object"));
        YRResourceManage manage(&net);

        QJsonObject record = download(path(QStringLiteral("/a.txt")));
        QVERIFY(manage.downloadFileFromCloud(record, false));
        QJsonObject up = upload(m_dir.path(), QStringLiteral("/b.txt"));
        QVERIFY(manage.uploadFileToCloud(up, true));
        manage.slotUploadFinished(1, up);
        manage.reDownloadFile();
        manage.slotNetWorkState(true);
        manage.slotResultNetWorkCheck(true, QStringLiteral("YRResourceManage"));
        manage.deleteFileById({QStringLiteral("n1")});
        QVERIFY(manage.stopDownloadFiles());
        QVERIFY(manage.clearDownloadFiles());
        QVERIFY(manage.clearUploadFiles());
        // With no usable transfer object there is no signature and no cloud deletion.
        QCOMPARE(manage.deleteFileFromCloud(QStringLiteral("p")), transfer == Presence::Real);
        QCOMPARE(manage.getFullUrl(record).endsWith(QStringLiteral("?sign=")),
                 transfer != Presence::Real);
        QVERIFY(manage.IsConnectedWithNet());
    }

    void localCopyDecidesWhetherToDownload_data()
    {
        QTest::addColumn<bool>("online");
        QTest::addColumn<QString>("recordedMd5"); // "<same>" for the file's own MD5
        QTest::addColumn<bool>("withMd5Key");
        QTest::addColumn<bool>("downloaded");
        QTest::newRow("online, same MD5") << true << "<same>" << true << false;
        QTest::newRow("online, other MD5") << true << "0123" << true << true;
        QTest::newRow("offline, other MD5") << false << "0123" << true << false;
        QTest::newRow("offline, no MD5 key") << false << "" << false << true;
        QTest::newRow("online, no MD5 key") << true << "" << false << true;
    }
    void localCopyDecidesWhetherToDownload()
    {
        QFETCH(bool, online);
        QFETCH(QString, recordedMd5);
        QFETCH(bool, withMd5Key);
        QFETCH(bool, downloaded);
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        if (online)
            goOnline(net);
        const QByteArray bytes("lesson notes");
        const QString target = path(QStringLiteral("/a.txt"));
        QVERIFY(writeFile(target, bytes));
        QJsonObject record = download(target);
        if (withMd5Key)
            record.insert(QStringLiteral("fileMD5"),
                          recordedMd5 == QLatin1String("<same>") ? md5Hex(bytes) : recordedMd5);
        QSignalSpy progress(&manage, &YRResourceManage::signalDownloadProgress);
        QSignalSpy finished(&manage, &YRResourceManage::signalDownloadFinished);

        QVERIFY(manage.downloadFileFromCloud(record, false));

        QCOMPARE(net.transfer()->downloads.size(), downloaded ? 1 : 0);
        QCOMPARE(manage.hasDownloadingFile(), downloaded);
        QCOMPARE(finished.count(), 0);
        if (!downloaded) {
            QCOMPARE(progress.count(), 1);
            QCOMPARE(progress.at(0).at(1).toInt(), 100);
            QCOMPARE(progress.at(0).at(2).toString(), QStringLiteral("txt"));
            QCOMPARE(progressPaths(progressOf(manage), 100), QStringList{"/a.txt"});
        } else {
            QCOMPARE(progress.count(), 0);
            QVERIFY(net.transfer()->downloads.at(0).value("url").toString().contains("?sign="));
        }
    }

    void downloadCreatesTargetDirectoryAndKeepsGivenUrl()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        const QString target = path(QStringLiteral("/deep/er/a.txt"));
        QJsonObject record = download(target);
        record.insert(QStringLiteral("url"), QStringLiteral("https://given/a.txt"));
        QVERIFY(manage.downloadFileFromCloud(record, true));
        QVERIFY(QFileInfo(path(QStringLiteral("/deep/er"))).isDir());
        QCOMPARE(net.transfer()->downloads.at(0).value("url").toString(),
                 QStringLiteral("https://given/a.txt"));
        QVERIFY(net.transfer()->signRequests.isEmpty());
    }

    void recordWithoutDestTextIsRefused_data()
    {
        QTest::addColumn<QJsonValue>("dest");
        QTest::newRow("missing") << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("number") << QJsonValue(7);
        QTest::newRow("object") << QJsonValue(QJsonObject{{"a", 1}});
        QTest::newRow("empty") << QJsonValue(QString());
    }
    void recordWithoutDestTextIsRefused()
    {
        QFETCH(QJsonValue, dest);
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        QJsonObject record = download(QString());
        record.remove(QStringLiteral("dest"));
        if (!dest.isUndefined())
            record.insert(QStringLiteral("dest"), dest);
        QVERIFY(!manage.downloadFileFromCloud(record, false));
        QVERIFY(!manage.hasDownloadingFile());
        QVERIFY(net.transfer()->downloads.isEmpty());
    }

    void answerWithoutDestTextIsDropped_data() { recordWithoutDestTextIsRefused_data(); }
    void answerWithoutDestTextIsDropped()
    {
        QFETCH(QJsonValue, dest);
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        QJsonObject listed = download(path(QStringLiteral("/a.txt")));
        QVERIFY(manage.downloadFileFromCloud(listed, false));
        QSignalSpy finished(&manage, &YRResourceManage::signalDownloadFinished);
        QJsonObject answer = listed;
        answer.remove(QStringLiteral("dest"));
        if (!dest.isUndefined())
            answer.insert(QStringLiteral("dest"), dest);
        net.transfer()->emitDownloadFinished(true, answer);
        net.transfer()->emitDownloadFinished(false, answer);
        QCOMPARE(finished.count(), 0);
        QVERIFY(manage.hasDownloadingFile());
    }

    void duplicateDestsAllMoveOnOneAnswer()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        const QString target = path(QStringLiteral("/a.txt"));
        QJsonObject first = download(target, QStringLiteral("n1"));
        QJsonObject second = download(target, QStringLiteral("n2"));
        QJsonObject other = download(path(QStringLiteral("/b.txt")), QStringLiteral("n3"),
                                     QStringLiteral("/b.txt"));
        manage.downloadFileFromCloud(first, false);
        manage.downloadFileFromCloud(second, false);
        manage.downloadFileFromCloud(other, false);
        QVERIFY(writeFile(target, "x"));
        QSignalSpy finished(&manage, &YRResourceManage::signalDownloadFinished);

        net.transfer()->emitDownloadFinished(true, first);

        QCOMPARE(finished.count(), 1);
        QCOMPARE(progressPaths(progressOf(manage), 100), (QStringList{"/a.txt", "/a.txt"}));
        QVERIFY(manage.hasDownloadingFile()); // b.txt is still on its way
        net.transfer()->emitDownloadFinished(true, other);
        QVERIFY(!manage.hasDownloadingFile());
    }

    void failedDownloadSettlesByLocalCopyAndUser_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QString>("uid");
        QTest::addColumn<int>("percent"); // 0: not listed
        QTest::addColumn<int>("updated");
        QTest::newRow("missing file") << false << "" << -1 << 0;
        QTest::newRow("missing file, signed in") << false << "u1" << -1 << 0;
        QTest::newRow("old copy, nobody signed in") << true << "" << 100 << 0;
        QTest::newRow("old copy, signed in") << true << "u1" << 0 << 1;
    }
    void failedDownloadSettlesByLocalCopyAndUser()
    {
        QFETCH(bool, exists);
        QFETCH(QString, uid);
        QFETCH(int, percent);
        QFETCH(int, updated);
        qApp->setProperty("uid", uid);
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        const QString target = path(QStringLiteral("/a.txt"));
        QJsonObject record = download(target);
        manage.downloadFileFromCloud(record, false);
        if (exists)
            QVERIFY(writeFile(target, "old"));
        QSignalSpy fileUpdated(&manage, &YRResourceManage::signalFileUpadated);
        QSignalSpy finished(&manage, &YRResourceManage::signalDownloadFinished);

        net.transfer()->emitDownloadFinished(false, record);

        QVERIFY(!manage.hasDownloadingFile());
        QCOMPARE(finished.count(), 1);
        QVERIFY(!finished.at(0).at(0).toBool());
        QCOMPARE(fileUpdated.count(), updated);
        const QJsonArray progress = progressOf(manage);
        QCOMPARE(progress.size(), percent == 0 ? 0 : 1);
        if (percent != 0)
            QCOMPARE(progress.at(0).toObject().value("percent").toInt(), percent);
    }

    void smallImageCopyOnlyForOwnTargets()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        QImage image(200, 100, QImage::Format_RGB32);
        image.fill(Qt::red);
        const QString stranger = path(QStringLiteral("/stranger.png"));
        QVERIFY(image.save(stranger));
        // An answer naming a file we never asked for writes nothing beside it.
        net.transfer()->emitDownloadFinished(true, download(stranger));
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("/stranger_small.png"))));

        const QString own = path(QStringLiteral("/own.png"));
        QJsonObject record = download(own);
        manage.downloadFileFromCloud(record, false);
        QVERIFY(image.save(own));
        net.transfer()->emitDownloadFinished(true, record);
        QVERIFY(QFileInfo::exists(path(QStringLiteral("/own_small.png"))));
    }

    void documentUploadIsSentButNeverListed()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        QJsonObject record = upload(m_dir.path(), QStringLiteral("/teachpkg.json"));
        QVERIFY(manage.uploadFileToCloud(record, true));
        QCOMPARE(net.transfer()->uploads.size(), 1);
        QCOMPARE(net.transfer()->uploads.at(0).value("localPath").toString(),
                 path(QStringLiteral("/teachpkg.json")));
        QVERIFY(!net.transfer()->uploads.at(0).contains(QStringLiteral("localPath_temp")));
        QVERIFY(!manage.hasUploadingFile());
        QVERIFY(progressOf(manage).isEmpty());
        net.transfer()->emitUploadFinished(0, net.transfer()->uploads.at(0));
        QVERIFY(progressOf(manage).isEmpty());
    }

    void uploadWithoutSendingOnlyRegistersPresent()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        QJsonObject record = upload(m_dir.path(), QStringLiteral("/a.txt"));
        QVERIFY(manage.uploadFileToCloud(record, false));
        QVERIFY(net.transfer()->uploads.isEmpty());
        QVERIFY(!manage.hasUploadingFile());
        QCOMPARE(progressPaths(progressOf(manage), 100), QStringList{"/a.txt"});
        QCOMPARE(record.value("localPath").toString(), path(QStringLiteral("/a.txt")));
    }

    void uploadAnswerMovesItsOwnEntryToPresent()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        QJsonObject top = upload(m_dir.path(), QStringLiteral("/a.txt"), QStringLiteral("n1"));
        QJsonObject nested =
            upload(m_dir.path(), QStringLiteral("/sub/a.txt"), QStringLiteral("n2"));
        QVERIFY(writeFile(path(QStringLiteral("/a.txt")), "a"));
        QVERIFY(writeFile(path(QStringLiteral("/sub/a.txt")), "b"));
        manage.uploadFileToCloud(top, true);
        manage.uploadFileToCloud(nested, true);
        QSignalSpy finished(&manage, &YRResourceManage::signalUploadFinished);

        // "/a.txt" is also a part of ".../sub/a.txt": the answer must still pick its own entry.
        net.transfer()->emitUploadFinished(0, net.transfer()->uploads.at(1));

        QCOMPARE(finished.count(), 1);
        const QJsonArray progress = progressOf(manage);
        QCOMPARE(progress.size(), 2);
        QCOMPARE(progress.at(0).toObject().value("tempPath").toString(), QStringLiteral("/a.txt"));
        QCOMPARE(progress.at(1).toObject().value("tempPath").toString(),
                 QStringLiteral("/sub/a.txt"));
        QVERIFY(manage.hasUploadingFile());
        auto *watcher = manage.findChild<QFileSystemWatcher *>();
        QVERIFY(watcher->files().contains(path(QStringLiteral("/sub/a.txt"))));
        QVERIFY(!watcher->files().contains(path(QStringLiteral("/a.txt"))));
    }

    void failedUploadIsResentAfterAWait()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        QJsonObject record = upload(m_dir.path(), QStringLiteral("/a.txt"));
        manage.uploadFileToCloud(record, true);
        QSignalSpy finished(&manage, &YRResourceManage::signalUploadFinished);
        const QJsonObject sent = net.transfer()->uploads.at(0);

        net.transfer()->emitUploadFinished(5, sent);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(net.transfer()->uploads.size(), 1); // not at once
        QVERIFY(manage.hasUploadingFile());
        QTRY_COMPARE_WITH_TIMEOUT(net.transfer()->uploads.size(), 2, 3000);
        QCOMPARE(net.transfer()->uploads.at(1), sent);

        net.transfer()->emitUploadFinished(0, sent);
        QVERIFY(!manage.hasUploadingFile());
        QCOMPARE(progressPaths(progressOf(manage), 100), QStringList{"/a.txt"});
    }

    void clearUploadFilesCancelsResubmission()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        QJsonObject record = upload(m_dir.path(), QStringLiteral("/a.txt"));
        manage.uploadFileToCloud(record, true);
        net.transfer()->emitUploadFinished(5, net.transfer()->uploads.at(0));
        QVERIFY(manage.clearUploadFiles());
        QVERIFY(!manage.hasUploadingFile());
        QTest::qWait(1500); // longer than the first resubmission delay
        QCOMPARE(net.transfer()->uploads.size(), 1);
    }

    void progressListsUploadingFailedThenPresent()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        QJsonObject present = download(path(QStringLiteral("/p.txt")), "n1", "/p.txt");
        manage.appendDownloadedFile(present);
        QJsonObject document = download(path(QStringLiteral("/TeachPkg.JSON")), "n0",
                                        QStringLiteral("/TeachPkg.JSON"));
        manage.appendDownloadedFile(document);
        QJsonObject failed = download(path(QStringLiteral("/f.txt")), "n2", "/f.txt");
        manage.downloadFileFromCloud(failed, false);
        net.transfer()->emitDownloadFinished(false, failed);
        QJsonObject sending = upload(m_dir.path(), QStringLiteral("/u.txt"), "n3");
        manage.uploadFileToCloud(sending, true);
        QJsonObject downloading = download(path(QStringLiteral("/d.txt")), "n4", "/d.txt");
        manage.downloadFileFromCloud(downloading, false);

        const QJsonArray progress = progressOf(manage);
        QStringList order;
        for (const QJsonValue &entry : progress) {
            QCOMPARE(entry.toObject().keys(), (QStringList{"percent", "tempPath"}));
            order << entry.toObject().value("tempPath").toString() + QLatin1Char(' ') +
                         QString::number(entry.toObject().value("percent").toInt());
        }
        QCOMPARE(order, (QStringList{"/u.txt 100", "/f.txt -1", "/p.txt 100"}));
    }

    void reDownloadHandsOverFailedAndWaitingOnes()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        QJsonObject failed = download(path(QStringLiteral("/f.txt")), "n1", "/f.txt");
        QJsonObject waiting = download(path(QStringLiteral("/w.txt")), "n2", "/w.txt");
        manage.downloadFileFromCloud(failed, false);
        manage.downloadFileFromCloud(waiting, false);
        net.transfer()->emitDownloadFinished(false, failed);
        net.transfer()->downloads.clear();

        manage.reDownloadFile();

        QCOMPARE(net.transfer()->downloadedDests(),
                 (QStringList{path(QStringLiteral("/w.txt")), path(QStringLiteral("/f.txt"))}));
        QCOMPARE(progressPaths(progressOf(manage), -1), QStringList());
    }

    void networkAnswersWithOtherMarksAreIgnored()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        QSignalSpy changed(&manage, &YRResourceManage::signalNetWorkStateChanged);
        net.check()->emitResultNetWorkCheck(true, QStringLiteral("SomeoneElse"));
        QVERIFY(!manage.IsConnectedWithNet());
        QCOMPARE(changed.count(), 0);
    }

    void goingOnlineTwiceResubmitsOnce()
    {
        qApp->setProperty("uid", QStringLiteral("u1"));
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        QJsonObject failed = download(path(QStringLiteral("/f.txt")), "n1", "/f.txt");
        manage.downloadFileFromCloud(failed, false);
        net.transfer()->emitDownloadFinished(false, failed);
        QJsonObject sending = upload(m_dir.path(), QStringLiteral("/u.txt"), "n2");
        manage.uploadFileToCloud(sending, true);
        net.transfer()->downloads.clear();
        net.transfer()->uploads.clear();
        QSignalSpy changed(&manage, &YRResourceManage::signalNetWorkStateChanged);

        goOnline(net);
        goOnline(net);

        QVERIFY(manage.IsConnectedWithNet());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(net.transfer()->downloadedDests(), QStringList{path(QStringLiteral("/f.txt"))});
        QCOMPARE(net.transfer()->uploads.size(), 1);
        // The complete upload record goes out again, not the list's stripped copy.
        QCOMPARE(net.transfer()->uploads.at(0).value("remotePath").toString(),
                 QStringLiteral("/u/u.txt"));
        QCOMPARE(net.transfer()->uploads.at(0).value("localPath").toString(),
                 path(QStringLiteral("/u.txt")));

        net.check()->emitResultNetWorkCheck(false, QStringLiteral("YRResourceManage"));
        QCOMPARE(changed.count(), 2);
        QVERIFY(!changed.at(1).at(0).toBool());
    }

    void goingOnlineWithoutUserSendsNoUploads()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        QJsonObject sending = upload(m_dir.path(), QStringLiteral("/u.txt"));
        manage.uploadFileToCloud(sending, true);
        goOnline(net);
        QCOMPARE(net.transfer()->uploads.size(), 1);
    }

    void stateChangeAsksForACheckOnlyWhenDifferent()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        net.check()->emitNetWorkState(false);
        QCOMPARE(net.check()->checks.size(), 1);
        net.check()->emitNetWorkState(true);
        QCOMPARE(net.check()->checks.size(), 2);
        QVERIFY(!manage.IsConnectedWithNet()); // only an answer changes the state
    }

    void stopKeepsListsAndClearEmptiesThem()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        QVERIFY(!manage.startDownloadFiles());
        QJsonObject waiting = download(path(QStringLiteral("/w.txt")));
        manage.downloadFileFromCloud(waiting, false);
        QJsonObject present = download(path(QStringLiteral("/p.txt")), "n2", "/p.txt");
        manage.appendDownloadedFile(present);
        QVERIFY(manage.stopDownloadFiles());
        QCOMPARE(net.transfer()->stops, 1);
        QVERIFY(manage.hasDownloadingFile());
        QVERIFY(manage.clearDownloadFiles());
        QCOMPARE(net.transfer()->stops, 2);
        QVERIFY(!manage.hasDownloadingFile());
        QVERIFY(progressOf(manage).isEmpty());
    }

    void aFileHasOneSettledState()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        goOnline(net);
        const QString target = path(QStringLiteral("/a.txt"));
        QVERIFY(writeFile(target, "changed"));
        QJsonObject record = download(target);
        manage.appendDownloadedFile(record);
        record.insert(QStringLiteral("fileMD5"), QStringLiteral("stale"));
        manage.downloadFileFromCloud(record, false); // out of date: fetched again
        QVERIFY(progressOf(manage).isEmpty());
        net.transfer()->emitDownloadFinished(false, record);
        net.transfer()->emitDownloadFinished(true, record); // a late answer changes nothing
        QCOMPARE(progressOf(manage).size(), 1);
    }

    void cloudFolderDeletionUsesDocumentBucket_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("deleted");
        QTest::newRow("done") << 0 << true;
        QTest::newRow("refused") << 3 << false;
    }
    void cloudFolderDeletionUsesDocumentBucket()
    {
        QFETCH(int, answer);
        QFETCH(bool, deleted);
        qApp->setProperty("ResourceDomain",
                          QJsonObject{{"jsonroad", QJsonObject{{"bucket", "plans-bkt"}}}});
        FakeNetWorkManager net;
        net.transfer()->deleteResult = answer;
        YRResourceManage manage(&net);
        QCOMPARE(manage.deleteFileFromCloud(QStringLiteral("u1/guid")), deleted);
        QCOMPARE(net.transfer()->deletions.size(), 1);
        QCOMPARE(net.transfer()->deletions.at(0).bucket, QStringLiteral("plans-bkt"));
        QCOMPARE(net.transfer()->deletions.at(0).folder, QStringLiteral("/plan/u1/guid"));
    }
};

QTEST_MAIN(TestResourceQueues)
#include "tst_resourcequeues.moc"
