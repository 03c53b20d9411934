#include "interfaces/cyrcommonutils.h"

#include <QImage>
#include <QtTest>

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

} // namespace

class TestCommonUtils : public QObject
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

QTEST_MAIN(TestCommonUtils)
#include "tst_commonutils.moc"
