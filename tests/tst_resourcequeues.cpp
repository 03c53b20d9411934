#include "support/transferrecords.h"

#include <QImage>
#include <QtTest>

using namespace TransferRecords;
using Presence = FakeNetWorkManager::Presence;

Q_DECLARE_METATYPE(Presence)

// The four transfer lists, their moves, the relayed signals and the network-state handling.
class TestResourceQueues : public QObject, public ResourceFixture
{
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void avatarPixmapIsRelayedByReference()
    {
        QPixmap *relayed = nullptr;
        connect(manage, &YRResourceManage::signalAvatarData, [&](QPixmap &p) { relayed = &p; });
        QPixmap pixmap(2, 2);
        net->transfer()->emitAvatarData(pixmap);
        QCOMPARE(relayed, &pixmap);
    }

    void missingNetworkObjectsAreSurvived_data()
    {
        QTest::addColumn<Presence>("check");
        QTest::addColumn<Presence>("transfer");
        QTest::newRow("no check, foreign transfer") << Presence::Missing << Presence::Foreign;
        QTest::newRow("foreign check, no transfer") << Presence::Foreign << Presence::Missing;
    }
    void missingNetworkObjectsAreSurvived()
    {
        QFETCH(Presence, check);
        QFETCH(Presence, transfer);
        tearDown();
        net = new FakeNetWorkManager(check, Presence::Real, transfer);
        manage = new YRResourceManage(net);
        const QJsonObject record = fetch("/a.txt");
        manage->slotUploadFinished(1, send("/b.txt"));
        manage->slotNetWorkState(true);
        manage->slotResultNetWorkCheck(true, "YRResourceManage");
        manage->deleteFileById({QStringLiteral("n1")});
        QVERIFY(manage->stopDownloadFiles() && manage->clearUploadFiles());
        // With no usable transfer object there is no signature and no cloud deletion.
        QVERIFY(!manage->deleteFileFromCloud("p"));
        QVERIFY(manage->getFullUrl(record).endsWith(QStringLiteral("?sign=")));
        QVERIFY(manage->IsConnectedWithNet());
    }

    void localCopyDecidesWhetherToDownload_data()
    {
        QTest::addColumn<bool>("online");
        QTest::addColumn<QString>("recordedMd5"); // "": no key
        const QString same = QCryptographicHash::hash("notes", QCryptographicHash::Md5).toHex();
        QTest::addColumn<bool>("downloaded");
        QTest::newRow("online, same MD5") << true << same << false;
        QTest::newRow("online, other MD5") << true << "0123" << true;
        QTest::newRow("offline, other MD5") << false << "0123" << false;
        QTest::newRow("offline, no MD5 key") << false << "" << true;
        QTest::newRow("online, no MD5 key") << true << "" << true;
    }
    void localCopyDecidesWhetherToDownload()
    {
        QFETCH(bool, online);
        QFETCH(QString, recordedMd5);
        QFETCH(bool, downloaded);
        net->check()->emitResultNetWorkCheck(online, "YRResourceManage");
        QVERIFY(writeFile(path("/a.txt"), "notes"));
        QJsonObject record = download(path("/a.txt"));
        if (downloaded) // listed as present before: a record lives in one list
            manage->appendDownloadedFile(record);
        if (!recordedMd5.isEmpty())
            record.insert("fileMD5", recordedMd5);
        QSignalSpy progress(manage, &YRResourceManage::signalDownloadProgress);
        QVERIFY(manage->downloadFileFromCloud(record, false));
        QCOMPARE(manage->hasDownloadingFile(), downloaded);
        QCOMPARE(progressOf(*manage), downloaded ? QStringList() : QStringList{"/a.txt 100"});
        QCOMPARE(progress.value(0).mid(1),
                 (downloaded ? QVariantList() : QVariantList{100, "txt"}));
        net->transfer()->emitDownloadFinished(false, record); // late answers add nothing
        net->transfer()->emitDownloadFinished(true, record);
        QCOMPARE(progressOf(*manage), QStringList{"/a.txt 100"});
    }

    // The MD5 of an unchanged file is remembered; any change of size or time hashes it again.
    void aChangedLocalCopyIsCheckedAgain()
    {
        net->check()->emitResultNetWorkCheck(true, "YRResourceManage");
        QVERIFY(writeFile(path("/a.txt"), "notes"));
        QJsonObject record = download(path("/a.txt"));
        record.insert("fileMD5",
                      QString(QCryptographicHash::hash("notes", QCryptographicHash::Md5).toHex()));
        QVERIFY(manage->downloadFileFromCloud(record, false));
        QVERIFY(!manage->hasDownloadingFile());

        // Same size, other content, a later modification time.
        QVERIFY(writeFile(path("/a.txt"), "NOTES"));
        QFile file(path("/a.txt"));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(60),
                                 QFileDevice::FileModificationTime));
        file.close();
        QVERIFY(manage->downloadFileFromCloud(record, false));
        QVERIFY(manage->hasDownloadingFile());
    }

    void preparedCopiesDecideAsCheckedOnes()
    {
        net->check()->emitResultNetWorkCheck(true, "YRResourceManage");
        QVector<QJsonObject> records;
        for (const QString name : {"/a.txt", "/b.txt", "/c.txt"}) {
            QVERIFY(writeFile(path(name), name.toUtf8()));
            records.append(download(path(name), "n" + name, name));
            records.last().insert(
                "fileMD5",
                QString(QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Md5).toHex()));
        }
        records[1].insert("fileMD5", "0123"); // changed in the cloud
        records.append(download(path("/missing.txt"), "n4", "/missing.txt"));
        manage->prepareLocalCopies(records);
        for (QJsonObject &record : records)
            QVERIFY(manage->downloadFileFromCloud(record, false));
        QCOMPARE(net->transfer()->downloadedDests(),
                 (QStringList{path("/b.txt"), path("/missing.txt")}));
    }

    void recordsWithoutDestTextAreRefusedAndDropped_data()
    {
        QTest::addColumn<QJsonValue>("dest");
        QTest::newRow("missing") << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("number") << QJsonValue(7);
    }
    void recordsWithoutDestTextAreRefusedAndDropped()
    {
        QFETCH(QJsonValue, dest);
        QJsonObject record = download(QString());
        record.insert("dest", dest); // undefined: no "dest" at all
        QVERIFY(!manage->downloadFileFromCloud(record, false));
        QVERIFY(!manage->hasDownloadingFile());
        fetch("/a.txt"); // answers carrying such a record leave it alone
        QSignalSpy finished(manage, &YRResourceManage::signalDownloadFinished);
        net->transfer()->emitDownloadFinished(true, record);
        net->transfer()->emitDownloadFinished(false, record);
        QCOMPARE(finished.count(), 0);
        QCOMPARE(net->transfer()->downloadedDests(), QStringList{path("/a.txt")});
    }

    void duplicateDestsAllMoveOnOneAnswer()
    {
        const QJsonObject first = fetch("/a.txt", "n1");
        fetch("/a.txt", "n2");
        fetch("/b.txt", "n3");
        QVERIFY(writeFile(path("/a.txt"), "x"));
        QSignalSpy finished(manage, &YRResourceManage::signalDownloadFinished);
        net->transfer()->emitDownloadFinished(true, first);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(progressOf(*manage), (QStringList{"/a.txt 100", "/a.txt 100"}));
        QVERIFY(manage->hasDownloadingFile()); // b.txt is still on its way
    }

    void failedDownloadSettlesByLocalCopyAndUser_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QString>("uid");
        QTest::addColumn<QStringList>("progress");
        QTest::addColumn<int>("updated");
        QTest::newRow("missing file, signed in") << false << "u1" << QStringList{"/a.txt -1"} << 0;
        QTest::newRow("old copy") << true << "" << QStringList{"/a.txt 100"} << 0;
        QTest::newRow("old copy, signed in") << true << "u1" << QStringList() << 1;
    }
    void failedDownloadSettlesByLocalCopyAndUser()
    {
        QFETCH(bool, exists);
        QFETCH(QString, uid);
        QFETCH(QStringList, progress);
        QFETCH(int, updated);
        qApp->setProperty("uid", uid);
        const QJsonObject record = fetch("/a.txt");
        QVERIFY(!exists || writeFile(path("/a.txt"), "old"));
        QSignalSpy fileUpdated(manage, &YRResourceManage::signalFileUpadated);
        QSignalSpy finished(manage, &YRResourceManage::signalDownloadFinished);
        net->transfer()->emitDownloadFinished(false, record);
        QVERIFY(!manage->hasDownloadingFile());
        QCOMPARE(finished.value(0).value(0), QVariant(false));
        QCOMPARE(fileUpdated.count(), updated);
        QCOMPARE(progressOf(*manage), progress);
    }

    void smallImageCopyOnlyForOwnTargetsInCreatedFolders()
    {
        QImage image(200, 100, QImage::Format_RGB32);
        image.fill(Qt::red);
        // An answer naming a file we never asked for writes nothing beside it.
        QVERIFY(image.save(path("/stranger.png")));
        net->transfer()->emitDownloadFinished(true, download(path("/stranger.png")));
        QVERIFY(!QFileInfo::exists(path("/stranger_small.png")));
        QJsonObject own = download(path("/deep/own.png"));
        own.insert("url", "https://given/own.png");
        QVERIFY(manage->downloadFileFromCloud(own, true));
        QCOMPARE(net->transfer()->downloads.value(0).value("url"), own.value("url"));
        QVERIFY(image.save(path("/deep/own.png"))); // the folder was made for it
        net->transfer()->emitDownloadFinished(true, own);
        QVERIFY(QFileInfo::exists(path("/deep/own_small.png")));
    }

    void documentUploadIsSentButNeverListed()
    {
        send("/teachpkg.json");
        const QJsonObject sent = net->transfer()->uploads.value(0);
        QCOMPARE(sent.value("localPath").toString(), path("/teachpkg.json"));
        QVERIFY(!sent.contains(QStringLiteral("localPath_temp")) && !manage->hasUploadingFile());
        net->transfer()->emitUploadFinished(0, sent);
        QVERIFY(progressOf(*manage).isEmpty());
    }

    void uploadAnswerMovesItsOwnEntryToPresent()
    {
        QVERIFY(writeFile(path("/a.txt"), "a"));
        QVERIFY(writeFile(path("/sub/a.txt"), "b"));
        send("/a.txt", "n1");
        send("/sub/a.txt", "n2");
        QSignalSpy finished(manage, &YRResourceManage::signalUploadFinished);
        // "/a.txt" is also a part of ".../sub/a.txt": the answer must still pick its own entry.
        net->transfer()->emitUploadFinished(0, net->transfer()->uploads.at(1));
        QCOMPARE(finished.count(), 1);
        QCOMPARE(progressOf(*manage), (QStringList{"/a.txt 100", "/sub/a.txt 100"}));
        QCOMPARE(manage->findChild<QFileSystemWatcher *>()->files(),
                 QStringList{path("/sub/a.txt")});
    }

    // A failing server is not hammered: the entry waits, listed, for a delayed resend.
    void failedUploadIsResentAfterAWaitUntilCleared()
    {
        send("/a.txt");
        const QJsonObject sent = net->transfer()->uploads.at(0);
        net->transfer()->emitUploadFinished(5, sent);
        QVERIFY(net->transfer()->uploads.size() == 1 && manage->hasUploadingFile()); // not at once
        QTRY_COMPARE_WITH_TIMEOUT(net->transfer()->uploads.size(), 2, 3000);
        QCOMPARE(net->transfer()->uploads.at(1), sent);
        net->transfer()->emitUploadFinished(0, sent);
        QCOMPARE(progressOf(*manage), QStringList{"/a.txt 100"});
        send("/b.txt");
        net->transfer()->emitUploadFinished(5, net->transfer()->uploads.at(2));
        QVERIFY(manage->clearUploadFiles() && !manage->hasUploadingFile());
        QTest::qWait(1200); // just past the first resubmission delay of one second
        QCOMPARE(net->transfer()->uploads.size(), 3);
    }

    // Each failure doubles the wait before the next try, up to a minute: a cloud that is down
    // for an hour is not asked every second, and a recovered one is asked again within one.
    void uploadRetriesBackOffToAMinute()
    {
        static QStringList delays;
        delays.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &message) {
                const QString marker = QStringLiteral("sending again in ");
                if (message.contains(marker))
                    delays << message.section(marker, 1).section(' ', 0, 0);
            });
        QLoggingCategory::setFilterRules(QStringLiteral("yrdata.resource.info=true"));
        send("/a.txt");
        const QJsonObject sent = net->transfer()->uploads.at(0);
        for (int failure = 0; failure < 9; ++failure)
            net->transfer()->emitUploadFinished(5, sent);
        QLoggingCategory::setFilterRules(QString());
        qInstallMessageHandler(previous);
        QCOMPARE(delays, (QStringList{"1000", "2000", "4000", "8000", "16000", "32000", "60000",
                                      "60000", "60000"}));
        QVERIFY(manage->clearUploadFiles());
    }

    void networkStateFollowsOwnCheckAnswers()
    {
        QCOMPARE(net->check()->checks, QStringList{"YRResourceManage"});
        net->transfer()->emitDownloadFinished(false, fetch("/f.txt"));
        send("/u.txt");
        net->transfer()->uploads.clear();
        QSignalSpy changed(manage, &YRResourceManage::signalNetWorkStateChanged);
        // A state change only asks for a check; answers to other marks are not ours.
        net->check()->emitNetWorkState(false);
        net->check()->emitNetWorkState(true);
        QCOMPARE(net->check()->checks.size(), 2);
        net->check()->emitResultNetWorkCheck(true, "SomeoneElse");
        QVERIFY(!manage->IsConnectedWithNet());
        net->check()->emitResultNetWorkCheck(true,
                                             "YRResourceManage"); // nobody signed in: uploads wait
        QVERIFY(net->transfer()->uploads.isEmpty());
        net->check()->emitResultNetWorkCheck(false, "YRResourceManage");
        qApp->setProperty("uid", "u1");
        net->transfer()->downloads.clear();
        net->check()->emitResultNetWorkCheck(true, "YRResourceManage");
        net->check()->emitResultNetWorkCheck(true, "YRResourceManage");
        QCOMPARE(changed.count(), 3);
        QCOMPARE(net->transfer()->downloadedDests(), QStringList{path("/f.txt")});
        // The complete upload record goes out again, not the list's stripped copy.
        QCOMPARE(net->transfer()->uploads.size(), 1);
        QCOMPARE(net->transfer()->uploads.at(0).value("remotePath"), QJsonValue("/u/u.txt"));
    }

    // Progress lists uploading, failed, then present entries; never the plan document.
    void progressStopReDownloadAndClearKeepTheLists()
    {
        for (const QString relative : {"/p.txt", "/TeachPkg.JSON"}) {
            QJsonObject present = download(path(relative), "n0", relative);
            manage->appendDownloadedFile(present);
        }
        net->transfer()->emitDownloadFinished(false, fetch("/f.txt"));
        fetch("/w.txt");
        send("/u.txt");
        // An upload not sent now is only registered as present, with its full local path.
        QCOMPARE(send("/s.txt", "n1", false).value("localPath").toString(), path("/s.txt"));
        QCOMPARE(net->transfer()->uploads.size(), 1);
        const QStringList all{"/u.txt 100", "/f.txt -1", "/p.txt 100", "/s.txt 100"};
        QCOMPARE(progressOf(*manage), all);
        QVERIFY(manage->stopDownloadFiles());
        QCOMPARE(net->transfer()->stops, 1);
        net->transfer()->downloads.clear();
        manage->reDownloadFile(); // the waiting ones, then the failed ones
        QCOMPARE(net->transfer()->downloadedDests(), (QStringList{path("/w.txt"), path("/f.txt")}));
        QCOMPARE(progressOf(*manage), (QStringList{all[0], all[2], all[3]}));
        QVERIFY(manage->clearDownloadFiles());
        QCOMPARE(net->transfer()->stops, 2);
        QVERIFY(!manage->hasDownloadingFile());
        QCOMPARE(progressOf(*manage), QStringList{"/u.txt 100"});
    }

    void cloudFolderDeletionUsesDocumentBucket()
    {
        qApp->setProperty("ResourceDomain",
                          QJsonObject{{"jsonroad", QJsonObject{{"bucket", "b"}}}});
        QVERIFY(manage->deleteFileFromCloud("u1/guid"));
        net->transfer()->deleteResult = 3;
        QVERIFY(!manage->deleteFileFromCloud("u1/guid"));
        const FakeFileTransfer::Deletion deletion = net->transfer()->deletions.value(1);
        QCOMPARE(deletion.bucket + deletion.folder, QStringLiteral("b/plan/u1/guid"));
    }
};

QTEST_MAIN(TestResourceQueues)
#include "tst_resourcequeues.moc"
