// Signed in: the session, the user's cloud plans, and the controller's cloud flows driven as a
// host drives them.

#include "planhost.h"

#include "netmanager/yrhttpnetworkmanager.h"
#include "netmanager/yrhttprequest.h"
#include "networkactivity.h"
#include "plandata/planpaths.h"
#include "planfiles.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QLatin1String kDeletePlanApi("api/teaplan/deleteplan");
const QLatin1String kQuestionApi("api/teaplan/onequeinfo");
const QLatin1String kCreatePlanApi("api/teaplan/createplan");
const QLatin1String kUpdatePlanApi("api/teaplan/updatePlan");
const QLatin1String kSaveStatus("savePlanStatus(");
// The document version a host asks for when it opens a plan from the list.
const QLatin1String kCurrentVersion("5.0");

// Signing in, the first network check, and a plan-service request of a command's own: each
// is one request, which the network manager gives up after 30 s.
const int kRequestWaitMs = 60000;
// A flow that moves files may take long, but not for ever.
const int kCloudFlowTimeoutMs = 30 * 60 * 1000;
// A flow ends when no transfer is under way and nothing was answered for this long: longer
// than the time-out of a request that is still out.
const qint64 kNetworkIdleMs = 90000;

// The status of the last savePlanStatus(status, id, document) statement, or -1 when none came.
int lastSaveStatus(const QStringList &scripts)
{
    for (auto it = scripts.crbegin(); it != scripts.crend(); ++it) {
        if (it->startsWith(kSaveStatus))
            return it->mid(kSaveStatus.size(), 1).toInt();
    }
    return -1;
}

} // namespace

bool PlanHost::waitForNetwork(const std::function<bool()> &done)
{
    return waitUntil(
               [&] {
                   const bool moving =
                       m_resources.hasDownloadingFile() || m_resources.hasUploadingFile();
                   return done() || (!moving && m_activity->idleMs() > kNetworkIdleMs);
               },
               kCloudFlowTimeoutMs) &&
           done();
}

QString PlanHost::withNetworkFailure(const QString &message, int mark) const
{
    const QVector<NetworkEvent> events = m_activity->since(mark);
    for (auto it = events.crbegin(); it != events.crend(); ++it) {
        if (!it->ok && it->kind != NetworkEvent::Check)
            return message + QStringLiteral(" (") + it->line + QLatin1Char(')');
    }
    return message;
}

bool PlanHost::signIn(QString *error)
{
    if (!m_cloud)
        return true;
    clearReports();
    const QString service = m_account.service.toDisplayString();
    bool answered = false;
    bool signedIn = false;
    QJsonObject session;
    QString why;
    const QMetaObject::Connection connection =
        connect(m_cloud, &YRHttpNetWorkManager::signInFinished, this,
                [&](bool ok, const QJsonObject &answer, const QString &failure) {
                    answered = true;
                    signedIn = ok;
                    session = answer;
                    why = failure;
                });
    m_cloud->signIn(m_account.service, m_account.token);
    waitUntil([&] { return answered; }, kRequestWaitMs);
    disconnect(connection);
    // The manager's warning says no more than its answer.
    takeLibraryWarnings();
    if (!answered)
        return failed(error, QStringLiteral("the plan service at %1 did not answer").arg(service));
    if (!signedIn)
        return failed(error, QStringLiteral("cannot sign in to %1: %2").arg(service, why));
    YRHttpNetWorkManager::applySessionToApplication(session);
    // A host drives cloud flows once the resource manager knows that the service is there.
    if (!waitUntil([this] { return m_resources.IsConnectedWithNet(); }, kRequestWaitMs))
        return failed(
            error,
            QStringLiteral("the plan service at %1 did not answer the network check").arg(service));
    return true;
}

bool PlanHost::askService(bool query, const QString &api, const QMap<QString, QString> &params,
                          QJsonObject *reply, QString *error)
{
    auto *request = qobject_cast<YRHttpRequest *>(m_cloud->getHttpObject());
    bool answered = false;
    int code = 0;
    const QMetaObject::Connection finished =
        connect(request, &YRHttpRequest::sglHttpRequestFinish, this,
                [&](const QString &mark, const QJsonObject &body, const QString &) {
                    if (mark == api && !std::exchange(answered, true))
                        *reply = body;
                });
    const QMetaObject::Connection refused =
        connect(request, &YRHttpRequest::sglHttpRequestError, this,
                [&](const QString &mark, int failure, const QString &) {
                    if (mark == api && !std::exchange(answered, true))
                        code = failure;
                });
    // A request that is refused at once is answered all the same.
    if (query)
        request->sendQueryRequest(params, api, QString(), 0);
    else
        request->sendRequest(params, api, QString(), 0);
    waitUntil([&] { return answered; }, kRequestWaitMs);
    disconnect(finished);
    disconnect(refused);
    if (!answered)
        return failed(error, QStringLiteral("the plan service did not answer %1").arg(api));
    if (code != 0)
        return failed(
            error, QStringLiteral("the plan service answered %1 with error %2").arg(api).arg(code));
    if (!reply->value(QLatin1String("success")).toBool())
        return failed(error, QStringLiteral("the plan service refused %1: %2")
                                 .arg(api, reply->value(QLatin1String("message")).toString()));
    return true;
}

bool PlanHost::listCloudPlans(QVector<CloudPlan> *plans, QString *error)
{
    clearReports();
    QJsonObject reply;
    if (!askService(true, YRCloudPlan::listApi(), {}, &reply, error))
        return false;
    *plans = YRCloudPlan::listedIn(reply);
    return true;
}

bool PlanHost::findCloudPlan(int id, CloudPlan *plan, QString *error)
{
    QVector<CloudPlan> plans;
    if (!listCloudPlans(&plans, error))
        return false;
    for (const CloudPlan &listed : qAsConst(plans)) {
        if (listed.id == id) {
            *plan = listed;
            return true;
        }
    }
    *error =
        QStringLiteral("there is no cloud plan %1 of yours (yrplan cloud list shows them)").arg(id);
    return false;
}

QString PlanHost::cloudPlanDirectory(const CloudPlan &plan) const
{
    // The root as the plan data computes it when the controller prepares a plan.
    return QDir::cleanPath(
        QFileInfo(YRPlanPaths::teachingPlanRoot() + QLatin1Char('/') + plan.jsonPath)
            .absolutePath());
}

bool PlanHost::removeDirectoryInRoot(const QString &directory)
{
    // The controller removes it only where it lies inside the teaching-plan root.
    m_planData.setTeachingPlanDir(directory);
    return m_controller.removeTeachingPlanDir();
}

void PlanHost::discardCloudPlanDirectory(const QString &directory, bool existedBefore)
{
    if (!existedBefore && QFileInfo(directory).isDir() && removeDirectoryInRoot(directory))
        removeEmptyParents(directory);
}

bool PlanHost::openCloudPlan(const CloudPlan &plan, QString *error)
{
    clearReports();
    const int mark = m_activity->mark();
    const QString message = QStringLiteral("cannot open the cloud plan %1").arg(plan.id);
    // The document comes down first; the controller reports the plan open once it is in.
    if (!m_controller.openTeachingPlan(plan.jsonPath, QString::number(plan.id), QString(),
                                       plan.title, kCurrentVersion) ||
        !waitForNetwork([this] { return hasReported(TPOS_Success_Open) || failureState() >= 0; }) ||
        failureState() >= 0)
        return failed(error, withNetworkFailure(message, mark));
    return fetchPlanResources(error);
}

bool PlanHost::fetchPlanResources(QString *error)
{
    // Read before the resource stage, which takes them from the plan data.
    QVector<QJsonObject> needed = m_planData.getJsonFiles();
    const int questions = m_planData.getJsonQuestions().size();
    needed += m_planData.getJsonQuestions();
    const int mark = m_activity->mark();
    m_controller.downloadResourceFromJson();
    // A question's pictures are queued as its content is answered.
    const auto settled = [&] {
        return m_activity->count(NetworkEvent::Request, kQuestionApi, mark, false) >= questions &&
               !m_resources.hasDownloadingFile();
    };
    if (!waitForNetwork(settled))
        return failed(error, withNetworkFailure(QStringLiteral("the files of the plan did not "
                                                               "all arrive"),
                                                mark));
    QStringList missing;
    for (const QJsonObject &record : qAsConst(needed)) {
        const QString localPath = record.value(QLatin1String("localPath")).toString();
        QString path;
        // A thumbnail that the cloud lacks does not make the plan unusable.
        if (record.value(QLatin1String("nodeType")).toString() != QLatin1String("fileThumb") &&
            (!YRPlanPaths::planFilePath(planDirectory(), localPath, &path) ||
             !QFileInfo(path).isFile()))
            missing << localPath;
    }
    for (const NetworkEvent &event : m_activity->since(mark)) {
        if (event.kind == NetworkEvent::Download && !event.ok && !QFileInfo::exists(event.subject))
            missing << event.subject;
    }
    if (!missing.isEmpty())
        return failed(error, withNetworkFailure(QStringLiteral("%1 of the plan's files did not "
                                                               "arrive, the first %2")
                                                    .arg(missing.size())
                                                    .arg(missing.first()),
                                                mark));
    return true;
}

bool PlanHost::saveToCloud(QString *api, QString *error)
{
    clearReports();
    const int mark = m_activity->mark();
    // Signed in, the answers report the outcome: the uploads that the save waits for, the
    // document's upload, then the plan service's record.
    m_controller.saveTeachingPlan();
    const bool told = waitForNetwork([this] { return lastSaveStatus(m_scripts) >= 0; });
    const bool created = m_activity->count(NetworkEvent::Request, kCreatePlanApi, mark, true) > 0;
    const bool updated = m_activity->count(NetworkEvent::Request, kUpdatePlanApi, mark, true) > 0;
    // Without the network the controller keeps the plan on disk and tells the page 1 as well.
    if (!told || lastSaveStatus(m_scripts) != 1 || !(created || updated))
        return failed(error, withNetworkFailure(QStringLiteral("the plan was not saved to the "
                                                               "cloud"),
                                                mark));
    *api = updated ? kUpdatePlanApi : kCreatePlanApi;
    return true;
}

bool PlanHost::runBackgroundCloudFlow(const CloudPlan &plan, int success,
                                      const std::function<bool()> &start, const QString &failure,
                                      QString *error)
{
    clearReports();
    const int mark = m_activity->mark();
    const QString directory = cloudPlanDirectory(plan);
    const bool existed = QFileInfo::exists(directory);
    const bool done =
        start() &&
        waitForNetwork([this, success] { return hasReported(success) || failureState() >= 0; }) &&
        failureState() < 0;
    discardCloudPlanDirectory(directory, existed);
    return done || failed(error, withNetworkFailure(failure, mark));
}

bool PlanHost::renameCloudPlan(const CloudPlan &plan, const QString &newName, QString *error)
{
    // The download flow renames the fetched document and sends it back; the plan service's
    // answer to the record that follows ends it.
    return runBackgroundCloudFlow(
        plan, TPOS_Success_Rename,
        [&] {
            return m_controller.renameTeachingPlan(QString::number(plan.id), newName, plan.jsonPath,
                                                   QStringLiteral("0"));
        },
        QStringLiteral("cannot rename the cloud plan %1").arg(plan.id), error);
}

bool PlanHost::exportCloudPlan(const CloudPlan &plan, const QString &target, QString *error)
{
    const auto start = [&] {
        m_dialogs.setFile(target);
        const bool started = m_controller.exportTeachingPlan(QString::number(plan.id),
                                                             plan.jsonPath, plan.title, QString());
        m_dialogs.setFile(QString());
        return started;
    };
    if (runBackgroundCloudFlow(plan, TPOS_Success_Export, start,
                               QStringLiteral("cannot export the cloud plan %1").arg(plan.id),
                               error))
        return true;
    if (m_dialogs.overwriteRefused())
        *error = QStringLiteral("%1 exists: --force replaces it").arg(target);
    return false;
}

bool PlanHost::deleteCloudPlan(const CloudPlan &plan, QString *error)
{
    clearReports();
    QJsonObject reply;
    if (!askService(false, kDeletePlanApi, {{QStringLiteral("p_id"), QString::number(plan.id)}},
                    &reply, error))
        return false;
    const QString directory = cloudPlanDirectory(plan);
    bool removed = true;
    if (QFileInfo(documentPathOf(directory)).isFile()) {
        removed = m_controller.deleteTeachingPlan(QString::number(plan.id), plan.jsonPath) &&
                  hasReported(TPOS_Success_Delete);
    } else if (QFileInfo(directory).isDir()) {
        // What an export left: the files without their document.
        removed = removeDirectoryInRoot(directory);
    }
    if (!removed)
        return failed(error, QStringLiteral("the cloud plan %1 is deleted, but not its copy in %2")
                                 .arg(plan.id)
                                 .arg(directory));
    return true;
}
