#include "interfaces/cyrcommonutils.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <quazip/JlCompress.h>
#include <quazip/quazip.h>
#include <quazip/quazipfileinfo.h>

#include <unistd.h>

namespace {

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

// Relative path -> content of every file below root; directories map to a null array.
QMap<QString, QByteArray> treeContent(const QString &root)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(root).relativeFilePath(path);
        tree.insert(relative, it.fileInfo().isDir() ? QByteArray() : readFile(path));
    }
    return tree;
}

QList<QuaZipFileInfo64> archiveEntries(const QString &archive)
{
    QuaZip zip(archive);
    if (!zip.open(QuaZip::mdUnzip))
        return {};
    return zip.getFileInfoList64();
}

QStringList entryNames(const QString &archive)
{
    QStringList names;
    for (const QuaZipFileInfo64 &info : archiveEntries(archive))
        names.append(info.name);
    names.sort();
    return names;
}

// A plan-like directory: nested folders, binary and empty files, names outside ASCII, an
// empty folder and a hidden file.
void fillSampleTree(const QString &root)
{
    QVERIFY(writeFile(root + QStringLiteral("/teachpkg.json"), "{\"version\":\"5.0\"}\n"));
    QByteArray allBytes;
    for (int i = 0; i < 256; ++i)
        allBytes.append(char(i));
    QVERIFY(writeFile(root + QStringLiteral("/res/bytes.bin"), allBytes));
    QVERIFY(writeFile(root + QStringLiteral("/res/deep/er/random.bin"),
                      randomBytes(300 * 1024 + 7, 42)));
    QVERIFY(writeFile(root + QStringLiteral("/res/empty.txt"), QByteArray()));
    QVERIFY(writeFile(root + QStringLiteral("/图片/课件 一.pptx"), "slides"));
    QVERIFY(writeFile(root + QStringLiteral("/.hidden"), "h"));
    QVERIFY(QDir().mkpath(root + QStringLiteral("/emptydir")));
}

QImage sampleImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return image;
}

QString smallCopyName(const QString &path)
{
    const QFileInfo info(path);
    return info.absolutePath() + QLatin1Char('/') + info.completeBaseName() +
           QStringLiteral("_small.") + info.suffix();
}

} // namespace

class CommonUtilsTest : public QObject
{
    Q_OBJECT

private slots:
    void md5MatchesKnownDigests_data();
    void md5MatchesKnownDigests();
    void md5OfMultiBlockFileMatchesWholeHash();
    void md5OfMissingFileOrDirectoryIsEmpty();

    void joinPutsExactlyOneSeparator_data();
    void joinPutsExactlyOneSeparator();

    void storedPackageRestoresTreeThroughExtractDir();
    void levelZeroEntriesAreStored();
    void levelSixEntriesAreDeflated();
    void entriesKeepModificationTimes();
    void nonRecursivePackingTakesTopFilesOnly();
    void newPackageReplacesExistingOne();
    void missingDirectoryLeavesExistingPackageUntouched();
    void unreadableFileLeavesExistingPackageUntouched();
    void missingTargetFolderFails();
    void symbolicLinksAreNotFollowed();
    void packageInsideDirectoryIsNotPackedIntoItself();

    void smallCopyFitsIn120Square_data();
    void smallCopyFitsIn120Square();
    void nonImagesGetNoSmallCopy_data();
    void nonImagesGetNoSmallCopy();
    void smallCopyIsNotCopiedAgain();
};

void CommonUtilsTest::md5MatchesKnownDigests_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("digest");
    QTest::newRow("empty") << QByteArray() << QStringLiteral("d41d8cd98f00b204e9800998ecf8427e");
    QTest::newRow("abc") << QByteArray("abc") << QStringLiteral("900150983cd24fb0d6963f7d28e17f72");
    QTest::newRow("fox") << QByteArray("The quick brown fox jumps over the lazy dog")
                         << QStringLiteral("9e107d9d372bb6826bd81d3542a419d6");
    QTest::newRow("digits") << QByteArray("1234567890123456789012345678901234567890123456789012345"
                                          "6789012345678901234567890")
                            << QStringLiteral("57edf4a22be3c955ac49da2e2107b67a");
}

void CommonUtilsTest::md5MatchesKnownDigests()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, digest);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("file.bin"));
    QVERIFY(writeFile(path, content));
    QCOMPARE(CYrCommonUtils::getFileMD5(path), digest);
}

void CommonUtilsTest::md5OfMultiBlockFileMatchesWholeHash()
{
    // Several read blocks plus a ragged tail.
    const QByteArray content = randomBytes(3 * 1024 * 1024 + 17, 7);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.bin"));
    QVERIFY(writeFile(path, content));
    const QString expected =
        QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex());
    QCOMPARE(CYrCommonUtils::getFileMD5(path), expected);
}

void CommonUtilsTest::md5OfMissingFileOrDirectoryIsEmpty()
{
    QTemporaryDir dir;
    QVERIFY(CYrCommonUtils::getFileMD5(dir.filePath(QStringLiteral("missing"))).isEmpty());
    QVERIFY(CYrCommonUtils::getFileMD5(dir.path()).isEmpty());
    QVERIFY(CYrCommonUtils::getFileMD5(QString()).isEmpty());
}

void CommonUtilsTest::joinPutsExactlyOneSeparator_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("joined");
    const QString expected = QStringLiteral("/plans/p1/teachpkg.json");
    QTest::newRow("neither") << "/plans/p1"
                             << "teachpkg.json" << expected;
    QTest::newRow("path ends") << "/plans/p1/"
                               << "teachpkg.json" << expected;
    QTest::newRow("name begins") << "/plans/p1"
                                 << "/teachpkg.json" << expected;
    QTest::newRow("both") << "/plans/p1/"
                          << "/teachpkg.json" << expected;
    QTest::newRow("backslashes") << "/plans/p1\\"
                                 << "\\teachpkg.json" << expected;
    QTest::newRow("doubled") << "/plans/p1//"
                             << "//teachpkg.json" << expected;
    QTest::newRow("name with folders") << "C:/plans"
                                       << "/res/a.png" << QStringLiteral("C:/plans/res/a.png");
    QTest::newRow("root") << "/"
                          << "a.txt" << QStringLiteral("/a.txt");
    QTest::newRow("empty path keeps name") << ""
                                           << "/a.txt" << QStringLiteral("/a.txt");
    QTest::newRow("empty name keeps path") << "/plans/"
                                           << "" << QStringLiteral("/plans/");
}

void CommonUtilsTest::joinPutsExactlyOneSeparator()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    QFETCH(QString, joined);
    QCOMPARE(CYrCommonUtils::JoinPathFileName(path, name), joined);
}

void CommonUtilsTest::storedPackageRestoresTreeThroughExtractDir()
{
    QTemporaryDir work;
    const QString source = work.filePath(QStringLiteral("plan"));
    fillSampleTree(source);
    const QString package = work.filePath(QStringLiteral("plan.yrtp"));
    QVERIFY(CYrCommonUtils::compressDir_level(package, source, true, 0));

    QVERIFY(entryNames(package).contains(QStringLiteral("teachpkg.json")));
    QVERIFY(entryNames(package).contains(QStringLiteral("图片/课件 一.pptx")));

    const QString restored = work.filePath(QStringLiteral("restored"));
    QVERIFY(!JlCompress::extractDir(package, restored).isEmpty());
    QCOMPARE(treeContent(restored), treeContent(source));
}

void CommonUtilsTest::levelZeroEntriesAreStored()
{
    QTemporaryDir work;
    const QString source = work.filePath(QStringLiteral("plan"));
    fillSampleTree(source);
    // Highly compressible, so deflate would have been visible.
    QVERIFY(writeFile(source + QStringLiteral("/zeros.bin"), QByteArray(200000, '\0')));
    const QString package = work.filePath(QStringLiteral("plan.yrtp"));
    QVERIFY(CYrCommonUtils::compressDir_level(package, source, true, 0));

    const QList<QuaZipFileInfo64> entries = archiveEntries(package);
    QVERIFY(entries.size() >= 7);
    for (const QuaZipFileInfo64 &info : entries) {
        QCOMPARE(info.method, quint16(0));
        QCOMPARE(info.compressedSize, info.uncompressedSize);
    }
}

void CommonUtilsTest::levelSixEntriesAreDeflated()
{
    QTemporaryDir work;
    const QString source = work.filePath(QStringLiteral("plan"));
    QVERIFY(writeFile(source + QStringLiteral("/zeros.bin"), QByteArray(200000, '\0')));
    QVERIFY(writeFile(source + QStringLiteral("/sub/text.txt"), QByteArray(5000, 'x')));
    const QString package = work.filePath(QStringLiteral("plan.yrtp"));
    QVERIFY(CYrCommonUtils::compressDir_level(package, source, true, 6));

    const QList<QuaZipFileInfo64> entries = archiveEntries(package);
    QCOMPARE(entries.size(), 2);
    for (const QuaZipFileInfo64 &info : entries) {
        QCOMPARE(info.method, quint16(Z_DEFLATED));
        QVERIFY(info.compressedSize < info.uncompressedSize / 10);
    }
    const QString restored = work.filePath(QStringLiteral("restored"));
    JlCompress::extractDir(package, restored);
    QCOMPARE(treeContent(restored), treeContent(source));
}

void CommonUtilsTest::entriesKeepModificationTimes()
{
    QTemporaryDir work;
    const QString source = work.filePath(QStringLiteral("plan"));
    const QString file = source + QStringLiteral("/old.txt");
    QVERIFY(writeFile(file, "old"));
    const QDateTime stamp(QDate(2015, 3, 14), QTime(9, 26, 54));
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(stamp, QFileDevice::FileModificationTime));
    }
    const QString package = work.filePath(QStringLiteral("plan.yrtp"));
    QVERIFY(CYrCommonUtils::compressDir_level(package, source, true, 0));
    const QList<QuaZipFileInfo64> entries = archiveEntries(package);
    QCOMPARE(entries.size(), 1);
    // Zip times have a two-second resolution.
    QVERIFY(qAbs(entries.first().dateTime.secsTo(stamp)) <= 2);
}

void CommonUtilsTest::nonRecursivePackingTakesTopFilesOnly()
{
    QTemporaryDir work;
    const QString source = work.filePath(QStringLiteral("plan"));
    fillSampleTree(source);
    const QString package = work.filePath(QStringLiteral("plan.yrtp"));
    QVERIFY(CYrCommonUtils::compressDir_level(package, source, false, 0));
    QCOMPARE(entryNames(package),
             QStringList({QStringLiteral(".hidden"), QStringLiteral("teachpkg.json")}));
}

void CommonUtilsTest::newPackageReplacesExistingOne()
{
    QTemporaryDir work;
    const QString source = work.filePath(QStringLiteral("plan"));
    QVERIFY(writeFile(source + QStringLiteral("/a.txt"), "first"));
    const QString package = work.filePath(QStringLiteral("plan.yrtp"));
    QVERIFY(CYrCommonUtils::compressDir_level(package, source, true, 0));
    QVERIFY(QFile::remove(source + QStringLiteral("/a.txt")));
    QVERIFY(writeFile(source + QStringLiteral("/b.txt"), "second"));
    QVERIFY(CYrCommonUtils::compressDir_level(package, source, true, 0));
    QCOMPARE(entryNames(package), QStringList(QStringLiteral("b.txt")));
    QCOMPARE(QDir(work.path()).entryList(QDir::Files), QStringList(QStringLiteral("plan.yrtp")));
}

void CommonUtilsTest::missingDirectoryLeavesExistingPackageUntouched()
{
    QTemporaryDir work;
    const QString package = work.filePath(QStringLiteral("plan.yrtp"));
    QVERIFY(writeFile(package, "previous package"));
    QVERIFY(!CYrCommonUtils::compressDir_level(package, work.filePath(QStringLiteral("gone")), true,
                                               0));
    QCOMPARE(readFile(package), QByteArray("previous package"));
    // A file is not a directory to pack either.
    QVERIFY(!CYrCommonUtils::compressDir_level(package, package, true, 0));
    QCOMPARE(readFile(package), QByteArray("previous package"));
}

void CommonUtilsTest::unreadableFileLeavesExistingPackageUntouched()
{
    if (geteuid() == 0)
        QSKIP("root reads every file");
    QTemporaryDir work;
    const QString source = work.filePath(QStringLiteral("plan"));
    fillSampleTree(source);
    const QString locked = source + QStringLiteral("/res/locked.bin");
    QVERIFY(writeFile(locked, "secret"));
    QVERIFY(QFile::setPermissions(locked, QFileDevice::WriteOwner));
    const QString package = work.filePath(QStringLiteral("plan.yrtp"));
    QVERIFY(writeFile(package, "previous package"));
    QVERIFY(!CYrCommonUtils::compressDir_level(package, source, true, 0));
    QCOMPARE(readFile(package), QByteArray("previous package"));
    QCOMPARE(QDir(work.path()).entryList(QDir::Files), QStringList(QStringLiteral("plan.yrtp")));
}

void CommonUtilsTest::missingTargetFolderFails()
{
    QTemporaryDir work;
    const QString source = work.filePath(QStringLiteral("plan"));
    fillSampleTree(source);
    const QString package = work.filePath(QStringLiteral("no/such/folder/plan.yrtp"));
    QVERIFY(!CYrCommonUtils::compressDir_level(package, source, true, 0));
    QVERIFY(!QFileInfo::exists(package));
}

void CommonUtilsTest::symbolicLinksAreNotFollowed()
{
    QTemporaryDir work;
    const QString outside = work.filePath(QStringLiteral("outside"));
    QVERIFY(writeFile(outside + QStringLiteral("/secret.txt"), "secret"));
    const QString source = work.filePath(QStringLiteral("plan"));
    QVERIFY(writeFile(source + QStringLiteral("/teachpkg.json"), "{}"));
    QVERIFY(
        QFile::link(outside + QStringLiteral("/secret.txt"), source + QStringLiteral("/link.txt")));
    QVERIFY(QFile::link(outside, source + QStringLiteral("/linkdir")));
    QVERIFY(QFile::link(work.filePath(QStringLiteral("nowhere")),
                        source + QStringLiteral("/dangling")));

    const QString package = work.filePath(QStringLiteral("plan.yrtp"));
    QVERIFY(CYrCommonUtils::compressDir_level(package, source, true, 0));
    QCOMPARE(entryNames(package), QStringList(QStringLiteral("teachpkg.json")));
}

void CommonUtilsTest::packageInsideDirectoryIsNotPackedIntoItself()
{
    QTemporaryDir work;
    const QString source = work.filePath(QStringLiteral("plan"));
    QVERIFY(writeFile(source + QStringLiteral("/teachpkg.json"), "{}"));
    const QString package = source + QStringLiteral("/plan.yrtp");
    QVERIFY(writeFile(package, "an older package"));

    // Reached through a path that is not canonical, as a caller might pass it.
    const QString sourceAsGiven = work.filePath(QStringLiteral("plan/../plan/"));
    QVERIFY(CYrCommonUtils::compressDir_level(package, sourceAsGiven, true, 0));
    QCOMPARE(entryNames(package), QStringList(QStringLiteral("teachpkg.json")));
    QCOMPARE(QDir(source).entryList(QDir::Files),
             QStringList({QStringLiteral("plan.yrtp"), QStringLiteral("teachpkg.json")}));
}

void CommonUtilsTest::smallCopyFitsIn120Square_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("sourceSize");
    QTest::addColumn<QSize>("smallSize");
    QTest::newRow("png wide") << "wide.png" << QByteArray("png") << QSize(400, 200)
                              << QSize(120, 60);
    QTest::newRow("jpg wide") << "wide.jpg" << QByteArray("jpg") << QSize(400, 200)
                              << QSize(120, 60);
    QTest::newRow("upper-case suffix tall")
        << "tall.JPEG" << QByteArray("jpeg") << QSize(200, 400) << QSize(60, 120);
    QTest::newRow("bmp square") << "square.bmp" << QByteArray("bmp") << QSize(300, 300)
                                << QSize(120, 120);
    QTest::newRow("thin strip keeps a pixel")
        << "strip.png" << QByteArray("png") << QSize(2000, 3) << QSize(120, 1);
    QTest::newRow("small stays as is")
        << "icon.png" << QByteArray("png") << QSize(50, 30) << QSize(50, 30);
    QTest::newRow("ico") << "logo.ico" << QByteArray("ico") << QSize(256, 128) << QSize(120, 60);
    QTest::newRow("dotted name") << "lesson.v2.png" << QByteArray("png") << QSize(240, 240)
                                 << QSize(120, 120);
}

void CommonUtilsTest::smallCopyFitsIn120Square()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, format);
    QFETCH(QSize, sourceSize);
    QFETCH(QSize, smallSize);
    QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
    QVERIFY(sampleImage(sourceSize.width(), sourceSize.height()).save(path, format.constData()));

    QVERIFY(CYrCommonUtils::copyImageTo120_120px(path));
    const QImage small(smallCopyName(path));
    QVERIFY(!small.isNull());
    QCOMPARE(small.size(), smallSize);
    QCOMPARE(QImage(path).size(), sourceSize);
}

void CommonUtilsTest::nonImagesGetNoSmallCopy_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("text") << "notes.txt" << QByteArray("just words");
    QTest::newRow("text named png") << "fake.png" << QByteArray(100000, 'a');
    QTest::newRow("zip named jpg") << "archive.jpg" << QByteArray("PK\x03\x04 not a picture");
    QTest::newRow("no suffix") << "README" << QByteArray("words");
    QTest::newRow("empty png") << "empty.png" << QByteArray();
}

void CommonUtilsTest::nonImagesGetNoSmallCopy()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
    QVERIFY(writeFile(path, content));
    QVERIFY(!CYrCommonUtils::copyImageTo120_120px(path));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList(fileName));
}

void CommonUtilsTest::smallCopyIsNotCopiedAgain()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("photo_small.png"));
    QVERIFY(sampleImage(400, 200).save(path, "png"));
    QVERIFY(!CYrCommonUtils::copyImageTo120_120px(path));
    QVERIFY(!CYrCommonUtils::copyImageTo120_120px(dir.path()));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
             QStringList(QStringLiteral("photo_small.png")));
}

QTEST_MAIN(CommonUtilsTest)
#include "tst_commonutils.moc"
