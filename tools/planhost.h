#ifndef YRPLAN_PLANHOST_H
#define YRPLAN_PLANHOST_H

#include "localnetwork.h"
#include "modalanswers.h"

#include "plandata/yrplandata.h"
#include "resourcemanage/yrresourcemanage.h"
#include "teachingplanoperate/yrteachingplanoperate.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

#include <functional>

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

// yrplan as the controller's host: a plan data, a resource manager and a controller wired
// together as the host application wires them, with a network manager that has no network and
// nobody signed in. It records what the controller reports (and prints it when tracing), and
// answers the controller's modal dialogs from the command line.
class PlanHost : public QObject
{
    Q_OBJECT

public:
    // With trace, every state code is printed as "state <code> <name>" and every JavaScript
    // statement as "js <statement>", in the order the controller reports them.
    explicit PlanHost(bool trace);
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

    // The plan directory that the controller works in, cleaned; empty when there is none.
    QString planDirectory() const;

private:
    // Removes the working directory that the flow under way made (a plan directory other than
    // the one before the flow began), with the folders above it up to the teaching-plan root
    // that are left empty. A directory that the flow did not make is never touched.
    void discardWorkingDirectory();
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
    LocalNetWorkManager m_network;
    YRResourceManage m_resources;
    YRTeachingPlanOperate m_controller;
    ModalDialogAnswerer m_dialogs;
};

#endif // YRPLAN_PLANHOST_H
