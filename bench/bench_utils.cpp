// Times the common utilities against the command-line tools that do the same job:
//   getFileMD5 on a 1 GiB file        vs  md5sum
//   compressDir_level(..., 0) 512 MiB  vs  zip -0 -r -q
//   YRPlanPackage::extractPackage of it vs  unzip -q
// and prints each ratio with the peak memory growth of our call.
//
// Usage: bench_utils [work-directory]
// The data is generated below work-directory (default: a temporary directory) and removed at
// the end. Each of our calls runs in a fresh child process (this executable re-run with a
// mode argument), so that its peak resident size starts clean; the page cache is warmed
// before every timed run so that ours and the tool's read the same cached data.

#include "interfaces/cyrcommonutils.h"
#include "interfaces/planpackage.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr qint64 kMiB = 1024 * 1024;
constexpr qint64 kMd5FileSize = 1024 * kMiB;
constexpr qint64 kPlanSize = 512 * kMiB;
constexpr int kRuns = 3;

struct Measurement
{
    double milliseconds = 0;
    qint64 peakGrowthKiB = 0;
};

qint64 peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

// A cheap generator: the content only has to be incompressible and reproducible.
class NoiseSource
{
public:
    explicit NoiseSource(quint64 seed) : m_state(seed | 1) {}
    quint64 next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return m_state;
    }
    void fill(QByteArray &block)
    {
        auto *words = reinterpret_cast<quint64 *>(block.data());
        for (int i = 0; i < block.size() / 8; ++i)
            words[i] = next();
    }

private:
    quint64 m_state;
};

bool writeNoiseFile(const QString &path, qint64 size, NoiseSource &noise)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(int(kMiB), Qt::Uninitialized);
    for (qint64 left = size; left > 0;) {
        noise.fill(block);
        const qint64 n = std::min<qint64>(left, block.size());
        if (file.write(block.constData(), n) != n)
            return false;
        left -= n;
    }
    return true;
}

// Many small files in nested folders, some medium ones and a few large ones, the way a plan
// with pictures, documents and videos looks.
bool generatePlanDirectory(const QString &root)
{
    NoiseSource noise(20240607);
    qint64 total = 0;
    QFile::remove(root);
    // The unpacker reads the document before anything else: it must be a JSON object.
    QDir().mkpath(root);
    QFile document(root + QStringLiteral("/teachpkg.json"));
    const QByteArray text = "{\"padding\": \"" + QByteArray(64 * 1024 - 16, 'a') + "\"}\n";
    if (!document.open(QIODevice::WriteOnly) || document.write(text) != text.size())
        return false;
    document.close();
    total += text.size();
    for (int i = 0; i < 3000; ++i) {
        const qint64 size = 1024 + qint64(noise.next() % (60 * 1024));
        const QString path = QStringLiteral("%1/res/%2/img%3.png").arg(root).arg(i % 40).arg(i);
        if (!writeNoiseFile(path, size, noise))
            return false;
        total += size;
    }
    for (int i = 0; i < 40; ++i) {
        const qint64 size = 2 * kMiB + qint64(noise.next() % (6 * kMiB));
        if (!writeNoiseFile(QStringLiteral("%1/docs/doc%2.pptx").arg(root).arg(i), size, noise))
            return false;
        total += size;
    }
    const qint64 rest = kPlanSize - total;
    const qint64 large[] = {rest / 2, rest / 3, rest - rest / 2 - rest / 3};
    for (int i = 0; i < 3; ++i) {
        if (!writeNoiseFile(QStringLiteral("%1/video/v%2.mp4").arg(root).arg(i), large[i], noise))
            return false;
    }
    return true;
}

void readIntoPageCache(const QString &path)
{
    QStringList files;
    if (QFileInfo(path).isDir()) {
        QDirIterator it(path, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(it.next());
    } else {
        files.append(path);
    }
    QByteArray block(int(kMiB), Qt::Uninitialized);
    for (const QString &file : qAsConst(files)) {
        QFile f(file);
        if (f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            while (f.read(block.data(), block.size()) > 0) {
            }
    }
}

// Writes dirty pages out so that one run's writeback does not slow the next one down.
void settleDisk()
{
    QProcess::execute(QStringLiteral("sync"), {});
}

double timeTool(const QString &program, const QStringList &arguments, const QString &workDir)
{
    QProcess process;
    process.setWorkingDirectory(workDir);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    process.waitForFinished(-1);
    const double elapsed = timer.nsecsElapsed() / 1e6;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed\n", qPrintable(program));
        return -1;
    }
    return elapsed;
}

// Runs this executable with a mode; the child prints "<milliseconds> <peak growth KiB>".
Measurement timeOurs(const QStringList &modeArguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(QCoreApplication::applicationFilePath(), modeArguments);
    process.waitForFinished(-1);
    const QList<QByteArray> fields = process.readAllStandardOutput().trimmed().split(' ');
    Measurement m;
    if (process.exitCode() != 0 || fields.size() != 2) {
        std::fprintf(stderr, "child %s failed\n", qPrintable(modeArguments.join(QLatin1Char(' '))));
        m.milliseconds = -1;
        return m;
    }
    m.milliseconds = fields.at(0).toDouble();
    m.peakGrowthKiB = fields.at(1).toLongLong();
    return m;
}

// Child side: runs one call and reports its time and how far it raised the peak.
int runMode(const QStringList &args)
{
    const QString mode = args.value(1);
    const qint64 peakBefore = peakResidentKiB();
    QElapsedTimer timer;
    timer.start();
    bool ok = false;
    if (mode == QLatin1String("--md5")) {
        ok = !CYrCommonUtils::getFileMD5(args.value(2)).isEmpty();
    } else if (mode == QLatin1String("--zip")) {
        ok = CYrCommonUtils::compressDir_level(args.value(2), args.value(3), true, 0);
    } else if (mode == QLatin1String("--unzip")) {
        ok = YRPlanPackage::extractPackage(args.value(2), args.value(3));
    }
    const double elapsed = timer.nsecsElapsed() / 1e6;
    if (!ok)
        return 1;
    std::printf("%.1f %lld\n", elapsed, peakResidentKiB() - peakBefore);
    return 0;
}

struct Comparison
{
    double ours = 1e300;
    double tool = 1e300;
    qint64 peakGrowthKiB = 0;
};

// Best of kRuns for each side, alternating, with prepare() run before every timed call.
Comparison compare(const std::function<void()> &prepare, const QStringList &oursArguments,
                   const QString &program, const QStringList &toolArguments,
                   const QString &toolWorkDir)
{
    Comparison c;
    for (int run = 0; run < kRuns; ++run) {
        prepare();
        const double tool = timeTool(program, toolArguments, toolWorkDir);
        prepare();
        const Measurement ours = timeOurs(oursArguments);
        if (tool < 0 || ours.milliseconds < 0)
            return Comparison{-1, -1, 0};
        c.tool = std::min(c.tool, tool);
        c.ours = std::min(c.ours, ours.milliseconds);
        c.peakGrowthKiB = std::max(c.peakGrowthKiB, ours.peakGrowthKiB);
    }
    return c;
}

void report(const char *what, const char *tool, const Comparison &c, double goal)
{
    std::printf("%-40s ours %8.1f ms  %-14s %8.1f ms  ratio %.3f (goal <= %.2f)  "
                "peak growth %lld KiB\n",
                what, c.ours, tool, c.tool, c.ours / c.tool, goal, c.peakGrowthKiB);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1).startsWith(QLatin1String("--")))
        return runMode(args);

    QTemporaryDir defaultDir;
    const QString base = args.size() > 1 ? args.at(1) : defaultDir.path();
    const QString work = base + QStringLiteral("/bench_utils_data");
    QDir(work).removeRecursively();
    if (!QDir().mkpath(work)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(work));
        return 1;
    }
    std::printf("work directory %s\n", qPrintable(work));

    const QString bigFile = work + QStringLiteral("/big.bin");
    NoiseSource noise(42);
    if (!writeNoiseFile(bigFile, kMd5FileSize, noise))
        return 1;
    settleDisk();
    const Comparison md5 =
        compare([&] { readIntoPageCache(bigFile); }, {QStringLiteral("--md5"), bigFile},
                QStringLiteral("md5sum"), {bigFile}, work);
    report("getFileMD5 1 GiB", "md5sum", md5, 1.08);
    QFile::remove(bigFile);

    const QString plan = work + QStringLiteral("/plan");
    if (!generatePlanDirectory(plan))
        return 1;
    const QString ourPackage = work + QStringLiteral("/ours.yrtp");
    const QString toolPackage = work + QStringLiteral("/tool.zip");
    const Comparison zip = compare(
        [&] {
            QFile::remove(ourPackage);
            QFile::remove(toolPackage);
            settleDisk();
            readIntoPageCache(plan);
        },
        {QStringLiteral("--zip"), ourPackage, plan}, QStringLiteral("zip"),
        {QStringLiteral("-0"), QStringLiteral("-r"), QStringLiteral("-q"), toolPackage,
         QStringLiteral(".")},
        plan);
    report("compressDir_level 512 MiB, level 0", "zip -0 -r -q", zip, 0.4);

    const QString ourOut = work + QStringLiteral("/out_ours");
    const QString toolOut = work + QStringLiteral("/out_tool");
    const Comparison unzip = compare(
        [&] {
            QDir(ourOut).removeRecursively();
            QDir(toolOut).removeRecursively();
            settleDisk();
            readIntoPageCache(ourPackage);
        },
        {QStringLiteral("--unzip"), ourPackage, ourOut}, QStringLiteral("unzip"),
        {QStringLiteral("-q"), ourPackage, QStringLiteral("-d"), toolOut}, work);
    report("extractPackage 512 MiB", "unzip -q", unzip, 0.8);

    QDir(work).removeRecursively();
    return md5.ours < 0 || zip.ours < 0 || unzip.ours < 0 ? 1 : 0;
}
