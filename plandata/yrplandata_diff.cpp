// The files that a plan needs or that differ between two versions of it.

#include "plandata/plandatautil_p.h"
#include "plandata/planpaths.h"
#include "plandata/yrplandata.h"

#include <QSet>

#include <limits>

QVector<QJsonObject> YRPlanData::getOtherJsonDiffFiles(const QString &path)
{
    YRPlanData other;
    other.setJson(getJson(path, true));
    return compareDiffFiles(other);
}

QVector<QJsonObject> YRPlanData::compareDiffFiles(const YRPlanData &other)
{
    QVector<QJsonObject> records;
    for (auto entry = nodeMap.cbegin(); entry != nodeMap.cend(); ++entry) {
        const auto *file = dynamic_cast<const NodeFileContent *>(entry.value());
        if (!file || file->fileCloudSource != QLatin1String("localUpload"))
            continue;
        const auto otherEntry = other.nodeMap.constFind(entry.key());
        if (otherEntry == other.nodeMap.cend()) {
            packageFileInfoData(records, file);
            continue;
        }
        const auto *otherFile = dynamic_cast<const NodeFileContent *>(otherEntry.value());
        if (otherFile && otherFile->fileMD5 != file->fileMD5)
            packageFileInfoData(records, file);
    }

    // Files about to be uploaded are no longer to be downloaded.
    QSet<QString> changedNodes;
    for (const QJsonObject &record : qAsConst(records)) {
        const QJsonValue nodeId = record.value(QLatin1String("nodeId"));
        if (nodeId.isString())
            changedNodes.insert(nodeId.toString());
    }
    jsonFiles.erase(std::remove_if(jsonFiles.begin(), jsonFiles.end(),
                                   [&changedNodes](const QJsonObject &queued) {
                                       const QJsonValue id = queued.value(QLatin1String("nodeId"));
                                       return id.isString() && changedNodes.contains(id.toString());
                                   }),
                    jsonFiles.end());
    return records;
}

void YRPlanData::packageFileInfoData(QVector<QJsonObject> &records, const NodeFileContent *node)
{
    for (const YRPlanDataUtil::TransferRecord &record :
         YRPlanDataUtil::fileNodeRecords(*node, YRPlanDataUtil::FileRecordOrigin::Document))
        queueRecord(records, record);
}

int YRPlanData::getDownloadFileTotalSize()
{
    // Summed in 64 bits and saturated: a few large videos must not wrap into a negative total.
    const qint64 questionSize = 1000000;
    qint64 total = 0;
    const auto addNodes = [&total, questionSize](const QVector<TPStepNode *> &nodes) {
        for (const TPStepNode *node : nodes) {
            // Only what the reader queued is ever downloaded: a node whose path leaves the
            // plan directory adds nothing.
            const auto queued = [](const QString &localPath) {
                return localPath.isEmpty() || YRPlanPaths::isPlanRelative(localPath);
            };
            qint64 size = 0;
            if (node->nodeType == TPNT_File) {
                const auto *file = dynamic_cast<const NodeFileContent *>(node);
                if (file && queued(file->localPath))
                    size = qMax<qint64>(0, file->fileSize.toLongLong());
            } else if (node->nodeType == TPNT_Question) {
                const auto *question = dynamic_cast<const NodeQuestionContent *>(node);
                if (question && queued(question->localPath))
                    size = questionSize;
            }
            total = std::numeric_limits<qint64>::max() - total < size
                        ? std::numeric_limits<qint64>::max()
                        : total + size;
        }
    };
    for (const TPStep *step : qAsConst(steps)) {
        addNodes(step->nodes);
        for (const TPStepTask *task : step->tasks)
            addNodes(task->nodes);
    }
    return int(qMin<qint64>(total, std::numeric_limits<int>::max()));
}
