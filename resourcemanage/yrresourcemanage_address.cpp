#include "resourcemanage/yrresourcemanage.h"

#include "plandata/planpaths.h"
#include "resourcemanage/resourcelog_p.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QVariant>

namespace {

// The group of the domain table and the bucket label of the signature for a
// "fileCloudSource"; false for a source that has no address.
bool sourceGroupAndBucket(const QString &source, QString *group, QString *bucket)
{
    const auto is = [&source](const char *name) {
        return source.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
    };
    if (is("resource")) {
        *group = QStringLiteral("resource");
        *bucket = QStringLiteral("vexores");
        return true;
    }
    // The other sources name their group themselves, letter case included.
    for (const char *name :
         {"wpan", "minvideo", "localUpload", "subjectApp", "jsonroad", "question"}) {
        if (is(name)) {
            *group = source;
            bucket->clear();
            return true;
        }
    }
    if (is("ebook")) {
        *group = source;
        *bucket = QStringLiteral("vexopub");
        return true;
    }
    return false;
}

// The key of the group's base address for a record: thumbnails, originals, converted copies.
QString addressKey(const QString &nodeType, int translated)
{
    if (nodeType.compare(QLatin1String("fileThumb"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("thumbDomain");
    return translated == 0 ? QStringLiteral("fileDomain") : QStringLiteral("transFileDomain");
}

} // namespace

QJsonObject YRResourceManage::resourceDomains()
{
    return YRPlanPaths::resourceDomains();
}

QString YRResourceManage::getFullUrl(const QJsonObject &record)
{
    const QJsonObject domains = resourceDomains();
    const QString cloudPath = record.value(QLatin1String("cloudPath")).toString();
    const QString source = record.value(QLatin1String("fileCloudSource")).toString();
    const QString nodeType = record.value(QLatin1String("nodeType")).toString();
    const int translated = record.value(QLatin1String("isTranslate")).toInt();

    const QString key = addressKey(nodeType, translated);
    qCInfo(lcResource).noquote() << "YRResourceManage::getFullUrl"
                                 << "nodeType:" << nodeType << "nTransfer:" << translated
                                 << "Domain:" << key;
    QString groupName;
    QString bucket;
    if (!sourceGroupAndBucket(source, &groupName, &bucket)) {
        qCWarning(lcResource).noquote() << "YRResourceManage::getFullUrl"
                                        << "no address for fileCloudSource" << source;
        return QString();
    }
    const QJsonObject group = domains.value(groupName).toObject();
    if (groupName == QLatin1String("jsonroad"))
        qCInfo(lcResource).noquote()
            << "YRResourceManage::getFullUrl"
            << "*******jsonDomain" << recordText(group) << "*******cloudPath" << cloudPath;
    const QString address = joinPathFileName(group.value(key).toString(), cloudPath);
    qCInfo(lcResource).noquote() << "YRResourceManage::getFullUrl"
                                 << "strSrcUrl:" << address;
    IYRFileTransfer *files = transfer();
    const QString signature = files ? files->getSign(bucket) : QString();
    return address + QLatin1String("?sign=") + signature;
}

QString YRResourceManage::joinPathFileName(const QString &base, const QString &name)
{
    const auto isSeparator = [](QChar c) {
        return c == QLatin1Char('/') || c == QLatin1Char('\\');
    };
    QString joined = QDir::toNativeSeparators(base);
    if (joined.isEmpty() || !isSeparator(joined.back()))
        joined += QLatin1Char('/');
    joined += (!name.isEmpty() && isSeparator(name.front())) ? name.mid(1) : name;
    return joined.replace(QLatin1Char('\\'), QLatin1Char('/'));
}
