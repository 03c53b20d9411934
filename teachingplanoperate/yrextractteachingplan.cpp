#include "teachingplanoperate/yrextractteachingplan.h"
#include "interfaces/planpackage.h"
#include "teachingplanoperate/operatelog_p.h"
#include "teachingplanoperate/workerlocker_p.h"

#include <QFileInfo>

YRExtractTeachingPlan::YRExtractTeachingPlan(QObject *parent) : QThread(parent) {}

YRExtractTeachingPlan::~YRExtractTeachingPlan()
{
    wait();
}

void YRExtractTeachingPlan::setPaths(const QString &destination, const QString &package)
{
    WorkerLocker locker(m_mutex);
    m_destination = destination;
    m_package = package;
}

void YRExtractTeachingPlan::run()
{
    QString destination;
    QString package;
    {
        WorkerLocker locker(m_mutex);
        destination = m_destination;
        package = m_package;
    }
    const QFileInfo packageInfo(package);
    if (!packageInfo.isFile()) {
        qCWarning(lcOperate).noquote() << "YRExtractTeachingPlan::run"
                                       << "no package at" << package;
        emit signalExtractFinished(false);
        return;
    }
    const bool extracted =
        YRPlanPackage::extractPackage(packageInfo.absoluteFilePath(), destination);
    qCDebug(lcOperate).noquote() << "YRExtractTeachingPlan::run" << packageInfo.absoluteFilePath()
                                 << destination << extracted;
    emit signalExtractFinished(extracted);
}
