#include "plandata/plandatautil_p.h"

#include <QVector>

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

namespace {

// A record is made as a copy of a prototype of its shape whose values are then replaced:
// that costs about half of inserting the members one by one, and loading a large plan makes
// two records per file node.
QJsonObject prototype(std::initializer_list<const char *> keys)
{
    QJsonObject object;
    for (const char *key : keys)
        object.insert(QLatin1String(key), QString());
    return object;
}

QVector<QJsonObject> transferPrototypes()
{
    QVector<QJsonObject> shapes;
    for (int mask = 0; mask < 16; ++mask) {
        QJsonObject shape =
            prototype({"cloudPath", "dest", "fileCloudSource", "localPath", "nodeType"});
        shape.insert(QLatin1String("downloadMethod"), QStringLiteral("queue"));
        if (mask & 1)
            shape.insert(QLatin1String("nodeId"), QString());
        if (mask & 2)
            shape.insert(QLatin1String("isTranslate"), 0);
        if (mask & 4)
            shape.insert(QLatin1String("fileSize"), QString());
        if (mask & 8)
            shape.insert(QLatin1String("fileMD5"), QString());
        shapes.append(shape);
    }
    return shapes;
}

} // namespace

QJsonObject TransferRecord::toJson(const QString &dest) const
{
    static const QVector<QJsonObject> shapes = transferPrototypes();
    const int mask = (withNodeId ? 1 : 0) | (withIsTranslate ? 2 : 0) | (withFileSize ? 4 : 0) |
                     (withFileMD5 ? 8 : 0);
    QJsonObject record = shapes.at(mask);
    // Walk the members in their key order instead of looking each key up.
    auto member = record.begin();
    const auto set = [&member](const QJsonValue &value) { *member++ = value; };
    set(cloudPath);
    set(dest);
    ++member; // "downloadMethod" keeps "queue"
    set(fileCloudSource);
    if (withFileMD5)
        set(fileMD5);
    if (withFileSize)
        set(fileSize);
    if (withIsTranslate)
        set(isTranslate);
    set(localPath);
    if (withNodeId)
        set(nodeId);
    set(nodeType);
    Q_ASSERT(member == record.end());
    return record;
}

TransferRecord resourceRecord(const QString &fileCloudSource, const QString &cloudPath,
                              const QString &nodeType, const QString &localPath,
                              const QString &nodeId)
{
    TransferRecord record;
    record.fileCloudSource = fileCloudSource;
    record.cloudPath = cloudPath;
    record.nodeType = nodeType;
    record.localPath = localPath;
    record.nodeId = nodeId;
    return record;
}

QJsonObject QuestionRecord::toJson(const QString &dest) const
{
    static const QJsonObject withId =
        prototype({"dest", "localPath", "nodeId", "questionId", "questionType"});
    static const QJsonObject withoutId =
        prototype({"dest", "localPath", "questionId", "questionType"});
    QJsonObject record = withNodeId ? withId : withoutId;
    record[QLatin1String("dest")] = dest;
    record[QLatin1String("localPath")] = localPath;
    if (withNodeId)
        record[QLatin1String("nodeId")] = nodeId;
    record[QLatin1String("questionId")] = questionId;
    record[QLatin1String("questionType")] = questionType;
    return record;
}

} // namespace YRPlanDataUtil

namespace YRPlanDataUtil {

QVector<TransferRecord> fileNodeRecords(const NodeFileContent &file, FileRecordOrigin origin)
{
    const bool fromDocument = origin == FileRecordOrigin::Document;
    TransferRecord record = resourceRecord(file.fileCloudSource, file.cloudPath,
                                           QStringLiteral("file"), file.localPath, file.id);
    record.isTranslate = file.isTranslate;
    record.withIsTranslate = true;
    record.fileSize = file.fileSize;
    record.withFileSize = fromDocument;
    record.fileMD5 = file.fileMD5;
    record.withFileMD5 = true;
    if (file.cloudThumb.isEmpty())
        return {record};
    TransferRecord thumb = resourceRecord(file.fileCloudSource, file.cloudThumb,
                                          QStringLiteral("fileThumb"), file.localThumb, file.id);
    thumb.withNodeId = fromDocument;
    thumb.isTranslate = file.isTranslate;
    thumb.withIsTranslate = true;
    thumb.withFileMD5 = fromDocument; // empty for a thumbnail
    return {record, thumb};
}

} // namespace YRPlanDataUtil
