#include "planhost.h"

#include "cliutil.h"
#include "localnetwork.h"
#include "netmanager/yrhttpnetworkmanager.h"
#include "networkactivity.h"
#include "plandata/planpaths.h"
#include "planfiles.h"
#include "teachingplanoperate/yrextractteachingplan.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>

namespace {

// What the controller's planId says of a plan that exists only on this machine.
const QLatin1String kLocalPlanId("local");
// The mark that comes back with signalJsonVersion.
const QLatin1String kOpenMark("yrplan open");
// How often a wait looks at what it waits for, besides the controller's signals.
const int kWaitPollMs = 20;

std::unique_ptr<IYRNetWorkManager> networkManagerFor(const CloudAccount &account)
{
    if (account.isSet())
        return std::make_unique<YRHttpNetWorkManager>();
    return std::make_unique<LocalNetWorkManager>();
}

} // namespace

bool isFailureState(int state)
{
    return YRTeachingPlanOperate::stateName(state).startsWith(QLatin1String("TPOS_Fail_"));
}

QString describedState(int state)
{
    const QString name = YRTeachingPlanOperate::stateName(state);
    return QStringLiteral("state %1 %2")
        .arg(state)
        .arg(name.isEmpty() ? QStringLiteral("(unnamed)") : name);
}

PlanHost::PlanHost(bool trace, const CloudAccount &account)
    : m_trace(trace), m_network(networkManagerFor(account)),
      m_cloud(dynamic_cast<YRHttpNetWorkManager *>(m_network.get())), m_account(account),
      m_activity(m_cloud ? std::make_unique<NetworkActivity>(m_cloud, trace) : nullptr),
      m_resources(m_network.get()), m_controller(&m_planData, m_network.get(), &m_resources)
{
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, m_dialogSettings.path());
    connect(&m_controller, &YRTeachingPlanOperate::signalTeachingPlanOperateState, this,
            &PlanHost::recordState);
    connect(&m_controller, &YRTeachingPlanOperate::signalCefRunJavaScript, this,
            &PlanHost::recordScript);
    connect(&m_controller, &YRTeachingPlanOperate::signalJsonVersion, this,
            &PlanHost::recordVersion);
}

PlanHost::~PlanHost()
{
    // As a host does when it is done with a plan: transfers stopped, the plan data cleared.
    m_controller.closeTeachingPlan();
    if (isSignedIn()) {
        // Signed out: the next host of the process signs in for itself.
        QCoreApplication::instance()->setProperty("uid", QVariant());
        QCoreApplication::instance()->setProperty("ResourceDomain", QVariant());
    }
}

void PlanHost::recordState(int state)
{
    m_states.append(state);
    if (m_trace)
        standardOutput() << describedState(state) << '\n';
}

void PlanHost::recordScript(const QString &statement)
{
    m_scripts.append(statement);
    if (m_trace)
        standardOutput() << "js " << statement << '\n';
}

void PlanHost::recordVersion(int version, const QString &mark)
{
    m_version = version;
    m_mark = mark;
}

void PlanHost::clearReports()
{
    takeLibraryWarnings();
    m_dialogs.clearOutcomes();
    m_directoryBeforeFlow = planDirectory();
    m_states.clear();
    m_scripts.clear();
    m_version = -1;
    m_mark.clear();
}

int PlanHost::failureState() const
{
    for (int state : m_states) {
        if (isFailureState(state))
            return state;
    }
    return -1;
}

bool PlanHost::waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    const auto quitWhenDone = [&] {
        if (done())
            loop.quit();
    };
    connect(&m_controller, &YRTeachingPlanOperate::signalTeachingPlanOperateState, &loop,
            quitWhenDone);
    connect(&m_controller, &YRTeachingPlanOperate::signalJsonVersion, &loop, quitWhenDone);
    // What the network answers reaches the controller and the resource manager in many ways;
    // looking often is simpler than following each.
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, quitWhenDone);
    poll.start(kWaitPollMs);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

QString PlanHost::planDirectory() const
{
    const QString directory = m_planData.getTeachingPlanDir();
    return directory.isEmpty() ? QString() : QDir::cleanPath(directory);
}

void PlanHost::discardWorkingDirectory()
{
    const QString directory = planDirectory();
    if (directory.isEmpty() || directory == m_directoryBeforeFlow ||
        !m_controller.removeTeachingPlanDir())
        return;
    removeEmptyParents(directory);
}

void PlanHost::removeEmptyParents(const QString &directory)
{
    const QString root = QDir::cleanPath(m_planData.getTeachingPlanRoot());
    QDir parent(directory);
    // rmdir removes only empty folders: a folder that holds anything else stays.
    while (parent.cdUp() && YRPlanPaths::isInside(root, parent.path()) &&
           QDir().rmdir(parent.path())) {
    }
}

void PlanHost::waitForUnpackingThread()
{
    if (auto *worker = m_controller.findChild<YRExtractTeachingPlan *>())
        worker->wait(kUnpackTimeoutMs);
}

bool locateRootedPlan(const QString &argument, RootedPlan *plan, QString *error)
{
    const QFileInfo info(argument);
    QString directory = QDir::cleanPath(info.absoluteFilePath());
    if (info.isFile() && info.fileName() == QLatin1String("teachpkg.json")) {
        directory = QDir::cleanPath(info.absolutePath());
    } else if (!info.isDir()) {
        *error = QStringLiteral("no such plan directory: %1").arg(argument);
        return false;
    }
    const QString document = documentPathOf(directory);
    if (!QFileInfo(document).isFile()) {
        *error = QStringLiteral("%1 holds no teachpkg.json").arg(argument);
        return false;
    }
    // The root as the plan data computes it when the controller prepares a plan.
    const QString root = QDir(YRPlanPaths::teachingPlanRoot()).absolutePath();
    if (!YRPlanPaths::isInside(root, directory)) {
        *error = QStringLiteral("%1 does not lie under the teaching-plan root %2 (see --root)")
                     .arg(argument, root);
        return false;
    }
    plan->directory = directory;
    plan->jsonPath = QDir(root).relativeFilePath(document);
    return true;
}

bool PlanHost::failed(QString *error, const QString &message)
{
    QString text = message;
    const int state = failureState();
    if (state >= 0)
        text += QStringLiteral(": the controller reported ") + describedState(state);
    if (m_dialogs.conversionDeclined())
        text += QStringLiteral(" (an older 4.0 plan, not converted: --convert converts it)");
    const QStringList warnings = takeLibraryWarnings();
    if (!warnings.isEmpty())
        text += QStringLiteral(" [") + warnings.constLast() + QLatin1Char(']');
    *error = text;
    return false;
}

bool PlanHost::abandoned(QString *error, const QString &message)
{
    discardWorkingDirectory();
    return failed(error, message);
}

bool PlanHost::createPlan(QString *error)
{
    clearReports();
    if (!m_controller.createTeachingPlan() || failureState() >= 0)
        return failed(error, QStringLiteral("cannot create a plan"));
    return true;
}

bool PlanHost::openPackage(const QString &package, bool convert, QString *error)
{
    clearReports();
    if (m_controller.analysisLocalTeachingPlan(package, kOpenMark) != 1)
        return abandoned(error, QStringLiteral("the controller does not unpack %1: it takes an "
                                               "existing file whose suffix is \"yrtp\"")
                                    .arg(package));
    const auto answered = [this] { return m_version >= 0 || failureState() >= 0; };
    // A worker that has not finished may still be writing: its directory stays.
    if (!waitUntil(answered, kUnpackTimeoutMs))
        return failed(error, QStringLiteral("unpacking %1 did not finish within %2 minutes")
                                 .arg(package)
                                 .arg(kUnpackTimeoutMs / 60000));
    waitForUnpackingThread();
    if (failureState() >= 0 || m_mark != kOpenMark)
        return abandoned(error, QStringLiteral("cannot unpack %1").arg(package));
    if (m_version == TPV_Version4 && !convert)
        return abandoned(error, QStringLiteral("%1 holds an older 4.0 plan, which opening "
                                               "converts to 5.0: --convert converts it")
                                    .arg(package));
    if (m_version != TPV_Version4 && m_version != TPV_Version5)
        return abandoned(error, QStringLiteral("%1 holds no usable plan document (version code "
                                               "%2 %3)")
                                    .arg(package)
                                    .arg(m_version)
                                    .arg(YRTeachingPlanOperate::versionName(m_version)));
    if (!m_controller.openLocalTeachingPlan() || !hasReported(TPOS_Success_Open) ||
        failureState() >= 0)
        return abandoned(error, QStringLiteral("cannot open the plan of %1").arg(package));
    return true;
}

bool PlanHost::openRootedPlan(const QString &jsonPath, const QString &name, QString *error)
{
    clearReports();
    if (!m_controller.openTeachingPlan(jsonPath, kLocalPlanId, QString(), name,
                                       QStringLiteral("5.0")) ||
        !hasReported(TPOS_Success_Open) || failureState() >= 0)
        return failed(error, QStringLiteral("cannot open the plan %1").arg(jsonPath));
    return true;
}

bool PlanHost::saveOpenPlan(const QString &target, QString *error)
{
    clearReports();
    m_dialogs.setFile(target);
    const bool saved = m_controller.saveTeachingPlan();
    m_dialogs.setFile(QString());
    if (saved && failureState() < 0)
        return true;
    if (m_dialogs.overwriteRefused())
        return failed(error, QStringLiteral("%1 exists: --force replaces it").arg(target));
    // The page hears of the outcome: 3 when the save dialog took no file, 0 when the plan was
    // not written or packed.
    const bool noFile = !m_scripts.isEmpty() &&
                        m_scripts.constLast().startsWith(QLatin1String("savePlanStatus(3,"));
    return failed(error, noFile ? QStringLiteral("the save dialog did not take %1").arg(target)
                                : QStringLiteral("cannot save the plan to %1").arg(target));
}

bool PlanHost::importPackage(const QString &package, QString *error)
{
    clearReports();
    m_dialogs.setFile(package);
    const bool started = m_controller.importTeachingPlan();
    m_dialogs.setFile(QString());
    if (!started) {
        // Once the import has started, it has a working directory of its own.
        if (hasReported(TPOS_Start_Import))
            discardWorkingDirectory();
        return failed(error, QStringLiteral("the import of %1 did not start").arg(package));
    }
    const auto answered = [this] {
        return hasReported(TPOS_Success_Import) || failureState() >= 0;
    };
    if (!waitUntil(answered, kUnpackTimeoutMs))
        return failed(error, QStringLiteral("unpacking %1 did not finish within %2 minutes")
                                 .arg(package)
                                 .arg(kUnpackTimeoutMs / 60000));
    waitForUnpackingThread();
    if (failureState() >= 0)
        return abandoned(error, QStringLiteral("cannot import %1").arg(package));
    return true;
}

bool PlanHost::renamePlan(const QString &jsonPath, const QString &newName, QString *error)
{
    clearReports();
    if (!m_controller.renameTeachingPlan(kLocalPlanId, newName, jsonPath, QStringLiteral("0")) ||
        !hasReported(TPOS_Success_Rename) || failureState() >= 0)
        return failed(error, QStringLiteral("cannot rename the plan %1").arg(jsonPath));
    return true;
}

bool PlanHost::deletePlan(const QString &jsonPath, QString *error)
{
    clearReports();
    if (!m_controller.deleteTeachingPlan(kLocalPlanId, jsonPath) ||
        !hasReported(TPOS_Success_Delete) || failureState() >= 0)
        return failed(error, QStringLiteral("cannot delete the plan %1").arg(jsonPath));
    return true;
}
