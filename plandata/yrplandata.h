#ifndef YRPLANDATA_H
#define YRPLANDATA_H

#include "plandata/iyrplandata.h"
#include "yrdata_export.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QObject>

#include <memory>

class JsonTextWriter;
namespace YRPlanDataUtil {
struct TransferRecord;
struct QuestionRecord;
} // namespace YRPlanDataUtil

// A node as the web editor describes it, parsed from its JSON text.
struct WebNodeContent
{
    QString nodeType;
    QString name;
    QString fileCloudSource;
    int isTranslate = 0;
    QString cloudPath;
    QString cloudThumb;
    QString fileSize;
    QString fileType;
    QString questionId;
    QString questionType;
    QString paperId;
    QString appBundleId;
    QString appClassName;
    int bookId = 0;
    QString bookType;
    int page = 0;
};

// The in-memory model of one teaching plan and its document teachpkg.json.
//
// Ownership: YRPlanData owns every TPStep in its step list; a step owns the records of its
// node and task lists; a task owns the records of its node list. The identifier map holds
// non-owning pointers. Records are deleted only by clearTeachingPlanData(), deleteStepOrTask()
// and the destructor.
class YRDATA_EXPORT YRPlanData : public QObject, public IYRPlanData
{
    Q_OBJECT
    Q_INTERFACES(IYRPlanData)

public:
    explicit YRPlanData(QObject *parent = nullptr);
    ~YRPlanData() override;

    QObject *getObject() override;
    bool saveJson(const QString &json, const QString &fileName) override;
    const QString &getJson() const override;
    QString getJson(const QString &path, bool isAbsolute) override;
    QVariantMap getPlanInfo() override;
    void initTeachingPlanAttr() override;
    void setTeachingPlanAttr(const TeachingPlanAttr &attr) override;
    const TeachingPlanAttr &getTeachingPlanAttr() const override;
    void setTeachingPlanRoot(const QString &root) override;
    const QString &getTeachingPlanRoot() const override;
    void setTeachingPlanDir(const QString &dir) override;
    const QString &getTeachingPlanDir() const override;
    int getTeachingPlanStepCount() override;
    bool setJson(const QString &json) override;
    QVector<QJsonObject> &getJsonFiles() override;
    void clearJsonFiles() override;
    QVector<QJsonObject> &getJsonQuestions() override;
    void clearJsonQuestions() override;
    QVector<QJsonObject> getOtherJsonDiffFiles(const QString &path) override;
    bool clearTeachingPlanData() override;
    int appendNode(const QString &parentId, TPStepNode *node) override;
    bool appendNode(const QString &stepId, const QString &taskId, const QString &nodeJson) override;
    bool updateNode(TPStepNode *node) override;
    bool addStepOrTask(const QString &stepId, const QString &name,
                       const QString &stepTypeName) override;
    bool deleteStepOrTask(const QString &id, int kind) override;
    void renameStepOrTask(const QString &stepId, const QString &taskId, const QString &name,
                          const QString &desc) override;
    void orderStepOrTask(const QString &movingId, const QString &beforeId,
                         const QString &parentJson, int kind) override;
    void setNodeFileMD5(const QString &nodeId, const QString &md5) override;
    int getDownloadFileTotalSize() override;
    void setNodeCloudPath(const QString &nodeId, const QString &cloudPath) override;
    QStringList getNodeId(const QString &id) override;

    // A new random identifier: 36 lower-case hexadecimal digits and hyphens, no braces.
    static QString createGUID();

private:
    // Writer: tree -> documentText. False for a step of an unknown type (text kept).
    virtual bool localToJsonFile();
    // Reader: documentText -> appended to the tree. False for an unusable document.
    virtual bool jsonFileToLocal();

    bool readDocument(const QByteArray &utf8);
    bool readDocumentVersion(const QJsonObject &description);
    void readDescription(const QJsonObject &description);
    void readSteps(const QJsonArray &stepArray);
    void writeDescription(JsonTextWriter &writer) const;
    bool writeTask(JsonTextWriter &writer, const QVector<TPStepTask *> &tasks);
    bool writeNode(JsonTextWriter &writer, const QVector<TPStepNode *> &nodes);
    bool readTask(const QJsonArray &in, QVector<TPStepTask *> &tasks);
    bool readNode(const QJsonObject &in, std::unique_ptr<TPStepNode> &node);
    void readNodeList(const QJsonArray &in, QVector<TPStepNode *> &nodes);
    static bool lessThan(const ITPNode *a, const ITPNode *b);
    int stepTypeStrToInt(const QString &name) const;
    QString stepTypeIntToStr(int stepType) const;

    bool readFileContent(const QJsonObject &content, TPStepNode *node);
    bool readQuestionContent(const QJsonObject &content, TPStepNode *node);
    bool readPaperContent(const QJsonObject &content, TPStepNode *node);
    bool readSubjectAppContent(const QJsonObject &content, TPStepNode *node);
    bool readEbookContent(const QJsonObject &content, TPStepNode *node);
    bool writeFileContent(JsonTextWriter &writer, const TPStepNode *node);
    bool writeQuestionContent(JsonTextWriter &writer, const TPStepNode *node);
    bool writePaperContent(JsonTextWriter &writer, const TPStepNode *node);
    bool writeSubjectAppContent(JsonTextWriter &writer, const TPStepNode *node);
    bool writeEbookContent(JsonTextWriter &writer, const TPStepNode *node);

    // The file that a record of localPath names; false (and a log line) when it would leave
    // the plan directory or no plan directory is set.
    bool recordDestination(const QString &localPath, const QString &nodeId, QString *dest) const;
    // Append the record with its "dest" when its local path stays inside the plan directory.
    void queueRecord(QVector<QJsonObject> &list,
                     const YRPlanDataUtil::TransferRecord &record) const;
    void queueQuestion(const YRPlanDataUtil::QuestionRecord &record);
    void queueEbookRecords(const NodeEbookContent *page);

    bool commit();
    TPStepTask *findStepTask(const QString &taskId);
    void insertStep(const QString &movingId, const QString &beforeId, QVector<TPStep *> &list);
    void insertNode(const QString &movingId, const QString &beforeId, QVector<TPStepNode *> &list);
    void forget(const ITPNode *record);
    void deleteNodes(QVector<TPStepNode *> &nodes);
    void deleteTasks(QVector<TPStepTask *> &tasks);
    bool deleteNodeById(const QString &id);
    bool deleteTaskById(const QString &id, bool keepTask);
    bool deleteStepById(const QString &id);
    void emptyStepsById(const QString &id);

    bool analysisNodeContent(const QString &nodeJson, WebNodeContent &content);
    bool existFile(QVector<TPStepNode *> nodes, WebNodeContent &content);
    // existFile, then readNode_Web; the new node is appended to nodes.
    bool appendWebNode(const QString &parentId, WebNodeContent &content,
                       QVector<TPStepNode *> &nodes);
    bool readNode_Web(const QString &parent, const WebNodeContent &content,
                      std::unique_ptr<TPStepNode> &node);
    bool readFileContent_Web(const QString &parent, const WebNodeContent &content,
                             TPStepNode *node);
    bool readQuestionContent_Web(const QString &parent, const WebNodeContent &content,
                                 TPStepNode *node);
    bool readPaperContent_Web(const QString &parent, const WebNodeContent &content,
                              TPStepNode *node);
    bool readSubjectAppContent_Web(const QString &parent, const WebNodeContent &content,
                                   TPStepNode *node);
    bool readEbookContent_Web(const QString &parent, const WebNodeContent &content,
                              TPStepNode *node);
    bool webLocalPathsInside(const QString &parent, const WebNodeContent &content) const;

    QVector<QJsonObject> compareDiffFiles(const YRPlanData &other);
    void packageFileInfoData(QVector<QJsonObject> &records, const NodeFileContent *node);

    QString getNameFromConfigFile();

    TeachingPlanAttr attr;
    QVector<TPStep *> steps;
    QString teachingPlanRoot;
    QString teachingPlanDir;
    QString documentText;
    QMap<QString, ITPNode *> nodeMap;
    QVector<QJsonObject> jsonFiles;
    QVector<QJsonObject> jsonQuestions;
};

#endif // YRPLANDATA_H
