#include "interfaces/cyrcommonutils.h"
#include "interfaces/planpackage.h"
#include "support/filesizelimit.h"
#include "support/planfixtures.h"
#include "teachingplanoperate/yrextractteachingplan.h"

#include <QtTest>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

#include <zlib.h>

#include <sys/stat.h>

namespace {

constexpr quint32 kUnixRegularFile = 0100644;
constexpr quint32 kUnixSymbolicLink = 0120777;
const QByteArray kDocument = "{\"version\":\"5.0\"}\n";

QString at(const QString &dir, const QString &relative)
{
    return dir + QLatin1Char('/') + relative;
}

using PlanFixtures::readAll;

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
// "<dir>", links to "<link>" and FIFOs to "<special>", so that none can pass for a file.
QMap<QString, QByteArray> treeContent(const QString &root)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        struct stat status;
        const bool regular =
            lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
        tree.insert(QDir(root).relativeFilePath(path), info.isSymLink() ? QByteArray("<link>")
                                                       : info.isDir()   ? QByteArray("<dir>")
                                                       : regular        ? readAll(path)
                                                                        : QByteArray("<special>"));
    }
    return tree;
}

// A plan directory: nested folders, names outside ASCII, an empty file, an empty folder, a
// hidden file and a file larger than one copy block.
void fillPlanDirectory(const QString &root)
{
    QVERIFY(writeFile(at(root, QStringLiteral("teachpkg.json")), kDocument));
    QVERIFY(writeFile(at(root, QStringLiteral("res/deep/er/photo.png")), randomBytes(70000, 1)));
    QVERIFY(writeFile(at(root, QStringLiteral("图片/课件 一.pptx")), randomBytes(1234, 2)));
    QVERIFY(writeFile(at(root, QStringLiteral("res/empty.txt")), QByteArray()));
    QVERIFY(writeFile(at(root, QStringLiteral("video/lesson.mp4")), randomBytes(3 << 20, 3)));
    QVERIFY(writeFile(at(root, QStringLiteral(".hidden")), "h"));
    QVERIFY(QDir().mkpath(at(root, QStringLiteral("emptydir"))));
}

// A deflate stream without zlib's header and trailer, as zip entries hold it.
QByteArray rawDeflate(const QByteArray &data)
{
    const QByteArray zlib = qCompress(data);
    return zlib.mid(4 + 2, zlib.size() - 4 - 2 - 4);
}

// An entry written as it stands, the way a hostile or foreign tool could write it.
struct Entry
{
    QString name;
    QByteArray content;
    quint32 unixMode = kUnixRegularFile;
    QByteArray extra;         // central and local extra fields
    qint64 declaredSize = -1; // when set, content is a raw deflate stream declaring this size
};

// Writes entries, names encoded with codec (UTF-8 flag set when codec is empty).
bool writeArchive(const QString &path, const QVector<Entry> &entries, const char *codec = nullptr)
{
    QuaZip zip(path);
    if (codec)
        zip.setFileNameCodec(codec);
    else
        zip.setUtf8Enabled(true);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    for (const Entry &entry : entries) {
        QuaZipNewInfo info(entry.name);
        info.externalAttr = entry.unixMode << 16;
        info.extraLocal = info.extraGlobal = entry.extra;
        const bool raw = entry.declaredSize >= 0;
        if (raw)
            info.uncompressedSize = ulong(entry.declaredSize);
        zip.setZip64Enabled(entry.declaredSize > 0xffffffffLL);
        QuaZipFile out(&zip);
        if (!out.open(QIODevice::WriteOnly, info, nullptr, 0, raw ? Z_DEFLATED : 0, 0, raw) ||
            out.write(entry.content) != entry.content.size())
            return false;
        out.close();
        if (out.getZipError() != ZIP_OK)
            return false;
    }
    zip.close();
    return zip.getZipError() == ZIP_OK;
}

// The Info-ZIP Unicode Path extra field naming rawName as utf8Name.
QByteArray unicodePathField(const QByteArray &rawName, const QString &utf8Name)
{
    const QByteArray name = utf8Name.toUtf8();
    QByteArray field;
    QDataStream out(&field, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0x7075) << quint16(5 + name.size()) << quint8(1)
        << quint32(crc32(0, reinterpret_cast<const Bytef *>(rawName.constData()), rawName.size()));
    out.writeRawData(name.constData(), name.size());
    return field;
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
    QTest::newRow("deflated") << 6;
}

} // namespace

// Takes the worker's signal on the test's thread, queued, the way the controller gets it.
class MainThreadRelay : public QObject
{
    Q_OBJECT
signals:
    void extractFinished(bool bSuccess);
};

class TestPlanPackage : public QObject
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

    // Readers that ignore the language encoding flag read names in their own code page: a
    // non-ASCII name must carry the flag, in the local and in the central header.
    void nonAsciiNamesCarryTheUtf8Flag_data() { addCompressionLevelRows(); }
    void nonAsciiNamesCarryTheUtf8Flag()
    {
        QFETCH(int, level);
        QTemporaryDir tmp;
        const QString plan = at(tmp.path(), QStringLiteral("plan"));
        QVERIFY(writeFile(at(plan, QStringLiteral("课件.txt")), "x"));
        const QString package = at(tmp.path(), QStringLiteral("plan.yrtp"));
        QVERIFY(CYrCommonUtils::compressDir_level(package, plan, true, level));
        const QByteArray bytes = readAll(package);
        const auto flagsAt = [&bytes](int offset) {
            return quint16(quint8(bytes.at(offset)) | quint8(bytes.at(offset + 1)) << 8);
        };
        const int central = bytes.indexOf(QByteArray("PK\x01\x02", 4));
        QVERIFY(bytes.startsWith(QByteArray("PK\x03\x04", 4)) && central > 0);
        QVERIFY(flagsAt(6) & (1 << 11));
        QVERIFY(flagsAt(central + 8) & (1 << 11));
    }

    void refusedPackageWritesNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("isLink");
        QTest::addColumn<QString>("why");
        const QByteArray any = "hostile";
        QTest::newRow("plain name (control)") << "ok/name.txt" << any << false << QString();
        QTest::newRow("link out, then a file through it")
            << "link" << QByteArray() << true << "entry \"link\" is a symbolic link";
        QTest::newRow("parent") << "../evil" << any << false << "a parent-directory part";
        QTest::newRow("parent further in") << "sub/../../x" << any << false << "parent-directory";
        QTest::newRow("absolute") << "/abs" << any << false << "an absolute path";
        QTest::newRow("backslash") << "a\\b" << any << false << "a backslash";
        QTest::newRow("drive") << "C:x" << any << false << "a colon";
        QTest::newRow("the destination itself") << "./" << any << false << "no path below";
        QTest::newRow("same name twice") << "res/a.png" << any << false << "a second entry";
        QTest::newRow("same name once cleaned")
            << "res/./a.png" << any << false << "a second entry";
        QTest::newRow("a file as a folder") << "res/a.png/b" << any << false << "below the file";
        QTest::newRow("a second document") << "teachpkg.json" << any << false << "a second entry";
    }
    void refusedPackageWritesNothing()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(bool, isLink);
        QFETCH(QString, why);
        QTemporaryDir tmp;
        const QString outside = at(tmp.path(), QStringLiteral("outside"));
        QVERIFY(QDir().mkpath(outside));
        QVector<Entry> entries{{QStringLiteral("teachpkg.json"), kDocument},
                               {QStringLiteral("res/a.png"), "png"}};
        if (isLink) {
            entries.append({name, outside.toUtf8(), kUnixSymbolicLink});
            entries.append({name + QStringLiteral("/file"), "written through the link"});
        } else {
            entries.append({name, content});
        }
        entries.append({QStringLiteral("z-last.txt"), "last"});
        const QString package = at(tmp.path(), QStringLiteral("hostile.yrtp"));
        QVERIFY(writeArchive(package, entries));

        const QString destination = at(tmp.path(), QStringLiteral("work/plan"));
        QString error;
        QCOMPARE(YRPlanPackage::extractPackage(package, destination, &error), why.isEmpty());
        if (why.isEmpty()) {
            QCOMPARE(treeContent(destination).value(name), content);
            return;
        }
        QVERIFY2(error.contains(why), qPrintable(error));
        QVERIFY(!QFileInfo::exists(destination));
        QVERIFY(treeContent(outside).isEmpty());
        QVERIFY(!QFileInfo::exists(at(tmp.path(), QStringLiteral("work/evil"))));
    }

    void packageWithoutUsableDocumentIsRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("why");
        QTest::newRow("none") << "notes.txt" << kDocument << "no teachpkg.json at the top";
        QTest::newRow("only deeper down")
            << "plan/teachpkg.json" << kDocument << "no teachpkg.json";
        QTest::newRow("an array") << "teachpkg.json" << QByteArray("[1, 2]") << "not a JSON object";
        QTest::newRow("not JSON") << "teachpkg.json" << QByteArray("{ not a plan") << "not a JSON";
    }
    void packageWithoutUsableDocumentIsRefused()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, document);
        QFETCH(QString, why);
        QTemporaryDir tmp;
        const QString package = at(tmp.path(), QStringLiteral("p.yrtp"));
        QVERIFY(writeArchive(package, {{name, document}, {QStringLiteral("res/a.png"), "png"}}));
        YRPlanPackage::PackageReader reader(package);
        QString error;
        QVERIFY(reader.open(&error));
        QVERIFY(reader.document().isEmpty());
        QVERIFY2(reader.refusals().join(' ').contains(why),
                 qPrintable(reader.refusals().join(' ')));
        QVERIFY(!reader.extractTo(at(tmp.path(), QStringLiteral("out")), &error));
        QVERIFY(!QFileInfo::exists(at(tmp.path(), QStringLiteral("out"))));
    }

    // Packages made on Chinese Windows name their entries in GBK without the UTF-8 flag;
    // Info-ZIP adds the UTF-8 name in an extra field.
    void entryNamesWrittenElsewhereKeepTheirCharacters_data()
    {
        QTest::addColumn<QByteArray>("codec");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("unicodePath");
        QTest::newRow("UTF-8 flag") << QByteArray() << "图片/课件 一.pptx" << QString();
        QTest::newRow("UTF-8 without the flag")
            << QByteArray("UTF-8") << "图片/课件 一.pptx" << QString();
        QTest::newRow("GBK") << QByteArray("GBK") << "图片/课件 一.pptx" << QString();
        QTest::newRow("Unicode Path field") << QByteArray("IBM 437") << "__/__ _.pptx"
                                            << "图片/课件 一.pptx";
    }
    void entryNamesWrittenElsewhereKeepTheirCharacters()
    {
        QFETCH(QByteArray, codec);
        QFETCH(QString, stored);
        QFETCH(QString, unicodePath);
        QTemporaryDir tmp;
        const QString package = at(tmp.path(), QStringLiteral("p.yrtp"));
        Entry resource{stored, "slides"};
        if (!unicodePath.isEmpty())
            resource.extra = unicodePathField(stored.toLatin1(), unicodePath);
        QVERIFY(writeArchive(package, {{QStringLiteral("teachpkg.json"), kDocument}, resource},
                             codec.isEmpty() ? nullptr : codec.constData()));
        const QString destination = at(tmp.path(), QStringLiteral("out"));
        QString error;
        QVERIFY2(YRPlanPackage::extractPackage(package, destination, &error), qPrintable(error));
        QCOMPARE(readAll(at(destination, QStringLiteral("图片/课件 一.pptx"))),
                 QByteArray("slides"));
    }

    void declaredSizesBoundTheUnpack_data()
    {
        QTest::addColumn<qint64>("declared");
        QTest::addColumn<QString>("why");
        QTest::newRow("inflates beyond its size")
            << qint64(1000) << "expands beyond its declared size";
        QTest::newRow("more than the disk holds") << (qint64(1) << 55) << "free";
    }
    void declaredSizesBoundTheUnpack()
    {
        QFETCH(qint64, declared);
        QFETCH(QString, why);
        QTemporaryDir tmp;
        const QString package = at(tmp.path(), QStringLiteral("bomb.yrtp"));
        QVERIFY(writeArchive(package,
                             {{QStringLiteral("teachpkg.json"), kDocument},
                              {QStringLiteral("zeros.bin"), rawDeflate(QByteArray(8 << 20, '\0')),
                               kUnixRegularFile, QByteArray(), declared}}));
        const QString destination = at(tmp.path(), QStringLiteral("out"));
        QString error;
        QVERIFY(!YRPlanPackage::extractPackage(package, destination, &error));
        QVERIFY2(error.contains(why), qPrintable(error));
        QVERIFY(treeContent(destination).isEmpty());
    }

    void damagedEntryFailsAndLeavesNoFileBehind_data() { addCompressionLevelRows(); }
    void damagedEntryFailsAndLeavesNoFileBehind()
    {
        QFETCH(int, level);
        QTemporaryDir tmp;
        const QString plan = at(tmp.path(), QStringLiteral("plan"));
        const QByteArray content = randomBytes(200000, 7);
        QVERIFY(writeFile(at(plan, QStringLiteral("teachpkg.json")), kDocument));
        QVERIFY(writeFile(at(plan, QStringLiteral("b.bin")), content));
        const QString package = at(tmp.path(), QStringLiteral("plan.yrtp"));
        QVERIFY(CYrCommonUtils::compressDir_level(package, plan, true, level));
        QVERIFY(damageStoredCopy(package, content));

        const QString destination = at(tmp.path(), QStringLiteral("out"));
        QString error;
        QVERIFY(!YRPlanPackage::extractPackage(package, destination, &error));
        QVERIFY2(error.contains(QLatin1String("b.bin")), qPrintable(error));
        QCOMPARE(treeContent(destination).keys(), QStringList());
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

    // A package never takes in what lies outside its plan, never leaves a file of the plan
    // out unsaid, and never replaces what is not a regular file.
    void packRefusesWhatItCannotHold_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("why");
        QTest::newRow("document is a link") << "document link"
                                            << "teachpkg.json is a link";
        QTest::newRow("link to a file outside") << "file link"
                                                << "link.txt is a symbolic link";
        QTest::newRow("link to a folder outside") << "folder link"
                                                  << "linkdir is a symbolic link";
        QTest::newRow("FIFO in the plan") << "fifo"
                                          << "pipe is not a regular file";
        QTest::newRow("package is a directory") << "output directory"
                                                << "is a directory";
        QTest::newRow("package is a FIFO") << "output fifo"
                                           << "is not a regular file";
        QTest::newRow("package is a device") << "output device"
                                             << "is not a regular file";
        QTest::newRow("package is the directory") << "itself"
                                                  << "is a directory";
    }
    void packRefusesWhatItCannotHold()
    {
        QFETCH(QString, kind);
        QFETCH(QString, why);
        QTemporaryDir tmp;
        const QString outside = at(tmp.path(), QStringLiteral("outside"));
        const QString plan = at(tmp.path(), QStringLiteral("plan"));
        QVERIFY(writeFile(at(outside, QStringLiteral("secret.txt")), "secret"));
        QVERIFY(writeFile(at(outside, QStringLiteral("teachpkg.json")), kDocument));
        QVERIFY(writeFile(at(plan, QStringLiteral("res/a.png")), "png"));
        if (kind != QLatin1String("document link"))
            QVERIFY(writeFile(at(plan, QStringLiteral("teachpkg.json")), kDocument));
        QString package = at(tmp.path(), QStringLiteral("plan.yrtp"));
        const QByteArray path = QFile::encodeName(at(plan, QStringLiteral("pipe")));
        if (kind == QLatin1String("document link"))
            QVERIFY(QFile::link(at(outside, QStringLiteral("teachpkg.json")),
                                at(plan, QStringLiteral("teachpkg.json"))));
        else if (kind == QLatin1String("file link"))
            QVERIFY(QFile::link(at(outside, QStringLiteral("secret.txt")),
                                at(plan, QStringLiteral("res/link.txt"))));
        else if (kind == QLatin1String("folder link"))
            QVERIFY(QFile::link(outside, at(plan, QStringLiteral("linkdir"))));
        else if (kind == QLatin1String("fifo"))
            QCOMPARE(mkfifo(path.constData(), 0600), 0);
        else if (kind == QLatin1String("output directory"))
            QVERIFY(QDir().mkpath(package));
        else if (kind == QLatin1String("output fifo"))
            QCOMPARE(mkfifo(QFile::encodeName(package).constData(), 0600), 0);
        else if (kind == QLatin1String("output device"))
            package = QStringLiteral("/dev/null");
        else if (kind == QLatin1String("itself"))
            package = plan;
        const QMap<QString, QByteArray> before = treeContent(tmp.path());

        QString error;
        QVERIFY(!YRPlanPackage::packPlan(package, plan, &error));
        QVERIFY2(error.contains(why), qPrintable(error));
        QCOMPARE(treeContent(tmp.path()), before);
        QVERIFY(!QFileInfo(QStringLiteral("/dev/null")).isFile());
        if (kind != QLatin1String("document link"))
            QVERIFY(!CYrCommonUtils::compressDir_level(package, plan, true, 0));
    }

    // Written through a temporary file: a pack that fails half way (here: a file-size limit,
    // which also holds for root) leaves the previous package as it was, and no temporary.
    void failedPackKeepsThePreviousPackage()
    {
        QTemporaryDir tmp;
        const QString plan = at(tmp.path(), QStringLiteral("plan"));
        fillPlanDirectory(plan);
        const QString package = at(tmp.path(), QStringLiteral("plan.yrtp"));
        QVERIFY(writeFile(package, "previous package"));
        {
            FileSizeLimit limit(1 << 20);
            QVERIFY(!YRPlanPackage::packPlan(package, plan));
        }
        QCOMPARE(readAll(package), QByteArray("previous package"));
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files), QStringList(QStringLiteral("plan.yrtp")));
        QVERIFY(YRPlanPackage::packPlan(package, plan));
    }

    void progressReachesTheTotal()
    {
        QTemporaryDir tmp;
        const QString plan = at(tmp.path(), QStringLiteral("plan"));
        fillPlanDirectory(plan);
        QVector<QPair<qint64, qint64>> reports;
        YRPlanPackage::setProgressObserver([&reports](qint64 done, qint64 total) {
            reports.append({done, total});
        });
        const QString package = at(tmp.path(), QStringLiteral("plan.yrtp"));
        const bool packed = YRPlanPackage::packPlan(package, plan);
        const int packReports = reports.size();
        const bool unpacked =
            YRPlanPackage::extractPackage(package, at(tmp.path(), QStringLiteral("out")));
        YRPlanPackage::setProgressObserver(nullptr);
        QVERIFY(packed && unpacked);
        const qint64 total = (3 << 20) + 70000 + 1234 + kDocument.size() + 1;
        QVERIFY(packReports > 3 && reports.size() > packReports + 3);
        QCOMPARE(reports.at(packReports - 1), qMakePair(total, total));
        QCOMPARE(reports.last(), qMakePair(total, total));
    }
};

QTEST_GUILESS_MAIN(TestPlanPackage)
#include "tst_planpackage.moc"
