// Times the two worker threads of the plan controller:
//   progress: 100,000 enqueue() calls from this thread while the worker counts them; prints
//             the cost of one call and how long after the last call its report is counted;
//   import:   YRExtractTeachingPlan on a 512 MiB stored package (start to signal) vs
//             `unzip -q -o` of the same package, alternating the two sides, 3 rounds.
//
// Usage: bench_workers [work-directory]
// The package is generated below work-directory (default: a temporary directory; about 2 GiB
// are used) and everything is removed at the end. Each timed unpack writes into a directory
// that does not exist yet, after the disk is synced and the package read into the page cache,
// so that both sides start from the same state.

#include "interfaces/cyrcommonutils.h"
#include "teachingplanoperate/yrcalexportprocess.h"
#include "teachingplanoperate/yrextractteachingplan.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QVector>

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace {

constexpr qint64 kMiB = 1024 * 1024;
constexpr qint64 kPackageSize = 512 * kMiB;
constexpr int kReports = 100000;
constexpr int kProgressRounds = 5;
constexpr int kImportRounds = 3;

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// ---- progress worker ------------------------------------------------------------------------

// 1,000 files of 1,000 bytes reported 1 % at a time, the last file stopping at 99 %, then one
// 1,000,000-byte file reported complete. Against a total of 2,040,000 bytes nothing before the
// last report reaches 50 %, and the last one brings the export to exactly 98 %.
constexpr int kLastPercent = 98;
constexpr int kTotalSize = 2040000;

QVector<QPair<QJsonObject, int>> progressReports()
{
    QVector<QPair<QJsonObject, int>> reports;
    reports.reserve(kReports);
    for (int i = 0; i < kReports - 1; ++i) {
        const QJsonObject record{
            {QStringLiteral("dest"), QStringLiteral("/plans/p/res/file%1.png").arg(i / 100)},
            {QStringLiteral("nodeType"), QStringLiteral("file")},
            {QStringLiteral("fileSize"), QStringLiteral("1000")},
            {QStringLiteral("cloudPath"), QStringLiteral("res/file%1.png").arg(i / 100)},
            {QStringLiteral("downloadMethod"), QStringLiteral("queue")}};
        reports.append({record, i % 100 + 1});
    }
    reports.append({QJsonObject{{QStringLiteral("dest"), QStringLiteral("/plans/p/video.mp4")},
                                {QStringLiteral("nodeType"), QStringLiteral("file")},
                                {QStringLiteral("fileSize"), QStringLiteral("1000000")}},
                    100});
    return reports;
}

struct ProgressRun
{
    double enqueueNsPerCall = -1;
    double countedAfterMs = -1;
};

ProgressRun timeProgressRun(const QVector<QPair<QJsonObject, int>> &reports)
{
    QElapsedTimer clock;
    clock.start();
    std::atomic<qint64> countedAt{-1};
    YRCalExportProcess worker;
    QObject::connect(
        &worker, &YRCalExportProcess::exportProcess, &worker,
        [&](int value) {
            if (value == kLastPercent)
                countedAt.store(clock.nsecsElapsed());
        },
        Qt::DirectConnection);
    worker.setTotalSize(kTotalSize);
    worker.startCounting();
    QThread::msleep(50); // the worker is polling its empty queue when the reports begin

    const qint64 first = clock.nsecsElapsed();
    for (const auto &report : reports)
        worker.enqueue(report.first, report.second);
    const qint64 last = clock.nsecsElapsed();
    while (countedAt.load() < 0 && clock.nsecsElapsed() - last < 10 * Q_INT64_C(1000000000))
        QThread::usleep(200);

    ProgressRun run;
    run.enqueueNsPerCall = double(last - first) / reports.size();
    if (countedAt.load() >= 0)
        run.countedAfterMs = (countedAt.load() - last) / 1e6;
    return run;
}

bool benchProgress()
{
    const QVector<QPair<QJsonObject, int>> reports = progressReports();
    QVector<double> costs;
    QVector<double> latencies;
    for (int round = 0; round < kProgressRounds; ++round) {
        const ProgressRun run = timeProgressRun(reports);
        if (run.countedAfterMs < 0) {
            std::fprintf(stderr, "progress: the last report was never counted\n");
            return false;
        }
        std::printf("progress round %d: enqueue %.0f ns/call, last report counted %.2f ms "
                    "after the last enqueue\n",
                    round + 1, run.enqueueNsPerCall, run.countedAfterMs);
        costs.append(run.enqueueNsPerCall);
        latencies.append(run.countedAfterMs);
    }
    std::printf("progress, median of %d: enqueue %.0f ns/call (goal < 1000), last report counted "
                "after %.2f ms (goal < 50)\n",
                kProgressRounds, median(costs), median(latencies));
    return true;
}

// ---- import ---------------------------------------------------------------------------------

// Writes size bytes of seeded random data: incompressible, so that no file is sparse or
// shrinks when packed.
bool writeRandomFile(const QString &path, qint64 size, QRandomGenerator &random,
                     QVector<quint32> &block)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const qint64 blockBytes = block.size() * qint64(sizeof(quint32));
    while (size > 0) {
        random.fillRange(block.data(), block.size());
        const qint64 n = std::min(size, blockBytes);
        if (file.write(reinterpret_cast<const char *>(block.constData()), n) != n)
            return false;
        size -= n;
    }
    return true;
}

// A plan of kPackageSize bytes: 4,000 small pictures in 50 folders, 60 medium documents and 4
// large videos sharing what is left.
bool writePlanDirectory(const QString &root)
{
    QRandomGenerator random(7);
    QVector<quint32> block(int(kMiB / sizeof(quint32)));
    qint64 left = kPackageSize - 80 * 1024;
    bool written =
        writeRandomFile(root + QStringLiteral("/teachpkg.json"), 80 * 1024, random, block);
    for (int i = 0; written && i < 4000; ++i) {
        const qint64 size = 512 + random.bounded(48 * 1024);
        const QString path = QStringLiteral("%1/res/%2/pic%3.jpg").arg(root).arg(i % 50).arg(i);
        written = writeRandomFile(path, size, random, block);
        left -= size;
    }
    for (int i = 0; written && i < 60; ++i) {
        const qint64 size = kMiB + random.bounded(int(4 * kMiB));
        const QString path = QStringLiteral("%1/docs/lesson%2.pptx").arg(root).arg(i);
        written = writeRandomFile(path, size, random, block);
        left -= size;
    }
    for (int i = 0; written && i < 4; ++i) {
        const QString path = QStringLiteral("%1/video/part%2.mp4").arg(root).arg(i);
        written = writeRandomFile(path, i < 3 ? left / 4 : left - 3 * (left / 4), random, block);
    }
    return written;
}

void cachePackage(const QString &package)
{
    QFile file(package);
    QByteArray block(int(kMiB), Qt::Uninitialized);
    if (file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        while (file.read(block.data(), block.size()) > 0) {
        }
}

// Removes the output of the side about to run, writes dirty pages out so that one run's
// writeback does not slow the next one down, and reads the package into the page cache. The
// output is removed right before the run, not left in place with each run writing elsewhere:
// this machine is a virtual one that hands memory unused for a while back to its host, and
// page cache written into such memory cost both sides several times the copy itself.
void prepareUnpack(const QString &package, const QString &output)
{
    QDir(output).removeRecursively();
    QProcess::execute(QStringLiteral("sync"), {});
    cachePackage(package);
}

// Milliseconds from start() to signalExtractFinished(true); -1 when it failed.
double timeOurUnpack(const QString &package, const QString &destination)
{
    YRExtractTeachingPlan worker;
    QElapsedTimer clock;
    std::atomic<qint64> finishedAt{-1};
    std::atomic<bool> succeeded{false};
    QObject::connect(
        &worker, &YRExtractTeachingPlan::signalExtractFinished, &worker,
        [&](bool ok) {
            succeeded.store(ok);
            finishedAt.store(clock.nsecsElapsed());
        },
        Qt::DirectConnection);
    worker.setPaths(destination, package);
    clock.start();
    worker.start();
    worker.wait();
    return succeeded.load() ? finishedAt.load() / 1e6 : -1;
}

double timeUnzip(const QString &package, const QString &destination)
{
    QProcess unzip;
    unzip.setStandardOutputFile(QProcess::nullDevice());
    unzip.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-q"), QStringLiteral("-o"), package,
                                          QStringLiteral("-d"), destination});
    unzip.waitForFinished(-1);
    const double elapsed = clock.nsecsElapsed() / 1e6;
    return unzip.exitStatus() == QProcess::NormalExit && unzip.exitCode() == 0 ? elapsed : -1;
}

// Files and bytes below root, to check that both sides unpacked the same tree.
QPair<int, qint64> treeSize(const QString &root)
{
    QPair<int, qint64> size{0, 0};
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++size.first;
        size.second += it.fileInfo().size();
    }
    return size;
}

bool benchImport(const QString &work)
{
    const QString plan = work + QStringLiteral("/plan");
    const QString package = work + QStringLiteral("/plan.yrtp");
    if (!writePlanDirectory(plan) || !CYrCommonUtils::compressDir_level(package, plan, true, 0)) {
        std::fprintf(stderr, "import: cannot write the package\n");
        return false;
    }
    // The plan stays until the end: ext4 searches long for a free inode in a group where many
    // were deleted in the last half minute, which would slow the first rounds of both sides.
    const QPair<int, qint64> planSize = treeSize(plan);
    std::printf("import: package of %d files, %.1f MiB\n", planSize.first,
                QFileInfo(package).size() / double(kMiB));
    std::fflush(stdout);

    // Round 0 warms up both sides and is not counted: right after writing the plan and the
    // package the kernel is still busy with them, and whichever side ran first paid for it.
    QVector<double> ratios;
    for (int round = 0; round <= kImportRounds; ++round) {
        double ours = -1;
        double tool = -1;
        for (int side = 0; side < 2; ++side) {
            const bool oursNow = (side + round) % 2 == 0;
            const QString output =
                work + (oursNow ? QStringLiteral("/ours") : QStringLiteral("/unzip"));
            prepareUnpack(package, output);
            double &elapsed = oursNow ? ours : tool;
            elapsed = oursNow ? timeOurUnpack(package, output) : timeUnzip(package, output);
            if (elapsed < 0 || treeSize(output) != planSize) {
                std::fprintf(stderr, "import: %s failed or is incomplete\n",
                             oursNow ? "our unpack" : "unzip");
                return false;
            }
        }
        if (round == 0)
            continue;
        ratios.append(ours / tool);
        std::printf("import round %d: ours %.1f ms, unzip -q -o %.1f ms, ratio %.3f\n", round, ours,
                    tool, ours / tool);
    }
    std::printf("import ratio: best %.3f, median %.3f (goal <= 0.5)\n",
                *std::min_element(ratios.cbegin(), ratios.cend()), median(ratios));
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir defaultDir;
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : defaultDir.path();
    const QString work = base + QStringLiteral("/bench_workers_data");
    QDir(work).removeRecursively();
    if (!QDir().mkpath(work)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(work));
        return 1;
    }
    const bool progressOk = benchProgress();
    std::fflush(stdout);
    const bool importOk = benchImport(work);
    QDir(work).removeRecursively();
    return progressOk && importOk ? 0 : 1;
}
