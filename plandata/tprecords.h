#ifndef TPRECORDS_H
#define TPRECORDS_H

#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

// Records of a teaching-plan tree. They are plain data: a record never deletes what its lists
// point to. The one owner of a whole tree is YRPlanData (see yrplandata.h).

// Result of IYRPlanData::appendNode(parentId, node).
enum TPAppendNodeState {
    TPANS_Unknown = 0,   // not appended, or appended while the document could not be regenerated
    TPANS_Success = 1,   // appended
    TPANS_ExistFile = 2, // a node of the same name already lies in that step or task
    TPANS_PlanFile = 3,  // a plan file may not go into a task
};

// Step-type codes (TPStep::stepType). The document stores the step-type name instead.
enum TPStepType {
    TPST_Unknown = 0,
    TPST_SceneIntroduction = 1,
    TPST_ContentExplanation = 2,
    TPST_Exercises = 4,
    TPST_Test = 8,
    TPST_GroupCompetition = 16,
    TPST_GroupInquiry = 32, // keeps its content in tasks
    TPST_Custom = 64,
};

// Node-type codes (TPStepNode::nodeType); each agrees with one concrete content record.
enum TPNodeType {
    TPNT_Unknown = 0,
    TPNT_File = 1,
    TPNT_Question = 2,
    TPNT_Paper = 4,
    TPNT_SubjectApp = 8,
    TPNT_Ebook = 16,
};

struct ITPNode
{
    virtual ~ITPNode() = default;

    QString id;
    int order = 0;
    QString name;
};

struct TPStepNode : ITPNode
{
    int nodeType = 0;
};

struct TPStepTask : ITPNode
{
    QString taskDesc;
    QVector<TPStepNode *> nodes; // owned by the task
};

struct TPStep : ITPNode
{
    int stepType = 0;
    QVector<TPStepNode *> nodes; // owned by the step
    QVector<TPStepTask *> tasks; // owned by the step
};

struct NodeFileContent : TPStepNode
{
    QString fileSize;
    QString fileType;
    QString fileCloudSource;
    QString cloudPath;
    QString localPath;
    QString cloudThumb;
    QString localThumb;
    QString fileMD5;
    int isTranslate = 0;
};

struct NodeQuestionContent : TPStepNode
{
    QString questionId;
    QString fileCloudSource;
    QString questionType;
    QString localPath;
    QStringList questionImg;
    int isTranslate = 0;
};

struct NodePaperContent : TPStepNode
{
    QString paperId;
};

struct NodeSubjectAppContent : TPStepNode
{
    QString localThumb;
    QString cloudThumb;
    QString appBundleId;
    QString fileCloudSource;
    int isTranslate = 0; // from web-editor content only; not stored in the document
    QString appClassName;
};

struct NodeEbookContent : TPStepNode
{
    QString fileCloudSource;
    QString bookId;
    QString bookType;
    int page = 0;
    QString cloudPath;
    QString localPath;
    QString cloudThumb;
    QString localThumb;
};

// The attributes of one plan. A plain value record.
struct TeachingPlanAttr
{
    QString strGUID;
    QString strName;
    int iPlanId = -1; // identifier in the cloud plan service; -1 until created there
    QString strDocumentVersion;
    qint64 iCreateTime = -1;
    qint64 iUpdateTime = -1;
    QString iAuthorId; // a string despite its prefix
    int iStepCount = 0;
    QString strIntrospection;
    int iBoardId = 4;
};

#endif // TPRECORDS_H
