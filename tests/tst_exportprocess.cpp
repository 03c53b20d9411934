#include "teachingplanoperate/yrcalexportprocess.h"

#include <QtTest>

#include <memory>

namespace {

QJsonObject fileRecord(const QString &dest, const QString &size,
                       const QString &nodeType = QStringLiteral("file"))
{
    return QJsonObject{{QStringLiteral("dest"), dest},
                       {QStringLiteral("nodeType"), nodeType},
                       {QStringLiteral("fileSize"), size}};
}

QList<int> reported(const QSignalSpy &spy)
{
    QList<int> values;
    for (const QList<QVariant> &arguments : spy)
        values.append(arguments.at(0).toInt());
    return values;
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

private:
    // A worker counting towards totalSize, whose reports reach *spy on this thread.
    std::unique_ptr<YRCalExportProcess> startWorker(int totalSize, std::unique_ptr<QSignalSpy> &spy)
    {
        auto worker = std::make_unique<YRCalExportProcess>();
        connect(worker.get(), &YRCalExportProcess::exportProcess, &m_relay,
                &MainThreadRelay::exportProcess, Qt::QueuedConnection);
        spy = std::make_unique<QSignalSpy>(&m_relay, &MainThreadRelay::exportProcess);
        worker->setTotalSize(totalSize);
        worker->startCounting();
        return worker;
    }

    MainThreadRelay m_relay;

private slots:
    void percentIsWeightedBySizeAndNeverGoesBack()
    {
        std::unique_ptr<QSignalSpy> spy;
        auto worker = startWorker(2000, spy);
        const QJsonObject a = fileRecord(QStringLiteral("/plan/a.mp4"), QStringLiteral("1000"));
        worker->enqueue(a, 30); // 300 of 2000 bytes
        worker->enqueue(a, 30); // nothing new
        worker->enqueue(a, 80); // 500 more
        worker->enqueue(a, 50); // lower than counted: nothing
        worker->enqueue(fileRecord(QStringLiteral("/plan/b.doc"), QStringLiteral("1000")), 10);
        QTRY_COMPARE(reported(*spy), (QList<int>{15, 40, 45}));

        // Reaching exactly the total reports nothing (completion is not the worker's to say);
        // going past it reports 99.
        worker->enqueue(a, 100);
        worker->enqueue(fileRecord(QStringLiteral("/plan/b.doc"), QStringLiteral("1000")), 100);
        worker->enqueue(fileRecord(QStringLiteral("/plan/c.png"), QStringLiteral("0")), 0);
        worker->enqueue(a, 90);
        worker->enqueue(fileRecord(QStringLiteral("/plan/d.png"), QStringLiteral("20")), 100);
        QTRY_COMPARE(reported(*spy), (QList<int>{15, 40, 45, 55, 99}));
    }

    void recordsThatDoNotCountAddNothing_data()
    {
        QTest::addColumn<QJsonObject>("record");
        const QString dest = QStringLiteral("/plan/x.png");
        QTest::newRow("thumbnail")
            << fileRecord(dest, QStringLiteral("1000"), QStringLiteral("fileThumb"));
        QTest::newRow("e-book page")
            << fileRecord(dest, QStringLiteral("1000"), QStringLiteral("ebook"));
        QTest::newRow("no nodeType") << QJsonObject{
            {QStringLiteral("dest"), dest}, {QStringLiteral("fileSize"), QStringLiteral("1000")}};
        QTest::newRow("no fileSize") << QJsonObject{
            {QStringLiteral("dest"), dest}, {QStringLiteral("nodeType"), QStringLiteral("file")}};
        QTest::newRow("size not decimal") << fileRecord(dest, QStringLiteral("0x400"));
        QTest::newRow("size as a number")
            << QJsonObject{{QStringLiteral("dest"), dest},
                           {QStringLiteral("nodeType"), QStringLiteral("file")},
                           {QStringLiteral("fileSize"), 1000}};
    }

    void recordsThatDoNotCountAddNothing()
    {
        QFETCH(QJsonObject, record);
        std::unique_ptr<QSignalSpy> spy;
        auto worker = startWorker(2000, spy);
        worker->enqueue(record, 100);
        // 200 of 2000 bytes: 10 unless the record above added bytes too.
        worker->enqueue(fileRecord(QStringLiteral("/plan/y.png"), QStringLiteral("1000")), 20);
        QTRY_COMPARE(reported(*spy), QList<int>{10});
    }

    void eachReportIsReadFromItsOwnRecord()
    {
        std::unique_ptr<QSignalSpy> spy;
        auto worker = startWorker(1000, spy);
        const QString dest = QStringLiteral("/plan/a.mp4");
        worker->enqueue(fileRecord(dest, QStringLiteral("1000")), 10); // 100 bytes
        worker->enqueue(fileRecord(dest, QStringLiteral("2000")), 20); // 200 more
        worker->enqueue(fileRecord(dest, QStringLiteral("2000"), QStringLiteral("fileThumb")), 90);
        worker->enqueue(fileRecord(dest, QStringLiteral("1000")), 40); // 200 more
        QTRY_COMPARE(reported(*spy), (QList<int>{10, 30, 50}));
    }

    void pastTheTotalEveryFileRecordReportsNinetyNine_data()
    {
        QTest::addColumn<int>("totalSize");
        QTest::newRow("no total") << 0;
        QTest::newRow("total exceeded") << 100;
    }

    void pastTheTotalEveryFileRecordReportsNinetyNine()
    {
        QFETCH(int, totalSize);
        std::unique_ptr<QSignalSpy> spy;
        auto worker = startWorker(totalSize, spy);
        const QJsonObject a = fileRecord(QStringLiteral("/plan/a.mp4"), QStringLiteral("1000"));
        worker->enqueue(a, 20);
        worker->enqueue(a, 20); // adds nothing, still past the total
        worker->enqueue(fileRecord(QStringLiteral("/plan/a_small.png"), QStringLiteral("10"),
                                   QStringLiteral("fileThumb")),
                        50);
        worker->enqueue(QJsonObject{{QStringLiteral("nodeType"), QStringLiteral("file")}}, 50);
        QTRY_COMPARE(reported(*spy), (QList<int>{99, 99, 99}));
    }

    void resetForgetsProgressAndCountingStartsAgain()
    {
        std::unique_ptr<QSignalSpy> spy;
        auto worker = startWorker(2000, spy);
        const QJsonObject a = fileRecord(QStringLiteral("/plan/a.mp4"), QStringLiteral("1000"));
        worker->enqueue(a, 80);
        QTRY_COMPARE(reported(*spy), QList<int>{40});

        // Straight after the reset, while the old loop may still be running out.
        worker->reset();
        worker->setTotalSize(1000);
        worker->startCounting();
        worker->enqueue(a, 10); // lower than before the reset, counted from zero again
        worker->enqueue(a, 30);
        QTRY_COMPARE(reported(*spy), (QList<int>{40, 10, 30}));

        // Reports still queued at a reset are dropped with it.
        worker->stop();
        worker->enqueue(a, 50);
        worker->reset();
        worker->setTotalSize(1000);
        worker->startCounting();
        worker->enqueue(a, 5);
        QTRY_COMPARE(reported(*spy), (QList<int>{40, 10, 30, 5}));
    }

    void destroyingOrStoppingABusyWorkerEndsItsThread()
    {
        std::unique_ptr<QSignalSpy> spy;
        auto worker = startWorker(1 << 30, spy);
        for (int i = 0; i < 20000; ++i)
            worker->enqueue(fileRecord(QStringLiteral("/plan/%1").arg(i), QStringLiteral("50000")),
                            100);
        worker->stop();
        QVERIFY(worker->isFinished());
        worker->startCounting();
        QTRY_VERIFY(!spy->isEmpty());
        worker.reset(); // must neither hang nor crash while reports are still queued
        QCoreApplication::processEvents();
    }
};

QTEST_GUILESS_MAIN(TestExportProcess)
#include "tst_exportprocess.moc"
