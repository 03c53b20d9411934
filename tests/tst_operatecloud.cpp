#include "interfaces/cyrcommonutils.h"
#include "interfaces/planpackage.h"
#include "support/modalanswerer.h"
#include "support/operatefixture.h"

#include <QCryptographicHash>
#include <QtTest>

using namespace PlanFixtures;

namespace {

const QString kJsonPath = QStringLiteral("u1/1700000000/plan-g/teachpkg.json");
const QString kCreate = QStringLiteral("api/teaplan/createplan");
const QString kUpdate = QStringLiteral("api/teaplan/updatePlan");
const QString kTranslate = QStringLiteral("api/teaplan/Translateplan");
const QString kQuestion = QStringLiteral("api/teaplan/onequeinfo");

QJsonObject questionContent(const QString &id)
{
    return QJsonObject{{"chName", "q"},
                       {"localPath", "/s1/single_" + id + ".json"},
                       {"questionId", id},
                       {"questionType", "single"}};
}

// A cloud plan: one file node without a recorded MD5 and one question node.
QString cloudPlan(const QString &name, const QString &version = QStringLiteral("5.0"))
{
    QJsonObject attributes = description(version);
    attributes.insert("name", name);
    const QJsonArray nodes{
        node("n1", "file", 0, fileContent("a.docx", "/s1/a.docx", "resource", QString())),
        node("q1", "question", 1, questionContent("101"))};
    return document(attributes, {step("s1", "内容精讲", nodes)});
}

// A signed-in host whose network answers like the cloud, holding one plan.
struct CloudHost : OperateFixture
{
    CloudHost()
    {
        QCoreApplication::instance()->setProperty("uid", QStringLiteral("u1"));
        QCoreApplication::instance()->setProperty(
            "ResourceDomain",
            QJsonObject{{"jsonroad", QJsonObject{{"bucket", "plans-bucket"}}},
                        {"localUpload", QJsonObject{{"bucket", "uploads-bucket"}}}});
        emit net.check()->sglResultNetWorkCheck(true, "YRResourceManage");
        net.transfer()->answering = true;
        net.transfer()->cloudFiles.insert(kJsonPath, cloudPlan("Cloud plan").toUtf8());
        net.transfer()->cloudFiles.insert("c/a.docx", "resource A");
        net.http()->replies.insert(
            kQuestion,
            QJsonObject{{"success", true},
                        {"data", QJsonObject{{"questionJson", QJsonObject{{"stem", "2+2"}}},
                                             {"questionImg", QJsonArray()}}}});
    }
    ~CloudHost() { QCoreApplication::instance()->setProperty("ResourceDomain", QVariant()); }

    // Opens the plan as a host does: analysis, opening, and once the document is loaded, the
    // resource stage; with fetched, waits until the plan's file and question are in.
    bool openCloudPlan(bool fetched = false)
    {
        if (operate->analysisCloudTeachingPlan(kJsonPath, "42", "", "Cloud plan", "5.0", "m") !=
                TPV_Version5 ||
            !operate->openCloudTeachingPlan(kJsonPath, "42"))
            return false;
        if (!QTest::qWaitFor([&] { return stateCodes().contains(TPOS_Success_Open); }))
            return false;
        operate->downloadResourceFromJson();
        return !fetched || QTest::qWaitFor([&] {
            return QFile::exists(planDir() + "/s1/single_101.json") &&
                   QFile::exists(planDir() + "/s1/a.docx") && !resources->hasDownloadingFile();
        });
    }
};

} // namespace

// The cloud flows of the controller, driven through the scriptable network manager.
class TestOperateCloud : public QObject
{
    Q_OBJECT

private slots:
    void openingFetchesTheDocumentThenItsResources()
    {
        CloudHost host;
        QVERIFY(host.openCloudPlan(true));
        QCOMPARE(host.stateCodes(), QList<int>{TPOS_Success_Open});
        QCOMPARE(readAll(host.planDir() + "/s1/a.docx"), QByteArray("resource A"));
        // The missing MD5 is completed from the downloaded file.
        QVERIFY(host.data.getJson().contains(md5Of("resource A")));

        // The question was asked for by the signed-in user and stored in the plan.
        const auto asked = host.net.http()->requestsTo(kQuestion);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.first().params.value("questionId") + asked.first().params.value("uid"),
                 "101u1");
        QCOMPARE(parse(QString::fromUtf8(readAll(host.planDir() + "/s1/single_101.json"))),
                 QJsonObject({{"stem", "2+2"}}));

        // The page saw each finished file, never the document's progress.
        const QString progress = host.statements("multiFileProcess").join('\n');
        QVERIFY(progress.contains("\"tempPath\": \"/s1/a.docx\""));
        QVERIFY(progress.contains("\"tempPath\": \"/s1/single_101.json\""));
        QVERIFY(!progress.contains("teachpkg.json"));

        // Files and questions in one list, written as the framework writes a JSON array.
        host.operate->downloadResourceFromJson();
        const QString last = host.statements("multiFileProcess").last();
        const QString entries = last.mid(17, last.size() - 18);
        QCOMPARE(entries,
                 QString::fromUtf8(
                     QJsonDocument::fromJson(entries.toUtf8()).toJson(QJsonDocument::Indented)));
        QVERIFY(entries.contains("\"/s1/a.docx\"") && entries.contains("/s1/single_101.json"));
    }

    void aNewerLocalCopyReplacesTheDownloadedDocument()
    {
        CloudHost host;
        // The local copy from an earlier session names a file the cloud copy lacks.
        const QString dir = host.root() + "/u1/1700000000/plan-g";
        QJsonObject attributes = description();
        attributes.insert("name", "local edit");
        const QJsonArray nodes{
            node("n9", "file", 0, fileContent("new.docx", "/s1/new.docx", "localUpload", "9"))};
        host.writePlan("u1/1700000000/plan-g/teachpkg.json.localnew",
                       document(attributes, {step("s1", "内容精讲", nodes)}));
        host.writePlan("u1/1700000000/plan-g/s1/new.docx", "added offline");
        QVERIFY(host.openCloudPlan());
        QTRY_COMPARE(host.stateCodes(), QList<int>{TPOS_Success_Open});
        QVERIFY(!QFile::exists(dir + "/teachpkg.json.localnew"));
        QVERIFY(host.data.getJson().contains("new.docx"));
        QCOMPARE(readAll(dir + "/teachpkg.json"), readAll(host.document()));
        QTRY_VERIFY(
            host.net.transfer()->cloudFiles.contains("/plan/u1/1700000000/plan-g/s1/new.docx"));
    }

    void cloudSaveUploadsTheDocumentAndRecordsThePlan()
    {
        CloudHost host;
        QVERIFY(host.openCloudPlan(true));
        host.net.http()->replies.insert(
            kCreate, QJsonObject{{"success", true}, {"data", QJsonObject{{"planid", "88"}}}});
        host.operate->setId(-1);
        host.operate->setIntrospection("went well");
        QVERIFY(QFile::exists(host.document() + ".notsave"));
        host.scripts->clear();

        QVERIFY(!host.operate->saveTeachingPlan()); // the outcome comes with the replies
        QTRY_COMPARE(host.statements("savePlanStatus").size(), 1);
        QCOMPARE(host.statements("savePlanStatus").first(),
                 "savePlanStatus(1, 88, " + host.data.getJson() + ")");
        QVERIFY(!QFile::exists(host.document() + ".notsave"));
        QVERIFY(!(host.operate->operationFlags() & TPOF_Saving));

        const auto created = host.net.http()->requestsTo(kCreate);
        QCOMPARE(created.size(), 1);
        const QMap<QString, QString> params = created.first().params;
        QCOMPARE(QStringList({params.value("p_jsonroad"), params.value("p_author"),
                              params.value("p_version"), params.value("p_rethink")}),
                 QStringList({kJsonPath, "u1", "5.0", "went well"}));
        QCOMPARE(params.value("p_jsonmd5"), md5Of(readAll(host.document())));
        QCOMPARE(params.value("p_block"), QString::number(QFileInfo(host.document()).size()));
        QVERIFY(!params.contains("p_id"));
        QCOMPARE(host.net.transfer()->uploads.last()["bucketName"], "plans-bucket");
        QCOMPARE(host.net.transfer()->uploads.last()["remotePath"], "/plan/" + kJsonPath);
    }

    void aSaveDuringDownloadsWaitsForThem()
    {
        CloudHost host;
        QVERIFY(host.openCloudPlan(true));
        host.net.transfer()->answerDelayMs = 300;
        host.net.http()->replies.insert(kUpdate, QJsonObject{{"success", true}});
        host.operate->setId(42);
        host.net.transfer()->cloudFiles.insert("c/b.docx", "resource B");
        host.operate->appendNode("s1", "",
                                 R"({"nodeType":"file","nodeContent":{"fileName":"b.docx",)"
                                 R"("cloudPath":"c/b.docx","fileType":"docx","fileSize":"10",)"
                                 R"("fileCloudSource":"resource","isTranslate":0}})");
        QVERIFY(host.resources->hasDownloadingFile());
        host.scripts->clear();
        const int checks = host.net.check()->checks.size();

        QVERIFY(!host.operate->saveTeachingPlan());
        QVERIFY(host.operate->operationFlags() & TPOF_Saving &&
                host.statements("savePlanStatus").isEmpty());
        QCOMPARE(host.net.check()->checks.mid(checks), QStringList{"YRResourceManage"});
        // Once the last download is in, the save runs by itself and is reported.
        QTRY_COMPARE(host.statements("savePlanStatus").size(), 1);
        QVERIFY(host.statements("savePlanStatus").first().startsWith("savePlanStatus(1, 42, {"));
        QVERIFY(!host.resources->hasDownloadingFile());
    }

    void saveFailuresReachThePage_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::newRow("the record is refused") << "refused";
        QTest::newRow("the plan service fails") << "error";
        QTest::newRow("the document upload fails") << "upload";
    }
    void saveFailuresReachThePage()
    {
        QFETCH(QString, failure);
        CloudHost host;
        QVERIFY(host.openCloudPlan(true));
        if (failure == "refused")
            host.net.http()->replies.insert(kUpdate, QJsonObject{{"success", false}});
        else if (failure == "error")
            host.net.http()->errorCodes.insert(kUpdate, 500);
        else
            host.net.transfer()->failingPaths.insert("/plan/" + kJsonPath);
        host.operate->setId(88);
        host.scripts->clear();
        host.operate->saveTeachingPlan();
        QTRY_COMPARE(host.statements("savePlanStatus"), QStringList{"savePlanStatus(0, -1, )"});
        if (failure != "upload")
            QCOMPARE(host.net.http()->requestsTo(kUpdate).first().params.value("p_id"), "88");
        emit host.net.http()->sglHttpConnectError(); // nothing waits any more
        QCOMPARE(host.statements("savePlanStatus").size(), 1);
    }

    void backgroundRenameRecordsTheNewName()
    {
        CloudHost host;
        host.net.http()->replies.insert(kUpdate, QJsonObject{{"success", true}});
        QVERIFY(host.operate->renameTeachingPlan("42", "Renamed", kJsonPath, "0"));
        QTRY_COMPARE(host.stateCodes(), QList<int>{TPOS_Success_Rename});
        QCOMPARE(nameInDocument(host.document()), "Renamed");
        QCOMPARE(host.net.http()->requestsTo(kUpdate).first().params.value("p_title"), "Renamed");
        // Only the document moves in a rename.
        QCOMPARE(host.net.transfer()->downloads.size(), 1);

        host.states->clear();
        host.net.transfer()->failingPaths.insert("other/teachpkg.json");
        host.net.transfer()->cloudFiles.insert("other/teachpkg.json", "{}");
        QVERIFY(host.operate->renameTeachingPlan("43", "X", "other/teachpkg.json", "0"));
        QTRY_COMPARE(host.stateCodes(), QList<int>{TPOS_Fail_Rename});
    }

    // A document path from a caller or the plan service never leads a flow out of the root,
    // not even into a sibling whose name begins like the root's.
    void documentPathsThatLeaveTheRootAreRefused_data()
    {
        QTest::addColumn<QString>("flow");
        QTest::addColumn<QString>("jsonPath");
        QTest::addColumn<int>("failure");
        for (const QString path :
             {"../outside/p/teachpkg.json", "../TeachPlans-other/p/teachpkg.json"}) {
            QTest::addRow("open %s", qPrintable(path)) << "open" << path << int(TPOS_Fail_Open);
            QTest::addRow("background rename %s", qPrintable(path))
                << "rename" << path << int(TPOS_Fail_Rename);
            QTest::addRow("export %s", qPrintable(path))
                << "export" << path << int(TPOS_Fail_Export);
            QTest::addRow("conversion answered with %s", qPrintable(path))
                << "translate" << path << int(TPOS_Fail_Export);
        }
    }
    void documentPathsThatLeaveTheRootAreRefused()
    {
        QFETCH(QString, flow);
        QFETCH(QString, jsonPath);
        QFETCH(int, failure);
        CloudHost host;
        QTemporaryDir out;
        ModalAnswerer answerer;
        answerer.chooseFile(out.filePath("exported.yrtp"));
        answerer.answerConversion(true);
        host.net.http()->replies.insert(
            kTranslate,
            QJsonObject{{"success", true},
                        {"data", QJsonObject{{"p_jsonroad", jsonPath}, {"p_title", "t"}}}});
        if (flow == "open")
            QVERIFY(!host.operate->openTeachingPlan(jsonPath, "42", "", "n", "5.0"));
        else if (flow == "rename")
            QVERIFY(!host.operate->renameTeachingPlan("42", "n", jsonPath, "0"));
        else if (flow == "export")
            QVERIFY(!host.operate->exportTeachingPlan("42", jsonPath, "n", ""));
        else
            QVERIFY(host.operate->exportTeachingPlan("42", "0", "n", ""));
        QTRY_VERIFY(host.stateCodes().contains(failure));
        QVERIFY(host.net.transfer()->downloads.isEmpty());
        const QDir tavrunelcore(QFileInfo(host.root()).absolutePath());
        QCOMPARE(tavrunelcore.entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"TeachPlans"});
    }

    // Only the plan's own files go to the cloud, whatever a report names.
    void uploadsSendOnlyThePlansOwnFiles()
    {
        CloudHost host;
        QVERIFY(host.openCloudPlan(true));
        const QString sibling = host.root() + "-other/x.txt";
        const QString outside = host.profile.path() + "/secret.txt";
        for (const QString &file : {sibling, outside}) {
            QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()) &&
                    writeFile(file, "not the plan's"));
            const int uploads = host.net.transfer()->uploads.size();
            host.operate->slotFileUpadated(QJsonObject{{"dest", file},
                                                       {"localPath", "/s1/a.docx"},
                                                       {"nodeType", "file"},
                                                       {"nodeId", "n1"}});
            QCOMPARE(host.net.transfer()->uploads.size(), uploads);
        }
    }

    void exportPacksTheWholePlan()
    {
        CloudHost host;
        QTemporaryDir out;
        QSignalSpy progress(host.operate.get(), &YRTeachingPlanOperate::signalExportProgress);
        ModalAnswerer answerer;
        answerer.chooseFile(out.filePath("exported.yrtp"));
        QVERIFY(host.operate->exportTeachingPlan("42", kJsonPath, "Exported", ""));
        QVERIFY(host.operate->isProgressVisible());
        QTRY_COMPARE(host.stateCodes(), (QList<int>{TPOS_Start_Export, TPOS_Success_Export}));
        QVERIFY(!host.operate->isProgressVisible());
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.first(), (QList<QVariant>{TPOF_Background | TPOF_Exporting, 0}));

        QTemporaryDir unpacked;
        QVERIFY(YRPlanPackage::extractPackage(out.filePath("exported.yrtp"), unpacked.path()));
        QCOMPARE(readAll(unpacked.filePath("s1/a.docx")), QByteArray("resource A"));
        QVERIFY(QFile::exists(unpacked.filePath("s1/single_101.json")));
        QCOMPARE(nameInDocument(unpacked.filePath("teachpkg.json")), "Exported");
        QVERIFY(!QFile::exists(unpacked.filePath("teachpkg.json.notsave")));
        // The working directory keeps no loadable document.
        QVERIFY(!QFile::exists(host.document()));
    }

    void aFailedResourceEndsTheExport()
    {
        CloudHost host;
        QTemporaryDir out;
        host.net.transfer()->failingPaths.insert("c/a.docx");
        ModalAnswerer answerer;
        answerer.chooseFile(out.filePath("exported.yrtp"));
        QVERIFY(host.operate->exportTeachingPlan("42", kJsonPath, "Exported", ""));
        QTRY_COMPARE(host.stateCodes(), (QList<int>{TPOS_Start_Export, TPOS_Fail_Export}));
        // Later answers find no export to finish: no package, no success after the failure.
        emit host.net.http()->sglHttpRequestFinish(kQuestion, {{"success", true}},
                                                   "x?questionId=101");
        QTest::qWait(50);
        QCOMPARE(host.stateCodes(), (QList<int>{TPOS_Start_Export, TPOS_Fail_Export}));
        QVERIFY(!QFile::exists(out.filePath("exported.yrtp")));
        QCOMPARE(host.operate->operationFlags(), 0);
    }

    void aPlanWithoutDocumentIsConvertedByTheService()
    {
        CloudHost host;
        host.net.transfer()->cloudFiles.insert(kJsonPath, cloudPlan("Old", "4.0").toUtf8());
        host.net.http()->replies.insert(
            kTranslate, QJsonObject{{"success", true},
                                    {"data", QJsonObject{{"p_jsonroad", kJsonPath},
                                                         {"p_title", "Converted"}}}});
        ModalAnswerer answerer;
        answerer.answerConversion(true);
        QVERIFY(host.operate->openTeachingPlan("0", "42", "", "Old", "3.0"));
        QTRY_COMPARE(host.stateCodes(), (QList<int>{TPOS_Success_Translate, TPOS_Success_Open}));
        // Asked once; the converted "4.0" document opened without a second question.
        QCOMPARE(answerer.seen(), QStringList{"YRTPVersionTransformDialog"});
        const auto asked = host.net.http()->requestsTo(kTranslate);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.first().params,
                 (QMap<QString, QString>{{"planid", "42"}, {"uid", "u1"}, {"version", "4.0"}}));
        QCOMPARE(host.data.getTeachingPlanAttr().strDocumentVersion, "5.0");
        QCOMPARE(host.data.getTeachingPlanAttr().strName, "Converted");
    }

    void questionAnswersWriteOnlyInsideThePlan()
    {
        CloudHost host;
        host.net.http()->replies.remove(kQuestion);
        QVERIFY(host.openCloudPlan());
        QTRY_COMPARE(host.net.http()->requestsTo(kQuestion).size(), 1);
        QTemporaryDir outside;
        const QString escape = QDir(host.planDir()).relativeFilePath(outside.filePath("x.png"));
        const QJsonObject reply{
            {"success", true},
            {"data", QJsonObject{{"questionJson", QJsonObject{{"stem", "s"}}},
                                 {"questionImg", QJsonArray{"https://img.example/q/a.PNG",
                                                            "https://img.example/" + escape,
                                                            "https://img.example/q/notes.txt"}}}}};
        emit host.net.http()->sglHttpRequestFinish(kQuestion, reply,
                                                   "https://s/q?questionId=101&x=1");
        QCOMPARE(parse(QString::fromUtf8(readAll(host.planDir() + "/s1/single_101.json"))),
                 QJsonObject({{"stem", "s"}}));
        // One picture qualifies and stays inside; the other two are skipped.
        QStringList pictures;
        for (const QJsonObject &record : host.net.transfer()->downloads) {
            if (record.value("url").toString().startsWith("https://img.example/"))
                pictures.append(record.value("dest").toString());
        }
        QCOMPARE(pictures, QStringList{host.planDir() + "/q/a.PNG"});
        QCOMPARE(host.net.transfer()->downloads.last().value("fileSize").toString(),
                 QString::number(1000000 / 3));
        QVERIFY(!QFile::exists(outside.filePath("x.png")));
    }

    void failedQuestionsWaitForARetry()
    {
        CloudHost host;
        host.net.http()->replies.remove(kQuestion);
        host.net.http()->errorCodes.insert(kQuestion, 404);
        QVERIFY(host.openCloudPlan());
        // The next progress pass reports the question as failed.
        QTRY_VERIFY((host.operate->downloadResourceFromJson(),
                     host.statements("multiFileProcess").last().contains("\"percent\": -1")));
        const int asked = host.net.http()->requestsTo(kQuestion).size();
        QVERIFY(asked >= 1);

        host.net.http()->errorCodes.remove(kQuestion);
        host.net.http()->replies.insert(
            kQuestion, QJsonObject{{"success", true},
                                   {"data", QJsonObject{{"questionJson", QJsonObject{{"s", 1}}}}}});
        host.operate->reDownloadFile(QString());
        QTRY_VERIFY(QFile::exists(host.planDir() + "/s1/single_101.json"));
        QCOMPARE(host.net.http()->requestsTo(kQuestion).size(), asked + 1);
    }

    void addedFilesBecomeNodesAndAreUploaded()
    {
        CloudHost host;
        QVERIFY(host.openCloudPlan(true));
        const QString file = host.planDir() + "/s1/slides.pptx";
        QVERIFY(writeFile(file, "slides"));
        host.scripts->clear();

        QVERIFY(host.operate->addLocalFile(file, 0));
        QVERIFY(host.data.getJson().contains("slides.pptx"));
        QVERIFY(host.operate->addLocalFile(file, 40));
        QVERIFY(host.operate->addLocalFile(file, 100));
        const QString progress = host.statements("multiFileProcess").join('\n');
        for (const char *percent : {"0", "40", "100"})
            QVERIFY(progress.contains(QStringLiteral("\"percent\": %1,").arg(percent)));
        QVERIFY(host.data.getJson().contains(md5Of("slides")));
        QTRY_VERIFY(
            host.net.transfer()->cloudFiles.contains("/plan/u1/1700000000/plan-g/s1/slides.pptx"));
        QCOMPARE(host.net.transfer()->uploads.last().value("bucketName").toString(),
                 "uploads-bucket");

        // The same name again is refused; a file outside every step is not taken.
        host.states->clear();
        QVERIFY(!host.operate->addLocalFile(file, 0));
        QCOMPARE(host.stateCodes(), QList<int>{TPOS_Fail_AddNode_ExistFile});
        QVERIFY(!host.operate->addLocalFile(host.root() + "/elsewhere/x.txt", 0));
    }

    void aChangedLocalCopyIsSentAgain()
    {
        CloudHost host;
        QVERIFY(host.openCloudPlan(true));
        const int uploads = host.net.transfer()->uploads.size();
        QVERIFY(writeFile(host.planDir() + "/s1/a.docx", "edited in Word"));
        QTRY_VERIFY(host.net.transfer()->uploads.size() > uploads);
        const QJsonObject sent = host.net.transfer()->uploads.last();
        QCOMPARE(sent.value("remotePath").toString(), "/plan/u1/1700000000/plan-g/s1/a.docx");
        QCOMPARE(sent.value("fileCloudSource").toString(), "localUpload");
        QVERIFY(host.data.getJson().contains(md5Of("edited in Word")));
        QVERIFY(host.data.getJson().contains(
            "\"cloudPath\": \"/plan/u1/1700000000/plan-g/s1/a.docx\""));
    }

    void locallyAddedFilesOfAnOpenedPlanAreSent()
    {
        CloudHost host;
        const QJsonArray nodes{
            node("n1", "file", 0, fileContent("a.docx", "/s1/a.docx", "resource", QString())),
            node("n2", "file", 1, fileContent("mine.docx", "/s1/mine.docx", "localUpload")),
            node("n3", "file", 2, fileContent("evil.docx", "/../../evil.docx", "localUpload"))};
        host.writePlan(kJsonPath, document(description(), {step("s1", "内容精讲", nodes)}));
        host.writePlan("u1/1700000000/plan-g/s1/mine.docx", "only here");
        QVERIFY(host.operate->openTeachingPlan(kJsonPath, "local-5", "", "Mine", "5.0"));
        QStringList sent;
        for (const QJsonObject &upload : host.net.transfer()->uploads)
            sent.append(upload.value("remotePath").toString());
        QCOMPARE(sent, QStringList{"/plan/u1/1700000000/plan-g/s1/mine.docx"});
        // What is left is fetched: the cloud's file, not the locally added one.
        host.operate->downloadResourceFromJson();
        QCOMPARE(host.net.transfer()->downloadedDests(),
                 QStringList{host.planDir() + "/s1/a.docx"});
    }

    void aFailedDocumentDownloadOpensTheLocalCopy()
    {
        CloudHost host;
        host.writePlan(kJsonPath, cloudPlan("kept locally"));
        host.net.transfer()->failingPaths.insert(kJsonPath);
        QVERIFY(host.operate->analysisCloudTeachingPlan(kJsonPath, "42", "", "", "5.0", "m") ==
                TPV_Version5);
        QVERIFY(host.operate->openCloudTeachingPlan(kJsonPath, "42"));
        QTRY_COMPARE(host.stateCodes(), QList<int>{TPOS_Success_Open});
        QCOMPARE(host.data.getTeachingPlanAttr().strName, "kept locally");
    }

    void offlineQuestionsComeFromTheirFiles()
    {
        CloudHost host;
        QVERIFY(host.openCloudPlan(true));
        emit host.net.check()->sglResultNetWorkCheck(false, QStringLiteral("YRResourceManage"));
        const int asked = host.net.http()->requestsTo(kQuestion).size();
        QJsonObject present{{"questionId", "101"},
                            {"localPath", "/s1/single_101.json"},
                            {"dest", host.planDir() + "/s1/single_101.json"}};
        QJsonObject missing{{"questionId", "102"},
                            {"localPath", "/s1/single_102.json"},
                            {"dest", host.planDir() + "/s1/single_102.json"}};
        host.operate->slotQuestionInfo(present);
        host.operate->slotQuestionInfo(missing);
        QCOMPARE(host.net.http()->requestsTo(kQuestion).size(), asked);
        QVERIFY(!present.contains("percent"));
        QCOMPARE(missing.value("percent").toInt(), -1);
        host.scripts->clear();
        host.operate->downloadResourceFromJson();
        const QString progress = host.statements("multiFileProcess").join('\n');
        QVERIFY(
            progress.contains("\"percent\": -1,\n        \"tempPath\": \"/s1/single_102.json\""));
    }

    void answersOutsideTheirFlowChangeNothing()
    {
        CloudHost host;
        auto *http = host.net.http();
        emit http->sglHttpRequestFinish(kCreate, QJsonObject{{"success", true}}, "x");
        emit http->sglHttpRequestError(kUpdate, 500, "x");
        emit http->sglHttpRequestError(kQuestion, 404, "x?questionId=1");
        emit http->sglHttpConnectError();
        emit host.net.transfer()->signalDownloadFinished(false, {{"dest", "/x/teachpkg.json"}});
        QVERIFY(host.stateCodes().isEmpty() && host.scripts->isEmpty());
        // A conversion reply or a time-out during a rename only leaves log lines.
        http->replies.insert(kUpdate, QJsonObject{{"success", true}});
        QVERIFY(host.operate->renameTeachingPlan("42", "Renamed", kJsonPath, "0"));
        QTRY_COMPARE(host.stateCodes(), QList<int>{TPOS_Success_Rename});
        emit http->sglHttpRequestFinish(
            kTranslate,
            QJsonObject{{"success", true},
                        {"data", QJsonObject{{"p_jsonroad", "x"}, {"p_title", "t"}}}},
            "x");
        emit http->sglhttptimeout();
        QCOMPARE(host.stateCodes(), QList<int>{TPOS_Success_Rename});

        // A plan identifier given as a number is read as text: 0.
        QVERIFY(host.openCloudPlan());
        http->replies.insert(kUpdate,
                             QJsonObject{{"success", true}, {"data", QJsonObject{{"planid", 99}}}});
        host.operate->saveTeachingPlan();
        QTRY_VERIFY(host.operate->getId() == 0);
    }

    void deletingAStepForgetsItsFilesAndQuestions()
    {
        CloudHost host;
        QVERIFY(host.openCloudPlan(true));
        host.operate->deleteStepOrTask("s1", 3);
        QVERIFY(!QFile::exists(host.planDir() + "/s1/a.docx"));
        QCOMPARE(host.data.getTeachingPlanStepCount(), 0);
        // The last progress list no longer names the question.
        QVERIFY(!host.statements("multiFileProcess").last().contains("single_101"));
    }
};

QTEST_MAIN(TestOperateCloud)
#include "tst_operatecloud.moc"
