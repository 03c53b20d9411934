// Document versions: recognising a plan's generation, asking before converting, and having
// the plan service convert a plan that has no document.

#include "teachingplanoperate/yrteachingplanoperate.h"

#include "interfaces/yrtpversiontransformdialog.h"
#include "teachingplanoperate/operatelog_p.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

int YRTeachingPlanOperate::readVersionFromJson(const QString &path)
{
    if (!QFileInfo(path).isFile()) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::readVersionFromJson"
                                     << "Json file doesn't exist!";
        return TPV_Unknown;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) ||
        !m_pPlanData->setJson(QString::fromUtf8(file.readAll()))) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::readVersionFromJson"
                                     << "TPV_Unknown";
        return TPV_Unknown;
    }
    const QString &version = m_pPlanData->getTeachingPlanAttr().strDocumentVersion;
    if (version == QLatin1String("4.0"))
        return TPV_Version4;
    if (version == YROperate::currentDocumentVersion())
        return TPV_Version5;
    qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::readVersionFromJson"
                                 << "Unknow Version";
    return TPV_Unknown;
}

bool YRTeachingPlanOperate::transformToCurrentVersion()
{
    YRTPVersionTransformDialog dialog(qobject_cast<QWidget *>(parent()));
    return dialog.exec() == QDialog::Accepted;
}

bool YRTeachingPlanOperate::openUnknownVersion()
{
    return false;
}

void YRTeachingPlanOperate::askCloudTranslatePlan(const QString &planid, const QString &uid,
                                                  const QString &version)
{
    QMap<QString, QString> params;
    params.insert(QStringLiteral("planid"), planid);
    params.insert(QStringLiteral("uid"), uid);
    params.insert(QStringLiteral("version"), version);
    if (IYRHttpRequest *request = httpRequest())
        request->sendQueryRequest(params, QStringLiteral("api/teaplan/Translateplan"), QString(),
                                  0);
}

bool YRTeachingPlanOperate::jsonVersion4To5(const QString &jsonPath, const QString &name,
                                            const QString &planId)
{
    if (!enterDocumentDir(jsonPath)) {
        failExport();
        return false;
    }
    m_planName = name;
    bool parsed = false;
    const int id = planId.toInt(&parsed, 10);
    if (parsed) {
        TeachingPlanAttr attr = m_pPlanData->getTeachingPlanAttr();
        attr.iPlanId = id;
        m_pPlanData->setTeachingPlanAttr(attr);
    }
    return downloadFileFromCloud(jsonPath, QStringLiteral("jsonroad"));
}

void YRTeachingPlanOperate::stampCurrentVersion()
{
    TeachingPlanAttr attr = m_pPlanData->getTeachingPlanAttr();
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    attr.iCreateTime = now;
    attr.iUpdateTime = now;
    attr.strDocumentVersion = YROperate::currentDocumentVersion();
    m_pPlanData->setTeachingPlanAttr(attr);
}
