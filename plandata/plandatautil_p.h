#ifndef PLANDATAUTIL_P_H
#define PLANDATAUTIL_P_H

#include "plandata/tprecords.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QVector>

#include <memory>

// Small helpers shared by the source files of YRPlanData.
namespace YRPlanDataUtil {

// A JSON number as a 64-bit integer; 0 for anything that is not a whole number in range.
qint64 jsonInt64(const QJsonValue &value);

// "file", "question", "paper", "subjectApp", "ebook" for the node-type codes; empty otherwise.
QString nodeTypeName(int nodeType);

// A new, empty content record of the named kind with its node-type code set; null for a name
// that is none of the five.
std::unique_ptr<TPStepNode> createNodeRecord(const QString &typeName);

// The members of one download record. Every record has "cloudPath", "dest", "downloadMethod"
// ("queue"), "fileCloudSource", "localPath" and "nodeType"; the others only where a producer
// sets them.
struct TransferRecord
{
    QString fileCloudSource;
    QString cloudPath;
    QString nodeType;
    QString localPath;
    QString nodeId;
    bool withNodeId = true;
    int isTranslate = 0;
    bool withIsTranslate = false;
    QString fileSize;
    bool withFileSize = false;
    QString fileMD5;
    bool withFileMD5 = false;

    QJsonObject toJson(const QString &dest) const;
};

// A record with the members that every download record has, and "nodeId".
TransferRecord resourceRecord(const QString &fileCloudSource, const QString &cloudPath,
                              const QString &nodeType, const QString &localPath,
                              const QString &nodeId);

// Which reader asks for a file node's records: the document reader gives the file record its
// size and the thumbnail record an empty MD5; the web editor's reader gives neither, and its
// thumbnail record no node id.
enum class FileRecordOrigin { Document, WebEditor };

// The download records of a file node: its file and, when it has a cloud thumbnail, the
// thumbnail, in that order.
QVector<TransferRecord> fileNodeRecords(const NodeFileContent &file, FileRecordOrigin origin);

// The members of one question record: "dest", "localPath", "questionId", "questionType" and,
// where set, "nodeId".
struct QuestionRecord
{
    QString questionId;
    QString questionType;
    QString localPath;
    QString nodeId;
    bool withNodeId = true;

    QJsonObject toJson(const QString &dest) const;
};

} // namespace YRPlanDataUtil

#endif // PLANDATAUTIL_P_H
