#include "interfaces/cyrcommonutils.h"

#include <QImage>
#include <QtTest>

#include <quazip/JlCompress.h>

#include <unistd.h>

namespace {

QString at(const QString &dir, const char *relative)
{
    return dir + QLatin1Char('/') + QString::fromUtf8(relative);
}

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

QByteArray randomBytes(int size)
{
    QVector<quint32> words((size + 3) / 4);
    QRandomGenerator(42).fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char *>(words.constData()), size);
}

QByteArray imageBytes(const QSize &size, const char *format)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    return buffer.open(QIODevice::WriteOnly) && image.save(&buffer, format) ? bytes : QByteArray();
}

// Relative path -> content of every file below root; directories map to a null array.
QMap<QString, QByteArray> treeContent(const QString &root)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        tree.insert(QDir(root).relativeFilePath(it.next()),
                    it.fileInfo().isDir() ? QByteArray() : readFile(it.filePath()));
    return tree;
}

QString entryNames(const QString &archive)
{
    QStringList names = JlCompress::getFileList(archive);
    names.sort();
    return names.join(QLatin1Char(' '));
}

// A plan-like directory: nested folders, binary and empty files, names outside ASCII, an
// empty folder, a hidden file and a highly compressible file.
void fillSampleTree(const QString &root)
{
    QVERIFY(writeFile(at(root, "teachpkg.json"), "{\"version\":\"5.0\"}\n"));
    QVERIFY(writeFile(at(root, "res/deep/er/random.bin"), randomBytes(300 * 1024)));
    QVERIFY(writeFile(at(root, "res/zeros.bin"), QByteArray(200000, '\0')));
    QVERIFY(writeFile(at(root, "res/empty.txt"), QByteArray()));
    QVERIFY(writeFile(at(root, "图片/课件 一.pptx"), "slides"));
    QVERIFY(writeFile(at(root, ".hidden"), "h"));
    QVERIFY(QDir().mkpath(at(root, "emptydir")));
}

bool pack(const QString &package, const QString &dir, bool recursive = true, int level = 0)
{
    return CYrCommonUtils::compressDir_level(package, dir, recursive, level);
}

} // namespace

class CommonUtilsTest : public QObject
{
    Q_OBJECT

private slots:
    void md5MatchesKnownDigestsAndIsEmptyWhenUnreadable()
    {
        QTemporaryDir dir;
        const QString path = at(dir.path(), "file.bin");
        const auto md5Of = [&path](const QByteArray &content) {
            return writeFile(path, content) ? CYrCommonUtils::getFileMD5(path).toLatin1() : "";
        };
        QCOMPARE(md5Of(QByteArray()), QByteArray("d41d8cd98f00b204e9800998ecf8427e"));
        // Several read blocks plus a ragged tail.
        const QByteArray big = randomBytes(3 * 1024 * 1024 + 17);
        QCOMPARE(md5Of(big), QCryptographicHash::hash(big, QCryptographicHash::Md5).toHex());
        QVERIFY(CYrCommonUtils::getFileMD5(at(dir.path(), "missing")).isEmpty());
        QVERIFY(CYrCommonUtils::getFileMD5(dir.path()).isEmpty());
    }

    void joinPutsExactlyOneSeparator_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("joined");
        const auto row = [](const char *tag, QString path, QString name, QString joined) {
            QTest::newRow(tag) << path << name << joined;
        };
        row("neither", "/p", "a.json", "/p/a.json");
        row("doubled backslashes", "/p\\\\", "//a.json", "/p/a.json");
        row("empty path keeps name", "", "/a.txt", "/a.txt");
        row("empty name keeps path", "/p/", "", "/p/");
    }

    void joinPutsExactlyOneSeparator()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QFETCH(QString, joined);
        QCOMPARE(CYrCommonUtils::JoinPathFileName(path, name), joined);
    }

    void packageRoundTripsThroughExtractDir_data()
    {
        QTest::addColumn<int>("level");
        QTest::newRow("stored") << 0;
        QTest::newRow("deflated") << 6;
    }

    void packageRoundTripsThroughExtractDir()
    {
        QFETCH(int, level);
        QTemporaryDir work;
        const QString source = at(work.path(), "plan"), package = at(work.path(), "plan.yrtp");
        fillSampleTree(source);
        QVERIFY(pack(package, source, true, level));

        QuaZip zip(package);
        QVERIFY(zip.open(QuaZip::mdUnzip));
        const QList<QuaZipFileInfo64> entries = zip.getFileInfoList64();
        for (const QuaZipFileInfo64 &info : entries) {
            const bool stored = level == 0 || info.name.endsWith(QLatin1Char('/'));
            QCOMPARE(info.method, quint16(stored ? 0 : Z_DEFLATED));
            if (stored)
                QCOMPARE(info.compressedSize, info.uncompressedSize);
            else if (info.name == QLatin1String("res/zeros.bin"))
                QVERIFY(info.compressedSize < info.uncompressedSize / 10);
        }
        QVERIFY(!JlCompress::extractDir(package, at(work.path(), "restored")).isEmpty());
        QCOMPARE(treeContent(at(work.path(), "restored")), treeContent(source));
        QVERIFY(pack(package, source, false, level));
        QCOMPARE(entryNames(package), QStringLiteral(".hidden teachpkg.json"));
    }

    void failedPackingLeavesExistingPackageUntouched()
    {
        QTemporaryDir work;
        const QString source = at(work.path(), "plan"), package = at(work.path(), "plan.yrtp");
        fillSampleTree(source);
        QVERIFY(writeFile(package, "previous package"));
        QVERIFY(!pack(package, at(work.path(), "gone")));
        QVERIFY(!pack(package, package));
        QVERIFY(!pack(at(work.path(), "no/such/plan.yrtp"), source));
        if (geteuid() != 0) { // root reads every file
            QVERIFY(writeFile(at(source, "res/locked.bin"), "secret"));
            QVERIFY(QFile::setPermissions(at(source, "res/locked.bin"), QFileDevice::WriteOwner));
            QVERIFY(!pack(package, source));
        }
        QCOMPARE(readFile(package), QByteArray("previous package"));
        QCOMPARE(QDir(work.path()).entryList(QDir::Files),
                 QStringList(QStringLiteral("plan.yrtp")));
    }

    // Links could leak files from outside the plan. An older package inside the plan, named
    // through a path that is not canonical, is replaced: not packed into itself, no temporaries.
    void packageHoldsOnlyTheDirectorysOwnFiles()
    {
        QTemporaryDir work;
        const QString outside = at(work.path(), "outside"), source = at(work.path(), "plan");
        QVERIFY(writeFile(at(outside, "secret.txt"), "secret"));
        QVERIFY(writeFile(at(source, "teachpkg.json"), "{}"));
        QVERIFY(QFile::link(at(outside, "secret.txt"), at(source, "link.txt")));
        QVERIFY(QFile::link(outside, at(source, "linkdir")));
        QVERIFY(QFile::link(at(work.path(), "nowhere"), at(source, "dangling")));
        const QString package = at(source, "plan.yrtp");
        QVERIFY(writeFile(package, "an older package"));

        QVERIFY(pack(package, at(work.path(), "plan/../plan/")));
        QCOMPARE(entryNames(package), QStringLiteral("teachpkg.json"));
        QCOMPARE(QDir(source).entryList({QStringLiteral("plan.yrtp*")}),
                 QStringList(QStringLiteral("plan.yrtp")));
    }

    void smallCopyFitsIn120Square_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QSize>("sourceSize");
        QTest::addColumn<QSize>("smallSize");
        QTest::newRow("wide png") << "wide.png" << QSize(400, 200) << QSize(120, 60);
        QTest::newRow("tall upper-case jpeg") << "tall.JPEG" << QSize(200, 400) << QSize(60, 120);
        QTest::newRow("thin strip keeps a pixel") << "strip.bmp" << QSize(2000, 3) << QSize(120, 1);
        QTest::newRow("small is not upscaled") << "icon.v2.png" << QSize(50, 30) << QSize(50, 30);
    }

    void smallCopyFitsIn120Square()
    {
        QFETCH(QString, fileName);
        QFETCH(QSize, sourceSize);
        QFETCH(QSize, smallSize);
        QTemporaryDir dir;
        const QFileInfo info(dir.filePath(fileName));
        const QByteArray format = info.suffix().toLower().toLatin1();
        QVERIFY(writeFile(info.filePath(), imageBytes(sourceSize, format)));

        QVERIFY(CYrCommonUtils::copyImageTo120_120px(info.filePath()));
        QCOMPARE(QImage(dir.filePath(info.completeBaseName() + "_small." + info.suffix())).size(),
                 smallSize);
    }

    void noSmallCopyOfNonImagesOrSmallCopies_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("text named png") << "fake.png" << QByteArray(100000, 'a');
        QTest::newRow("image without image suffix")
            << "photo.txt" << imageBytes(QSize(400, 200), "png");
        QTest::newRow("small copy itself")
            << "photo_small.png" << imageBytes(QSize(400, 200), "png");
    }

    void noSmallCopyOfNonImagesOrSmallCopies()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(fileName), content));
        QVERIFY(!CYrCommonUtils::copyImageTo120_120px(dir.filePath(fileName)));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList(fileName));
    }
};

QTEST_MAIN(CommonUtilsTest)
#include "tst_commonutils.moc"
