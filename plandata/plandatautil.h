#ifndef PLANDATAUTIL_H
#define PLANDATAUTIL_H

#include "plandata/tprecords.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

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

// The keys that every download record carries: "downloadMethod" "queue", "fileCloudSource",
// "cloudPath", "nodeType", "localPath" and "nodeId". "dest" is added by the caller once the
// local path is known to stay inside the plan directory.
QJsonObject transferRecord(const QString &fileCloudSource, const QString &cloudPath,
                           const QString &nodeType, const QString &localPath,
                           const QString &nodeId);

} // namespace YRPlanDataUtil

#endif // PLANDATAUTIL_H
