#ifndef YRPLAN_PLANHOST_H
#define YRPLAN_PLANHOST_H

#include "cloudaccount.h"
#include "modalanswers.h"
#include "netmanager/yrcloudplan.h"

#include "plandata/yrplandata.h"
#include "resourcemanage/yrresourcemanage.h"
#include "teachingplanoperate/yrteachingplanoperate.h"

#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

#include <functional>
#include <memory>

class NetworkActivity;
class YRHttpNetWorkManager;

// How long unpacking a package may take before a command gives up.
constexpr int kUnpackTimeoutMs = 10 * 60 * 1000;

// True for the codes that report a failure (the TPOS_Fail_* ones).
bool isFailureState(int state);
// "state <code> <name>", as the trace prints it.
QString describedState(int state);

// A plan under the teaching-plan root, as the controller addresses it.
struct RootedPlan
{
    QString directory; // absolute, cleaned
    QString jsonPath;  // its teachpkg.json, relative to the root
};

// Locates the plan that argument names (its directory or its teachpkg.json) under the
// teaching-plan root that the library uses now. False with *error set when there is no such
// plan or it lies outside the root.
bool locateRootedPlan(const QString &argument, RootedPlan *plan, QString *error);

using CloudPlan = YRCloudPlan;

// yrplan as the controller's host: a plan data, a resource manager and a controller wired
// together as the host application wires them. Its network manager is YRHttpNetWorkManager,
// signed in to a plan service, when it is given an account; otherwise one that has no network
// and signs nobody in. It records what the controller reports (and prints it when tracing), and
// answers the controller's modal dialogs from the command line.
class PlanHost : public QObject
{
    Q_OBJECT

public:
    // With trace, every state code is printed as "state <code> <name>" and every JavaScript
    // statement as "js <statement>", in the order the controller reports them; signed in, every
    // answer of the network manager too (see NetworkActivity). With an account set, signIn()
    // must succeed before the flows are driven.
    explicit PlanHost(bool trace, const CloudAccount &account = CloudAccount());
    ~PlanHost() override;

    YRTeachingPlanOperate &controller() { return m_controller; }
    IYRPlanData &planData() { return m_planData; }
    ModalDialogAnswerer &dialogs() { return m_dialogs; }

    // The flows below drive the controller as the host application does and check what it
    // reports. Each returns false with *error set (one line, naming the failure state) when the
    // controller reports a failure or does not finish. Those that made a working directory of
    // their own remove it again when they fail.

    // createTeachingPlan: a new plan, open in the controller.
    bool createPlan(QString *error);
    // analysisLocalTeachingPlan, then on signalJsonVersion with the version code 3 or 4
    // openLocalTeachingPlan. A plan of version 4.0 (code 3), which opening converts, is opened
    // only when convert is true.
    bool openPackage(const QString &package, bool convert, QString *error);
    // openTeachingPlan of a local plan ("local") under the root, named name.
    bool openRootedPlan(const QString &jsonPath, const QString &name, QString *error);
    // saveTeachingPlan of the open plan, the save dialog given target.
    bool saveOpenPlan(const QString &target, QString *error);
    // importTeachingPlan, the open dialog given package; waits for the outcome.
    bool importPackage(const QString &package, QString *error);
    // renameTeachingPlan of a local plan that is not open (mode "0").
    bool renamePlan(const QString &jsonPath, const QString &newName, QString *error);
    // deleteTeachingPlan of a local plan.
    bool deletePlan(const QString &jsonPath, QString *error);

    // Signed in (planhost_cloud.cpp). Each flow returns false with *error set, as above.

    // Signs in to the account's service, sets the application's "uid" and "ResourceDomain" from
    // the session, and waits for the resource manager's network check to find the service.
    // True at once without an account.
    bool signIn(QString *error);
    bool isSignedIn() const { return m_cloud != nullptr; }
    // The signed-in user's plans, newest first (GET api/teaplan/list).
    bool listCloudPlans(QVector<CloudPlan> *plans, QString *error);
    // The signed-in user's plan of that id.
    bool findCloudPlan(int id, CloudPlan *plan, QString *error);
    // openTeachingPlan of a cloud plan, then the resource stage: true once the document, every
    // file it names and every question's content are in the plan directory.
    bool openCloudPlan(const CloudPlan &plan, QString *error);
    // saveTeachingPlan of the open plan to the cloud: true once the page was told
    // savePlanStatus(1, id, ...) after the plan service recorded the plan. *api is the request
    // that recorded it (createplan or updatePlan).
    bool saveToCloud(QString *api, QString *error);
    // renameTeachingPlan of a cloud plan that is not open (mode "0").
    bool renameCloudPlan(const CloudPlan &plan, const QString &newName, QString *error);
    // exportTeachingPlan of a cloud plan, the save dialog given target.
    bool exportCloudPlan(const CloudPlan &plan, const QString &target, QString *error);
    // Deletes the plan through the plan service (deleteplan: its record and files), then its
    // copy on this machine, if there is one: through deleteTeachingPlan, or, for the files
    // that an export leaves without their document, removeTeachingPlanDir.
    bool deleteCloudPlan(const CloudPlan &plan, QString *error);
    // The directory of a cloud plan's document under the teaching-plan root.
    QString cloudPlanDirectory(const CloudPlan &plan) const;
    // What the network manager answered so far; null when nobody is signed in.
    const NetworkActivity *networkActivity() const { return m_activity.get(); }

    // Forgets what was reported so far; the queries below then see only what follows.
    void clearReports();
    // The first failure state reported, or -1.
    int failureState() const;
    bool hasReported(int state) const { return m_states.contains(state); }
    // The version code of the last signalJsonVersion, or -1 when none came.
    int reportedVersion() const { return m_version; }
    const QString &reportedMark() const { return m_mark; }
    // The JavaScript statements reported, in order.
    const QStringList &scripts() const { return m_scripts; }

    // Runs the event loop until done() holds or timeoutMs have passed; false on the time-out.
    bool waitUntil(const std::function<bool()> &done, int timeoutMs);
    // The same for a flow that waits for the network: it also ends when nothing was answered
    // for longer than the network manager's time-outs and retries take.
    bool waitForNetwork(const std::function<bool()> &done);

    // The plan directory that the controller works in, cleaned; empty when there is none.
    QString planDirectory() const;

private:
    // Removes the working directory that the flow under way made (a plan directory other than
    // the one before the flow began), with the folders above it up to the teaching-plan root
    // that are left empty. A directory that the flow did not make is never touched.
    void discardWorkingDirectory();
    // Removes the folders above directory up to the teaching-plan root that are left empty.
    void removeEmptyParents(const QString &directory);
    // Runs a background flow on a cloud plan (rename, export) that start begins and the state
    // success ends, in the plan's directory under the root, which goes again when the flow
    // made it; fails with failure and what the network answered.
    bool runBackgroundCloudFlow(const CloudPlan &plan, int success,
                                const std::function<bool()> &start, const QString &failure,
                                QString *error);
    // Removes a directory through the controller, which refuses one outside the root.
    bool removeDirectoryInRoot(const QString &directory);
    // After a background flow in a cloud plan's directory: removes it again when the flow
    // made it.
    void discardCloudPlanDirectory(const QString &directory, bool existedBefore);
    // Sends a plan-service request (GET when query, else POST) and waits for its answer; false
    // with *error when it failed or the service refused it.
    bool askService(bool query, const QString &api, const QMap<QString, QString> &params,
                    QJsonObject *reply, QString *error);
    // The resource stage of a plan just opened: true once every file and question content
    // that its document names is in the plan directory.
    bool fetchPlanResources(QString *error);
    // message followed by the last failure the network manager answered from mark on.
    QString withNetworkFailure(const QString &message, int mark) const;
    // Returns once the controller's unpacking thread has ended: it reports its outcome just
    // before it ends, and the controller refuses to unpack again while it runs.
    void waitForUnpackingThread();
    // Sets *error to message, followed by the failure state reported, if any, and by a hint when
    // the conversion of an older plan was declined. Returns false.
    bool failed(QString *error, const QString &message);
    // A flow that made a working directory removes it before it reports its failure.
    bool abandoned(QString *error, const QString &message);
    void recordState(int state);
    void recordScript(const QString &statement);
    void recordVersion(int version, const QString &mark);

    bool m_trace = false;
    QVector<int> m_states;
    QStringList m_scripts;
    int m_version = -1;
    QString m_mark;
    QString m_directoryBeforeFlow;

    // The file dialog keeps its history in the user's Qt settings; a command line leaves
    // those alone and points them at a directory of its own, removed at the end. Declared
    // first, so that it outlives the controller's dialogs.
    QTemporaryDir m_dialogSettings;

    // In the order the host creates them; destroyed in reverse.
    YRPlanData m_planData;
    std::unique_ptr<IYRNetWorkManager> m_network;
    YRHttpNetWorkManager *m_cloud; // m_network when signed in, else null
    CloudAccount m_account;
    // Made before the resource manager, so that it hears each answer first.
    std::unique_ptr<NetworkActivity> m_activity;
    YRResourceManage m_resources;
    YRTeachingPlanOperate m_controller;
    ModalDialogAnswerer m_dialogs;
};

#endif // YRPLAN_PLANHOST_H
