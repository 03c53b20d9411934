#include "teachingplanoperate/yrcalexportprocess.h"

#include <QtTest>

#include <memory>

namespace {

QJsonObject fileRecord(const QString &dest, const char *size, const char *nodeType = "file")
{
    return QJsonObject{{"dest", dest}, {"nodeType", nodeType}, {"fileSize", size}};
}

} // namespace

// Takes the worker's reports on the test's thread, queued, the way the controller gets them.
class MainThreadRelay : public QObject
{
    Q_OBJECT
signals:
    void exportProcess(int value);
};

class TestExportProcess : public QObject
{
    Q_OBJECT

    MainThreadRelay m_relay;
    std::unique_ptr<QSignalSpy> m_spy;

    // A worker counting towards totalSize, whose reports reach m_spy on this thread.
    std::unique_ptr<YRCalExportProcess> startWorker(int totalSize)
    {
        auto worker = std::make_unique<YRCalExportProcess>();
        connect(worker.get(), &YRCalExportProcess::exportProcess, &m_relay,
                &MainThreadRelay::exportProcess, Qt::QueuedConnection);
        m_spy = std::make_unique<QSignalSpy>(&m_relay, &MainThreadRelay::exportProcess);
        worker->setTotalSize(totalSize);
        worker->startCounting();
        return worker;
    }
    QList<int> reported() const
    {
        QList<int> values;
        for (const QList<QVariant> &arguments : *m_spy)
            values.append(arguments.at(0).toInt());
        return values;
    }

private slots:
    void percentIsWeightedBySizeAndNeverGoesBack()
    {
        auto worker = startWorker(2000);
        const QJsonObject a = fileRecord("/plan/a.mp4", "1000");
        worker->enqueue(a, 30); // 300 of 2000 bytes
        worker->enqueue(a, 30); // nothing new
        worker->enqueue(a, 80); // 500 more
        worker->enqueue(a, 50); // lower than counted: nothing
        worker->enqueue(fileRecord("/plan/b.doc", "1000"), 10);
        QTRY_COMPARE(reported(), (QList<int>{15, 40, 45}));

        // Reaching exactly the total reports nothing (completion is not the worker's to say);
        // going past it reports 99.
        worker->enqueue(a, 100);
        worker->enqueue(fileRecord("/plan/b.doc", "1000"), 100);
        worker->enqueue(fileRecord("/plan/c.png", "0"), 0);
        worker->enqueue(a, 90);
        worker->enqueue(fileRecord("/plan/d.png", "20"), 100);
        QTRY_COMPARE(reported(), (QList<int>{15, 40, 45, 55, 99}));

        // Without a total, every file record is past it (and nothing divides by zero).
        worker = startWorker(0);
        worker->enqueue(a, 20);
        worker->enqueue(a, 20); // adds nothing, still past the total
        worker->enqueue(fileRecord("/plan/a_small.png", "10", "fileThumb"), 50);
        worker->enqueue(QJsonObject{{"nodeType", "file"}}, 50);
        QTRY_COMPARE(reported(), (QList<int>{99, 99, 99}));
    }

    void recordsThatDoNotCountAddNothing_data()
    {
        QTest::addColumn<QJsonObject>("record");
        const QString dest = QStringLiteral("/plan/x.png");
        QTest::newRow("thumbnail") << fileRecord(dest, "1000", "fileThumb");
        QTest::newRow("e-book page") << fileRecord(dest, "1000", "ebook");
        QTest::newRow("no nodeType") << QJsonObject{{"dest", dest}, {"fileSize", "1000"}};
        QTest::newRow("no fileSize") << QJsonObject{{"dest", dest}, {"nodeType", "file"}};
        QTest::newRow("size not decimal") << fileRecord(dest, "0x400");
        QTest::newRow("size as a number")
            << QJsonObject{{"dest", dest}, {"nodeType", "file"}, {"fileSize", 1000}};
    }
    void recordsThatDoNotCountAddNothing()
    {
        QFETCH(QJsonObject, record);
        auto worker = startWorker(2000);
        worker->enqueue(record, 100);
        // 200 of 2000 bytes: 10 unless the record above added bytes too.
        worker->enqueue(fileRecord("/plan/y.png", "1000"), 20);
        QTRY_COMPARE(reported(), QList<int>{10});
    }

    void eachReportIsReadFromItsOwnRecord()
    {
        auto worker = startWorker(1000);
        worker->enqueue(fileRecord("/plan/a.mp4", "1000"), 10); // 100 bytes
        worker->enqueue(fileRecord("/plan/a.mp4", "2000"), 20); // 200 more
        worker->enqueue(fileRecord("/plan/a.mp4", "2000", "fileThumb"), 90);
        worker->enqueue(fileRecord("/plan/a.mp4", "1000"), 40); // 200 more
        QTRY_COMPARE(reported(), (QList<int>{10, 30, 50}));
    }

    void resetForgetsProgressAndCountingStartsAgain()
    {
        auto worker = startWorker(2000);
        const QJsonObject a = fileRecord("/plan/a.mp4", "1000");
        worker->enqueue(a, 80);
        QTRY_COMPARE(reported(), QList<int>{40});
        const auto restart = [&] {
            worker->reset();
            worker->setTotalSize(1000);
            worker->startCounting();
        };
        // Straight after the reset, while the old loop may still be running out.
        restart();
        worker->enqueue(a, 10); // lower than before the reset, counted from zero again
        worker->enqueue(a, 30);
        QTRY_COMPARE(reported(), (QList<int>{40, 10, 30}));
        // Reports still queued at a reset are dropped with it.
        worker->stop();
        worker->enqueue(a, 50);
        restart();
        worker->enqueue(a, 5);
        QTRY_COMPARE(reported(), (QList<int>{40, 10, 30, 5}));
    }

    void destroyingOrStoppingABusyWorkerEndsItsThread()
    {
        auto worker = startWorker(1 << 30);
        for (int i = 0; i < 20000; ++i)
            worker->enqueue(fileRecord(QStringLiteral("/plan/%1").arg(i), "50000"), 100);
        worker->stop();
        QVERIFY(worker->isFinished());
        worker->startCounting();
        QTRY_VERIFY(!m_spy->isEmpty());
        worker.reset(); // must neither hang nor crash while reports are still queued
        QCoreApplication::processEvents();
    }
};

QTEST_GUILESS_MAIN(TestExportProcess)
#include "tst_exportprocess.moc"
