#ifndef PLANFIXTURES_H
#define PLANFIXTURES_H

// Documents and helpers shared by the plan-data tests.

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

namespace PlanFixtures {

inline QJsonObject description(const QString &version = "5.0")
{
    return QJsonObject{{"GUID", "doc-guid"},
                       {"authorId", "u1"},
                       {"board", 3},
                       {"createTime", 1700000000},
                       {"documentVersion", version},
                       {"introspection", "went well"},
                       {"name", "Fractions"},
                       {"stepCount", 1},
                       {"updateTime", 1700000100}};
}

inline QJsonObject node(const QString &id, const QString &type, int order,
                        const QJsonObject &content)
{
    return {{"nodeId", id}, {"nodeType", type}, {"nodeOrder", order}, {"nodeContent", content}};
}

inline QJsonObject fileContent(const QString &name, const QString &localPath,
                               const QString &source = "resource", const QString &md5 = "0123")
{
    return QJsonObject{{"cloudPath", "c/" + name}, {"fileCloudSource", source},
                       {"fileMD5", md5},           {"fileName", name},
                       {"fileSize", "100"},        {"fileType", "docx"},
                       {"isTranslate", 0},         {"localPath", localPath}};
}

inline QJsonObject step(const QString &id, const QString &typeName, const QJsonArray &nodes,
                        const QString &name = "step")
{
    return {
        {"attr",
         QJsonObject{{"stepId", id}, {"stepName", name}, {"stepOrder", 0}, {"stepType", typeName}}},
        {"nodes", nodes}};
}

inline QJsonObject inquiryStep(const QString &id, const QJsonArray &tasks)
{
    QJsonObject object = step(id, "分组探究", {});
    object.remove("nodes");
    object.insert("tasks", tasks);
    return object;
}

inline QJsonObject task(const QString &name, int order, const QJsonArray &nodes)
{
    return {{"taskId", "ignored"},
            {"taskName", name},
            {"taskOrder", order},
            {"taskDesc", "desc of " + name},
            {"nodes", nodes}};
}

inline QString document(const QJsonObject &description, const QJsonArray &steps)
{
    return QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("description"), description},
                                                       {QStringLiteral("steps"), steps}})
                                 .toJson());
}

inline const QJsonObject parse(const QString &text)
{
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

// An object written as compact JSON text, "%1" standing for arg.
inline QJsonObject object(const char *json, const QString &arg = QString())
{
    return QJsonDocument::fromJson(QString::fromUtf8(json).arg(arg).toUtf8()).object();
}

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes bytes into path, creating its directory; false when that fails.
inline bool writeFile(const QString &path, const QByteArray &bytes, bool append = false)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) &&
           file.open(append ? QIODevice::Append : QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

inline QString md5Of(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

// A plan named name with one step "s1" holding the file node "n1" (/s1/a.docx).
inline QString oneFilePlan(const QString &name, const QString &version = QStringLiteral("5.0"))
{
    QJsonObject attributes = description(version);
    attributes.insert(QStringLiteral("name"), name);
    const QJsonArray nodes{
        node(QStringLiteral("n1"), QStringLiteral("file"), 0,
             fileContent(QStringLiteral("a.docx"), QStringLiteral("/s1/a.docx")))};
    return document(attributes, {step(QStringLiteral("s1"), QStringLiteral("内容精讲"), nodes)});
}

// The plan name that the document file at path holds.
inline QString nameInDocument(const QString &path)
{
    return parse(QString::fromUtf8(readAll(path)))
        .value(QStringLiteral("description"))
        .toObject()
        .value(QStringLiteral("name"))
        .toString();
}

} // namespace PlanFixtures

#endif // PLANFIXTURES_H
