#ifndef STUDIO_STUDIOWINDOW_H
#define STUDIO_STUDIOWINDOW_H

#include "plandata/yrplandata.h"

#include <QJsonObject>
#include <QList>
#include <QMainWindow>
#include <QString>
#include <QUrl>
#include <QWebChannel>

#include <functional>
#include <memory>

struct YRCloudPlan;
using CloudPlan = YRCloudPlan;
class LocalFileCopier;
class PageBridge;
class PageView;
class QAction;
class QLabel;
class QProgressBar;
class QWebEngineProfile;
class YRHttpNetWorkManager;
class YRResourceManage;
class YRTeachingPlanOperate;

// The reference host: a window that shows the editor page and drives the plan controller as a
// production host does. It owns the plan data, the network manager, the resource manager and
// the controller for its whole life, runs every statement the controller sends to the page, in
// order, and turns the controller's state codes into status-bar messages.
//
// The flows below are what the menus run; each asks its questions through modal dialogs, so
// that tests answer them as a teacher would.
class StudioWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit StudioWindow(QWidget *parent = nullptr);
    ~StudioWindow() override;

    YRTeachingPlanOperate *controller() const { return m_controller.get(); }
    IYRPlanData *planData() { return &m_planData; }
    PageView *view() const { return m_view; }
    PageBridge *bridge() const { return m_bridge; }
    LocalFileCopier *copier() const { return m_copier; }

    // True while a plan is open in the editor.
    bool hasOpenPlan() const;
    // True when the open plan changed since it was opened or last saved.
    bool hasUnsavedChanges() const;

    // Signs in to the plan service at service with a teacher's token; answered by
    // signInFinished. From then on plans are saved to the cloud and opened from its list.
    void signIn(const QUrl &service, const QString &token);
    // True once a sign-in succeeded.
    bool isSignedIn() const;

    // Plans. Each first closes the open plan (asking about unsaved changes); the outcome
    // arrives as state codes and in the page.
    // A new plan with one content-explanation step.
    void newPlan();
    // Opens a .yrtp package; an older plan is converted only when the teacher agrees.
    void openPackage(const QString &path);
    // Opens the plan kept in directory, which must lie under the teaching-plan root.
    void openPlanDirectory(const QString &directory);
    // Lets the signed-in teacher pick one of their cloud plans and opens it.
    void chooseCloudPlanToOpen();
    // Opens a plan of the signed-in teacher from the cloud.
    void openCloudPlan(const CloudPlan &plan);
    // Fetches a cloud plan with all its files into a package the teacher names.
    void exportCloudPlan(const CloudPlan &plan);
    // Unpacks a package the teacher picks as a new plan and opens it.
    void importPackage();
    // Closes the open plan, asking first when it has unsaved changes; then runs next, unless
    // the teacher chose to keep the plan open (or its save failed).
    void closePlanThen(const std::function<void()> &next);

    // The open plan.
    // Saves it: to its package when nobody is signed in (asking for one the first time).
    void savePlan();
    // Writes a copy of the open plan into the package target; the plan keeps its own package.
    bool savePlanCopy(const QString &target);
    void renamePlan(const QString &name);
    // Deletes the open plan's working directory, after asking.
    void deletePlan();

    // Adds files to the step, or to its task when taskId is not empty.
    void addFiles(const QStringList &files, const QString &stepId, const QString &taskId);

signals:
    void signInFinished(bool ok, const QString &error);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void buildStatusBar();
    void wireController();
    void wirePage();

    // Menu actions that ask for a file or a name first.
    void askOpenPackage();
    void askOpenDirectory();
    // Lets the teacher pick a cloud plan, then runs action on it.
    void askCloudPlan(const QString &title, void (StudioWindow::*action)(const CloudPlan &));
    void takeSignIn(bool ok, const QJsonObject &session, const QString &error);
    void deleteCloudRecord(int planId);
    // Cloud actions only while signed in; plan actions only while a plan is open.
    void updateActions();
    void askSavePlanCopy();
    // Signed in: a cloud plan into a package; otherwise the open plan into one.
    void askExport();
    void askRename();
    void askFilesFor(const QString &stepId, const QString &taskId);

    void showState(int state);
    void showExportProgress(int flags, int percent);
    void takeJsonVersion(int version, const QString &mark);
    void takeStatement(const QString &statement);
    // Sends the whole document to the page, then lets the controller queue its resources.
    void showPlanInPage();
    void closePlanNow();
    void updateTitle();
    void showMessage(const QString &message);

    YRPlanData m_planData;
    std::unique_ptr<YRHttpNetWorkManager> m_network;
    std::unique_ptr<YRResourceManage> m_resources;
    // A child of the window, so that its dialogs are the window's; destroyed before the objects
    // above it.
    std::unique_ptr<YRTeachingPlanOperate> m_controller;

    QWebChannel m_channel;
    QWebEngineProfile *m_profile = nullptr;
    PageBridge *m_bridge = nullptr;
    PageView *m_view = nullptr;
    LocalFileCopier *m_copier = nullptr;
    QProgressBar *m_exportProgress = nullptr;
    QLabel *m_modeLabel = nullptr;
    QList<QAction *> m_cloudActions;
    QList<QAction *> m_planActions;

    // The document as it was last opened or saved; empty for a plan never saved.
    QString m_savedDocument;
    // What runs once the save under way has succeeded.
    std::function<void()> m_afterSave;
    bool m_importing = false;
    // Set when the page was loaded again: it gets the whole document once it is ready.
    bool m_pageRestarted = false;
};

#endif // STUDIO_STUDIOWINDOW_H
