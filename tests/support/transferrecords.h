#ifndef TRANSFERRECORDS_H
#define TRANSFERRECORDS_H

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// Small helpers shared by the tests that build transfer records and the files they name.
namespace TransferRecords {

// A download record of a file node for dest, as the plan data builds it.
inline QJsonObject download(const QString &dest, const QString &nodeId = QStringLiteral("n1"),
                            const QString &localPath = QStringLiteral("/a.txt"))
{
    return QJsonObject{{QStringLiteral("dest"), dest},
                       {QStringLiteral("downloadMethod"), QStringLiteral("queue")},
                       {QStringLiteral("fileCloudSource"), QStringLiteral("resource")},
                       {QStringLiteral("cloudPath"), QStringLiteral("/cloud") + localPath},
                       {QStringLiteral("nodeType"), QStringLiteral("file")},
                       {QStringLiteral("isTranslate"), 0},
                       {QStringLiteral("localPath"), localPath},
                       {QStringLiteral("nodeId"), nodeId},
                       {QStringLiteral("fileType"), QStringLiteral("txt")}};
}

// An upload record as the upload flow builds it before uploadFileToCloud.
inline QJsonObject upload(const QString &planDir, const QString &localPath,
                          const QString &nodeId = QStringLiteral("n1"))
{
    return QJsonObject{{QStringLiteral("dest"), planDir + localPath},
                       {QStringLiteral("localPath"), localPath},
                       {QStringLiteral("localPath_temp"), planDir + localPath},
                       {QStringLiteral("remotePath"), QStringLiteral("/u") + localPath},
                       {QStringLiteral("bucketName"), QStringLiteral("bucket-up")},
                       {QStringLiteral("replace"), true},
                       {QStringLiteral("fileCloudSource"), QStringLiteral("localUpload")},
                       {QStringLiteral("nodeId"), nodeId}};
}

// Writes bytes into path (creating its directory); false when that fails.
inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

inline QString md5Hex(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

// The "tempPath" texts of progress entries with the given percent, in order.
inline QStringList progressPaths(const QJsonArray &progress, int percent)
{
    QStringList paths;
    for (const QJsonValue &entry : progress) {
        if (entry.toObject().value(QStringLiteral("percent")).toInt() == percent)
            paths.append(entry.toObject().value(QStringLiteral("tempPath")).toString());
    }
    return paths;
}

} // namespace TransferRecords

#endif // TRANSFERRECORDS_H
