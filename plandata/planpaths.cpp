#include "plandata/planpaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QVariant>
#include <QtGlobal>

namespace YRPlanPaths {

namespace {

const char kRootSuffix[] = "/Orvane/Tavrunelcore/TeachPlans";

QString teachingPlanBase()
{
    const QString profile = qEnvironmentVariable("ALLUSERSPROFILE");
    // The variable is a Windows path; the root is always kept with "/" separators.
    if (!profile.isEmpty())
        return QString(profile).replace(QLatin1Char('\\'), QLatin1Char('/'));
    // Not Windows, or a stripped environment: keep the plans under the user's data folder
    // instead of the top of the file system.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

} // namespace

QString signedInUserId()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return app ? app->property("uid").toString() : QString();
}

QJsonObject resourceDomains()
{
    const QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return QJsonObject();
    const QVariant table = app->property("ResourceDomain");
    switch (table.userType()) {
    case QMetaType::QJsonObject:
        return table.toJsonObject();
    case QMetaType::QJsonDocument:
        return table.toJsonDocument().object();
    case QMetaType::QVariantMap:
        return QJsonObject::fromVariantMap(table.toMap());
    case QMetaType::QVariantHash:
        return QJsonObject::fromVariantHash(table.toHash());
    case QMetaType::QString:
    case QMetaType::QByteArray:
        return QJsonDocument::fromJson(table.toByteArray()).object();
    default:
        return QJsonObject();
    }
}

QString teachingPlanRoot()
{
    QString base = teachingPlanBase();
    while (base.size() > 1 && base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base + QLatin1String(kRootSuffix);
}

QString teachingPlanRootWithSlash()
{
    return teachingPlanRoot() + QLatin1Char('/');
}

bool isInside(const QString &dir, const QString &path)
{
    if (dir.isEmpty() || path.contains(QLatin1Char('\\')))
        return false;
    const QString cleanDir = QDir::cleanPath(dir);
    const QString cleanPath = QDir::cleanPath(path);
    // A colon after the directory part would name a drive or a stream on Windows.
    if (cleanPath.indexOf(QLatin1Char(':'), cleanDir.size()) >= 0)
        return false;
    const QString prefix =
        cleanDir.endsWith(QLatin1Char('/')) ? cleanDir : cleanDir + QLatin1Char('/');
    return cleanPath.startsWith(prefix) && cleanPath.size() > prefix.size();
}

bool isPlanRelative(const QString &localPath)
{
    // Appended without a separator, a path without its own leading "/" would name a sibling of
    // the plan directory ("plan-1" + "-x/a" is "plan-1-x/a").
    if (!localPath.startsWith(QLatin1Char('/')) || localPath.contains(QLatin1Char('\\')) ||
        localPath.contains(QLatin1Char(':')))
        return false;
    // Without "/." or "//" there is nothing that cleaning could resolve.
    if (!localPath.contains(QLatin1String("/.")) && !localPath.contains(QLatin1String("//")))
        return localPath.size() > 1;
    const QString anchor = QStringLiteral("/plan");
    const QString cleaned = QDir::cleanPath(anchor + localPath);
    return cleaned.startsWith(anchor + QLatin1Char('/')) && cleaned.size() > anchor.size() + 1;
}

bool isPlainFileName(const QString &name)
{
    // File systems count a name's bytes; 255 is the common limit (ext4, NTFS in UTF-16 units
    // allows more, but the plan must unpack everywhere).
    constexpr int kMaxNameBytes = 255;
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
           !name.contains(QLatin1Char(':')) && !name.contains(QChar(0)) &&
           name.toUtf8().size() <= kMaxNameBytes;
}

bool planFilePath(const QString &dir, const QString &localPath, QString *result)
{
    if (localPath.isEmpty()) {
        *result = dir;
        return true;
    }
    // A plan-relative path cannot climb out of whatever directory it is appended to.
    if (!isPlanRelative(localPath))
        return false;
    *result = dir + localPath;
    return true;
}

} // namespace YRPlanPaths
