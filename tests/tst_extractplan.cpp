#include "interfaces/cyrcommonutils.h"
#include "support/planfixtures.h"
#include "teachingplanoperate/planpackage.h"
#include "teachingplanoperate/yrextractteachingplan.h"

#include <QtTest>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

namespace {

constexpr quint32 kUnixRegularFile = 0100644;
constexpr quint32 kUnixSymbolicLink = 0120777;

QString at(const QString &dir, const QString &relative)
{
    return dir + QLatin1Char('/') + relative;
}

using PlanFixtures::readAll;

// Writes content into path, making its directory first.
bool writeFile(const QString &path, const QByteArray &content)
{
    return QDir().mkpath(QFileInfo(path).absolutePath()) && PlanFixtures::writeFile(path, content);
}

QByteArray randomBytes(int size, quint32 seed)
{
    QVector<quint32> words((size + 3) / 4);
    QRandomGenerator(seed).fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char *>(words.constData()), size);
}

// Relative path -> content of everything below root (hidden files too); directories map to
// "<dir>", links to "<link>" so that neither can pass for a file.
QMap<QString, QByteArray> treeContent(const QString &root)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        tree.insert(QDir(root).relativeFilePath(path), info.isSymLink() ? QByteArray("<link>")
                                                       : info.isDir()   ? QByteArray("<dir>")
                                                                        : readAll(path));
    }
    return tree;
}

// A plan directory: nested folders, names outside ASCII, an empty file, an empty folder, and
// a file larger than one copy block.
void fillPlanDirectory(const QString &root)
{
    QVERIFY(writeFile(at(root, QStringLiteral("teachpkg.json")), "{\"version\":\"5.0\"}\n"));
    QVERIFY(writeFile(at(root, QStringLiteral("res/deep/er/photo.png")), randomBytes(70000, 1)));
    QVERIFY(writeFile(at(root, QStringLiteral("图片/课件 一.pptx")), randomBytes(1234, 2)));
    QVERIFY(writeFile(at(root, QStringLiteral("res/empty.txt")), QByteArray()));
    QVERIFY(writeFile(at(root, QStringLiteral("video/lesson.mp4")), randomBytes(3 << 20, 3)));
    QVERIFY(writeFile(at(root, QStringLiteral("teachpkg.json.notsave")), "{}"));
    QVERIFY(QDir().mkpath(at(root, QStringLiteral("emptydir"))));
}

struct Entry
{
    QString name;
    QByteArray content;
    quint32 unixMode = kUnixRegularFile;
};

// Writes entries as they stand, names unchecked, the way a hostile tool could.
bool writeArchive(const QString &path, const QVector<Entry> &entries)
{
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    for (const Entry &entry : entries) {
        QuaZipNewInfo info(entry.name);
        info.externalAttr = entry.unixMode << 16;
        QuaZipFile out(&zip);
        if (!out.open(QIODevice::WriteOnly, info, nullptr, 0, 0, 0) ||
            out.write(entry.content) != entry.content.size())
            return false;
        out.close();
        if (out.getZipError() != ZIP_OK)
            return false;
    }
    zip.close();
    return zip.getZipError() == ZIP_OK;
}

// Flips one byte inside the first place where content's opening bytes stand in package.
bool damageStoredCopy(const QString &package, const QByteArray &content)
{
    QByteArray bytes = readAll(package);
    const int found = bytes.indexOf(content.left(64));
    if (found < 0)
        return false;
    bytes[found + 32] = char(bytes.at(found + 32) ^ 0x5a);
    return writeFile(package, bytes);
}

// The two ways a package's entries are written: stored, as plans are packed, and deflated.
void addCompressionLevelRows()
{
    QTest::addColumn<int>("level");
    QTest::newRow("stored") << 0;
    QTest::newRow("deflated by QuaZip") << 6;
}

} // namespace

// Takes the worker's signal on the test's thread, queued, the way the controller gets it.
class MainThreadRelay : public QObject
{
    Q_OBJECT
signals:
    void extractFinished(bool bSuccess);
};

class tst_ExtractPlan : public QObject
{
    Q_OBJECT

private:
    // Runs the extract worker on package and returns what its signal said.
    bool extractWithWorker(const QString &destination, const QString &package)
    {
        YRExtractTeachingPlan worker;
        MainThreadRelay relay;
        connect(&worker, &YRExtractTeachingPlan::signalExtractFinished, &relay,
                &MainThreadRelay::extractFinished, Qt::QueuedConnection);
        QSignalSpy spy(&relay, &MainThreadRelay::extractFinished);
        worker.setPaths(destination, package);
        worker.start();
        [&] { QTRY_COMPARE(spy.count(), 1); }();
        return spy.value(0).value(0).toBool();
    }

private slots:
    void packageRestoresThePlanDirectoryByteForByte_data() { addCompressionLevelRows(); }

    void packageRestoresThePlanDirectoryByteForByte()
    {
        QFETCH(int, level);
        QTemporaryDir tmp;
        const QString plan = at(tmp.path(), QStringLiteral("plan"));
        fillPlanDirectory(plan);
        const QString package = at(tmp.path(), QStringLiteral("plan.yrtp"));
        QVERIFY(CYrCommonUtils::compressDir_level(package, plan, true, level));

        const QString restored = at(tmp.path(), QStringLiteral("work/new plan"));
        QVERIFY(extractWithWorker(restored, package));
        QCOMPARE(treeContent(restored), treeContent(plan));
    }

    void hostileEntryRefusesTheWholePackage_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("isLink");
        QTest::addColumn<bool>("refused");
        QTest::newRow("plain name (control)") << QStringLiteral("ok/name.txt") << false << false;
        QTest::newRow("link out, then a file through it") << QStringLiteral("link") << true << true;
        QTest::newRow("link inside") << QStringLiteral("res/alias") << true << true;
        QTest::newRow("parent") << QStringLiteral("../evil") << false << true;
        QTest::newRow("parent further in") << QStringLiteral("sub/../../x") << false << true;
        QTest::newRow("absolute") << QStringLiteral("/abs") << false << true;
        QTest::newRow("backslash") << QStringLiteral("a\\b") << false << true;
        QTest::newRow("drive") << QStringLiteral("C:x") << false << true;
        QTest::newRow("the destination itself") << QStringLiteral("./") << false << true;
    }

    void hostileEntryRefusesTheWholePackage()
    {
        QFETCH(QString, name);
        QFETCH(bool, isLink);
        QFETCH(bool, refused);
        QTemporaryDir tmp;
        const QString outside = at(tmp.path(), QStringLiteral("outside"));
        QVERIFY(QDir().mkpath(outside));
        const QString package = at(tmp.path(), QStringLiteral("hostile.yrtp"));
        QVector<Entry> entries{{QStringLiteral("teachpkg.json"), "{}"},
                               {QStringLiteral("res/a.png"), "png"}};
        if (isLink) {
            entries.append({name, outside.toUtf8(), kUnixSymbolicLink});
            entries.append({name + QStringLiteral("/file"), "written through the link"});
        } else {
            entries.append({name, "hostile"});
        }
        entries.append({QStringLiteral("z-last.txt"), "last"});
        QVERIFY(writeArchive(package, entries));

        const QString destination = at(tmp.path(), QStringLiteral("work/plan"));
        QString error;
        QCOMPARE(YRPlanPackage::extractPackage(package, destination, &error), !refused);
        if (!refused) {
            QCOMPARE(treeContent(destination).value(name), QByteArray("hostile"));
            return;
        }
        QVERIFY(!error.isEmpty());
        QVERIFY(treeContent(destination).isEmpty());
        QVERIFY(treeContent(outside).isEmpty());
        QVERIFY(!QFileInfo::exists(at(tmp.path(), QStringLiteral("work/evil"))));
        QVERIFY(!QFileInfo::exists(at(tmp.path(), QStringLiteral("work/x"))));
    }

    void damagedEntryFailsAndLeavesNoFileBehind_data() { addCompressionLevelRows(); }

    void damagedEntryFailsAndLeavesNoFileBehind()
    {
        QFETCH(int, level);
        QTemporaryDir tmp;
        const QString plan = at(tmp.path(), QStringLiteral("plan"));
        const QByteArray content = randomBytes(200000, 7);
        QVERIFY(writeFile(at(plan, QStringLiteral("a.json")), "{}"));
        QVERIFY(writeFile(at(plan, QStringLiteral("b.bin")), content));
        const QString package = at(tmp.path(), QStringLiteral("plan.yrtp"));
        QVERIFY(CYrCommonUtils::compressDir_level(package, plan, true, level));
        QVERIFY(damageStoredCopy(package, content));

        const QString destination = at(tmp.path(), QStringLiteral("out"));
        QString error;
        QVERIFY(!YRPlanPackage::extractPackage(package, destination, &error));
        QVERIFY2(error.contains(QLatin1String("b.bin")), qPrintable(error));
        const QMap<QString, QByteArray> left = treeContent(destination);
        QVERIFY(!left.contains(QStringLiteral("b.bin")));
        QVERIFY(!left.contains(QStringLiteral("a.json")));
    }

    void unreadablePackageReportsFailure_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << QStringLiteral("missing");
        QTest::newRow("not a zip archive") << QStringLiteral("text");
        QTest::newRow("cut short") << QStringLiteral("truncated");
    }

    void unreadablePackageReportsFailure()
    {
        QFETCH(QString, kind);
        QTemporaryDir tmp;
        const QString package = at(tmp.path(), QStringLiteral("plan.yrtp"));
        if (kind == QLatin1String("text")) {
            QVERIFY(writeFile(package, "this is not a package\n"));
        } else if (kind == QLatin1String("truncated")) {
            const QString plan = at(tmp.path(), QStringLiteral("plan"));
            fillPlanDirectory(plan);
            QVERIFY(CYrCommonUtils::compressDir_level(package, plan, true, 0));
            const QByteArray whole = readAll(package);
            QVERIFY(writeFile(package, whole.left(whole.size() / 2)));
        }
        const QString destination = at(tmp.path(), QStringLiteral("out"));
        QVERIFY(!extractWithWorker(destination, package));
        QVERIFY(treeContent(destination).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_ExtractPlan)
#include "tst_extractplan.moc"
