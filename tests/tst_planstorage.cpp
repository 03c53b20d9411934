// Plan attributes, identifiers, directories, plan information, and the document on disk.

#include "plandata/planpaths.h"
#include "plandata/yrplandata.h"
#include "support/filesizelimit.h"
#include "support/planfixtures.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace PlanFixtures;

class TestPlanStorage : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_profile;
    QByteArray m_savedProfile;

private slots:
    void init()
    {
        m_savedProfile = qgetenv("ALLUSERSPROFILE");
        qputenv("ALLUSERSPROFILE", m_profile.path().toUtf8());
        QCoreApplication::instance()->setProperty("uid", QStringLiteral("u42"));
    }

    void cleanup()
    {
        qputenv("ALLUSERSPROFILE", m_savedProfile);
        QCoreApplication::instance()->setProperty("uid", QVariant());
    }

    void initGivesFreshAttributesAndRoot()
    {
        YRPlanData data;
        QVERIFY(data.setJson(document(description(), {step("s", "内容精讲", {})})));
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        data.initTeachingPlanAttr();
        const TeachingPlanAttr &attr = data.getTeachingPlanAttr();
        const QDate today = QDate::currentDate();
        QCOMPARE(attr.strName, QStringLiteral("未命名教案%1-%2-%3")
                                   .arg(today.year())
                                   .arg(today.month())
                                   .arg(today.day()));
        QVERIFY(attr.iCreateTime >= before && attr.iCreateTime <= before + 5);
        QCOMPARE(attr.iUpdateTime, attr.iCreateTime);
        QCOMPARE(attr.iAuthorId, "u42");
        QVERIFY(attr.strGUID.size() == 36 && data.getTeachingPlanStepCount() == 0);
        const QString root = m_profile.path() + "/Orvane/Tavrunelcore/TeachPlans";
        QCOMPARE(data.getTeachingPlanRoot(), root);
        QVERIFY(QFileInfo(root).isDir());
    }

    void rootFallsBackWithoutAllUsersProfile()
    {
        qputenv("ALLUSERSPROFILE", "");
        const QString root = YRPlanPaths::teachingPlanRoot();
        QVERIFY(root.endsWith("/Orvane/Tavrunelcore/TeachPlans"));
        QVERIFY(root.size() > QStringLiteral("/Orvane/Tavrunelcore/TeachPlans").size());
        qputenv("ALLUSERSPROFILE", "C:\\ProgramData");
        QCOMPARE(YRPlanPaths::teachingPlanRoot(), "C:/ProgramData/Orvane/Tavrunelcore/TeachPlans");
    }

    void setTeachingPlanDirTakesGuidFromLastPart()
    {
        YRPlanData data;
        data.setTeachingPlanDir(m_profile.path() + "/a/abc/");
        QCOMPARE(data.getTeachingPlanDir(), m_profile.path() + "/a/abc");
        QCOMPARE(data.getTeachingPlanAttr().strGUID, "abc");
        data.setTeachingPlanDir("/");
        QCOMPARE(data.getTeachingPlanDir(), "/");
        QCOMPARE(data.getTeachingPlanAttr().strGUID, "abc");
        data.setTeachingPlanDir("relative/plan-7");
        QCOMPARE(data.getTeachingPlanDir(), QDir::currentPath() + "/relative/plan-7");
        QCOMPARE(data.getTeachingPlanAttr().strGUID, "plan-7");
        // An empty text unsets the directory instead of naming the current one.
        data.setTeachingPlanDir("");
        QVERIFY(data.getTeachingPlanDir().isEmpty());
        QVERIFY(!data.saveJson("{}", ""));
    }

    void planInfoMap()
    {
        YRPlanData data;
        QVariantMap info = data.getPlanInfo();
        QVERIFY(!info.contains("jsonCloudRoad") && !info.contains("jsonRoad"));

        data.setTeachingPlanRoot("/r/TeachPlans");
        data.setTeachingPlanDir("/r/TeachPlans/u42/1700000000/g-1");
        info = data.getPlanInfo();
        QCOMPARE(info.value("strGUID").toString(), "g-1");
        QCOMPARE(info.value("strPlanCacheDir").toString(), "/r/TeachPlans/u42/1700000000/g-1");
        QCOMPARE(info.value("strPlanConfigFile").toString(), "/r/TeachPlans/u42/1700000000/g-1");
        QCOMPARE(info.value("jsonCloudRoad").toString(), "u42/1700000000/g-1/teachpkg.json");
        QCOMPARE(info.value("jsonRoad").toString(),
                 "/r/TeachPlans/u42/1700000000/g-1/teachpkg.json");
    }

    void saveJsonWritesNormalisedDocument()
    {
        QTemporaryDir dir;
        YRPlanData data;
        data.setTeachingPlanDir(dir.path() + "/new/plan");
        QVERIFY(data.saveJson(R"({"b": 1, "a": {"y": [], "x": ""}})", ""));
        const QByteArray written = readAll(dir.path() + "/new/plan/teachpkg.json");
        QCOMPARE(written,
                 QByteArray("{\n    \"a\": {\n        \"x\": \"\",\n        \"y\": [\n        ]\n"
                            "    },\n    \"b\": 1\n}\n"));
        QVERIFY(data.saveJson("[]", "/teachpkg.json.notsave"));
        QCOMPARE(readAll(dir.path() + "/new/plan/teachpkg.json.notsave"), QByteArray("[\n]\n"));
        QVERIFY(data.saveJson("{}", "sub/other.json"));
        QVERIFY(QFile::exists(dir.path() + "/new/plan/sub/other.json"));
    }

    // The plan's own text goes to disk as it stands, converted a block at a time: a surrogate
    // pair across a block's end stays whole, and a write stopped half way keeps the file.
    void documentTextIsWrittenAsItStands()
    {
        QTemporaryDir dir;
        YRPlanData data;
        data.setTeachingPlanDir(dir.path() + "/plan");
        const QString pair = QStringLiteral("\U0001F600");
        const auto documentWith = [&pair](int padding) {
            return QStringLiteral(R"({"description": {"documentVersion": "5.0"}, "steps": [{"attr":
                {"stepId": "s1", "stepName": "%1%2", "stepType": "内容精讲"}, "nodes": []}]})")
                .arg(QString(padding, 'x'), pair);
        };
        const int blockEnd = 1 << 16;
        YRPlanData probe;
        probe.setTeachingPlanDir(dir.path() + "/plan");
        QVERIFY(probe.setJson(documentWith(2 * blockEnd)));
        const int shift = probe.getJson().indexOf(pair) - (blockEnd - 1);
        QVERIFY(data.setJson(documentWith(2 * blockEnd - shift)));
        QVERIFY(data.getJson().at(blockEnd - 1).isHighSurrogate());
        QVERIFY(data.saveJson(data.getJson(), ""));
        const QString document = dir.path() + "/plan/teachpkg.json";
        QCOMPARE(readAll(document), data.getJson().toUtf8());

        const QByteArray saved = readAll(document);
        data.renameStepOrTask("s1", "-1", QString(4 * blockEnd, 'y'), QString());
        {
            FileSizeLimit limit(blockEnd);
            QVERIFY(!data.saveJson(data.getJson(), ""));
        }
        QCOMPARE(readAll(document), saved);
    }

    void saveJsonRefusesBadInputAndKeepsFile_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("text that does not parse") << "{\"a\": "
                                                  << "";
        QTest::newRow("empty text") << ""
                                    << "";
        QTest::newRow("file name leaving the plan") << "{}"
                                                    << "/../outside.json";
        // Written through a temporary file: a write that fails half way (a file-size limit, which
        // holds for root too) leaves the document as it was.
        QTest::newRow("disk full half way")
            << QStringLiteral("{\"big\": \"%1\"}").arg(QString(1 << 20, 'x')) << "";
    }

    void saveJsonRefusesBadInputAndKeepsFile()
    {
        QFETCH(QString, json);
        QFETCH(QString, fileName);
        QTemporaryDir dir;
        const QString planDir = dir.path() + "/plan";
        QVERIFY(QDir().mkpath(planDir));
        QVERIFY(writeFile(planDir + "/teachpkg.json", "{\"kept\": true}\n"));
        YRPlanData data;
        data.setTeachingPlanDir(planDir);
        {
            FileSizeLimit limit(64 * 1024);
            QVERIFY(!data.saveJson(json, fileName));
        }
        QCOMPARE(readAll(planDir + "/teachpkg.json"), QByteArray("{\"kept\": true}\n"));
        QVERIFY(!QFile::exists(dir.path() + "/outside.json"));
        QCOMPARE(QDir(planDir).entryList(QDir::Files | QDir::Hidden), QStringList("teachpkg.json"));
    }

    void pathRulesKeepEveryPathInItsDirectory_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("accepted");
        const auto inside = [](const char *tag, const char *path, bool accepted) {
            QTest::newRow(tag) << "inside /r/TeachPlans" << path << accepted;
        };
        inside("a plan below", "/r/TeachPlans/u/1/g", true);
        inside("the root itself", "/r/TeachPlans", false);
        inside("the root with a slash", "/r/TeachPlans/", false);
        inside("a sibling sharing the prefix", "/r/TeachPlans-other/g", false);
        inside("climbing out", "/r/TeachPlans/u/../../x", false);
        inside("a backslash", "/r/TeachPlans/u\\g", false);
        inside("a drive colon", "/r/TeachPlans/C:x", false);
        const auto relative = [](const char *tag, const char *path, bool accepted) {
            QTest::newRow(tag) << "plan-relative" << path << accepted;
        };
        relative("a file in a step", "/s1/a.png", true);
        relative("a dot part that stays", "/s1/./a.png", true);
        relative("up at once", "/../x", false);
        relative("up later", "/s1/../../x", false);
        relative("up and back in", "/s1/../s2/a", true);
        relative("no leading slash", "s1/a.png", false);
        relative("the plan itself", "/", false);
        relative("a doubled slash to the plan", "//", false);
        const auto name = [](const char *tag, const QString &path, bool accepted) {
            QTest::newRow(tag) << "file name" << path << accepted;
        };
        name("a name", QStringLiteral("课件 一.pptx"), true);
        name("dot", QStringLiteral("."), false);
        name("dot dot", QStringLiteral(".."), false);
        name("empty", QString(), false);
        name("a separator", QStringLiteral("a/b"), false);
        name("NUL", QStringLiteral("a") + QChar(0) + QStringLiteral("b"), false);
        name("255 bytes", QString(85, QChar(0x8bfe)), true);
        name("256 bytes", QString(85, QChar(0x8bfe)) + QLatin1Char('x'), false);
    }

    void pathRulesKeepEveryPathInItsDirectory()
    {
        QFETCH(QString, rule);
        QFETCH(QString, path);
        QFETCH(bool, accepted);
        if (rule == QLatin1String("plan-relative"))
            QCOMPARE(YRPlanPaths::isPlanRelative(path), accepted);
        else if (rule == QLatin1String("file name"))
            QCOMPARE(YRPlanPaths::isPlainFileName(path), accepted);
        else
            QCOMPARE(YRPlanPaths::isInside(QStringLiteral("/r/TeachPlans"), path), accepted);
    }

    void getJsonResolvesRelativePaths()
    {
        const QString base = m_profile.path() + "/Orvane/Tavrunelcore/TeachPlans/";
        QVERIFY(QDir().mkpath(base + "u42/day/g"));
        QVERIFY(writeFile(base + "u42/day/g/teachpkg.json", "with uid"));
        QVERIFY(QDir().mkpath(base + "u42/other"));
        QVERIFY(writeFile(base + "u42/other/teachpkg.json", "uid added"));
        YRPlanData data;
        QCOMPARE(data.getJson("u42/day/g/teachpkg.json", false), "with uid");
        QCOMPARE(data.getJson("/other/teachpkg.json", false), "uid added");
        QCOMPARE(data.getJson(base + "u42/other/teachpkg.json", true), "uid added");
        QCOMPARE(data.getJson("/missing.json", false), QString());
        QCoreApplication::instance()->setProperty("uid", QString());
        QCOMPARE(data.getJson("u42/day/g/teachpkg.json", false), "with uid");
    }
};

QTEST_GUILESS_MAIN(TestPlanStorage)
#include "tst_planstorage.moc"
