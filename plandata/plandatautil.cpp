#include "plandata/plandatautil.h"

#include <cmath>
#include <limits>

namespace YRPlanDataUtil {

qint64 jsonInt64(const QJsonValue &value)
{
    if (!value.isDouble())
        return 0;
    const double number = value.toDouble();
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    const double limit = 9223372036854775808.0;
    if (!std::isfinite(number) || number != std::floor(number) || number >= limit ||
        number < -limit)
        return 0;
    return static_cast<qint64>(number);
}

QString nodeTypeName(int nodeType)
{
    switch (nodeType) {
    case TPNT_File:
        return QStringLiteral("file");
    case TPNT_Question:
        return QStringLiteral("question");
    case TPNT_Paper:
        return QStringLiteral("paper");
    case TPNT_SubjectApp:
        return QStringLiteral("subjectApp");
    case TPNT_Ebook:
        return QStringLiteral("ebook");
    }
    return QString();
}

namespace {

template <typename Record>
std::unique_ptr<TPStepNode> newRecord(int nodeType)
{
    auto record = std::make_unique<Record>();
    record->nodeType = nodeType;
    return record;
}

} // namespace

std::unique_ptr<TPStepNode> createNodeRecord(const QString &typeName)
{
    if (typeName == QLatin1String("file"))
        return newRecord<NodeFileContent>(TPNT_File);
    if (typeName == QLatin1String("question"))
        return newRecord<NodeQuestionContent>(TPNT_Question);
    if (typeName == QLatin1String("paper"))
        return newRecord<NodePaperContent>(TPNT_Paper);
    if (typeName == QLatin1String("subjectApp"))
        return newRecord<NodeSubjectAppContent>(TPNT_SubjectApp);
    if (typeName == QLatin1String("ebook"))
        return newRecord<NodeEbookContent>(TPNT_Ebook);
    return nullptr;
}

QJsonObject transferRecord(const QString &fileCloudSource, const QString &cloudPath,
                           const QString &nodeType, const QString &localPath, const QString &nodeId)
{
    QJsonObject record;
    record.insert(QStringLiteral("downloadMethod"), QStringLiteral("queue"));
    record.insert(QStringLiteral("fileCloudSource"), fileCloudSource);
    record.insert(QStringLiteral("cloudPath"), cloudPath);
    record.insert(QStringLiteral("nodeType"), nodeType);
    record.insert(QStringLiteral("localPath"), localPath);
    record.insert(QStringLiteral("nodeId"), nodeId);
    return record;
}

} // namespace YRPlanDataUtil
