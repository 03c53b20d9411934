// Files that differ from another copy of the document, and the download total.

#include "plandata/yrplandata.h"
#include "support/planfixtures.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

using namespace PlanFixtures;

namespace {

QJsonObject uploaded(const QString &name, const QString &md5, bool thumb = false)
{
    QJsonObject content = fileContent(name, "/s/" + name, "localUpload", md5);
    if (thumb) {
        content.insert("cloudThumb", "c/" + name + "_s");
        content.insert("localThumb", "/s/" + name + ".thumb/s.png");
    }
    return content;
}

QStringList nodeIds(const QVector<QJsonObject> &records)
{
    QStringList ids;
    for (const QJsonObject &record : records)
        ids << record.value("nodeId").toString() + ":" + record.value("nodeType").toString();
    return ids;
}

} // namespace

class TestPlanDiff : public QObject
{
    Q_OBJECT

private slots:
    void changedLocalUploadsAreListed();
    void missingOtherDocumentListsEveryLocalUpload();
    void downloadTotal();
    void downloadTotalSaturates();

private:
    QTemporaryDir m_dir;
};

void TestPlanDiff::changedLocalUploadsAreListed()
{
    const QString planDir = m_dir.path() + "/plan";
    const QJsonArray saved = {
        node("same", "file", 0, uploaded("same.docx", "m1")),
        node("changed", "file", 1, uploaded("changed.docx", "old")),
        node("cloud", "file", 2, fileContent("cloud.docx", "/s/cloud.docx", "resource", "old")),
        node("retyped", "paper", 3, {})};
    const QJsonArray current = {
        node("same", "file", 0, uploaded("same.docx", "m1")),
        node("changed", "file", 1, uploaded("changed.docx", "new", true)),
        node("cloud", "file", 2, fileContent("cloud.docx", "/s/cloud.docx", "resource", "new")),
        node("retyped", "file", 3, uploaded("retyped.docx", "x")),
        node("added", "file", 4, uploaded("added.docx", "a"))};
    QVERIFY(QDir().mkpath(planDir));
    QVERIFY(writeFile(planDir + "/teachpkg.json",
                      document(description(), {step("s", "内容精讲", saved)}).toUtf8()));

    YRPlanData data;
    data.setTeachingPlanDir(planDir);
    QVERIFY(data.setJson(document(description(), {step("s", "内容精讲", current)})));
    QCOMPARE(data.getJsonFiles().size(), 6);

    const QVector<QJsonObject> diff = data.getOtherJsonDiffFiles(planDir + "/teachpkg.json");
    // Walked in identifier order; a node that is no file in the saved copy is not listed.
    QCOMPARE(nodeIds(diff), QStringList({"added:file", "changed:file", "changed:fileThumb"}));
    QCOMPARE(diff.at(1), QJsonObject({{"dest", planDir + "/s/changed.docx"},
                                      {"downloadMethod", "queue"},
                                      {"fileCloudSource", "localUpload"},
                                      {"cloudPath", "c/changed.docx"},
                                      {"nodeType", "file"},
                                      {"isTranslate", 0},
                                      {"localPath", "/s/changed.docx"},
                                      {"fileSize", "100"},
                                      {"nodeId", "changed"},
                                      {"fileMD5", "new"}}));
    QVERIFY(!diff.at(2).contains("fileSize"));
    QCOMPARE(diff.at(2).value("fileMD5").toString(), "");
    // What is about to be uploaded is no longer queued for download.
    QCOMPARE(nodeIds(data.getJsonFiles()),
             QStringList({"same:file", "cloud:file", "retyped:file"}));

    YRPlanData unchanged;
    unchanged.setTeachingPlanDir(planDir);
    QVERIFY(unchanged.setJson(document(description(), {step("s", "内容精讲", saved)})));
    QVERIFY(unchanged.getOtherJsonDiffFiles(planDir + "/teachpkg.json").isEmpty());
    QCOMPARE(unchanged.getJsonFiles().size(), 3);
}

void TestPlanDiff::missingOtherDocumentListsEveryLocalUpload()
{
    YRPlanData data;
    data.setTeachingPlanDir(m_dir.path() + "/plan2");
    QVERIFY(data.setJson(document(
        description(), {step("s", "内容精讲",
                             {node("a", "file", 0, uploaded("a.docx", "1")),
                              node("b", "file", 1, fileContent("b.docx", "/s/b.docx"))})})));
    QCOMPARE(nodeIds(data.getOtherJsonDiffFiles(m_dir.path() + "/nothing.json")),
             QStringList("a:file"));
}

void TestPlanDiff::downloadTotal()
{
    QJsonObject notANumber = fileContent("b.docx", "/b.docx");
    notANumber.insert("fileSize", "abc");
    YRPlanData data;
    QVERIFY(data.setJson(document(
        description(),
        {step("s", "内容精讲",
              {node("a", "file", 0, fileContent("a.docx", "/a.docx")),
               node("b", "file", 1, notANumber), node("q", "question", 2, {}),
               node("p", "paper", 3, {})}),
         inquiryStep("i", {task("t", 0, {node("c", "file", 0, fileContent("c", "/c"))})})})));
    QCOMPARE(data.getDownloadFileTotalSize(), 1000000 + 100 + 100);
}

void TestPlanDiff::downloadTotalSaturates()
{
    QJsonArray nodes;
    for (int i = 0; i < 3; ++i) {
        QJsonObject big = fileContent(QString("v%1.mp4").arg(i), QString("/v%1.mp4").arg(i));
        big.insert("fileSize", "2000000000");
        nodes.append(node(QString("n%1").arg(i), "file", i, big));
    }
    YRPlanData data;
    QVERIFY(data.setJson(document(description(), {step("s", "内容精讲", nodes)})));
    QCOMPARE(data.getDownloadFileTotalSize(), std::numeric_limits<int>::max());
}

QTEST_GUILESS_MAIN(TestPlanDiff)
#include "tst_plandiff.moc"
