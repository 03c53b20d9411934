// Signed in: the session, the teacher's cloud plans, their export and the record of a deleted
// plan. Saving to the cloud is the controller's own flow (savePlan).

#include "studiowindow.h"

#include "cloudplans.h"
#include "netmanager/yrhttpnetworkmanager.h"
#include "plandata/planpaths.h"
#include "studiolog.h"
#include "teachingplanoperate/yrteachingplanoperate.h"

#include <QLabel>
#include <QProgressBar>

namespace {

const QLatin1String kDeletePlanApi("api/teaplan/deleteplan");
// The mark under which the resource manager takes the answer of a network check.
const QLatin1String kResourceCheckMark("YRResourceManage");

} // namespace

void StudioWindow::signIn(const QUrl &service, const QString &token)
{
    showMessage(tr("Signing in to %1…").arg(service.toDisplayString()));
    m_network->signIn(service, token);
}

bool StudioWindow::isSignedIn() const
{
    return m_network->isSignedIn() && !YRPlanPaths::signedInUserId().isEmpty();
}

void StudioWindow::takeSignIn(bool ok, const QJsonObject &session, const QString &error)
{
    if (ok) {
        // As the library reads them: the teacher and the storage domains.
        YRHttpNetWorkManager::applySessionToApplication(session);
        // The resource manager learns that the network is there.
        if (auto *check = qobject_cast<IYRNetWorkCheck *>(m_network->getNetWorkObject()))
            check->checkNetWork(kResourceCheckMark);
        m_modeLabel->setText(
            tr("Signed in as %1: plans are saved to the cloud").arg(YRPlanPaths::signedInUserId()));
        showMessage(tr("Signed in."));
    } else {
        qCWarning(lcStudio) << "StudioWindow: sign-in failed:" << error;
        showMessage(tr("Signing in failed: %1").arg(error));
    }
    updateActions();
    emit signInFinished(ok, error);
}

void StudioWindow::askCloudPlan(const QString &title,
                                void (StudioWindow::*action)(const CloudPlan &))
{
    if (!isSignedIn())
        return;
    CloudPlanDialog dialog(m_network.get(), title, this);
    if (dialog.exec() == QDialog::Accepted && dialog.chosen().id >= 0)
        (this->*action)(dialog.chosen());
}

void StudioWindow::chooseCloudPlanToOpen()
{
    askCloudPlan(tr("Open Cloud Plan"), &StudioWindow::openCloudPlan);
}

void StudioWindow::openCloudPlan(const CloudPlan &plan)
{
    closePlanThen([this, plan] {
        // The document comes down first; the controller reports the plan open when it is in.
        m_controller->openTeachingPlan(plan.jsonPath, QString::number(plan.id), QString(),
                                       plan.title, QStringLiteral("5.0"));
    });
}

void StudioWindow::askExport()
{
    if (isSignedIn())
        askCloudPlan(tr("Export Cloud Plan"), &StudioWindow::exportCloudPlan);
    else
        askSavePlanCopy();
}

void StudioWindow::exportCloudPlan(const CloudPlan &plan)
{
    // An export works in a directory of its own: the open plan is closed first.
    closePlanThen([this, plan] {
        if (!m_controller->exportTeachingPlan(QString::number(plan.id), plan.jsonPath, plan.title,
                                              QString()))
            m_exportProgress->hide();
    });
}

void StudioWindow::deleteCloudRecord(int planId)
{
    auto *http = qobject_cast<IYRHttpRequest *>(m_network->getHttpObject());
    if (!isSignedIn() || planId < 0 || !http)
        return;
    if (!http->sendRequest({{QStringLiteral("p_id"), QString::number(planId)}}, kDeletePlanApi,
                           QString(), 0))
        showMessage(tr("The plan service was not asked to delete the plan."));
}
