#ifndef STUDIO_PAGEBRIDGE_H
#define STUDIO_PAGEBRIDGE_H

#include <QObject>
#include <QString>
#include <QVariantMap>

class YRTeachingPlanOperate;

// The object the editor page reaches through the web channel, as "studio". Its slots are what
// the page may ask of the host: the controller's editing operations, which answer with the new
// document (returnJsonToWeb), and the actions that need the window (files, save, rename).
// Edits are taken only while a plan is open in the editor.
class PageBridge : public QObject
{
    Q_OBJECT
    // The page's labels in the studio's language (pagetexts.h).
    Q_PROPERTY(QVariantMap texts READ texts CONSTANT)
    // The language of those labels, as a BCP 47 tag.
    Q_PROPERTY(QString language READ language CONSTANT)

public:
    // controller is not owned and must outlive the bridge.
    explicit PageBridge(YRTeachingPlanOperate *controller, QObject *parent = nullptr);

    QVariantMap texts() const { return m_texts; }
    QString language() const;

public slots:
    // The controller's editing operations, unchanged.
    void appendNode(const QString &stepId, const QString &taskId, const QString &nodeJson);
    void setIntrospection(const QString &text);
    void setBoard(int boardId);
    void addStepOrTask(const QString &stepId, const QString &name, const QString &stepTypeName);
    void deleteStepOrTask(const QString &id, int kind);
    void renameStepOrTask(const QString &stepId, const QString &taskId, const QString &name,
                          const QString &desc);
    void orderStepOrTask(const QString &movingId, const QString &beforeId,
                         const QString &parentJson, int kind);
    void setCurrentStepOrTask(const QString &stepId, const QString &taskId);

    // Renames the open plan.
    void renamePlan(const QString &name);
    // Saves the open plan as the File menu does.
    void save();
    // Lets the teacher choose files for the step, or the task when taskId is not empty.
    void chooseFiles(const QString &stepId, const QString &taskId);
    // The files just dropped onto the page go to the step, or the task.
    void dropFiles(const QString &stepId, const QString &taskId);

    // The page has connected and runs statements from now on.
    void pageReady();
    // The page shows (laid out) what it was last sent.
    void pageRendered();
    // The page could not take a part of its document and needs all of it again.
    void resendDocument();

signals:
    void saveRequested();
    void filesRequested(const QString &stepId, const QString &taskId);
    void filesDropped(const QString &stepId, const QString &taskId);
    void readyForStatements();
    void rendered();
    void documentWanted();

private:
    bool planOpen() const;

    YRTeachingPlanOperate *m_controller;
    QVariantMap m_texts;
};

#endif // STUDIO_PAGEBRIDGE_H
