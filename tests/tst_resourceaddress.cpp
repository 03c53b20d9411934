#include "resourcemanage/yrresourcemanage.h"
#include "support/fakenetworkmanager.h"

#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QJsonObject domainTable()
{
    const auto group = [](const char *name) {
        const QString base = QStringLiteral("https://") + QLatin1String(name);
        return QJsonObject{{"fileDomain", base + QStringLiteral(".files/")},
                           {"transFileDomain", base + QStringLiteral(".trans")},
                           {"thumbDomain", base + QStringLiteral(".thumbs/")}};
    };
    QJsonObject table{{"resource", group("res")}, {"wpan", group("wpan")},
                      {"ebook", group("book")},   {"jsonroad", group("json")},
                      {"EBOOK", group("BOOK")},   {"back", QJsonObject{{"fileDomain", "a\\b"}}}};
    return table;
}

QJsonObject record(const QString &source, const QString &nodeType, int translated,
                   const QString &cloudPath)
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
        QTest::addColumn<QStringList>("buckets");
        QTest::newRow("resource file")
            << record("resource", "file", 0, "/x/a.doc")
            << "https://res.files/x/a.doc?sign=sig-vexores" << QStringList{"vexores"};
        QTest::newRow("resource in capitals")
            << record("RESOURCE", "file", 0, "a.doc") << "https://res.files/a.doc?sign=sig-vexores"
            << QStringList{"vexores"};
        QTest::newRow("converted copy")
            << record("resource", "file", 1, "/a.pdf") << "https://res.trans/a.pdf?sign=sig-vexores"
            << QStringList{"vexores"};
        QTest::newRow("thumbnail of a converted copy")
            << record("wpan", "FileThumb", 3, "/t.png") << "https://wpan.thumbs/t.png?sign=sig-"
            << QStringList{""};
        QTest::newRow("ebook page")
            << record("ebook", "ebook", 0, "/p1") << "https://book.files/p1?sign=sig-vexopub"
            << QStringList{"vexopub"};
        QTest::newRow("group looked up by the record's own case")
            << record("EBOOK", "ebook", 0, "/p1") << "https://BOOK.files/p1?sign=sig-vexopub"
            << QStringList{"vexopub"};
        QTest::newRow("missing group leaves the cloud path")
            << record("minvideo", "file", 0, "/v.mp4") << "/v.mp4?sign=sig-" << QStringList{""};
        QTest::newRow("empty cloud path") << record("jsonroad", "file", 0, "")
                                          << "https://json.files/?sign=sig-" << QStringList{""};
        QTest::newRow("two leading slashes keep one")
            << record("resource", "file", 0, "//x") << "https://res.files//x?sign=sig-vexores"
            << QStringList{"vexores"};
        QTest::newRow("unknown source") << record("cdn", "file", 0, "/a") << "" << QStringList{};
        QTest::newRow("no source") << QJsonObject{{"cloudPath", "/a"}} << "" << QStringList{};
    }
    void addressFollowsSourceKindAndCase()
    {
        QFETCH(QJsonObject, input);
        QFETCH(QString, address);
        QFETCH(QStringList, buckets);
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        QCOMPARE(manage.getFullUrl(input), address);
        QCOMPARE(net.transfer()->signRequests, buckets);
    }

    void baseAndPathJoinWithOneSeparator_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("cloudPath");
        QTest::addColumn<QString>("address");
        QTest::newRow("no separators") << "a/b"
                                       << "/c/d"
                                       << "a/b/c/d";
        QTest::newRow("base ends in one") << "a/b/"
                                          << "c"
                                          << "a/b/c";
        QTest::newRow("backslashes") << "a\\b\\"
                                     << "\\c\\d"
                                     << "a/b/c/d";
        QTest::newRow("double leading slash") << "a/b"
                                              << "//c"
                                              << "a/b//c";
        QTest::newRow("empty base") << ""
                                    << "c"
                                    << "/c";
    }
    void baseAndPathJoinWithOneSeparator()
    {
        QFETCH(QString, base);
        QFETCH(QString, cloudPath);
        QFETCH(QString, address);
        qApp->setProperty("ResourceDomain",
                          QJsonObject{{"question", QJsonObject{{"fileDomain", base}}}});
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        QCOMPARE(manage.getFullUrl(record("question", "file", 0, cloudPath)),
                 address + QStringLiteral("?sign=sig-"));
    }

    void domainTableIsReadAtEachCall()
    {
        FakeNetWorkManager net;
        YRResourceManage manage(&net);
        const QJsonObject input = record("resource", "file", 0, "/a");
        QCOMPARE(manage.getFullUrl(input), QStringLiteral("https://res.files/a?sign=sig-vexores"));
        // A map or JSON text from the host works as well as a JSON object.
        qApp->setProperty("ResourceDomain",
                          QVariantMap{{"resource", QVariantMap{{"fileDomain", "http://m"}}}});
        QCOMPARE(manage.getFullUrl(input), QStringLiteral("http://m/a?sign=sig-vexores"));
        qApp->setProperty("ResourceDomain",
                          QStringLiteral("{\"resource\":{\"fileDomain\":\"http://t/\"}}"));
        QCOMPARE(manage.getFullUrl(input), QStringLiteral("http://t/a?sign=sig-vexores"));
    }

    // ---- yrplan url ----

    void urlCommand_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode"); // -1: any failure
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err"); // start of the one error line
        const QString rec =
            QStringLiteral("{\"fileCloudSource\":\"resource\",\"nodeType\":\"file\","
                           "\"isTranslate\":0,\"cloudPath\":\"/x/a.doc\"}");
        QTest::newRow("record text") << QStringList{"url", rec, "--domains", "@DOMAINS"} << 0
                                     << "https://res.files/x/a.doc?sign=local-vexores\n"
                                     << "";
        QTest::newRow("record file") << QStringList{"url", "@RECORD", "--domains", "@DOMAINS"} << 0
                                     << "https://res.files/x/a.doc?sign=local-vexores\n"
                                     << "";
        QTest::newRow("no domain table")
            << QStringList{"url", rec} << 0 << "/x/a.doc?sign=local-vexores\n"
            << "";
        QTest::newRow("bad record JSON")
            << QStringList{"url", "{nope", "--domains", "@DOMAINS"} << -1 << ""
            << "yrplan url: ";
        QTest::newRow("record not an object") << QStringList{"url", "[1]"} << -1 << ""
                                              << "yrplan url: ";
        QTest::newRow("missing record file")
            << QStringList{"url", "@/no/such/file.json"} << -1 << ""
            << "yrplan url: ";
        QTest::newRow("missing domain file")
            << QStringList{"url", rec, "--domains", "/no/such/domains.json"} << -1 << ""
            << "yrplan url: ";
        QTest::newRow("unknown source")
            << QStringList{"url", "{\"fileCloudSource\":\"cdn\",\"cloudPath\":\"/a\"}"} << -1 << ""
            << "yrplan url: ";
        QTest::newRow("no record") << QStringList{"url"} << -1 << ""
                                   << "yrplan url: ";
    }
    void urlCommand()
    {
#ifndef YRPLAN_EXECUTABLE
        QSKIP("yrplan is not built");
#else
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString domains = dir.filePath(QStringLiteral("domains.json"));
        const QString recordFile = dir.filePath(QStringLiteral("record.json"));
        QFile d(domains);
        QVERIFY(d.open(QIODevice::WriteOnly));
        d.write(QJsonDocument(domainTable()).toJson());
        d.close();
        QFile r(recordFile);
        QVERIFY(r.open(QIODevice::WriteOnly));
        r.write(
            "{\"fileCloudSource\":\"resource\",\"nodeType\":\"file\",\"cloudPath\":\"/x/a.doc\"}");
        r.close();
        for (QString &argument : arguments) {
            if (argument == QLatin1String("@DOMAINS"))
                argument = domains;
            else if (argument == QLatin1String("@RECORD"))
                argument = QLatin1Char('@') + recordFile;
        }

        QProcess yrplan;
        yrplan.start(QStringLiteral(YRPLAN_EXECUTABLE), arguments);
        QVERIFY(yrplan.waitForFinished(30000));
        const QString stdOut = QString::fromUtf8(yrplan.readAllStandardOutput());
        const QString stdErr = QString::fromUtf8(yrplan.readAllStandardError());
        QCOMPARE(yrplan.exitStatus(), QProcess::NormalExit);
        if (exitCode >= 0) {
            QCOMPARE(yrplan.exitCode(), exitCode);
            QCOMPARE(stdOut, out);
            QCOMPARE(stdErr, QString());
        } else {
            QVERIFY(yrplan.exitCode() != 0);
            QVERIFY(stdOut.isEmpty());
            QVERIFY2(stdErr.startsWith(err), qPrintable(stdErr));
            QCOMPARE(stdErr.count(QLatin1Char('\n')), 1);
        }
#endif
    }

    void urlCommandHelpNamesRecordFileForm()
    {
#ifndef YRPLAN_EXECUTABLE
        QSKIP("yrplan is not built");
#else
        QProcess yrplan;
        yrplan.start(QStringLiteral(YRPLAN_EXECUTABLE), {"url", "--help"});
        QVERIFY(yrplan.waitForFinished(30000));
        QCOMPARE(yrplan.exitCode(), 0);
        const QString help = QString::fromUtf8(yrplan.readAllStandardOutput());
        QVERIFY2(help.contains(QStringLiteral("@FILE")), qPrintable(help));
        QVERIFY(help.contains(QStringLiteral("--domains")));
#endif
    }
};

QTEST_MAIN(TestResourceAddress)
#include "tst_resourceaddress.moc"
