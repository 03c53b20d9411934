// Packages of any shape: reading and unpacking must not crash, leak or hang; an unpack either
// writes every entry below its destination and nothing elsewhere, or leaves nothing at all.

#include "fuzzcheck.h"

#include "interfaces/planpackage.h"

#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>

namespace {

// Every path below root, links included, relative to it.
QStringList everythingBelow(const QString &root)
{
    QStringList found;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(root).relativeFilePath(it.next());
    return found;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    static QTemporaryDir work;
    const QString package = work.filePath(QStringLiteral("input.yrtp"));
    QFile file(package);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char *>(bytes), qint64(size)) != qint64(size))
        FuzzCheck::fail("cannot write the input", package);
    file.close();

    YRPlanPackage::PackageReader reader(package);
    if (reader.open(nullptr)) {
        for (int i = 0; i < reader.entries().size(); ++i)
            reader.readEntry(
                i, [](const char *, qint64) { return true; }, nullptr);
    }

    // The destination lies in a folder of its own, so that anything written beside it shows.
    const QString fence = work.filePath(QStringLiteral("fence"));
    const QString destination = fence + QStringLiteral("/plan");
    QDir(fence).removeRecursively();
    QDir().mkpath(fence);
    const bool unpacked = YRPlanPackage::extractPackage(package, destination);
    for (const QString &path : everythingBelow(fence)) {
        if (path != QLatin1String("plan") && !path.startsWith(QLatin1String("plan/")))
            FuzzCheck::fail("written outside the destination", path);
        if (QFileInfo(fence + QLatin1Char('/') + path).isSymLink())
            FuzzCheck::fail("a link unpacked", path);
    }
    // A failed unpack may leave folders, never a file.
    for (const QString &path : everythingBelow(destination)) {
        if (!unpacked && QFileInfo(destination + QLatin1Char('/') + path).isFile())
            FuzzCheck::fail("a file left by a failed unpack", path);
    }
    QDir(fence).removeRecursively();
    return 0;
}
