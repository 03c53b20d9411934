#include "buckets.h"

#include "users.h"

namespace Buckets {

namespace {

struct Group
{
    const char *name;
    const char *bucket;
    // Where the group's addresses point below the bucket. The library fetches a plan's
    // document by its path below the plan root, without the "plan/" that starts its key.
    const char *below;
};

const Group kGroups[] = {
    {"jsonroad", kPlanDocuments, "/plan"},
    {"localUpload", kPlanFiles, ""},
    {"resource", "resource", ""},
    {"ebook", "ebook", ""},
    {"question", kQuestion, ""},
    {"subjectApp", "subjectapp", ""},
    {"wpan", "wpan", ""},
    {"minvideo", "minvideo", ""},
};

} // namespace

QStringList all()
{
    QStringList buckets;
    for (const Group &group : kGroups)
        buckets.append(QLatin1String(group.bucket));
    return buckets;
}

bool exists(const QString &bucket)
{
    return all().contains(bucket);
}

bool isPlanBucket(const QString &bucket)
{
    return bucket == QLatin1String(kPlanDocuments) || bucket == QLatin1String(kPlanFiles);
}

QByteArray planPrefix(qint64 uid)
{
    return QByteArrayLiteral("plan/") + QByteArray::number(uid) + '/';
}

bool mayRead(const CloudUser &user, const QString &bucket, const QByteArray &key)
{
    if (!exists(bucket))
        return false;
    return !isPlanBucket(bucket) || key.startsWith(planPrefix(user.uid));
}

bool mayWrite(const CloudUser &user, const QString &bucket, const QByteArray &key)
{
    return isPlanBucket(bucket) && key.startsWith(planPrefix(user.uid));
}

QStringList labelsCovering(const QString &bucket)
{
    QStringList labels{QString()};
    if (bucket == QLatin1String("resource"))
        labels.append(QStringLiteral("vexores"));
    else if (bucket == QLatin1String("ebook"))
        labels.append(QStringLiteral("vexopub"));
    return labels;
}

QJsonObject resourceDomain(const QString &storeUrl)
{
    QString base = storeUrl;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    QJsonObject table;
    for (const Group &group : kGroups) {
        const QString address =
            base + QLatin1Char('/') + QLatin1String(group.bucket) + QLatin1String(group.below);
        table.insert(QLatin1String(group.name),
                     QJsonObject{{QStringLiteral("bucket"), QLatin1String(group.bucket)},
                                 {QStringLiteral("fileDomain"), address},
                                 {QStringLiteral("transFileDomain"), address},
                                 {QStringLiteral("thumbDomain"), address}});
    }
    return table;
}

} // namespace Buckets
