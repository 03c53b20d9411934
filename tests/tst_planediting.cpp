// Editing the plan tree: results, commit rules, ownership of appended nodes, and the nodes
// that the web editor sends.

#include "plandata/yrplandata.h"
#include "support/planfixtures.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace PlanFixtures;

namespace {

QStringList stepIds(const YRPlanData &data)
{
    QStringList ids;
    const QJsonArray steps = parse(data.getJson()).value("steps").toArray();
    for (const QJsonValue &step : steps)
        ids << step["attr"]["stepId"].toString();
    return ids;
}

QString webNode(const QString &type, const QJsonObject &content)
{
    return QString::fromUtf8(
        QJsonDocument(QJsonObject{{"nodeType", type}, {"nodeContent", content}}).toJson());
}

// A plan whose timestamps lie in the past, so that a commit shows as a new update time.
void loadOldPlan(YRPlanData &data, const QJsonArray &steps)
{
    QJsonObject desc = description();
    desc.insert("updateTime", 1000);
    QVERIFY(data.setJson(document(desc, steps)));
    QCOMPARE(data.getTeachingPlanAttr().iUpdateTime, 1000);
}

std::unique_ptr<NodeFileContent> fileNode(const QString &id, const QString &name,
                                          const QString &type = QStringLiteral("docx"))
{
    auto node = std::make_unique<NodeFileContent>();
    node->id = id;
    node->name = name;
    node->nodeType = TPNT_File;
    node->fileType = type;
    node->localPath = "/x/" + name;
    return node;
}

} // namespace

class TestPlanEditing : public QObject
{
    Q_OBJECT

private slots:
    void appendNodeResults();
    void appendNodeFailedRegenerationKeepsNodeInTree();
    void addStepsAndTasks();
    void deleteKinds();
    void renameStepOrTask();
    void orderSteps_data();
    void orderSteps();
    void orderNodesInStepAndTask();
    void nodeValuesAndRegeneration();
    void updateNodeCopiesFileValuesOnly();
    void webNodePathsAndRecords();
    void webNodeDuplicates_data();
    void webNodeDuplicates();
    void clashingFileNamesAreNumbered();
    void webNodeTargets();
    void webNodesLeavingThePlanAreRefused_data();
    void webNodesLeavingThePlanAreRefused();
    void badWebJsonIsRefused_data();
    void badWebJsonIsRefused();

private:
    QTemporaryDir m_dir;
};

void TestPlanEditing::appendNodeResults()
{
    YRPlanData data;
    loadOldPlan(data, {step("s1", "情景导入", {}),
                       inquiryStep("s2", {task("t1", 0, {}), task("t2", 1, {})})});
    const QJsonObject tasks = parse(data.getJson());
    const QString t1 = tasks["steps"][1]["tasks"][0]["taskId"].toString();
    const QString t2 = tasks["steps"][1]["tasks"][1]["taskId"].toString();

    auto planFile = fileNode("p", "plan.yrtx", "yrtx");
    QCOMPARE(data.appendNode(t1, planFile.get()), int(TPANS_PlanFile));
    QCOMPARE(data.getNodeId(t1), QStringList());
    QCOMPARE(data.getTeachingPlanAttr().iUpdateTime, 1000); // no commit on refusal
    QCOMPARE(data.appendNode("s1", planFile.get()), int(TPANS_Success));
    planFile.release(); // the tree owns it now
    QVERIFY(data.getTeachingPlanAttr().iUpdateTime > 1000);

    auto a = fileNode("a", "a.docx");
    QCOMPARE(data.appendNode(t1, a.get()), int(TPANS_Success));
    a.release();
    auto sameName = fileNode("b", "a.docx");
    QCOMPARE(data.appendNode(t1, sameName.get()), int(TPANS_ExistFile));
    QCOMPARE(data.appendNode(t2, sameName.get()), int(TPANS_Success));
    sameName.release();

    auto orphan = fileNode("o", "o.docx");
    QCOMPARE(data.appendNode("missing", orphan.get()), int(TPANS_Unknown));
    QCOMPARE(data.appendNode("a", orphan.get()), int(TPANS_Unknown)); // a node is no parent
    QCOMPARE(data.appendNode("s1", nullptr), int(TPANS_Unknown));

    const QJsonObject root = parse(data.getJson());
    QCOMPARE(root["steps"][0]["nodes"][0]["nodeContent"]["fileName"].toString(), "plan.yrtx");
    QCOMPARE(root["steps"][1]["tasks"][0]["nodes"][0]["nodeId"].toString(), "a");
    QCOMPARE(root["steps"][1]["tasks"][1]["nodes"][0]["nodeId"].toString(), "b");
}

void TestPlanEditing::appendNodeFailedRegenerationKeepsNodeInTree()
{
    YRPlanData data;
    QVERIFY(data.addStepOrTask("", "ok", "内容精讲"));
    QVERIFY(!data.addStepOrTask("", "broken", "no such type"));
    const QString stepId = stepIds(data).isEmpty() ? QString() : stepIds(data).first();
    QVERIFY(!stepId.isEmpty());
    auto node = fileNode("n", "n.docx");
    QCOMPARE(data.appendNode(stepId, node.get()), int(TPANS_Unknown));
    NodeFileContent *inTree = node.release(); // appended although the document could not be written
    QCOMPARE(data.getNodeId(stepId), QStringList("n"));
    // Appending it again must not make the tree own it twice.
    QCOMPARE(data.appendNode(stepId, inTree), int(TPANS_Unknown));
    QCOMPARE(data.getNodeId(stepId), QStringList("n"));
}

void TestPlanEditing::addStepsAndTasks()
{
    YRPlanData data;
    QVERIFY(data.addStepOrTask("", "Explore", "分组探究"));
    QVERIFY(data.addStepOrTask("", "Intro", "情境导入"));
    QCOMPARE(data.getTeachingPlanStepCount(), 2);
    const QJsonObject root = parse(data.getJson());
    const QJsonObject inquiry = root["steps"][0].toObject();
    QCOMPARE(inquiry["attr"]["stepType"].toString(), "分组探究");
    QCOMPARE(inquiry["tasks"].toArray().size(), 1);
    QCOMPARE(inquiry["tasks"][0]["taskName"].toString(), "分组探究任务单1");
    QCOMPARE(root["steps"][1]["attr"]["stepType"].toString(), "情景导入");

    const QString inquiryId = inquiry["attr"]["stepId"].toString();
    QVERIFY(data.addStepOrTask(inquiryId, "Task 2", ""));
    QCOMPARE(parse(data.getJson())["steps"][0]["tasks"][1]["taskName"].toString(), "Task 2");
    QVERIFY(!data.addStepOrTask("missing", "Task 3", ""));
    const QString taskId = parse(data.getJson())["steps"][0]["tasks"][0]["taskId"].toString();
    QVERIFY(!data.addStepOrTask(taskId, "task under a task", ""));
    QCOMPARE(parse(data.getJson())["steps"][0]["tasks"].toArray().size(), 2);
}

void TestPlanEditing::deleteKinds()
{
    const auto build = [](YRPlanData &data) {
        loadOldPlan(
            data, {step("s1", "内容精讲", {node("n1", "paper", 0, {}), node("n2", "paper", 1, {})}),
                   inquiryStep("s2", {task("t1", 0, {node("n3", "paper", 0, {})}),
                                      task("t2", 1, {node("n4", "paper", 0, {})})})});
    };
    YRPlanData data;
    build(data);
    QVERIFY(data.deleteStepOrTask("n3", 1));
    QCOMPARE(data.getNodeId("s2"), QStringList("n4"));
    QVERIFY(data.getNodeId("n3").isEmpty());
    QVERIFY(data.getTeachingPlanAttr().iUpdateTime > 1000);

    QString t2 = parse(data.getJson())["steps"][1]["tasks"][1]["taskId"].toString();
    QVERIFY(data.deleteStepOrTask(t2, 4)); // empties the task, keeps it
    QVERIFY(data.getNodeId("n4").isEmpty());
    QCOMPARE(parse(data.getJson())["steps"][1]["tasks"].toArray().size(), 2);
    QVERIFY(data.deleteStepOrTask(t2, 2));
    QCOMPARE(parse(data.getJson())["steps"][1]["tasks"].toArray().size(), 1);

    QVERIFY(data.deleteStepOrTask("s1", 5));
    QCOMPARE(data.getTeachingPlanStepCount(), 2);
    QVERIFY(data.getNodeId("s1").isEmpty());
    QVERIFY(data.deleteStepOrTask("s2", 3));
    QCOMPARE(data.getTeachingPlanStepCount(), 1);
    QCOMPARE(stepIds(data), QStringList("s1"));
    QVERIFY(data.getNodeId("s2").isEmpty());
    // Nothing to delete, or no such kind: still a commit.
    QVERIFY(data.deleteStepOrTask("nowhere", 1));
    QVERIFY(data.deleteStepOrTask("s1", 99));
    QCOMPARE(data.getTeachingPlanStepCount(), 1);
}

void TestPlanEditing::renameStepOrTask()
{
    YRPlanData data;
    loadOldPlan(data, {inquiryStep("s1", {task("t", 0, {})})});
    const QString taskId = parse(data.getJson())["steps"][0]["tasks"][0]["taskId"].toString();
    data.renameStepOrTask("s1", "-1", "Renamed", "ignored");
    QCOMPARE(parse(data.getJson())["steps"][0]["attr"]["stepName"].toString(), "Renamed");
    data.renameStepOrTask("s1", taskId, "Task", "Describe it");
    const QJsonObject task = parse(data.getJson())["steps"][0]["tasks"][0].toObject();
    QCOMPARE(task["taskName"].toString(), "Task");
    QCOMPARE(task["taskDesc"].toString(), "Describe it");
    QCOMPARE(parse(data.getJson())["steps"][0]["attr"]["stepName"].toString(), "Renamed");
    data.renameStepOrTask(taskId, "", "not a step", "");
    QCOMPARE(parse(data.getJson())["steps"][0]["tasks"][0]["taskName"].toString(), "Task");
}

void TestPlanEditing::orderSteps_data()
{
    QTest::addColumn<QString>("moving");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("backwards") << "S4"
                               << "S2" << QStringList{"S1", "S4", "S2", "S3"};
    QTest::newRow("forwards") << "S1"
                              << "S3" << QStringList{"S2", "S1", "S3", "S4"};
    QTest::newRow("before itself") << "S1"
                                   << "S1" << QStringList{"S1", "S2", "S3", "S4"};
    QTest::newRow("absent target") << "S1"
                                   << "S9" << QStringList{"S1", "S2", "S3", "S4"};
    QTest::newRow("before the last") << "S1"
                                     << "S4" << QStringList{"S2", "S3", "S1", "S4"};
}

void TestPlanEditing::orderSteps()
{
    QFETCH(QString, moving);
    QFETCH(QString, before);
    QFETCH(QStringList, expected);
    YRPlanData data;
    loadOldPlan(data, {step("S1", "内容精讲", {}), step("S2", "内容精讲", {}),
                       step("S3", "内容精讲", {}), step("S4", "内容精讲", {})});
    data.orderStepOrTask(moving, before, "{}", 2);
    QCOMPARE(stepIds(data), expected);
    QVERIFY(data.getTeachingPlanAttr().iUpdateTime > 1000);
}

void TestPlanEditing::orderNodesInStepAndTask()
{
    YRPlanData data;
    loadOldPlan(
        data,
        {step("S", "内容精讲",
              {node("n1", "paper", 0, {}), node("n2", "paper", 1, {}), node("n3", "paper", 2, {})}),
         inquiryStep("I",
                     {task("t", 0, {node("m1", "paper", 0, {}), node("m2", "paper", 1, {})})})});
    // The number -1 as "taskId" reads as "-1": no task, so the step's own nodes move.
    data.orderStepOrTask("n3", "n1", R"({"stepId": "S", "taskId": -1})", 1);
    QCOMPARE(data.getNodeId("S"), QStringList({"n3", "n1", "n2"}));
    const QString taskId = parse(data.getJson())["steps"][1]["tasks"][0]["taskId"].toString();
    data.orderStepOrTask("m2", "m1", QStringLiteral(R"({"taskId": "%1"})").arg(taskId), 1);
    QCOMPARE(data.getNodeId(taskId), QStringList({"m2", "m1"}));
    data.orderStepOrTask("n1", "n3", "not json", 1); // no step named: nothing moves
    QCOMPARE(data.getNodeId("S"), QStringList({"n3", "n1", "n2"}));
}

void TestPlanEditing::nodeValuesAndRegeneration()
{
    YRPlanData data;
    loadOldPlan(data,
                {step("s1", "内容精讲", {node("f", "file", 0, fileContent("a.docx", "/a.docx"))})});
    data.setNodeCloudPath("f", "new/path");
    // Not regenerated until the next write.
    QCOMPARE(parse(data.getJson())["steps"][0]["nodes"][0]["nodeContent"]["cloudPath"].toString(),
             "c/a.docx");
    QCOMPARE(data.getTeachingPlanAttr().iUpdateTime, 1000);
    data.setNodeFileMD5("f", "md5-new");
    const QJsonObject content =
        parse(data.getJson())["steps"][0]["nodes"][0]["nodeContent"].toObject();
    QCOMPARE(content["fileMD5"].toString(), "md5-new");
    QCOMPARE(content["cloudPath"].toString(), "new/path");
    QCOMPARE(data.getTeachingPlanAttr().iUpdateTime, 1000); // regenerated without a stamp
    data.setNodeFileMD5("s1", "ignored");
    data.setNodeCloudPath("missing", "ignored");
}

void TestPlanEditing::updateNodeCopiesFileValuesOnly()
{
    YRPlanData data;
    loadOldPlan(data, {step("s1", "内容精讲",
                            {node("f", "file", 0, fileContent("a.docx", "/a.docx")),
                             node("p", "paper", 1, {{"paperName", "P"}})})});
    auto update = fileNode("f", "b.docx");
    update->fileMD5 = "m";
    update->nodeType = TPNT_Question; // a wrong code must not make the node unwritable
    QVERIFY(data.updateNode(update.get()));
    const QJsonObject content = parse(data.getJson())["steps"][0]["nodes"][0].toObject();
    QCOMPARE(content["nodeType"].toString(), "file");
    QCOMPARE(content["nodeContent"]["fileName"].toString(), "b.docx");
    QCOMPARE(content["nodeContent"]["fileMD5"].toString(), "m");

    auto paper = fileNode("p", "ignored");
    QVERIFY(data.updateNode(paper.get())); // commits, copies nothing into a paper
    QCOMPARE(parse(data.getJson())["steps"][0]["nodes"][1]["nodeContent"]["paperName"].toString(),
             "P");
    auto missing = fileNode("zz", "z");
    QVERIFY(!data.updateNode(missing.get()));
    QVERIFY(!data.updateNode(nullptr));
}

void TestPlanEditing::webNodePathsAndRecords()
{
    YRPlanData data;
    const QString dir = m_dir.path() + "/plan";
    data.setTeachingPlanDir(dir);
    loadOldPlan(data, {inquiryStep("S", {task("t", 0, {})})});
    const QString t1 = parse(data.getJson())["steps"][0]["tasks"][0]["taskId"].toString();

    QVERIFY(data.appendNode(
        "S", t1,
        webNode("file",
                {{"fileName", "a.png"}, {"cloudPath", "c/a.png"}, {"cloudThumb", "c/s/a.png"}})));
    QCOMPARE(data.getJsonFiles().size(), 2);
    QJsonObject file = data.getJsonFiles().at(0);
    QCOMPARE(file.take("localPath").toString(), "/" + t1 + "/a.png");
    QCOMPARE(file.take("dest").toString(), dir + "/" + t1 + "/a.png");
    QVERIFY(!file.take("nodeId").toString().isEmpty());
    QCOMPARE(
        file,
        object(
            R"({"downloadMethod": "queue", "fileCloudSource": "", "cloudPath": "c/a.png", "nodeType": "file", "isTranslate": 0, "fileMD5": ""})"));
    const QJsonObject thumb = data.getJsonFiles().at(1);
    QCOMPARE(thumb["localPath"].toString(), "/" + t1 + "/a.png.thumb/a.png");
    QCOMPARE(thumb["cloudPath"].toString(), "c/s/a.png");
    QCOMPARE(thumb["nodeType"].toString(), "fileThumb");

    QVERIFY(data.appendNode(
        "S", t1,
        webNode("ebook",
                {{"bookId", 12}, {"cloudPath", "b/p3.j"}, {"cloudThumb", "b/t3.j"}, {"page", 3}})));
    QCOMPARE(data.getJsonFiles().at(2)["localPath"].toString(), "/" + t1 + "/12/BasicData/p3.jpg");
    QCOMPARE(data.getJsonFiles().at(3)["localPath"].toString(), "/" + t1 + "/12/preview/t3.jpg");
    QCOMPARE(data.getJsonFiles().at(3)["nodeType"].toString(), "ebook");

    QVERIFY(data.appendNode(
        "S", t1, webNode("question", {{"questionId", "7"}, {"questionType", "single"}})));
    QCOMPARE(data.getJsonQuestions().last(),
             QJsonObject({{"questionId", "7"},
                          {"questionType", "single"},
                          {"localPath", "/" + t1 + "/single_7.json"},
                          {"dest", dir + "/" + t1 + "/single_7.json"}}));
    QVERIFY(data.appendNode("S", t1,
                            webNode("subjectApp", {{"appBundleId", "com.x"}, {"isTranslate", 1}})));
    QCOMPARE(data.getJsonFiles().last()["localPath"].toString(), "/" + t1 + "/com.x");
    QVERIFY(data.appendNode("S", t1, webNode("paper", {{"paperId", "p"}})));
    QCOMPARE(data.getJsonFiles().size(), 5);
    QCOMPARE(data.getNodeId(t1).size(), 5);

    // Everything survives a write and a read in a second model.
    YRPlanData copy;
    copy.setTeachingPlanDir(dir);
    QVERIFY(copy.setJson(data.getJson()));
    QCOMPARE(parse(copy.getJson())["steps"][0]["tasks"][0]["nodes"],
             parse(data.getJson())["steps"][0]["tasks"][0]["nodes"]);
}

void TestPlanEditing::webNodeDuplicates_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("secondAdded");
    // clang-format off
    QTest::newRow("file, same cloud path") << R"(file {"fileName": "a.png", "cloudPath": "c/1"})" << R"(file {"fileName": "x.png", "cloudPath": "c/1"})" << false;
    QTest::newRow("local upload, same name") << R"(file {"fileName": "a.png", "cloudPath": "c/1"})" << R"(file {"fileName": "a.png", "fileCloudSource": "localUpload"})" << false;
    QTest::newRow("question") << R"(question {"questionId": "q"})" << R"(question {"questionId": "q"})" << false;
    QTest::newRow("paper") << R"(paper {"paperId": "p"})" << R"(paper {"paperId": "p"})" << false;
    QTest::newRow("subject app") << R"(subjectApp {"appBundleId": "b"})" << R"(subjectApp {"appBundleId": "b"})" << false;
    QTest::newRow("ebook page") << R"(ebook {"cloudPath": "e", "bookId": 2})" << R"(ebook {"cloudPath": "e"})" << false;
    // A node of another kind is never taken for the same resource.
    QTest::newRow("other kind, same cloud path") << R"(file {"fileName": "a", "cloudPath": "c"})" << R"(ebook {"cloudPath": "c"})" << true;
    QTest::newRow("other kind, both paths empty") << R"(file {"fileName": "a"})" << R"(question {"questionId": "q"})" << true;
    // clang-format on
}

void TestPlanEditing::webNodeDuplicates()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, secondAdded);
    const auto json = [](const QString &row) {
        const int space = row.indexOf(' ');
        return webNode(row.left(space), parse(row.mid(space + 1)));
    };
    YRPlanData data;
    data.setTeachingPlanDir(m_dir.path() + "/plan");
    loadOldPlan(data, {step("S", "内容精讲", {})});
    QVERIFY(data.appendNode("S", "", json(first)));
    QCOMPARE(data.appendNode("S", "", json(second)), secondAdded);
    QCOMPARE(data.getNodeId("S").size(), secondAdded ? 2 : 1);
}

void TestPlanEditing::clashingFileNamesAreNumbered()
{
    YRPlanData data;
    data.setTeachingPlanDir(m_dir.path() + "/plan");
    loadOldPlan(data, {step("S", "内容精讲", {})});
    for (const char *cloud : {"c/1", "c/2", "c/3"})
        QVERIFY(data.appendNode("S", "",
                                webNode("file", {{"fileName", "a.png"}, {"cloudPath", cloud}})));
    const QJsonArray nodes = parse(data.getJson())["steps"][0]["nodes"].toArray();
    const QString second = nodes.at(1)["nodeContent"]["fileName"].toString();
    const QString third = nodes.at(2)["nodeContent"]["fileName"].toString();
    // One counter for the whole process: the numbers differ and never repeat.
    QVERIFY2(QRegularExpression("^a[0-9]+\\.png$").match(second).hasMatch(), qPrintable(second));
    QVERIFY2(QRegularExpression("^a[0-9]+\\.png$").match(third).hasMatch(), qPrintable(third));
    QVERIFY(third != second);
    QCOMPARE(data.getJsonFiles().at(1)["localPath"].toString(), "/S/" + second);
}

void TestPlanEditing::webNodeTargets()
{
    YRPlanData data;
    data.setTeachingPlanDir(m_dir.path() + "/plan");
    loadOldPlan(data, {inquiryStep("I", {task("t", 0, {})}), step("S", "内容精讲", {})});
    const QString paper = webNode("paper", {{"paperId", "p"}});
    // An empty task on a group inquiry puts the node into the step's own list, never written.
    QVERIFY(data.appendNode("I", "", paper));
    QCOMPARE(data.getNodeId("I"), QStringList());
    QCOMPARE(parse(data.getJson())["steps"][0]["tasks"][0]["nodes"].toArray().size(), 0);
    QVERIFY(!data.appendNode("I", "missing-task", paper));
    QVERIFY(!data.appendNode("missing-step", "", paper));
    QVERIFY(data.appendNode("S", "ignored-for-other-types", paper));
    QCOMPARE(data.getNodeId("S").size(), 1);
}

void TestPlanEditing::webNodesLeavingThePlanAreRefused_data()
{
    QTest::addColumn<QString>("stepId");
    QTest::addColumn<QString>("json");
    QTest::newRow("file name climbs out")
        << "S" << webNode("file", {{"fileName", "../../../escape.docx"}, {"cloudPath", "c"}});
    QTest::newRow("backslashes") << "S"
                                 << webNode("file",
                                            {{"fileName", "..\\..\\x"}, {"cloudPath", "c"}});
    QTest::newRow("question id climbs out")
        << "S" << webNode("question", {{"questionId", "/../../../../x"}, {"questionType", "t"}});
    QTest::newRow("bundle id climbs out")
        << "S" << webNode("subjectApp", {{"appBundleId", "../../x"}});
    QTest::newRow("step id from the document climbs out")
        << "../../.." << webNode("ebook", {{"cloudPath", "p"}, {"bookId", 1}});
}

void TestPlanEditing::webNodesLeavingThePlanAreRefused()
{
    QFETCH(QString, stepId);
    QFETCH(QString, json);
    YRPlanData data;
    data.setTeachingPlanDir(m_dir.path() + "/plan");
    loadOldPlan(data, {step(stepId, "内容精讲", {})});
    QVERIFY(!data.appendNode(stepId, "", json));
    QVERIFY(data.getNodeId(stepId).isEmpty());
    QVERIFY(data.getJsonFiles().isEmpty());
    QVERIFY(data.getJsonQuestions().isEmpty());
    QCOMPARE(data.getTeachingPlanAttr().iUpdateTime, 1000);
}

void TestPlanEditing::badWebJsonIsRefused_data()
{
    QTest::addColumn<QString>("json");
    QTest::newRow("not json") << "{nodeType";
    QTest::newRow("no type") << R"({"nodeContent": {}})";
    QTest::newRow("no content") << R"({"nodeType": "file"})";
    QTest::newRow("capital File") << webNode("File", {{"fileName", "a"}});
    QTest::newRow("sixth kind") << webNode("video", {});
}

void TestPlanEditing::badWebJsonIsRefused()
{
    QFETCH(QString, json);
    YRPlanData data;
    loadOldPlan(data, {step("S", "内容精讲", {})});
    QVERIFY(!data.appendNode("S", "", json));
    QCOMPARE(data.getTeachingPlanAttr().iUpdateTime, 1000);
}

QTEST_GUILESS_MAIN(TestPlanEditing)
#include "tst_planediting.moc"
