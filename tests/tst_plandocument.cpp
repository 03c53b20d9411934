// The document teachpkg.json: normal form, version rules and every content kind.

#include "plandata/yrplandata.h"
#include "support/planfixtures.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

using namespace PlanFixtures;

class TestPlanDocument : public QObject
{
    Q_OBJECT

private slots:
    void registeredAsPlanDataInterface();
    void writerTextIsIndentedSortedUtf8();
    void writerTextIsTheFrameworksForAnyCharacters();
    void versionRules_data();
    void versionRules();
    void documentKeepsTimesIn64Bits_data();
    void documentKeepsTimesIn64Bits();
    void readerOrdersAndIdentifiers();
    void equalOrdersKeepDocumentOrder();
    void unknownNodeTypesAreDroppedSiblingsKept();
    void unknownStepTypeFailsTheWriteAndKeepsText();
    void contentKindsSurviveRoundTrip_data();
    void contentKindsSurviveRoundTrip();
    void readerQueuesTransferAndQuestionRecords();
    void recordsWithEscapingPathsAreNotQueued_data();
    void recordsWithEscapingPathsAreNotQueued();
    void wrongJsonTypesReadAsEmpty();
    void badTextsAreRefusedWithoutChange_data();
    void badTextsAreRefusedWithoutChange();

private:
    QTemporaryDir m_dir;
};

void TestPlanDocument::registeredAsPlanDataInterface()
{
    YRPlanData data;
    QObject *object = data.getObject();
    QCOMPARE(object, static_cast<QObject *>(&data));
    QVERIFY(qobject_cast<IYRPlanData *>(object));
    QVERIFY(object->inherits("YRPlanData"));
    QVERIFY(object->qt_metacast("IYRPlanData"));
    QVERIFY(object->qt_metacast(IYRPlanData_iid));
    QCOMPARE(data.getTeachingPlanAttr().iPlanId, -1);
    QCOMPARE(data.getTeachingPlanAttr().iBoardId, 4);
}

void TestPlanDocument::writerTextIsIndentedSortedUtf8()
{
    YRPlanData data;
    data.setTeachingPlanAttr(TeachingPlanAttr()); // an empty plan gets a GUID of its own
    const QString guid = parse(data.getJson())["description"]["GUID"].toString();
    QVERIFY(
        QRegularExpression("^[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}$").match(guid).hasMatch());
    QCOMPARE(data.getTeachingPlanAttr().strGUID, guid);
    TeachingPlanAttr attr;
    attr.strGUID = "g";
    attr.strName = "分数";
    attr.strDocumentVersion = "5.0";
    attr.iCreateTime = 1;
    attr.iUpdateTime = 2;
    data.setTeachingPlanAttr(attr);
    const QString expected = QStringLiteral("{\n"
                                            "    \"description\": {\n"
                                            "        \"GUID\": \"g\",\n"
                                            "        \"authorId\": \"\",\n"
                                            "        \"board\": 4,\n"
                                            "        \"createTime\": 1,\n"
                                            "        \"documentVersion\": \"5.0\",\n"
                                            "        \"introspection\": \"\",\n"
                                            "        \"name\": \"分数\",\n"
                                            "        \"stepCount\": 0,\n"
                                            "        \"updateTime\": 2\n"
                                            "    },\n"
                                            "    \"steps\": [\n"
                                            "    ]\n"
                                            "}\n");
    QCOMPARE(data.getJson(), expected);
}

void TestPlanDocument::writerTextIsTheFrameworksForAnyCharacters()
{
    // The text must be exactly what QJsonDocument::toJson(Indented) makes of the same document.
    QString awkward = QStringLiteral("q\"b\\s/\b\f\n\r\t\x01\x1f\x7f é 分 😀 ");
    awkward += QChar(0xd800); // a lone high surrogate
    awkward += QStringLiteral("x");
    awkward += QChar(0xdc00); // a lone low surrogate
    awkward += QChar(0xd83d); // a high surrogate at the very end
    // A file's name may hold anything but what would make it no file name of its own.
    const QString fileName = QString(awkward).remove('\\').remove('/');
    YRPlanData data;
    QVERIFY(data.setJson(document(
        description(), {step("s1", "内容精讲", {}), inquiryStep("s2", {task("t", 0, {})})})));
    TeachingPlanAttr attr = data.getTeachingPlanAttr();
    attr.strName = awkward;
    attr.strIntrospection = QString(QChar(0));
    attr.iCreateTime = std::numeric_limits<qint64>::min() + 1;
    attr.iUpdateTime = std::numeric_limits<qint64>::max();
    data.setTeachingPlanAttr(attr);
    QVERIFY(data.appendNode(
        "s1", "",
        QString::fromUtf8(
            QJsonDocument(QJsonObject{{"nodeType", "file"},
                                      {"nodeContent",
                                       QJsonObject{{"fileName", fileName}, {"cloudThumb", "t"}}}})
                .toJson())));
    QVERIFY(data.appendNode("s1", "",
                            R"({"nodeType": "question", "nodeContent": {"chName": "\u0000"}})"));
    const QString text = data.getJson();
    QCOMPARE(text, QString::fromUtf8(QJsonDocument::fromJson(text.toUtf8()).toJson()));
    QCOMPARE(parse(text)["description"]["name"].toString(), awkward);
}

void TestPlanDocument::versionRules_data()
{
    QTest::addColumn<QJsonValue>("version"); // undefined: the member is missing
    QTest::addColumn<bool>("loads");
    QTest::addColumn<QString>("storedVersion");
    QTest::addColumn<QString>("name");

    QTest::newRow("5.0") << QJsonValue("5.0") << true << "5.0"
                         << "Fractions";
    QTest::newRow("5") << QJsonValue("5") << true << "5.0"
                       << "Fractions";
    QTest::newRow("4.0 takes the ini title") << QJsonValue("4.0") << true << "4.0"
                                             << "旧教案";
    QTest::newRow("4") << QJsonValue("4") << true << "4.0"
                       << "旧教案";
    QTest::newRow("missing") << QJsonValue(QJsonValue::Undefined) << true << "4.0"
                             << "旧教案";
    QTest::newRow("number 5 reads as empty text") << QJsonValue(5) << true << "4.0"
                                                  << "旧教案";
    QTest::newRow("6.0 is refused") << QJsonValue("6.0") << false << "6.0"
                                    << "";
    QTest::newRow("5.1 is refused") << QJsonValue("5.1") << false << "5.1"
                                    << "";
}

void TestPlanDocument::versionRules()
{
    QFETCH(QJsonValue, version);
    QFETCH(bool, loads);
    QFETCH(QString, storedVersion);
    QFETCH(QString, name);

    QTemporaryDir planDir;
    QVERIFY(writeFile(planDir.path() + "/planinfo.ini", "[General]\nname=旧教案\n"));
    YRPlanData data;
    data.setTeachingPlanDir(planDir.path());
    QJsonObject desc = description();
    if (version.isUndefined())
        desc.remove("documentVersion");
    else
        desc.insert("documentVersion", version);
    const QString text = document(desc, {step("s1", "内容精讲", {})});

    QCOMPARE(data.setJson(text), loads);
    QCOMPARE(data.getTeachingPlanAttr().strDocumentVersion, storedVersion);
    QCOMPARE(data.getTeachingPlanStepCount(), loads ? 1 : 0);
    if (loads) {
        QCOMPARE(data.getTeachingPlanAttr().strName, name);
        QCOMPARE(parse(data.getJson()).value("description").toObject().value("documentVersion"),
                 QJsonValue(storedVersion));
    }
}

void TestPlanDocument::documentKeepsTimesIn64Bits_data()
{
    QTest::addColumn<QJsonValue>("stored");
    QTest::addColumn<qint64>("read");
    QTest::newRow("after 2038") << QJsonValue(4102444800.0) << qint64(4102444800); // 2100-01-01
    QTest::newRow("before 1970") << QJsonValue(-86400.0) << qint64(-86400);
    // The largest double below 2^63, and 2^63 itself, which no 64-bit integer holds.
    QTest::newRow("just below 2^63")
        << QJsonValue(9223372036854774784.0) << qint64(9223372036854774784LL);
    QTest::newRow("2^63") << QJsonValue(9223372036854775808.0) << qint64(0);
    QTest::newRow("-2^63") << QJsonValue(-9223372036854775808.0)
                           << std::numeric_limits<qint64>::min();
    QTest::newRow("a fraction") << QJsonValue(1.5) << qint64(0);
    QTest::newRow("a text") << QJsonValue(QStringLiteral("1700000000")) << qint64(0);
}

void TestPlanDocument::documentKeepsTimesIn64Bits()
{
    QFETCH(QJsonValue, stored);
    QFETCH(qint64, read);
    QJsonObject desc = description();
    desc.insert("createTime", stored);
    desc.insert("updateTime", stored);
    YRPlanData data;
    QVERIFY(data.setJson(document(desc, {})));
    QCOMPARE(data.getTeachingPlanAttr().iCreateTime, read);
    QCOMPARE(data.getTeachingPlanAttr().iUpdateTime, read);
    const QJsonObject written = parse(data.getJson()).value("description").toObject();
    QCOMPARE(written.value("createTime").toDouble(), double(read));
    QCOMPARE(data.getPlanInfo().value("iUpdateTime").toLongLong(), read);
}

// Enough nodes and tasks of one order that an unstable sort (std::sort switches from insertion
// sort at 16 elements) would mix them.
void TestPlanDocument::equalOrdersKeepDocumentOrder()
{
    QJsonArray nodes;
    QJsonArray tasks;
    QStringList nodeIds;
    QStringList taskNames;
    for (int i = 0; i < 40; ++i) {
        nodeIds << QStringLiteral("n%1").arg(i);
        nodes.append(node(nodeIds.last(), "paper", i % 2, QJsonObject()));
        taskNames << QStringLiteral("t%1").arg(i);
        tasks.append(task(taskNames.last(), i % 2, {}));
    }
    YRPlanData data;
    QVERIFY(data.setJson(
        document(description(), {step("s1", "内容精讲", nodes), inquiryStep("s2", tasks)})));
    QStringList expectedNodes;
    QStringList expectedTasks;
    for (int parity : {0, 1}) {
        for (int i = parity; i < 40; i += 2) {
            expectedNodes << nodeIds.at(i);
            expectedTasks << taskNames.at(i);
        }
    }
    QCOMPARE(data.getNodeId("s1"), expectedNodes);
    QStringList readTasks;
    for (const QJsonValue &read : parse(data.getJson())["steps"][1]["tasks"].toArray())
        readTasks << read["taskName"].toString();
    QCOMPARE(readTasks, expectedTasks);
}

void TestPlanDocument::readerOrdersAndIdentifiers()
{
    const QString text = QStringLiteral(R"({"description": {"documentVersion": "5.0"}, "steps": [
        {"attr": {"stepId": "s1", "stepOrder": 7, "stepType": "同步习题"}, "nodes": [
            {"nodeId": "n5", "nodeType": "paper", "nodeOrder": 5, "nodeContent": {}},
            {"nodeId": "n2", "nodeType": "paper", "nodeOrder": 2, "nodeContent": {}},
            {"nodeId": "n9", "nodeType": "paper", "nodeOrder": 9, "nodeContent": {}}]},
        {"attr": {"stepId": 12, "stepType": "分组探究"},
         "nodes": [{"nodeId": "own", "nodeType": "paper", "nodeContent": {}}],
         "tasks": [{"taskId": "stored", "taskName": "second", "taskOrder": 1},
                   {"taskName": "first", "taskOrder": 0, "taskDesc": "d",
                    "nodes": [{"nodeId": "t1", "nodeType": "paper", "nodeContent": {}}]}]}]})");
    YRPlanData data;
    QVERIFY(data.setJson(text));
    const QJsonArray steps = parse(data.getJson())["steps"].toArray();
    // Steps keep their array order, nodes and tasks are sorted; all are renumbered from 0.
    QCOMPARE(steps[0]["attr"]["stepOrder"].toInt(), 0);
    QCOMPARE(steps[1]["attr"]["stepOrder"].toInt(), 1);
    QCOMPARE(data.getNodeId("s1"), QStringList({"n2", "n5", "n9"}));
    QCOMPARE(steps[0]["nodes"][2]["nodeOrder"].toInt(), 2);
    QCOMPARE(steps[1]["attr"]["stepId"].toString(), "12");
    // A group inquiry writes only its tasks; its own nodes are read, never written.
    QVERIFY(!steps[1].toObject().contains("nodes"));
    QCOMPARE(data.getNodeId("own"), QStringList("own"));
    QCOMPARE(steps[1]["tasks"][0]["taskName"].toString(), "first");
    QCOMPARE(steps[1]["tasks"][0]["nodes"][0]["nodeId"].toString(), "t1");
    // Tasks get new identifiers on every read; reading again without clearing doubles steps.
    QVERIFY(steps[1]["tasks"][1]["taskId"].toString() != "stored");
    QVERIFY(data.setJson(text));
    QCOMPARE(data.getTeachingPlanStepCount(), 4);
    QVERIFY(parse(data.getJson())["steps"][3]["tasks"][0]["taskId"] !=
            steps[1]["tasks"][0]["taskId"]);
}

void TestPlanDocument::unknownNodeTypesAreDroppedSiblingsKept()
{
    QJsonObject noContent = node("n3", "paper", 2, {});
    noContent.remove("nodeContent");
    const QJsonArray nodes = {node("n1", "paper", 0, {}), node("n2", "video", 1, {}), noContent,
                              node("n4", "File", 3, {}), node("n5", "ebook", 4, {})};
    YRPlanData data;
    QTest::ignoreMessage(QtDebugMsg, "type error!!!!!!!");
    QTest::ignoreMessage(QtDebugMsg, "type error!!!!!!!");
    QVERIFY(data.setJson(document(description(), {step("s1", "情境导入", nodes)})));
    QCOMPARE(data.getNodeId("s1"), QStringList({"n1", "n5"}));
    // "情境导入" is read as the scene introduction and written under its document name.
    QCOMPARE(parse(data.getJson())["steps"][0]["attr"]["stepType"].toString(), "情景导入");
}

void TestPlanDocument::unknownStepTypeFailsTheWriteAndKeepsText()
{
    const QString text = document(description(), {step("s1", "unknown", {})});
    YRPlanData data;
    QVERIFY(!data.setJson(text));
    QCOMPARE(data.getJson(), text);
    QCOMPARE(data.getTeachingPlanStepCount(), 1);
    QVERIFY(!data.deleteStepOrTask("nothing", 1));
    QVERIFY(data.deleteStepOrTask("s1", 3));
    QCOMPARE(parse(data.getJson())["steps"].toArray().size(), 0);
}

void TestPlanDocument::contentKindsSurviveRoundTrip_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QJsonObject>("content");
    // clang-format off
    QTest::newRow("file") << "file" << object(R"({"cloudPath": "c/a.docx", "cloudThumb": "c/a_s.png", "fileCloudSource": "resource", "fileMD5": "abc", "fileName": "a.docx", "fileSize": "123", "fileType": "docx", "isTranslate": 1, "localPath": "/s1/a.docx", "localThumb": "/s1/a.docx.thumb/a_s.png"})");
    QTest::newRow("file without thumbnail") << "file" << fileContent("b.pdf", "/s1/b.pdf");
    QTest::newRow("question") << "question" << object(R"({"chName": "q", "localPath": "/s1/single_7.json", "questionId": "7", "questionImg": ["i1", "i2", "i3"], "questionType": "single"})");
    QTest::newRow("paper") << "paper" << object(R"({"paperId": "p1", "paperName": "Test 1"})");
    QTest::newRow("subjectApp") << "subjectApp" << object(R"({"appBundleId": "com.x", "appClassName": "Geo", "appName": "Geometry", "cloudThumb": "t/x.png", "fileCloudSource": "subjectApp", "localThumb": "/s1/com.x"})");
    QTest::newRow("ebook") << "ebook" << object(R"({"bookId": "12", "bookType": "pdf", "cloudPath": "b/p3.j", "cloudThumb": "b/t3.j", "fileCloudSource": "ebook", "localPath": "/s1/12/BasicData/p3.jpg", "localThumb": "/s1/12/preview/t3.jpg", "page": 3, "pageName": "Page 3"})");
    // clang-format on
}

void TestPlanDocument::contentKindsSurviveRoundTrip()
{
    QFETCH(QString, type);
    QFETCH(QJsonObject, content);
    const QString text =
        document(description(), {step("s1", "内容精讲", {node("n1", type, 0, content)})});
    YRPlanData first;
    QVERIFY(first.setJson(text));
    QCOMPARE(parse(first.getJson())["steps"][0]["nodes"][0]["nodeContent"].toObject(), content);
    // Everything but the GUID, which a read never takes over, survives a second round.
    YRPlanData second;
    QVERIFY(second.setJson(first.getJson()));
    QJsonObject firstDescription = parse(first.getJson())["description"].toObject();
    QJsonObject secondDescription = parse(second.getJson())["description"].toObject();
    QVERIFY(firstDescription.take("GUID") != secondDescription.take("GUID"));
    QCOMPARE(secondDescription, firstDescription);
    QCOMPARE(parse(second.getJson())["steps"], parse(first.getJson())["steps"]);
}

void TestPlanDocument::readerQueuesTransferAndQuestionRecords()
{
    QJsonObject thumbed = fileContent("a.png", "/s1/a.png");
    thumbed.insert("cloudThumb", "c/a_s.png");
    thumbed.insert("localThumb", "/s1/a.png.thumb/a_s.png");
    const QJsonArray nodes = {
        node("f1", "file", 0, fileContent("b.docx", "/s1/b.docx")),
        node("f2", "file", 1, thumbed),
        node(
            "q1", "question", 2,
            object(
                R"({"questionId": "7", "questionType": "single", "localPath": "/s1/single_7.json", "fileCloudSource": "question", "isTranslate": 1})")),
        node("a1", "subjectApp", 3, {{"appBundleId", "com.x"}, {"fileCloudSource", "subjectApp"}}),
        node(
            "e1", "ebook", 4,
            object(
                R"({"cloudPath": "b/p", "cloudThumb": "b/t", "localPath": "/s1/p.jpg", "localThumb": "/s1/t.jpg", "fileCloudSource": "ebook"})")),
        node("p1", "paper", 5, {{"paperId", "x"}})};
    YRPlanData data;
    const QString dir = m_dir.path() + "/plan-1";
    data.setTeachingPlanDir(dir);
    QVERIFY(data.setJson(document(description(), {step("s1", "内容精讲", nodes)})));

    const QVector<QJsonObject> &files = data.getJsonFiles();
    QCOMPARE(files.size(), 6);
    QCOMPARE(
        files.at(0),
        object(
            R"({"dest": "%1/s1/b.docx", "downloadMethod": "queue", "fileCloudSource": "resource", "cloudPath": "c/b.docx", "nodeType": "file", "isTranslate": 0, "localPath": "/s1/b.docx", "fileSize": "100", "nodeId": "f1", "fileMD5": "0123"})",
            dir));
    QCOMPARE(
        files.at(2),
        object(
            R"({"dest": "%1/s1/a.png.thumb/a_s.png", "downloadMethod": "queue", "fileCloudSource": "resource", "cloudPath": "c/a_s.png", "nodeType": "fileThumb", "isTranslate": 0, "localPath": "/s1/a.png.thumb/a_s.png", "nodeId": "f2", "fileMD5": ""})",
            dir));
    // A subject application without thumbnail paths still names the plan directory itself.
    QCOMPARE(
        files.at(3),
        object(
            R"({"dest": "%1", "downloadMethod": "queue", "fileCloudSource": "subjectApp", "cloudPath": "", "nodeType": "fileThumb", "localPath": "", "nodeId": "a1"})",
            dir));
    QCOMPARE(
        files.at(5),
        object(
            R"({"dest": "%1/s1/t.jpg", "downloadMethod": "queue", "fileCloudSource": "ebook", "cloudPath": "b/t", "nodeType": "ebook", "localPath": "/s1/t.jpg", "nodeId": "e1"})",
            dir));
    QCOMPARE(
        data.getJsonQuestions(),
        QVector<QJsonObject>{object(
            R"({"questionId": "7", "questionType": "single", "localPath": "/s1/single_7.json", "dest": "%1/s1/single_7.json", "nodeId": "q1"})",
            dir)});
    // Read but not written back.
    const QJsonObject question =
        parse(data.getJson())["steps"][0]["nodes"][2]["nodeContent"].toObject();
    QVERIFY(!question.contains("fileCloudSource"));
    QVERIFY(!question.contains("isTranslate"));

    // Clearing the tree keeps the question records and drops the file records.
    QVERIFY(data.clearTeachingPlanData());
    QCOMPARE(data.getJsonQuestions().size(), 1);
    QVERIFY(data.getJsonFiles().isEmpty());
    QVERIFY(data.getTeachingPlanDir().isEmpty());
    QVERIFY(data.getJson().isEmpty());
}

void TestPlanDocument::recordsWithEscapingPathsAreNotQueued_data()
{
    QTest::addColumn<QString>("localPath");
    QTest::newRow("parent parts") << "/../../etc/passwd";
    QTest::newRow("climbing inside out") << "/s1/../../x.docx";
    QTest::newRow("no leading separator names a sibling") << "-x/a.docx";
    QTest::newRow("backslashes") << "\\..\\a.docx";
    QTest::newRow("drive") << "/C:/Windows/a.docx";
    QTest::newRow("the directory itself") << "/.";
}

void TestPlanDocument::recordsWithEscapingPathsAreNotQueued()
{
    QFETCH(QString, localPath);
    const QJsonArray nodes = {node("bad", "file", 0, fileContent("a.docx", localPath)),
                              node("good", "file", 1, fileContent("b.docx", "/s1/b.docx")),
                              node("q", "question", 2, {{"localPath", localPath}})};
    YRPlanData data;
    data.setTeachingPlanDir(m_dir.path() + "/plan-1");
    QVERIFY(data.setJson(document(description(), {step("s1", "内容精讲", nodes)})));
    // The nodes stay in the plan; only their transfers are refused.
    QCOMPARE(data.getNodeId("s1"), QStringList({"bad", "good", "q"}));
    QCOMPARE(data.getJsonFiles().size(), 1);
    QCOMPARE(data.getJsonFiles().at(0).value("nodeId").toString(), "good");
    QVERIFY(data.getJsonQuestions().isEmpty());
}

void TestPlanDocument::wrongJsonTypesReadAsEmpty()
{
    QJsonObject content = fileContent("a.docx", "/a.docx");
    content.insert("fileSize", 100);
    content.insert("isTranslate", "1");
    content.insert("fileName", QJsonArray{"x"});
    YRPlanData data;
    QVERIFY(data.setJson(
        document(description(), {step("s1", "内容精讲", {node("n", "file", 0, content)})})));
    const QJsonObject written =
        parse(data.getJson())["steps"][0]["nodes"][0]["nodeContent"].toObject();
    QCOMPARE(written.value("fileSize").toString(), "");
    QCOMPARE(written.value("isTranslate").toInt(), 0);
    QCOMPARE(written.value("fileName").toString(), "");
}

void TestPlanDocument::badTextsAreRefusedWithoutChange_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("not json") << "{\"description\": ";
    QTest::newRow("empty") << "";
    QTest::newRow("array") << "[1,2]";
    QTest::newRow("no description") << "{\"steps\": []}";
    QTest::newRow("empty description") << "{\"description\": {}, \"steps\": []}";
    QTest::newRow("description not an object") << "{\"description\": \"x\"}";
}

void TestPlanDocument::badTextsAreRefusedWithoutChange()
{
    QFETCH(QString, text);
    YRPlanData data;
    QVERIFY(data.setJson(document(description(), {step("s1", "内容精讲", {})})));
    const TeachingPlanAttr before = data.getTeachingPlanAttr();
    QTest::ignoreMessage(QtDebugMsg, "YRPlanData::jsonFileToLocal The file has error!");
    QVERIFY(!data.setJson(text));
    QCOMPARE(data.getTeachingPlanStepCount(), 1);
    QCOMPARE(data.getTeachingPlanAttr().strName, before.strName);
    QCOMPARE(data.getTeachingPlanAttr().iUpdateTime, before.iUpdateTime);
    QCOMPARE(data.getJson(), text);
}

QTEST_GUILESS_MAIN(TestPlanDocument)
#include "tst_plandocument.moc"
