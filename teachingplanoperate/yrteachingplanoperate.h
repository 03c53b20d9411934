#ifndef YRTEACHINGPLANOPERATE_H
#define YRTEACHINGPLANOPERATE_H

#include "interfaces/iyrnetworkmanager.h"
#include "plandata/iyrplandata.h"
#include "yrdata_export.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkReply>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <QVector>

class QFileDialog;
class QTimer;
class YRCalExportProcess;
class YRExtractTeachingPlan;
class YRResourceManage;

// Outcome codes of signalTeachingPlanOperateState. 3, 11 and 17 are never reported.
enum TPOperateState {
    TPOS_Success_Create = 0,
    TPOS_Success_Open = 1,
    TPOS_Success_Rename = 2,
    TPOS_Success_Delete = 4,
    TPOS_Success_Export = 5,
    TPOS_Success_Import = 6,
    TPOS_Success_Translate = 7,
    TPOS_Fail_Create = 8,
    TPOS_Fail_Open = 9,
    TPOS_Fail_Rename = 10,
    TPOS_Fail_Delete = 12,
    TPOS_Fail_Export = 13,
    TPOS_Fail_Import = 14,
    TPOS_Fail_AddNode_ExistFile = 15,
    TPOS_Fail_AddNode_PlanFile = 16,
    TPOS_Fail_Ignore = 18,
    TPOS_Fail_Translate = 19,
    TPOS_Start_Import = 20,
    TPOS_Start_Export = 21,
};

// Plan generations, as readVersionFromJson and signalJsonVersion report them.
enum TPVersion {
    TPV_Unknown = 0,
    TPV_Version3 = 2, // a cloud plan without a document: the plan service must convert it
    TPV_Version4 = 3, // document version "4.0"
    TPV_Version5 = 4, // document version "5.0", the current one
};

// Bits of the operation flags word, which tells the flows apart.
enum TPOperateFlag {
    TPOF_Background = 0x01, // rename of a plan that is not open, export, import
    TPOF_Editing = 0x02,    // the plan is shown in the web editor
    TPOF_Opened = 0x04,
    TPOF_Saving = 0x10, // a save waits for its outcome
    TPOF_Exporting = 0x20,
    TPOF_Importing = 0x40,
};

// The controller through which the host works on teaching plans: it creates, opens, saves,
// renames, deletes, exports and imports plans, keeps the cloud copy in step, and reports every
// outcome as a state code and, for the editor page, as a JavaScript statement. It edits the plan
// only through IYRPlanData and owns none of the three objects it is given.
class YRDATA_EXPORT YRTeachingPlanOperate : public QObject
{
    Q_OBJECT

public:
    YRTeachingPlanOperate(IYRPlanData *pPlanData, IYRNetWorkManager *pNetWorkManager,
                          YRResourceManage *pResourceManage, QObject *parent = nullptr);
    // Stops the export-progress worker and waits for a running unpack first.
    ~YRTeachingPlanOperate() override;

    // The TPOS_* name of a state code ("TPOS_Success_Open"); empty for a code that has none.
    static QString stateName(int nState);
    // The TPV_* name of a plan version code; empty for a code that has none.
    static QString versionName(int nVersion);

    // Creating and opening.
    // A new plan with one "内容精讲" step in a fresh working directory; state 0 or 8.
    bool createTeachingPlan();
    // Opens a local plan or a cloud plan whose document lies at jsonPath under the root.
    bool openTeachingPlan(const QString &jsonPath, const QString &planId, const QString &text3,
                          const QString &name, const QString &version);
    // Starts unpacking a .yrtp package for opening: 1 when started, else 0. The outcome comes
    // as signalJsonVersion(code, strMark), or state 9.
    int analysisLocalTeachingPlan(const QString &filePath, const QString &strMark);
    // Prepares the working directory of a cloud plan and returns its TPVersion.
    int analysisCloudTeachingPlan(const QString &jsonPath, const QString &planId,
                                  const QString &text3, const QString &name, const QString &version,
                                  const QString &strMark);
    // Opens the plan whose document lies in the plan directory, stamped "5.0"; state 1 or 9.
    bool openLocalTeachingPlan();
    bool openCloudTeachingPlan(const QString &jsonPath, const QString &planId);

    // Saving, closing, renaming and deleting.
    // True when a local package was written; the outcome also reaches the page.
    bool saveTeachingPlan();
    bool cancleSavingTeachingPlan();
    // Back to idle: transfers stopped, plan data cleared, timer stopped. Always true.
    bool closeTeachingPlan();
    // Rejects a file dialog that is up. Always true.
    bool closeTeachingPlanWidget();
    // Removes the plan directory if it lies strictly inside the teaching-plan root.
    bool removeTeachingPlanDir();
    // Removes the directory of the document at jsonPath (relative to the root); state 4 or 12.
    bool deleteTeachingPlan(const QString &planId, const QString &jsonPath);
    // mode "0": a plan from the plan list; "1": the open plan. State 2 or 10.
    bool renameTeachingPlan(const QString &planId, const QString &newName, const QString &jsonPath,
                            const QString &mode);
    void startAutoSaveTeachingPlan();
    void stopAutoSaveTeachingPlan();
    // Writes the document and keeps a copy of its state before the first unsaved change.
    bool appendNotSaveFlag();
    // True when the open plan has unsaved changes.
    bool beNeedSaved();

    // Packages.
    // Fetches a cloud plan with all its files and packs it into a package the user names.
    bool exportTeachingPlan(const QString &planId, const QString &jsonPath, const QString &planName,
                            const QString &text4);
    bool cancleExportTeachingPlan();
    // Unpacks a package the user picks as a new local plan; states 20, then 6 or 14.
    bool importTeachingPlan();

    // Resources.
    // Queues the files and questions the loaded document needs and reports their progress.
    void downloadResourceFromJson();
    // Retries every failed download and question.
    void reDownloadFile(const QString &text);
    // Follows the host's copy of a file into a step or task directory (progress 0..100, -1).
    bool addLocalFile(const QString &path, int progress);

    // Editing, forwarded to the plan data; each sends the new document to the page and marks
    // the plan as not saved.
    void appendNode(const QString &stepId, const QString &taskId, const QString &nodeJson);
    void setIntrospection(const QString &text);
    void setBoard(int boardId);
    void addStepOrTask(const QString &stepId, const QString &name, const QString &stepTypeName);
    void deleteStepOrTask(const QString &id, int kind);
    void renameStepOrTask(const QString &stepId, const QString &taskId, const QString &name,
                          const QString &desc);
    void orderStepOrTask(const QString &movingId, const QString &beforeId,
                         const QString &parentJson, int kind);

    void setId(int planId);
    // The plan data's cloud identifier (valid while the plan data lives).
    const int &getId() const;
    const QString &getTeachingPlanDir() const;
    // The plan directory + "/" + the current task, or the current step when there is no task.
    QString getCurrentTeachingPlanStepDir() const;
    void setCurrentStepOrTask(const QString &step, const QString &task);
    // Lets the host report a code of its own.
    void emitSignalTeachingPlanOperateState(int nState);
    bool isProgressVisible();
    // The TPOperateFlag bits of the flow under way; 0 when idle.
    int operationFlags() const;

signals:
    void signalExportProgress(int nState, int nProgress);
    void signalTeachingPlanOperateState(int nState);
    void signalJsonVersion(int nVersion, QString strMark);
    void signalCefRunJavaScript(QString strFunc);

public slots:
    void slotDownloadStarted(bool bSucceed, const QJsonObject &info);
    void slotDownloadFinished(bool bSucceed, const QJsonObject &info);
    void slotDownloadProgress(const QJsonObject &info, int iProgress, const QString &downloadType);
    void slotDownloadQueueEmpty(bool bIsEmpty);
    void slotUploadFinished(int res, const QJsonObject &info);
    void slotAvatarquit(QNetworkReply::NetworkError error);
    void slotAvatarData(QPixmap &pixmap);
    void slotAutoSaveTeachingPlan();
    void slotQuestionInfo(QJsonObject &info);
    void slotHttpRequestFinish(const QString &mark, const QJsonObject &jsonObj,
                               const QString &requestUrl);
    void slotHttpRequestError(const QString &mark, int code, const QString &requestUrl);
    void slothttptimeout();
    void slotHttpConnectError();
    void slotFileUpadated(const QJsonObject &info);
    void slotNetWorkStateChanged(bool bState);
    void slotExportProcess(int nProcess);
    void slotExtractFinished(bool bSuccess);

private:
    // Shared lifecycle steps.
    bool initTeachingPlanEnv();
    bool createDir(const QString &path);
    bool openTeachingPlanJsonFile(const QString &path);
    QString selectTeachingPlan(const QString &title, const QString &baseName);
    // The directory part of root + "/" + jsonPath as the plan directory, created; false (and
    // nothing set) when it would leave the teaching-plan root or cannot be made.
    bool enterDocumentDir(const QString &jsonPath);
    // The steps of openTeachingPlan: prepare the directory, then open the document from where
    // it is (a local plan, the plan service, the cloud, or the copy left on disk).
    bool prepareOpenedPlan(const QString &jsonPath, const QString &planId, const QString &name);
    bool openLocalDocument(const QString &jsonPath, const QString &name);
    bool askServiceForDocument(const QString &planId);
    bool openDocumentOnDisk();
    void finishOpenedPlan();
    void startExtract(const QString &package);
    void handleOpenExtract(bool bSuccess);
    void handleImportExtract(bool bSuccess);
    bool renameBackgroundPlan(const QString &planId, const QString &newName,
                              const QString &jsonPath);
    void renameOpenPlan(const QString &newName);
    bool saveLocally();
    bool saveToCloud();
    bool waitsForTransfers();

    // Packages.
    bool zipTeachingPlanAfterExport();
    bool handleExportFile();
    void failExport();
    // Reports the failure of an export under way and ends it, so that later answers cannot
    // still pack an incomplete plan and report success.
    void abandonExport();

    // Document versions.
    int readVersionFromJson(const QString &path);
    bool transformToCurrentVersion();
    bool openUnknownVersion();
    void askCloudTranslatePlan(const QString &planid, const QString &uid, const QString &version);
    bool jsonVersion4To5(const QString &jsonPath, const QString &name, const QString &planId);
    void stampCurrentVersion();

    // Web page bridge.
    void returnJsonToWeb();
    void returnSavePlanStatusToWeb(int status);
    void sendProgress(const QString &tempPath, int percent);
    void sendProgressList(const QJsonArray &entries);
    // multiFileProcess with entries, a JSON array's text.
    void sendProgressText(const QString &entries);
    // A JSON array in QJsonDocument's indented text.
    static QString jsonArrayText(const QJsonArray &entries);
    // The indented text of the array of first's elements followed by second's, both indented
    // array texts.
    static QString joinedJsonArrays(const QString &first, const QString &second);
    static QJsonObject progressEntry(const QString &tempPath, int percent);

    // Cloud plan service.
    void updatePlanDataBase();
    void handlePlanRecordReply(const QString &mark, const QJsonObject &reply,
                               const QString &requestUrl);
    void handleTranslateReply(const QJsonObject &reply);
    void handleQuestionError(const QString &requestUrl);
    // The parameters of a request address's query: the value of a part is the text between
    // its first and second "="; empty when the query has no part.
    static QMap<QString, QString> parseRequestQuery(const QString &requestUrl);

    // Downloads.
    bool downloadFileFromCloud(const QString &cloudPath, const QString &fileCloudSource);
    void analysisDownloadFile(QJsonObject record);
    void completeFileMD5(const QJsonObject &info);
    void handleFailedDownload(const QJsonObject &info, const QString &dest);
    bool isPlanDocument(const QString &dest) const;
    void openDownloadedDocument(const QString &dest);
    void renameDownloadedDocument(const QString &dest);
    bool continueExportWithDocument(const QString &dest);
    void finishExportWhenComplete();
    void uploadDocument(const QString &path);

    // Uploads.
    bool uploadFileToCloud(const QString &path, QJsonObject &record, bool replace);
    void separateUploadFile(QVector<QJsonObject> &records);
    bool compareJsonFile();
    void deleteNodeFile(const QString &id, int kind);
    // "/plan/" + absolutePath relative to the teaching-plan root.
    QString cloudPathOf(const QString &absolutePath) const;

    // Local files and questions.
    bool appendLocalFileNode(const QString &absolute, const QString &container);
    void handleQuestion(const QJsonObject &reply, const QString &requestUrl);
    bool loadLocalQuestion(QJsonObject &record);
    void storeQuestionContent(const QJsonObject &entry, const QJsonObject &data);
    void fetchQuestionPictures(const QJsonArray &pictures);

    bool isFlowSet(int bits) const { return (m_operationFlags & bits) == bits; }
    bool isEditing() const { return isFlowSet(TPOF_Editing | TPOF_Opened); }
    bool isRenamingInBackground() const { return isFlowSet(TPOF_Background | TPOF_Opened); }
    bool isExporting() const { return isFlowSet(TPOF_Background | TPOF_Exporting); }
    bool isImporting() const { return isFlowSet(TPOF_Background | TPOF_Importing); }
    QString documentPath() const;
    void reportState(int state);
    // Also writes the debug line "YRTeachingPlanOperate::<operation>" with the state's name.
    void reportState(int state, const char *operation);
    IYRHttpRequest *httpRequest() const;
    void requestNetWorkCheck();
    static bool isSignedIn();
    // name with every character that a file name may not hold replaced by "#".
    static QString sanitizedPlanName(const QString &name);

    IYRPlanData *m_pPlanData = nullptr;
    YRResourceManage *m_pResourceManage = nullptr;
    IYRNetWorkManager *m_pNetWorkManager = nullptr;
    int m_operationFlags = 0;
    QTimer *m_autoSaveTimer = nullptr;
    QString m_planName;
    QString m_packagePath;
    QVector<QJsonObject> m_pendingQuestions;
    QVector<QJsonObject> m_loadedQuestions;
    QString m_currentStep;
    QString m_currentTask;
    QString m_savePath;
    bool m_askBeforeConvert = true;
    bool m_progressVisible = false;
    QFileDialog *m_planFileDialog = nullptr;
    YRCalExportProcess *m_exportProcess = nullptr;
    YRExtractTeachingPlan *m_extractPlan = nullptr;
    QString m_callerMark;
};

#endif // YRTEACHINGPLANOPERATE_H
