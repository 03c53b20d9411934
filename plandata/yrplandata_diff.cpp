// The files that a plan needs or that differ between two versions of it.

#include "plandata/plandatautil.h"
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
    YRPlanDataUtil::TransferRecord file = YRPlanDataUtil::resourceRecord(
        node->fileCloudSource, node->cloudPath, QStringLiteral("file"), node->localPath, node->id);
    file.isTranslate = node->isTranslate;
    file.withIsTranslate = true;
    file.fileSize = node->fileSize;
    file.withFileSize = true;
    file.fileMD5 = node->fileMD5;
    file.withFileMD5 = true;
    queueRecord(records, file);
    if (node->cloudThumb.isEmpty())
        return;
    YRPlanDataUtil::TransferRecord thumb =
        YRPlanDataUtil::resourceRecord(node->fileCloudSource, node->cloudThumb,
                                       QStringLiteral("fileThumb"), node->localThumb, node->id);
    thumb.isTranslate = node->isTranslate;
    thumb.withIsTranslate = true;
    thumb.withFileMD5 = true; // empty for a thumbnail
    queueRecord(records, thumb);
}

int YRPlanData::getDownloadFileTotalSize()
{
    // Summed in 64 bits and saturated: a few large videos must not wrap into a negative total.
    const qint64 questionSize = 1000000;
    qint64 total = 0;
    const auto addNodes = [&total, questionSize](const QVector<TPStepNode *> &nodes) {
        for (const TPStepNode *node : nodes) {
            qint64 size = 0;
            if (node->nodeType == TPNT_File) {
                if (const auto *file = dynamic_cast<const NodeFileContent *>(node))
                    size = qMax<qint64>(0, file->fileSize.toLongLong());
            } else if (node->nodeType == TPNT_Question) {
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
