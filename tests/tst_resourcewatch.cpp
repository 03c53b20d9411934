#include "support/transferrecords.h"

#include <QtTest>

using namespace TransferRecords;

// The watching of present files on a real file system, and the deletion of nodes' files.
class TestResourceWatch : public QObject, public ResourceFixture
{
    Q_OBJECT

private:
    QStringList watched() const { return manage->findChild<QFileSystemWatcher *>()->files(); }
    static QStringList reportedNodes(const QSignalSpy &spy)
    {
        QStringList nodes;
        for (const QList<QVariant> &report : spy)
            nodes << report.at(0).toJsonObject().value("nodeId").toString();
        return nodes;
    }

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void directoryTreeIsWatchedWithoutLinks()
    {
        for (const char *file : {"/plan/a.txt", "/plan/sub/c.txt"})
            QVERIFY(writeFile(path(file), "x"));
        QVERIFY(QFile::link(path("/plan/a.txt"), path("/plan/l.txt")));
        // Paths already watched, and paths that do not exist, count as added.
        QVERIFY(manage->addWatchFilePath(path("/plan")) && manage->addWatchFilePath(path("/plan")));
        QVERIFY(manage->addWatchFilePath(path("/nowhere")));
        auto *watcher = manage->findChild<QFileSystemWatcher *>();
        QCOMPARE(watched() + watcher->directories(),
                 (QStringList{path("/plan/sub/c.txt"), path("/plan/a.txt"), path("/plan"),
                              path("/plan/sub")}));
        QVERIFY(manage->clearWatchFilePaths());
        QVERIFY(watched().isEmpty() && watcher->directories().isEmpty());
    }

    // A witness file, reported every time, shows the watcher has spoken after each edit.
    void editsAreReportedOnceExceptDocumentAndImages_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<int>("reports");
        QTest::newRow("text file") << "/a.txt" << 1;
        QTest::newRow("plan document") << "/teachpkg.json" << 0;
        QTest::newRow("image") << "/a.png" << 0;
        QTest::newRow("pattern letters in a folder name") << "/xpng/a.txt" << 0;
    }
    void editsAreReportedOnceExceptDocumentAndImages()
    {
        QFETCH(QString, relative);
        QFETCH(int, reports);
        makePresent(relative);
        QSignalSpy updated(manage, &YRResourceManage::signalFileUpadated);
        for (const QString witness : {QStringLiteral("w1"), QStringLiteral("w2")}) {
            makePresent(QLatin1Char('/') + witness, witness);
            QVERIFY(writeFile(path(relative), "edit", true));
            QVERIFY(writeFile(path(QLatin1Char('/') + witness), "edit", true));
            QTRY_VERIFY(reportedNodes(updated).contains(witness));
        }
        QCOMPARE(reportedNodes(updated).count(QStringLiteral("n1")), reports);
        QCOMPARE(progressOf(*manage).size(), reports || relative == "/teachpkg.json" ? 0 : 1);
    }

    void fileReplacedByRenameIsReportedAndWatchedAgainUntilItVanishes()
    {
        makePresent("/a.txt");
        QSignalSpy updated(manage, &YRResourceManage::signalFileUpadated);
        // How editors save: write a new file, then rename it over the old one.
        QVERIFY(writeFile(path("/a.txt.tmp"), "new content"));
        QVERIFY(::rename(QFile::encodeName(path("/a.txt.tmp")).constData(),
                         QFile::encodeName(path("/a.txt")).constData()) == 0);
        QTRY_COMPARE(updated.count(), 1);
        makePresent("/b.txt", "n2"); // gone: nothing to report, nothing to watch
        QVERIFY(QFile::remove(path("/b.txt")));
        manage->slotFileChanged(path("/b.txt"));
        manage->slotDirectoryChanged(path("/b.txt"));
        QCOMPARE(updated.count(), 1);
        QCOMPARE(watched(), QStringList{path("/a.txt")});
    }

    // Two nodes may name one file: each change is reported for the one listed first, which
    // then leaves the list, so the next change names the other.
    void changesNameTheRecordsOfAFileInTurn()
    {
        makePresent("/a.txt", "n1");
        makePresent("/a.txt", "n2");
        QSignalSpy updated(manage, &YRResourceManage::signalFileUpadated);
        QVERIFY(writeFile(path("/a.txt"), "first edit"));
        QTRY_COMPARE(reportedNodes(updated), QStringList{"n1"});
        QVERIFY(writeFile(path("/a.txt"), "second edit"));
        QTRY_COMPARE(reportedNodes(updated), (QStringList{"n1", "n2"}));
    }

    void deletingNodeTakesOnlyImagesSmallCopies_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("smallDeleted"); // the "_small." file beside it
        QTest::newRow("image") << "/a.png" << true;
        QTest::newRow("upper-case suffix") << "/A.JPG" << true;
        QTest::newRow("no suffix") << "/README" << false;
        QTest::newRow("part of a suffix") << "/x.b" << false;
        QTest::newRow("text file") << "/x.txt" << false;
    }
    void deletingNodeTakesOnlyImagesSmallCopies()
    {
        QFETCH(QString, file);
        QFETCH(bool, smallDeleted);
        const QFileInfo info(path(file));
        QString small = info.path() + "/" + info.completeBaseName() + "_small." + info.suffix();
        makePresent(file);
        makePresent("/keep.txt", "other");
        QVERIFY(writeFile(small, "someone's file"));
        manage->deleteFileById({"n1"});
        QVERIFY(!QFileInfo::exists(path(file)));
        QCOMPARE(!QFileInfo::exists(small), smallDeleted);
        QCOMPARE(watched(), QStringList{path("/keep.txt")});
        QCOMPARE(progressOf(*manage), QStringList{"/keep.txt 100"});
    }

    void deletionNeverFollowsLinksNorTakesDirectories()
    {
        QTemporaryDir outside;
        const QString precious = outside.filePath("precious.txt");
        QVERIFY(writeFile(precious, "keep me"));
        QVERIFY(writeFile(outside.filePath("d/inner.txt"), "keep me too"));
        QVERIFY(QFile::link(precious, path("/link.txt")));
        QVERIFY(QFile::link(outside.filePath("d"), path("/dirlink")));
        QVERIFY(QFile::link(precious, path("/b_small.png")));
        QVERIFY(writeFile(path("/b.png"), "img"));
        QVERIFY(QDir().mkpath(path("/folder/sub")));
        for (const char *relative : {"/link.txt", "/dirlink", "/folder", "/b.png"}) {
            QJsonObject record = download(path(relative), "n1", relative);
            manage->appendDownloadedFile(record);
        }
        send("/folder");

        manage->deleteFileById({QStringLiteral("n1")});

        QVERIFY(QFileInfo(precious).isFile() && QFileInfo::exists(outside.filePath("d/inner.txt")));
        QVERIFY(!QFileInfo(path("/link.txt")).isSymLink()); // the link itself went
        QVERIFY(QFileInfo(path("/dirlink")).isSymLink() && QFileInfo(path("/folder/sub")).isDir());
        QVERIFY(!QFileInfo::exists(path("/b.png")) && !QFileInfo(path("/b_small.png")).isSymLink());
        QVERIFY(!manage->hasUploadingFile());
    }

    void deletingNodesCancelsDownloadsAndForgetsFailures()
    {
        fetch("/w.txt", "gone");
        net->transfer()->emitDownloadFinished(false, fetch("/f.txt", "gone"));
        fetch("/k.txt", "kept");
        manage->deleteFileById({QStringLiteral("gone")});
        QCOMPARE(net->transfer()->cancels, QStringList{"/cloud/w.txt"});
        QVERIFY(progressOf(*manage).isEmpty());
        net->transfer()->downloads.clear();
        manage->reDownloadFile();
        QCOMPARE(net->transfer()->downloadedDests(), QStringList{path("/k.txt")});
    }
};

QTEST_MAIN(TestResourceWatch)
#include "tst_resourcewatch.moc"
