#ifndef IYRPLANDATA_H
#define IYRPLANDATA_H

#include "plandata/tprecords.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <QVector>

// The plan model as the host and the rest of the library reach it. The order of the virtual
// operations is part of the contract with the host, which holds the same interface.
class IYRPlanData
{
public:
    virtual ~IYRPlanData() {}

    // The implementing object itself.
    virtual QObject *getObject() = 0;
    // Writes json, normalised, to fileName inside the plan directory ("/teachpkg.json" when
    // fileName is empty). False for an empty plan directory, a text that does not parse or a
    // failed write; an existing file is then left as it was.
    virtual bool saveJson(const QString &json, const QString &fileName) = 0;
    // The document text of the current tree.
    virtual const QString &getJson() const = 0;
    // The text of the document file at path (relative paths are taken under the teaching-plan
    // root); empty when it cannot be read.
    virtual QString getJson(const QString &path, bool isAbsolute) = 0;
    // The attributes and paths of the plan.
    virtual QVariantMap getPlanInfo() = 0;
    // Empties the tree and gives the plan fresh attributes and the default teaching-plan root.
    virtual void initTeachingPlanAttr() = 0;
    // Replaces the attributes, update time included, and regenerates the document text.
    virtual void setTeachingPlanAttr(const TeachingPlanAttr &attr) = 0;
    virtual const TeachingPlanAttr &getTeachingPlanAttr() const = 0;
    virtual void setTeachingPlanRoot(const QString &root) = 0;
    virtual const QString &getTeachingPlanRoot() const = 0;
    // Sets the plan directory (made absolute); its last component becomes the plan's GUID.
    virtual void setTeachingPlanDir(const QString &dir) = 0;
    virtual const QString &getTeachingPlanDir() const = 0;
    // Number of steps (tasks and nodes are not counted).
    virtual int getTeachingPlanStepCount() = 0;
    // Appends the document json to the tree and regenerates the text; false when the text is
    // not a usable document.
    virtual bool setJson(const QString &json) = 0;
    // Transfer records of the files that the read documents and nodes need.
    virtual QVector<QJsonObject> &getJsonFiles() = 0;
    virtual void clearJsonFiles() = 0;
    // Question records of the read question nodes.
    virtual QVector<QJsonObject> &getJsonQuestions() = 0;
    virtual void clearJsonQuestions() = 0;
    // Transfer records of the locally added files that the document at path lacks or holds in
    // another version; those records leave the download list.
    virtual QVector<QJsonObject> getOtherJsonDiffFiles(const QString &path) = 0;
    // Deletes the whole tree and resets the attributes; the question records stay.
    virtual bool clearTeachingPlanData() = 0;
    // Appends node to the step or task parentId; a TPAppendNodeState. The tree takes node with
    // TPANS_Success (and with a TPANS_Unknown caused by a failed regeneration only).
    virtual int appendNode(const QString &parentId, TPStepNode *node) = 0;
    // Appends a node described by web-editor JSON to a step, or to one of its tasks.
    virtual bool appendNode(const QString &stepId, const QString &taskId,
                            const QString &nodeJson) = 0;
    // Copies the values of a file node into the stored node of the same id; node stays the
    // caller's.
    virtual bool updateNode(TPStepNode *node) = 0;
    // Adds a task to stepId, or a step of the named type when stepId is empty.
    virtual bool addStepOrTask(const QString &stepId, const QString &name,
                               const QString &stepTypeName) = 0;
    // kind 1 node, 2 task, 3 step; 4 empties a task, 5 empties a step.
    virtual bool deleteStepOrTask(const QString &id, int kind) = 0;
    // Renames a step (taskId empty or "-1"), or a task and sets its description.
    virtual void renameStepOrTask(const QString &stepId, const QString &taskId, const QString &name,
                                  const QString &desc) = 0;
    // Moves a step (kind 2) or a node (kind 1) just before beforeId.
    virtual void orderStepOrTask(const QString &movingId, const QString &beforeId,
                                 const QString &parentJson, int kind) = 0;
    virtual void setNodeFileMD5(const QString &nodeId, const QString &md5) = 0;
    // Sum of the file sizes, plus 1000000 per question; saturates at the largest int.
    virtual int getDownloadFileTotalSize() = 0;
    // Sets a file node's cloud path without regenerating the document text.
    virtual void setNodeCloudPath(const QString &nodeId, const QString &cloudPath) = 0;
    // Identifiers of the nodes under a step, task or node.
    virtual QStringList getNodeId(const QString &id) = 0;
};

#define IYRPlanData_iid "com.orvane.YRData.IYRPlanData/1.0"
Q_DECLARE_INTERFACE(IYRPlanData, IYRPlanData_iid)

#endif // IYRPLANDATA_H
