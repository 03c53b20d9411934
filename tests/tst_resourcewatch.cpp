#include "resourcemanage/yrresourcemanage.h"
#include "support/fakenetworkmanager.h"
#include "support/transferrecords.h"

#include <QFileSystemWatcher>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace TransferRecords;

// The watching of present files on a real file system, and the deletion of nodes' files.
class TestResourceWatch : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString &relative) const { return m_dir.path() + relative; }
    static QFileSystemWatcher *watcherOf(YRResourceManage &manage)
    {
        return manage.findChild<QFileSystemWatcher *>();
    }
    // A present, watched file at relative, with the given node id.
    void makePresent(YRResourceManage &manage, const QString &relative,
                     const QString &nodeId = QStringLiteral("n1"))
    {
        QVERIFY(writeFile(path(relative), "first"));
        QJsonObject record = download(path(relative), nodeId, relative);
        manage.appendDownloadedFile(record);
        QVERIFY(manage.addWatchFilePath(path(relative)));
    }
    static void append(const QString &file, const QByteArray &bytes)
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::Append));
        f.write(bytes);
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        qApp->setProperty("uid", QString());
    }
    void cleanup()
    {
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
    }

    void directoryTreeIsWatchedWhole()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        QVERIFY(writeFile(path(QStringLiteral("/plan/a.txt")), "a"));
        QVERIFY(writeFile(path(QStringLiteral("/plan/b.txt")), "b"));
        QVERIFY(writeFile(path(QStringLiteral("/plan/sub/c.txt")), "c"));
        QVERIFY(
            QFile::link(path(QStringLiteral("/plan/a.txt")), path(QStringLiteral("/plan/l.txt"))));

        QVERIFY(manage.addWatchFilePath(path(QStringLiteral("/plan"))));
        QVERIFY(manage.addWatchFilePath(path(QStringLiteral("/plan")))); // already watched

        QFileSystemWatcher *watcher = watcherOf(manage);
        QStringList files = watcher->files();
        QStringList dirs = watcher->directories();
        files.sort();
        dirs.sort();
        QCOMPARE(files, (QStringList{path(QStringLiteral("/plan/a.txt")),
                                     path(QStringLiteral("/plan/b.txt")),
                                     path(QStringLiteral("/plan/sub/c.txt"))}));
        QCOMPARE(dirs,
                 (QStringList{path(QStringLiteral("/plan")), path(QStringLiteral("/plan/sub"))}));

        QVERIFY(manage.clearWatchFilePaths());
        QVERIFY(watcher->files().isEmpty());
        QVERIFY(watcher->directories().isEmpty());
    }

    void missingPathWatchesNothingAndSucceeds()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("file path error!"));
        QVERIFY(manage.addWatchFilePath(path(QStringLiteral("/nowhere"))));
        QVERIFY(watcherOf(manage)->files().isEmpty());
    }

    void editedPresentFileIsReportedOnce()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        makePresent(manage, QStringLiteral("/a.txt"));
        QSignalSpy updated(&manage, &YRResourceManage::signalFileUpadated);

        append(path(QStringLiteral("/a.txt")), "edit");
        QTRY_COMPARE(updated.count(), 1);
        QCOMPARE(updated.at(0).at(0).toJsonObject().value("dest").toString(),
                 path(QStringLiteral("/a.txt")));
        QJsonArray progress;
        manage.getResourceProgress(progress);
        QVERIFY(progress.isEmpty());

        append(path(QStringLiteral("/a.txt")), "again");
        QTest::qWait(300); // give the watcher time to (not) report a second time
        QCOMPARE(updated.count(), 1);
    }

    void unreportedChanges_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::newRow("plan document") << "/teachpkg.json";
        QTest::newRow("image") << "/a.png";
        QTest::newRow("pattern letters in a folder name") << "/xpng/a.txt";
    }
    void unreportedChanges()
    {
        QFETCH(QString, relative);
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        makePresent(manage, relative);
        makePresent(manage, QStringLiteral("/witness.txt"), QStringLiteral("n2"));
        QSignalSpy updated(&manage, &YRResourceManage::signalFileUpadated);

        append(path(relative), "edit");
        append(path(QStringLiteral("/witness.txt")), "edit");
        // The witness's report shows the watcher has spoken; nothing came for the other file.
        QTRY_COMPARE(updated.count(), 1);
        QCOMPARE(updated.at(0).at(0).toJsonObject().value("nodeId").toString(),
                 QStringLiteral("n2"));
    }

    void fileReplacedByRenameIsReportedAndWatchedAgain()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        makePresent(manage, QStringLiteral("/a.txt"));
        QSignalSpy updated(&manage, &YRResourceManage::signalFileUpadated);

        // How editors save: write a new file, then rename it over the old one.
        QVERIFY(writeFile(path(QStringLiteral("/a.txt.tmp")), "new content"));
        QVERIFY(::rename(QFile::encodeName(path(QStringLiteral("/a.txt.tmp"))).constData(),
                         QFile::encodeName(path(QStringLiteral("/a.txt"))).constData()) == 0);

        QTRY_COMPARE(updated.count(), 1);
        QTRY_VERIFY(watcherOf(manage)->files().contains(path(QStringLiteral("/a.txt"))));
    }

    void vanishedFileIsNotReported()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        makePresent(manage, QStringLiteral("/a.txt"));
        QSignalSpy updated(&manage, &YRResourceManage::signalFileUpadated);
        QVERIFY(QFile::remove(path(QStringLiteral("/a.txt"))));
        manage.slotFileChanged(path(QStringLiteral("/a.txt")));
        QCOMPARE(updated.count(), 0);
    }

    void watchedFileNamedAsDirectoryIsForgotten()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        makePresent(manage, QStringLiteral("/a.txt"));
        manage.slotDirectoryChanged(path(QStringLiteral("/a.txt")));
        QVERIFY(!watcherOf(manage)->files().contains(path(QStringLiteral("/a.txt"))));
    }

    void deletingNodeRemovesImageAndSmallCopy()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        makePresent(manage, QStringLiteral("/a.png"), QStringLiteral("img"));
        QVERIFY(writeFile(path(QStringLiteral("/a_small.png")), "small"));
        makePresent(manage, QStringLiteral("/keep.txt"), QStringLiteral("other"));

        manage.deleteFileById({QStringLiteral("img")});

        QVERIFY(!QFileInfo::exists(path(QStringLiteral("/a.png"))));
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("/a_small.png"))));
        QVERIFY(QFileInfo::exists(path(QStringLiteral("/keep.txt"))));
        QVERIFY(!watcherOf(manage)->files().contains(path(QStringLiteral("/a.png"))));
        QJsonArray progress;
        manage.getResourceProgress(progress);
        QCOMPARE(progressPaths(progress, 100), QStringList{"/keep.txt"});
    }

    void smallCopyOnlyForWholeImageSuffixes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("lookalike");
        QTest::addColumn<bool>("lookalikeDeleted");
        QTest::newRow("upper-case suffix") << "/A.JPG"
                                           << "/A_small.JPG" << true;
        QTest::newRow("no suffix") << "/README"
                                   << "/README_small." << false;
        QTest::newRow("part of a suffix") << "/x.b"
                                          << "/x_small.b" << false;
        QTest::newRow("text file") << "/x.txt"
                                   << "/x_small.txt" << false;
    }
    void smallCopyOnlyForWholeImageSuffixes()
    {
        QFETCH(QString, file);
        QFETCH(QString, lookalike);
        QFETCH(bool, lookalikeDeleted);
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        makePresent(manage, file);
        QVERIFY(writeFile(path(lookalike), "someone's file"));
        manage.deleteFileById({QStringLiteral("n1")});
        QVERIFY(!QFileInfo::exists(path(file)));
        QCOMPARE(!QFileInfo::exists(path(lookalike)), lookalikeDeleted);
    }

    void deletionNeverFollowsLinksNorTakesDirectories()
    {
        QTemporaryDir outside;
        const QString precious = outside.path() + QStringLiteral("/precious.txt");
        QVERIFY(writeFile(precious, "keep me"));
        QVERIFY(writeFile(outside.path() + QStringLiteral("/d/inner.txt"), "keep me too"));
        QVERIFY(QFile::link(precious, path(QStringLiteral("/link.txt"))));
        QVERIFY(
            QFile::link(outside.path() + QStringLiteral("/d"), path(QStringLiteral("/dirlink"))));
        QVERIFY(QDir().mkpath(path(QStringLiteral("/folder/sub"))));
        QVERIFY(QFile::link(precious, path(QStringLiteral("/b_small.png"))));
        QVERIFY(writeFile(path(QStringLiteral("/b.png")), "img"));

        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        for (const QString &relative : {QStringLiteral("/link.txt"), QStringLiteral("/dirlink"),
                                        QStringLiteral("/folder"), QStringLiteral("/b.png")}) {
            QJsonObject record = download(path(relative), QStringLiteral("n1"), relative);
            manage.appendDownloadedFile(record);
        }
        QJsonObject uploading = upload(m_dir.path(), QStringLiteral("/folder"));
        manage.uploadFileToCloud(uploading, true);

        manage.deleteFileById({QStringLiteral("n1")});

        QVERIFY(QFileInfo(precious).isFile());
        QVERIFY(QFileInfo::exists(outside.path() + QStringLiteral("/d/inner.txt")));
        QVERIFY(!QFileInfo(path(QStringLiteral("/link.txt"))).isSymLink()); // the link itself went
        QVERIFY(QFileInfo(path(QStringLiteral("/dirlink"))).isSymLink());
        QVERIFY(QFileInfo(path(QStringLiteral("/folder/sub"))).isDir());
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("/b.png"))));
        QVERIFY(!QFileInfo(path(QStringLiteral("/b_small.png"))).isSymLink());
        QVERIFY(!manage.hasUploadingFile());
    }

    void deletingNodesCancelsDownloadsAndForgetsFailures()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        QJsonObject waiting = download(path(QStringLiteral("/w.txt")), "gone", "/w.txt");
        QJsonObject failed = download(path(QStringLiteral("/f.txt")), "gone", "/f.txt");
        QJsonObject kept = download(path(QStringLiteral("/k.txt")), "kept", "/k.txt");
        QJsonObject anonymous = download(path(QStringLiteral("/x.txt")), "", "/x.txt");
        anonymous.remove(QStringLiteral("nodeId"));
        for (QJsonObject *record : {&waiting, &failed, &kept, &anonymous})
            manage.downloadFileFromCloud(*record, false);
        net.transfer()->emitDownloadFinished(false, failed);

        manage.deleteFileById({QStringLiteral("gone")});

        QCOMPARE(net.transfer()->cancels, QStringList{"/cloud/w.txt"});
        QJsonArray progress;
        manage.getResourceProgress(progress);
        QVERIFY(progress.isEmpty());
        net.transfer()->downloads.clear();
        manage.reDownloadFile();
        QCOMPARE(net.transfer()->downloadedDests(),
                 (QStringList{path(QStringLiteral("/k.txt")), path(QStringLiteral("/x.txt"))}));
    }
};

QTEST_MAIN(TestResourceWatch)
#include "tst_resourcewatch.moc"
