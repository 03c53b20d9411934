#ifndef PLANFIXTURES_H
#define PLANFIXTURES_H

// Documents and helpers shared by the plan-data tests.

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

namespace PlanFixtures {

inline QJsonObject description(const QString &version = QStringLiteral("5.0"))
{
    return QJsonObject{{QStringLiteral("GUID"), QStringLiteral("doc-guid")},
                       {QStringLiteral("authorId"), QStringLiteral("u1")},
                       {QStringLiteral("board"), 3},
                       {QStringLiteral("createTime"), 1700000000},
                       {QStringLiteral("documentVersion"), version},
                       {QStringLiteral("introspection"), QStringLiteral("went well")},
                       {QStringLiteral("name"), QStringLiteral("Fractions")},
                       {QStringLiteral("stepCount"), 1},
                       {QStringLiteral("updateTime"), 1700000100}};
}

inline QJsonObject node(const QString &id, const QString &type, int order,
                        const QJsonObject &content)
{
    return QJsonObject{{QStringLiteral("nodeId"), id},
                       {QStringLiteral("nodeType"), type},
                       {QStringLiteral("nodeOrder"), order},
                       {QStringLiteral("nodeContent"), content}};
}

inline QJsonObject fileContent(const QString &name, const QString &localPath,
                               const QString &source = QStringLiteral("resource"),
                               const QString &md5 = QStringLiteral("0123"))
{
    return QJsonObject{{QStringLiteral("cloudPath"), QStringLiteral("c/") + name},
                       {QStringLiteral("fileCloudSource"), source},
                       {QStringLiteral("fileMD5"), md5},
                       {QStringLiteral("fileName"), name},
                       {QStringLiteral("fileSize"), QStringLiteral("100")},
                       {QStringLiteral("fileType"), QStringLiteral("docx")},
                       {QStringLiteral("isTranslate"), 0},
                       {QStringLiteral("localPath"), localPath}};
}

inline QJsonObject step(const QString &id, const QString &typeName, const QJsonArray &nodes,
                        const QString &name = QStringLiteral("step"))
{
    return QJsonObject{
        {QStringLiteral("attr"), QJsonObject{{QStringLiteral("stepId"), id},
                                             {QStringLiteral("stepName"), name},
                                             {QStringLiteral("stepOrder"), 0},
                                             {QStringLiteral("stepType"), typeName}}},
        {QStringLiteral("nodes"), nodes}};
}

inline QJsonObject inquiryStep(const QString &id, const QJsonArray &tasks)
{
    QJsonObject object = step(id, QStringLiteral("分组探究"), {});
    object.remove(QStringLiteral("nodes"));
    object.insert(QStringLiteral("tasks"), tasks);
    return object;
}

inline QJsonObject task(const QString &name, int order, const QJsonArray &nodes)
{
    return QJsonObject{{QStringLiteral("taskId"), QStringLiteral("ignored")},
                       {QStringLiteral("taskName"), name},
                       {QStringLiteral("taskOrder"), order},
                       {QStringLiteral("taskDesc"), QStringLiteral("desc of ") + name},
                       {QStringLiteral("nodes"), nodes}};
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

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
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
