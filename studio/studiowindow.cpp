// The window itself: the objects a host owns, its menus and status bar, and the two ways the
// controller and the page reach each other (statements one way, the bridge the other).

#include "studiowindow.h"

#include "localfilecopier.h"
#include "netmanager/yrhttpnetworkmanager.h"
#include "pagebridge.h"
#include "pageview.h"
#include "planfilescheme.h"
#include "resourcemanage/yrresourcemanage.h"
#include "statemessages.h"
#include "studiolog.h"
#include "teachingplanoperate/yrteachingplanoperate.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QWebEngineProfile>

namespace {

// How long a state message stays in the status bar.
const int kMessageMs = 8000;

} // namespace

StudioWindow::StudioWindow(QWidget *parent)
    : QMainWindow(parent), m_network(std::make_unique<YRHttpNetWorkManager>()),
      m_resources(std::make_unique<YRResourceManage>(m_network.get())),
      m_controller(std::make_unique<YRTeachingPlanOperate>(&m_planData, m_network.get(),
                                                           m_resources.get(), this))
{
    // A profile of its own, kept in memory only: the page leaves nothing on disk.
    m_profile = new QWebEngineProfile(this);
    m_profile->installUrlSchemeHandler(PlanFileSchemeHandler::scheme(),
                                       new PlanFileSchemeHandler(&m_planData, m_profile));
    m_bridge = new PageBridge(m_controller.get(), this);
    m_channel.registerObject(QStringLiteral("studio"), m_bridge);
    m_view = new PageView(m_profile, &m_channel, this);
    m_copier = new LocalFileCopier(m_controller.get(), this);
    setCentralWidget(m_view);
    buildMenus();
    buildStatusBar();
    wireController();
    wirePage();
    resize(1100, 760);
    updateTitle();
}

StudioWindow::~StudioWindow()
{
    m_copier->cancelAll();
    m_controller->closeTeachingPlan();
    // The page goes before its profile, the controller before the objects it was given.
    delete m_view;
    m_controller.reset();
}

bool StudioWindow::hasOpenPlan() const
{
    const int open = TPOF_Editing | TPOF_Opened;
    return (m_controller->operationFlags() & open) == open;
}

bool StudioWindow::hasUnsavedChanges() const
{
    // Not the controller's not-saved marker: a save to a package keeps it, since the plan is
    // still not in the cloud.
    return hasOpenPlan() && m_planData.getJson() != m_savedDocument;
}

void StudioWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(tr("&File"));
    const auto add = [this, file](const QString &text, const QKeySequence &keys, auto slot) {
        QAction *action = file->addAction(text, this, slot);
        action->setShortcut(keys);
        return action;
    };
    add(tr("&New Plan"), QKeySequence::New, &StudioWindow::newPlan);
    add(tr("&Open Package…"), QKeySequence::Open, &StudioWindow::askOpenPackage);
    add(tr("Open Plan &Folder…"), QKeySequence(), &StudioWindow::askOpenDirectory);
    m_cloudActions << add(tr("Open &Cloud Plan…"), QKeySequence(tr("Ctrl+Shift+O")),
                          &StudioWindow::chooseCloudPlanToOpen);
    file->addSeparator();
    m_planActions << add(tr("&Save"), QKeySequence::Save, &StudioWindow::savePlan);
    m_planActions << add(tr("Save as &Package…"), QKeySequence::SaveAs,
                         &StudioWindow::askSavePlanCopy);
    file->addSeparator();
    add(tr("&Import Package…"), QKeySequence(tr("Ctrl+I")), &StudioWindow::importPackage);
    add(tr("&Export…"), QKeySequence(tr("Ctrl+E")), &StudioWindow::askExport)
        ->setToolTip(tr("Signed in: a cloud plan with all its files into a package; otherwise "
                        "the open plan"));
    file->addSeparator();
    m_planActions << add(tr("&Rename…"), QKeySequence(Qt::Key_F2), &StudioWindow::askRename);
    m_planActions << add(tr("&Delete Plan…"), QKeySequence(), &StudioWindow::deletePlan);
    m_planActions << add(tr("&Close Plan"), QKeySequence::Close, [this] { closePlanThen([] {}); });
    file->addSeparator();
    add(tr("&Quit"), QKeySequence::Quit, &QWidget::close);
}

void StudioWindow::updateActions()
{
    for (QAction *action : qAsConst(m_cloudActions))
        action->setEnabled(isSignedIn());
    for (QAction *action : qAsConst(m_planActions))
        action->setEnabled(hasOpenPlan());
}

void StudioWindow::buildStatusBar()
{
    m_modeLabel = new QLabel(tr("Not signed in: plans are saved as packages"), this);
    m_exportProgress = new QProgressBar(this);
    m_exportProgress->setRange(0, 100);
    m_exportProgress->setMaximumWidth(200);
    m_exportProgress->hide();
    statusBar()->addPermanentWidget(m_exportProgress);
    statusBar()->addPermanentWidget(m_modeLabel);
}

void StudioWindow::wireController()
{
    YRTeachingPlanOperate *controller = m_controller.get();
    connect(controller, &YRTeachingPlanOperate::signalCefRunJavaScript, this,
            &StudioWindow::takeStatement);
    connect(controller, &YRTeachingPlanOperate::signalTeachingPlanOperateState, this,
            &StudioWindow::showState);
    connect(controller, &YRTeachingPlanOperate::signalExportProgress, this,
            &StudioWindow::showExportProgress);
    connect(controller, &YRTeachingPlanOperate::signalJsonVersion, this,
            &StudioWindow::takeJsonVersion);
    connect(m_network.get(), &YRHttpNetWorkManager::signInFinished, this,
            &StudioWindow::takeSignIn);
}

void StudioWindow::wirePage()
{
    connect(m_bridge, &PageBridge::readyForStatements, this, [this] {
        m_view->markReady();
        if (std::exchange(m_pageRestarted, false) && hasOpenPlan())
            showPlanInPage();
    });
    connect(m_bridge, &PageBridge::documentWanted, m_view, &PageView::resendDocument);
    connect(m_bridge, &PageBridge::saveRequested, this, &StudioWindow::savePlan);
    connect(m_bridge, &PageBridge::filesRequested, this, &StudioWindow::askFilesFor);
    connect(m_bridge, &PageBridge::filesDropped, this,
            [this](const QString &stepId, const QString &taskId) {
                addFiles(m_view->takeDroppedFiles(), stepId, taskId);
            });
    connect(m_view->page(), &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int code) {
                qCWarning(lcStudio) << "the editor page's renderer ended" << status << code
                                    << "; loading the page again";
                m_pageRestarted = true;
                m_view->restart();
            });
    connect(m_copier, &LocalFileCopier::fileRefused, this,
            [this](const QString &file, const QString &reason) {
                showMessage(tr("%1 was not added: %2").arg(QFileInfo(file).fileName(), reason));
            });
}

void StudioWindow::takeStatement(const QString &statement)
{
    m_view->runStatement(statement);
    // The outcome of a save reaches the host only as the statement that tells the page.
    if (statement.startsWith(QLatin1String("savePlanStatus("))) {
        const bool saved = statement.startsWith(QLatin1String("savePlanStatus(1,"));
        const bool cancelled = statement.startsWith(QLatin1String("savePlanStatus(3,"));
        if (!cancelled)
            showMessage(saved ? tr("The plan was saved.") : tr("The plan could not be saved."));
        if (saved)
            m_savedDocument = m_planData.getJson();
        const std::function<void()> next = std::exchange(m_afterSave, nullptr);
        if (saved && next)
            QTimer::singleShot(0, this, next);
    }
    updateTitle();
}

void StudioWindow::showState(int state)
{
    qCDebug(lcStudio) << "state" << state;
    showMessage(stateMessage(state));
    switch (state) {
    case TPOS_Success_Create:
        m_savedDocument.clear();
        QTimer::singleShot(0, this, &StudioWindow::showPlanInPage);
        break;
    case TPOS_Success_Open:
        // After the operation has finished with the plan data.
        QTimer::singleShot(0, this, [this] {
            m_savedDocument = m_planData.getJson();
            showPlanInPage();
        });
        break;
    case TPOS_Success_Import:
        if (std::exchange(m_importing, false))
            QTimer::singleShot(0, m_controller.get(),
                               &YRTeachingPlanOperate::openLocalTeachingPlan);
        break;
    case TPOS_Fail_Import:
        m_importing = false;
        break;
    case TPOS_Success_Export:
    case TPOS_Fail_Export:
        m_exportProgress->hide();
        break;
    default:
        break;
    }
    updateTitle();
}

void StudioWindow::showExportProgress(int flags, int percent)
{
    Q_UNUSED(flags)
    m_exportProgress->setValue(percent);
    m_exportProgress->show();
}

void StudioWindow::showPlanInPage()
{
    if (!hasOpenPlan())
        return;
    // The controller sends the document after each edit; after an open the host sends it, with
    // the same statement, and starts the resource pass that follows every document.
    m_view->runStatement(QStringLiteral("returnJsonToWeb(%1)").arg(m_planData.getJson()));
    m_controller->downloadResourceFromJson();
    updateTitle();
}

void StudioWindow::showMessage(const QString &message)
{
    statusBar()->showMessage(message, kMessageMs);
}

void StudioWindow::updateTitle()
{
    const bool open = hasOpenPlan();
    const QString name = open ? m_planData.getTeachingPlanAttr().strName : QString();
    setWindowTitle(open ? tr("%1[*] — YRStudio").arg(name) : tr("YRStudio"));
    setWindowModified(hasUnsavedChanges());
    updateActions();
}

void StudioWindow::closeEvent(QCloseEvent *event)
{
    if (!hasOpenPlan()) {
        event->accept();
        return;
    }
    event->ignore();
    // Once this close has been refused: a close from within it would not be taken.
    closePlanThen([this] { QTimer::singleShot(0, this, &QWidget::close); });
}
