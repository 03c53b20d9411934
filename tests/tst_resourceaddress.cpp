#include "support/transferrecords.h"

#include <QtTest>

using namespace TransferRecords;

namespace {

// Short bases keep the rows short; the last two groups show how a base and a path are joined.
QJsonObject domainTable()
{
    return QJsonDocument::fromJson(
               R"({"resource": {"fileDomain": "r/", "transFileDomain": "t"},
                   "wpan": {"thumbDomain": "w/"}, "ebook": {"fileDomain": "e"},
                   "EBOOK": {"fileDomain": "E"}, "question": {"fileDomain": "a\\b\\"},
                   "localUpload": {"fileDomain": "a/b"}})")
        .object();
}

QJsonObject record(const QString &source, const QString &cloudPath,
                   const QString &nodeType = QStringLiteral("file"), int translated = 0)
{
    return QJsonObject{{"fileCloudSource", source},
                       {"nodeType", nodeType},
                       {"isTranslate", translated},
                       {"cloudPath", cloudPath}};
}

} // namespace

// Composition of resource addresses, and the "yrplan url" command that shows them.
class TestResourceAddress : public QObject
{
    Q_OBJECT

private slots:
    void init() { qApp->setProperty("ResourceDomain", domainTable()); }

    void addressFollowsSourceKindAndCase_data()
    {
        QTest::addColumn<QJsonObject>("input");
        QTest::addColumn<QString>("address");
        QTest::newRow("resource") << record("resource", "/x/a") << "r/x/a?sign=sig-vexores";
        QTest::newRow("capitals") << record("RESOURCE", "a") << "r/a?sign=sig-vexores";
        QTest::newRow("converted") << record("resource", "/a", "file", 1) << "t/a?sign=sig-vexores";
        QTest::newRow("thumbnail") << record("wpan", "/t", "FileThumb", 3) << "w/t?sign=sig-";
        QTest::newRow("ebook") << record("ebook", "/p1") << "e/p1?sign=sig-vexopub";
        QTest::newRow("group in own case") << record("EBOOK", "/p") << "E/p?sign=sig-vexopub";
        QTest::newRow("missing group") << record("minvideo", "v") << "/v?sign=sig-";
        QTest::newRow("double slash") << record("resource", "//x") << "r//x?sign=sig-vexores";
        QTest::newRow("backslashes") << record("question", "\\c\\d") << "a/b/c/d?sign=sig-";
        QTest::newRow("base without slash") << record("localUpload", "c") << "a/b/c?sign=sig-";
        QTest::newRow("unknown source") << record("cdn", "/a") << "";
    }
    void addressFollowsSourceKindAndCase()
    {
        QFETCH(QJsonObject, input);
        QFETCH(QString, address);
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        QCOMPARE(manage.getFullUrl(input), address);
        QCOMPARE(net.transfer()->signRequests.size(), address.isEmpty() ? 0 : 1);
    }

    void domainTableIsReadAtEachCall()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        const QJsonObject input = record("resource", "/a");
        QCOMPARE(manage.getFullUrl(input), QStringLiteral("r/a?sign=sig-vexores"));
        // JSON text from the host works as well as a JSON object.
        qApp->setProperty("ResourceDomain", R"({"resource": {"fileDomain": "t/"}})");
        QCOMPARE(manage.getFullUrl(input), QStringLiteral("t/a?sign=sig-vexores"));
    }

    void urlCommand_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out"); // part of the output; errors print one line to stderr
        const QString rec = R"({"fileCloudSource": "resource", "cloudPath": "/a"})";
        const QString address = QStringLiteral("r/a?sign=local-vexores\n");
        QTest::newRow("record text") << QStringList{"url", rec, "--domains", "@D"} << 0 << address;
        QTest::newRow("record file") << QStringList{"url", "@R", "--domains", "@D"} << 0 << address;
        QTest::newRow("help") << QStringList{"url", "--help"} << 0 << "@FILE";
        QTest::newRow("bad record JSON") << QStringList{"url", "{nope"} << 1 << QString();
        QTest::newRow("no record file") << QStringList{"url", "@/no/such"} << 1 << QString();
        QTest::newRow("no domains")
            << QStringList{"url", "{}", "--domains", "/no"} << 1 << QString();
        QTest::newRow("no source") << QStringList{"url", "{}"} << 1 << QString();
        QTest::newRow("domains of the wrong shape")
            << QStringList{"url", rec, "--domains", "@W"} << 1 << QString();
        QTest::newRow("verbose") << QStringList{"url", "--verbose", rec, "--domains", "@D"} << 0
                                 << address;
        QTest::newRow("no record") << QStringList{"url"} << 2 << QString();
        QTest::newRow("unknown option") << QStringList{"url", "--nope", rec} << 2 << QString();
    }
    void urlCommand()
    {
#ifndef YRPLAN_EXECUTABLE
        QSKIP("yrplan is not built");
#else
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QTemporaryDir dir;
        const QByteArray rec = R"({"fileCloudSource": "resource", "cloudPath": "/a"})";
        QVERIFY(writeFile(dir.filePath("d"), QJsonDocument(domainTable()).toJson()));
        QVERIFY(writeFile(dir.filePath("r"), rec));
        QVERIFY(writeFile(dir.filePath("w"), R"({"resource": "r"})"));
        arguments.replaceInStrings("@D", dir.filePath("d"))
            .replaceInStrings("@W", dir.filePath("w"))
            .replaceInStrings("@R", "@" + dir.filePath("r"));

        QProcess yrplan;
        yrplan.start(QStringLiteral(YRPLAN_EXECUTABLE), arguments);
        QVERIFY(yrplan.waitForFinished(30000));
        const QString stdOut = QString::fromUtf8(yrplan.readAllStandardOutput());
        const QString stdErr = QString::fromUtf8(yrplan.readAllStandardError());
        QCOMPARE(yrplan.exitCode(), exitCode);
        // The library's diagnostic lines show with --verbose only.
        const bool verbose = arguments.contains("--verbose");
        QVERIFY2(exitCode == 0 ? stdOut.contains(out) &&
                                     stdErr.contains("YRResourceManage::getFullUrl") == verbose
                               : stdOut.isEmpty() && stdErr.startsWith("yrplan url: ") &&
                                     stdErr.count(QLatin1Char('\n')) == 1,
                 qPrintable(stdOut + stdErr));
#endif
    }
};

QTEST_MAIN(TestResourceAddress)
#include "tst_resourceaddress.moc"
