// Creating and opening plans: the fresh working directory, new plans, packages unpacked for
// opening, plans under the teaching-plan root and cloud plans, and the package file dialog.

#include "teachingplanoperate/yrteachingplanoperate.h"

#include "plandata/planpaths.h"
#include "resourcemanage/yrresourcemanage.h"
#include "teachingplanoperate/operatelog_p.h"
#include "teachingplanoperate/yrextractteachingplan.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QWidget>

namespace {

QString desktopFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

// The folders last used for saving and for opening packages, for the life of the process.
QString &rememberedFolder(bool saving)
{
    static QString saveFolder = desktopFolder();
    static QString openFolder = desktopFolder();
    return saving ? saveFolder : openFolder;
}

} // namespace

bool YRTeachingPlanOperate::createDir(const QString &path)
{
    if (QDir(path).exists())
        return true;
    return QDir().mkpath(path);
}

bool YRTeachingPlanOperate::initTeachingPlanEnv()
{
    m_pPlanData->initTeachingPlanAttr();
    m_planName.clear();
    m_savePath.clear();
    m_currentStep.clear();
    m_currentTask.clear();
    m_pResourceManage->clearWatchFilePaths();
    m_pResourceManage->clearDownloadFiles();
    m_pResourceManage->clearUploadFiles();
    m_loadedQuestions.clear();
    m_pendingQuestions.clear();

    const TeachingPlanAttr &attr = m_pPlanData->getTeachingPlanAttr();
    const qint64 today = QDate::currentDate().startOfDay().toSecsSinceEpoch();
    const QString dir =
        m_pPlanData->getTeachingPlanRoot() +
        QStringLiteral("/%1/%2/%3").arg(attr.iAuthorId).arg(today).arg(attr.strGUID);
    m_pPlanData->setTeachingPlanDir(dir);
    return createDir(dir);
}

bool YRTeachingPlanOperate::enterDocumentDir(const QString &jsonPath)
{
    const QString root = QDir::cleanPath(m_pPlanData->getTeachingPlanRoot());
    const QString dir = QFileInfo(root + QLatin1Char('/') + jsonPath).absolutePath();
    // The path comes from the host or the plan service: a plan directory outside the root
    // would have the next save or delete act on someone else's files.
    if (dir != root && !YRPlanPaths::isInside(root, dir)) {
        qCWarning(lcOperate).noquote()
            << "YRTeachingPlanOperate::enterDocumentDir"
            << "the document path leaves the teaching-plan root:" << jsonPath;
        return false;
    }
    m_pPlanData->setTeachingPlanDir(dir);
    return createDir(dir);
}

bool YRTeachingPlanOperate::createTeachingPlan()
{
    m_operationFlags = TPOF_Editing | TPOF_Opened;
    m_savePath.clear();
    if (!initTeachingPlanEnv()) {
        reportState(TPOS_Fail_Create, "createTeachingPlan");
        return false;
    }
    m_pPlanData->addStepOrTask(QString(), tr("内容精讲"), tr("内容精讲"));
    if (isSignedIn())
        m_autoSaveTimer->start();
    reportState(TPOS_Success_Create, "createTeachingPlan");
    appendNotSaveFlag();
    return true;
}

void YRTeachingPlanOperate::finishOpenedPlan()
{
    reportState(TPOS_Success_Open, "openTeachingPlan");
    if (isSignedIn())
        m_autoSaveTimer->start();
    separateUploadFile(m_pPlanData->getJsonFiles());
}

bool YRTeachingPlanOperate::openTeachingPlan(const QString &jsonPath, const QString &planId,
                                             const QString &text3, const QString &name,
                                             const QString &version)
{
    Q_UNUSED(text3)
    Q_UNUSED(version)
    m_operationFlags = TPOF_Editing | TPOF_Opened;
    if (!prepareOpenedPlan(jsonPath, planId, name)) {
        reportState(TPOS_Fail_Open, "openTeachingPlan");
        return false;
    }
    if (YROperate::isLocalPlanId(planId))
        return openLocalDocument(jsonPath, name);
    if (YROperate::hasNoDocumentPath(jsonPath))
        return askServiceForDocument(planId);
    if (m_pResourceManage->IsConnectedWithNet()) {
        downloadFileFromCloud(jsonPath, QStringLiteral("jsonroad"));
        return true;
    }
    // Offline: the copy left from an earlier session, if any.
    return openDocumentOnDisk();
}

// A fresh working directory at the document's place under the root, and the plan's name and
// cloud identifier as the caller knows them.
bool YRTeachingPlanOperate::prepareOpenedPlan(const QString &jsonPath, const QString &planId,
                                              const QString &name)
{
    if (!initTeachingPlanEnv())
        return false;
    removeTeachingPlanDir();
    if (!enterDocumentDir(jsonPath))
        return false;
    TeachingPlanAttr attr = m_pPlanData->getTeachingPlanAttr();
    attr.strName = name;
    m_pPlanData->setTeachingPlanAttr(attr);
    m_planName = name;
    bool parsed = false;
    const int id = planId.toInt(&parsed, 10);
    if (parsed)
        setId(id);
    return true;
}

bool YRTeachingPlanOperate::openLocalDocument(const QString &jsonPath, const QString &name)
{
    if (!QFileInfo::exists(m_pPlanData->getTeachingPlanRoot() + QLatin1Char('/') + jsonPath)) {
        reportState(TPOS_Fail_Open, "openTeachingPlan");
        return false;
    }
    if (!openTeachingPlanJsonFile(documentPath())) {
        reportState(TPOS_Fail_Ignore, "openTeachingPlan");
        return false;
    }
    TeachingPlanAttr attr = m_pPlanData->getTeachingPlanAttr();
    attr.strName = name;
    m_pPlanData->setTeachingPlanAttr(attr);
    finishOpenedPlan();
    return true;
}

// An old cloud plan without a document: the plan service converts it, once the user agrees.
bool YRTeachingPlanOperate::askServiceForDocument(const QString &planId)
{
    if (!transformToCurrentVersion()) {
        reportState(TPOS_Fail_Ignore, "openTeachingPlan");
        return false;
    }
    m_askBeforeConvert = false;
    bool parsed = false;
    planId.toInt(&parsed, 10);
    if (!parsed) {
        reportState(TPOS_Fail_Open, "openTeachingPlan");
        return false;
    }
    askCloudTranslatePlan(planId, YRPlanPaths::signedInUserId(), QStringLiteral("4.0"));
    return true;
}

bool YRTeachingPlanOperate::openDocumentOnDisk()
{
    if (!openTeachingPlanJsonFile(documentPath())) {
        reportState(TPOS_Fail_Ignore, "openTeachingPlan");
        return false;
    }
    finishOpenedPlan();
    return true;
}

int YRTeachingPlanOperate::analysisLocalTeachingPlan(const QString &filePath,
                                                     const QString &strMark)
{
    // A second unpack would race the first one's result; the caller may try again.
    if (m_extractPlan->isRunning()) {
        qCWarning(lcOperate).noquote() << "YRTeachingPlanOperate::analysisLocalTeachingPlan"
                                       << "TPV_Unknown:a package is still being unpacked";
        return 0;
    }
    m_operationFlags = TPOF_Editing | TPOF_Opened;
    m_callerMark = strMark;
    if (!initTeachingPlanEnv()) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::analysisLocalTeachingPlan"
                                     << "TPV_Unknown:init teaching plan environment failed!";
        return 0;
    }
    m_savePath = filePath;
    m_packagePath = filePath;
    const QFileInfo package(filePath);
    if (!package.isFile() || package.suffix() != QLatin1String("yrtp")) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::analysisLocalTeachingPlan"
                                     << "The file is not yrtp";
        return 0;
    }
    m_planName = package.completeBaseName();
    startExtract(package.absoluteFilePath());
    return 1;
}

void YRTeachingPlanOperate::startExtract(const QString &package)
{
    m_extractPlan->setPaths(m_pPlanData->getTeachingPlanDir(), package);
    m_extractPlan->start(QThread::InheritPriority);
}

void YRTeachingPlanOperate::slotExtractFinished(bool bSuccess)
{
    qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::slotExtractFinished" << bSuccess;
    // The signal is the worker's last act: once its thread has ended, a host that answers it
    // with the next unpack is not refused as "still unpacking".
    m_extractPlan->wait();
    if (isEditing())
        handleOpenExtract(bSuccess);
    else if (isImporting())
        handleImportExtract(bSuccess);
}

void YRTeachingPlanOperate::handleOpenExtract(bool bSuccess)
{
    if (!bSuccess) {
        reportState(TPOS_Fail_Open, "slotExtractFinished");
        return;
    }
    emit signalJsonVersion(readVersionFromJson(documentPath()), m_callerMark);
}

int YRTeachingPlanOperate::analysisCloudTeachingPlan(const QString &jsonPath, const QString &planId,
                                                     const QString &text3, const QString &name,
                                                     const QString &version, const QString &strMark)
{
    Q_UNUSED(text3)
    m_callerMark = strMark;
    if (!initTeachingPlanEnv()) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::analysisCloudTeachingPlan"
                                     << "TPV_Unknown:init teaching plan environment failed!";
        return TPV_Unknown;
    }
    removeTeachingPlanDir();
    if (!enterDocumentDir(jsonPath)) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::analysisCloudTeachingPlan"
                                     << "TPV_Unknown:The direction cannot create.";
        return TPV_Unknown;
    }
    m_planName = name;
    bool parsed = false;
    const int id = planId.toInt(&parsed, 10);
    if (parsed)
        setId(id);

    if (YROperate::isLocalPlanId(planId))
        return readVersionFromJson(documentPath());
    if (YROperate::hasNoDocumentPath(jsonPath))
        return TPV_Version3;
    if (version.isEmpty() || version == QLatin1String("0"))
        return TPV_Version4;
    if (version == YROperate::currentDocumentVersion())
        return TPV_Version5;
    return TPV_Unknown;
}

bool YRTeachingPlanOperate::openCloudTeachingPlan(const QString &jsonPath, const QString &planId)
{
    m_operationFlags = TPOF_Editing | TPOF_Opened;
    if (YROperate::isLocalPlanId(planId))
        return openLocalTeachingPlan();
    if (YROperate::hasNoDocumentPath(jsonPath)) {
        askCloudTranslatePlan(planId, YRPlanPaths::signedInUserId(), QStringLiteral("4.0"));
        return true;
    }
    downloadFileFromCloud(jsonPath, QStringLiteral("jsonroad"));
    return true;
}

bool YRTeachingPlanOperate::openLocalTeachingPlan()
{
    m_operationFlags = TPOF_Editing | TPOF_Opened;
    if (m_pPlanData->getTeachingPlanStepCount() == 0 &&
        readVersionFromJson(documentPath()) == TPV_Unknown) {
        reportState(TPOS_Fail_Open);
        return false;
    }
    TeachingPlanAttr attr = m_pPlanData->getTeachingPlanAttr();
    if (!m_planName.isEmpty() && m_planName != attr.strName) {
        attr.strName = m_planName;
        m_pPlanData->setTeachingPlanAttr(attr);
        m_pPlanData->saveJson(m_pPlanData->getJson(), QString());
    }
    if (attr.strDocumentVersion != YROperate::currentDocumentVersion()) {
        attr.strDocumentVersion = YROperate::currentDocumentVersion();
        m_pPlanData->setTeachingPlanAttr(attr);
        m_pPlanData->saveJson(m_pPlanData->getJson(), QString());
    }
    if (isSignedIn()) {
        m_autoSaveTimer->start();
        separateUploadFile(m_pPlanData->getJsonFiles());
    } else {
        m_autoSaveTimer->stop();
    }
    reportState(TPOS_Success_Open);
    return true;
}

bool YRTeachingPlanOperate::openTeachingPlanJsonFile(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::openTeachingPlanJsonFile"
                                     << "Couldn't open save file.";
        return false;
    }
    if (!m_pPlanData->setJson(QString::fromUtf8(file.readAll())))
        return false;
    if (m_pPlanData->getTeachingPlanAttr().strDocumentVersion != QLatin1String("4.0"))
        return true;

    qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::openTeachingPlanJsonFile"
                                 << "ask before converting:" << m_askBeforeConvert;
    if (m_askBeforeConvert && !transformToCurrentVersion())
        return false;
    m_askBeforeConvert = true;
    stampCurrentVersion();
    appendNotSaveFlag();
    return true;
}

QString YRTeachingPlanOperate::selectTeachingPlan(const QString &title, const QString &baseName)
{
    const bool saving = !baseName.isEmpty();
    if (!m_planFileDialog) {
        QWidget *parentWidget = qobject_cast<QWidget *>(parent());
        m_planFileDialog = new QFileDialog(parentWidget);
        if (parentWidget)
            m_planFileDialog->setFixedSize(parentWidget->width() / 2, parentWidget->height() / 2);
        if (QScreen *screen = QGuiApplication::primaryScreen()) {
            const QRect available = screen->availableGeometry();
            const QSize hint = m_planFileDialog->sizeHint();
            m_planFileDialog->move((available.width() - hint.width()) / 2,
                                   (available.height() - hint.height()) / 2);
        }
        m_planFileDialog->setFilter(QDir::Files | QDir::NoSymLinks);
        m_planFileDialog->setViewMode(QFileDialog::List);
        // A widget dialog, never the platform's: hosts and tests answer it like any other.
        m_planFileDialog->setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks |
                                     QFileDialog::DontUseNativeDialog);
        m_planFileDialog->setFileMode(QFileDialog::AnyFile);
    }
    QFileDialog *dialog = m_planFileDialog;
    const QString filter = tr("教案(*.yrtp)");
    dialog->setWindowTitle(title);
    dialog->setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setNameFilter(filter);
    dialog->setDirectory(rememberedFolder(saving));
    if (saving)
        dialog->selectFile(baseName + QLatin1String(".yrtp"));
    dialog->setModal(true);

    QString chosen;
    if (dialog->exec() == QDialog::Accepted && dialog->selectedFiles().size() == 1) {
        chosen = dialog->selectedFiles().constFirst();
        const QString folder = QFileInfo(chosen).absolutePath();
        if (!folder.isEmpty())
            rememberedFolder(saving) = folder;
    }
    if (m_planFileDialog == dialog)
        m_planFileDialog = nullptr;
    dialog->close();
    delete dialog;
    if (m_operationFlags == 0)
        return QString();
    return chosen;
}
