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

private slots:
    void init();
    void cleanup();
    void initGivesFreshAttributesAndRoot();
    void rootFallsBackWithoutAllUsersProfile();
    void setTeachingPlanDirTakesGuidFromLastPart();
    void planInfoMap();
    void saveJsonWritesNormalisedDocument();
    void saveJsonRefusesBadInputAndKeepsFile_data();
    void saveJsonRefusesBadInputAndKeepsFile();
    void pathRulesKeepEveryPathInItsDirectory_data();
    void pathRulesKeepEveryPathInItsDirectory();
    void getJsonResolvesRelativePaths();
    void versionFourTitleFromPlanInfo();

private:
    QTemporaryDir m_profile;
    QByteArray m_savedProfile;
};

void TestPlanStorage::init()
{
    m_savedProfile = qgetenv("ALLUSERSPROFILE");
    qputenv("ALLUSERSPROFILE", m_profile.path().toUtf8());
    QCoreApplication::instance()->setProperty("uid", QStringLiteral("u42"));
}

void TestPlanStorage::cleanup()
{
    qputenv("ALLUSERSPROFILE", m_savedProfile);
    QCoreApplication::instance()->setProperty("uid", QVariant());
}

void TestPlanStorage::initGivesFreshAttributesAndRoot()
{
    YRPlanData data;
    QVERIFY(data.setJson(document(description(), {step("s", "内容精讲", {})})));
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    data.initTeachingPlanAttr();
    const TeachingPlanAttr &attr = data.getTeachingPlanAttr();
    const QDate today = QDate::currentDate();
    QCOMPARE(
        attr.strName,
        QStringLiteral("未命名教案%1-%2-%3").arg(today.year()).arg(today.month()).arg(today.day()));
    QCOMPARE(attr.strDocumentVersion, "5.0");
    QCOMPARE(attr.iPlanId, -1);
    QVERIFY(attr.iCreateTime >= before && attr.iCreateTime <= before + 5);
    QCOMPARE(attr.iUpdateTime, attr.iCreateTime);
    QCOMPARE(attr.iAuthorId, "u42");
    QCOMPARE(attr.iBoardId, 4);
    QCOMPARE(attr.strGUID.size(), 36);
    QCOMPARE(data.getTeachingPlanStepCount(), 0);
    const QString root = m_profile.path() + "/Orvane/Tavrunelcore/TeachPlans";
    QCOMPARE(data.getTeachingPlanRoot(), root);
    QVERIFY(QFileInfo(root).isDir());
}

void TestPlanStorage::rootFallsBackWithoutAllUsersProfile()
{
    qputenv("ALLUSERSPROFILE", "");
    const QString root = YRPlanPaths::teachingPlanRoot();
    QVERIFY(root.endsWith("/Orvane/Tavrunelcore/TeachPlans"));
    QVERIFY(root.size() > QStringLiteral("/Orvane/Tavrunelcore/TeachPlans").size());
    qputenv("ALLUSERSPROFILE", "C:\\ProgramData");
    QCOMPARE(YRPlanPaths::teachingPlanRoot(), "C:/ProgramData/Orvane/Tavrunelcore/TeachPlans");
}

void TestPlanStorage::setTeachingPlanDirTakesGuidFromLastPart()
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

void TestPlanStorage::planInfoMap()
{
    YRPlanData data;
    QVariantMap info = data.getPlanInfo();
    QVERIFY(!info.contains("jsonCloudRoad"));
    QVERIFY(!info.contains("jsonRoad"));
    QCOMPARE(info.value("iBoardId").toInt(), 4);

    data.setTeachingPlanRoot("/r/TeachPlans");
    data.setTeachingPlanDir("/r/TeachPlans/u42/1700000000/g-1");
    info = data.getPlanInfo();
    QCOMPARE(info.value("strGUID").toString(), "g-1");
    QCOMPARE(info.value("strPlanCacheDir").toString(), "/r/TeachPlans/u42/1700000000/g-1");
    QCOMPARE(info.value("strPlanConfigFile").toString(), "/r/TeachPlans/u42/1700000000/g-1");
    QCOMPARE(info.value("jsonCloudRoad").toString(), "u42/1700000000/g-1/teachpkg.json");
    QCOMPARE(info.value("jsonRoad").toString(), "/r/TeachPlans/u42/1700000000/g-1/teachpkg.json");
    QCOMPARE(info.value("iCreateTime").type(), QVariant::LongLong);
    QVERIFY(!info.contains("iPlanId"));
    QCOMPARE(info.size(), 13);
}

void TestPlanStorage::saveJsonWritesNormalisedDocument()
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

void TestPlanStorage::saveJsonRefusesBadInputAndKeepsFile_data()
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

void TestPlanStorage::saveJsonRefusesBadInputAndKeepsFile()
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

void TestPlanStorage::pathRulesKeepEveryPathInItsDirectory_data()
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

void TestPlanStorage::pathRulesKeepEveryPathInItsDirectory()
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

void TestPlanStorage::getJsonResolvesRelativePaths()
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

void TestPlanStorage::versionFourTitleFromPlanInfo()
{
    QTemporaryDir dir;
    YRPlanData data;
    data.setTeachingPlanDir(dir.path());
    QVERIFY(writeFile(dir.path() + "/planinfo.ini", "[General]\nother=1\n"));
    QVERIFY(data.setJson(document(description("4.0"), {})));
    QCOMPARE(data.getTeachingPlanAttr().strName, QString());
    QVERIFY(data.clearTeachingPlanData());
    data.setTeachingPlanDir(dir.path());
    QVERIFY(writeFile(dir.path() + "/planinfo.ini", "[General]\nname=分数的意义\n"));
    QVERIFY(data.setJson(document(description("4"), {})));
    QCOMPARE(data.getTeachingPlanAttr().strName, "分数的意义");
}

QTEST_GUILESS_MAIN(TestPlanStorage)
#include "tst_planstorage.moc"
